#pragma once
// Checks data on disk against a torrent's piece hashes, with the hashing
// storage the creation uses, and says which files are damaged or missing and
// where.

#include <cstdint>
#include <string>
#include <vector>

#include "metainfo/TorrentFile.h"

class TProgress;

enum class TVerifyState {
  Ok,
  Missing,    // no such file (or no regular file) on disk
  WrongSize,  // on disk with another length than the torrent's
  Damaged,    // the right length, but pieces that do not match
};

// The state's one-word name, as reports print it: "ok", "missing", "size", "damaged".
const char* VerifyStateName(TVerifyState state);

// Bytes First..Last of a file, both included.
struct TByteRange {
  int64_t First = 0;
  int64_t Last = 0;
  bool operator==(const TByteRange&) const = default;
};

// A file whose data did not check out.
struct TVerifiedFile {
  size_t Index = 0;           // in the torrent's file list
  std::string PathInTorrent;  // "folder/name"
  std::string DataPath;       // where it was looked for
  TVerifyState State = TVerifyState::Ok;
  int64_t Length = 0;        // in the torrent
  int64_t FoundLength = -1;  // on disk; -1 when missing
  std::vector<TByteRange> BadRanges;
  int64_t FirstBadPiece = -1;  // the pieces those ranges lie in
  int64_t LastBadPiece = -1;
};

// A fault of the torrent rather than of the data: a file's piece layer that
// does not reduce to its root (the file is checked by its root alone), or a
// hybrid's v1 piece hashes that disagree with its file tree where the data
// matches the tree.
struct TMetadataFault {
  size_t Index = 0;  // in the torrent's file list
  std::string PathInTorrent;
  std::string What;         // the loader's line without its "Corrupt File: "
  bool ByRootAlone = true;  // false: a v1 fault, the file checked as usual
};

struct TVerifyResult {
  int64_t PieceCount = 0;
  std::vector<int64_t> BadPieces;       // ascending
  std::vector<TVerifiedFile> Problems;  // in torrent order; padding is never listed
  std::vector<std::string> Errors;      // read errors that cut a check short
  std::vector<TMetadataFault> MetadataFaults;
  bool Aborted = false;
  bool Ok() const {
    return !Aborted && BadPieces.empty() && Problems.empty() && Errors.empty() && MetadataFaults.empty();
  }
};

// Where a torrent's data lies unless told: beside the .torrent, under the torrent's name.
std::string DefaultDataPath(const std::string& torrentPath, const TTorrentFile& torrent);

// Hashes the data and compares every piece. dataPath: the file of a
// single-file torrent, the folder holding the files of a multi-file one.
// Reports to progress as a creation run does; stops when it is aborted. The
// torrent must have loaded without damage (DamageLinesBesideLayerFaults()).
// A v2-only torrent is checked by its files' piece layers, and by their
// roots where a file has no layer (one piece at most, a layer absent or
// wrong); a hybrid by its v1 pieces and the same v2 hashes, from one read.
// Pieces are numbered as the torrent's pieces (a v2-only one's files each
// start a piece).
TVerifyResult VerifyData(const TTorrentFile& torrent, const std::string& dataPath, TProgress& progress);
