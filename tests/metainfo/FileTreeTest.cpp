#include "metainfo/FileTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/Hex.h"
#include "../support/TempDir.h"
#include "MetainfoTestUtil.h"
#include "digest/Merkle.h"
#include "metainfo/BDecode.h"

namespace {

using Ben::Dict;
using Ben::Int;
using Ben::List;
using Ben::Str;

// A 32-byte root that is not all zero.
std::string Root(int seed) {
  std::string root(32, '\0');
  for (int i = 0; i < 32; ++i) root[static_cast<size_t>(i)] = static_cast<char>(seed * 17 + i + 1);
  return root;
}

// A file's node in a tree: the dictionary under its name.
std::string FileNode(int64_t length, const std::string& root) {
  return Dict({{"", Dict({{"length", Int(length)}, {"pieces root", Str(root)}})}});
}
std::string EmptyNode() { return Dict({{"", Dict({{"length", Int(0)}})}}); }

// A v2-only info around a tree, keys in order.
std::string Info(const std::string& tree, int64_t pieceLength = 16384) {
  return Dict({{"file tree", tree},
               {"meta version", Int(2)},
               {"name", Str("n")},
               {"piece length", Int(pieceLength)}});
}

std::string Joined(const std::vector<std::string>& path) {
  std::string text;
  for (const auto& part : path) text += (text.empty() ? "" : "/") + part;
  return text;
}

std::vector<std::string> Paths(const TFileTree& tree) {
  std::vector<std::string> paths;
  for (const auto& file : tree.Files) paths.push_back(Joined(file.Path));
  return paths;
}

// A folder nested depth levels deep around one file.
std::string Nested(int depth) {
  std::string node = FileNode(1, Root(1));
  for (int i = 0; i < depth; ++i) node = Dict({{"d", node}});
  return node;
}

}  // namespace

// The list follows the tree depth first with keys as raw bytes: "a/x" before "a.txt", "a b/y"
// between them, upper case before lower case.
TEST(FileTreeTest, FilesComeInTreeOrderWithTheirFields) {
  const std::string tree =
      Dict({{"A", FileNode(1, Root(1))},
            {"a", Dict({{"b", Dict({{"c.txt", FileNode(5, Root(2))}})},
                        {"x", Dict({{"", Dict({{"attr", Str("xh")},
                                               {"length", Int(20000)},
                                               {"pieces root", Str(Root(3))}})}})}})},
            {"a b", Dict({{"y", FileNode(2, Root(4))}})},
            {"a.txt", EmptyNode()},
            {"link", Dict({{"", Dict({{"attr", Str("l")}, {"symlink path", List({Str("a"), Str("x")})}})}})},
            {"z", FileNode(16384, Root(5))}});
  std::vector<std::string> errors;
  const TFileTree read = ReadFileTree(Info(tree), errors);
  EXPECT_TRUE(errors.empty()) << errors[0];
  EXPECT_EQ(Paths(read), (std::vector<std::string>{"A", "a/b/c.txt", "a/x", "a b/y", "a.txt", "link", "z"}));
  EXPECT_FALSE(read.SingleFile);
  EXPECT_EQ(read.TotalLength, 1 + 5 + 20000 + 2 + 16384);
  const TTreeFile& x = read.Files[2];
  EXPECT_EQ(x.Length, 20000);
  EXPECT_EQ(x.PiecesRoot, Root(3));
  EXPECT_TRUE(x.HasAttr('x') && x.HasAttr('h') && !x.IsSymlink());
  EXPECT_TRUE(read.Files[4].PiecesRoot.empty());
  const TTreeFile& link = read.Files[5];
  EXPECT_TRUE(link.IsSymlink());
  EXPECT_EQ(link.Length, 0);
  EXPECT_EQ(link.SymlinkPath, (std::vector<std::string>{"a", "x"}));
  EXPECT_EQ(FormatOf(Info(tree)), TMetaFormat::V2);
  EXPECT_TRUE(CanonicalInfoError(Info(tree)).empty());
}

TEST(FileTreeTest, OneFileDirectlyInTheTreeIsASingleFileTorrent) {
  std::vector<std::string> errors;
  const TFileTree single = ReadFileTree(Info(Dict({{"n", FileNode(7, Root(1))}})), errors);
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(single.SingleFile);
  EXPECT_EQ(single.TotalLength, 7);
  // One file inside a folder is not.
  const TFileTree folder = ReadFileTree(Info(Dict({{"d", Dict({{"f", FileNode(7, Root(1))}})}})), errors);
  EXPECT_FALSE(folder.SingleFile);
  // Nor is a tree of one file in a hybrid whose v1 part lists files.
  const std::string hybrid = Dict({{"file tree", Dict({{"f", FileNode(7, Root(1))}})},
                                   {"files", List({Dict({{"length", Int(7)}, {"path", List({Str("f")})}})})},
                                   {"meta version", Int(2)},
                                   {"name", Str("n")},
                                   {"piece length", Int(16384)},
                                   {"pieces", Str(FakeHash(1))}});
  EXPECT_FALSE(ReadFileTree(hybrid, errors).SingleFile);
  EXPECT_EQ(FormatOf(hybrid), TMetaFormat::Hybrid);
  EXPECT_TRUE(errors.empty());
}

TEST(FileTreeTest, AnInfoWithoutV2PartsReadsAsV1WithoutLines) {
  const std::string v1 = Dict(
      {{"length", Int(5)}, {"name", Str("n")}, {"piece length", Int(16384)}, {"pieces", Str(FakeHash(1))}});
  std::vector<std::string> errors;
  EXPECT_TRUE(ReadFileTree(v1, errors).Files.empty());
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(FormatOf(v1), TMetaFormat::V1);
  EXPECT_TRUE(NewerMetaVersionError(v1).empty());
  // Neither do bytes that are no dictionary at all: the loader has its own line for those.
  EXPECT_TRUE(ReadFileTree("d4:name", errors).Files.empty());
  EXPECT_TRUE(errors.empty());
}

// A newer meta version is the one line worth reading: the rest of the tree is not judged.
TEST(FileTreeTest, NewerMetaVersionIsReportedAloneAndFirst) {
  const std::string info = Dict({{"file tree", Str("whatever")},
                                 {"meta version", Int(3)},
                                 {"name", Str("n")},
                                 {"piece length", Int(12345)}});
  EXPECT_EQ(NewerMetaVersionError(info),
            "Corrupt File: \"info.meta version\" is 3: the torrent was made by a newer program, which this "
            "one cannot read");
  std::vector<std::string> errors;
  EXPECT_TRUE(ReadFileTree(info, errors).Files.empty());
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(NewerMetaVersionError(Info(Dict({{"n", FileNode(1, Root(1))}}))).empty());
  EXPECT_EQ(NewerMetaVersionError(Dict({{"meta version", "i99999999999999999999e"}})),
            "Corrupt File: \"info.meta version\" is beyond 64 bits: the torrent was made by a newer program, "
            "which this "
            "one cannot read");
  EXPECT_TRUE(NewerMetaVersionError(Dict({{"meta version", "i-99999999999999999999e"}})).empty());
}

// One fixture per rule, each giving exactly its own line.
TEST(FileTreeTest, EachBrokenRuleGivesItsLine) {
  const std::string good = FileNode(1, Root(1));
  auto leaf = [](std::initializer_list<std::pair<std::string, std::string>> fields) {
    return Dict({{"", Dict(fields)}});
  };
  struct TCase {
    const char* Name;
    std::string Info;
    std::string Line;
  };
  const TCase cases[] = {
      {"meta version 1",
       Dict({{"file tree", Dict({{"f", good}})},
             {"meta version", Int(1)},
             {"name", Str("n")},
             {"piece length", Int(16384)}}),
       "Corrupt File: \"info.meta version\" is 1, not 2"},
      {"meta version a string",
       Dict({{"file tree", Dict({{"f", good}})},
             {"meta version", Str("2")},
             {"name", Str("n")},
             {"piece length", Int(16384)}}),
       "Corrupt File: \"info.meta version\" is not an integer"},
      {"meta version below 64 bits",
       Dict({{"file tree", Dict({{"f", good}})},
             {"meta version", "i-99999999999999999999e"},
             {"name", Str("n")},
             {"piece length", Int(16384)}}),
       "Corrupt File: \"info.meta version\" is beyond 64 bits, not 2"},
      {"meta version without tree",
       Dict({{"meta version", Int(2)}, {"name", Str("n")}, {"piece length", Int(16384)}}),
       "Corrupt File: \"info.meta version\" is present, but \"info.file tree\" is missing"},
      {"tree without meta version",
       Dict({{"file tree", Dict({{"f", good}})}, {"name", Str("n")}, {"piece length", Int(16384)}}),
       "Corrupt File: \"info.file tree\" is present, but \"info.meta version\" is missing"},
      {"piece length not a power of two", Info(Dict({{"f", good}}), 49152),
       "Corrupt File: \"info.piece length\" is 49152, not a power of two of at least 16384 as a v2 torrent "
       "needs"},
      {"piece length below 16 KiB", Info(Dict({{"f", good}}), 8192),
       "Corrupt File: \"info.piece length\" is 8192, not a power of two of at least 16384 as a v2 torrent "
       "needs"},
      {"tree is a list", Info(List({good})), "Corrupt File: \"info.file tree\" is not a dictionary"},
      {"tree is empty", Info("de"), "Corrupt File: \"info.file tree\" holds no file"},
      {"entry not a dictionary", Info(Dict({{"a", Int(1)}, {"f", good}})),
       "Corrupt File: \"info.file tree\" entry \"a\" is not a dictionary"},
      {"name ..", Info(Dict({{"..", good}})),
       "Corrupt File: \"info.file tree\" entry \"..\" has a name that is \"..\""},
      {"name with a slash", Info(Dict({{"d", Dict({{"a/b", good}})}})),
       "Corrupt File: \"info.file tree\" entry \"d/a/b\" has a name that contains \"/\""},
      {"file beside names", Info(Dict({{"d", Dict({{"", Dict({{"length", Int(1)}})}, {"f", good}})}})),
       "Corrupt File: \"info.file tree\" entry \"d\" holds a file (the empty name) beside other names"},
      {"file without a name", Info(Dict({{"", Dict({{"length", Int(1)}})}, {"f", good}})),
       "Corrupt File: \"info.file tree\" holds a file without a name"},
      {"file not a dictionary", Info(Dict({{"f", Dict({{"", Int(1)}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" is not a dictionary"},
      {"no length", Info(Dict({{"f", leaf({{"pieces root", Str(Root(1))}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" is missing a \"length\" segment"},
      {"length a string", Info(Dict({{"f", leaf({{"length", Str("1")}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" has a \"length\" that is not an integer"},
      {"negative length", Info(Dict({{"f", leaf({{"length", Int(-1)}, {"pieces root", Str(Root(1))}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" has a negative length"},
      {"length beyond 64 bits",
       Info(Dict({{"f", leaf({{"length", "i99999999999999999999e"}, {"pieces root", Str(Root(1))}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" has a length that does not fit in 64 bits"},
      {"no root", Info(Dict({{"f", leaf({{"length", Int(5)}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" is missing its \"pieces root\""},
      {"short root", Info(Dict({{"f", leaf({{"length", Int(5)}, {"pieces root", Str(Root(1).substr(1))}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" has a \"pieces root\" of 31 bytes, not 32"},
      {"root an integer", Info(Dict({{"f", leaf({{"length", Int(5)}, {"pieces root", Int(7)}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" has a \"pieces root\" that is not a byte string"},
      {"all-zero root",
       Info(Dict({{"f", leaf({{"length", Int(5)}, {"pieces root", Str(std::string(32, '\0'))}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" has an all-zero \"pieces root\""},
      {"empty file with a root",
       Info(Dict({{"e", leaf({{"length", Int(0)}, {"pieces root", Str(Root(2))}})}, {"f", good}})),
       "Corrupt File: \"info.file tree\" file \"e\" is empty but has a \"pieces root\""},
      {"pad in the tree",
       Info(Dict({{"f", leaf({{"attr", Str("p")}, {"length", Int(5)}, {"pieces root", Str(Root(1))}})}})),
       "Corrupt File: \"info.file tree\" file \"f\" is marked as a pad file (attr \"p\"), which a file tree "
       "may not hold"},
      {"link without target", Info(Dict({{"f", good}, {"l", leaf({{"attr", Str("l")}})}})),
       "Corrupt File: \"info.file tree\" file \"l\" is a link without a \"symlink path\""},
      {"link target not names",
       Info(Dict({{"f", good}, {"l", leaf({{"attr", Str("l")}, {"symlink path", List({Int(1)})}})}})),
       "Corrupt File: \"info.file tree\" file \"l\" has a \"symlink path\" that is not a list of names"},
      {"link with a root",
       Info(Dict({{"f", good},
                  {"l", leaf({{"attr", Str("l")},
                              {"pieces root", Str(Root(3))},
                              {"symlink path", List({Str("f")})}})}})),
       "Corrupt File: \"info.file tree\" file \"l\" is a link but has a \"pieces root\""},
      // libtorrent: a path of 96 names is 100 levels of bencoding, one too many.
      {"too deep", Info(Nested(96)),
       "Corrupt File: \"info.file tree\" is nested deeper than 100 levels, counted from the top of the file"},
      {"a file of 2^62 bytes", Info(Dict({{"a", FileNode(int64_t{1} << 62, Root(1))}})),
       "Corrupt File: \"info.file tree\" file \"a\" has a length of 4611686018427387904 bytes, 2^62 or more, "
       "which clients refuse"},
      {"more pieces than clients load", Info(Dict({{"a", FileNode((int64_t{1} << 35) + 1, Root(1))}})),
       "Corrupt File: the files need more than 2097152 pieces of 16384 bytes, the most clients load"},
      {"more pieces in all than clients load",
       Info(Dict(
           {{"a", FileNode(int64_t{1} << 34, Root(1))}, {"b", FileNode((int64_t{1} << 34) + 1, Root(2))}})),
       "Corrupt File: the files need more than 2097152 pieces of 16384 bytes, the most clients load"},
      {"a v2 piece length of 1 GiB", Info(Dict({{"a", FileNode(1, Root(1))}}), int64_t{1} << 30),
       "Corrupt File: \"info.piece length\" is 1073741824, more than 536870912 (512 MiB), the most clients "
       "load "
       "in a v2 torrent"},
      {"only empty files", Info(Dict({{"a", EmptyNode()}, {"b", EmptyNode()}})),
       "Corrupt File: the torrent holds no data (total length 0)"},
      {"lengths overflow",
       Info(Dict({{"a", FileNode((int64_t{1} << 62) - 1, Root(1))},
                  {"b", FileNode((int64_t{1} << 62) - 1, Root(2))},
                  {"c", FileNode((int64_t{1} << 62) - 1, Root(3))}})),
       "Corrupt File: the file lengths add up to more than 2^63 bytes"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> errors;
    ReadFileTree(c.Info, errors);
    EXPECT_EQ(errors, std::vector<std::string>{c.Line});
  }
  // What clients still take is read: the deepest tree, the most pieces, the longest v2 piece.
  for (const std::string& info :
       {Info(Nested(95)), Info(Dict({{"a", FileNode(int64_t{1} << 35, Root(1))}})),
        Info(Dict({{"a", FileNode(int64_t{1} << 29, Root(1))}}), int64_t{1} << 29)}) {
    std::vector<std::string> errors;
    EXPECT_EQ(ReadFileTree(info, errors).Files.size(), 1u);
    EXPECT_EQ(errors, std::vector<std::string>());
  }
}

// The v2 hash is over the info's bytes: only canonical bencoding gives every client the same.
TEST(FileTreeTest, NonCanonicalBencodingIsAnError) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    bool Canonical;
  };
  const TCase cases[] = {
      {"sorted keys, nested", "d1:ad1:bi0e1:ci-5ee1:bl0:3:abcee", true},
      {"raw byte order: upper case first", "d1:Zi1e1:ai1ee", true},
      {"unsorted keys", "d1:bi1e1:ai1ee", false},
      {"unsorted keys deep inside", "d1:ad1:ci1e1:bi1eee", false},
      {"twin keys", "d1:ai1e1:ai2ee", false},
      {"integer with a leading zero", "d1:ai03ee", false},
      {"minus zero", "d1:ai-0ee", false},
      {"negative with a leading zero", "d1:ai-01ee", false},
      {"empty integer", "d1:aiee", false},
      {"string length with a leading zero", "d1:a03:abce", false},
      {"key length with a leading zero", "d01:ai1ee", false},
      {"trailing bytes", "d1:ai1eee", false},
      {"cut off", "d1:ai1e", false},
      {"prefix key sorts first", "d1:ai1e2:aai2ee", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(IsCanonicalValue(c.Bytes), c.Canonical);
    EXPECT_EQ(CanonicalInfoError(c.Bytes).empty(), c.Canonical);
  }
  EXPECT_EQ(
      CanonicalInfoError("d1:bi1e1:ai1ee"),
      "Corrupt File: the \"info\" segment is not canonically bencoded (keys out of order or repeated, or "
      "numbers with leading zeros), so no client computes the same v2 info hash from it");
}

namespace {

// Two files longer than a piece and one shorter, with their real roots and layers.
class PieceLayersTest : public ::testing::Test {
 protected:
  static constexpr int64_t PieceLength = 16384;

  void SetUp() override {
    for (const int64_t length : {PieceLength * 7 / 2, PieceLength * 2 + 1, int64_t{1000}}) {
      const std::string data = PatternBytes(static_cast<size_t>(length), static_cast<unsigned>(length));
      const TMerkleFileHashes hashes = MerkleOfData(reinterpret_cast<const uint8_t*>(data.data()),
                                                    static_cast<uint64_t>(length), PieceLength);
      TTreeFile file;
      file.Path = {"f" + std::to_string(tree_.Files.size())};
      file.Length = length;
      file.PiecesRoot.assign(reinterpret_cast<const char*>(hashes.Root.data()), 32);
      for (const auto& hash : hashes.PieceLayer)
        layers_[tree_.Files.size()].append(reinterpret_cast<const char*>(hash.data()), 32);
      tree_.Files.push_back(file);
    }
  }

  std::string Layers(std::initializer_list<std::pair<std::string, std::string>> entries) {
    return Dict(entries);
  }
  const std::string& RootOf(size_t i) const { return tree_.Files[i].PiecesRoot; }

  TPieceLayersState Check(const std::string& bytes) {
    errors_.clear();
    return CheckPieceLayers(bytes, tree_, PieceLength, errors_);
  }

  TFileTree tree_;
  std::string layers_[3];
  std::vector<std::string> errors_;
};

}  // namespace

TEST_F(PieceLayersTest, StateFollowsWhichLayersArePresent) {
  // Keys in byte order, as a writer puts them.
  auto both = [this] {
    return RootOf(0) < RootOf(1) ? Layers({{RootOf(0), Str(layers_[0])}, {RootOf(1), Str(layers_[1])}})
                                 : Layers({{RootOf(1), Str(layers_[1])}, {RootOf(0), Str(layers_[0])}});
  };
  EXPECT_EQ(Check(both()), TPieceLayersState::Complete);
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(tree_.Files[0].PieceLayer, layers_[0]);
  EXPECT_EQ(tree_.Files[1].PieceLayer, layers_[1]);
  EXPECT_TRUE(tree_.Files[2].PieceLayer.empty());

  EXPECT_EQ(Check(Layers({{RootOf(1), Str(layers_[1])}})), TPieceLayersState::Partial);
  EXPECT_TRUE(errors_.empty());
  EXPECT_TRUE(tree_.Files[0].PieceLayer.empty());
  EXPECT_EQ(Check(""), TPieceLayersState::Absent);
  EXPECT_EQ(Check("de"), TPieceLayersState::Absent);
  EXPECT_TRUE(errors_.empty());

  // A tree whose files all fit in one piece needs no layer.
  TFileTree small;
  small.Files.push_back(tree_.Files[2]);
  EXPECT_EQ(CheckPieceLayers("", small, PieceLength, errors_), TPieceLayersState::Complete);
}

TEST_F(PieceLayersTest, EachFaultGivesItsLine) {
  std::string flipped = layers_[0];
  flipped[40] = static_cast<char>(flipped[40] ^ 1);
  // A pad hash appended reduces to the same root: only the size tells.
  const TSha256Hash padHash = MerklePadPieceRoot(PieceLength);
  std::string padded = layers_[1];
  padded.append(reinterpret_cast<const char*>(padHash.data()), 32);
  const std::string unknown = Root(9);
  struct TCase {
    const char* Name;
    std::string Bytes;
    std::string Line;
  };
  const TCase cases[] = {
      {"not a dictionary", List({Str(layers_[0])}), "Corrupt File: \"piece layers\" is not a dictionary"},
      {"key not 32 bytes", Layers({{"short", Str(layers_[0])}}),
       "Corrupt File: \"piece layers\" holds a key of 5 bytes, not a 32-byte \"pieces root\""},
      {"key no file has", Layers({{unknown, Str(layers_[0])}}),
       "Corrupt File: \"piece layers\" holds a layer for a \"pieces root\" no file has (" + ToHex(unknown) +
           ")"},
      {"value an integer", Layers({{RootOf(0), Int(5)}}),
       "Corrupt File: the piece layer of \"f0\" is not a byte string"},
      {"not a multiple of 32", Layers({{RootOf(0), Str(layers_[0] + "x")}}),
       "Corrupt File: the piece layer of \"f0\" is 129 bytes long, not a multiple of 32"},
      {"one hash short", Layers({{RootOf(0), Str(layers_[0].substr(32))}}),
       "Corrupt File: the piece layer of \"f0\" holds 3 hashes, but the file's length needs 4"},
      {"a pad hash more", Layers({{RootOf(1), Str(padded)}}),
       "Corrupt File: the piece layer of \"f1\" holds 4 hashes, but the file's length needs 3"},
      {"does not reduce to the root", Layers({{RootOf(0), Str(flipped)}}),
       "Corrupt File: the piece layer of \"f0\" does not reduce to its \"pieces root\""},
      {"another file's layer", Layers({{RootOf(1), Str(layers_[0].substr(0, 96))}}),
       "Corrupt File: the piece layer of \"f1\" does not reduce to its \"pieces root\""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Check(c.Bytes);
    EXPECT_EQ(errors_, std::vector<std::string>{c.Line});
    EXPECT_TRUE(tree_.Files[0].PieceLayer.empty() && tree_.Files[1].PieceLayer.empty());
  }
  // Checked only at a piece length a v2 torrent may have.
  errors_.clear();
  EXPECT_EQ(CheckPieceLayers(Layers({{RootOf(0), Str(flipped)}}), tree_, 20000, errors_),
            TPieceLayersState::Complete);
  EXPECT_TRUE(errors_.empty());
}

namespace {

// The tree of the hybrid fixtures: a file ending inside a piece, an aligned one, an empty one and
// a last one ending inside a piece.
TFileTree HybridTree() {
  TFileTree tree;
  for (const auto& [path, length] : std::vector<std::pair<std::vector<std::string>, int64_t>>{
           {{"a", "x"}, 5}, {{"b"}, 16384}, {{"c"}, 0}, {{"d"}, 20000}}) {
    TTreeFile file;
    file.Path = path;
    file.Length = length;
    if (length > 0) file.PiecesRoot = Root(static_cast<int>(length % 97));
    tree.Files.push_back(file);
  }
  return tree;
}

TV1FileEntry Real(std::vector<std::string> path, int64_t length) { return {std::move(path), length, false}; }
TV1FileEntry Pad(int64_t length) { return {{".pad", std::to_string(length)}, length, true}; }

}  // namespace

TEST(HybridTest, PadsFollowEveryFileEndingInsideAPieceTheLastOneToo) {
  EXPECT_EQ(HybridV1Files(HybridTree().Files, 16384),
            (std::vector<TV1FileEntry>{Real({"a", "x"}, 5), Pad(16379), Real({"b"}, 16384), Real({"c"}, 0),
                                       Real({"d"}, 20000), Pad(12768)}));
  // A file alone ends the data: no pad, even in a folder.
  const TFileTree tree = HybridTree();
  EXPECT_EQ(HybridV1Files(std::span(tree.Files).first(1), 16384),
            std::vector<TV1FileEntry>{Real({"a", "x"}, 5)});
}

TEST(HybridTest, DisagreementsAreErrorsAndAMissingTailPadIsNot) {
  const TFileTree tree = HybridTree();
  const std::string prefix = "Corrupt File: the v1 file list and the file tree disagree: ";
  const std::vector<TV1FileEntry> good = HybridV1Files(tree.Files, 16384);
  auto with = [&good](auto change) {
    std::vector<TV1FileEntry> list = good;
    change(list);
    return list;
  };
  struct TCase {
    const char* Name;
    std::vector<TV1FileEntry> V1;
    std::string Line;  // "" for none
  };
  const TCase cases[] = {
      {"as written", good, ""},
      {"without the tail pad", with([](auto& l) { l.pop_back(); }), ""},
      {"pads named otherwise", with([](auto& l) {
         l[1].Path = {"_pad", "x"};
       }),
       ""},
      {"a middle pad missing", with([](auto& l) { l.erase(l.begin() + 1); }),
       prefix + "files[1] is \"b\" (16384 bytes) where the file tree needs a pad of 16379 bytes"},
      {"a pad of the wrong size", with([](auto& l) { l[1] = Pad(100); }),
       prefix + "files[1] is a pad of 100 bytes where the file tree needs a pad of 16379 bytes"},
      {"a pad after an aligned file", with([](auto& l) { l.insert(l.begin() + 3, Pad(16384)); }),
       prefix + "files[3] is a pad of 16384 bytes where the file tree needs \"c\" (0 bytes)"},
      {"two files swapped", with([](auto& l) { std::swap(l[2], l[3]); }),
       prefix + "files[2] is \"c\" (0 bytes) where the file tree needs \"b\" (16384 bytes)"},
      {"another name", with([](auto& l) {
         l[0].Path = {"a", "y"};
       }),
       prefix + "files[0] is \"a/y\" (5 bytes) where the file tree needs \"a/x\" (5 bytes)"},
      {"another size", with([](auto& l) { l[4].Length = 20001; }),
       prefix + "files[4] is \"d\" (20001 bytes) where the file tree needs \"d\" (20000 bytes)"},
      {"a file fewer", with([](auto& l) { l.resize(3); }),
       prefix + "the v1 list ends after 3 entries where the file tree needs 6"},
      {"a file more", with([](auto& l) { l.push_back(Real({"e"}, 1)); }),
       prefix + "the v1 list holds 7 entries where the file tree needs 6"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> errors;
    CheckHybrid(c.V1, false, tree, 16384, errors);
    EXPECT_EQ(errors, c.Line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Line});
  }
}

// libtorrent writes no pad before a file of 0 bytes: the pad then follows the empty files, or is
// left out at the end. Between two files of data only the order of the empty files matters.
TEST(HybridTest, EmptyFilesMayStandBeforeThePad) {
  TFileTree tree;
  for (const auto& [name, length] : std::vector<std::pair<std::string, int64_t>>{
           {"a", 5}, {"e1", 0}, {"b", 16384}, {"e2", 0}, {"c", 20000}, {"e3", 0}, {"e4", 0}}) {
    TTreeFile file;
    file.Path = {name};
    file.Length = length;
    if (length > 0) file.PiecesRoot = Root(static_cast<int>(length % 97));
    tree.Files.push_back(file);
  }
  const std::string prefix = "Corrupt File: the v1 file list and the file tree disagree: ";
  const TV1FileEntry a = Real({"a"}, 5), b = Real({"b"}, 16384), c = Real({"c"}, 20000);
  const TV1FileEntry e1 = Real({"e1"}, 0), e2 = Real({"e2"}, 0), e3 = Real({"e3"}, 0), e4 = Real({"e4"}, 0);
  ASSERT_EQ(HybridV1Files(tree.Files, 16384),
            (std::vector<TV1FileEntry>{a, Pad(16379), e1, b, e2, c, Pad(12768), e3, e4}));
  struct TCase {
    const char* Name;
    std::vector<TV1FileEntry> V1;
    std::string Line;  // "" for none
  };
  const TCase cases[] = {
      {"libtorrent's order", {a, e1, Pad(16379), b, e2, c, e3, e4, Pad(12768)}, ""},
      {"libtorrent's order without the tail pad", {a, e1, Pad(16379), b, e2, c, e3, e4}, ""},
      {"our order without the tail pad", {a, Pad(16379), e1, b, e2, c, e3, e4}, ""},
      {"the tail pad between the empty files", {a, e1, Pad(16379), b, e2, c, e3, Pad(12768), e4}, ""},
      {"a pad of the wrong size after an empty file",
       {a, e1, Pad(100), b, e2, c, e3, e4},
       prefix + "files[2] is a pad of 100 bytes where the file tree needs a pad of 16379 bytes"},
      {"an empty file after the file of data it precedes",
       {a, Pad(16379), b, e1, e2, c, e3, e4},
       prefix + "files[2] is \"b\" (16384 bytes) where the file tree needs \"e1\" (0 bytes)"},
      {"empty files swapped",
       {a, e1, Pad(16379), b, e2, c, e4, e3},
       prefix + "files[6] is \"e4\" (0 bytes) where the file tree needs \"e3\" (0 bytes)"},
      {"an empty file missing",
       {a, e1, Pad(16379), b, e2, c, e4},
       prefix + "files[6] is \"e4\" (0 bytes) where the file tree needs \"e3\" (0 bytes)"},
      {"an empty file more at the end",
       {a, e1, Pad(16379), b, e2, c, e3, e4, Real({"e5"}, 0)},
       prefix + "the v1 list holds 9 entries where the file tree needs 8"},
      {"a pad missing before a file of data",
       {a, e1, b, e2, c, e3, e4},
       prefix + "files[1] is \"e1\" (0 bytes) where the file tree needs a pad of 16379 bytes"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> errors;
    CheckHybrid(c.V1, false, tree, 16384, errors);
    EXPECT_EQ(errors, c.Line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Line});
  }
}

TEST(HybridTest, SingleFileHybridHasALengthAndNoPad) {
  TFileTree single;
  single.SingleFile = true;
  single.Files.push_back({{"n"}, 20000, Root(1), "", {}, ""});
  const std::string prefix = "Corrupt File: the v1 file list and the file tree disagree: ";
  struct TCase {
    const char* Name;
    bool V1Single;
    std::vector<TV1FileEntry> V1;
    const TFileTree* Tree;
    std::string Line;
  };
  const TFileTree folder = HybridTree();
  const TCase cases[] = {
      {"agree", true, {Real({"n"}, 20000)}, &single, ""},
      {"another length",
       true,
       {Real({"n"}, 20001)},
       &single,
       prefix + "the v1 file is \"n\" (20001 bytes) where the file tree has \"n\" (20000 bytes)"},
      {"another name",
       true,
       {Real({"m"}, 20000)},
       &single,
       prefix + "the v1 file is \"m\" (20000 bytes) where the file tree has \"n\" (20000 bytes)"},
      {"v1 single, tree a folder",
       true,
       {Real({"n"}, 20000)},
       &folder,
       prefix + "the v1 part holds a single file, the tree a folder"},
      {"v1 a folder, tree single",
       false,
       {Real({"n"}, 20000), Pad(12768)},
       &single,
       prefix + "the v1 part holds a folder, the tree a single file"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> errors;
    CheckHybrid(c.V1, c.V1Single, *c.Tree, 16384, errors);
    EXPECT_EQ(errors, c.Line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Line});
  }
}

TEST(HybridTest, V1FilesAreReadFromTheInfoBytes) {
  const std::string multi = Dict(
      {{"files",
        List({Dict({{"length", Int(5)}, {"path", List({Str("a"), Str("x")})}}),
              Dict({{"attr", Str("p")}, {"length", Int(16379)}, {"path", List({Str(".pad"), Str("16379")})}}),
              Int(3)})},
       {"name", Str("n")}});
  bool single = true;
  EXPECT_EQ(ReadV1Files(multi, single), (std::vector<TV1FileEntry>{Real({"a", "x"}, 5), Pad(16379)}));
  EXPECT_FALSE(single);
  EXPECT_EQ(ReadV1Files(Dict({{"length", Int(9)}, {"name", Str("n")}}), single),
            std::vector<TV1FileEntry>{Real({"n"}, 9)});
  EXPECT_TRUE(single);
}

// The loader's one call: the newer version in front of the lines before it, the faults of each
// part after them.
TEST(FileTreeTest, V2MetadataReadsEveryPartInTheLoadersOrder) {
  const std::string data = PatternBytes(40000, 3);
  const TMerkleFileHashes hashes =
      MerkleOfData(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 16384);
  const std::string root(reinterpret_cast<const char*>(hashes.Root.data()), 32);
  std::string layer;
  for (const auto& hash : hashes.PieceLayer) layer.append(reinterpret_cast<const char*>(hash.data()), 32);
  const std::string tree = Dict({{"f", FileNode(40000, root)}});
  // A hybrid folder of one 40000-byte file and three SHA-1 pieces (their values are the v1
  // rules' to check); libtorrent pads nothing there, earlier writers padded the tail.
  auto hybridOf = [&tree](const std::string& files) {
    return Dict({{"file tree", tree},
                 {"files", files},
                 {"meta version", Int(2)},
                 {"name", Str("n")},
                 {"piece length", Int(16384)},
                 {"pieces", Str(FakeHash(1) + FakeHash(2) + FakeHash(3))}});
  };
  const std::string file = Dict({{"length", Int(40000)}, {"path", List({Str("f")})}});
  const std::string hybrid = hybridOf(List({file}));
  const std::string padded = hybridOf(List(
      {file, Dict({{"attr", Str("p")}, {"length", Int(9152)}, {"path", List({Str(".pad"), Str("9152")})}})}));
  const std::string layers = Dict({{root, Str(layer)}});
  const std::string prefix = "Corrupt File: the v1 file list and the file tree disagree: ";
  struct TCase {
    const char* Name;
    std::string Info, Layers;
    TMetaFormat Format;
    TPieceLayersState State;
    std::vector<std::string> Errors;  // after the line "before"
  };
  const TCase cases[] = {
      {"hybrid", hybrid, layers, TMetaFormat::Hybrid, TPieceLayersState::Complete, {}},
      {"hybrid without layers", hybrid, "", TMetaFormat::Hybrid, TPieceLayersState::Absent, {}},
      {"hybrid with a tail pad", padded, layers, TMetaFormat::Hybrid, TPieceLayersState::Complete, {}},
      {"v2 only", Info(tree), layers, TMetaFormat::V2, TPieceLayersState::Complete, {}},
      {"v1",
       Dict({{"length", Int(5)}, {"name", Str("n")}}),
       layers,
       TMetaFormat::V1,
       TPieceLayersState::Absent,
       {}},
      {"unsorted v2",
       Dict(
           {{"meta version", Int(2)}, {"file tree", tree}, {"name", Str("n")}, {"piece length", Int(16384)}}),
       "",
       TMetaFormat::V2,
       TPieceLayersState::Absent,
       {"Corrupt File: the \"info\" segment is not canonically bencoded (keys out of order or repeated, or "
        "numbers "
        "with leading zeros), so no client computes the same v2 info hash from it"}},
      {"hybrid of another size",
       Dict({{"file tree", tree},
             {"files", List({Dict({{"length", Int(40001)}, {"path", List({Str("f")})}})})},
             {"meta version", Int(2)},
             {"name", Str("n")},
             {"piece length", Int(16384)},
             {"pieces", Str(FakeHash(1))}}),
       layers,
       TMetaFormat::Hybrid,
       TPieceLayersState::Complete,
       {prefix + "files[0] is \"f\" (40001 bytes) where the file tree needs \"f\" (40000 bytes)"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> errors{"before"};
    const TV2Metadata meta = ReadV2Metadata(c.Info, c.Layers, errors);
    EXPECT_FALSE(meta.Newer);
    EXPECT_EQ(meta.Format, c.Format);
    EXPECT_EQ(meta.PieceLayers, c.State);
    EXPECT_EQ(meta.InfoHashV2.size(), c.Format == TMetaFormat::V1 ? 0u : 32u);
    std::vector<std::string> expected{"before"};
    expected.insert(expected.end(), c.Errors.begin(), c.Errors.end());
    EXPECT_EQ(errors, expected);
  }
  std::vector<std::string> errors{"before"};
  const std::string newer =
      Dict({{"file tree", "le"}, {"meta version", Int(4)}, {"name", Str("n")}, {"piece length", Int(3)}});
  EXPECT_TRUE(ReadV2Metadata(newer, "x", errors).Newer);
  EXPECT_EQ(errors, (std::vector<std::string>{NewerMetaVersionError(newer), "before"}));
}
