#include "metainfo/V2InfoWriter.h"

#include <algorithm>
#include <map>

#include "metainfo/PathRules.h"

namespace {

void PutString(std::string& out, std::string_view text) {
  out += std::to_string(text.size());
  out += ':';
  out += text;
}

void PutInteger(std::string& out, int64_t value) {
  out += 'i';
  out += std::to_string(value);
  out += 'e';
}

void PutList(std::string& out, const std::vector<std::string>& items) {
  out += 'l';
  for (const std::string& item : items) PutString(out, item);
  out += 'e';
}

std::string Shown(const std::vector<std::string>& path) {
  std::string text;
  for (const std::string& part : path) text += (text.empty() ? "" : "/") + part;
  return "\"" + text + "\"";
}

// The letters in the order libtorrent writes them; a pad's "p" never comes from a file.
std::string AttrLetters(const TTreeFile& file) {
  std::string letters;
  for (const char letter : {'h', 'x', 'l'})
    if (file.HasAttr(letter)) letters += letter;
  return letters;
}

int64_t PieceCount(int64_t length, int64_t pieceLength) {
  return length == 0 ? 0 : (length - 1) / pieceLength + 1;
}

void PutAttr(std::string& out, const std::string& letters) {
  if (letters.empty()) return;
  PutString(out, "attr");
  PutString(out, letters);
}

// A file's entry under its "" key: attr, length, pieces root, symlink path.
void PutTreeEntry(std::string& out, const TTreeFile& file) {
  out += 'd';
  PutAttr(out, AttrLetters(file));
  if (!file.IsSymlink()) {
    PutString(out, "length");
    PutInteger(out, file.Length);
    if (file.Length > 0) {
      PutString(out, "pieces root");
      PutString(out, file.PiecesRoot);
    }
  } else {
    PutString(out, "symlink path");
    PutList(out, file.SymlinkPath);
  }
  out += 'e';
}

void PutFileTree(std::string& out, const TV2InfoRequest& request) {
  out += 'd';
  std::vector<std::string_view> open;  // the folders the last file was in
  for (const TTreeFile& file : request.Files) {
    const std::vector<std::string> single{request.Name};
    const std::vector<std::string>& path = request.SingleFile ? single : file.Path;
    const size_t folders = path.size() - 1;
    size_t common = 0;
    while (common < open.size() && common < folders && open[common] == path[common]) ++common;
    for (; open.size() > common; open.pop_back()) out += 'e';
    for (size_t k = common; k < folders; ++k) {
      PutString(out, path[k]);
      out += 'd';
      open.push_back(path[k]);
    }
    PutString(out, path.back());
    out += "d0:";
    PutTreeEntry(out, file);
    out += 'e';
  }
  for (; !open.empty(); open.pop_back()) out += 'e';
  out += 'e';
}

// The hybrid's "files": each file as libtorrent lists it, then its pad when it ends inside a piece.
void PutV1Files(std::string& out, const TV2InfoRequest& request) {
  out += 'l';
  size_t next = 0;  // the file the next real entry stands for
  for (const TV1FileEntry& entry : HybridV1Files(request.Files, request.PieceLength)) {
    const TTreeFile* file = entry.Pad ? nullptr : &request.Files[next++];
    out += 'd';
    PutAttr(out, file ? AttrLetters(*file) : "p");
    PutString(out, "length");
    PutInteger(out, entry.Length);
    PutString(out, "path");
    PutList(out, entry.Path);
    if (file && file->IsSymlink()) {
      PutString(out, "symlink path");
      PutList(out, file->SymlinkPath);
    }
    out += 'e';
  }
  out += 'e';
}

bool TreeLess(const TTreeFile& a, const TTreeFile& b) { return a.Path < b.Path; }

void CheckFile(const TTreeFile& file, bool singleFile) {
  if (!singleFile && file.Path.empty()) throw EFileTreeError("A file has no name");
  if (!singleFile)
    for (const std::string& part : file.Path)
      if (const std::string problem = ComponentProblem(part); !problem.empty())
        throw EFileTreeError("The file name " + Shown(file.Path) + " has a part that " + problem);
  if (file.HasAttr('p')) throw EFileTreeError("The file " + Shown(file.Path) + " is marked as a pad file");
  if (file.Length < 0) throw EFileTreeError("The file " + Shown(file.Path) + " has a negative length");
  if (file.IsSymlink() && singleFile) throw EFileTreeError("A single-file torrent cannot be a link");
  if (!file.IsSymlink() && file.Length > 0 && file.PiecesRoot.size() != 32)
    throw EFileTreeError("The file " + Shown(file.Path) + " has no 32-byte pieces root");
}

void CheckRequest(const TV2InfoRequest& request) {
  if (request.Format != TMetaFormat::V2 && request.Format != TMetaFormat::Hybrid)
    throw EFileTreeError("A v2 info is written as v2 or hybrid only");
  if (!IsV2PieceLength(request.PieceLength))
    throw EFileTreeError("The piece length " + std::to_string(request.PieceLength) +
                         " is not a power of two of at least 16 KiB, as v2 and hybrid torrents need");
  if (const std::string problem = ComponentProblem(request.Name); !problem.empty())
    throw EFileTreeError("The torrent's name " + problem);
  if (request.Files.empty()) throw EFileTreeError("The torrent holds no files");
  if (request.SingleFile && request.Files.size() != 1)
    throw EFileTreeError("A single-file torrent holds exactly one file");
  int64_t total = 0;
  for (size_t i = 0; i < request.Files.size(); ++i) {
    const TTreeFile& file = request.Files[i];
    CheckFile(file, request.SingleFile);
    if (!file.IsSymlink() && __builtin_add_overflow(total, file.Length, &total))
      throw EFileTreeError("The file lengths add up to more than 2^63 bytes");
    if (i == 0) continue;
    // Sorted, each path a prefix of none after it: no twins and no file that is also a folder.
    const std::vector<std::string>& before = request.Files[i - 1].Path;
    if (before.size() <= file.Path.size() && std::equal(before.begin(), before.end(), file.Path.begin()))
      throw EFileTreeError(before.size() == file.Path.size()
                               ? "The file " + Shown(file.Path) + " appears twice"
                               : Shown(before) + " is both a file and a folder");
    if (!TreeLess(request.Files[i - 1], file)) throw EFileTreeError("The files are not in tree order");
  }
  if (total == 0) throw EFileTreeError("The torrent holds no data (total length 0)");
  if (request.Format == TMetaFormat::Hybrid) {
    // The pads make every file end on a piece boundary (a single file has none: it ends the data).
    int64_t v1Total = 0;
    for (const TV1FileEntry& entry : HybridV1Files(request.Files, request.PieceLength))
      v1Total += entry.Length;
    const int64_t pieces = PieceCount(request.SingleFile ? total : v1Total, request.PieceLength);
    if (static_cast<int64_t>(request.V1Pieces.size()) != pieces * 20)
      throw EFileTreeError("The v1 pieces hold " + std::to_string(request.V1Pieces.size()) +
                           " bytes, but the data needs " + std::to_string(pieces) + " hashes of 20 bytes");
  }
}

}  // namespace

void SortTreeOrder(std::vector<TTreeFile>& files) { std::stable_sort(files.begin(), files.end(), TreeLess); }

std::string WriteV2Info(const TV2InfoRequest& request) {
  CheckRequest(request);
  const bool hybrid = request.Format == TMetaFormat::Hybrid;
  std::string out = "d";
  // Keys in byte order: attr, file tree, files, length, meta version, name, piece length, pieces,
  // private, source.
  if (hybrid && request.SingleFile) PutAttr(out, AttrLetters(request.Files[0]));
  PutString(out, "file tree");
  PutFileTree(out, request);
  if (hybrid && !request.SingleFile) {
    PutString(out, "files");
    PutV1Files(out, request);
  }
  if (hybrid && request.SingleFile) {
    PutString(out, "length");
    PutInteger(out, request.Files[0].Length);
  }
  PutString(out, "meta version");
  PutInteger(out, 2);
  PutString(out, "name");
  PutString(out, request.Name);
  PutString(out, "piece length");
  PutInteger(out, request.PieceLength);
  if (hybrid) {
    PutString(out, "pieces");
    PutString(out, request.V1Pieces);
  }
  if (request.Private) {
    PutString(out, "private");
    PutInteger(out, 1);
  }
  if (!request.Source.empty()) {
    PutString(out, "source");
    PutString(out, request.Source);
  }
  out += 'e';
  return out;
}

std::string WritePieceLayers(std::span<const TTreeFile> files, int64_t pieceLength) {
  if (!IsV2PieceLength(pieceLength))
    throw EFileTreeError("The piece length " + std::to_string(pieceLength) +
                         " is not a power of two of at least 16 KiB");
  std::map<std::string_view, std::string_view> layers;  // ordered by root, as the keys must be
  for (const TTreeFile& file : files) {
    if (file.IsSymlink() || file.Length <= pieceLength) continue;
    const auto needed = static_cast<size_t>(PieceCount(file.Length, pieceLength)) * 32;
    if (file.PieceLayer.size() != needed || file.PiecesRoot.size() != 32)
      throw EFileTreeError("The file " + Shown(file.Path) + " has no piece layer of " +
                           std::to_string(needed) + " bytes");
    layers.emplace(file.PiecesRoot, file.PieceLayer);
  }
  std::string out = "d";
  for (const auto& [root, layer] : layers) {
    PutString(out, root);
    PutString(out, layer);
  }
  out += 'e';
  return out;
}
