// The v2 reader over any bytes taken as a torrent: the file tree, the piece layers and the
// hybrid check never crash or hang. A v2 info without an error line writes back through the
// writer into a tree that reads the same, and complete piece layers write back complete.

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "metainfo/BDecode.h"
#include "metainfo/FileTree.h"
#include "metainfo/PathRules.h"
#include "metainfo/V2InfoWriter.h"

namespace {

std::string_view Find(const std::vector<TRawEntry>& entries, std::string_view key) {
  for (const TRawEntry& entry : entries)
    if (entry.Key == key) return entry.Value;
  return {};
}

// The text of a string's bytes, "" for anything else.
std::string Text(std::string_view value) {
  const size_t colon = value.find(':');
  if (value.empty() || value.front() < '0' || value.front() > '9' || colon == std::string_view::npos)
    return "";
  return std::string(value.substr(colon + 1));
}

void CheckSameFiles(const TFileTree& a, const TFileTree& b) {
  FUZZ_CHECK(a.Files.size() == b.Files.size());
  FUZZ_CHECK(a.SingleFile == b.SingleFile);
  FUZZ_CHECK(a.TotalLength == b.TotalLength);
  for (size_t i = 0; i < a.Files.size(); ++i) {
    FUZZ_CHECK(a.Files[i].Length == b.Files[i].Length);
    FUZZ_CHECK(a.Files[i].PiecesRoot == b.Files[i].PiecesRoot);
    FUZZ_CHECK(a.Files[i].SymlinkPath == b.Files[i].SymlinkPath);
    FUZZ_CHECK(a.SingleFile || a.Files[i].Path == b.Files[i].Path);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::vector<TRawEntry> top = RawEntries(input);
  // Bytes that are no torrent are read as an info, so the tree walk gets all the mutations.
  const std::string_view info = top.empty() ? std::string_view(input) : Find(top, "info");
  const std::string_view layers = Find(top, "piece layers");

  std::vector<std::string> errors;
  const TV2Metadata meta = ReadV2Metadata(info, layers, errors);
  FUZZ_CHECK(!meta.Newer || (meta.Tree.Files.empty() && errors.size() == 1));
  FUZZ_CHECK(meta.Format == TMetaFormat::V1 || meta.InfoHashV2.size() == 32);
  const TFileTree& tree = meta.Tree;
  const std::vector<TRawEntry> fields = RawEntries(info);
  int64_t pieceLength = 0;
  if (const std::string_view value = Find(fields, "piece length"); value.size() > 1)
    std::from_chars(value.data() + 1, value.data() + value.size(), pieceLength);
  if (meta.Format == TMetaFormat::V1 || !errors.empty()) return 0;

  // An error-free v2 info writes back into the same tree.
  TV2InfoRequest request;
  request.Name = Text(Find(fields, "name"));
  request.PieceLength = pieceLength;
  request.Files = tree.Files;
  request.SingleFile = tree.SingleFile;
  // What the v1 rules judge (the name, a hybrid's total) or the writer cannot make.
  if (!ComponentProblem(request.Name).empty() || (tree.SingleFile && tree.Files[0].IsSymlink()) ||
      !IsV2PieceLength(pieceLength) || tree.TotalLength == 0)
    return 0;
  // A hybrid's folder of one file written without its v1 list reads as a single file, as it
  // does in libtorrent.
  if (!tree.SingleFile && tree.Files.size() == 1 && tree.Files[0].Path.size() == 1) return 0;
  std::string written;
  try {
    written = WriteV2Info(request);
  } catch (const EFileTreeError&) {
    FUZZ_CHECK(false);
  }
  std::vector<std::string> again;
  const TFileTree reread = ReadFileTree(written, again);
  FUZZ_CHECK(again.empty());
  FUZZ_CHECK(CanonicalInfoError(written).empty());
  CheckSameFiles(tree, reread);
  if (meta.PieceLayers == TPieceLayersState::Complete) {
    TFileTree copy = reread;
    const std::string layersWritten = WritePieceLayers(tree.Files, pieceLength);
    FUZZ_CHECK(CheckPieceLayers(layersWritten, copy, pieceLength, again) == TPieceLayersState::Complete);
    FUZZ_CHECK(again.empty());
  }
  return 0;
}
