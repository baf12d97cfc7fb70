#pragma once
// A stream of byte sources hashed by a plan (SHA-1 pieces, v2 merkle leaves,
// or both from one read) on worker threads, each thread taking several
// pieces at once in SHA-1 lanes, slice by slice.
// So that a disk sees one sequential walk in large requests (which its
// read-ahead then makes larger still), a prefetch thread reads the stream
// ahead of the workers in file order, and the workers read what it brought
// into the page cache; data already there is not read twice. The caller
// collects the results in piece order; every call below but the
// constructor's work happens on it.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "create/ByteSource.h"
#include "digest/Merkle.h"
#include "digest/Sha1Lanes.h"
#include "digest/Sha256Lanes.h"

// What a run computes from the one read of the stream.
enum class THashPlan {
  V1,      // SHA-1 of each piece of the stream, zeros included
  V2,      // per file, SHA-256 of each 16 KiB block: its merkle root and piece layer
  Hybrid,  // both
};

class TProgress;
class TSourceFile;

class TPieceHasher {
 public:
  enum class TPieceState : uint8_t { Pending, Done, Failed };

  // sources: the stream, in order. threads: hashing threads (0: one per core).
  // The V2 and Hybrid plans want each file that holds data on a piece
  // boundary (zeros in between, as pad files give) and a piece length that is
  // a power of two of at least 16 KiB: std::invalid_argument otherwise.
  TPieceHasher(std::vector<TByteSource> sources, int64_t pieceLength, int threads,
               TShaPath path = TSha1Lanes::ChosenPath(), THashPlan plan = THashPlan::V1);
  // Stops the threads at their next slice and waits for them.
  ~TPieceHasher();
  TPieceHasher(const TPieceHasher&) = delete;
  TPieceHasher& operator=(const TPieceHasher&) = delete;

  // Pieces of the stream: none for no sources, one (of no data) when every source is empty.
  int64_t PieceCount() const { return pieceCount_; }
  int Threads() const { return threads_; }
  // Bytes of read buffer the hashing threads hold together.
  int64_t BufferBytes() const;
  // How far, in bytes, the prefetch may run ahead of the pieces taken by the workers.
  int64_t PrefetchLead() const { return lead_; }

  // Starts the workers; WaitFor starts them too if this was not called.
  void Start();
  // Waits at most `limit` for piece index.
  TPieceState WaitFor(int64_t index, std::chrono::milliseconds limit);
  // The SHA-1 of a piece (V1 and Hybrid plans).
  const std::array<uint8_t, 20>& Digest(int64_t index) const { return digests_[static_cast<size_t>(index)]; }
  // The merkle root and piece layer of a file (V2 and Hybrid plans), once
  // every piece up to LastPieceOf(source) was collected; zeros have none.
  TMerkleFileHashes FileHashes(size_t source) const;
  // Why piece index failed (a file that cannot be read or changed).
  std::string ErrorOf(int64_t index);
  // The file whose read failed piece index; none when no file's did.
  std::optional<size_t> ErrorFileOf(int64_t index);
  // Pieces after index are no longer wanted: workers drop them at their next slice.
  void StopAfter(int64_t index);
  // Index of the last piece holding bytes of source i; for an empty one, the piece that opens it.
  int64_t LastPieceOf(size_t source) const { return lastPiece_[source]; }
  // Called once every piece up to LastPieceOf(source) was collected: a file read by
  // several pieces is checked for a change of size once more, then closed.
  void FileDone(size_t source);

 private:
  struct TFolder;
  struct TLane;
  void Work();
  bool HashBatch(int64_t first, int count, std::vector<TLane>& lanes);
  void FillSlice(TLane& lane, TSha256LeafBatch& leafBatch);
  TSha256Hash PieceRoot(const TLane& lane) const;
  TSourceFile& SharedFile(size_t file);
  void Publish(std::vector<TLane>& lanes, int count);
  void Stop();
  void FailPending(const std::string& why);
  void Prefetch();
  void PrefetchFile(size_t i, std::unique_ptr<uint8_t[]>& scratch);
  bool WaitPrefetched(int64_t end, int64_t batchFirst);
  void Prefetched(int64_t end);

  std::vector<TByteSource> sources_;
  THashPlan plan_;
  TSha256Lanes sha256_;
  // V2 and Hybrid plans: each piece's leaves reduced as the piece is done (a file of one piece
  // to its root), so that a run keeps 32 bytes a piece and not 32 a leaf.
  std::vector<TSha256Hash> pieceRoots_;
  std::vector<int64_t> start_;      // stream offset of each source, and the total at the end
  std::vector<int64_t> lastPiece_;  // see LastPieceOf
  std::vector<int64_t> firstPiece_;
  int64_t pieceLength_;
  int64_t pieceCount_ = 0;
  int threads_;
  TSha1Lanes sha_;
  int64_t slice_ = 0;  // bytes read per lane and round
  int64_t batch_ = 1;  // pieces a worker takes at once
  int64_t lead_ = 0;   // see PrefetchLead

  std::mutex mutex_;  // guards state_, errors_, shared_
  std::condition_variable changed_;
  std::vector<TPieceState> state_;
  std::vector<std::array<uint8_t, 20>> digests_;
  std::unordered_map<int64_t, std::string> errors_;
  std::unordered_map<int64_t, size_t> errorFiles_;
  int64_t waitingFor_ = 0;  // the piece the caller waits for
  int64_t settled_ = 0;     // pieces before this one are done or failed
  // Files read by more than one piece, open until FileDone.
  std::unordered_map<size_t, std::unique_ptr<TSourceFile>> shared_;

  std::atomic<int64_t> next_{0};   // first piece not yet taken by a worker
  std::atomic<int64_t> limit_{0};  // pieces from here on are not wanted

  // Stream bytes before this one were read by the prefetch (or need none).
  std::atomic<int64_t> prefetched_{0};
  std::mutex prefetchMutex_;                   // for the two waits below
  std::condition_variable prefetchedChanged_;  // workers wait for data
  std::condition_variable roomChanged_;        // the prefetch waits for room in its lead
  std::thread prefetcher_;
  std::vector<std::thread> workers_;
  bool started_ = false;
};

// Waits for piece index while progress keeps the front end's events running;
// an abort request stops the pieces after it.
TPieceHasher::TPieceState WaitForPiece(TPieceHasher& hasher, int64_t index, TProgress& progress);
