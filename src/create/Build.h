#pragma once
// Making one torrent from plain values: the window and the CLI each fill a
// TBuildRequest from their own controls or options and call Build.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "metainfo/FileTree.h"
#include "metainfo/TorrentFile.h"

class TProgress;
class TQuorvaneBTHashedStorage;

// One file of the data, in the order it goes into the torrent.
struct TBuildFile {
  std::string Folder;  // folders inside the torrent, "a/b"; empty at the top
  std::string Name;    // the file's own name
  std::string Source;  // where its bytes are
  int64_t Length = 0;
  // Executable by its owner: v2 and hybrid torrents mark it (attr "x") as
  // libtorrent does, so both make the same info hash of the same files.
  bool Executable = false;
};

enum class TBuildMode {
  SingleFile,  // one file: Files holds exactly one entry, named Name in the torrent
  Folder,      // the files as one torrent called Name, each under its Folder
};

struct TBuildRequest {
  TBuildMode Mode = TBuildMode::SingleFile;
  std::vector<TBuildFile> Files;
  std::string Name;
  // The first URL of the first tier is the main tracker ("announce"); an
  // empty first URL makes a torrent without one.
  std::vector<std::vector<std::string>> Trackers;
  std::optional<int32_t> PieceLength;  // none: chosen from the total size
  bool Private = false;
  std::string Source;  // info "source"
  std::vector<std::string> WebSeeds;
  std::string Comment;
  std::optional<int64_t> CreationDate;  // Unix seconds; none: no date
  // Where the torrent is written (replaced safely); empty: only the bytes.
  // A file of the data that is this output, or a torrent the same builder
  // wrote before, is left out: a run never hashes its own torrents.
  std::string Output;
  // A file that appeared at Output while the data was hashed is kept: the
  // build fails with "File exists" instead of replacing it.
  bool KeepExisting = false;
  int Threads = 0;  // hashing threads; 0: one per core
  // V2 and Hybrid put the files in tree order and need a piece length that
  // is a power of two of at least 16 KiB.
  TMetaFormat Format = TMetaFormat::V1;
};

enum class TBuildOutcome {
  Built,    // Bytes hold the torrent; written to Output when one was asked for
  NoData,   // not a single byte of data: clients load no such torrent
  Aborted,  // the progress's abort request ended the run, up to the rename of the output; nothing written
  Failed,   // reading the data failed, or the one file is the output (Error says why); nothing written
};

struct TBuildResult {
  TBuildOutcome Outcome = TBuildOutcome::Failed;
  std::string Error;
  std::unique_ptr<TTorrentFile> Torrent;  // the model, pieces included
  std::string Bytes;                      // the bencoded torrent
  std::string InfoHash;                   // 20 bytes; empty for a v2-only torrent
  std::string InfoHashText;               // 40 hex digits; empty for a v2-only torrent
  std::string InfoHashV2;                 // 32 bytes; empty for a v1 torrent
  std::string InfoHashV2Text;             // 64 hex digits; empty for a v1 torrent
  std::string Written;                    // the file written, or empty
};

// What the front ends say for a v2 or hybrid request whose custom piece
// length is not a power of two of at least 16 KiB.
extern const char* const V2PieceLengthMessage;

// What the front ends say for TBuildOutcome::NoData.
std::string NoDataMessage(const std::string& name);

// The window's automatic piece length for a total size (AutoPieceLength up to
// WindowAutoPieceCap), or a custom length: as it is when IsPieceLengthAllowed,
// else the largest choice of the window's list at or below it.
int32_t ChoosePieceLength(int64_t totalBytes, std::optional<int32_t> custom);

// Runs one build; reports to progress and polls its abort request. An output
// that cannot be created raises EStreamError before any data is read, and a
// failed write leaves whatever stood at Output untouched. A single-file
// request without exactly one file raises std::invalid_argument.
class TTorrentBuilder {
 public:
  explicit TTorrentBuilder(TProgress& progress);
  ~TTorrentBuilder();
  TTorrentBuilder(const TTorrentBuilder&) = delete;
  TTorrentBuilder& operator=(const TTorrentBuilder&) = delete;

  TBuildResult Build(const TBuildRequest& asked);
  // The request without the files that are its output or earlier outputs of
  // this builder (Build does the same; a caller sizing the data first calls it).
  TBuildRequest WithoutOwnOutputs(TBuildRequest request) const;
  // Torrents the run will write (one per entry): left out as well where they
  // already stand, from an earlier run, inside the data of another entry.
  void LeaveOut(std::vector<std::string> outputs) { plannedOutputs_ = std::move(outputs); }
  // Forgets the torrents of earlier runs: a new run may take them as data.
  void NewRun() {
    written_.clear();
    plannedOutputs_.clear();
  }
  // The storage of the run under way; null outside a run.
  const TQuorvaneBTHashedStorage* Storage() const { return storage_.get(); }

 private:
  // The v2 and hybrid run: torrent holds the v1 fields already set.
  void BuildV2(const TBuildRequest& request, TBuildResult& result);
  // Writes the bytes made to the output asked for, replacing it only once complete.
  void Finish(const TBuildRequest& request, TBuildResult& result);

  TProgress& progress_;
  std::vector<TFileStamp> written_;  // the torrents this builder wrote
  std::vector<std::string> plannedOutputs_;
  std::unique_ptr<TQuorvaneBTHashedStorage> storage_;
};

inline TBuildResult Build(const TBuildRequest& request, TProgress& progress) {
  return TTorrentBuilder(progress).Build(request);
}
