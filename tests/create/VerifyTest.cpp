// Data checked against a torrent made by Build: every piece,
// with the damaged or missing files named and their bad bytes.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "../support/TempDir.h"
#include "base/Stream.h"
#include "create/Build.h"
#include "create/Progress.h"
#include "create/Sources.h"
#include "create/Verify.h"
#include "digest/MessageDigests.h"
#include "metainfo/TorrentFile.h"

namespace {

constexpr int64_t Piece = 262144;

// Three files, a:100000 b:700000 c:50000, so piece 0 spans a and b, pieces 1
// and 2 lie inside b, and piece 3 spans b and c.
class VerifyTest : public ::testing::Test {
 public:
  VerifyTest() {
    Dir.Write("data/a", PatternBytes(100000, 1));
    Dir.Write("data/b", PatternBytes(700000, 2));
    Dir.Write("data/c", PatternBytes(50000, 3));
    TNullProgress progress;
    TBuildRequest request = FolderRequest({}, Dir / "data", "data", {});
    request.Output = Dir / "data.torrent";
    EXPECT_EQ(Build(request, progress).Outcome, TBuildOutcome::Built);
    TMemoryStream stream(ReadWholeFile(Dir / "data.torrent"));
    EXPECT_TRUE(Torrent.LoadFromStream(stream));
    EXPECT_EQ(Torrent.PieceLength, Piece);
    EXPECT_EQ(Torrent.Pieces.size(), 4u);
  }

  void Flip(const std::string& name, int64_t at) {
    std::string bytes = ReadWholeFile(Dir / name);
    bytes[static_cast<size_t>(at)] ^= 1;
    WriteWholeFile(Dir / name, bytes);
  }

  TTempDir Dir;
  TTorrentFile Torrent;
};

// "path state first-last,... pieces P-Q" for every problem.
std::vector<std::string> Describe(const TVerifyResult& result) {
  std::vector<std::string> lines;
  for (const auto& file : result.Problems) {
    std::string line = file.PathInTorrent + " " + VerifyStateName(file.State);
    for (const auto& range : file.BadRanges)
      line += " " + std::to_string(range.First) + "-" + std::to_string(range.Last);
    line += " pieces " + std::to_string(file.FirstBadPiece) + "-" + std::to_string(file.LastBadPiece);
    lines.push_back(line);
  }
  return lines;
}

TEST_F(VerifyTest, UntouchedDataPasses) {
  TNullProgress progress;
  const TVerifyResult result = VerifyData(Torrent, Dir / "data", progress);
  EXPECT_TRUE(result.Ok());
  EXPECT_EQ(result.PieceCount, 4);
  EXPECT_TRUE(result.Problems.empty());
  EXPECT_EQ(progress.HashingText, "Hashing: c");
  EXPECT_EQ(progress.OverallPosition(), 4);
  EXPECT_EQ(DefaultDataPath(Dir / "data.torrent", Torrent), Dir / "data");
}

TEST_F(VerifyTest, DamageIsPlacedInTheRightFileAndPiece) {
  struct TCase {
    const char* Name;
    std::function<void(VerifyTest&)> Break;
    std::vector<int64_t> BadPieces;
    std::vector<std::string> Problems;
  };
  const TCase cases[] = {
      {.Name = "one flipped byte inside b",
       .Break = [](VerifyTest& t) { t.Flip("data/b", 400000 - 100000); },
       .BadPieces = {1},
       .Problems = {"b damaged 162144-424287 pieces 1-1"}},
      {.Name = "flipped last byte of c",
       .Break = [](VerifyTest& t) { t.Flip("data/c", 49999); },
       .BadPieces = {3},
       .Problems = {"b damaged 686432-699999 pieces 3-3", "c damaged 0-49999 pieces 3-3"}},
      {.Name = "a missing: only the piece it shares with b is lost",
       .Break = [](VerifyTest& t) { std::filesystem::remove(t.Dir / "data/a"); },
       .BadPieces = {0},
       .Problems = {"a missing 0-99999 pieces 0-0", "b damaged 0-162143 pieces 0-0"}},
      {.Name = "c cut short",
       .Break = [](VerifyTest& t) { ASSERT_EQ(::truncate((t.Dir / "data/c").c_str(), 10), 0); },
       .BadPieces = {3},
       .Problems = {"b damaged 686432-699999 pieces 3-3", "c size 0-49999 pieces 3-3"}},
      {.Name = "b is a folder",
       .Break =
           [](VerifyTest& t) {
             std::filesystem::remove(t.Dir / "data/b");
             std::filesystem::create_directory(t.Dir / "data/b");
           },
       .BadPieces = {0, 1, 2, 3},
       .Problems = {"a damaged 0-99999 pieces 0-0", "b missing 0-699999 pieces 0-3",
                    "c damaged 0-49999 pieces 3-3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    VerifyTest& self = *this;
    // Each case starts from the untouched data.
    Dir.Write("data/a", PatternBytes(100000, 1));
    std::filesystem::remove_all(Dir / "data/b");
    Dir.Write("data/b", PatternBytes(700000, 2));
    Dir.Write("data/c", PatternBytes(50000, 3));
    c.Break(self);
    TNullProgress progress;
    const TVerifyResult result = VerifyData(Torrent, Dir / "data", progress);
    EXPECT_FALSE(result.Ok());
    EXPECT_EQ(result.BadPieces, c.BadPieces);
    EXPECT_EQ(Describe(result), c.Problems);
  }
}

// Padding is zeros made in memory: the check needs no temporary files, so a
// temporary folder that cannot be used changes nothing.
TEST(Verify, PaddingIsHashedWithoutWritingFiles) {
  TTempDir dir;
  TTempDir tmp;
  constexpr int64_t Length = 16384;
  const std::string a = PatternBytes(100, 1), b = PatternBytes(Length + 50, 2);
  const std::string pad(Length - 100, '\0');
  const std::string pieces =
      Sha1Bytes(a + pad) + Sha1Bytes(b.substr(0, Length)) + Sha1Bytes(b.substr(Length));
  const std::string bytes =
      "d8:announce14:http://t/annou4:infod5:filesld6:lengthi100e4:pathl1:aeed4:attr1:p6:lengthi" +
      std::to_string(pad.size()) + "e4:pathl4:.pad5:16284eed6:lengthi" + std::to_string(b.size()) +
      "e4:pathl1:beee4:name1:d12:piece lengthi16384e6:pieces60:" + pieces + "ee";
  TTorrentFile torrent;
  TMemoryStream stream(bytes);
  ASSERT_TRUE(torrent.LoadFromStream(stream));
  ASSERT_FALSE(torrent.IsDamaged());
  dir.Write("d/a", a);
  dir.Write("d/b", b);

  const char* saved = std::getenv("TMPDIR");
  const std::string savedTmp = saved ? saved : "";
  ::setenv("TMPDIR", (tmp / "no/such/folder").c_str(), 1);
  TNullProgress progress;
  const TVerifyResult whole = VerifyData(torrent, dir / "d", progress);
  EXPECT_TRUE(whole.Ok());
  std::filesystem::remove(dir / "d/a");
  const TVerifyResult headless = VerifyData(torrent, dir / "d", progress);
  if (saved)
    ::setenv("TMPDIR", savedTmp.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
  EXPECT_EQ(headless.BadPieces, std::vector<int64_t>{0}) << "b's own pieces still check out";
}

TEST_F(VerifyTest, NoDataAtAllIsEveryFileMissing) {
  TNullProgress progress;
  const TVerifyResult result = VerifyData(Torrent, Dir / "elsewhere", progress);
  EXPECT_EQ(result.BadPieces, (std::vector<int64_t>{0, 1, 2, 3}));
  EXPECT_EQ(Describe(result),
            (std::vector<std::string>{"a missing 0-99999 pieces 0-0", "b missing 0-699999 pieces 0-3",
                                      "c missing 0-49999 pieces 3-3"}));
  EXPECT_EQ(result.Problems[1].DataPath, Dir / "elsewhere/b");
}

TEST_F(VerifyTest, AbortStopsTheCheck) {
  struct TAbortingProgress : TNullProgress {
    void ProcessEvents() override { SetAborted(true); }
  } progress;
  const TVerifyResult result = VerifyData(Torrent, Dir / "data", progress);
  EXPECT_TRUE(result.Aborted);
  EXPECT_FALSE(result.Ok());
}

TEST(Verify, SingleFileTorrent) {
  TTempDir dir;
  const std::string data = dir.Write("movie.bin", PatternBytes(600000));
  TNullProgress progress;
  TBuildRequest request = FileRequest({}, data, "movie.bin");
  request.Output = dir / "movie.torrent";
  EXPECT_EQ(Build(request, progress).Outcome, TBuildOutcome::Built);
  TTorrentFile torrent;
  TMemoryStream stream(ReadWholeFile(dir / "movie.torrent"));
  ASSERT_TRUE(torrent.LoadFromStream(stream));
  EXPECT_EQ(DefaultDataPath(dir / "movie.torrent", torrent), data);
  EXPECT_TRUE(VerifyData(torrent, data, progress).Ok());

  std::string bytes = ReadWholeFile(data);
  bytes[599999] ^= 0x80;
  WriteWholeFile(data, bytes);
  const TVerifyResult result = VerifyData(torrent, data, progress);
  EXPECT_EQ(result.BadPieces, std::vector<int64_t>{2});
  ASSERT_EQ(result.Problems.size(), 1u);
  EXPECT_EQ(result.Problems[0].PathInTorrent, "movie.bin");
  EXPECT_EQ(result.Problems[0].BadRanges, (std::vector<TByteRange>{{2 * Piece, 599999}}));
}

}  // namespace
