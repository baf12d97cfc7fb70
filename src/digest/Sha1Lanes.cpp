// One message at a time through TSHA1's own block function. The wide paths
// are emulated by looping over their lanes, so callers can be tested with
// every lane count on any machine.
#include "digest/Sha1Lanes.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "digest/MessageDigests.h"

namespace {

// TSHA1 with its chaining values loaded from and stored to a lane's state.
class TStateSha1 : public TSHA1 {
 public:
  explicit TStateSha1(TSHA1Impl impl) : TSHA1(impl) {}
  void Compress(uint32_t* h, const uint8_t* data, size_t blocks) {
    std::memcpy(chainingValues_.get(), h, 20);
    TSHA1::TransformBlocks(data, static_cast<int64_t>(blocks));
    std::memcpy(h, chainingValues_.get(), 20);
  }
};

TSHA1Impl ImplOf(TSha1Path path) {
  return path == TSha1Path::Portable ? TSHA1Impl::Portable : TSHA1Impl::Auto;
}

}  // namespace

TSha1Path TSha1Lanes::ChosenPath() {
  static const TSha1Path chosen = [] {
    const char* forced = std::getenv("QUORVANE_SHA1");
    const std::string name = forced ? forced : "";
    if (name == "portable") return TSha1Path::Portable;
    if (name == "avx2") return TSha1Path::Avx2;
    if (name == "avx512") return TSha1Path::Avx512;
    return TSHA1::CpuHasShaNi() ? TSha1Path::ShaNi : TSha1Path::Portable;
  }();
  return chosen;
}

TSha1Lanes::TSha1Lanes(TSha1Path path) : path_(path) {}

int TSha1Lanes::LaneCount() const {
  switch (path_) {
    case TSha1Path::Avx512:
      return 16;
    case TSha1Path::Avx2:
      return 8;
    default:
      return 1;
  }
}

void TSha1Lanes::Init(TSha1LaneState& state) {
  static constexpr uint32_t initial[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::memcpy(state.H, initial, sizeof initial);
  state.Bytes = 0;
}

void TSha1Lanes::TransformBlocks(TSha1LaneState* states, const uint8_t* const* data, int lanes,
                                 size_t blocks) const {
  if (blocks == 0) return;
  TStateSha1 sha(ImplOf(path_));
  for (int i = 0; i < lanes; ++i) {
    sha.Compress(states[i].H, data[i], blocks);
    states[i].Bytes += 64 * blocks;
  }
}

void TSha1Lanes::Finish(TSha1LaneState& state, const uint8_t* tail, size_t tailLen, uint8_t* digest20) const {
  TStateSha1 sha(ImplOf(path_));
  const size_t whole = tailLen / 64;
  if (whole > 0) sha.Compress(state.H, tail, whole);
  const uint64_t bits = (state.Bytes + tailLen) * 8;
  const size_t rest = tailLen % 64;
  uint8_t last[128] = {};
  if (rest > 0) std::memcpy(last, tail + 64 * whole, rest);
  last[rest] = 0x80;
  const size_t length = rest < 56 ? 64 : 128;
  for (int i = 0; i < 8; ++i) last[length - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
  sha.Compress(state.H, last, length / 64);
  for (int i = 0; i < 20; ++i) digest20[i] = static_cast<uint8_t>(state.H[i / 4] >> (8 * (3 - i % 4)));
  state.Bytes += tailLen;
}

void TSha1Lanes::HashMessages(std::span<const std::string_view> messages, uint8_t (*digests)[20]) const {
  for (size_t i = 0; i < messages.size(); ++i) {
    TSha1LaneState state;
    Init(state);
    Finish(state, reinterpret_cast<const uint8_t*>(messages[i].data()), messages[i].size(), digests[i]);
  }
}
