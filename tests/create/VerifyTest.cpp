// Data checked against a torrent made by Build: every piece,
// with the damaged or missing files named and their bad bytes.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "../support/TempDir.h"
#include "base/Stream.h"
#include "create/Build.h"
#include "create/Progress.h"
#include "create/Sources.h"
#include "create/Verify.h"
#include "digest/Merkle.h"
#include "digest/MessageDigests.h"
#include "metainfo/BDecode.h"
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
  EXPECT_EQ(progress.FileName, "c");
  EXPECT_EQ(progress.FileIndex, 2);
  EXPECT_EQ(progress.OverallPosition(), 4);
  EXPECT_EQ(DefaultDataPath(Dir / "data.torrent", Torrent), Dir / "data");
}

// Each file is told by its place in the torrent and its name, also when a run
// starts after a missing file; the zeros standing in for that file are not one.
TEST_F(VerifyTest, FilesAreToldByTheirPlaceInTheTorrent) {
  struct TFiles : TNullProgress {
    std::vector<std::string> Told;
    void FileStarted(int64_t index, const std::string& name) override {
      TNullProgress::FileStarted(index, name);
      Told.push_back(std::to_string(index) + " " + name);
    }
  };
  struct TCase {
    const char* Name;
    const char* Missing;
    std::vector<std::string> Told;
  };
  const TCase cases[] = {
      {.Name = "all there", .Missing = nullptr, .Told = {"0 a", "1 b", "2 c"}},
      {.Name = "a missing", .Missing = "data/a", .Told = {"1 b", "2 c"}},
      {.Name = "b missing", .Missing = "data/b", .Told = {"0 a", "2 c"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Dir.Write("data/a", PatternBytes(100000, 1));
    Dir.Write("data/b", PatternBytes(700000, 2));
    if (c.Missing) std::filesystem::remove(Dir / c.Missing);
    TFiles progress;
    VerifyData(Torrent, Dir / "data", progress);
    EXPECT_EQ(progress.Told, c.Told);
  }
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

// Four files at 16 KiB pieces, each starting a piece in v2 and in a hybrid:
// a 3.5 pieces (pieces 0-3), b 5000 bytes (4), c 4 pieces (5-8) and d two
// pieces and a byte (9-11). b fits in one piece and has no layer.
class V2VerifyTest : public ::testing::Test {
 public:
  static constexpr int64_t Small = 16384;
  struct TFile {
    const char* Name;
    int64_t Length;
  };
  static constexpr TFile Files[] = {
      {"a", Small * 7 / 2}, {"b", 5000}, {"c", Small * 4}, {"d", Small * 2 + 1}};

  V2VerifyTest() {
    Restore();
    for (const TMetaFormat format : {TMetaFormat::V2, TMetaFormat::Hybrid}) {
      TNullProgress progress;
      TBuildRequest request = FolderRequest({}, Dir / "data", "data", {});
      request.PieceLength = Small;
      request.Format = format;
      TBuildResult built = Build(request, progress);
      EXPECT_EQ(built.Outcome, TBuildOutcome::Built);
      Bytes[format] = built.Bytes;
    }
  }

  void Restore() {
    std::filesystem::remove_all(Dir / "data");
    for (unsigned i = 0; i < 4; ++i)
      Dir.Write(std::string("data/") + Files[i].Name,
                PatternBytes(static_cast<size_t>(Files[i].Length), i + 5));
  }

  void Flip(const std::string& name, int64_t at) {
    std::string bytes = ReadWholeFile(Dir / ("data/" + name));
    bytes[static_cast<size_t>(at)] ^= 1;
    WriteWholeFile(Dir / ("data/" + name), bytes);
  }

  static std::unique_ptr<TTorrentFile> Load(const std::string& bytes) {
    auto torrent = std::make_unique<TTorrentFile>();
    TMemoryStream stream(bytes);
    torrent->LoadFromStream(stream);
    return torrent;
  }

  // The torrent without the layers of these files (by index among the real files).
  std::string WithoutLayers(TMetaFormat format, const std::set<size_t>& files) {
    const auto torrent = Load(Bytes[format]);
    std::set<std::string> roots;
    for (size_t i = 0, real = 0; i < torrent->Files.size(); ++i)
      if (!torrent->Files[i]->Pad && files.count(real++)) roots.insert(torrent->Files[i]->PiecesRoot());
    auto str = [](std::string_view text) { return std::to_string(text.size()) + ":" + std::string(text); };
    std::string out = "d";
    for (const TRawEntry& entry : RawEntries(Bytes[format])) {
      out += str(entry.Key);
      if (entry.Key != "piece layers") {
        out += entry.Value;
        continue;
      }
      out += "d";
      for (const TRawEntry& layer : RawEntries(entry.Value))
        if (!roots.count(std::string(layer.Key))) out += str(layer.Key) + std::string(layer.Value);
      out += "e";
    }
    return out + "e";
  }

  // The torrent with one bit of the layer of a real file changed.
  std::string WithWrongLayer(TMetaFormat format, size_t file, size_t at) {
    const auto torrent = Load(Bytes[format]);
    size_t index = 0;
    for (size_t real = 0; torrent->Files[index]->Pad || real++ < file;) ++index;
    const std::string_view layer = torrent->PieceLayer(index);
    EXPECT_FALSE(layer.empty());
    std::string bytes = Bytes[format];
    const size_t where = bytes.find(layer);
    EXPECT_NE(where, std::string::npos);
    bytes[where + at] ^= 1;
    return bytes;
  }

  TTempDir Dir;
  std::map<TMetaFormat, std::string> Bytes;
};

TEST_F(V2VerifyTest, LayersAreKeptByFileIndex) {
  for (const TMetaFormat format : {TMetaFormat::V2, TMetaFormat::Hybrid}) {
    SCOPED_TRACE(MetaFormatName(format));
    const auto torrent = Load(Bytes[format]);
    ASSERT_FALSE(torrent->IsDamaged());
    std::vector<size_t> layerHashes;
    for (size_t i = 0; i < torrent->Files.size(); ++i)
      if (!torrent->Files[i]->Pad) layerHashes.push_back(torrent->PieceLayer(i).size() / 32);
    EXPECT_EQ(layerHashes, (std::vector<size_t>{4, 0, 4, 3}));
    EXPECT_TRUE(torrent->PieceLayer(torrent->Files.size()).empty());
    EXPECT_TRUE(torrent->LayerFaults().empty());
  }
}

TEST_F(V2VerifyTest, DamageIsPlacedInTheFilesOwnPieces) {
  struct TCase {
    const char* Name;
    std::function<void(V2VerifyTest&)> Break;
    std::vector<int64_t> BadPieces;
    std::vector<std::string> Problems;
  };
  const TCase cases[] = {
      {.Name = "untouched", .Break = [](V2VerifyTest&) {}},
      {.Name = "a byte inside a's third piece",
       .Break = [](V2VerifyTest& t) { t.Flip("a", 2 * Small + 5); },
       .BadPieces = {2},
       .Problems = {"a damaged 32768-49151 pieces 2-2"}},
      {.Name = "a's last, short piece",
       .Break = [](V2VerifyTest& t) { t.Flip("a", Small * 7 / 2 - 1); },
       .BadPieces = {3},
       .Problems = {"a damaged 49152-57343 pieces 3-3"}},
      {.Name = "b has no layer: its root names all of it",
       .Break = [](V2VerifyTest& t) { t.Flip("b", 4000); },
       .BadPieces = {4},
       .Problems = {"b damaged 0-4999 pieces 4-4"}},
      {.Name = "c's first and last pieces",
       .Break =
           [](V2VerifyTest& t) {
             t.Flip("c", 0);
             t.Flip("c", Small * 4 - 1);
           },
       .BadPieces = {5, 8},
       .Problems = {"c damaged 0-16383 49152-65535 pieces 5-8"}},
      {.Name = "d's one-byte last piece",
       .Break = [](V2VerifyTest& t) { t.Flip("d", Small * 2); },
       .BadPieces = {11},
       .Problems = {"d damaged 32768-32768 pieces 11-11"}},
      {.Name = "d cut short",
       .Break = [](V2VerifyTest& t) { ASSERT_EQ(::truncate((t.Dir / "data/d").c_str(), 100), 0); },
       .BadPieces = {9, 10, 11},
       .Problems = {"d size 0-32768 pieces 9-11"}},
      {.Name = "c missing: its neighbours share no piece with it",
       .Break = [](V2VerifyTest& t) { std::filesystem::remove(t.Dir / "data/c"); },
       .BadPieces = {5, 6, 7, 8},
       .Problems = {"c missing 0-65535 pieces 5-8"}},
      {.Name = "a missing, d damaged after it",
       .Break =
           [](V2VerifyTest& t) {
             std::filesystem::remove(t.Dir / "data/a");
             t.Flip("d", Small);
           },
       .BadPieces = {0, 1, 2, 3, 10},
       .Problems = {"a missing 0-57343 pieces 0-3", "d damaged 16384-32767 pieces 10-10"}},
  };
  for (const TMetaFormat format : {TMetaFormat::V2, TMetaFormat::Hybrid}) {
    const auto torrent = Load(Bytes[format]);
    ASSERT_FALSE(torrent->IsDamaged());
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(MetaFormatName(format)) + ": " + c.Name);
      Restore();
      c.Break(*this);
      TNullProgress progress;
      const TVerifyResult result = VerifyData(*torrent, Dir / "data", progress);
      EXPECT_EQ(result.PieceCount, 12);
      EXPECT_EQ(result.Ok(), c.Problems.empty());
      EXPECT_EQ(result.BadPieces, c.BadPieces);
      EXPECT_EQ(Describe(result), c.Problems);
      EXPECT_TRUE(result.Errors.empty());
      EXPECT_TRUE(result.MetadataFaults.empty());
      if (c.Problems.empty()) {
        EXPECT_EQ(progress.FileName, "d");
        EXPECT_EQ(progress.OverallPosition(), 12);
      }
    }
  }
}

// A hybrid whose two hashes disagree: the v2 hashes judge the data. Data the
// file tree vouches for is whole, and a v1 hash that disagrees with it is the
// torrent's fault (a metadata fault); data the tree does not vouch for is
// damaged, whatever its SHA-1 says.
TEST_F(V2VerifyTest, HybridV1HashesAreJudgedAgainstTheTree) {
  std::string bytes = Bytes[TMetaFormat::Hybrid];
  const auto clean = Load(bytes);
  // Pieces 5, 6 and 8 (c's) and 10 (d's) get another SHA-1.
  for (const size_t piece : {5, 6, 8, 10}) {
    const std::string sha1 = std::string(clean->Pieces[piece]);
    bytes[bytes.find(sha1) + 3] ^= 1;
  }
  // And c's layer a wrong hash for piece 7: with c's root changed to match,
  // v2 alone calls piece 7 bad.
  std::string layer = std::string(clean->PieceLayer(4));
  ASSERT_EQ(clean->Files[4]->Name, "c");
  layer[2 * 32] ^= 1;
  std::vector<TSha256Hash> hashes(layer.size() / 32);
  std::memcpy(hashes.data(), layer.data(), layer.size());
  const TSha256Hash root = MerkleReduce(hashes, MerkleWidth(hashes.size()), MerklePadPieceRoot(Small));
  const std::string newRoot(reinterpret_cast<const char*>(root.data()), 32);
  for (size_t from = 0; (from = bytes.find(clean->Files[4]->PiecesRoot(), from)) != std::string::npos;)
    bytes.replace(from, 32, newRoot);
  bytes.replace(bytes.find(std::string(clean->PieceLayer(4))), layer.size(), layer);
  // The new root may sort elsewhere among the layers' keys.
  std::string sorted = "d";
  for (const TRawEntry& entry : RawEntries(bytes)) {
    sorted += std::to_string(entry.Key.size()) + ":" + std::string(entry.Key);
    if (entry.Key != "piece layers") {
      sorted += entry.Value;
      continue;
    }
    std::vector<TRawEntry> layers = RawEntries(entry.Value);
    std::sort(layers.begin(), layers.end(), [](const auto& a, const auto& b) { return a.Key < b.Key; });
    sorted += "d";
    for (const TRawEntry& item : layers) sorted += "32:" + std::string(item.Key) + std::string(item.Value);
    sorted += "e";
  }
  const auto torrent = Load(sorted + "e");
  ASSERT_EQ(torrent->DamageLines(), std::vector<std::string>());
  TNullProgress progress;
  // Piece 10 is also damaged on disk: the tree says so, and it is no v1 fault.
  Flip("d", Small + 7);
  const TVerifyResult result = VerifyData(*torrent, Dir / "data", progress);
  EXPECT_EQ(result.BadPieces, (std::vector<int64_t>{7, 10}));
  EXPECT_EQ(Describe(result), (std::vector<std::string>{"c damaged 32768-49151 pieces 7-7",
                                                        "d damaged 16384-32767 pieces 10-10"}));
  ASSERT_EQ(result.MetadataFaults.size(), 1u);
  const TMetadataFault& fault = result.MetadataFaults[0];
  EXPECT_EQ(fault.Index, 4u);
  EXPECT_EQ(fault.PathInTorrent, "c");
  EXPECT_FALSE(fault.ByRootAlone);
  EXPECT_EQ(
      fault.What,
      "\"info.pieces\" disagrees with the file tree for pieces 5-6, 8, where the data matches the tree");
  EXPECT_FALSE(result.Ok());
}

// A layer that does not reduce to its root is the torrent's fault, not the
// data's: the load still says so, verify checks that file by its root and
// the rest piece by piece, and reports the fault apart. A layer the torrent
// lacks leaves its file to its root as well.
TEST_F(V2VerifyTest, LayerFaultsAndAbsentLayersFallBackToTheRoot) {
  struct TCase {
    const char* Name;
    std::function<std::string(V2VerifyTest&, TMetaFormat)> Torrent;
    std::function<void(V2VerifyTest&)> Break;
    std::vector<int64_t> BadPieces;
    std::vector<std::string> Problems;
    std::vector<std::string> Faults;
  };
  const auto wrongC = [](V2VerifyTest& t, TMetaFormat f) { return t.WithWrongLayer(f, 2, 40); };
  const std::string cFault = "c: the piece layer of \"c\" does not reduce to its \"pieces root\"";
  const TCase cases[] = {
      {.Name = "c's layer wrong, data whole",
       .Torrent = wrongC,
       .Break = [](V2VerifyTest&) {},
       .Faults = {cFault}},
      {.Name = "c's layer wrong, c and a damaged",
       .Torrent = wrongC,
       .Break =
           [](V2VerifyTest& t) {
             t.Flip("c", Small + 1);
             t.Flip("a", 1);
           },
       .BadPieces = {0, 5, 6, 7, 8},
       .Problems = {"a damaged 0-16383 pieces 0-0", "c damaged 0-65535 pieces 5-8"},
       .Faults = {cFault}},
      {.Name = "two layers wrong",
       .Torrent =
           [](V2VerifyTest& t, TMetaFormat f) {
             t.Bytes[f] = t.WithWrongLayer(f, 0, 0);
             return t.WithWrongLayer(f, 3, 95);
           },
       .Break = [](V2VerifyTest& t) { t.Flip("d", 0); },
       .BadPieces = {9, 10, 11},
       .Problems = {"d damaged 0-32768 pieces 9-11"},
       .Faults = {"a: the piece layer of \"a\" does not reduce to its \"pieces root\"",
                  "d: the piece layer of \"d\" does not reduce to its \"pieces root\""}},
      {.Name = "a's layer absent",
       .Torrent = [](V2VerifyTest& t, TMetaFormat f) { return t.WithoutLayers(f, {0}); },
       .Break =
           [](V2VerifyTest& t) {
             t.Flip("a", 2 * Small);
             t.Flip("c", 3 * Small);
           },
       .BadPieces = {0, 1, 2, 3, 8},
       .Problems = {"a damaged 0-57343 pieces 0-3", "c damaged 49152-65535 pieces 8-8"}},
      {.Name = "no layers at all",
       .Torrent =
           [](V2VerifyTest& t, TMetaFormat f) {
             return t.WithoutLayers(f, {0, 2, 3});
           },
       .Break = [](V2VerifyTest& t) { t.Flip("d", 0); },
       .BadPieces = {9, 10, 11},
       .Problems = {"d damaged 0-32768 pieces 9-11"}},
  };
  for (const TMetaFormat format : {TMetaFormat::V2, TMetaFormat::Hybrid}) {
    const std::string clean = Bytes[format];
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(MetaFormatName(format)) + ": " + c.Name);
      Bytes[format] = clean;
      const auto torrent = Load(c.Torrent(*this, format));
      EXPECT_EQ(torrent->IsDamaged(), !c.Faults.empty()) << "show and edit still see the fault";
      EXPECT_TRUE(torrent->DamageLinesBesideLayerFaults().empty());
      EXPECT_EQ(torrent->LayerFaults().size(), c.Faults.size());
      Restore();
      c.Break(*this);
      TNullProgress progress;
      const TVerifyResult result = VerifyData(*torrent, Dir / "data", progress);
      EXPECT_FALSE(result.Ok());
      EXPECT_EQ(result.BadPieces, c.BadPieces);
      EXPECT_EQ(Describe(result), c.Problems);
      std::vector<std::string> faults;
      for (const TMetadataFault& fault : result.MetadataFaults) {
        faults.push_back(fault.PathInTorrent + ": " + fault.What);
        EXPECT_EQ(torrent->Files[fault.Index]->Name, fault.PathInTorrent);
      }
      EXPECT_EQ(faults, c.Faults);
    }
  }
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
