#include "digest/Sha256Lanes.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "digest/Sha256Kernels.h"
#include "digest/Sha256ShaNi.h"

namespace {

// A digest batch: SHA-NI takes four streams at a time (measured against two in bench_sha256).
constexpr size_t MaxBatch = 4;

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

}  // namespace

bool TSha256Lanes::CpuHas(TSha1Path path) {
  return path == TSha1Path::Portable || (path == TSha1Path::ShaNi && TSha1Lanes::CpuHas(path));
}

TSha1Path TSha256Lanes::ChosenPath() {
  static const TSha1Path chosen = [] {
    std::vector<TSha1Path> available;
    for (TSha1Path path : {TSha1Path::ShaNi, TSha1Path::Portable})
      if (CpuHas(path)) available.push_back(path);
    return TSha1Lanes::PathForSetting(std::getenv("QUORVANE_SHA256"), available);
  }();
  return chosen;
}

TSha256Lanes::TSha256Lanes(TSha1Path path) : path_(CpuHas(path) ? path : ChosenPath()) {
  if (!CpuHas(path_)) path_ = TSha1Path::Portable;
}

int TSha256Lanes::LaneCount() const { return path_ == TSha1Path::ShaNi ? int(MaxBatch) : 1; }

void TSha256Lanes::Blocks(uint32_t* const* states, const uint8_t* const* data, size_t count,
                          size_t blocks) const {
  if (blocks == 0) return;
  if (path_ != TSha1Path::ShaNi) {
    for (size_t i = 0; i < count; ++i) Sha256PortableBlocks(states[i], data[i], int64_t(blocks));
    return;
  }
  size_t i = 0;
  for (; i + 4 <= count; i += 4) Sha256ShaNiBlocks4(states + i, data + i, int64_t(blocks));
  for (; i + 2 <= count; i += 2) Sha256ShaNiBlocks2(states + i, data + i, int64_t(blocks));
  for (; i < count; ++i) Sha256ShaNiBlocks(states[i], data[i], int64_t(blocks));
}

void TSha256Lanes::HashEqualLength(const uint8_t* const* messages, size_t count, size_t length,
                                   uint8_t (*digests)[32]) const {
  const size_t wholeBlocks = length / 64;
  for (size_t first = 0; first < count; first += MaxBatch) {
    const size_t n = std::min(MaxBatch, count - first);
    uint32_t h[MaxBatch][8];
    uint32_t* states[MaxBatch];
    const uint8_t* data[MaxBatch];
    uint8_t tails[MaxBatch][128];
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
  // Equal lengths side by side; a run of mixed lengths goes one at a time.
  size_t i = 0;
  while (i < messages.size()) {
    size_t end = i + 1;
    while (end < messages.size() && end - i < MaxBatch && messages[end].size() == messages[i].size()) ++end;
    std::array<const uint8_t*, MaxBatch> data{};
    static const uint8_t empty = 0;
    for (size_t j = i; j < end; ++j)
      data[j - i] = messages[j].empty() ? &empty : reinterpret_cast<const uint8_t*>(messages[j].data());
    HashEqualLength(data.data(), end - i, messages[i].size(), digests + i);
    i = end;
  }
}

void TSha256Lanes::HashLeaves(const uint8_t* data, size_t length, uint8_t (*digests)[32]) const {
  const size_t whole = length / LeafSize;
  std::array<const uint8_t*, MaxBatch> leaves{};
  for (size_t first = 0; first < whole; first += MaxBatch) {
    const size_t n = std::min(MaxBatch, whole - first);
    for (size_t i = 0; i < n; ++i) leaves[i] = data + (first + i) * LeafSize;
    HashEqualLength(leaves.data(), n, LeafSize, digests + first);
  }
  if (length % LeafSize) {
    const uint8_t* last = data + whole * LeafSize;
    HashEqualLength(&last, 1, length % LeafSize, digests + whole);
  }
}

void TSha256Lanes::HashPairs(const uint8_t (*in)[32], size_t pairs, uint8_t (*out)[32]) const {
  std::array<const uint8_t*, MaxBatch> nodes{};
  for (size_t first = 0; first < pairs; first += MaxBatch) {
    const size_t n = std::min(MaxBatch, pairs - first);
    for (size_t i = 0; i < n; ++i) nodes[i] = in[2 * (first + i)];
    HashEqualLength(nodes.data(), n, 64, out + first);
  }
}
