// SHA-1 throughput: single messages of 256 KiB (a typical piece) through TSHA1, and batches
// of 16 pieces through TSha1Lanes on each path (16 lanes with AVX-512, 8 with AVX2, one
// stream after another with SHA-NI and the portable code). Figures are per core.
// Compare with: openssl speed -evp sha1 -bytes 262144
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "digest/MessageDigests.h"
#include "digest/Sha1Lanes.h"

namespace {

void Sha1Message(benchmark::State& state, TSHA1Impl impl) {
  if (impl == TSHA1Impl::ShaNi && !TSHA1::CpuHasShaNi()) {
    state.SkipWithError("CPU lacks SHA-NI");
    return;
  }
  const std::string message(256 * 1024, 'q');
  TSHA1 sha1(impl);
  for (auto _ : state) {
    sha1.Initialize();
    sha1.TransformString(message);
    sha1.Complete();
    benchmark::DoNotOptimize(sha1.Digest());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(message.size()));
}

// 16 pieces of state.range(0) bytes per batch, each with its own content.
void Sha1Lanes(benchmark::State& state, TShaPath path) {
  if (!TSha1Lanes::CpuHas(path)) {
    state.SkipWithError((std::string("CPU lacks the ") + TSha1Lanes::PathName(path) + " path").c_str());
    return;
  }
  const size_t pieceSize = size_t(state.range(0));
  std::vector<std::string> pieces;
  for (int i = 0; i < 16; ++i) pieces.emplace_back(pieceSize, char('a' + i));
  const std::vector<std::string_view> views(pieces.begin(), pieces.end());
  const auto digests = std::make_unique<uint8_t[][20]>(pieces.size());
  const TSha1Lanes lanes(path);
  for (auto _ : state) {
    lanes.HashMessages(views, digests.get());
    benchmark::DoNotOptimize(digests.get());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pieceSize * pieces.size()));
  state.SetLabel(std::to_string(lanes.LaneCount()) + " lanes");
}

void PieceSizes(benchmark::internal::Benchmark* b) {
  b->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK_CAPTURE(Sha1Message, Portable, TSHA1Impl::Portable)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Sha1Message, ShaNi, TSHA1Impl::ShaNi)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Sha1Lanes, Portable, TShaPath::Portable)->Apply(PieceSizes);
BENCHMARK_CAPTURE(Sha1Lanes, ShaNi, TShaPath::ShaNi)->Apply(PieceSizes);
BENCHMARK_CAPTURE(Sha1Lanes, Avx2, TShaPath::Avx2)->Apply(PieceSizes);
BENCHMARK_CAPTURE(Sha1Lanes, Avx512, TShaPath::Avx512)->Apply(PieceSizes);
