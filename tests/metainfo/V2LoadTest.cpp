// Loading and editing torrents with a BitTorrent v2 part: v2-only and hybrid.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "MetainfoTestUtil.h"
#include "base/Text.h"
#include "digest/Merkle.h"
#include "digest/MessageDigests.h"
#include "metainfo/BDecode.h"
#include "metainfo/TorrentEdits.h"

namespace {

using namespace Ben;

std::string Hex(const std::string& bytes) { return BytesToHex(bytes, 999); }

// File data of at most one 16 KiB block: its merkle root is the block's SHA-256.
std::string Data(int64_t length, int seed) {
  std::string data(static_cast<size_t>(length), '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>((i * 31 + static_cast<size_t>(seed)) & 0xff);
  return data;
}

std::string FileEntry(int64_t length, int seed) {
  if (length == 0) return Dict({{"", Dict({{"length", Int(0)}})}});
  return Dict({{"", Dict({{"length", Int(length)}, {"pieces root", Str(Sha256Bytes(Data(length, seed)))}})}});
}

// "Top" holding a/b.bin (5000 B), a/c.txt (0 B) and z.dat (300 B), 16 KiB pieces; roots over real
// data, so every check the loader makes passes.
std::string TreeOfThree() {
  return Dict({{"a", Dict({{"b.bin", FileEntry(5000, 1)}, {"c.txt", FileEntry(0, 2)}})},
               {"z.dat", FileEntry(300, 3)}});
}

std::string V2OnlyInfo(const std::string& extra = "") {
  // Keys in byte order: the v2 hash is over these exact bytes.
  return "d9:file tree" + TreeOfThree() + "12:meta versioni2e4:name3:Top12:piece lengthi16384e" + extra + "e";
}

// The same files as a hybrid: pads after every non-empty file ending inside a piece.
std::string HybridInfo() {
  const auto file = Ben::FileEntry;
  const auto pad = Ben::PadEntry;
  const std::string files =
      List({file(5000, {Str("a"), Str("b.bin")}), pad(16384 - 5000), file(0, {Str("a"), Str("c.txt")}),
            file(300, {Str("z.dat")}), pad(16384 - 300)});
  const std::string pieces = Sha1Bytes(Data(5000, 1) + std::string(16384 - 5000, '\0')) +
                             Sha1Bytes(Data(300, 3) + std::string(16384 - 300, '\0'));
  return Dict({{"file tree", TreeOfThree()},
               {"files", files},
               {"meta version", Int(2)},
               {"name", Str("Top")},
               {"piece length", Int(16384)},
               {"pieces", Str(pieces)}});
}

std::string TorrentOf(const std::string& info) { return "d8:announce8:http://a4:info" + info + "e"; }

// The value of a key in a saved file's info, as bytes.
std::string InfoValue(const std::string& saved, std::string_view key) {
  const std::vector<TRawEntry> top = RawEntries(saved);
  for (const TRawEntry& entry : top)
    if (entry.Key == "info")
      for (const TRawEntry& inner : RawEntries(entry.Value))
        if (inner.Key == key) return std::string(inner.Value);
  return "none";
}

std::string InfoOf(const std::string& saved) {
  for (const TRawEntry& entry : RawEntries(saved))
    if (entry.Key == "info") return std::string(entry.Value);
  return {};
}

TEST(V2Load, V2OnlyFilesComeFromTheTree) {
  const std::string info = V2OnlyInfo();
  auto [model, ok] = Load(TorrentOf(info));
  ASSERT_TRUE(ok);
  EXPECT_EQ(model->Errors, std::vector<std::string>());
  EXPECT_EQ(model->Format(), TMetaFormat::V2);
  EXPECT_EQ(model->InfoHashText, "");
  EXPECT_EQ(model->InfoHashV2Text, Hex(Sha256Bytes(info)));
  EXPECT_TRUE(model->MultiFile);
  EXPECT_EQ(model->Name, "Top");
  EXPECT_EQ(model->TotalLength, 5300);
  ASSERT_EQ(model->Files.size(), 3u);
  struct TExpected {
    const char* Folder;
    const char* Name;
    int64_t Length;
    int64_t Offset;  // v2 piece space: every non-empty file on a piece boundary
    std::string Root;
  };
  const std::vector<TExpected> expected = {
      {"a/", "b.bin", 5000, 0, Sha256Bytes(Data(5000, 1))},
      {"a/", "c.txt", 0, 5000, ""},  // no data: no alignment
      {"", "z.dat", 300, 16384, Sha256Bytes(Data(300, 3))},
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const TTorrentSubFile& file = *model->Files[i];
    EXPECT_EQ(file.Path, expected[i].Folder);
    EXPECT_EQ(file.Name, expected[i].Name);
    EXPECT_EQ(file.Length, expected[i].Length);
    EXPECT_EQ(file.Offset, expected[i].Offset);
    EXPECT_EQ(file.PiecesRoot(), expected[i].Root);
  }
  EXPECT_EQ(model->Layout().PieceCount(), 2);
  EXPECT_EQ(model->PieceLayers(), TPieceLayersState::Complete);
}

TEST(V2Load, V2OnlySingleFileIsNamedByTheTorrent) {
  const std::string info =
      "d9:file treed5:movie" + FileEntry(700, 4) + "e12:meta versioni2e4:name5:movie12:piece lengthi16384ee";
  auto [model, ok] = Load(TorrentOf(info));
  ASSERT_TRUE(ok);
  EXPECT_EQ(model->Errors, std::vector<std::string>());
  EXPECT_FALSE(model->MultiFile);
  ASSERT_EQ(model->Files.size(), 1u);
  EXPECT_EQ(model->Files[0]->Name, "movie");
  EXPECT_EQ(model->Files[0]->Path, "");
  EXPECT_EQ(model->TotalLength, 700);
}

// A folder holding one file is written as a tree of that one file under the folder's name: only a
// file named as the torrent is the torrent itself.
TEST(V2Load, ATreeOfOneFileIsASingleFileOnlyUnderTheTorrentsName) {
  struct TCase {
    const char* Name;
    std::string TreeKey;
    std::string TorrentName;
    bool MultiFile;
    std::string Folder;  // of the one file entry
    std::string FileName;
  };
  const std::vector<TCase> cases = {
      {.Name = "named as the torrent",
       .TreeKey = "only.bin",
       .TorrentName = "only.bin",
       .MultiFile = false,
       .Folder = "",
       .FileName = "only.bin"},
      {.Name = "in the torrent's folder",
       .TreeKey = "only.bin",
       .TorrentName = "T",
       .MultiFile = true,
       .Folder = "",
       .FileName = "only.bin"},
      {.Name = "names differing in case only",
       .TreeKey = "Only.bin",
       .TorrentName = "only.bin",
       .MultiFile = true,
       .Folder = "",
       .FileName = "Only.bin"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string info = Dict({{"file tree", Dict({{c.TreeKey, FileEntry(700, 4)}})},
                                   {"meta version", Int(2)},
                                   {"name", Str(c.TorrentName)},
                                   {"piece length", Int(16384)}});
    auto [model, ok] = Load(TorrentOf(info));
    ASSERT_TRUE(ok);
    EXPECT_EQ(model->Errors, std::vector<std::string>());
    EXPECT_EQ(model->MultiFile, c.MultiFile);
    EXPECT_EQ(model->Name, c.TorrentName);
    ASSERT_EQ(model->Files.size(), 1u);
    EXPECT_EQ(model->Files[0]->Path, c.Folder);
    EXPECT_EQ(model->Files[0]->Name, c.FileName);
    // Saved with a new comment, it reads back the same.
    model->SetComment("c");
    auto [again, okAgain] = Load(Save(*model));
    ASSERT_TRUE(okAgain);
    EXPECT_EQ(again->MultiFile, c.MultiFile);
    EXPECT_EQ(again->InfoHashV2Text, model->InfoHashV2Text);
  }
}

// A hybrid whose "pieces" were taken out still has a v1 file list: it must describe the tree's
// files, as libtorrent checks ("the v1 and v2 file metadata does not match").
TEST(V2Load, AV1ListBesideATreeWithoutPiecesIsComparedWithIt) {
  const auto file = Ben::FileEntry;
  const auto pad = Ben::PadEntry;
  const auto info = [](const std::string& v1) {
    return Dict({{"file tree", TreeOfThree()},
                 {"files", v1},
                 {"meta version", Int(2)},
                 {"name", Str("Top")},
                 {"piece length", Int(16384)}});
  };
  struct TCase {
    const char* Name;
    std::string Files;
    bool Agrees;
  };
  const std::vector<TCase> cases = {
      {"the tree's files",
       List({file(5000, {Str("a"), Str("b.bin")}), pad(16384 - 5000), file(0, {Str("a"), Str("c.txt")}),
             file(300, {Str("z.dat")}), pad(16384 - 300)}),
       true},
      {"another name",
       List({file(5000, {Str("a"), Str("x.bin")}), pad(16384 - 5000), file(0, {Str("a"), Str("c.txt")}),
             file(300, {Str("z.dat")}), pad(16384 - 300)}),
       false},
      {"another length",
       List({file(5001, {Str("a"), Str("b.bin")}), pad(16384 - 5001), file(0, {Str("a"), Str("c.txt")}),
             file(300, {Str("z.dat")}), pad(16384 - 300)}),
       false},
      {"a file left out", List({file(5000, {Str("a"), Str("b.bin")}), pad(16384 - 5000)}), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto [model, ok] = Load(TorrentOf(info(c.Files)));
    ASSERT_TRUE(ok);
    EXPECT_EQ(model->Format(), TMetaFormat::V2);
    const auto damage = model->DamageLines();
    EXPECT_EQ(damage.empty(), c.Agrees) << (damage.empty() ? "" : damage[0]);
    if (!c.Agrees) {
      ASSERT_EQ(damage.size(), 1u);
      EXPECT_NE(damage[0].find("the v1 file list and the file tree disagree"), std::string::npos)
          << damage[0];
    }
  }
  // A single-file v1 part the same way.
  const std::string single = "d9:file treed5:movie" + FileEntry(700, 4) +
                             "e6:lengthi701e12:meta versioni2e4:name5:movie12:piece lengthi16384ee";
  auto [model, ok] = Load(TorrentOf(single));
  ASSERT_TRUE(ok);
  EXPECT_TRUE(model->IsDamaged());
}

TEST(V2Load, HybridCarriesBothHashesAndTheRootsOfItsRealFiles) {
  const std::string info = HybridInfo();
  auto [model, ok] = Load(TorrentOf(info));
  ASSERT_TRUE(ok);
  EXPECT_EQ(model->Errors, std::vector<std::string>());
  EXPECT_EQ(model->Format(), TMetaFormat::Hybrid);
  EXPECT_EQ(model->InfoHashText, Hex(Sha1Bytes(info)));
  EXPECT_EQ(model->InfoHashV2Text, Hex(Sha256Bytes(info)));
  ASSERT_EQ(model->Files.size(), 5u);
  EXPECT_EQ(model->Files[0]->PiecesRoot(), Sha256Bytes(Data(5000, 1)));
  EXPECT_EQ(model->Files[1]->PiecesRoot(), "");  // a pad
  EXPECT_EQ(model->Files[2]->PiecesRoot(), "");  // empty
  EXPECT_EQ(model->Files[3]->PiecesRoot(), Sha256Bytes(Data(300, 3)));
}

TEST(V2Load, V1TorrentsHaveNoV2Fields) {
  auto [model, ok] = Load(TorrentOf(Dict(
      {{"length", Int(5)}, {"name", Str("n")}, {"piece length", Int(16384)}, {"pieces", Str(FakeHash(1))}})));
  ASSERT_TRUE(ok);
  EXPECT_EQ(model->Format(), TMetaFormat::V1);
  EXPECT_EQ(model->InfoHashV2Text, "");
  EXPECT_FALSE(model->InfoHashText.empty());
}

TEST(V2Load, BrokenV2PartsGiveTheirLinesAndNoV1Complaints) {
  struct TCase {
    const char* Name;
    std::string Info;
    std::string Line;  // expected among the errors
  };
  const std::string tree = TreeOfThree();
  const std::vector<TCase> cases = {
      {"newer meta version, first",
       "d9:file tree" + tree + "12:meta versioni3e4:name3:Top12:piece lengthi16384ee",
       "Corrupt File: \"info.meta version\" is 3: the torrent was made by a newer program, which this one "
       "cannot "
       "read"},
      {"piece length not a power of two",
       "d9:file tree" + tree + "12:meta versioni2e4:name3:Top12:piece lengthi20000ee",
       "Corrupt File: \"info.piece length\" is 20000"},
      {"tree without meta version", "d9:file tree" + tree + "4:name3:Top12:piece lengthi16384ee",
       "Corrupt File: \"info.file tree\" is present, but \"info.meta version\" is missing"},
      {"only empty files",
       "d9:file treed1:e" + FileEntry(0, 0) + "1:f" + FileEntry(0, 0) +
           "e12:meta versioni2e4:name3:Top12:piece lengthi16384ee",
       "Corrupt File: the torrent holds no data (total length 0)"},
      {"unsorted keys", "d12:meta versioni2e9:file tree" + tree + "4:name3:Top12:piece lengthi16384ee",
       "Corrupt File: the \"info\" segment is not canonically bencoded"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto [model, ok] = Load(TorrentOf(c.Info));
    ASSERT_TRUE(ok);
    ASSERT_FALSE(model->Errors.empty());
    bool found = false;
    for (const std::string& line : model->Errors) found = found || line.starts_with(c.Line);
    EXPECT_TRUE(found) << testing::PrintToString(model->Errors);
    if (std::string_view(c.Name).starts_with("newer")) {
      EXPECT_EQ(model->Errors.front(), c.Line);
    }
    if (model->Format() == TMetaFormat::V2) {
      for (const std::string& line : model->Errors)
        EXPECT_EQ(line.find("info.pieces"), std::string::npos) << line;
    }
  }
}

struct TEdit {
  const char* Name;
  std::function<void(TTorrentFile&)> Change;
  bool InfoChanges;
};

const std::vector<TEdit>& Edits() {
  static const std::vector<TEdit> edits = {
      {"comment", [](TTorrentFile& m) { m.SetComment("new"); }, false},
      {"trackers", [](TTorrentFile& m) { AddTracker(m, "udp://t/b"); }, false},
      {"date", [](TTorrentFile& m) { m.SetCreationUnix(1700000000); }, false},
      {"web seeds", [](TTorrentFile& m) { m.SetWebSeeds({"http://w/"}); }, false},
      {"private", [](TTorrentFile& m) { m.SetPrivate(true); }, true},
      {"source", [](TTorrentFile& m) { m.SetSource("SRC"); }, true},
  };
  return edits;
}

TEST(V2Edit, EditsKeepTheV2PartsAndNameBothHashes) {
  const std::vector<std::pair<const char*, std::string>> torrents = {{"v2", V2OnlyInfo()},
                                                                     {"hybrid", HybridInfo()}};
  for (const auto& [kind, info] : torrents) {
    for (const TEdit& edit : Edits()) {
      SCOPED_TRACE(std::string(kind) + ", " + edit.Name);
      auto [model, ok] = Load(TorrentOf(info));
      ASSERT_TRUE(ok);
      const std::string oldV1 = model->InfoHashText, oldV2 = model->InfoHashV2Text;
      edit.Change(*model);
      EXPECT_EQ(InfoHashChanges(*model), edit.InfoChanges);
      const std::string predictedV1 = SavedInfoHash(*model);
      const std::string predictedV2 = model->SavedInfoHashV2Text(model->Pieces);
      TMemoryStream out;
      std::string writtenV1;
      model->SaveToStream(out, model->Pieces, writtenV1);
      const std::string saved = out.Data();
      const std::string savedInfo = InfoOf(saved);
      if (!edit.InfoChanges) {
        EXPECT_EQ(savedInfo, info);
      }
      // The v2 keys stay byte for byte, whatever else the info gets.
      EXPECT_EQ(InfoValue(saved, "file tree"), TreeOfThree());
      EXPECT_EQ(InfoValue(saved, "meta version"), "i2e");
      if (std::string_view(kind) == "v2") {
        for (const char* key : {"pieces", "files", "length"}) EXPECT_EQ(InfoValue(saved, key), "none") << key;
      } else {
        EXPECT_EQ(InfoValue(saved, "pieces"), InfoValue(TorrentOf(info), "pieces"));
      }

      auto [again, okAgain] = Load(saved);
      ASSERT_TRUE(okAgain);
      EXPECT_EQ(again->Errors, std::vector<std::string>());
      EXPECT_EQ(again->Format(), model->Format());
      EXPECT_EQ(again->InfoHashV2Text, Hex(Sha256Bytes(savedInfo)));
      EXPECT_EQ(predictedV2, again->InfoHashV2Text);
      EXPECT_EQ(predictedV1, again->InfoHashText);
      EXPECT_EQ(writtenV1, again->InfoHashText);
      EXPECT_EQ(again->InfoHashV2Text == oldV2, !edit.InfoChanges);
      if (std::string_view(kind) == "hybrid") {
        EXPECT_EQ(again->InfoHashText == oldV1, !edit.InfoChanges);
      }
    }
  }
}

TEST(V2Edit, RenamesKeepingTheTreeOrderAreSavedOthersRefused) {
  struct TCase {
    const char* Name;
    size_t File;
    const char* Folder;
    const char* NewName;
    bool Saved;
    std::vector<std::string> Paths;  // of the saved torrent's files
  };
  const std::vector<TCase> cases = {
      {"a file in its folder", 0, "a/", "a.bin", true, {"a/a.bin", "a/c.txt", "z.dat"}},
      {"the last file", 2, "", "y.dat", true, {"a/b.bin", "a/c.txt", "y.dat"}},
      {"a folder of its own", 2, "m/n/", "z.dat", true, {"a/b.bin", "a/c.txt", "m/n/z.dat"}},
      {"moved in front", 2, "", "0.dat", false, {}},
      {"past the next", 0, "a/", "d.bin", false, {}},
      {"a file where a folder is", 2, "", "a", false, {}},
      {"two files of one path", 1, "a/", "b.bin", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto [model, ok] = Load(TorrentOf(V2OnlyInfo()));
    ASSERT_TRUE(ok);
    model->RenameFile(c.File, c.Folder, c.NewName);
    EXPECT_EQ(model->HybridRenamed(), !c.Saved);
    TMemoryStream out;
    if (!c.Saved) {
      EXPECT_THROW(model->SaveToStream(out, model->Pieces), EHybridRename);
      EXPECT_TRUE(out.Data().empty());
      continue;
    }
    const std::string predicted = model->SavedInfoHashV2Text(model->Pieces);
    model->SaveToStream(out, model->Pieces);
    auto [again, okAgain] = Load(out.Data());
    ASSERT_TRUE(okAgain);
    EXPECT_EQ(again->Errors, std::vector<std::string>());
    EXPECT_EQ(again->InfoHashV2Text, Hex(Sha256Bytes(InfoOf(out.Data()))));
    EXPECT_EQ(again->InfoHashV2Text, predicted);
    std::vector<std::string> paths;
    for (const auto& file : again->Files) paths.push_back(file->Path + file->Name);
    EXPECT_EQ(paths, c.Paths);
    // The entries move with their files.
    for (size_t i = 0; i < again->Files.size(); ++i)
      EXPECT_EQ(again->Files[i]->PiecesRoot(), model->Files[i]->PiecesRoot());
  }
}

}  // namespace

namespace {

// A v2-only torrent of two files longer than a piece, with their real roots and layers: the
// shapes below change nothing but the bytes of "piece layers" and where they stand.
class PieceLayerShapes : public ::testing::Test {
 protected:
  static constexpr int64_t PieceLength = 16384;

  void SetUp() override {
    std::string tree = "d";
    for (int i = 0; i < 2; ++i) {
      const int64_t length = PieceLength * (2 + i) + 100;
      const std::string data = Data(length, i + 5);
      const TMerkleFileHashes hashes = MerkleOfData(reinterpret_cast<const uint8_t*>(data.data()),
                                                    static_cast<uint64_t>(length), PieceLength);
      roots_[i].assign(reinterpret_cast<const char*>(hashes.Root.data()), 32);
      for (const auto& hash : hashes.PieceLayer)
        layers_[i].append(reinterpret_cast<const char*>(hash.data()), 32);
      tree += Str("f" + std::to_string(i)) +
              Dict({{"", Dict({{"length", Int(length)}, {"pieces root", Str(roots_[i])}})}});
    }
    info_ = "d9:file tree" + tree + "e12:meta versioni2e4:name3:Top12:piece lengthi16384ee";
  }

  // The layers of both files, keys in byte order.
  std::string Entries() const {
    const int first = roots_[0] < roots_[1] ? 0 : 1;
    return Str(roots_[first]) + Str(layers_[first]) + Str(roots_[1 - first]) + Str(layers_[1 - first]);
  }
  std::string Torrent(const std::string& topLevelTail) const {
    return "d8:announce8:http://a4:info" + info_ + topLevelTail + "e";
  }
  std::string WithLayers(const std::string& layers) const { return Torrent("12:piece layers" + layers); }

  std::string info_;
  std::string roots_[2];
  std::string layers_[2];
};

}  // namespace

// Whatever loads without a line saves into a file that loads the same, layers and all; what a
// save could not write back as it was read is reported on load.
TEST_F(PieceLayerShapes, EachShapeLoadsCleanAndSavesCleanOrIsReported) {
  const std::string first = Str(roots_[0]) + Str(layers_[0]);
  const std::string second = Str(roots_[1]) + Str(layers_[1]);
  const std::string reversed = roots_[0] < roots_[1] ? second + first : first + second;
  const std::string leadingZero = Str(roots_[0]) + "0" + Str(layers_[0]);
  struct TCase {
    const char* Name;
    std::string Bytes;
    TPieceLayersState State = TPieceLayersState::Complete;
    std::string Line;  // "" when the shape loads clean
  };
  const TCase cases[] = {
      {.Name = "both layers", .Bytes = WithLayers("d" + Entries() + "e")},
      {.Name = "absent", .Bytes = Torrent(""), .State = TPieceLayersState::Absent},
      {.Name = "empty dictionary", .Bytes = WithLayers("de"), .State = TPieceLayersState::Absent},
      {.Name = "one of two", .Bytes = WithLayers("d" + first + "e"), .State = TPieceLayersState::Partial},
      {.Name = "before info",
       .Bytes = "d8:announce8:http://a12:piece layersd" + Entries() + "e4:info" + info_ + "e"},
      {.Name = "junk after the file", .Bytes = WithLayers("d" + Entries() + "e") + "junk"},
      {.Name = "twin keys, another value",
       .Bytes = WithLayers("d" + Entries() + Str(roots_[0]) + Str(layers_[1]) + "e"),
       .Line = "\"piece layers\" segment is not canonically bencoded"},
      {.Name = "twin keys, the same value",
       .Bytes = WithLayers("d" + first + first + "e"),
       .Line = "\"piece layers\" segment is not canonically bencoded"},
      {.Name = "keys out of order",
       .Bytes = WithLayers("d" + reversed + "e"),
       .Line = "\"piece layers\" segment is not canonically bencoded"},
      {.Name = "leading zero",
       .Bytes = WithLayers("d" + leadingZero + "e"),
       .Line = "not canonically bencoded"},
      {.Name = "stray byte after the last layer",
       .Bytes = WithLayers("d" + Entries() + "xe"),
       .Line = "Malformed \"piece layers\" segment"},
      {.Name = "twin top-level keys",
       .Bytes = Torrent("12:piece layersd" + first + "e12:piece layersd" + Entries() + "e"),
       .Line = "the \"piece layers\" segment appears more than once"},
      {.Name = "not a dictionary",
       .Bytes = WithLayers("l" + Str(layers_[0]) + "e"),
       .Line = "is not a dictionary"},
      {.Name = "a layer of another file",
       .Bytes = WithLayers("d" + Str(roots_[0]) + Str(layers_[1].substr(0, layers_[0].size())) + "e"),
       .Line = "does not reduce to its \"pieces root\""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto [model, ok] = Load(c.Bytes);
    ASSERT_TRUE(ok);
    if (!c.Line.empty()) {
      EXPECT_TRUE(std::any_of(model->Errors.begin(), model->Errors.end(), [&](const std::string& line) {
        return line.find(c.Line) != std::string::npos;
      })) << ::testing::PrintToString(model->Errors);
      continue;
    }
    ASSERT_EQ(model->Errors, std::vector<std::string>());
    EXPECT_EQ(model->PieceLayers(), c.State);
    const std::string saved = Save(*model);
    auto [again, reloaded] = Load(saved);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(again->Errors, std::vector<std::string>());
    EXPECT_EQ(again->PieceLayers(), c.State);
    EXPECT_EQ(again->InfoHashV2Text, model->InfoHashV2Text);
    for (size_t i = 0; i < model->Files.size(); ++i)
      EXPECT_EQ(again->PieceLayer(i), model->PieceLayer(i)) << i;
    EXPECT_EQ(Save(*again), saved);
    // A comment edit writes the top level anew: the layers go with it as they were checked.
    again->SetComment("edited");
    auto [edited, editedOk] = Load(Save(*again));
    ASSERT_TRUE(editedOk);
    EXPECT_EQ(edited->Errors, std::vector<std::string>());
    EXPECT_EQ(edited->PieceLayers(), c.State);
    for (size_t i = 0; i < model->Files.size(); ++i)
      EXPECT_EQ(edited->PieceLayer(i), model->PieceLayer(i)) << i;
  }
}

// A link whose target leads out of the torrent is as unsafe as a path that
// does, in a file tree and in a v1 list.
TEST(V2Load, LinksWhoseTargetClimbsOutAreUnsafe) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Target;
    bool Unsafe;
  };
  const TCase cases[] = {
      {"inside", {"a", "data"}, false},
      {"down and up again", {"a", "..", "data"}, false},
      {"out", {"..", "..", "etc", "passwd"}, true},
      {"out after a folder", {"a", "..", "..", "x"}, true},
      {"a separator inside a name", {"../x"}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string target = "l";
    for (const std::string& part : c.Target) target += Str(part);
    target += "e";
    const std::string link = Dict({{"attr", Str("l")}, {"length", Int(0)}, {"symlink path", target}});
    const std::string v2 =
        TorrentOf("d9:file tree" + Dict({{"data", FileEntry(300, 3)}, {"link", Dict({{"", link}})}}) +
                  "12:meta versioni2e4:name3:Top12:piece lengthi16384ee");
    const std::string v1 =
        TorrentOf(Dict({{"files", List({Dict({{"length", Int(300)}, {"path", List({Str("data")})}}),
                                        Dict({{"attr", Str("l")},
                                              {"length", Int(0)},
                                              {"path", List({Str("link")})},
                                              {"symlink path", target}})})},
                        {"name", Str("Top")},
                        {"piece length", Int(16384)},
                        {"pieces", Str(Sha1Bytes(Data(300, 3)))}}));
    for (const std::string& bytes : {v2, v1}) {
      auto [model, ok] = Load(bytes);
      ASSERT_TRUE(ok);
      EXPECT_EQ(model->DamageLines(), std::vector<std::string>());
      ASSERT_EQ(model->Files.size(), 2u);
      EXPECT_TRUE(model->Files[1]->Symlink);
      EXPECT_FALSE(model->Files[0]->UnsafePath);
      EXPECT_EQ(model->Files[1]->UnsafePath, c.Unsafe);
    }
  }
}
