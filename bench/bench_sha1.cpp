// SHA-1 throughput on 256 KiB messages (a typical piece), portable and SHA-NI paths.
// Compare with: openssl speed -evp sha1 -bytes 262144
#include <benchmark/benchmark.h>

#include <string>

#include "digest/MessageDigests.h"

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

}  // namespace

BENCHMARK_CAPTURE(Sha1Message, Portable, TSHA1Impl::Portable)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Sha1Message, ShaNi, TSHA1Impl::ShaNi)->Unit(benchmark::kMicrosecond);
