#include "metainfo/V2InfoWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../support/Hex.h"
#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "MetainfoTestUtil.h"
#include "digest/Merkle.h"
#include "digest/MessageDigests.h"
#include "metainfo/Magnet.h"

namespace {

using Ben::Dict;
using Ben::Int;
using Ben::Str;

constexpr int64_t KiB = 1024;

struct TLayoutFile {
  std::string Path;  // "/"-separated inside the torrent's folder
  int64_t Length;
  bool Executable = false;
  std::string LinkTo;  // a link to this file of the torrent's folder, instead of data
};

struct TLayout {
  std::string Name;
  bool SingleFile;
  std::vector<TLayoutFile> Files;
};

std::vector<TLayout> Layouts(int64_t pieceLength) {
  return {
      {"100000", true, {{"one.bin", 100000}}},
      {"1", true, {{"one.bin", 1}}},
      {"16384", true, {{"one.bin", 16384}}},
      {"executable", true, {{"one.bin", 40000, true}}},
      {"sizes",
       false,
       {{"s0", 0},
        {"s1", 1},
        {"s2", 16383},
        {"s3", 16384},
        {"s4", 16385},
        {"s5", pieceLength - 1},
        {"s6", pieceLength},
        {"s7", pieceLength * 7 / 2}}},
      // Tree order differs from the order of the whole path strings.
      {"nested",
       false,
       {{"z", 16384}, {"a.txt", 0}, {"a b/y", 2}, {"a/x", 20000, true}, {"a/b/c.txt", 5}, {"A", 1}}},
  };
}

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::istringstream in(path);
  for (std::string part; std::getline(in, part, '/');) parts.push_back(part);
  return parts;
}

std::string FileData(const TLayoutFile& file) {
  return PatternBytes(static_cast<size_t>(file.Length),
                      static_cast<unsigned>(file.Length * 31 + file.Path.size()));
}

std::string TorrentName(const TLayout& layout) { return layout.SingleFile ? "one.bin" : "set"; }

// The tree files of a layout with their roots and layers, in tree order; data from FileData.
std::vector<TTreeFile> TreeFiles(const TLayout& layout, int64_t pieceLength) {
  std::vector<TTreeFile> files;
  for (const TLayoutFile& source : layout.Files) {
    TTreeFile file;
    file.Path = Split(source.Path);
    file.Length = source.Length;
    if (source.Executable) file.Attr = "x";
    // A link is written with the mode bits of the link itself, which allow executing.
    if (!source.LinkTo.empty()) {
      file.Attr = "xl";
      file.SymlinkPath = {source.LinkTo};
    }
    const std::string data = FileData(source);
    const TMerkleFileHashes hashes =
        MerkleOfData(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint64_t>(data.size()),
                     static_cast<uint64_t>(pieceLength));
    if (file.Length > 0) file.PiecesRoot.assign(reinterpret_cast<const char*>(hashes.Root.data()), 32);
    for (const TSha256Hash& hash : hashes.PieceLayer)
      file.PieceLayer.append(reinterpret_cast<const char*>(hash.data()), 32);
    files.push_back(std::move(file));
  }
  SortTreeOrder(files);
  return files;
}

// SHA-1 of each piece of the hybrid's v1 bytes: the files in tree order, pads as zeros.
std::string V1Pieces(const TLayout& layout, const std::vector<TTreeFile>& files, int64_t pieceLength) {
  std::string stream;
  for (const TV1FileEntry& entry : HybridV1Files(files, pieceLength)) {
    if (entry.Pad) {
      if (!layout.SingleFile) stream.append(static_cast<size_t>(entry.Length), '\0');
      continue;
    }
    std::string joined;
    for (const auto& part : entry.Path) joined += (joined.empty() ? "" : "/") + part;
    for (const TLayoutFile& source : layout.Files)
      if (source.Path == joined) stream += FileData(source);
  }
  std::string pieces;
  for (size_t at = 0; at < stream.size(); at += static_cast<size_t>(pieceLength)) {
    TSHA1 sha1;
    sha1.TransformString(std::string_view(stream).substr(at, static_cast<size_t>(pieceLength)));
    sha1.Complete();
    pieces += sha1.DigestBytes();
  }
  return pieces;
}

TV2InfoRequest Request(const TLayout& layout, int64_t pieceLength, TMetaFormat format, bool extras) {
  TV2InfoRequest request;
  request.Format = format;
  request.Name = TorrentName(layout);
  request.PieceLength = pieceLength;
  request.Files = TreeFiles(layout, pieceLength);
  request.SingleFile = layout.SingleFile;
  if (format == TMetaFormat::Hybrid) request.V1Pieces = V1Pieces(layout, request.Files, pieceLength);
  request.Private = extras;
  if (extras) request.Source = "SRC";
  return request;
}

std::string Sha1Hex(std::string_view bytes) {
  TSHA1 sha1;
  sha1.TransformString(bytes);
  sha1.Complete();
  return ToHex(sha1.DigestBytes());
}

// What a torrent written from the request reads back as: no error line, the same files.
void CheckReadsBack(const TV2InfoRequest& request, const std::string& info, const std::string& layers) {
  std::vector<std::string> errors;
  TFileTree tree = ReadFileTree(info, errors);
  EXPECT_TRUE(CanonicalInfoError(info).empty());
  EXPECT_EQ(FormatOf(info), request.Format);
  EXPECT_EQ(tree.SingleFile, request.SingleFile);
  ASSERT_EQ(tree.Files.size(), request.Files.size());
  for (size_t i = 0; i < tree.Files.size(); ++i) {
    EXPECT_EQ(tree.Files[i].Path,
              request.SingleFile ? std::vector<std::string>{request.Name} : request.Files[i].Path);
    EXPECT_EQ(tree.Files[i].Length, request.Files[i].Length);
    EXPECT_EQ(tree.Files[i].PiecesRoot, request.Files[i].PiecesRoot);
    EXPECT_EQ(tree.Files[i].Attr, request.Files[i].Attr);
  }
  EXPECT_EQ(CheckPieceLayers(layers, tree, request.PieceLength, errors), TPieceLayersState::Complete);
  if (request.Format == TMetaFormat::Hybrid) {
    bool single = false;
    const std::vector<TV1FileEntry> v1 = ReadV1Files(info, single);
    EXPECT_EQ(single, request.SingleFile);
    CheckHybrid(v1, single, tree, request.PieceLength, errors);
  }
  EXPECT_TRUE(errors.empty()) << errors[0];
}

}  // namespace

// The info and piece layers written for a table of layouts and piece lengths are byte for byte
// libtorrent's, and so are both info hashes and the magnet link's hashes.
TEST(V2InfoWriterTest, InfoAndPieceLayersAreLibtorrentsBytes) {
  TTempDir dir;
  struct TCase {
    TLayout Layout;
    int64_t PieceLength;
    TMetaFormat Format;
    bool Extras;
  };
  std::vector<TCase> cases;
  std::string command = "/usr/bin/python3 '" QUORVANE_SOURCE_DIR "/tests/metainfo/v2_info_oracle.py'";
  for (const int64_t pieceLength : {16 * KiB, 64 * KiB, 1024 * KiB, 16384 * KiB}) {
    for (const TLayout& layout : Layouts(pieceLength)) {
      // From 128 KiB on, each single file fits in one piece as it does at 64 KiB.
      if (layout.SingleFile && pieceLength > 64 * KiB) continue;
      const std::string folder = layout.Name + "-" + std::to_string(pieceLength);
      for (const TLayoutFile& file : layout.Files) {
        const std::string path = dir.Write(
            folder + "/" + TorrentName(layout) + (layout.SingleFile ? "" : "/" + file.Path), FileData(file));
        if (file.Executable) ::chmod(path.c_str(), 0755);
      }
      for (const TMetaFormat format : {TMetaFormat::V2, TMetaFormat::Hybrid}) {
        const bool extras = layout.Name == "nested" && pieceLength == 16 * KiB;
        cases.push_back({layout, pieceLength, format, extras});
        command += " '" + (dir / folder) + "/" + TorrentName(layout) + ":" + std::to_string(pieceLength) +
                   ":" + (format == TMetaFormat::V2 ? "v2" : "hybrid") + ":" + (extras ? "private" : "-") +
                   "'";
      }
    }
  }
  const TRun run = RunShell(command);
  ASSERT_EQ(run.Status, 0) << "python3-libtorrent is needed: " << run.Out;
  std::istringstream lines(run.Out);

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Layout.Name + ", piece length " + std::to_string(c.PieceLength) +
                 (c.Format == TMetaFormat::V2 ? ", v2" : ", hybrid") +
                 (c.Extras ? ", private + source" : ""));
    std::string infoHex, layersHex, v1, v2, xt;
    ASSERT_TRUE(lines >> infoHex >> layersHex >> v1 >> v2 >> xt);
    const TV2InfoRequest request = Request(c.Layout, c.PieceLength, c.Format, c.Extras);
    const std::string info = WriteV2Info(request);
    const std::string layers = WritePieceLayers(request.Files, request.PieceLength);
    EXPECT_EQ(ToHex(info), infoHex);
    EXPECT_EQ(ToHex(layers), layersHex);
    const std::string v2Hex = ToHex(InfoHashV2(info));
    EXPECT_EQ(v2Hex, v2);
    const std::string v1Hex = c.Format == TMetaFormat::Hybrid ? Sha1Hex(info) : "";
    EXPECT_EQ(v1Hex.empty() ? "-" : v1Hex, v1);
    TTorrentFile unnamed;
    EXPECT_EQ(MagnetLink(unnamed, TMagnetHashes{v1Hex, v2Hex}), "magnet:?" + xt);
    CheckReadsBack(request, info, layers);
  }
}

// Requests no client would accept are refused with a message saying why.
TEST(V2InfoWriterTest, RefusesWhatNoClientWouldAccept) {
  auto file = [](std::vector<std::string> path, int64_t length) {
    TTreeFile f;
    f.Path = std::move(path);
    f.Length = length;
    if (length > 0) f.PiecesRoot = std::string(31, 'r') + static_cast<char>(length & 0x7f);
    return f;
  };
  auto request = [](std::vector<TTreeFile> files, int64_t pieceLength = 16384) {
    TV2InfoRequest r;
    r.Name = "n";
    r.PieceLength = pieceLength;
    r.Files = std::move(files);
    return r;
  };
  TV2InfoRequest noRoot = request({file({"a"}, 5)});
  noRoot.Files[0].PiecesRoot.clear();
  TV2InfoRequest pad = request({file({"a"}, 5)});
  pad.Files[0].Attr = "p";
  TV2InfoRequest hybrid = request({file({"a"}, 5), file({"b"}, 16384)});
  hybrid.Format = TMetaFormat::Hybrid;
  hybrid.V1Pieces = std::string(20, 'h');  // needs two: "a" and its pad, then "b"
  TV2InfoRequest v1 = request({file({"a"}, 5)});
  v1.Format = TMetaFormat::V1;
  TV2InfoRequest twoSingle = request({file({"a"}, 5), file({"b"}, 5)});
  twoSingle.SingleFile = true;
  TV2InfoRequest badName = request({file({"a"}, 5)});
  badName.Name = "..";
  struct TCase {
    const char* Name;
    TV2InfoRequest Request;
    std::string Message;
  };
  const TCase cases[] = {
      {"piece length not a power of two", request({file({"a"}, 5)}, 49152),
       "The piece length 49152 is not a power of two of at least 16 KiB, as v2 and hybrid torrents need"},
      {"piece length below 16 KiB", request({file({"a"}, 5)}, 8192),
       "The piece length 8192 is not a power of two of at least 16 KiB, as v2 and hybrid torrents need"},
      {"no files", request({}), "The torrent holds no files"},
      {"only empty files", request({file({"a"}, 0), file({"b"}, 0)}),
       "The torrent holds no data (total length 0)"},
      {"twins", request({file({"a"}, 1), file({"a"}, 2)}), "The file \"a\" appears twice"},
      {"file and folder", request({file({"a"}, 1), file({"a", "b"}, 2)}),
       "\"a\" is both a file and a folder"},
      {"out of tree order", request({file({"a.txt"}, 1), file({"a", "x"}, 2)}),
       "The files are not in tree order"},
      {"unsafe component", request({file({"a", ".."}, 1)}),
       "The file name \"a/..\" has a part that is \"..\""},
      {"empty component", request({file({"a", ""}, 1)}), "The file name \"a/\" has a part that is empty"},
      {"unsafe torrent name", badName, "The torrent's name is \"..\""},
      {"no root", noRoot, "The file \"a\" has no 32-byte pieces root"},
      {"a pad among the files", pad, "The file \"a\" is marked as a pad file"},
      {"hybrid pieces short", hybrid, "The v1 pieces hold 20 bytes, but the data needs 2 hashes of 20 bytes"},
      {"not v2", v1, "A v2 info is written as v2 or hybrid only"},
      {"single file of two", twoSingle, "A single-file torrent holds exactly one file"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      WriteV2Info(c.Request);
      ADD_FAILURE() << "written";
    } catch (const EFileTreeError& e) {
      EXPECT_EQ(std::string(e.what()), c.Message);
    }
  }
  // A file longer than a piece needs its whole layer.
  TTreeFile big = file({"a"}, 40000);
  big.PieceLayer = std::string(64, 'l');
  EXPECT_THROW(WritePieceLayers(std::vector<TTreeFile>{big}, 16384), EFileTreeError);
  big.PieceLayer += std::string(32, 'l');
  EXPECT_EQ(WritePieceLayers(std::vector<TTreeFile>{big}, 16384),
            "d32:" + big.PiecesRoot + "96:" + big.PieceLayer + "e");
}

// Tree order compares components as raw bytes, not whole path strings.
TEST(V2InfoWriterTest, TreeOrderIsComponentByComponent) {
  std::vector<TTreeFile> files;
  for (const char* path : {"z", "a.txt", "a b/y", "a/x", "a/b/c.txt", "A", "\xc3\xa9"})
    files.push_back({Split(path)});
  SortTreeOrder(files);
  std::vector<std::string> order;
  for (const auto& f : files) {
    std::string joined;
    for (const auto& part : f.Path) joined += (joined.empty() ? "" : "/") + part;
    order.push_back(joined);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"A", "a/b/c.txt", "a/x", "a b/y", "a.txt", "z", "\xc3\xa9"}));
}

// v1 links keep their form; v2-only names only btmh, a hybrid btih first.
TEST(V2InfoWriterTest, MagnetLinkNamesTheHashesOfTheFormat) {
  const std::string v1(40, 'a'), v2(64, 'b');
  const auto loaded = Load(Dict({{"announce", Str("http://t/a")},
                                 {"info", Dict({{"length", Int(1)},
                                                {"name", Str("n x")},
                                                {"piece length", Int(16384)},
                                                {"pieces", Str(FakeHash(1))}})}}));
  const TTorrentFile& torrent = *loaded.Model;
  const std::string rest = "&dn=n%20x&tr=http%3A%2F%2Ft%2Fa";
  EXPECT_EQ(MagnetLink(torrent, v1), "magnet:?xt=urn:btih:" + v1 + rest);
  EXPECT_EQ(MagnetLink(torrent, TMagnetHashes{v1, {}}), "magnet:?xt=urn:btih:" + v1 + rest);
  EXPECT_EQ(MagnetLink(torrent, TMagnetHashes{{}, v2}), "magnet:?xt=urn:btmh:1220" + v2 + rest);
  EXPECT_EQ(MagnetLink(torrent, TMagnetHashes{v1, v2}),
            "magnet:?xt=urn:btih:" + v1 + "&xt=urn:btmh:1220" + v2 + rest);
}
