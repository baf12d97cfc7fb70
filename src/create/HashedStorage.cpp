#include "create/HashedStorage.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "base/Path.h"
#include "base/Stream.h"
#include "base/Text.h"
#include "create/PieceHasher.h"
#include "create/Progress.h"

THashedStorage::THashedStorage(TSubFileList files, std::string basePath, bool multiFile, int64_t pieceLength)
    : BasePath(std::move(basePath)), Files(files), MultiFile(multiFile), PieceLength(pieceLength) {}

THashedStorage::~THashedStorage() = default;

std::string THashedStorage::PathOf(const TTorrentSubFile& entry) const {
  if (!entry.SourcePath().empty()) return entry.SourcePath();
  if (!MultiFile) return BasePath;
  std::string path = BasePath;
  if (path.empty() || path.back() != '/') path += '/';
  if (!entry.Path.empty()) {
    path += entry.Path;
    if (path.back() != '/') path += '/';
  }
  return path + entry.Name;
}

void THashedStorage::HashPieces() {
  Pieces.clear();
  PieceCount = 0;
  Error.clear();
  DoRunStart();
  try {
    HashFiles();
  } catch (const std::exception& e) {
    Error = e.what();
    if (Error.empty()) Error = "Hashing failed";
  }
  DoRunDone();
}

std::vector<TByteSource> THashedStorage::StreamSources() const {
  if (!Sources.empty()) return Sources;
  std::vector<TByteSource> sources;
  sources.reserve(Files.size());
  // Padding is zeros by definition: made in memory, never read from a file.
  for (const auto& entry : Files)
    sources.push_back(entry->Pad ? TByteSource::ZeroBytes(entry->Length, PathOf(*entry))
                                 : TByteSource::File(PathOf(*entry), entry->Length));
  return sources;
}

int64_t THashedStorage::ReportedIndex(size_t source) const {
  return source < SourceFiles.size() ? SourceFiles[source] : static_cast<int64_t>(source);
}

void THashedStorage::HashFiles() {
  if (PieceLength <= 0) throw EStreamError("Invalid piece length");
  const int64_t pieceLength = PieceLength;
  std::vector<TByteSource> sources = StreamSources();
  // Only what the reports below need, since the hasher takes the list.
  std::vector<std::pair<std::string, int64_t>> files;
  files.reserve(sources.size());
  for (const TByteSource& source : sources) files.emplace_back(source.Path, source.Length);
  // The workers read and hash; this loop walks the same stream as a single
  // reader would, so the reports come in the same order and at the same points.
  TPieceHasher hasher(std::move(sources), pieceLength, Threads, Sha1Path);
  int64_t remaining = pieceLength;
  size_t checked = 0;  // files before this one passed their last check
  // The wait of the v2 build and verify, through this storage's hooks. "Abort"
  // while waiting still finishes the piece under way, as a read in progress would be.
  struct TWaitHooks : TNullProgress {
    THashedStorage& storage;
    explicit TWaitHooks(THashedStorage& owner) : storage(owner) {}
    void ProcessEventsWhileWaiting() override { storage.DoIdle(); }
    bool IsAborted() const override { return storage.IsAborted(); }
  } hooks(*this);

  auto finishPiece = [&] {
    const int64_t index = PieceCount;
    const TPieceHasher::TPieceState state = WaitForPiece(hasher, index, hooks);
    if (state == TPieceHasher::TPieceState::Failed) {
      if (const auto file = hasher.ErrorFileOf(index); file && *file < files.size())
        DoFileFailed(ReportedIndex(*file), files[*file].first);
      throw EStreamError(hasher.ErrorOf(index));
    }
    const auto& digest = hasher.Digest(index);
    Pieces.push_back(std::string_view(reinterpret_cast<const char*>(digest.data()), 20));
    ++PieceCount;
    remaining = pieceLength;
    DoPieceDone();
    for (; checked < files.size() && hasher.LastPieceOf(checked) <= index; ++checked) {
      try {
        hasher.FileDone(checked);
      } catch (...) {
        DoFileFailed(ReportedIndex(checked), files[checked].first);
        throw;
      }
    }
  };

  for (size_t i = 0; i < files.size(); ++i) {
    if (IsAborted()) return;
    const bool last = i + 1 == files.size();
    const int64_t size = files[i].second;
    DoFileStart(ReportedIndex(i), files[i].first, size);
    // Before the first events run: a front end's first paint then overlaps the hashing.
    hasher.Start();

    int64_t position = 0;
    int64_t count = 0;
    bool finished = false;
    for (;;) {
      DoProcessEvents();
      count = std::min(remaining, size - position);
      position += count;
      const bool atEnd = position == size;
      // The end of the data closes the last piece, if one is still open: data
      // that ends exactly on a piece boundary has none left, and the hasher's
      // count is the one the digests are kept for.
      finished = count == remaining || (atEnd && last && PieceCount < hasher.PieceCount());
      if (finished) finishPiece();
      if (atEnd) break;
      if (IsAborted()) return;
    }
    if (!finished) remaining -= count;
  }
}

TQuorvaneBTHashedStorage::TQuorvaneBTHashedStorage(TSubFileList files, std::string basePath, bool multiFile,
                                                   int64_t pieceLength, TProgress& progress)
    : THashedStorage(files, std::move(basePath), multiFile, pieceLength), progress_(progress) {}

void TQuorvaneBTHashedStorage::DoFileStart(int64_t index, const std::string& path, int64_t size) {
  if (index >= 0) progress_.FileStarted(index, LastPathComponent(path));
  progress_.SetFileMax(size / PieceLength + 1);
  progress_.SetFilePosition(0);
}

void TQuorvaneBTHashedStorage::DoPieceDone() {
  progress_.SetFilePosition(std::min(progress_.FilePosition() + 1, progress_.FileMax()));
  progress_.SetOverallPosition(std::min(progress_.OverallPosition() + 1, progress_.OverallMax()));
}

void TQuorvaneBTHashedStorage::DoRunStart() {
  progress_.SetFinishedEnabled(false);
  progress_.SetAbortEnabled(true);
}

void TQuorvaneBTHashedStorage::DoRunDone() {
  progress_.SetFinishedEnabled(true);
  progress_.SetAbortEnabled(false);
  progress_.FocusFinished();
  progress_.SetOverallPosition(progress_.OverallMax());
  progress_.SetFilePosition(progress_.FileMax());
}

bool TQuorvaneBTHashedStorage::IsAborted() { return progress_.IsAborted(); }

void TQuorvaneBTHashedStorage::DoProcessEvents() { progress_.ProcessEvents(); }

void TQuorvaneBTHashedStorage::DoFileFailed(int64_t index, const std::string& path) {
  if (index >= 0) progress_.FileStarted(index, LastPathComponent(path));
}

void TQuorvaneBTHashedStorage::DoIdle() { progress_.ProcessEventsWhileWaiting(); }
