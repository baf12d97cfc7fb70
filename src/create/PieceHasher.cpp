#include "create/PieceHasher.h"

#include <algorithm>
#include <cassert>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>

#include <sys/syscall.h>
#include <unistd.h>

#include "base/Stream.h"
#include "base/UniqueFd.h"
#include "create/Progress.h"
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
// The prefetch looks at (and, when not in the page cache, reads) the stream
// in blocks of this size, with requests of PrefetchRequest: the size dd's
// bs=1M makes, which read-ahead turns into the device's largest requests.
constexpr int64_t PrefetchBlock = int64_t{4} << 20;
constexpr int64_t PrefetchRequest = int64_t{1} << 20;
// Files shorter than this are left to the workers: a prefetch of each would
// cost an open more per file, and such files are not read in long runs.
constexpr int64_t PrefetchSmallest = int64_t{1} << 20;
// The workers' batches together span at most this much of the stream when
// the pieces allow, since the prefetch has to run that far ahead of them (in
// the page cache, not in our buffers): two threads of 16 lanes of the largest
// piece length offered. Half of it halved the lanes at 16 MiB and doubled
// the CPU time.
constexpr int64_t LeadBudget = int64_t{512} << 20;

EStreamError FileChanged(const std::string& path) {
  return EStreamError("The file \"" + path + "\" changed while it was being hashed.");
}

void LowerTo(std::atomic<int64_t>& value, int64_t bound) {
  int64_t seen = value.load();
  while (bound < seen && !value.compare_exchange_weak(seen, bound)) {
  }
}

// Whether bytes [offset, offset + length) of a file are all in the page
// cache; false also when the kernel cannot tell (too old, or a file the
// user neither owns nor may write), and then the prefetch reads them.
bool InPageCache(int fd, int64_t offset, int64_t length) {
#ifdef __linux__
  struct {
    uint64_t Offset, Length;
  } range{static_cast<uint64_t>(offset), static_cast<uint64_t>(length)};
  struct {
    uint64_t Cache, Dirty, Writeback, Evicted, RecentlyEvicted;
  } stat{};
  constexpr long CachestatCall = 451;  // the same number on every architecture
  if (::syscall(CachestatCall, fd, &range, &stat, 0) != 0) return false;
  const auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  const uint64_t first = static_cast<uint64_t>(offset) / page;
  const uint64_t last = (static_cast<uint64_t>(offset + length) + page - 1) / page;
  return stat.Cache >= last - first;
#else
  (void)fd, (void)offset, (void)length;
  return false;
#endif
}

}  // namespace

// The folder of the last file a lane opened, kept open: many small files of
// one folder are then opened by their names alone, which saves the look-up
// of every folder above them on each open.
struct TPieceHasher::TFolder {
  std::string Path;
  TUniqueFd Fd;

  // Opens path's file, through the kept folder where it can; unchecked: see TSourceFile::Unchecked.
  void Open(std::optional<TSourceFile>& file, const std::string& path, bool sequential, bool unchecked) {
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
    else if (unchecked)
      file.emplace(TSourceFile::Unchecked(Fd.Get(), path.c_str() + slash + 1, path));
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
  size_t FirstFile = 0;
  size_t FileEnd = 0;
  TSourceFile* Current = nullptr;  // the file being read, if open
  std::optional<TSourceFile> Own;  // a file no other piece reads
  TFolder Folder;
  std::unique_ptr<uint8_t[]> Buffer;
  int64_t Filled = 0;
  TSha1LaneState State{};
  int64_t BatchFirst = 0;  // the first piece of the lane's batch
  int64_t Awaited = -1;    // the stream position the lane waits for the prefetch to pass, if any
  bool Finished = false;
  bool Failed = false;
  std::string Error;
  std::array<uint8_t, 20> Digest{};
  std::vector<TSha256Hash> Leaves;  // V2 and Hybrid plans: the piece's 16 KiB leaves
  TSha256Hash Root{};               // and their reduction, see PieceRoot
};

TPieceHasher::TPieceHasher(std::vector<TByteSource> sources, int64_t pieceLength, int threads, TShaPath path,
                           THashPlan plan)
    : sources_(std::move(sources)), plan_(plan), pieceLength_(pieceLength), sha_(path) {
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
  if (plan_ != THashPlan::V1) {
    constexpr auto leaf = static_cast<int64_t>(TSha256Lanes::LeafSize);
    if (pieceLength < leaf || (pieceLength & (pieceLength - 1)) != 0)
      throw std::invalid_argument("v2 pieces are a power of two of at least 16 KiB");
    for (size_t i = 0; i < count; ++i) {
      const TByteSource& source = sources_[i];
      // A piece then holds one file's leaves, and every slice starts on a leaf.
      if (!source.Zeros && source.Length > 0 && start_[i] % pieceLength != 0)
        throw std::invalid_argument("a v2 file starts off a piece boundary");
    }
    pieceRoots_.resize(static_cast<size_t>(pieceCount_));
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
  assert(plan_ == THashPlan::V1 || slice_ % static_cast<int64_t>(TSha256Lanes::LeafSize) == 0);

  // Equal batches, as many for every thread: greedy batches of a full set of lanes
  // left one thread a last round alone, and halving the rest near the end left
  // too few lanes for the vector unit.
  const int64_t perRound = int64_t{threads_} * lanes;
  const int64_t batches = (pieceCount_ + perRound - 1) / perRound * threads_;
  batch_ = std::max<int64_t>(1, (pieceCount_ + batches - 1) / std::max<int64_t>(1, batches));
  // Large pieces: fewer lanes, so that the prefetch need not run far ahead.
  while (batch_ > 1 && threads_ * batch_ * pieceLength_ > LeadBudget) batch_ = (batch_ + 1) / 2;
  // At least two blocks, so that the block a worker waits for is always in reach.
  lead_ = std::max(threads_ * batch_ * pieceLength_, 2 * PrefetchBlock);

  state_.assign(static_cast<size_t>(pieceCount_), TPieceState::Pending);
  digests_.resize(static_cast<size_t>(pieceCount_));
  limit_ = pieceCount_;
}

TPieceHasher::~TPieceHasher() { Stop(); }

int64_t TPieceHasher::BufferBytes() const { return int64_t{threads_} * sha_.PieceLanes() * (slice_ + 64); }

void TPieceHasher::Stop() {
  StopAfter(-1);
  for (auto& worker : workers_) worker.join();
  workers_.clear();
  if (prefetcher_.joinable()) prefetcher_.join();
}

void TPieceHasher::Start() {
  if (started_) return;
  started_ = true;
  prefetcher_ = std::thread([this] { Prefetch(); });
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

void TPieceHasher::StopAfter(int64_t index) {
  LowerTo(limit_, index + 1);
  // Threads waiting for the prefetch, or for room ahead, look again.
  { std::lock_guard lock(prefetchMutex_); }
  prefetchedChanged_.notify_all();
  roomChanged_.notify_all();
}

void TPieceHasher::FileDone(size_t source) {
  std::unique_ptr<TSourceFile> done;
  {
    std::lock_guard lock(mutex_);
    const auto found = shared_.find(source);
    if (found == shared_.end()) return;
    done = std::move(found->second);
    shared_.erase(found);
  }
  // Its pieces were read on several threads, possibly long before the
  // caller got here: the size tells whether it changed meanwhile.
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
  StopAfter(-1);
  changed_.notify_all();
}

void TPieceHasher::Work() {
  const int laneCount = sha_.PieceLanes();
  std::vector<TLane> lanes(static_cast<size_t>(laneCount));
  for (auto& lane : lanes) {
    lane.Buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(slice_ + 64));
    if (plan_ != THashPlan::V1)
      lane.Leaves.resize(static_cast<size_t>(pieceLength_ / static_cast<int64_t>(TSha256Lanes::LeafSize)));
  }
  for (;;) {
    int64_t first = next_.load();
    int count = 0;
    do {
      const int64_t end = std::min(pieceCount_, limit_.load());
      if (first >= end) return;
      count = static_cast<int>(std::min<int64_t>({batch_, laneCount, end - first}));
    } while (!next_.compare_exchange_weak(first, first + count));
    // The prefetch may now run further ahead.
    { std::lock_guard lock(prefetchMutex_); }
    roomChanged_.notify_one();
    if (!HashBatch(first, count, lanes)) return;
    Publish(lanes, count);
  }
}

bool TPieceHasher::HashBatch(int64_t first, int count, std::vector<TLane>& lanes) {
  const int64_t total = start_.back();
  for (int j = 0; j < count; ++j) {
    TLane& lane = lanes[static_cast<size_t>(j)];
    lane.Piece = first + j;
    lane.BatchFirst = first;
    lane.Pos = lane.Piece * pieceLength_;
    lane.End = std::min(total, lane.Pos + pieceLength_);
    // The piece's files: from the first whose bytes reach it to the last that starts in it.
    lane.File = static_cast<size_t>(std::lower_bound(lastPiece_.begin(), lastPiece_.end(), lane.Piece) -
                                    lastPiece_.begin());
    lane.FirstFile = lane.File;
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
  TSha256LeafBatch leafBatch(sha256_);
  for (;;) {
    if (first >= limit_.load()) {
      for (int j = 0; j < count; ++j) lanes[static_cast<size_t>(j)].Own.reset();
      return false;
    }
    bool busy = false;
    int64_t awaited = -1;  // when no lane could go on: the nearest position one waits for
    bool moved = false;
    for (int j = 0; j < count; ++j) {
      TLane& lane = lanes[static_cast<size_t>(j)];
      lane.Filled = 0;
      lane.Awaited = -1;
      if (lane.Finished || lane.Failed) continue;
      try {
        FillSlice(lane, leafBatch);
      } catch (const std::exception& e) {
        lane.Failed = true;
        lane.Error = e.what();
        lane.Own.reset();
        lane.Current = nullptr;
        // Later pieces are not needed: the run ends at this one.
        LowerTo(limit_, lane.Piece + 1);
      }
      if (lane.Finished) continue;
      if (lane.Awaited < 0)
        moved = true;
      else if (awaited < 0 || lane.Awaited < awaited)
        awaited = lane.Awaited;
    }
    // Before the buffers are filled again.
    leafBatch.Flush();
    if (!moved && awaited >= 0) {
      WaitPrefetched(awaited, first);
      continue;
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
      if (plan_ != THashPlan::V2) sha_.TransformBlocks(states, data, to - from, static_cast<size_t>(blocks));
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
      if (plan_ != THashPlan::V2)
        sha_.Finish(lane.State, lane.Buffer.get() + whole, static_cast<size_t>(lane.Filled - whole),
                    lane.Digest.data());
      if (plan_ != THashPlan::V1) lane.Root = PieceRoot(lane);
      lane.Finished = true;
    }
    if (!busy) return true;
  }
}

void TPieceHasher::FillSlice(TLane& lane, TSha256LeafBatch& leafBatch) {
  while (lane.File < lane.FileEnd && lane.Filled < slice_) {
    const size_t i = lane.File;
    const int64_t fileStart = start_[i];
    const int64_t fileEnd = start_[i + 1];
    const TByteSource& source = sources_[i];
    const bool own = firstPiece_[i] == lastPiece_[i];
    if (source.Zeros) {
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
        // A small whole file is read at once, with the probe past its end
        // that checks its size: no need to look at it first, which saved
        // one system call of four per file of a folder of tiny files.
        const int64_t length = fileEnd - fileStart;
        const bool unchecked =
            length > 0 && length <= slice_ && source.Offset == 0 && source.ExpectedFileSize() == length;
        lane.Folder.Open(lane.Own, source.Path, length >= (int64_t{1} << 20), unchecked);
        lane.Current = &*lane.Own;
      } else {
        lane.Current = &SharedFile(i);
      }
      // The torrent records the length gathered before the run; data of any
      // other length would give pieces that disagree with it.
      if (lane.Current->OpenedSize() >= 0 && lane.Current->OpenedSize() != source.ExpectedFileSize())
        throw FileChanged(lane.Current->Path());
    }
    const int64_t from = std::max(lane.Pos, fileStart);
    const int64_t to = std::min(lane.End, fileEnd);
    const int64_t want = std::min(to - from, slice_ - lane.Filled);
    if (want > 0) {
      // The read that reaches a file's end asks for one byte more: getting it means the file grew.
      // A file shared with other pieces is checked by FileDone instead.
      // A regular file returns all it has at once, so the usual reply needs no second call.
      const int64_t offset = source.Offset + (from - fileStart);
      const int64_t probe = own && offset + want == source.ExpectedFileSize() ? 1 : 0;
      // Bytes the prefetch is bringing in are read once it has them, so
      // that the device sees its walk and not the lanes' many places. A lane
      // with nothing yet this round sits it out while the others go on: the
      // first pieces of a batch are then hashed as they come in, and little
      // is left for after the last byte.
      if (prefetched_.load() < from + want) {
        if (lane.Filled == 0) {
          lane.Awaited = from + want;
          return;
        }
        if (!WaitPrefetched(from + want, lane.BatchFirst)) return;
      }
      const int64_t got = lane.Current->ReadAt(lane.Buffer.get() + lane.Filled, want + probe, offset, want);
      if (got != want) throw FileChanged(lane.Current->Path());
      // The leaves while the slice is still in the cache, in full vectors across the lanes;
      // the slice starts on a leaf.
      if (plan_ != THashPlan::V1)
        leafBatch.Add(lane.Buffer.get() + lane.Filled, static_cast<size_t>(want),
                      reinterpret_cast<uint8_t(*)[32]>(
                          lane.Leaves[static_cast<size_t>((from - lane.Piece * pieceLength_) /
                                                          static_cast<int64_t>(TSha256Lanes::LeafSize))]
                              .data()));
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

// The piece's leaves reduced to the node of the piece layer, or for a file of
// one piece to the file's root; zeros for a piece without a file's data.
TSha256Hash TPieceHasher::PieceRoot(const TLane& lane) const {
  constexpr auto leaf = static_cast<int64_t>(TSha256Lanes::LeafSize);
  for (size_t i = lane.FirstFile; i < lane.FileEnd; ++i) {
    if (sources_[i].Zeros || sources_[i].Length == 0) continue;
    const int64_t pieceStart = lane.Piece * pieceLength_;
    const int64_t bytes = std::min(start_[i + 1], pieceStart + pieceLength_) - pieceStart;
    const auto leaves = static_cast<uint64_t>((bytes + leaf - 1) / leaf);
    const uint64_t width =
        firstPiece_[i] == lastPiece_[i] ? MerkleWidth(leaves) : static_cast<uint64_t>(pieceLength_ / leaf);
    return MerkleReduce(std::span(lane.Leaves.data(), leaves), width, TSha256Hash{}, sha256_);
  }
  return {};
}

TSourceFile& TPieceHasher::SharedFile(size_t file) {
  {
    std::lock_guard lock(mutex_);
    const auto found = shared_.find(file);
    if (found != shared_.end()) return *found->second;
  }
  // Opened outside the lock; should another lane open it meanwhile, the first one in stays.
  auto opened = std::make_unique<TSourceFile>(sources_[file].Path, true);
  // The prefetch reads a file this long in order; read-ahead on this
  // handle, which the lanes read in many places, would only add requests.
  if (sources_[file].Length >= PrefetchSmallest) opened->AdviseRandom();
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
        if (plan_ != THashPlan::V1) pieceRoots_[at] = lane.Root;
        state_[at] = TPieceState::Done;
      }
    }
    while (settled_ < pieceCount_ && state_[static_cast<size_t>(settled_)] != TPieceState::Pending)
      ++settled_;
    const int64_t wakeAt = waitingFor_ + std::max<int64_t>(1, WakeBytes / pieceLength_);
    // Past the limit nothing more comes: the caller must not wait out its time.
    wake = wake || settled_ >= std::min(pieceCount_, limit_.load()) ||
           (settled_ > waitingFor_ && settled_ >= wakeAt);
  }
  if (wake) changed_.notify_all();
}

bool TPieceHasher::WaitPrefetched(int64_t end, int64_t batchFirst) {
  if (prefetched_.load() >= end) return true;
  std::unique_lock lock(prefetchMutex_);
  prefetchedChanged_.wait(lock, [&] { return prefetched_.load() >= end || batchFirst >= limit_.load(); });
  return prefetched_.load() >= end;
}

void TPieceHasher::Prefetched(int64_t end) {
  {
    std::lock_guard lock(prefetchMutex_);
    prefetched_ = end;
  }
  prefetchedChanged_.notify_all();
}

void TPieceHasher::Prefetch() {
  std::unique_ptr<uint8_t[]> scratch;  // made when first needed: cached data needs none
  for (size_t i = 0; i < sources_.size(); ++i) {
    if (!sources_[i].Zeros && sources_[i].Length >= PrefetchSmallest) PrefetchFile(i, scratch);
    if (limit_.load() * pieceLength_ <= start_[i + 1]) break;
    Prefetched(start_[i + 1]);
  }
  // Whatever ended the walk, no worker waits for it any more.
  Prefetched(start_.back());
}

// Reads source i block by block into the page cache, at most lead_ bytes
// ahead of the batches taken. Failures are left for the workers to meet and
// report: the prefetch only moves on.
void TPieceHasher::PrefetchFile(size_t i, std::unique_ptr<uint8_t[]>& scratch) {
  const TByteSource& source = sources_[i];
  try {
    const TSourceFile file(source.Path, true);
    // A file already in the page cache is not read again. One that is not
    // is read whole, also where parts of it are there: skipping them would
    // break the sequence that read-ahead follows.
    const bool cached = InPageCache(file.Fd(), source.Offset, source.Length);
    for (int64_t at = 0; at < source.Length;) {
      const int64_t block = std::min(source.Length - at, PrefetchBlock);
      const int64_t blockEnd = start_[i] + at + block;
      {
        std::unique_lock lock(prefetchMutex_);
        roomChanged_.wait(lock, [&] {
          return blockEnd <= next_.load() * pieceLength_ + lead_ ||
                 start_[i] + at >= limit_.load() * pieceLength_;
        });
      }
      if (start_[i] + at >= limit_.load() * pieceLength_) return;
      if (!cached) {
        if (!scratch)
          scratch = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(PrefetchRequest));
        for (int64_t part = 0; part < block; part += PrefetchRequest) {
          const int64_t want = std::min(block - part, PrefetchRequest);
          if (file.ReadAt(scratch.get(), want, source.Offset + at + part) != want) return;
        }
      }
      at += block;
      Prefetched(start_[i] + at);
    }
  } catch (const std::exception&) {
  }
}

TMerkleFileHashes TPieceHasher::FileHashes(size_t source) const {
  assert(plan_ != THashPlan::V1);
  const TByteSource& file = sources_[source];
  if (file.Zeros || file.Length == 0) return {};
  TMerkleFileHashes hashes;
  const auto first = static_cast<size_t>(firstPiece_[source]);
  const auto last = static_cast<size_t>(lastPiece_[source]);
  if (first == last) {
    hashes.Root = pieceRoots_[first];
    return hashes;
  }
  hashes.PieceLayer.assign(pieceRoots_.begin() + static_cast<std::ptrdiff_t>(first),
                           pieceRoots_.begin() + static_cast<std::ptrdiff_t>(last) + 1);
  hashes.Root = MerkleReduce(hashes.PieceLayer, MerkleWidth(hashes.PieceLayer.size()),
                             MerklePadPieceRoot(static_cast<uint64_t>(pieceLength_), sha256_), sha256_);
  return hashes;
}

TPieceHasher::TPieceState WaitForPiece(TPieceHasher& hasher, int64_t index, TProgress& progress) {
  TPieceHasher::TPieceState state;
  while ((state = hasher.WaitFor(index, std::chrono::milliseconds(10))) ==
         TPieceHasher::TPieceState::Pending) {
    progress.ProcessEventsWhileWaiting();
    if (progress.IsAborted()) hasher.StopAfter(index);
  }
  return state;
}
