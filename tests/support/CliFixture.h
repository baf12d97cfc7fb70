#pragma once
// A scratch home for quorvane-cli runs: the installed tracker list in its
// cache (the names resolve against it), the program run there, and what it
// wrote read back.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RunProgram.h"
#include "TempDir.h"
#include "base/Stream.h"
#include "metainfo/TorrentFile.h"

class TCliFixture : public ::testing::Test {
 public:
  TCliFixture() {
    Dir.Write("cache/quorvane/trackers.lst",
              ReadWholeFile(QUORVANE_SOURCE_DIR "/src/trackers/data/trackers.lst"));
  }

  TRun Cli(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    return RunCli(Dir.Path(), ShellWords(args), input);
  }

  std::unique_ptr<TTorrentFile> Load(const std::string& name) {
    auto torrent = std::make_unique<TTorrentFile>();
    TMemoryStream stream(ReadWholeFile(Dir / name));
    EXPECT_TRUE(torrent->LoadFromStream(stream));
    return torrent;
  }

  // The paths inside a torrent, in its order.
  std::vector<std::string> Paths(const std::string& name) {
    std::vector<std::string> paths;
    const auto torrent = Load(name);
    for (const auto& file : torrent->Files) paths.push_back(file->Path + file->Name);
    return paths;
  }

  TTempDir Dir;
};
