// The hashing engine over one file in the page cache, per plan and piece
// length, with every core: v1 (SHA-1 pieces), v2 (SHA-256 leaves, roots and
// piece layers) and hybrid (both from one read). The file is BENCH_FILE, or
// 256 MiB made in $TMPDIR once per run. bench/engine_vs_libtorrent.sh puts
// the v2 and hybrid figures beside python3-libtorrent's.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "create/PieceHasher.h"

namespace {

using namespace std::chrono_literals;

struct TBenchFile {
  std::string Path;
  int64_t Length = 0;
  bool Own = false;
  TBenchFile() {
    if (const char* given = std::getenv("BENCH_FILE")) {
      Path = given;
      std::ifstream in(Path, std::ios::binary | std::ios::ate);
      Length = static_cast<int64_t>(in.tellg());
      return;
    }
    const char* tmp = std::getenv("TMPDIR");
    Path = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_engine." + std::to_string(::getpid());
    Length = int64_t{256} << 20;
    std::ofstream out(Path, std::ios::binary);
    std::string block(1 << 20, '\0');
    uint32_t x = 2463534242u;
    for (int64_t done = 0; done < Length; done += static_cast<int64_t>(block.size())) {
      for (auto& c : block) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
      }
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    Own = true;
  }
  ~TBenchFile() {
    if (Own) std::remove(Path.c_str());
  }
};

const TBenchFile& File() {
  static const TBenchFile file;
  return file;
}

void Engine(benchmark::State& state, THashPlan plan) {
  const TBenchFile& file = File();
  const int64_t pieceLength = state.range(0);
  std::vector<TByteSource> sources = {TByteSource::File(file.Path, file.Length)};
  if (plan != THashPlan::V1 && file.Length % pieceLength != 0)
    sources.push_back(TByteSource::ZeroBytes(pieceLength - file.Length % pieceLength));
  for (auto _ : state) {
    TPieceHasher hasher(sources, pieceLength, 0, TSha1Lanes::ChosenPath(), plan);
    for (int64_t i = 0; i < hasher.PieceCount(); ++i)
      while (hasher.WaitFor(i, 1s) == TPieceHasher::TPieceState::Pending) {
      }
    if (plan != THashPlan::V1) benchmark::DoNotOptimize(hasher.FileHashes(0));
  }
  state.SetBytesProcessed(state.iterations() * file.Length);
}

void Pieces(benchmark::internal::Benchmark* b) {
  for (const int64_t kib : {256, 1024, 4096, 16384}) b->Arg(kib << 10);
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace

BENCHMARK_CAPTURE(Engine, V1, THashPlan::V1)->Apply(Pieces);
BENCHMARK_CAPTURE(Engine, V2, THashPlan::V2)->Apply(Pieces);
BENCHMARK_CAPTURE(Engine, Hybrid, THashPlan::Hybrid)->Apply(Pieces);
