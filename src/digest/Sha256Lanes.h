#pragma once
// Many SHA-256 messages hashed side by side, for the 16 KiB leaves and the inner nodes of
// BitTorrent v2 merkle trees.
//
// The path is chosen once per process from the CPU's features (as TSha1Lanes detects them), best
// first: AVX-512 (16 lanes), SHA-NI (four interleaved streams), AVX2 (8 lanes), portable. SHA-NI
// ranks above AVX2 because its streams are faster than eight lanes of shifts and adds.
// QUORVANE_SHA256=portable|shani|avx2|avx512 forces a path; a path the CPU lacks, or any other
// value, gets the best one available. The variable also steers TSHA256's choice for single
// messages.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "digest/Sha1Lanes.h"

class TSha256Lanes {
 public:
  static constexpr size_t LeafSize = 16384;

  static TShaPath ChosenPath();  // CPU features + QUORVANE_SHA256, decided once
  // A path the CPU lacks becomes the best one it has; Path() tells which.
  explicit TSha256Lanes(TShaPath path = ChosenPath());
  TShaPath Path() const { return path_; }
  // True when this CPU can run the path.
  static bool CpuHas(TShaPath path);
  // The paths this CPU can run, best first.
  static std::span<const TShaPath> PathsByPreference();
  // The path for a QUORVANE_SHA256 value (null: not set) given the paths a CPU has, best first.
  static TShaPath PathForSetting(const char* setting, std::span<const TShaPath> available);
  // Messages that go through side by side: 16 (AVX-512), 8 (AVX2), 4 (SHA-NI), 1 (portable).
  int LaneCount() const;

  // Below this many messages in a batch, the vector paths hand the batch to the single-stream
  // code (SHA-NI when the CPU has it), which is faster for them.
  int MinVectorLanes() const { return minVectorLanes_; }
  // 1 keeps every batch in the vector unit (tests use it to reach the padding of unused lanes).
  void SetMinVectorLanes(int lanes) { minVectorLanes_ = lanes < 1 ? 1 : lanes; }

  // Digests of count messages of the same length.
  void HashEqualLength(const uint8_t* const* messages, size_t count, size_t length,
                       uint8_t (*digests)[32]) const;
  // Digests of whole messages of any lengths.
  void HashMessages(std::span<const std::string_view> messages, uint8_t (*digests)[32]) const;
  // The SHA-256 of each LeafSize block of data, the short last block as it is:
  // ceil(length / LeafSize) digests.
  void HashLeaves(const uint8_t* data, size_t length, uint8_t (*digests)[32]) const;
  // out[i] = SHA-256(in[2i] || in[2i+1]) for i < pairs.
  void HashPairs(const uint8_t (*in)[32], size_t pairs, uint8_t (*out)[32]) const;

 private:
  // Compresses `blocks` whole blocks of data[i] into states[i] for each i < count (any count).
  void Blocks(uint32_t* const* states, const uint8_t* const* data, size_t count, size_t blocks) const;
  void SingleStreamBlocks(uint32_t* const* states, const uint8_t* const* data, size_t count,
                          size_t blocks) const;

  TShaPath path_;
  bool shaNiStreams_;  // single streams on SHA-NI rather than the portable code
  int minVectorLanes_;
};

// Leaves gathered from many buffers (the v2 engine's lanes each hold a few) and hashed a full
// vector at a time: four leaves per call kept a 16-lane unit on the slower SHA-NI streams.
class TSha256LeafBatch {
 public:
  explicit TSha256LeafBatch(const TSha256Lanes& lanes);
  TSha256LeafBatch(const TSha256LeafBatch&) = delete;
  TSha256LeafBatch& operator=(const TSha256LeafBatch&) = delete;
  ~TSha256LeafBatch() { Flush(); }
  // HashLeaves(data, length, digests), done by the time Flush returns; data must stay until then.
  void Add(const uint8_t* data, size_t length, uint8_t (*digests)[32]);
  void Flush();

 private:
  const TSha256Lanes& lanes_;
  size_t width_;
  size_t count_ = 0;
  const uint8_t* data_[16];
  uint8_t* out_[16];
};
