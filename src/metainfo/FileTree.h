#pragma once
// The BitTorrent v2 part of a torrent: the info's "file tree" read into a flat file list, the
// "piece layers" checked against the files' roots, and the hybrid check that a v1 file list
// describes the same bytes as the tree. Every rule broken gives one "Corrupt File: ..." line.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "digest/Sha256Lanes.h"

// Which hashes an info dictionary carries.
enum class TMetaFormat { V1, V2, Hybrid };
// "v1", "v2" or "hybrid", as the CLI takes and prints it.
const char* MetaFormatName(TMetaFormat format);

// How much of "piece layers" a torrent carries for its files longer than one piece. A torrent
// without some is still valid: peers send the missing layers.
enum class TPieceLayersState { Complete, Partial, Absent };

// One file of a file tree.
struct TTreeFile {
  // The tree keys down to the file. For a single-file torrent, the one key (the torrent's name).
  std::vector<std::string> Path;
  int64_t Length = 0;                    // 0 for a link
  std::string PiecesRoot;                // 32 raw bytes; empty for an empty file or a link
  std::string Attr;                      // the attribute letters: x executable, h hidden, l link
  std::vector<std::string> SymlinkPath;  // a link's target, as components from the torrent's root
  // The concatenated 32-byte piece hashes of a file longer than one piece; empty when unknown.
  std::string PieceLayer;

  bool HasAttr(char letter) const { return Attr.find(letter) != std::string::npos; }
  bool IsSymlink() const { return HasAttr('l'); }
};

struct TFileTree {
  std::vector<TTreeFile> Files;  // depth first, keys in byte order at every level
  bool SingleFile = false;       // the tree holds one file named as the torrent, no folder
  int64_t TotalLength = 0;       // the files' bytes, pads not counted (there are none in a tree)
};

// libtorrent refuses a file nested this many levels of bencoding deep (counted from the top of
// the .torrent, so a path of at most 95 names), and deeper trees cost a stack frame per level.
constexpr int MaxFileTreeDepth = 100;
// The most pieces libtorrent loads (its load_torrent_limits::max_pieces). A v2 torrent's pieces
// come with no hash to hold them, so only this bounds what a check of its data keeps per piece.
constexpr int64_t MaxV2PieceCount = int64_t{1} << 21;
// The largest piece length libtorrent loads in a v2 torrent.
constexpr int64_t MaxV2PieceLength = int64_t{1} << 29;
// libtorrent refuses a file of this many bytes or more; sums of such lengths soon overflow.
constexpr int64_t MaxTorrentFileLength = int64_t{1} << 62;

// Everything here reads the exact bytes of the info (or of "piece layers"), not the decoded
// values: a tree's file entries sit under the empty key, which the decoder drops. Bytes that are
// not one complete dictionary read as an info without those keys (the loader reports them).

// The line for a "meta version" above 2 ("made by a newer program"), or "". The loader puts it
// before any other: nothing else in such a file can be judged by this program's rules.
std::string NewerMetaVersionError(std::string_view infoBytes);

// V1 when the info has no "meta version" 2 with a "file tree", V2 when it has one and no
// "pieces", Hybrid when it has both.
TMetaFormat FormatOf(std::string_view infoBytes);

// Reads "meta version" and "file tree" of an info and checks them and the piece length as a v2
// torrent needs them; appends one line to errors per rule broken. An info without either key
// (and one of a newer meta version) gives an empty tree and no line.
TFileTree ReadFileTree(std::string_view infoBytes, std::vector<std::string>& errors);

// The line for a v2 info whose bytes are not canonical bencoding, or "". Its v2 hash is over
// these bytes: a client that re-encodes it would compute another one.
std::string CanonicalInfoError(std::string_view infoBytes);

// A file whose piece layer does not reduce to its "pieces root": the metadata is wrong, while
// the file's data may well be whole, and its root still tells.
struct TLayerFault {
  size_t File = 0;   // in the tree's (or the torrent's) file list
  std::string Line;  // the "Corrupt File: ..." line, also among the errors
};

// Checks the bytes of the top-level "piece layers" value ("" when absent) against the tree's
// roots and fills each file's PieceLayer from it; appends one line to errors per fault, and
// the layers that do not reduce to their roots to faults as well. Layers are checked only with
// a piece length a v2 torrent may have.
TPieceLayersState CheckPieceLayers(std::string_view layersBytes, TFileTree& tree, int64_t pieceLength,
                                   std::vector<std::string>& errors,
                                   const TSha256Lanes& lanes = TSha256Lanes(),
                                   std::vector<TLayerFault>* faults = nullptr);

// An entry of a v1 file list, as far as a hybrid's consistency is concerned.
struct TV1FileEntry {
  std::vector<std::string> Path;
  int64_t Length = 0;
  bool Pad = false;

  bool operator==(const TV1FileEntry&) const = default;
};

// The v1 file list of a hybrid of these files (in tree order): each file, and after each
// non-empty one that ends inside a piece, the last one included, a pad file up to the next
// piece boundary (named ".pad/N" for N bytes). One file alone gets no pad, in a folder or not.
std::vector<TV1FileEntry> HybridV1Files(std::span<const TTreeFile> files, int64_t pieceLength);

// The v1 file list of an info's bytes: its "files" entries, or for a single-file info one entry
// of its name and "length" (singleFile set). Entries that are not dictionaries are skipped.
std::vector<TV1FileEntry> ReadV1Files(std::string_view infoBytes, bool& singleFile);

// Checks that a hybrid's v1 part describes the same bytes in the same order as its tree, and
// appends one line to errors at the first disagreement. v1Files: the v1 "files" list, or for a
// single-file v1 info one entry holding its name and "length". A missing tail pad is accepted:
// earlier writers left it out.
void CheckHybrid(std::span<const TV1FileEntry> v1Files, bool v1SingleFile, const TFileTree& tree,
                 int64_t pieceLength, std::vector<std::string>& errors);

// The v2 info hash: SHA-256 of the info's bytes, 32 raw bytes.
std::string InfoHashV2(std::string_view infoBytes);

// What a loader learns of a torrent's v2 part.
struct TV2Metadata {
  bool Newer = false;  // a meta version above 2: nothing else was read
  TMetaFormat Format = TMetaFormat::V1;
  TFileTree Tree;
  TPieceLayersState PieceLayers = TPieceLayersState::Absent;
  std::vector<TLayerFault> LayerFaults;  // by index in Tree.Files
  std::string InfoHashV2;                // 32 raw bytes; empty for v1
};

// All of the above in the loader's order: a newer meta version goes in front of the lines
// already in errors and ends the reading; then the tree, and for a v2 or hybrid info its
// canonical form, its piece layers and a hybrid's v1 list. layersBytes: the bytes of the
// top-level "piece layers" value, "" when absent.
TV2Metadata ReadV2Metadata(std::string_view infoBytes, std::string_view layersBytes,
                           std::vector<std::string>& errors, const TSha256Lanes& lanes = TSha256Lanes());

// True for a piece length a v2 torrent may have: a power of two of at least 16 KiB.
bool IsV2PieceLength(int64_t pieceLength);
