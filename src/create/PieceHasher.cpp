#include "create/PieceHasher.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <exception>
#include <string_view>

#include "base/Stream.h"
#include "base/UniqueFd.h"

namespace {

constexpr int MaxThreads = 64;
// The read buffers of all workers together stay under this, whatever the piece length.
constexpr int64_t BufferBudget = int64_t{64} << 20;
// A chunk of small pieces is read with at least this many bytes, so the lock
// changes hands rarely and each read request is large.
constexpr int64_t SmallestChunk = int64_t{1} << 20;
// Each read asks for at most this much: large enough that a disk sees few
// requests (read-ahead makes them larger still), small enough that a stop
// request is seen soon.
constexpr int64_t ReadRequest = int64_t{4} << 20;
// The caller is woken once this much data past the piece it waits for is
// hashed (or the run ends or fails), not for every piece: with small pieces a
// wake per piece preempted a worker each time.
constexpr int64_t WakeBytes = int64_t{16} << 20;
// Files at least this long are announced to the kernel as read in sequence.
constexpr int64_t SequentialFile = int64_t{1} << 20;

EStreamError FileChanged(const std::string& path) {
  return EStreamError("The file \"" + path + "\" changed while it was being hashed.");
}

void LowerTo(std::atomic<int64_t>& value, int64_t bound) {
  int64_t seen = value.load();
  while (bound < seen && !value.compare_exchange_weak(seen, bound)) {
  }
}

}  // namespace

// A read that failed: where in the stream, and why.
struct TPieceHasher::TReadFailure {
  int64_t Position;
  std::string Why;
};

namespace {
// The walk ended because no piece of the range is wanted any more.
struct TStopped {};
}  // namespace

// The folder of the last file opened, kept open: many small files of one
// folder are then opened by their names alone, which saves the look-up of
// every folder above them on each open.
struct TPieceHasher::TFolder {
  std::string Path;
  TUniqueFd Fd;

  void Open(std::optional<TSourceFile>& file, const std::string& path, bool sequential) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) {
      file.emplace(path, sequential);
      return;
    }
    const std::string_view folder(path.data(), slash);
    if (!Fd.Valid() || folder != Path) {
      Path.assign(folder);
      // Should this fail, the file's own open below reports why.
      Fd = OpenFolderHandle(Path);
    }
    if (!Fd.Valid())
      file.emplace(path, sequential);
    else
      file.emplace(Fd.Get(), path.c_str() + slash + 1, path, sequential);
  }
};

TPieceHasher::TPieceHasher(std::vector<TByteSource> sources, int64_t pieceLength, int threads, TSha1Path path)
    : sources_(std::move(sources)),
      pieceLength_(pieceLength),
      sha_(path),
      folder_(std::make_unique<TFolder>()) {
  assert(pieceLength > 0);
  const size_t count = sources_.size();
  start_.reserve(count + 1);
  int64_t total = 0;
  for (const TByteSource& source : sources_) {
    start_.push_back(total);
    total += source.Length;
  }
  start_.push_back(total);
  if (count > 0) pieceCount_ = std::max<int64_t>(1, (total + pieceLength - 1) / pieceLength);
  // Each source belongs to the pieces holding its bytes; an empty file to the
  // piece at its offset, which opens it and so finds it missing or changed.
  firstPiece_.resize(count);
  lastPiece_.resize(count);
  for (size_t i = 0; i < count; ++i) {
    firstPiece_[i] = std::min(start_[i] / pieceLength, pieceCount_ - 1);
    lastPiece_[i] = sources_[i].Length > 0 ? (start_[i + 1] - 1) / pieceLength : firstPiece_[i];
  }

  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads_ = static_cast<int>(std::clamp<int64_t>(std::min<int64_t>(threads, pieceCount_), 1, MaxThreads));
  // A worker's chunk: a full set of lanes, more pieces when they are small,
  // fewer (down to a part of one piece) when the budget is short.
  const int64_t perWorker = BufferBudget / threads_;
  const int64_t lanes = sha_.PieceLanes();
  chunkPieces_ = std::min(lanes, perWorker / pieceLength);
  if (chunkPieces_ > 0 && chunkPieces_ * pieceLength < SmallestChunk) {
    const int64_t wanted = (SmallestChunk + pieceLength - 1) / pieceLength;
    chunkPieces_ = std::min((wanted + lanes - 1) / lanes * lanes, perWorker / pieceLength);
  }
  // Work for every thread, when there are few pieces.
  const int64_t share = (pieceCount_ + threads_ - 1) / threads_;
  if (chunkPieces_ > share) chunkPieces_ = std::max<int64_t>(1, share);
  chunkBytes_ = chunkPieces_ > 0 ? std::min(chunkPieces_ * pieceLength, std::max<int64_t>(total, 1))
                                 : perWorker / 64 * 64;

  state_.assign(static_cast<size_t>(pieceCount_), TPieceState::Pending);
  digests_.resize(static_cast<size_t>(pieceCount_));
  limit_ = pieceCount_;
}

TPieceHasher::~TPieceHasher() { Stop(); }

void TPieceHasher::Stop() {
  limit_ = 0;
  for (auto& worker : workers_) worker.join();
  workers_.clear();
}

void TPieceHasher::Start() {
  if (started_) return;
  started_ = true;
  for (int i = 0; i < threads_; ++i)
    workers_.emplace_back([this] {
      try {
        Work();
      } catch (const std::exception& e) {
        FailPending(e.what());
      }
    });
}

TPieceHasher::TPieceState TPieceHasher::WaitFor(int64_t index, std::chrono::milliseconds limit) {
  assert(index >= 0 && index < pieceCount_);
  Start();
  std::unique_lock lock(mutex_);
  const auto at = static_cast<size_t>(index);
  waitingFor_ = index;
  changed_.wait_for(lock, limit, [&] { return state_[at] != TPieceState::Pending; });
  return state_[at];
}

std::string TPieceHasher::ErrorOf(int64_t index) {
  std::lock_guard lock(mutex_);
  const auto found = errors_.find(index);
  return found == errors_.end() ? std::string() : found->second;
}

void TPieceHasher::StopAfter(int64_t index) { LowerTo(limit_, index + 1); }

void TPieceHasher::FileDone(size_t source) {
  std::unique_ptr<TSourceFile> done;
  {
    std::lock_guard lock(mutex_);
    const auto found = shared_.find(source);
    if (found == shared_.end()) return;
    done = std::move(found->second);
    shared_.erase(found);
  }
  // Its pieces were read possibly long before the caller got here: the size
  // tells whether it changed meanwhile.
  if (done->Size() != sources_[source].ExpectedFileSize()) throw FileChanged(done->Path());
}

void TPieceHasher::FailPending(const std::string& why) {
  // The caller must not wait for pieces nobody will hash.
  {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < state_.size(); ++i)
      if (state_[i] == TPieceState::Pending) {
        state_[i] = TPieceState::Failed;
        errors_[static_cast<int64_t>(i)] = why;
      }
  }
  limit_ = 0;
  changed_.notify_all();
}

void TPieceHasher::Work() {
  const auto buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(chunkBytes_ + BufferSlack));
  const int64_t total = start_.back();
  std::vector<std::string_view> pieces;
  for (;;) {
    int64_t first = 0;
    int64_t end = 0;
    int64_t failed = -1;
    std::string why;
    {
      std::lock_guard read(readMutex_);
      first = nextPiece_;
      if (readEnded_ || first >= std::min(pieceCount_, limit_.load())) return;
      if (chunkPieces_ == 0) {
        nextPiece_ = first + 1;
        HashLongPiece(first, buffer.get());
        continue;
      }
      end = std::min(pieceCount_, first + chunkPieces_);
      nextPiece_ = end;
      try {
        ReadRange(first * pieceLength_, std::min(total, end * pieceLength_), buffer.get());
      } catch (const TReadFailure& failure) {
        readEnded_ = true;
        failed = std::min(failure.Position / pieceLength_, pieceCount_ - 1);
        why = failure.Why.empty() ? "Hashing failed" : failure.Why;
        // Later pieces are not needed: the run ends at this one.
        LowerTo(limit_, failed + 1);
      } catch (const TStopped&) {
        readEnded_ = true;
      }
    }
    // Only whole pieces that are still wanted; a stop may have cut the read short.
    const int64_t done = std::min({failed >= 0 ? failed : end, limit_.load(), end});
    pieces.clear();
    for (int64_t p = first; p < done; ++p) {
      const int64_t from = p * pieceLength_;
      pieces.emplace_back(reinterpret_cast<const char*>(buffer.get()) + (from - first * pieceLength_),
                          static_cast<size_t>(std::min(total, from + pieceLength_) - from));
    }
    // Each worker writes the digests of its own pieces only; Publish hands them over.
    static_assert(sizeof(std::array<uint8_t, 20>) == 20);
    if (!pieces.empty())
      sha_.HashMessages(pieces,
                        reinterpret_cast<uint8_t(*)[20]>(digests_[static_cast<size_t>(first)].data()));
    Publish(first, done, failed, why);
    if (failed >= 0) return;
  }
}

// A piece longer than the buffer: read and hashed part by part, all under the read lock.
void TPieceHasher::HashLongPiece(int64_t piece, uint8_t* buffer) {
  const int64_t to = std::min(start_.back(), (piece + 1) * pieceLength_);
  TSha1LaneState state{};
  TSha1Lanes::Init(state);
  try {
    int64_t at = piece * pieceLength_;
    int64_t kept = 0;  // bytes at the buffer's start not yet compressed
    for (;;) {
      const int64_t part = std::min(to - at, chunkBytes_ - kept);
      ReadRange(at, at + part, buffer + kept);
      at += part;
      const int64_t filled = kept + part;
      if (at == to) {
        sha_.Finish(state, buffer, static_cast<size_t>(filled), digests_[static_cast<size_t>(piece)].data());
        break;
      }
      const int64_t whole = filled / 64 * 64;
      const uint8_t* data = buffer;
      sha_.TransformBlocks(&state, &data, 1, static_cast<size_t>(whole / 64));
      kept = filled - whole;
      std::memmove(buffer, buffer + whole, static_cast<size_t>(kept));
      if (piece >= limit_.load()) throw TStopped{};
    }
  } catch (const TReadFailure& failure) {
    readEnded_ = true;
    LowerTo(limit_, piece + 1);
    Publish(piece, piece, piece, failure.Why.empty() ? "Hashing failed" : failure.Why);
    return;
  } catch (const TStopped&) {
    readEnded_ = true;
    return;
  }
  Publish(piece, piece + 1, -1, {});
}

// Reads stream bytes [from, to) into out, continuing the walk. Empty sources
// at `from` are opened here; those at `to` wait for the next range, unless the
// stream ends there. Stops early (setting readEnded_) once no piece of the
// range is wanted any more.
void TPieceHasher::ReadRange(int64_t from, int64_t to, uint8_t* out) {
  const int64_t total = start_.back();
  while (readSource_ < sources_.size()) {
    const size_t i = readSource_;
    const int64_t sourceStart = start_[i];
    const int64_t sourceEnd = start_[i + 1];
    if (sourceStart > to || (sourceStart == to && to < total)) return;
    const int64_t a = std::max(from, sourceStart);
    const int64_t b = std::min(to, sourceEnd);
    ReadSource(i, a, b, out + (a - from));
    if (b < sourceEnd) return;  // the range ends inside this source
    ++readSource_;
    readFile_ = nullptr;
    ownFile_.reset();
  }
}

// Bytes [a, b) of the stream, all in source i, into out.
void TPieceHasher::ReadSource(size_t i, int64_t a, int64_t b, uint8_t* out) {
  const TByteSource& source = sources_[i];
  if (source.Zeros) {
    std::memset(out, 0, static_cast<size_t>(b - a));
    return;
  }
  const int64_t sourceStart = start_[i];
  try {
    if (!readFile_) readFile_ = &Open(i);
    const bool own = firstPiece_[i] == lastPiece_[i];
    const int64_t fileEnd = source.ExpectedFileSize();
    for (int64_t at = a; at < b;) {
      const int64_t want = std::min(b - at, ReadRequest);
      const int64_t offset = source.Offset + (at - sourceStart);
      // The read that reaches a file's end asks for one byte more: getting it
      // means the file grew. A file read for several pieces is checked by
      // FileDone instead. A regular file returns all it has at once, so the
      // usual reply needs no second call.
      const int64_t probe = own && offset + want == fileEnd ? 1 : 0;
      int64_t got = 0;
      try {
        got = readFile_->ReadAt(out + (at - a), want + probe, offset, want);
      } catch (const std::exception& e) {
        throw TReadFailure{at, e.what()};
      }
      if (got != want) throw TReadFailure{at, FileChanged(readFile_->Path()).what()};
      at += want;
      // A stop (abort, or a failure further on) ends the walk at the next request.
      if (at < b && at >= limit_.load() * pieceLength_) throw TStopped{};
    }
  } catch (const TReadFailure&) {
    throw;
  } catch (const TStopped&) {
    throw;
  } catch (const std::exception& e) {
    throw TReadFailure{a, e.what()};
  }
}

// Opens source i for the walk: a file of one piece through the kept folder,
// closed once read; a longer one kept open until FileDone.
TSourceFile& TPieceHasher::Open(size_t i) {
  const TByteSource& source = sources_[i];
  const bool sequential = source.Length >= SequentialFile;
  TSourceFile* file = nullptr;
  if (firstPiece_[i] == lastPiece_[i]) {
    folder_->Open(ownFile_, source.Path, sequential);
    file = &*ownFile_;
  } else {
    auto opened = std::make_unique<TSourceFile>(source.Path, sequential);
    file = opened.get();
    std::lock_guard lock(mutex_);
    shared_[i] = std::move(opened);
  }
  // The torrent records the length gathered before the run; data of any
  // other length would give pieces that disagree with it.
  if (file->OpenedSize() != source.ExpectedFileSize()) throw FileChanged(file->Path());
  return *file;
}

void TPieceHasher::Publish(int64_t first, int64_t done, int64_t failed, const std::string& why) {
  bool wake = failed >= 0;
  {
    std::lock_guard lock(mutex_);
    for (int64_t p = first; p < done; ++p) state_[static_cast<size_t>(p)] = TPieceState::Done;
    if (failed >= 0) {
      state_[static_cast<size_t>(failed)] = TPieceState::Failed;
      errors_[failed] = why;
    }
    while (settled_ < pieceCount_ && state_[static_cast<size_t>(settled_)] != TPieceState::Pending)
      ++settled_;
    const int64_t wakeAt = waitingFor_ + std::max<int64_t>(1, WakeBytes / pieceLength_);
    wake = wake || settled_ == pieceCount_ || (settled_ > waitingFor_ && settled_ >= wakeAt);
  }
  if (wake) changed_.notify_all();
}
