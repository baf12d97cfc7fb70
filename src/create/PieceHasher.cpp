#include "create/PieceHasher.h"

#include <algorithm>
#include <cassert>
#include <exception>
#include <optional>
#include <string_view>

#include "base/Stream.h"
#include "base/UniqueFd.h"
#include "create/SourceFile.h"

namespace {

constexpr int MaxThreads = 64;
// Read buffers of all workers together stay under this, whatever the piece length.
constexpr int64_t BufferBudget = int64_t{64} << 20;
constexpr int64_t LargestSlice = int64_t{256} << 10;
// One round's slices of all lanes of a worker: small enough to stay in a core's
// L2 cache from the read's copy to the hash. At 4 MiB a round the copy out of
// the page cache went through memory and cost 15% more CPU.
constexpr int64_t RoundBytes = int64_t{1} << 20;
// The caller is woken once this much data past the piece it waits for is
// hashed (or the run ends or fails), not for every piece: with one lane per
// thread and small pieces a wake per piece preempted a worker each time.
constexpr int64_t WakeBytes = int64_t{16} << 20;
constexpr int64_t SmallestSlice = int64_t{16} << 10;
// A single reader held one buffer of a piece, rounded up to a huge page.
constexpr int64_t SingleReaderBuffer = int64_t{2} << 20;

EStreamError FileChanged(const std::string& path) {
  return EStreamError("The file \"" + path + "\" changed while it was being hashed.");
}

void LowerTo(std::atomic<int64_t>& value, int64_t bound) {
  int64_t seen = value.load();
  while (bound < seen && !value.compare_exchange_weak(seen, bound)) {
  }
}

}  // namespace

// The folder of the last file a lane opened, kept open: many small files of
// one folder are then opened by their names alone, which saves the look-up
// of every folder above them on each open.
struct TPieceHasher::TFolder {
  std::string Path;
  TUniqueFd Fd;

  // Opens path's file, through the kept folder where it can.
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

// One piece in one SHA-1 lane of a worker: streamed through a slice buffer.
struct TPieceHasher::TLane {
  int64_t Piece = 0;
  int64_t Pos = 0;  // next stream byte of the piece to read
  int64_t End = 0;  // the piece's end in the stream
  size_t File = 0;  // next file of the piece to take
  size_t FileEnd = 0;
  TSourceFile* Current = nullptr;  // the file being read, if open
  std::optional<TSourceFile> Own;  // a file no other piece reads
  TFolder Folder;
  std::unique_ptr<uint8_t[]> Buffer;
  int64_t Filled = 0;
  TSha1LaneState State{};
  bool Finished = false;
  bool Failed = false;
  std::string Error;
  std::array<uint8_t, 20> Digest{};
};

TPieceHasher::TPieceHasher(std::vector<int64_t> lengths, std::function<std::string(size_t)> pathOf,
                           int64_t pieceLength, int threads, TSha1Path path, std::vector<bool> zeros)
    : pathOf_(std::move(pathOf)), zeros_(std::move(zeros)), pieceLength_(pieceLength), sha_(path) {
  zeros_.resize(lengths.size());
  start_.reserve(lengths.size() + 1);
  int64_t total = 0;
  for (int64_t length : lengths) {
    start_.push_back(total);
    total += length;
  }
  start_.push_back(total);
  if (!lengths.empty()) pieceCount_ = std::max<int64_t>(1, (total + pieceLength - 1) / pieceLength);
  // Each file belongs to the pieces holding its bytes; an empty file to the piece
  // at its offset, which opens it and so finds it missing or changed.
  firstPiece_.resize(lengths.size());
  lastPiece_.resize(lengths.size());
  for (size_t i = 0; i < lengths.size(); ++i) {
    firstPiece_[i] = std::min(start_[i] / pieceLength, pieceCount_ - 1);
    lastPiece_[i] = lengths[i] > 0 ? (start_[i + 1] - 1) / pieceLength : firstPiece_[i];
  }

  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads_ = static_cast<int>(std::clamp<int64_t>(std::min<int64_t>(threads, pieceCount_), 1, MaxThreads));
  const int64_t lanes = sha_.PieceLanes();
  slice_ = LargestSlice;
  auto tooBig = [&] {
    const int64_t all = threads_ * lanes * slice_;
    return all > BufferBudget || lanes * slice_ > RoundBytes ||
           (threads_ == 1 && all > std::max(pieceLength, SingleReaderBuffer));
  };
  while (slice_ > SmallestSlice && tooBig()) slice_ /= 2;
  slice_ = std::min(slice_, (pieceLength + 63) / 64 * 64);

  // Equal batches, as many for every thread: greedy batches of a full set of lanes
  // left one thread a last round alone, and halving the rest near the end left
  // too few lanes for the vector unit.
  const int64_t perRound = int64_t{threads_} * lanes;
  const int64_t batches = (pieceCount_ + perRound - 1) / perRound * threads_;
  batch_ = std::max<int64_t>(1, (pieceCount_ + batches - 1) / std::max<int64_t>(1, batches));

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

std::optional<size_t> TPieceHasher::ErrorFileOf(int64_t index) {
  std::lock_guard lock(mutex_);
  const auto found = errorFiles_.find(index);
  if (found == errorFiles_.end()) return std::nullopt;
  return found->second;
}

void TPieceHasher::StopAfter(int64_t index) { LowerTo(limit_, index + 1); }

void TPieceHasher::FileDone(size_t file) {
  std::unique_ptr<TSourceFile> done;
  {
    std::lock_guard lock(mutex_);
    const auto found = shared_.find(file);
    if (found == shared_.end()) return;
    done = std::move(found->second);
    shared_.erase(found);
  }
  // Its pieces were read on several threads, possibly long before the
  // caller got here: the size tells whether it changed meanwhile.
  if (done->Size() != start_[file + 1] - start_[file]) throw FileChanged(done->Path());
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
  const int laneCount = sha_.PieceLanes();
  std::vector<TLane> lanes(static_cast<size_t>(laneCount));
  for (auto& lane : lanes) lane.Buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(slice_ + 64));
  for (;;) {
    int64_t first = next_.load();
    int count = 0;
    do {
      const int64_t end = std::min(pieceCount_, limit_.load());
      if (first >= end) return;
      count = static_cast<int>(std::min<int64_t>({batch_, laneCount, end - first}));
    } while (!next_.compare_exchange_weak(first, first + count));
    if (!HashBatch(first, count, lanes)) return;
    Publish(lanes, count);
  }
}

bool TPieceHasher::HashBatch(int64_t first, int count, std::vector<TLane>& lanes) {
  const int64_t total = start_.back();
  for (int j = 0; j < count; ++j) {
    TLane& lane = lanes[static_cast<size_t>(j)];
    lane.Piece = first + j;
    lane.Pos = lane.Piece * pieceLength_;
    lane.End = std::min(total, lane.Pos + pieceLength_);
    // The piece's files: from the first whose bytes reach it to the last that starts in it.
    lane.File = static_cast<size_t>(std::lower_bound(lastPiece_.begin(), lastPiece_.end(), lane.Piece) -
                                    lastPiece_.begin());
    lane.FileEnd = static_cast<size_t>(std::upper_bound(firstPiece_.begin(), firstPiece_.end(), lane.Piece) -
                                       firstPiece_.begin());
    lane.Current = nullptr;
    lane.Own.reset();
    lane.Finished = lane.Failed = false;
    lane.Error.clear();
    TSha1Lanes::Init(lane.State);
  }

  TSha1LaneState states[16];
  const uint8_t* data[16];
  int order[16];
  for (;;) {
    if (first >= limit_.load()) {
      for (int j = 0; j < count; ++j) lanes[static_cast<size_t>(j)].Own.reset();
      return false;
    }
    bool busy = false;
    for (int j = 0; j < count; ++j) {
      TLane& lane = lanes[static_cast<size_t>(j)];
      lane.Filled = 0;
      if (lane.Finished || lane.Failed) continue;
      try {
        FillSlice(lane);
      } catch (const std::exception& e) {
        lane.Failed = true;
        lane.Error = e.what();
        lane.Own.reset();
        lane.Current = nullptr;
        // Later pieces are not needed: the run ends at this one.
        LowerTo(limit_, lane.Piece + 1);
      }
    }
    // Lanes with as many whole blocks go through the digest together.
    int used = 0;
    for (int j = 0; j < count; ++j) {
      const TLane& lane = lanes[static_cast<size_t>(j)];
      if (!lane.Failed && lane.Filled >= 64) order[used++] = j;
    }
    std::sort(order, order + used, [&](int a, int b) {
      return lanes[static_cast<size_t>(a)].Filled / 64 < lanes[static_cast<size_t>(b)].Filled / 64;
    });
    for (int from = 0; from < used;) {
      const int64_t blocks = lanes[static_cast<size_t>(order[from])].Filled / 64;
      int to = from;
      while (to < used && lanes[static_cast<size_t>(order[to])].Filled / 64 == blocks) {
        TLane& lane = lanes[static_cast<size_t>(order[to])];
        states[to - from] = lane.State;
        data[to - from] = lane.Buffer.get();
        ++to;
      }
      sha_.TransformBlocks(states, data, to - from, static_cast<size_t>(blocks));
      for (int k = from; k < to; ++k) lanes[static_cast<size_t>(order[k])].State = states[k - from];
      from = to;
    }
    for (int j = 0; j < count; ++j) {
      TLane& lane = lanes[static_cast<size_t>(j)];
      if (lane.Finished || lane.Failed) continue;
      if (lane.File < lane.FileEnd) {
        busy = true;
        continue;
      }
      // Only the piece's last slice can end off a block boundary.
      const int64_t whole = lane.Filled / 64 * 64;
      sha_.Finish(lane.State, lane.Buffer.get() + whole, static_cast<size_t>(lane.Filled - whole),
                  lane.Digest.data());
      lane.Finished = true;
    }
    if (!busy) return true;
  }
}

void TPieceHasher::FillSlice(TLane& lane) {
  while (lane.File < lane.FileEnd && lane.Filled < slice_) {
    const size_t i = lane.File;
    const int64_t fileStart = start_[i];
    const int64_t fileEnd = start_[i + 1];
    const bool own = firstPiece_[i] == lastPiece_[i];
    if (zeros_[i]) {
      const int64_t from = std::max(lane.Pos, fileStart);
      const int64_t want = std::min(std::min(lane.End, fileEnd) - from, slice_ - lane.Filled);
      std::fill_n(lane.Buffer.get() + lane.Filled, want, uint8_t{0});
      lane.Filled += want;
      lane.Pos += want;
      if (lane.Pos == std::min(lane.End, fileEnd)) ++lane.File;
      continue;
    }
    if (!lane.Current) {
      if (own) {
        lane.Folder.Open(lane.Own, pathOf_(i), fileEnd - fileStart >= (int64_t{1} << 20));
        lane.Current = &*lane.Own;
      } else {
        lane.Current = &SharedFile(i);
      }
      // The torrent records the length gathered before the run; data of any
      // other length would give pieces that disagree with it.
      if (lane.Current->OpenedSize() != fileEnd - fileStart) throw FileChanged(lane.Current->Path());
    }
    const int64_t from = std::max(lane.Pos, fileStart);
    const int64_t to = std::min(lane.End, fileEnd);
    const int64_t want = std::min(to - from, slice_ - lane.Filled);
    if (want > 0) {
      // The read that reaches a file's end asks for one byte more: getting it means the file grew.
      // A file shared with other pieces is checked by FileDone instead.
      // A regular file returns all it has at once, so the usual reply needs no second call.
      const int64_t probe = own && from + want == fileEnd ? 1 : 0;
      const int64_t got =
          lane.Current->ReadAt(lane.Buffer.get() + lane.Filled, want + probe, from - fileStart, want);
      if (got != want) throw FileChanged(lane.Current->Path());
      lane.Filled += want;
      lane.Pos += want;
    }
    if (lane.Pos == to) {
      lane.Own.reset();
      lane.Current = nullptr;
      ++lane.File;
    }
  }
}

TSourceFile& TPieceHasher::SharedFile(size_t file) {
  {
    std::lock_guard lock(mutex_);
    const auto found = shared_.find(file);
    if (found != shared_.end()) return *found->second;
  }
  // Opened outside the lock; should another lane open it meanwhile, the first one in stays.
  auto opened = std::make_unique<TSourceFile>(pathOf_(file), true);
  std::lock_guard lock(mutex_);
  auto& slot = shared_[file];
  if (!slot) slot = std::move(opened);
  return *slot;
}

void TPieceHasher::Publish(std::vector<TLane>& lanes, int count) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    for (int j = 0; j < count; ++j) {
      TLane& lane = lanes[static_cast<size_t>(j)];
      const auto at = static_cast<size_t>(lane.Piece);
      if (lane.Failed) {
        wake = true;
        state_[at] = TPieceState::Failed;
        errors_[lane.Piece] = lane.Error.empty() ? "Hashing failed" : lane.Error;
        errorFiles_[lane.Piece] = lane.File;  // the read that failed stopped there
      } else {
        digests_[at] = lane.Digest;
        state_[at] = TPieceState::Done;
      }
    }
    while (settled_ < pieceCount_ && state_[static_cast<size_t>(settled_)] != TPieceState::Pending)
      ++settled_;
    const int64_t wakeAt = waitingFor_ + std::max<int64_t>(1, WakeBytes / pieceLength_);
    wake = wake || settled_ == pieceCount_ || (settled_ > waitingFor_ && settled_ >= wakeAt);
  }
  if (wake) changed_.notify_all();
}
