#pragma once
// The SHA-1 pieces of a stream of byte sources, hashed on worker threads.
// The stream is read in order, one reader at a time, in large requests, so
// that the kernel's read-ahead sees one sequential walk; each worker hashes
// the pieces it read in SHA-1 lanes while the next worker reads. The caller
// collects the results in piece order; every call below but the workers'
// own happens on it.

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
#include "create/SourceFile.h"
#include "digest/Sha1Lanes.h"

class TPieceHasher {
 public:
  enum class TPieceState : uint8_t { Pending, Done, Failed };

  // sources: the stream, in order. threads: worker threads (0: one per core).
  TPieceHasher(std::vector<TByteSource> sources, int64_t pieceLength, int threads,
               TSha1Path path = TSha1Lanes::ChosenPath());
  // Stops the workers at their next read and waits for them.
  ~TPieceHasher();
  TPieceHasher(const TPieceHasher&) = delete;
  TPieceHasher& operator=(const TPieceHasher&) = delete;

  // Pieces of the stream: none for no sources, one (of no data) when every source is empty.
  int64_t PieceCount() const { return pieceCount_; }
  // Bytes of buffer all workers together hold at most.
  int64_t BufferBytes() const { return int64_t{threads_} * (chunkBytes_ + BufferSlack); }
  int Threads() const { return threads_; }

  // Starts the workers; WaitFor starts them too if this was not called.
  void Start();
  // Waits at most `limit` for piece index.
  TPieceState WaitFor(int64_t index, std::chrono::milliseconds limit);
  const std::array<uint8_t, 20>& Digest(int64_t index) const { return digests_[static_cast<size_t>(index)]; }
  // Why piece index failed (a file that cannot be read or changed).
  std::string ErrorOf(int64_t index);
  // Pieces after index are no longer wanted: the workers stop at their next read.
  void StopAfter(int64_t index);
  // Index of the last piece holding bytes of source i; for an empty one, the piece that opens it.
  int64_t LastPieceOf(size_t source) const { return lastPiece_[source]; }
  // Called once every piece up to LastPieceOf(source) was collected: a file read
  // for several pieces is checked for a change of size once more, then closed.
  void FileDone(size_t source);

 private:
  // Room past a chunk for the one-byte probe at a file's end.
  static constexpr int64_t BufferSlack = 64;
  struct TFolder;
  struct TReadFailure;
  void Work();
  void ReadRange(int64_t from, int64_t to, uint8_t* buffer);
  void ReadSource(size_t source, int64_t from, int64_t to, uint8_t* out);
  void HashLongPiece(int64_t piece, uint8_t* buffer);
  TSourceFile& Open(size_t source);
  void Publish(int64_t first, int64_t done, int64_t failed, const std::string& why);
  void Stop();
  void FailPending(const std::string& why);

  std::vector<TByteSource> sources_;
  std::vector<int64_t> start_;      // stream offset of each source, and the total at the end
  std::vector<int64_t> lastPiece_;  // see LastPieceOf
  std::vector<int64_t> firstPiece_;
  int64_t pieceLength_;
  int64_t pieceCount_ = 0;
  int threads_;
  TSha1Lanes sha_;
  // Pieces a worker reads at once, and their bytes; 0 pieces: a piece longer
  // than a worker's buffer, read and hashed in parts of chunkBytes_.
  int64_t chunkPieces_ = 1;
  int64_t chunkBytes_ = 0;

  // One reader at a time, in stream order: held for a whole chunk's reads.
  std::mutex readMutex_;
  // Guarded by readMutex_: the walk's position.
  int64_t nextPiece_ = 0;  // first piece not yet taken
  size_t readSource_ = 0;  // the source the walk is in
  TSourceFile* readFile_ = nullptr;
  std::optional<TSourceFile> ownFile_;  // a file of one piece, closed once read
  std::unique_ptr<TFolder> folder_;
  bool readEnded_ = false;  // a failure or a stop left the walk; nothing more is read

  std::mutex mutex_;  // guards state_, errors_, shared_, waitingFor_, settled_
  std::condition_variable changed_;
  std::vector<TPieceState> state_;
  std::vector<std::array<uint8_t, 20>> digests_;
  std::unordered_map<int64_t, std::string> errors_;
  int64_t waitingFor_ = 0;  // the piece the caller waits for
  int64_t settled_ = 0;     // pieces before this one are done or failed
  // Files read for more than one piece, open until FileDone.
  std::unordered_map<size_t, std::unique_ptr<TSourceFile>> shared_;

  std::atomic<int64_t> limit_{0};  // pieces from here on are not wanted
  std::vector<std::thread> workers_;
  bool started_ = false;
};
