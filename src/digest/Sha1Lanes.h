#pragma once
// Several independent SHA-1 messages compressed side by side, so that one core
// can hash many pieces at once.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

enum class TSha1Path { Portable, ShaNi, Avx2, Avx512 };

struct TSha1LaneState {  // one message's running state
  uint32_t H[5];
  uint64_t Bytes;  // bytes compressed so far (whole blocks only)
};

// Several independent SHA-1 messages compressed side by side in vector lanes.
class TSha1Lanes {
 public:
  // CPU features + QUORVANE_SHA1 env var, decided once.
  static TSha1Path ChosenPath();
  explicit TSha1Lanes(TSha1Path path = ChosenPath());
  TSha1Path Path() const { return path_; }
  // 16 (Avx512), 8 (Avx2), 1 (ShaNi, Portable).
  int LaneCount() const;
  static void Init(TSha1LaneState& state);
  // Compresses `blocks` whole 64-byte blocks of data[i] into states[i] for every i < lanes (1..LaneCount()).
  void TransformBlocks(TSha1LaneState* states, const uint8_t* const* data, int lanes, size_t blocks) const;
  // Finishes one message: tail is every byte not yet compressed (any length), then the padding; 20 bytes out.
  void Finish(TSha1LaneState& state, const uint8_t* tail, size_t tailLen, uint8_t* digest20) const;
  // Digests of whole messages in memory, of any lengths, batched LaneCount() at a time.
  void HashMessages(std::span<const std::string_view> messages, uint8_t (*digests)[20]) const;

 private:
  TSha1Path path_;
};
