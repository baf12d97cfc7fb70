#pragma once
// Several SHA-1 messages hashed side by side in vector lanes, for hashing many pieces at once.
//
// The path is chosen once per process from the CPU's features (cpuid, and xgetbv for the OS
// saving the ymm/zmm state): AVX-512 (F, BW, VL; 16 lanes), else AVX2 (8 lanes), else SHA-NI,
// else the portable code. The environment variable QUORVANE_SHA1=portable|shani|avx2|avx512
// forces a path, so tests and benchmarks can compare them all on one machine; forcing a path
// the CPU lacks, or any other value, gets the best path the CPU has. The variable also steers
// TSHA1's automatic choice for single messages: "portable" keeps it on the portable code.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The code a SHA-1 or SHA-256 run takes on this CPU.
enum class TShaPath { Portable, ShaNi, Avx2, Avx512 };

struct TSha1LaneState {  // one message's running state
  uint32_t H[5];
  uint64_t Bytes;  // bytes compressed so far (whole blocks only)
};

// Several independent SHA-1 messages compressed side by side in vector lanes.
class TSha1Lanes {
 public:
  static TShaPath ChosenPath();  // CPU features + QUORVANE_SHA1, decided once
  // A path the CPU lacks becomes the best one it has; Path() tells which.
  explicit TSha1Lanes(TShaPath path = ChosenPath());
  TShaPath Path() const { return path_; }
  int LaneCount() const;  // 16 (Avx512), 8 (Avx2), 1 (ShaNi, Portable)
  // Messages worth hashing side by side through TransformBlocks: LaneCount(), but
  // 2 for SHA-NI, whose streams go through in interleaved pairs.
  int PieceLanes() const;
  static void Init(TSha1LaneState& state);
  // Compresses `blocks` whole 64-byte blocks of data[i] into states[i] for every i < lanes.
  // lanes may be anything from 1 up (more than LaneCount() are taken LaneCount() at a time); unused
  // vector lanes are padded internally, and fewer than MinVectorLanes() lanes go to the
  // single-stream path, which is faster for them.
  void TransformBlocks(TSha1LaneState* states, const uint8_t* const* data, int lanes, size_t blocks) const;
  // Finishes one message: tail is every byte not yet compressed (any length, whole blocks
  // in it are compressed with the best single-stream path), then the padding; 20 bytes out.
  // The state is spent afterwards.
  void Finish(TSha1LaneState& state, const uint8_t* tail, size_t tailLen, uint8_t* digest20) const;
  // Digests of whole messages in memory, of any lengths, batched LaneCount() at a time.
  void HashMessages(std::span<const std::string_view> messages, uint8_t (*digests)[20]) const;

  // The single-stream path this object uses for tails and for too few lanes.
  TShaPath SingleStreamPath() const { return singlePath_; }
  int MinVectorLanes() const { return minVectorLanes_; }
  // 1 keeps every call with lanes in the vector unit (tests use it to reach the padding).
  void SetMinVectorLanes(int lanes) { minVectorLanes_ = lanes < 1 ? 1 : lanes; }

  // True when this CPU and its OS can run the path.
  static bool CpuHas(TShaPath path);
  // The path for a QUORVANE_SHA1 value (null: not set) given the paths the CPU has.
  static TShaPath PathForSetting(const char* setting, std::span<const TShaPath> available);
  // "portable", "shani", "avx2", "avx512": the variable's spelling of each path.
  static const char* PathName(TShaPath path);

 private:
  void SingleStreamBlocks(TSha1LaneState& state, const uint8_t* data, size_t blocks) const;

  TShaPath path_;
  TShaPath singlePath_;
  int minVectorLanes_;
};
