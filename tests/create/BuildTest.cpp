// Build: plain values in, the model, its bytes and its info hash out.

#include "create/Build.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "../support/TempDir.h"
#include "base/Stream.h"
#include "create/Progress.h"
#include "create/Sources.h"
#include "digest/MessageDigests.h"
#include "metainfo/TorrentFile.h"

namespace {

std::unique_ptr<TTorrentFile> LoadBytes(const std::string& bytes) {
  auto torrent = std::make_unique<TTorrentFile>();
  TMemoryStream stream(bytes);
  EXPECT_TRUE(torrent->LoadFromStream(stream));
  // A torrent without a main tracker has no announce, which the loader notes but is no damage.
  EXPECT_TRUE(torrent->DamageLines().empty());
  return torrent;
}

class BuildTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  TNullProgress Progress;
};

}  // namespace

// What the result says must be what a load of its bytes finds, with or without a file.
TEST_F(BuildTest, ResultAgreesWithALoadOfItsBytes) {
  const std::string a = PatternBytes(300000, 1);
  const std::string b = PatternBytes(5, 2);
  const std::string c = PatternBytes(262144, 3);
  Dir.Write("src/a", a);
  Dir.Write("src/x/b", b);
  Dir.Write("src/x/y/c", c);
  struct TCase {
    const char* Name;
    bool Folder;
    bool ToFile;
  };
  const TCase cases[] = {
      {"one file, bytes only", false, false},
      {"one file, written", false, true},
      {"folder, bytes only", true, false},
      {"folder, written", true, true},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.Name);
    TBuildRequest request =
        cs.Folder ? FolderRequest({}, Dir / "src", "src", {}) : FileRequest({}, Dir / "src/a", "a");
    const std::string output = Dir / "out.torrent";
    std::filesystem::remove(output);
    if (cs.ToFile) request.Output = output;
    const TBuildResult result = Build(request, Progress);
    ASSERT_EQ(result.Outcome, TBuildOutcome::Built);
    if (cs.ToFile) {
      EXPECT_EQ(result.Written, output);
      EXPECT_EQ(ReadWholeFile(output), result.Bytes);
    } else {
      EXPECT_EQ(result.Written, "");
      EXPECT_FALSE(std::filesystem::exists(output));
    }

    const auto loaded = LoadBytes(result.Bytes);
    EXPECT_EQ(result.InfoHashText, loaded->InfoHashText);
    EXPECT_EQ(result.InfoHash, loaded->InfoHash);
    const TTorrentFile& made = *result.Torrent;
    EXPECT_EQ(made.InfoHashText, loaded->InfoHashText);
    EXPECT_EQ(made.Name, loaded->Name);
    EXPECT_EQ(made.MultiFile, cs.Folder);
    EXPECT_EQ(made.TotalLength, loaded->TotalLength);
    EXPECT_EQ(made.FileCount, loaded->FileCount);
    EXPECT_EQ(made.PieceLength, 262144);

    // The pieces against an independent hash of the data in torrent order.
    const std::string data = cs.Folder ? a + b + c : a;
    ASSERT_EQ(made.Pieces.size(), (data.size() + 262143) / 262144);
    ASSERT_EQ(loaded->Pieces.size(), made.Pieces.size());
    for (size_t p = 0; p < made.Pieces.size(); ++p) {
      EXPECT_EQ(made.Pieces[p], Sha1Bytes(data.substr(p * 262144, 262144))) << p;
      EXPECT_EQ(loaded->Pieces[p], made.Pieces[p]) << p;
    }
    if (cs.Folder) {
      ASSERT_EQ(loaded->Files.size(), 3u);
      EXPECT_EQ(loaded->Files[1]->Path + loaded->Files[1]->Name, "x/b");
      EXPECT_EQ(loaded->Files[2]->Path + loaded->Files[2]->Name, "x/y/c");
    }
  }
}

TEST_F(BuildTest, TiersDateFlagsAndPieceLength) {
  Dir.Write("f", PatternBytes(1000));
  using TTiers = std::vector<std::vector<std::string>>;
  struct TCase {
    const char* Name;
    TTiers Trackers;
    std::string Announce;                    // as loaded
    std::optional<TTiers> Tiers = TTiers{};  // as loaded; none without back-ups; not checked: nullopt
    std::optional<int64_t> Date;
    std::optional<int32_t> PieceLength;
    int64_t LoadedPieceLength;
  };
  const TCase cases[] = {
      {.Name = "no tracker", .LoadedPieceLength = 262144},
      {.Name = "main only",
       .Trackers = {{"http://m/a"}},
       .Announce = "http://m/a",
       .Date = 1700000000,
       .LoadedPieceLength = 262144},
      {.Name = "main and back-ups, one a tier",
       .Trackers = {{"http://m/a"}, {"udp://b1/a"}, {"http://b2/a"}},
       .Announce = "http://m/a",
       .Tiers = TTiers{{"http://m/a"}, {"udp://b1/a"}, {"http://b2/a"}},
       .Date = 0,
       .PieceLength = 3'000'000,
       .LoadedPieceLength = 2097152},
      {.Name = "back-ups without a main tracker",
       .Trackers = {{""}, {"http://b1/a"}},
       .Tiers = std::nullopt,  // how the writer lists a missing main tracker is its own affair
       .Date = int64_t{1} << 40,
       .PieceLength = 131072,
       .LoadedPieceLength = 131072},
      {.Name = "a tier of two",
       .Trackers = {{"http://m/a", "http://m2/a"}, {"http://b/a"}},
       .Announce = "http://m/a",
       .Tiers = TTiers{{"http://m/a", "http://m2/a"}, {"http://b/a"}},
       .LoadedPieceLength = 262144},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TBuildRequest request = FileRequest({}, Dir / "f", "name");
    request.Trackers = c.Trackers;
    request.CreationDate = c.Date;
    request.PieceLength = c.PieceLength;
    request.Private = true;
    request.Source = "SRC";
    request.WebSeeds = {"http://w/"};
    request.Comment = "one\r\ntwo";
    const TBuildResult result = Build(request, Progress);
    ASSERT_EQ(result.Outcome, TBuildOutcome::Built);
    const auto loaded = LoadBytes(result.Bytes);
    EXPECT_EQ(loaded->Announce(), c.Announce);
    if (c.Tiers) {
      EXPECT_EQ(loaded->AnnounceTiers(), *c.Tiers);
    }
    EXPECT_EQ(loaded->BackupTrackers().empty(), c.Trackers.size() <= 1 && c.Tiers == TTiers{});
    if (c.Date) {
      EXPECT_EQ(loaded->CreationUnix(), *c.Date);
    } else {
      EXPECT_EQ(DateTimeOf(*loaded), 0);
    }
    EXPECT_EQ(loaded->PieceLength, c.LoadedPieceLength);
    EXPECT_EQ(loaded->Name, "name");
    EXPECT_TRUE(loaded->Private);
    EXPECT_EQ(loaded->Source, "SRC");
    EXPECT_EQ(loaded->WebSeeds, std::vector<std::string>{"http://w/"});
    EXPECT_EQ(loaded->Comment, "one\r\ntwo");
  }
}

// A build that does not end in a torrent leaves the output as it was, in every format.
TEST_F(BuildTest, OutcomesWithoutATorrentWriteNothing) {
  struct TCase {
    const char* Name;
    std::string Data;
    TMetaFormat Format = TMetaFormat::V1;
    bool Abort = false;
    bool RemoveData = false;
    std::optional<int32_t> PieceLength;
    TBuildOutcome Outcome;
    bool Shown = true;
  };
  std::vector<TCase> cases;
  for (const TMetaFormat format : {TMetaFormat::V1, TMetaFormat::V2, TMetaFormat::Hybrid}) {
    cases.push_back(
        {.Name = "no data", .Data = "", .Format = format, .Outcome = TBuildOutcome::NoData, .Shown = false});
    cases.push_back(
        {.Name = "aborted", .Data = "x", .Format = format, .Abort = true, .Outcome = TBuildOutcome::Aborted});
    cases.push_back({.Name = "data gone",
                     .Data = "x",
                     .Format = format,
                     .RemoveData = true,
                     .Outcome = TBuildOutcome::Failed});
  }
  // Pieces of 24 KiB or 8 KiB cannot be cut into a merkle tree of 16 KiB blocks.
  for (const TMetaFormat format : {TMetaFormat::V2, TMetaFormat::Hybrid})
    for (const int32_t length : {24 * 1024, 8 * 1024})
      cases.push_back({.Name = "piece length",
                       .Data = "x",
                       .Format = format,
                       .PieceLength = length,
                       .Outcome = TBuildOutcome::Failed,
                       .Shown = false});
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + " format " + std::to_string(static_cast<int>(c.Format)));
    TTempDir dir;
    const std::string data = dir.Write("d/f", c.Data);
    dir.Write("out.torrent", "precious");
    TBuildRequest request = FolderRequest({}, dir / "d", "d", {});
    request.Output = dir / "out.torrent";
    request.Format = c.Format;
    request.PieceLength = c.PieceLength;
    if (c.RemoveData) std::filesystem::remove(data);
    TNullProgress progress;
    progress.SetAborted(c.Abort);
    const TBuildResult result = Build(request, progress);
    EXPECT_EQ(result.Outcome, c.Outcome);
    EXPECT_EQ(result.Written, "");
    EXPECT_EQ(result.Bytes, "");
    EXPECT_EQ(ReadWholeFile(dir / "out.torrent"), "precious");
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"d", "out.torrent"}));
    EXPECT_EQ(progress.Shown, c.Shown);
    if (c.RemoveData) {
      EXPECT_NE(result.Error.find("\"" + data + "\""), std::string::npos) << result.Error;
    }
    if (c.PieceLength) {
      EXPECT_EQ(result.Error, V2PieceLengthMessage);
    }
  }
}

TEST_F(BuildTest, BadRequestsRaiseBeforeAnyRead) {
  Dir.Write("f", "1");
  TBuildRequest request = FileRequest({}, Dir / "f", "f");
  request.Output = Dir / "no/such/folder/f.torrent";
  EXPECT_THROW(Build(request, Progress), EStreamError);

  TBuildRequest two = FileRequest({}, Dir / "f", "f");
  two.Files.push_back(two.Files.front());
  EXPECT_THROW(Build(two, Progress), std::invalid_argument);
  two.Files.clear();
  EXPECT_THROW(Build(two, Progress), std::invalid_argument);
  EXPECT_FALSE(Progress.Shown);
}
