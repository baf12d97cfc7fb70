// The progress line on stderr: the file's name as the core tells it, then the bar.

#include <string>

#include <gtest/gtest.h>

#include "cli/ProgressLine.h"

namespace {

// What one step of a run writes to stderr.
template <typename F>
std::string Said(F step) {
  ::testing::internal::CaptureStderr();
  step();
  return ::testing::internal::GetCapturedStderr();
}

TEST(CliProgressLine, NamesTheFileTheRunTellsAndNothingBefore) {
  TCliProgress progress(true);
  progress.Show();
  progress.SetRunSize(1000, 100);
  progress.SetOverallMax(11);
  EXPECT_EQ(Said([&] { progress.SetOverallPosition(1); }), "") << "no file started yet";
  const std::string line = Said([&] { progress.FileStarted(3, "Hashing: a.bin"); });
  // The name is drawn as it came: a prefix is the name's own.
  EXPECT_EQ(line.rfind("\rHashing: a.bin [", 0), 0u) << line;
  EXPECT_NE(line.find("10%"), std::string::npos) << line;
  EXPECT_EQ(Said([&] { progress.SetFinishedEnabled(true); }), "\r\033[K");

  // A new run names nothing until its first file starts.
  progress.Show();
  EXPECT_EQ(Said([&] { progress.SetOverallPosition(2); }), "");
}

TEST(CliProgressLine, QuietDrawsNothing) {
  TCliProgress progress(false);
  progress.Show();
  progress.SetRunSize(1000, 100);
  EXPECT_EQ(Said([&] { progress.FileStarted(0, "a.bin"); }), "");
}

}  // namespace
