#include "digest/Sha1Lanes.h"

#include <cpuid.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

#include "digest/Sha1Kernels.h"
#include "digest/Sha1ShaNi.h"

namespace {

// Best first.
constexpr TShaPath PathsByPreference[] = {TShaPath::Avx512, TShaPath::Avx2, TShaPath::ShaNi,
                                          TShaPath::Portable};

struct TCpuFeatures {
  bool ShaNi = false;
  bool Avx2 = false;
  bool Avx512 = false;
};

// The register state the OS saves on a context switch (XCR0); without it the wide registers
// must not be used even when cpuid lists the instructions.
uint64_t OsSavedState() {
  uint32_t low = 0, high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (uint64_t(high) << 32) | low;
}

TCpuFeatures DetectCpuFeatures() {
  TCpuFeatures f;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return f;
  const bool ssse3 = ecx & (1u << 9);
  const bool sse41 = ecx & (1u << 19);
  const bool osxsave = ecx & (1u << 27);
  const bool avx = ecx & (1u << 28);
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return f;
  f.ShaNi = ssse3 && sse41 && (ebx & (1u << 29));
  if (!osxsave || !avx) return f;
  const uint64_t xcr0 = OsSavedState();
  const bool ymmState = (xcr0 & 0x6) == 0x6;    // SSE and AVX state
  const bool zmmState = (xcr0 & 0xE6) == 0xE6;  // and opmask, upper zmm halves, zmm16-31
  f.Avx2 = ymmState && (ebx & (1u << 5));
  const bool avx512f = ebx & (1u << 16), avx512bw = ebx & (1u << 30), avx512vl = ebx & (1u << 31);
  f.Avx512 = f.Avx2 && zmmState && avx512f && avx512bw && avx512vl;
  return f;
}

const TCpuFeatures& CpuFeatures() {
  static const TCpuFeatures features = DetectCpuFeatures();
  return features;
}

TShaPath BestAvailable(TShaPath wanted) {
  if (TSha1Lanes::CpuHas(wanted)) return wanted;
  for (TShaPath path : PathsByPreference)
    if (TSha1Lanes::CpuHas(path)) return path;
  return TShaPath::Portable;
}

// Below this many lanes one vector call costs more than single streams. Measured with
// bench_sha1 on an AVX-512 machine: a 16-lane AVX-512 call costs about as much as 5.6 SHA-NI
// blocks or 1.3 portable ones; an 8-lane AVX2 call about as much as 5 SHA-NI blocks or 1.1
// portable ones.
int DefaultMinVectorLanes(TShaPath path, TShaPath single) {
  switch (path) {
    case TShaPath::Avx512:
      return single == TShaPath::ShaNi ? 6 : 2;
    case TShaPath::Avx2:
      return single == TShaPath::ShaNi ? 5 : 2;
    default:
      return 1;
  }
}

}  // namespace

bool TSha1Lanes::CpuHas(TShaPath path) {
  switch (path) {
    case TShaPath::Portable:
      return true;
    case TShaPath::ShaNi:
      return CpuFeatures().ShaNi;
    case TShaPath::Avx2:
      return CpuFeatures().Avx2;
    case TShaPath::Avx512:
      return CpuFeatures().Avx512;
  }
  return false;
}

const char* TSha1Lanes::PathName(TShaPath path) {
  switch (path) {
    case TShaPath::Portable:
      return "portable";
    case TShaPath::ShaNi:
      return "shani";
    case TShaPath::Avx2:
      return "avx2";
    case TShaPath::Avx512:
      return "avx512";
  }
  return "?";
}

TShaPath TSha1Lanes::PathForSetting(const char* setting, std::span<const TShaPath> available) {
  auto has = [&](TShaPath path) {
    return std::find(available.begin(), available.end(), path) != available.end();
  };
  if (setting) {
    for (TShaPath path : PathsByPreference)
      if (std::strcmp(setting, PathName(path)) == 0 && has(path)) return path;
  }
  for (TShaPath path : PathsByPreference)
    if (has(path)) return path;
  return TShaPath::Portable;
}

TShaPath TSha1Lanes::ChosenPath() {
  static const TShaPath chosen = [] {
    std::vector<TShaPath> available;
    for (TShaPath path : PathsByPreference)
      if (CpuHas(path)) available.push_back(path);
    return PathForSetting(std::getenv("QUORVANE_SHA1"), available);
  }();
  return chosen;
}

TSha1Lanes::TSha1Lanes(TShaPath path) : path_(BestAvailable(path)) {
  singlePath_ = path_ != TShaPath::Portable && CpuHas(TShaPath::ShaNi) ? TShaPath::ShaNi : TShaPath::Portable;
  minVectorLanes_ = DefaultMinVectorLanes(path_, singlePath_);
}

int TSha1Lanes::LaneCount() const {
  switch (path_) {
    case TShaPath::Avx512:
      return 16;
    case TShaPath::Avx2:
      return 8;
    default:
      return 1;
  }
}

int TSha1Lanes::PieceLanes() const { return path_ == TShaPath::ShaNi ? 2 : LaneCount(); }

void TSha1Lanes::Init(TSha1LaneState& state) {
  std::memcpy(state.H, Sha1InitialValues, sizeof state.H);
  state.Bytes = 0;
}

void TSha1Lanes::SingleStreamBlocks(TSha1LaneState& state, const uint8_t* data, size_t blocks) const {
  if (blocks == 0) return;
  if (singlePath_ == TShaPath::ShaNi)
    Sha1ShaNiBlocks(state.H, data, int64_t(blocks));
  else
    Sha1PortableBlocks(state.H, data, int64_t(blocks));
  state.Bytes += uint64_t(blocks) * 64;
}

namespace {

// One vector call over `lanes` <= Width messages; the unused lanes hash lane 0's data again
// into a scratch state, so they read nothing outside the caller's blocks.
template <int Width, void (*Kernel)(uint32_t (*)[Width], const uint8_t* const*, size_t)>
void VectorBlocks(TSha1LaneState* states, const uint8_t* const* data, int lanes, size_t blocks) {
  alignas(64) uint32_t h[5][Width];
  const uint8_t* pointers[Width];
  for (int lane = 0; lane < Width; ++lane) {
    const int from = lane < lanes ? lane : 0;
    for (int j = 0; j < 5; ++j) h[j][lane] = states[from].H[j];
    pointers[lane] = data[from];
  }
  Kernel(h, pointers, blocks);
  for (int lane = 0; lane < lanes; ++lane) {
    for (int j = 0; j < 5; ++j) states[lane].H[j] = h[j][lane];
    states[lane].Bytes += uint64_t(blocks) * 64;
  }
}

}  // namespace

void TSha1Lanes::TransformBlocks(TSha1LaneState* states, const uint8_t* const* data, int lanes,
                                 size_t blocks) const {
  if (blocks == 0) return;
  const int width = LaneCount();
  // Single streams take every lane in one go, so that SHA-NI can pair them.
  const int step = width == 1 ? lanes : width;
  for (int first = 0; first < lanes; first += step) {
    const int count = std::min(step, lanes - first);
    if (count < minVectorLanes_ || width == 1) {
      int lane = first;
      // SHA-NI streams go in pairs.
      for (; singlePath_ == TShaPath::ShaNi && lane + 1 < first + count; lane += 2) {
        Sha1ShaNiBlocks2(states[lane].H, states[lane + 1].H, data[lane], data[lane + 1], int64_t(blocks));
        states[lane].Bytes += uint64_t(blocks) * 64;
        states[lane + 1].Bytes += uint64_t(blocks) * 64;
      }
      for (; lane < first + count; ++lane) SingleStreamBlocks(states[lane], data[lane], blocks);
    } else if (path_ == TShaPath::Avx512) {
      VectorBlocks<16, Sha1Avx512Blocks>(states + first, data + first, count, blocks);
    } else {
      VectorBlocks<8, Sha1Avx2Blocks>(states + first, data + first, count, blocks);
    }
  }
}

void TSha1Lanes::Finish(TSha1LaneState& state, const uint8_t* tail, size_t tailLen, uint8_t* digest20) const {
  const size_t whole = tailLen / 64;
  SingleStreamBlocks(state, tail, whole);
  const size_t rest = tailLen % 64;
  // The length in bits counts modulo 2^64, as SHA-1 defines it.
  const uint64_t bits = (state.Bytes + rest) * 8;

  uint8_t block[128] = {};
  if (rest > 0) std::memcpy(block, tail + 64 * whole, rest);
  block[rest] = 0x80;
  const size_t padded = rest < 56 ? 64 : 128;
  for (int i = 0; i < 8; ++i) block[padded - 1 - i] = uint8_t(bits >> (8 * i));
  SingleStreamBlocks(state, block, padded / 64);

  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 4; ++i) digest20[4 * j + i] = uint8_t(state.H[j] >> (24 - 8 * i));
}

void TSha1Lanes::HashMessages(std::span<const std::string_view> messages, uint8_t (*digests)[20]) const {
  // Longest first, and each lane takes the next message as soon as its own is done, so the
  // lanes stay busy when the lengths differ.
  std::vector<size_t> order(messages.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t x, size_t y) { return messages[x].size() > messages[y].size(); });

  const int width = LaneCount();
  std::vector<TSha1LaneState> states(width);
  std::vector<size_t> laneMessage(width), laneOffset(width);
  std::vector<const uint8_t*> pointers(width);
  size_t next = 0;
  int active = 0;
  for (;;) {
    while (active < width && next < order.size()) {
      Init(states[active]);
      laneMessage[active] = order[next++];
      laneOffset[active] = 0;
      ++active;
    }
    if (active == 0) break;

    // Lanes without a whole block left finish now, and give their place to the last lane.
    bool retired = false;
    for (int lane = 0; lane < active;) {
      const std::string_view message = messages[laneMessage[lane]];
      const size_t left = message.size() - laneOffset[lane];
      if (left >= 64) {
        ++lane;
        continue;
      }
      Finish(states[lane], reinterpret_cast<const uint8_t*>(message.data()) + laneOffset[lane], left,
             digests[laneMessage[lane]]);
      --active;
      states[lane] = states[active];
      laneMessage[lane] = laneMessage[active];
      laneOffset[lane] = laneOffset[active];
      retired = true;
    }
    if (retired) continue;

    size_t blocks = SIZE_MAX;
    for (int lane = 0; lane < active; ++lane) {
      const std::string_view message = messages[laneMessage[lane]];
      blocks = std::min(blocks, (message.size() - laneOffset[lane]) / 64);
      pointers[lane] = reinterpret_cast<const uint8_t*>(message.data()) + laneOffset[lane];
    }
    TransformBlocks(states.data(), pointers.data(), active, blocks);
    for (int lane = 0; lane < active; ++lane) laneOffset[lane] += 64 * blocks;
  }
}
