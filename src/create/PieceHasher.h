#pragma once
// The pieces of a file list hashed on worker threads, each thread hashing
// several pieces at once in SHA-1 lanes. The caller collects the results in
// piece order; every call below but the constructor's work happens on it.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "digest/Sha1Lanes.h"

class TSourceFile;

class TPieceHasher {
 public:
  enum class TPieceState : uint8_t { Pending, Done, Failed };

  // lengths: the files' recorded sizes, in stream order; pathOf(i): where file i is.
  // threads: worker threads (0: one per core). zeros[i] (when given): file i is
  // that many zero bytes, made in memory instead of read (padding).
  TPieceHasher(std::vector<int64_t> lengths, std::function<std::string(size_t)> pathOf, int64_t pieceLength,
               int threads, TSha1Path path = TSha1Lanes::ChosenPath(), std::vector<bool> zeros = {});
  // Stops the workers at their next slice and waits for them.
  ~TPieceHasher();
  TPieceHasher(const TPieceHasher&) = delete;
  TPieceHasher& operator=(const TPieceHasher&) = delete;

  // Pieces of the stream: none for no files, one (of no data) when every file is empty.
  int64_t PieceCount() const { return pieceCount_; }

  // Starts the workers; WaitFor starts them too if this was not called.
  void Start();
  // Waits at most `limit` for piece index.
  TPieceState WaitFor(int64_t index, std::chrono::milliseconds limit);
  const std::array<uint8_t, 20>& Digest(int64_t index) const { return digests_[static_cast<size_t>(index)]; }
  // Why piece index failed (a file that cannot be read or changed).
  std::string ErrorOf(int64_t index);
  // The file whose read failed piece index; none when no file's did.
  std::optional<size_t> ErrorFileOf(int64_t index);
  // Pieces after index are no longer wanted: workers drop them at their next slice.
  void StopAfter(int64_t index);
  // Index of the last piece holding bytes of file i; for an empty file, the piece that opens it.
  int64_t LastPieceOf(size_t file) const { return lastPiece_[file]; }
  // Called once every piece up to LastPieceOf(file) was collected: a file read by
  // several pieces is checked for a change of size once more, then closed.
  void FileDone(size_t file);

 private:
  struct TFolder;
  struct TLane;
  void Work();
  bool HashBatch(int64_t first, int count, std::vector<TLane>& lanes);
  void FillSlice(TLane& lane);
  TSourceFile& SharedFile(size_t file);
  void Publish(std::vector<TLane>& lanes, int count);
  void Stop();
  void FailPending(const std::string& why);

  std::vector<int64_t> start_;      // stream offset of each file, and the total at the end
  std::vector<int64_t> lastPiece_;  // see LastPieceOf
  std::vector<int64_t> firstPiece_;
  std::function<std::string(size_t)> pathOf_;
  std::vector<bool> zeros_;
  int64_t pieceLength_;
  int64_t pieceCount_ = 0;
  int threads_;
  TSha1Lanes sha_;
  int64_t slice_ = 0;  // bytes read per lane and round
  int64_t batch_ = 1;  // pieces a worker takes at once

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
  std::vector<std::thread> workers_;
  bool started_ = false;
};
