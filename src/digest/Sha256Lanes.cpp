#include "digest/Sha256Lanes.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

#include "digest/Sha256Kernels.h"
#include "digest/Sha256ShaNi.h"

namespace {

constexpr size_t MaxLanes = 16;

// Best first: see the header for why SHA-NI ranks above AVX2.
constexpr TShaPath Preference[] = {TShaPath::Avx512, TShaPath::ShaNi, TShaPath::Avx2, TShaPath::Portable};

// Below this many lanes a vector call costs more than the single streams. Measured with
// bench_sha256 (Sha256LeafBatch) on 16 KiB leaves, AMD Zen 4, per core: a vector call hashes
// 0.23 GB/s per AVX-512 lane and 0.16 per AVX2 lane, against 3.0 GB/s for four SHA-NI streams
// (2.4 for two, 1.6 for one) and 0.27 for the portable code. AVX2 never beats SHA-NI, so it only
// runs when forced, and then in whole batches.
int DefaultMinVectorLanes(TShaPath path, bool shaNiStreams) {
  if (!shaNiStreams) return 2;
  switch (path) {
    case TShaPath::Avx512:
      return 13;
    case TShaPath::Avx2:
      return 8;
    default:
      return 1;
  }
}

void StoreDigest(const uint32_t* h, uint8_t* out) {
  for (int i = 0; i < 8; ++i) {
    out[4 * i] = uint8_t(h[i] >> 24);
    out[4 * i + 1] = uint8_t(h[i] >> 16);
    out[4 * i + 2] = uint8_t(h[i] >> 8);
    out[4 * i + 3] = uint8_t(h[i]);
  }
}

// The padded last one or two blocks of a message of `length` bytes whose tail is `tail`
// (length % 64 bytes); returns the block count.
size_t PadTail(const uint8_t* tail, size_t length, uint8_t* out) {
  const size_t tailLength = length % 64;
  const size_t blocks = tailLength < 56 ? 1 : 2;
  std::memset(out, 0, 64 * blocks);
  if (tailLength) std::memcpy(out, tail, tailLength);
  out[tailLength] = 0x80;
  const uint64_t bits = uint64_t(length) * 8;
  for (int i = 0; i < 8; ++i) out[64 * blocks - 1 - i] = uint8_t(bits >> (8 * i));
  return blocks;
}

// One vector call over count <= Width messages; the unused lanes hash message 0 again into a
// scratch state, so they read nothing outside the caller's blocks.
template <int Width, void (*Kernel)(uint32_t (*)[Width], const uint8_t* const*, size_t)>
void VectorBlocks(uint32_t* const* states, const uint8_t* const* data, size_t count, size_t blocks) {
  alignas(64) uint32_t h[8][Width];
  const uint8_t* pointers[Width];
  for (size_t lane = 0; lane < size_t(Width); ++lane) {
    const size_t from = lane < count ? lane : 0;
    for (int j = 0; j < 8; ++j) h[j][lane] = states[from][j];
    pointers[lane] = data[from];
  }
  Kernel(h, pointers, blocks);
  for (size_t lane = 0; lane < count; ++lane)
    for (int j = 0; j < 8; ++j) states[lane][j] = h[j][lane];
}

}  // namespace

bool TSha256Lanes::CpuHas(TShaPath path) { return TSha1Lanes::CpuHas(path); }

std::span<const TShaPath> TSha256Lanes::PathsByPreference() {
  static const std::vector<TShaPath> available = [] {
    std::vector<TShaPath> paths;
    for (TShaPath path : Preference)
      if (CpuHas(path)) paths.push_back(path);
    return paths;
  }();
  return available;
}

TShaPath TSha256Lanes::PathForSetting(const char* setting, std::span<const TShaPath> available) {
  for (TShaPath path : available)
    if (setting && std::strcmp(setting, TSha1Lanes::PathName(path)) == 0) return path;
  return available.empty() ? TShaPath::Portable : available.front();
}

TShaPath TSha256Lanes::ChosenPath() {
  static const TShaPath chosen = PathForSetting(std::getenv("QUORVANE_SHA256"), PathsByPreference());
  return chosen;
}

TSha256Lanes::TSha256Lanes(TShaPath path) : path_(CpuHas(path) ? path : PathsByPreference().front()) {
  shaNiStreams_ = path_ != TShaPath::Portable && CpuHas(TShaPath::ShaNi);
  minVectorLanes_ = DefaultMinVectorLanes(path_, shaNiStreams_);
}

int TSha256Lanes::LaneCount() const {
  switch (path_) {
    case TShaPath::Avx512:
      return 16;
    case TShaPath::Avx2:
      return 8;
    case TShaPath::ShaNi:
      return 4;
    default:
      return 1;
  }
}

void TSha256Lanes::SingleStreamBlocks(uint32_t* const* states, const uint8_t* const* data, size_t count,
                                      size_t blocks) const {
  size_t i = 0;
  if (shaNiStreams_) {
    for (; i + 4 <= count; i += 4) Sha256ShaNiBlocks4(states + i, data + i, int64_t(blocks));
    for (; i + 2 <= count; i += 2) Sha256ShaNiBlocks2(states + i, data + i, int64_t(blocks));
    for (; i < count; ++i) Sha256ShaNiBlocks(states[i], data[i], int64_t(blocks));
  } else {
    for (; i < count; ++i) Sha256PortableBlocks(states[i], data[i], int64_t(blocks));
  }
}

void TSha256Lanes::Blocks(uint32_t* const* states, const uint8_t* const* data, size_t count,
                          size_t blocks) const {
  if (blocks == 0 || count == 0) return;
  const size_t width = size_t(LaneCount());
  if (path_ != TShaPath::Avx512 && path_ != TShaPath::Avx2) {
    SingleStreamBlocks(states, data, count, blocks);
    return;
  }
  for (size_t first = 0; first < count; first += width) {
    const size_t n = std::min(width, count - first);
    if (n < size_t(minVectorLanes_))
      SingleStreamBlocks(states + first, data + first, n, blocks);
    else if (path_ == TShaPath::Avx512)
      VectorBlocks<16, Sha256Avx512Blocks>(states + first, data + first, n, blocks);
    else
      VectorBlocks<8, Sha256Avx2Blocks>(states + first, data + first, n, blocks);
  }
}

void TSha256Lanes::HashEqualLength(const uint8_t* const* messages, size_t count, size_t length,
                                   uint8_t (*digests)[32]) const {
  const size_t wholeBlocks = length / 64;
  const size_t width = size_t(LaneCount());
  for (size_t first = 0; first < count; first += width) {
    const size_t n = std::min(width, count - first);
    uint32_t h[MaxLanes][8];
    uint32_t* states[MaxLanes];
    const uint8_t* data[MaxLanes];
    uint8_t tails[MaxLanes][128];
    size_t tailBlocks = 0;
    for (size_t i = 0; i < n; ++i) {
      std::memcpy(h[i], Sha256InitialValues, sizeof h[i]);
      states[i] = h[i];
      data[i] = messages[first + i];
    }
    Blocks(states, data, n, wholeBlocks);
    for (size_t i = 0; i < n; ++i) {
      tailBlocks = PadTail(messages[first + i] + 64 * wholeBlocks, length, tails[i]);
      data[i] = tails[i];
    }
    Blocks(states, data, n, tailBlocks);
    for (size_t i = 0; i < n; ++i) StoreDigest(h[i], digests[first + i]);
  }
}

void TSha256Lanes::HashMessages(std::span<const std::string_view> messages, uint8_t (*digests)[32]) const {
  // Longest first, and each lane takes the next message as soon as its own is done, so the lanes
  // stay busy when the lengths differ. A lane hashes its message's whole blocks, then its padded
  // tail from the lane's own buffer; lanes keep their slot, so those buffers never move.
  std::vector<size_t> order(messages.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t x, size_t y) { return messages[x].size() > messages[y].size(); });

  struct TSlot {
    uint32_t H[8];
    size_t Message;
    const uint8_t* Next;
    size_t Left;        // blocks left in the current part
    size_t TailBlocks;  // blocks of the padded tail, still to come after the message's own
    uint8_t Tail[128];
  };
  const size_t width = size_t(LaneCount());
  std::vector<TSlot> slots(width);
  std::vector<size_t> active, freeSlots(width);
  std::iota(freeSlots.rbegin(), freeSlots.rend(), size_t(0));
  std::vector<uint32_t*> states(width);
  std::vector<const uint8_t*> data(width);
  size_t next = 0;
  for (;;) {
    while (!freeSlots.empty() && next < order.size()) {
      TSlot& slot = slots[freeSlots.back()];
      active.push_back(freeSlots.back());
      freeSlots.pop_back();
      const std::string_view message = messages[order[next]];
      std::memcpy(slot.H, Sha256InitialValues, sizeof slot.H);
      slot.Message = order[next++];
      slot.Next = reinterpret_cast<const uint8_t*>(message.data());
      slot.Left = message.size() / 64;
      slot.TailBlocks = PadTail(slot.Next + 64 * slot.Left, message.size(), slot.Tail);
    }
    if (active.empty()) break;

    // Lanes at the end of their message go on to its tail; lanes done with it give up their slot.
    bool retired = false;
    for (size_t i = 0; i < active.size();) {
      TSlot& slot = slots[active[i]];
      if (slot.Left == 0 && slot.TailBlocks != 0) {
        slot.Next = slot.Tail;
        slot.Left = slot.TailBlocks;
        slot.TailBlocks = 0;
      }
      if (slot.Left != 0) {
        ++i;
        continue;
      }
      StoreDigest(slot.H, digests[slot.Message]);
      freeSlots.push_back(active[i]);
      active[i] = active.back();
      active.pop_back();
      retired = true;
    }
    if (retired && next < order.size()) continue;
    if (active.empty()) continue;

    size_t blocks = SIZE_MAX;
    for (size_t i = 0; i < active.size(); ++i) {
      TSlot& slot = slots[active[i]];
      blocks = std::min(blocks, slot.Left);
      states[i] = slot.H;
      data[i] = slot.Next;
    }
    Blocks(states.data(), data.data(), active.size(), blocks);
    for (size_t index : active) {
      slots[index].Next += 64 * blocks;
      slots[index].Left -= blocks;
    }
  }
}

void TSha256Lanes::HashLeaves(const uint8_t* data, size_t length, uint8_t (*digests)[32]) const {
  TSha256LeafBatch batch(*this);
  batch.Add(data, length, digests);
}

void TSha256Lanes::HashPairs(const uint8_t (*in)[32], size_t pairs, uint8_t (*out)[32]) const {
  std::array<const uint8_t*, MaxLanes> nodes{};
  const size_t width = size_t(LaneCount());
  for (size_t first = 0; first < pairs; first += width) {
    const size_t n = std::min(width, pairs - first);
    for (size_t i = 0; i < n; ++i) nodes[i] = in[2 * (first + i)];
    HashEqualLength(nodes.data(), n, 64, out + first);
  }
}

TSha256LeafBatch::TSha256LeafBatch(const TSha256Lanes& lanes)
    : lanes_(lanes), width_(static_cast<size_t>(lanes.LaneCount())) {}

void TSha256LeafBatch::Add(const uint8_t* data, size_t length, uint8_t (*digests)[32]) {
  const size_t whole = length / TSha256Lanes::LeafSize;
  for (size_t i = 0; i < whole; ++i) {
    data_[count_] = data + i * TSha256Lanes::LeafSize;
    out_[count_] = digests[i];
    if (++count_ == width_) Flush();
  }
  // A short last leaf ends a file: one per file, not worth a lane.
  if (length % TSha256Lanes::LeafSize) {
    const uint8_t* last = data + whole * TSha256Lanes::LeafSize;
    lanes_.HashEqualLength(&last, 1, length % TSha256Lanes::LeafSize, digests + whole);
  }
}

void TSha256LeafBatch::Flush() {
  if (count_ == 0) return;
  uint8_t digests[16][32];
  lanes_.HashEqualLength(data_, count_, TSha256Lanes::LeafSize, digests);
  for (size_t i = 0; i < count_; ++i) std::memcpy(out_[i], digests[i], 32);
  count_ = 0;
}
