#include "create/HashedStorage.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>

#include "base/Path.h"
#include "base/Stream.h"
#include "create/Progress.h"
#include "create/SourceFile.h"
#include "digest/MessageDigests.h"

namespace {

// The run's one read buffer, on a huge page where the system allows: fewer
// TLB misses for the kernel's copy into it and for the digest reading it.
class TPieceBuffer {
 public:
  explicit TPieceBuffer(size_t size) {
    constexpr size_t huge = size_t{2} << 20;
    const size_t rounded = (size + huge - 1) / huge * huge;
    data_ = static_cast<uint8_t*>(std::aligned_alloc(huge, rounded));
    if (data_) ::madvise(data_, rounded, MADV_HUGEPAGE);
    if (!data_) data_ = static_cast<uint8_t*>(std::malloc(size));
    if (!data_) throw std::bad_alloc();
  }
  ~TPieceBuffer() { std::free(data_); }
  TPieceBuffer(const TPieceBuffer&) = delete;
  TPieceBuffer& operator=(const TPieceBuffer&) = delete;
  uint8_t* Data() const { return data_; }

 private:
  uint8_t* data_ = nullptr;
};

EStreamError FileChanged(const std::string& path) {
  return EStreamError("The file \"" + path + "\" changed while it was being hashed.");
}

}  // namespace

THashedStorage::THashedStorage(std::span<const std::unique_ptr<TTorrentSubFile>> files, std::string basePath,
                               bool multiFile, int64_t pieceLength)
    : BasePath(std::move(basePath)), Files(files), MultiFile(multiFile), PieceLength(pieceLength) {}

THashedStorage::~THashedStorage() = default;

std::string THashedStorage::PathOf(const TTorrentSubFile& entry) const {
  if (!entry.SourcePath.empty()) return entry.SourcePath;
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
  DoStatus("start", 0);
  try {
    HashFiles();
  } catch (const std::exception& e) {
    Error = e.what();
    if (Error.empty()) Error = "Hashing failed";
  }
  DoStatus("done", 0);
}

void THashedStorage::HashFiles() {
  if (PieceLength <= 0) throw EStreamError("Invalid piece length");
  const int64_t pieceLength = PieceLength;
  TSHA1 sha;
  // The one buffer of the run: every byte is read into it once and hashed from it.
  const TPieceBuffer buffer(static_cast<size_t>(pieceLength));
  int64_t remaining = pieceLength;

  auto finishPiece = [&] {
    sha.Complete();
    Pieces.push_back(std::make_unique<TTorrentPiece>(sha.DigestString(), sha.DigestBytes(), true));
    ++PieceCount;
    remaining = pieceLength;
    sha.Initialize();
    DoPieceDone();
  };

  for (size_t i = 0; i < Files.size(); ++i) {
    if (IsAborted()) return;
    const TTorrentSubFile& entry = *Files[i];
    const bool last = i + 1 == Files.size();
    const std::string path = PathOf(entry);
    TSourceFile file(path, true);
    // The torrent records the length gathered before the run; data of any
    // other length would give pieces that disagree with it.
    const int64_t size = file.OpenedSize();
    if (size != entry.Length) throw FileChanged(path);
    DoFileStart(path, size);

    int64_t position = 0;
    int64_t count = 0;
    bool finished = false;
    for (;;) {
      DoProcessEvents();
      const int64_t wanted = std::min(remaining, size - position);
      count = wanted > 0 ? file.Read(buffer.Data(), wanted) : 0;
      if (count < wanted) throw FileChanged(path);  // ended before its recorded end
      if (count > 0) sha.Transform(buffer.Data(), count);
      position += count;
      const bool atEnd = position == size;
      // The end of the data closes the last piece. Data that ends exactly on a
      // piece boundary has no bytes left for one more; an extra hash of no
      // data there would give a piece count no client accepts.
      const bool pieceHasData = count > 0 || remaining < pieceLength;
      finished = count == remaining || (atEnd && last && (pieceHasData || PieceCount == 0));
      if (finished) finishPiece();
      if (atEnd) break;
      if (IsAborted()) return;
    }
    if (file.Size() != size) throw FileChanged(path);  // grew while it was read
    if (!finished) remaining -= count;
  }
}

TQuorvaneBTHashedStorage::TQuorvaneBTHashedStorage(std::span<const std::unique_ptr<TTorrentSubFile>> files,
                                                   std::string basePath, bool multiFile, bool hashNow,
                                                   int64_t pieceLength, TProgress& progress)
    : THashedStorage(files, std::move(basePath), multiFile, pieceLength), progress_(progress) {
  if (hashNow) HashPieces();
}

void TQuorvaneBTHashedStorage::DoFileStart(const std::string& path, int64_t size) {
  progress_.SetHashingText("Hashing: " + LastPathComponent(path));
  progress_.SetFileMax(size / PieceLength + 1);
  progress_.SetFilePosition(0);
}

void TQuorvaneBTHashedStorage::DoPieceDone() {
  progress_.SetFilePosition(std::min(progress_.FilePosition() + 1, progress_.FileMax()));
  progress_.SetOverallPosition(std::min(progress_.OverallPosition() + 1, progress_.OverallMax()));
}

void TQuorvaneBTHashedStorage::DoStatus(const std::string& name, int value) {
  (void)value;
  if (name == "start") {
    progress_.SetFinishedEnabled(false);
    progress_.SetAbortEnabled(true);
  } else if (name == "done") {
    progress_.SetFinishedEnabled(true);
    progress_.SetAbortEnabled(false);
    progress_.FocusFinished();
    progress_.SetOverallPosition(progress_.OverallMax());
    progress_.SetFilePosition(progress_.FileMax());
  }
}

bool TQuorvaneBTHashedStorage::IsAborted() { return progress_.IsAborted(); }

void TQuorvaneBTHashedStorage::DoProcessEvents() { progress_.ProcessEvents(); }
