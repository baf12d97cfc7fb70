#pragma once
// Many SHA-256 messages hashed side by side, for the 16 KiB leaves and the inner nodes of
// BitTorrent v2 merkle trees.
//
// The path is chosen once per process from the CPU's features, by the rules of TSha1Lanes: SHA-NI
// (four interleaved streams), else the portable code. QUORVANE_SHA256=portable|shani|avx2|avx512
// forces a path; a path the CPU lacks (or this build has no kernel for), or any other value, gets
// the best one available. The variable also steers TSHA256's choice for single messages.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "digest/Sha1Lanes.h"

class TSha256Lanes {
 public:
  static constexpr size_t LeafSize = 16384;

  static TSha1Path ChosenPath();  // CPU features + QUORVANE_SHA256, decided once
  explicit TSha256Lanes(TSha1Path path = ChosenPath());
  TSha1Path Path() const { return path_; }
  // True when this CPU can run the path and there is a SHA-256 kernel for it.
  static bool CpuHas(TSha1Path path);
  // Messages that go through side by side (4 for SHA-NI, 1 portable).
  int LaneCount() const;

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
  // Compresses count messages (count <= 4) of `blocks` whole blocks each.
  void Blocks(uint32_t* const* states, const uint8_t* const* data, size_t count, size_t blocks) const;

  TSha1Path path_;
};
