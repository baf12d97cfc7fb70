#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../support/Hex.h"
#include "../support/RunProgram.h"
#include "../support/Sanitizer.h"
#include "../support/TempDir.h"
#include "TestMessages.h"
#include "digest/MessageDigests.h"
#include "digest/Sha1Lanes.h"

namespace {

const TShaPath AllPaths[] = {TShaPath::Portable, TShaPath::ShaNi, TShaPath::Avx2, TShaPath::Avx512};

// The reference digests, from Python's hashlib: one per message, as lower-case hex.
std::vector<std::string> PythonDigests(const std::vector<std::string>& messages) {
  return HashlibDigests("sha1", messages);
}

std::string Message(size_t length, unsigned seed) { return XorshiftMessage(length, seed); }

std::string PortableDigest(std::string_view message) {
  TSHA1 sha1(TSHA1Impl::Portable);
  sha1.TransformString(message);
  sha1.Complete();
  return sha1.DigestString();
}

// Every test runs once per path; a path the CPU lacks is skipped.
class TSha1LanesPathTest : public ::testing::TestWithParam<TShaPath> {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(access(PythonForDigests, X_OK), 0) << PythonForDigests << " gives the reference digests";
  }
  void SetUp() override {
    if (!TSha1Lanes::CpuHas(GetParam()))
      GTEST_SKIP() << "CPU lacks the " << TSha1Lanes::PathName(GetParam()) << " path";
    ASSERT_EQ(TSha1Lanes(GetParam()).Path(), GetParam());
  }
};

INSTANTIATE_TEST_SUITE_P(Paths, TSha1LanesPathTest, ::testing::ValuesIn(AllPaths),
                         [](const auto& info) { return std::string(TSha1Lanes::PathName(info.param)); });

struct TBatchCase {
  const char* Name;
  std::vector<size_t> Lengths;
};

std::vector<TBatchCase> BatchCases() {
  return {
      {.Name = "empty", .Lengths = {0}},
      {.Name = "55: length fits the last block", .Lengths = {55}},
      {.Name = "56: length needs a block of its own", .Lengths = {56}},
      {.Name = "63", .Lengths = {63}},
      {.Name = "64: one block, then padding only", .Lengths = {64}},
      {.Name = "65", .Lengths = {65}},
      {.Name = "odd tails", .Lengths = {1, 3, 127, 191, 1001, 4097, 64 * 9 + 57}},
      {.Name = "multi-block", .Lengths = {64 * 37 + 13, 4096, 100000}},
      {.Name = "16 messages of 16 lengths",
       .Lengths = {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 129, 1000, 4095, 4096, 4097, 65537}},
      {.Name = "16 equal lengths", .Lengths = std::vector<size_t>(16, 5000)},
      {.Name = "fewer lanes than a vector", .Lengths = {3000, 3000, 3001}},
      {.Name = "more than one batch, one long",
       .Lengths = {70, 300000, 64, 640, 641, 6400, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
      {.Name = "33 messages", .Lengths = std::vector<size_t>(33, 2048 + 17)},
  };
}

}  // namespace

// HashMessages agrees with hashlib and with the portable TSHA1, with the default lane
// threshold and with every call in the vector lanes (which pads unused lanes).
TEST_P(TSha1LanesPathTest, HashMessagesMatchesHashlibForEveryLengthClass) {
  for (const auto& c : BatchCases()) {
    std::vector<std::string> messages;
    for (size_t i = 0; i < c.Lengths.size(); ++i) messages.push_back(Message(c.Lengths[i], unsigned(i)));
    const std::vector<std::string> expected = PythonDigests(messages);
    ASSERT_EQ(expected.size(), messages.size()) << c.Name;
    const std::vector<std::string_view> views(messages.begin(), messages.end());

    for (int minVectorLanes : {0, 1}) {
      SCOPED_TRACE(std::string(c.Name) + (minVectorLanes ? ", every call in vector lanes" : ""));
      TSha1Lanes lanes(GetParam());
      if (minVectorLanes) lanes.SetMinVectorLanes(minVectorLanes);
      const auto digests = std::make_unique<uint8_t[][20]>(messages.size());
      lanes.HashMessages(views, digests.get());
      for (size_t i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE("message " + std::to_string(i) + ", " + std::to_string(messages[i].size()) + " bytes");
        EXPECT_EQ(ToHex(digests[i], 20), expected[i]);
        EXPECT_EQ(PortableDigest(messages[i]), expected[i]);
      }
    }
  }
}

// Lanes fed block by block in slices of several sizes, then finished one by one.
TEST_P(TSha1LanesPathTest, TransformBlocksInSlicesThenFinish) {
  const TSha1Lanes reference(GetParam());
  const int width = reference.LaneCount();
  struct {
    const char* Name;
    int Lanes;
    size_t Blocks;
    size_t Tail;
    std::vector<size_t> Slices;  // blocks per call, repeated until done
    bool EveryCallInVectors = false;
  } const cases[] = {
      {.Name = "all lanes, one call", .Lanes = width, .Blocks = 40, .Tail = 0, .Slices = {40}},
      {.Name = "all lanes, slices of 1, 5, 31",
       .Lanes = width,
       .Blocks = 40,
       .Tail = 17,
       .Slices = {1, 5, 31}},
      {.Name = "one lane", .Lanes = 1, .Blocks = 9, .Tail = 63, .Slices = {2}},
      {.Name = "3 lanes padded",
       .Lanes = 3,
       .Blocks = 20,
       .Tail = 56,
       .Slices = {7},
       .EveryCallInVectors = true},
      {.Name = "all lanes but one, padded",
       .Lanes = width - 1 > 0 ? width - 1 : 1,
       .Blocks = 12,
       .Tail = 55,
       .Slices = {3, 1},
       .EveryCallInVectors = true},
      {.Name = "more lanes than a vector", .Lanes = width + 5, .Blocks = 6, .Tail = 64 + 9, .Slices = {4}},
      // SHA-NI: an interleaved pair, with messages whose blocks differ from the first one on.
      {.Name = "a piece batch", .Lanes = reference.PieceLanes(), .Blocks = 33, .Tail = 1, .Slices = {16, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> messages;
    for (int i = 0; i < c.Lanes; ++i) messages.push_back(Message(64 * c.Blocks + c.Tail, 100 + unsigned(i)));
    const std::vector<std::string> expected = PythonDigests(messages);
    ASSERT_EQ(expected.size(), messages.size());

    TSha1Lanes lanes(GetParam());
    if (c.EveryCallInVectors) lanes.SetMinVectorLanes(1);
    std::vector<TSha1LaneState> states(c.Lanes);
    for (auto& state : states) TSha1Lanes::Init(state);
    size_t done = 0;
    for (size_t slice = 0; done < c.Blocks; ++slice) {
      const size_t blocks = std::min(c.Slices[slice % c.Slices.size()], c.Blocks - done);
      std::vector<const uint8_t*> data;
      for (const auto& m : messages) data.push_back(reinterpret_cast<const uint8_t*>(m.data()) + 64 * done);
      lanes.TransformBlocks(states.data(), data.data(), c.Lanes, blocks);
      done += blocks;
      for (const auto& state : states) ASSERT_EQ(state.Bytes, 64 * done);
    }
    for (int i = 0; i < c.Lanes; ++i) {
      SCOPED_TRACE("lane " + std::to_string(i));
      uint8_t digest[20];
      lanes.Finish(states[i], reinterpret_cast<const uint8_t*>(messages[i].data()) + 64 * c.Blocks, c.Tail,
                   digest);
      EXPECT_EQ(ToHex(digest, 20), expected[i]);
    }
  }
}

// From 2^28 bytes on, a 32-bit count of bits overflows; the lanes count in 64 bits.
TEST_P(TSha1LanesPathTest, MessagesOfTwoTo28BytesAndMore) {
  if (UnderSanitizer && GetParam() == TShaPath::Portable)
    GTEST_SKIP() << "too slow under the sanitizers; the other paths count the same way";
  std::string pattern(1 << 20, '\0');
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = char((i * 131 + 7) & 0xFF);
  const size_t tail = 77;
  TTempDir dir;
  const std::string file = dir.Write("pattern", pattern);
  const std::string expected = RunShell(std::string(PythonForDigests) +
                                        " -c 'import hashlib, sys\np = open(sys.argv[1], \"rb\").read()\n"
                                        "h = hashlib.sha1()\nfor _ in range(256): h.update(p)\n"
                                        "h.update(p[:77])\nprint(h.hexdigest())' " +
                                        file)
                                   .Out.substr(0, 40);

  // Two lanes of the same message, kept in the vector unit.
  TSha1Lanes lanes(GetParam());
  lanes.SetMinVectorLanes(1);
  const int count = std::min(2, lanes.LaneCount());
  TSha1LaneState states[2];
  const uint8_t* data[2];
  for (int i = 0; i < count; ++i) {
    TSha1Lanes::Init(states[i]);
    data[i] = reinterpret_cast<const uint8_t*>(pattern.data());
  }
  for (int round = 0; round < 256; ++round) lanes.TransformBlocks(states, data, count, pattern.size() / 64);
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE("lane " + std::to_string(i));
    EXPECT_EQ(states[i].Bytes, uint64_t(1) << 28);
    uint8_t digest[20];
    lanes.Finish(states[i], data[i], tail, digest);
    EXPECT_EQ(ToHex(digest, 20), expected);
  }
}

TEST(TSha1LanesTest, LaneCountsAndSingleStreamPaths) {
  for (TShaPath path : AllPaths) {
    if (!TSha1Lanes::CpuHas(path)) continue;
    SCOPED_TRACE(TSha1Lanes::PathName(path));
    const TSha1Lanes lanes(path);
    const int expectedLanes = path == TShaPath::Avx512 ? 16 : path == TShaPath::Avx2 ? 8 : 1;
    EXPECT_EQ(lanes.LaneCount(), expectedLanes);
    // Forcing the portable path keeps the tails on it too; the others use SHA-NI if present.
    const bool shaNiTails = path != TShaPath::Portable && TSha1Lanes::CpuHas(TShaPath::ShaNi);
    EXPECT_EQ(lanes.SingleStreamPath(), shaNiTails ? TShaPath::ShaNi : TShaPath::Portable);
  }
  EXPECT_TRUE(TSha1Lanes::CpuHas(TShaPath::Portable));
  EXPECT_EQ(TSha1Lanes(TShaPath::Portable).Path(), TShaPath::Portable);
}

TEST(TSha1LanesTest, SettingPicksThePathOrTheBestAvailable) {
  using enum TShaPath;
  const std::vector<TShaPath> everything = {Avx512, Avx2, ShaNi, Portable};
  const std::vector<TShaPath> noAvx512 = {Avx2, ShaNi, Portable};
  const std::vector<TShaPath> noSimd = {ShaNi, Portable};
  const std::vector<TShaPath> bare = {Portable};
  struct {
    const char* Setting;
    const std::vector<TShaPath>& Available;
    TShaPath Expected;
  } const cases[] = {
      {.Setting = nullptr, .Available = everything, .Expected = Avx512},
      {.Setting = nullptr, .Available = noAvx512, .Expected = Avx2},
      {.Setting = nullptr, .Available = noSimd, .Expected = ShaNi},
      {.Setting = nullptr, .Available = bare, .Expected = Portable},
      {.Setting = "portable", .Available = everything, .Expected = Portable},
      {.Setting = "shani", .Available = everything, .Expected = ShaNi},
      {.Setting = "avx2", .Available = everything, .Expected = Avx2},
      {.Setting = "avx512", .Available = everything, .Expected = Avx512},
      // A path the CPU lacks gets the best one it has.
      {.Setting = "avx512", .Available = noAvx512, .Expected = Avx2},
      {.Setting = "avx2", .Available = noSimd, .Expected = ShaNi},
      {.Setting = "shani", .Available = bare, .Expected = Portable},
      // Anything else counts as not set.
      {.Setting = "", .Available = everything, .Expected = Avx512},
      {.Setting = "AVX2", .Available = noAvx512, .Expected = Avx2},
      {.Setting = "sse", .Available = noSimd, .Expected = ShaNi},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Setting ? c.Setting : "(not set)") + " among " +
                 std::to_string(c.Available.size()) + " paths");
    EXPECT_EQ(TSha1Lanes::PathForSetting(c.Setting, c.Available), c.Expected);
  }
}

namespace {

const char* const ReportTest = "TSha1LanesTest.ReportChosenPaths";

// This process's choices, as the child processes below print them.
std::string ChosenPathsReport() {
  return std::string("lanes=") + TSha1Lanes::PathName(TSha1Lanes::ChosenPath()) +
         " tsha1=" + (TSHA1().Impl() == TSHA1Impl::ShaNi ? "shani" : "portable") + ";";
}

}  // namespace

TEST(TSha1LanesTest, ReportChosenPaths) { std::printf("%s\n", ChosenPathsReport().c_str()); }

// ChosenPath is decided once per process, so each setting gets a process of its own.
TEST(TSha1LanesTest, VariableForcesThePathInANewProcess) {
  std::vector<TShaPath> available;
  for (TShaPath path : AllPaths)
    if (TSha1Lanes::CpuHas(path)) available.push_back(path);
  for (const char* setting : {"portable", "shani", "avx2", "avx512", "bogus"}) {
    SCOPED_TRACE(setting);
    const TShaPath expected = TSha1Lanes::PathForSetting(setting, available);
    const bool shaNiSingle = expected != TShaPath::Portable && TSha1Lanes::CpuHas(TShaPath::ShaNi);
    const std::string output = RunOwnTest(std::string("QUORVANE_SHA1=") + setting, ReportTest);
    const std::string report = std::string("lanes=") + TSha1Lanes::PathName(expected) +
                               " tsha1=" + (shaNiSingle ? "shani" : "portable") + ";";
    EXPECT_NE(output.find(report), std::string::npos) << "wanted " << report << " in:\n" << output;
  }
}
