// Loading and saving a torrent of 200,000 files, with the peak memory of the process.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/Stream.h"
#include "metainfo/BDecode.h"
#include "metainfo/TorrentEdits.h"
#include "metainfo/TorrentFile.h"

namespace {

constexpr int FileCount = 200000;

std::string Str(const std::string& s) { return std::to_string(s.size()) + ":" + s; }

// Files in nested folders, lengths 1000..5095 bytes, 1 MiB pieces, private.
std::string ManyFilesBytes() {
  std::string files = "l";
  int64_t total = 0;
  for (int i = 0; i < FileCount; ++i) {
    const int64_t length = 1000 + i % 4096;
    total += length;
    files += "d6:lengthi" + std::to_string(length) + "e4:pathl" + Str("dir" + std::to_string(i / 1000)) +
             Str("sub" + std::to_string(i / 100 % 10)) + Str("file" + std::to_string(i) + ".bin") + "ee";
  }
  files += "e";
  const int64_t pieceLength = 1 << 20;
  const std::string hashes(static_cast<size_t>((total + pieceLength - 1) / pieceLength * 20), 'h');
  return "d8:announce" + Str("http://tracker.example/announce") +
         "13:creation datei1700000000e4:infod5:files" + files + "4:name4:many12:piece lengthi" +
         std::to_string(pieceLength) + "e6:pieces" + Str(hashes) + "7:privatei1eee";
}

// Written once to a file, so a load holds nothing but what the loader makes.
const std::string& ManyFilesPath() {
  static const std::string path = [] {
    const std::string target = (std::filesystem::temp_directory_path() /
                                ("quorvane-bench-" + std::to_string(::getpid()) + ".torrent"))
                                   .string();
    // Made in a child process, so the generator's memory stays out of this
    // process's peak.
    const pid_t child = ::fork();
    if (child == 0) {
      WriteWholeFile(target, ManyFilesBytes());
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    std::atexit([] { std::filesystem::remove(ManyFilesPath()); });
    return target;
  }();
  return path;
}

double PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

// Runs first, so the peak it reports is the load's (plus the input held in memory).
void BM_LoadManyFiles(benchmark::State& state) {
  const std::string& path = ManyFilesPath();
  const double before = PeakRssMiB();
  for (auto _ : state) {
    TTorrentFile model;
    TFileStream in(path, TFileMode::OpenRead);
    if (!model.LoadFromStream(in) || model.Files.size() != static_cast<size_t>(FileCount))
      state.SkipWithError("load failed");
    benchmark::DoNotOptimize(model.Files.front());
  }
  state.counters["files"] = FileCount;
  state.counters["input_MiB"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
  state.counters["peak_rss_MiB"] = PeakRssMiB();
  state.counters["rss_before_MiB"] = before;
}
BENCHMARK(BM_LoadManyFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DecodeManyFiles(benchmark::State& state) {
  const std::string bytes = ReadWholeFile(ManyFilesPath());
  for (auto _ : state) {
    TMemoryStream in{bytes};
    auto value = DecodeValue(in);
    benchmark::DoNotOptimize(value.get());
  }
}
BENCHMARK(BM_DecodeManyFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

// A renamed file makes the writer rebuild info from the model.
void BM_SaveManyFilesRenamed(benchmark::State& state) {
  TTorrentFile model;
  TFileStream in(ManyFilesPath(), TFileMode::OpenRead);
  model.LoadFromStream(in);
  model.RenameFile(model.Files.size() - 1, model.Files.back()->Path, "renamed.bin");
  for (auto _ : state) {
    TMemoryStream out;
    model.SaveToStream(out, model.Pieces);
    benchmark::DoNotOptimize(out.Data().data());
  }
}
BENCHMARK(BM_SaveManyFilesRenamed)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same through a file stream, which does not buffer.
void BM_SaveManyFilesRenamedToFile(benchmark::State& state) {
  TTorrentFile model;
  TFileStream in(ManyFilesPath(), TFileMode::OpenRead);
  model.LoadFromStream(in);
  model.RenameFile(model.Files.size() - 1, model.Files.back()->Path, "renamed.bin");
  const std::string target = ManyFilesPath() + ".saved";
  for (auto _ : state) {
    TFileStream out(target, TFileMode::Create);
    model.SaveToStream(out, model.Pieces);
  }
  std::filesystem::remove(target);
}
BENCHMARK(BM_SaveManyFilesRenamedToFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// Only the private flag changed: the writer keeps the layout's bytes and
// rebuilds the info around them.
void BM_SaveManyFilesPrivateFlipped(benchmark::State& state) {
  TTorrentFile model;
  TFileStream in(ManyFilesPath(), TFileMode::OpenRead);
  model.LoadFromStream(in);
  model.SetPrivate(!model.Private);
  for (auto _ : state) {
    TMemoryStream out;
    model.SaveToStream(out, model.Pieces);
    benchmark::DoNotOptimize(out.Data().data());
  }
}
BENCHMARK(BM_SaveManyFilesPrivateFlipped)->Unit(benchmark::kMillisecond)->Iterations(3);

// The info hash a save would give, as the View/Edit page asks before saving.
void BM_SavedInfoHashPrivateFlipped(benchmark::State& state) {
  TTorrentFile model;
  TFileStream in(ManyFilesPath(), TFileMode::OpenRead);
  model.LoadFromStream(in);
  model.SetPrivate(!model.Private);
  for (auto _ : state) benchmark::DoNotOptimize(SavedInfoHash(model));
}
BENCHMARK(BM_SavedInfoHashPrivateFlipped)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
