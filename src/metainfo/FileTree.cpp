#include "metainfo/FileTree.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "base/Text.h"
#include "digest/Merkle.h"
#include "digest/MessageDigests.h"
#include "metainfo/BDecode.h"
#include "metainfo/PathRules.h"

namespace {

constexpr int64_t BlockSize = 16384;

// An integer's bytes ("i...e") read as the decoder reads them.
struct TRawInteger {
  bool Ok = false;
  int64_t Value = 0;
  bool Overflow = false;
  bool Negative = false;
};

TRawInteger RawInteger(std::string_view value) {
  TRawInteger result;
  if (value.size() < 3 || value.front() != 'i' || value.back() != 'e') return result;
  std::string_view digits = value.substr(1, value.size() - 2);
  const bool negative = digits.front() == '-';
  result.Negative = negative;
  if (negative) digits.remove_prefix(1);
  uint64_t magnitude = 0;
  for (const char c : digits) {
    result.Overflow |= __builtin_mul_overflow(magnitude, uint64_t{10}, &magnitude);
    result.Overflow |= __builtin_add_overflow(magnitude, static_cast<uint64_t>(c - '0'), &magnitude);
  }
  const uint64_t limit = negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
  result.Overflow |= magnitude > limit;
  result.Value = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
  result.Ok = true;
  return result;
}

// A string's bytes ("N:...") without the length.
bool RawString(std::string_view value, std::string_view& text) {
  if (value.empty() || value.front() < '0' || value.front() > '9') return false;
  const size_t colon = value.find(':');
  if (colon == std::string_view::npos) return false;
  text = value.substr(colon + 1);
  return true;
}

bool IsDictionary(std::string_view value) { return !value.empty() && value.front() == 'd'; }

// The value of the first entry under key (clients read the first of twins), or "".
std::string_view Lookup(const std::vector<TRawEntry>& entries, std::string_view key) {
  for (const TRawEntry& entry : entries)
    if (entry.Key == key) return entry.Value;
  return {};
}

std::string Joined(const std::vector<std::string>& path) {
  std::string text;
  for (const std::string& part : path) {
    if (!text.empty()) text += '/';
    text += part;
  }
  return text;
}

std::string Quoted(const std::vector<std::string>& path) { return "\"" + Joined(path) + "\""; }

// Adds without overflowing; false (and a wrapped sum) when the true sum does not fit.
bool AddLength(int64_t& total, int64_t length) {
  if (!__builtin_add_overflow(total, length, &total)) return true;
  total = static_cast<int64_t>(static_cast<uint64_t>(total) + static_cast<uint64_t>(length));
  return false;
}

const char* const TreeName = "Corrupt File: \"info.file tree\"";

// Walks a file tree depth first, keys in byte order, reporting each broken rule once.
class TTreeReader {
 public:
  explicit TTreeReader(std::vector<std::string>& errors) : errors_(errors) {}

  // entries: the folder's, as RawEntries gives them (each level is scanned once, from above).
  void Folder(std::vector<TRawEntry> entries, int depth) {
    // Unsorted keys are reported by the canonical check; the list still follows the tree order.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TRawEntry& a, const TRawEntry& b) { return a.Key < b.Key; });
    for (const TRawEntry& entry : entries) {
      if (entry.Key.empty()) {
        // A folder's only key "" makes it a file: its parent saw that. Beside other keys it is
        // neither a file nor a folder.
        if (path_.empty())
          errors_.push_back(std::string(TreeName) + " holds a file without a name");
        else
          errors_.push_back(std::string(TreeName) + " entry " + Quoted(path_) +
                            " holds a file (the empty name) beside other names");
        continue;
      }
      path_.emplace_back(entry.Key);
      if (const std::string problem = ComponentProblem(entry.Key); !problem.empty())
        errors_.push_back(std::string(TreeName) + " entry " + Quoted(path_) + " has a name that " + problem);
      if (!IsDictionary(entry.Value)) {
        errors_.push_back(std::string(TreeName) + " entry " + Quoted(path_) + " is not a dictionary");
      } else if (auto inner = RawEntries(entry.Value); inner.size() == 1 && inner[0].Key.empty()) {
        if (LevelsAbove + depth + 2 >= MaxFileTreeDepth)
          TooDeep();
        else
          File(inner[0].Value);
      } else if (LevelsAbove + depth + 3 >= MaxFileTreeDepth) {
        TooDeep();
      } else {
        Folder(std::move(inner), depth + 1);
      }
      path_.pop_back();
    }
  }

  TFileTree Tree;
  bool LengthsValid = true;
  bool Overflow = false;

 private:
  // The top-level dictionary, the info and the tree itself hold the tree's first level.
  static constexpr int LevelsAbove = 3;

  void TooDeep() {
    if (!tooDeep_)
      errors_.push_back(std::string(TreeName) + " is nested deeper than " + std::to_string(MaxFileTreeDepth) +
                        " levels, counted from the top of the file");
    tooDeep_ = true;
  }

  void Fault(const std::string& what) {
    errors_.push_back(std::string(TreeName) + " file " + Quoted(path_) + " " + what);
  }

  void File(std::string_view value) {
    if (!IsDictionary(value)) {
      Fault("is not a dictionary");
      return;
    }
    const std::vector<TRawEntry> entries = RawEntries(value);
    TTreeFile file;
    file.Path = path_;
    std::string_view attr;
    if (RawString(Lookup(entries, "attr"), attr)) file.Attr = attr;
    if (file.HasAttr('p')) Fault("is marked as a pad file (attr \"p\"), which a file tree may not hold");
    const std::string_view root = Lookup(entries, "pieces root");
    if (file.IsSymlink()) {
      ReadSymlink(Lookup(entries, "symlink path"), file);
      if (!root.empty()) Fault("is a link but has a \"pieces root\"");
    } else {
      // A root is judged against a length that was read.
      if (ReadLength(Lookup(entries, "length"), file)) ReadRoot(root, file);
    }
    if (!AddLength(Tree.TotalLength, file.Length)) Overflow = true;
    Tree.Files.push_back(std::move(file));
  }

  void ReadSymlink(std::string_view value, TTreeFile& file) {
    if (value.empty()) {
      Fault("is a link without a \"symlink path\"");
      return;
    }
    bool names = !value.empty() && value.front() == 'l';
    for (const std::string_view item : names ? RawItems(value) : std::vector<std::string_view>()) {
      std::string_view part;
      names = names && RawString(item, part);
      if (names) file.SymlinkPath.emplace_back(part);
    }
    if (!names) Fault("has a \"symlink path\" that is not a list of names");
  }

  bool ReadLength(std::string_view value, TTreeFile& file) {
    if (value.empty()) {
      Fault("is missing a \"length\" segment");
      LengthsValid = false;
      return false;
    }
    const TRawInteger length = RawInteger(value);
    if (!length.Ok)
      Fault("has a \"length\" that is not an integer");
    else if (length.Overflow)
      Fault("has a length that does not fit in 64 bits");
    else if (length.Value < 0)
      Fault("has a negative length");
    else if (length.Value >= MaxTorrentFileLength)
      Fault("has a length of " + std::to_string(length.Value) + " bytes, 2^62 or more, which clients refuse");
    else
      file.Length = length.Value;
    const bool valid =
        length.Ok && !length.Overflow && length.Value >= 0 && length.Value < MaxTorrentFileLength;
    LengthsValid = LengthsValid && valid;
    return valid;
  }

  void ReadRoot(std::string_view value, TTreeFile& file) {
    std::string_view root;
    if (value.empty()) {
      if (file.Length > 0) Fault("is missing its \"pieces root\"");
      return;
    }
    if (!RawString(value, root)) {
      Fault("has a \"pieces root\" that is not a byte string");
    } else if (root.size() != 32) {
      Fault("has a \"pieces root\" of " + std::to_string(root.size()) + " bytes, not 32");
    } else if (root.find_first_not_of('\0') == std::string_view::npos) {
      Fault("has an all-zero \"pieces root\"");
    } else if (file.Length == 0) {
      Fault("is empty but has a \"pieces root\"");
    } else {
      file.PiecesRoot = root;
    }
  }

  std::vector<std::string>& errors_;
  std::vector<std::string> path_;
  bool tooDeep_ = false;
};

// The meta version of an info: 0 when it has none.
TRawInteger MetaVersion(const std::vector<TRawEntry>& entries) {
  return RawInteger(Lookup(entries, "meta version"));
}

// Numbers beyond 64 bits count too: they are above 2 all the same.
bool IsNewer(const TRawInteger& version) {
  return version.Ok && !version.Negative && (version.Overflow || version.Value > 2);
}

}  // namespace

bool IsV2PieceLength(int64_t pieceLength) {
  return pieceLength >= BlockSize && (pieceLength & (pieceLength - 1)) == 0;
}

std::string NewerMetaVersionError(std::string_view infoBytes) {
  const TRawInteger version = MetaVersion(RawEntries(infoBytes));
  if (!IsNewer(version)) return "";
  const std::string shown = version.Overflow ? "beyond 64 bits" : std::to_string(version.Value);
  return "Corrupt File: \"info.meta version\" is " + shown +
         ": the torrent was made by a newer program, which this one cannot read";
}

const char* MetaFormatName(TMetaFormat format) {
  switch (format) {
    case TMetaFormat::V2:
      return "v2";
    case TMetaFormat::Hybrid:
      return "hybrid";
    case TMetaFormat::V1:
      break;
  }
  return "v1";
}

TMetaFormat FormatOf(std::string_view infoBytes) {
  const std::vector<TRawEntry> entries = RawEntries(infoBytes);
  const TRawInteger version = MetaVersion(entries);
  if (!version.Ok || version.Value != 2 || Lookup(entries, "file tree").empty()) return TMetaFormat::V1;
  return Lookup(entries, "pieces").empty() ? TMetaFormat::V2 : TMetaFormat::Hybrid;
}

TFileTree ReadFileTree(std::string_view infoBytes, std::vector<std::string>& errors) {
  const std::vector<TRawEntry> entries = RawEntries(infoBytes);
  const std::string_view versionBytes = Lookup(entries, "meta version");
  const std::string_view treeBytes = Lookup(entries, "file tree");
  if (versionBytes.empty() && treeBytes.empty()) return {};
  const TRawInteger version = RawInteger(versionBytes);
  if (IsNewer(version)) return {};
  if (!versionBytes.empty() && !version.Ok)
    errors.push_back("Corrupt File: \"info.meta version\" is not an integer");
  else if (!versionBytes.empty() && (version.Value != 2 || version.Overflow))
    errors.push_back("Corrupt File: \"info.meta version\" is " +
                     (version.Overflow ? std::string("beyond 64 bits") : std::to_string(version.Value)) +
                     ", not 2");
  if (treeBytes.empty()) {
    errors.push_back("Corrupt File: \"info.meta version\" is present, but \"info.file tree\" is missing");
    return {};
  }
  if (versionBytes.empty())
    errors.push_back("Corrupt File: \"info.file tree\" is present, but \"info.meta version\" is missing");

  const TRawInteger pieceLength = RawInteger(Lookup(entries, "piece length"));
  // A length that is no length at all is the v1 rules' to report.
  const bool pieceLengthRead = pieceLength.Ok && !pieceLength.Overflow && pieceLength.Value > 0;
  if (pieceLengthRead && !IsV2PieceLength(pieceLength.Value))
    errors.push_back("Corrupt File: \"info.piece length\" is " + std::to_string(pieceLength.Value) +
                     ", not a power of two of at least 16384 as a v2 torrent needs");
  else if (pieceLengthRead && pieceLength.Value > MaxV2PieceLength)
    errors.push_back("Corrupt File: \"info.piece length\" is " + std::to_string(pieceLength.Value) +
                     ", more than " + std::to_string(MaxV2PieceLength) +
                     " (512 MiB), the most clients load in a v2 torrent");

  if (!IsDictionary(treeBytes)) {
    errors.push_back("Corrupt File: \"info.file tree\" is not a dictionary");
    return {};
  }
  TTreeReader reader(errors);
  const size_t errorsBefore = errors.size();
  reader.Folder(RawEntries(treeBytes), 0);
  TFileTree tree = std::move(reader.Tree);
  if (tree.Files.empty()) {
    // A tree whose entries were all faulty has said so.
    if (errors.size() == errorsBefore) errors.push_back("Corrupt File: \"info.file tree\" holds no file");
    return tree;
  }
  // One file directly under the tree, named as the torrent, and no v1 folder saying otherwise: the
  // file is the torrent. Under another name it lies in the folder the name gives, as it was made
  // (a folder holding one file); libtorrent 2.0 drops that folder and the name with it.
  std::string_view name;
  tree.SingleFile = tree.Files.size() == 1 && tree.Files[0].Path.size() == 1 &&
                    Lookup(entries, "files").empty() && RawString(Lookup(entries, "name"), name) &&
                    name == tree.Files[0].Path[0];
  if (reader.Overflow && reader.LengthsValid)
    errors.push_back("Corrupt File: the file lengths add up to more than 2^63 bytes");
  // Each file starts a piece. Counted only where every term is known.
  if (reader.LengthsValid && !reader.Overflow && pieceLengthRead && IsV2PieceLength(pieceLength.Value) &&
      pieceLength.Value <= MaxV2PieceLength) {
    int64_t pieces = 0;
    for (const TTreeFile& file : tree.Files)
      if (file.Length > 0 && pieces <= MaxV2PieceCount) pieces += (file.Length - 1) / pieceLength.Value + 1;
    if (pieces > MaxV2PieceCount)
      errors.push_back("Corrupt File: the files need more than " + std::to_string(MaxV2PieceCount) +
                       " pieces of " + std::to_string(pieceLength.Value) + " bytes, the most clients load");
  }
  // A hybrid's v1 part says so already.
  if (!reader.Overflow && reader.LengthsValid && tree.TotalLength == 0 && Lookup(entries, "pieces").empty())
    errors.push_back("Corrupt File: the torrent holds no data (total length 0)");
  return tree;
}

std::string CanonicalInfoError(std::string_view infoBytes) {
  if (IsCanonicalValue(infoBytes)) return "";
  return "Corrupt File: the \"info\" segment is not canonically bencoded (keys out of order or repeated, or "
         "numbers with leading zeros), so no client computes the same v2 info hash from it";
}

TPieceLayersState CheckPieceLayers(std::string_view layersBytes, TFileTree& tree, int64_t pieceLength,
                                   std::vector<std::string>& errors, const TSha256Lanes& lanes,
                                   std::vector<TLayerFault>* faults) {
  const bool checkable = IsV2PieceLength(pieceLength);
  // Files of at most one piece have their root for a layer.
  auto needsLayer = [&](const TTreeFile& file) {
    return checkable && !file.PiecesRoot.empty() && file.Length > pieceLength;
  };
  size_t needed = 0;
  std::map<std::string_view, std::vector<size_t>> byRoot;
  for (size_t i = 0; i < tree.Files.size(); ++i) {
    tree.Files[i].PieceLayer.clear();
    if (!tree.Files[i].PiecesRoot.empty()) byRoot[tree.Files[i].PiecesRoot].push_back(i);
    if (needsLayer(tree.Files[i])) ++needed;
  }
  auto state = [needed](size_t present) {
    if (present == needed) return TPieceLayersState::Complete;
    return present == 0 ? TPieceLayersState::Absent : TPieceLayersState::Partial;
  };
  if (layersBytes.empty()) return state(0);
  if (!IsDictionary(layersBytes)) {
    errors.push_back("Corrupt File: \"piece layers\" is not a dictionary");
    return state(0);
  }

  size_t present = 0;
  std::set<std::string_view> seen;
  std::vector<TSha256Hash> hashes;
  for (const TRawEntry& entry : RawEntries(layersBytes)) {
    if (entry.Key.size() != 32) {
      errors.push_back("Corrupt File: \"piece layers\" holds a key of " + std::to_string(entry.Key.size()) +
                       " bytes, not a 32-byte \"pieces root\"");
      continue;
    }
    const auto owners = byRoot.find(entry.Key);
    if (owners == byRoot.end()) {
      errors.push_back("Corrupt File: \"piece layers\" holds a layer for a \"pieces root\" no file has (" +
                       BytesToHex(entry.Key, 32) + ")");
      continue;
    }
    if (!seen.insert(entry.Key).second) continue;  // clients read the first of twins
    const std::string where =
        "Corrupt File: the piece layer of " + Quoted(tree.Files[owners->second[0]].Path);
    std::string_view layer;
    if (!RawString(entry.Value, layer)) {
      errors.push_back(where + " is not a byte string");
      continue;
    }
    if (layer.size() % 32 != 0) {
      errors.push_back(where + " is " + std::to_string(layer.size()) + " bytes long, not a multiple of 32");
      continue;
    }
    hashes.resize(layer.size() / 32);
    if (!layer.empty()) std::memcpy(hashes.data(), layer.data(), layer.size());
    for (const size_t i : owners->second) {
      TTreeFile& file = tree.Files[i];
      if (!needsLayer(file)) continue;
      ++present;
      const auto pieces = static_cast<size_t>((file.Length - 1) / pieceLength + 1);
      if (hashes.size() != pieces) {
        errors.push_back("Corrupt File: the piece layer of " + Quoted(file.Path) + " holds " +
                         std::to_string(hashes.size()) + " hashes, but the file's length needs " +
                         std::to_string(pieces));
        continue;
      }
      TSha256Hash root;
      std::memcpy(root.data(), file.PiecesRoot.data(), root.size());
      if (!MerklePieceLayerMatches(hashes, static_cast<uint64_t>(pieceLength), root, lanes)) {
        errors.push_back("Corrupt File: the piece layer of " + Quoted(file.Path) +
                         " does not reduce to its \"pieces root\"");
        if (faults) faults->push_back({i, errors.back()});
        continue;
      }
      file.PieceLayer = layer;
    }
  }
  return state(present);
}

std::vector<TV1FileEntry> HybridV1Files(std::span<const TTreeFile> files, int64_t pieceLength) {
  std::vector<TV1FileEntry> list;
  list.reserve(files.size() * 2);
  // libtorrent pads nothing when there is one file: it ends the data, whatever its folder.
  const bool pads = files.size() > 1 && pieceLength > 0;
  for (const TTreeFile& file : files) {
    const int64_t length = file.IsSymlink() ? 0 : file.Length;
    list.push_back({file.Path, length, false});
    const int64_t tail = pads ? length % pieceLength : 0;
    if (tail != 0) {
      const int64_t pad = pieceLength - tail;
      list.push_back({{".pad", std::to_string(pad)}, pad, true});
    }
  }
  return list;
}

std::vector<TV1FileEntry> ReadV1Files(std::string_view infoBytes, bool& singleFile) {
  const std::vector<TRawEntry> entries = RawEntries(infoBytes);
  std::vector<TV1FileEntry> list;
  const std::string_view files = Lookup(entries, "files");
  singleFile = files.empty();
  if (singleFile) {
    std::string_view name;
    const TRawInteger length = RawInteger(Lookup(entries, "length"));
    if (length.Ok && RawString(Lookup(entries, "name"), name))
      list.push_back({{std::string(name)}, length.Value, false});
    return list;
  }
  for (const std::string_view item : RawItems(files)) {
    if (!IsDictionary(item)) continue;
    const std::vector<TRawEntry> fields = RawEntries(item);
    TV1FileEntry entry;
    entry.Length = RawInteger(Lookup(fields, "length")).Value;
    std::string_view text;
    for (const std::string_view part : RawItems(Lookup(fields, "path")))
      if (RawString(part, text)) entry.Path.emplace_back(text);
    entry.Pad = RawString(Lookup(fields, "attr"), text) && text.find('p') != std::string_view::npos;
    list.push_back(std::move(entry));
  }
  return list;
}

namespace {

bool HoldsNoData(const TV1FileEntry& entry) { return entry.Pad || entry.Length == 0; }

// The list's positions in the order compared: within each run of pads and empty files, the pads first.
std::vector<size_t> PadsBeforeEmptyFiles(std::span<const TV1FileEntry> list) {
  std::vector<size_t> order(list.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  for (size_t run = 0; run < order.size();) {
    size_t end = run;
    while (end < order.size() && HoldsNoData(list[end])) ++end;
    std::stable_partition(order.begin() + static_cast<std::ptrdiff_t>(run),
                          order.begin() + static_cast<std::ptrdiff_t>(end),
                          [&](size_t at) { return list[at].Pad; });
    run = end + 1;
  }
  return order;
}

// Where the pads and empty files after the last file of data begin.
size_t TailRunStart(std::span<const TV1FileEntry> list) {
  size_t start = list.size();
  while (start > 0 && HoldsNoData(list[start - 1])) --start;
  return start;
}

}  // namespace

void CheckHybrid(std::span<const TV1FileEntry> v1Files, bool v1SingleFile, const TFileTree& tree,
                 int64_t pieceLength, std::vector<std::string>& errors) {
  const std::string prefix = "Corrupt File: the v1 file list and the file tree disagree: ";
  auto describe = [](const TV1FileEntry& entry) {
    return entry.Pad ? "a pad of " + std::to_string(entry.Length) + " bytes"
                     : Quoted(entry.Path) + " (" + std::to_string(entry.Length) + " bytes)";
  };
  if (v1SingleFile != tree.SingleFile) {
    errors.push_back(prefix + (v1SingleFile ? "the v1 part holds a single file, the tree a folder"
                                            : "the v1 part holds a folder, the tree a single file"));
    return;
  }
  if (v1SingleFile) {
    if (v1Files.size() != 1 || tree.Files.size() != 1) return;  // the v1 rules report a missing length
    if (v1Files[0].Length != tree.Files[0].Length || v1Files[0].Path != tree.Files[0].Path)
      errors.push_back(prefix + "the v1 file is " + describe(v1Files[0]) + " where the file tree has " +
                       describe({tree.Files[0].Path, tree.Files[0].Length, false}));
    return;
  }
  std::vector<TV1FileEntry> expected = HybridV1Files(tree.Files, pieceLength);
  const size_t needed = expected.size();
  // libtorrent writes no pad before a file of 0 bytes: its pad then follows the empty files, or
  // is left out at the end. Empty files and pads between two files of data are compared with the
  // pads first, so that both orders agree; the positions named are the list's own.
  const std::vector<size_t> order = PadsBeforeEmptyFiles(v1Files);
  std::vector<TV1FileEntry> listed;
  listed.reserve(order.size());
  for (const size_t at : order) listed.push_back(v1Files[at]);
  // Earlier writers left the tail pad out.
  const size_t tail = TailRunStart(expected);
  const size_t listedTail = TailRunStart(listed);
  if (tail < expected.size() && expected[tail].Pad && !(listedTail < listed.size() && listed[listedTail].Pad))
    expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(tail));
  size_t i = 0;
  for (size_t j = 0; j < expected.size(); ++j, ++i) {
    const TV1FileEntry& want = expected[j];
    if (i == listed.size()) {
      errors.push_back(prefix + "the v1 list ends after " + std::to_string(i) +
                       " entries where the file tree needs " + std::to_string(needed));
      return;
    }
    const TV1FileEntry& have = listed[i];
    // A pad's name is not part of the data.
    const bool same =
        have.Pad == want.Pad && have.Length == want.Length && (want.Pad || have.Path == want.Path);
    if (!same) {
      errors.push_back(prefix + "files[" + std::to_string(order[i]) + "] is " + describe(have) +
                       " where the file tree needs " + describe(want));
      return;
    }
  }
  // A file alone padded to the end of its last piece, as earlier writers did.
  const bool tailPad = i + 1 == listed.size() && tree.Files.size() == 1 && listed[i].Pad && pieceLength > 0 &&
                       listed[i].Length == pieceLength - expected[0].Length % pieceLength;
  // Without its tail pad the list needs one entry fewer, unless it holds more than a padded one.
  if (i < listed.size() && !tailPad)
    errors.push_back(prefix + "the v1 list holds " + std::to_string(v1Files.size()) +
                     " entries where the file tree needs " +
                     std::to_string(listed.size() > needed ? needed : expected.size()));
}

std::string InfoHashV2(std::string_view infoBytes) { return Sha256Bytes(infoBytes); }

TV2Metadata ReadV2Metadata(std::string_view infoBytes, std::string_view layersBytes,
                           std::vector<std::string>& errors, const TSha256Lanes& lanes) {
  TV2Metadata meta;
  if (std::string newer = NewerMetaVersionError(infoBytes); !newer.empty()) {
    errors.insert(errors.begin(), std::move(newer));
    meta.Newer = true;
    return meta;
  }
  meta.Tree = ReadFileTree(infoBytes, errors);
  meta.Format = FormatOf(infoBytes);
  if (meta.Format == TMetaFormat::V1) return meta;
  if (std::string line = CanonicalInfoError(infoBytes); !line.empty()) errors.push_back(std::move(line));
  meta.InfoHashV2 = InfoHashV2(infoBytes);
  const std::vector<TRawEntry> entries = RawEntries(infoBytes);
  const TRawInteger pieceLength = RawInteger(Lookup(entries, "piece length"));
  meta.PieceLayers =
      CheckPieceLayers(layersBytes, meta.Tree, pieceLength.Value, errors, lanes, &meta.LayerFaults);
  // A v1 file list beside the tree is compared with it even without "pieces", as libtorrent
  // does: a hybrid with its pieces taken out must not pass for a v2 torrent of other files.
  const bool v1List = !Lookup(entries, "files").empty() || !Lookup(entries, "length").empty();
  if (meta.Format == TMetaFormat::Hybrid || v1List) {
    bool single = false;
    const std::vector<TV1FileEntry> v1 = ReadV1Files(infoBytes, single);
    CheckHybrid(v1, single, meta.Tree, pieceLength.Value, errors);
  }
  return meta;
}
