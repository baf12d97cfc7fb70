// SHA-256 throughput for BitTorrent v2 merkle trees, per core, on each path: 16 KiB leaves
// (HashLeaves over 4 MiB, the v2 workload), long messages (16 of 256 KiB through HashMessages),
// batches of 1 to 16 leaves with every batch in the vector lanes (where a vector call starts to
// pay against SHA-NI streams: TSha256Lanes' batch threshold), 64-byte inner nodes (HashPairs), one
// 4 MiB message through TSHA256, and the SHA-NI kernel one, two and four streams wide.
// Compare with: openssl speed -evp sha256 -bytes 16384
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../tests/digest/TestMessages.h"
#include "digest/MessageDigests.h"
#include "digest/Sha256Kernels.h"
#include "digest/Sha256Lanes.h"
#include "digest/Sha256ShaNi.h"

namespace {

constexpr size_t BufferSize = 4 << 20;

std::string Data(size_t size) { return XorshiftMessage(size); }

bool Skip(benchmark::State& state, TShaPath path) {
  if (TSha256Lanes::CpuHas(path)) return false;
  state.SkipWithError((std::string("no SHA-256 ") + TSha1Lanes::PathName(path) + " path here").c_str());
  return true;
}

void Sha256Message(benchmark::State& state, TSHA256Impl impl) {
  if (impl == TSHA256Impl::ShaNi && Skip(state, TShaPath::ShaNi)) return;
  const std::string message = Data(BufferSize);
  TSHA256 sha(impl);
  for (auto _ : state) {
    sha.Initialize();
    sha.TransformString(message);
    sha.Complete();
    benchmark::DoNotOptimize(sha.Digest());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(message.size()));
}

void Sha256Leaves(benchmark::State& state, TShaPath path) {
  if (Skip(state, path)) return;
  const std::string data = Data(BufferSize);
  const auto digests = std::make_unique<uint8_t[][32]>(BufferSize / TSha256Lanes::LeafSize);
  const TSha256Lanes lanes(path);
  for (auto _ : state) {
    lanes.HashLeaves(reinterpret_cast<const uint8_t*>(data.data()), data.size(), digests.get());
    benchmark::DoNotOptimize(digests.get());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
  state.SetLabel(std::to_string(lanes.LaneCount()) + " lanes");
}

// 16 messages of 256 KiB, each with its own content.
void Sha256LongMessages(benchmark::State& state, TShaPath path) {
  if (Skip(state, path)) return;
  std::vector<std::string> messages;
  for (unsigned i = 0; i < 16; ++i) messages.push_back(XorshiftMessage(BufferSize / 16, i));
  const std::vector<std::string_view> views(messages.begin(), messages.end());
  uint8_t digests[16][32];
  const TSha256Lanes lanes(path);
  for (auto _ : state) {
    lanes.HashMessages(views, digests);
    benchmark::DoNotOptimize(digests);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(BufferSize));
}

// Batches of state.range(0) leaves, every batch through the path's own kernel.
void Sha256LeafBatch(benchmark::State& state, TShaPath path) {
  if (Skip(state, path)) return;
  const size_t batch = size_t(state.range(0));
  const size_t leaf = TSha256Lanes::LeafSize;
  const std::string data = Data(BufferSize);
  std::vector<const uint8_t*> leaves;
  for (size_t i = 0; i < batch; ++i)
    leaves.push_back(reinterpret_cast<const uint8_t*>(data.data()) + i * leaf);
  uint8_t digests[16][32];
  TSha256Lanes lanes(path);
  lanes.SetMinVectorLanes(1);
  const size_t rounds = BufferSize / leaf / batch;
  for (auto _ : state) {
    for (size_t round = 0; round < rounds; ++round)
      lanes.HashEqualLength(leaves.data(), batch, leaf, digests);
    benchmark::DoNotOptimize(digests);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(rounds * batch * leaf));
}

// 64 Ki pairs: a layer of 128 Ki nodes (a 2 GiB file's leaves, 4 MiB of hashes).
void Sha256Pairs(benchmark::State& state, TShaPath path) {
  if (Skip(state, path)) return;
  const size_t pairs = 64 << 10;
  const std::string nodes = Data(64 * pairs);
  const auto out = std::make_unique<uint8_t[][32]>(pairs);
  const TSha256Lanes lanes(path);
  for (auto _ : state) {
    lanes.HashPairs(reinterpret_cast<const uint8_t(*)[32]>(nodes.data()), pairs, out.get());
    benchmark::DoNotOptimize(out.get());
  }
  // Bytes of node input (64 per pair), as the leaves count their input.
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(nodes.size()));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pairs));
}

// The SHA-NI kernel over 16 KiB blocks, `width` streams interleaved: chose four for the lanes.
void Sha256ShaNiWidth(benchmark::State& state) {
  if (Skip(state, TShaPath::ShaNi)) return;
  const int width = int(state.range(0));
  const std::string data = Data(BufferSize);
  const size_t leaf = TSha256Lanes::LeafSize;
  uint32_t h[4][8];
  for (auto _ : state) {
    for (size_t first = 0; first < BufferSize / leaf; first += size_t(width)) {
      uint32_t* states[4];
      const uint8_t* blocks[4];
      for (int i = 0; i < width; ++i) {
        std::memcpy(h[i], Sha256InitialValues, sizeof h[i]);
        states[i] = h[i];
        blocks[i] = reinterpret_cast<const uint8_t*>(data.data()) + (first + size_t(i)) * leaf;
      }
      if (width == 4)
        Sha256ShaNiBlocks4(states, blocks, int64_t(leaf / 64));
      else if (width == 2)
        Sha256ShaNiBlocks2(states, blocks, int64_t(leaf / 64));
      else
        Sha256ShaNiBlocks(states[0], blocks[0], int64_t(leaf / 64));
    }
    benchmark::DoNotOptimize(h);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(BufferSize));
}

}  // namespace

BENCHMARK_CAPTURE(Sha256Message, Portable, TSHA256Impl::Portable)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256Message, ShaNi, TSHA256Impl::ShaNi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256Leaves, Portable, TShaPath::Portable)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256Leaves, ShaNi, TShaPath::ShaNi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256Leaves, Avx2, TShaPath::Avx2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256Leaves, Avx512, TShaPath::Avx512)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256LongMessages, Portable, TShaPath::Portable)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256LongMessages, ShaNi, TShaPath::ShaNi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256LongMessages, Avx2, TShaPath::Avx2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256LongMessages, Avx512, TShaPath::Avx512)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256LeafBatch, Avx2, TShaPath::Avx2)->DenseRange(1, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256LeafBatch, Avx512, TShaPath::Avx512)
    ->DenseRange(1, 16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256Pairs, Portable, TShaPath::Portable)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256Pairs, ShaNi, TShaPath::ShaNi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256Pairs, Avx2, TShaPath::Avx2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256Pairs, Avx512, TShaPath::Avx512)->Unit(benchmark::kMillisecond);
BENCHMARK(Sha256ShaNiWidth)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);
