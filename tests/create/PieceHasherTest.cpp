#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "../support/Hex.h"
#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "base/Stream.h"
#include "create/PieceHasher.h"
#include "digest/MessageDigests.h"

namespace {

using namespace std::chrono_literals;

// What a run gave: the digests in order up to the first failure, and its reason.
struct TOutcome {
  std::vector<std::string> Digests;
  std::string Error;
};

// Collects every piece as a caller does: in order, each file checked once its last piece is in.
TOutcome Collect(TPieceHasher& hasher, size_t sources, const std::function<void(int64_t)>& onPiece = {}) {
  TOutcome out;
  size_t checked = 0;
  for (int64_t i = 0; i < hasher.PieceCount(); ++i) {
    TPieceHasher::TPieceState state;
    while ((state = hasher.WaitFor(i, 10s)) == TPieceHasher::TPieceState::Pending) {
    }
    if (state == TPieceHasher::TPieceState::Failed) {
      out.Error = hasher.ErrorOf(i);
      return out;
    }
    out.Digests.emplace_back(reinterpret_cast<const char*>(hasher.Digest(i).data()), 20);
    try {
      while (checked < sources && hasher.LastPieceOf(checked) <= i) hasher.FileDone(checked++);
    } catch (const std::exception& e) {
      out.Error = e.what();
      return out;
    }
    if (onPiece) onPiece(i);
  }
  return out;
}

std::vector<std::string> PiecesOf(const std::string& stream, int64_t pieceLength) {
  std::vector<std::string> digests;
  for (size_t at = 0; at < stream.size(); at += static_cast<size_t>(pieceLength))
    digests.push_back(Sha1Bytes(std::string_view(stream).substr(at, static_cast<size_t>(pieceLength))));
  if (digests.empty()) digests.push_back(Sha1Bytes(""));
  return digests;
}

// Writes the file and drops it from the page cache, so the run reads the device.
std::string WriteUncached(TTempDir& dir, const std::string& name, const std::string& bytes) {
  const std::string path = dir.Write(name, bytes);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
  return path;
}

}  // namespace

// Zeros and file ranges, at any offsets, in any order, make the stream they describe.
TEST(PieceHasher, ByteSourcesMakeTheStreamTheyDescribe) {
  TTempDir dir;
  const std::string a = PatternBytes(70000, 1);
  const std::string big = PatternBytes(3 << 20, 2);  // long enough for the prefetch
  const std::string pathA = dir.Write("a", a);
  const std::string pathBig = WriteUncached(dir, "sub/big", big);
  struct TCase {
    const char* Name;
    std::vector<TByteSource> Sources;
    std::string Stream;
    int64_t PieceLength;
  };
  const TCase cases[] = {
      {.Name = "zeros only",
       .Sources = {TByteSource::ZeroBytes(5000), TByteSource::ZeroBytes(3)},
       .Stream = std::string(5003, '\0'),
       .PieceLength = 1024},
      {.Name = "zeros between files, pieces across them",
       .Sources = {TByteSource::File(pathA, 70000), TByteSource::ZeroBytes(1000),
                   TByteSource::File(pathA, 70000)},
       .Stream = a + std::string(1000, '\0') + a,
       .PieceLength = 16384},
      {.Name = "ranges inside a file",
       .Sources = {{.Path = pathA, .Offset = 100, .Length = 900, .FileSize = 70000},
                   TByteSource::ZeroBytes(7),
                   {.Path = pathA, .Offset = 69000, .Length = 1000}},
       .Stream = a.substr(100, 900) + std::string(7, '\0') + a.substr(69000),
       .PieceLength = 512},
      {.Name = "empty range and empty zeros",
       .Sources = {{.Path = pathA, .Offset = 5, .Length = 0, .FileSize = 70000},
                   TByteSource::ZeroBytes(0),
                   TByteSource::File(pathA, 70000)},
       .Stream = a,
       .PieceLength = 65536},
      {.Name = "a prefetched file between zeros",
       .Sources = {TByteSource::ZeroBytes(12345), TByteSource::File(pathBig, 3 << 20),
                   TByteSource::ZeroBytes(99)},
       .Stream = std::string(12345, '\0') + big + std::string(99, '\0'),
       .PieceLength = 262144},
      {.Name = "the second half of a prefetched file",
       .Sources = {{.Path = pathBig, .Offset = 3 << 19, .Length = 3 << 19}},
       .Stream = big.substr(3 << 19),
       .PieceLength = 1 << 20},
  };
  for (const auto& c : cases)
    for (const int threads : {1, 2, 16}) {
      SCOPED_TRACE(std::string(c.Name) + ", " + std::to_string(threads) + " threads");
      TPieceHasher hasher(c.Sources, c.PieceLength, threads);
      const TOutcome out = Collect(hasher, c.Sources.size());
      EXPECT_EQ(out.Error, "");
      EXPECT_EQ(out.Digests, PiecesOf(c.Stream, c.PieceLength));
    }
}

// Tiny files in many folders, in the walk's order: the kept folder handle
// changes folder after folder and back.
TEST(PieceHasher, ManyTinyFilesInManyFolders) {
  TTempDir dir;
  std::vector<TByteSource> sources;
  std::string stream;
  for (int i = 0; i < 3000; ++i) {
    const std::string bytes = PatternBytes(static_cast<size_t>(1 + i % 97), static_cast<unsigned>(i));
    const std::string name =
        "d" + std::to_string(i % 7) + "/e" + std::to_string(i % 3) + "/f" + std::to_string(i);
    sources.push_back(TByteSource::File(dir.Write(name, bytes), static_cast<int64_t>(bytes.size())));
    stream += bytes;
  }
  for (const int threads : {1, 3, 16}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    TPieceHasher hasher(sources, 4096, threads);
    const TOutcome out = Collect(hasher, sources.size());
    EXPECT_EQ(out.Error, "");
    EXPECT_EQ(out.Digests, PiecesOf(stream, 4096));
  }
}

// A file range is checked against the file's recorded size, not against the range.
TEST(PieceHasher, RangeOfAFileThatChangedSize) {
  TTempDir dir;
  const std::string path = dir.Write("f", PatternBytes(5000));
  struct TCase {
    const char* Name;
    TByteSource Source;
    bool Fails;
  };
  const TCase cases[] = {
      {.Name = "recorded size kept", .Source = {.Path = path, .Offset = 10, .Length = 20, .FileSize = 5000}},
      {.Name = "file shorter than recorded",
       .Source = {.Path = path, .Offset = 10, .Length = 20, .FileSize = 6000},
       .Fails = true},
      {.Name = "range to the end of a longer file",
       .Source = {.Path = path, .Offset = 10, .Length = 20},
       .Fails = true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPieceHasher hasher({c.Source}, 1000, 2);
    const TOutcome out = Collect(hasher, 1);
    EXPECT_EQ(out.Error, c.Fails ? "The file \"" + path + "\" changed while it was being hashed." : "");
  }
}

// Data read from the device through the prefetch: a read that fails there is
// met again by the workers, which report it; the pieces before it are all in.
TEST(PieceHasher, ReadFailureOfAPrefetchedFile) {
  constexpr int64_t L = 1 << 20;
  TTempDir dir;
  const std::string bytes = PatternBytes(static_cast<size_t>(6 * L), 5);
  const std::string path = WriteUncached(dir, "big", bytes);
  static int64_t failFrom;
  failFrom = 4 * L;
  TFileSysCalls failing = FileSysCalls();
  failing.Pread = [](int fd, void* buffer, size_t count, off_t offset) -> ssize_t {
    if (offset + static_cast<off_t>(count) > failFrom) {
      errno = EIO;
      return -1;
    }
    return ::pread(fd, buffer, count, offset);
  };
  const TFileSysCalls old = SetFileSysCalls(failing);
  TOutcome out;
  {
    TPieceHasher hasher({TByteSource::File(path, 6 * L)}, L, 2);
    out = Collect(hasher, 1);
  }
  SetFileSysCalls(old);
  EXPECT_EQ(out.Error, "Cannot read file \"" + path + "\": " + std::strerror(EIO));
  const auto expected = PiecesOf(bytes, L);
  EXPECT_EQ(out.Digests, std::vector<std::string>(expected.begin(), expected.begin() + 4));
}

// A stop while the prefetch still reads ends the run at the piece asked for.
TEST(PieceHasher, StopWhileThePrefetchReads) {
  constexpr int64_t L = 256 << 10;
  TTempDir dir;
  const std::string bytes = PatternBytes(static_cast<size_t>(40 * L), 6);
  const std::string path = WriteUncached(dir, "big", bytes);
  for (const int threads : {1, 2, 5}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    TPieceHasher hasher({TByteSource::File(path, 40 * L)}, L, threads);
    hasher.StopAfter(2);
    std::vector<std::string> digests;
    for (int64_t i = 0; i <= 2; ++i) {
      while (hasher.WaitFor(i, 10s) == TPieceHasher::TPieceState::Pending) {
      }
      ASSERT_EQ(hasher.ErrorOf(i), "");
      digests.emplace_back(reinterpret_cast<const char*>(hasher.Digest(i).data()), 20);
    }
    const auto expected = PiecesOf(bytes, L);
    EXPECT_EQ(digests, std::vector<std::string>(expected.begin(), expected.begin() + 3));
  }  // the destructor waits for every thread: a hang here is a stop that was missed
}

// v2 and hybrid: one read gives the SHA-1 pieces over files and pads and, per
// file, the merkle root and piece layer, which an independent implementation
// (hashlib by hand, and libtorrent when installed) must agree with.
TEST(PieceHasher, V2AndHybridPlansAgreeWithAnOracle) {
  TTempDir dir;
  struct TFile {
    int64_t PieceLength;
    int64_t Length;
    std::string Path;
    std::string Bytes;
  };
  std::vector<TFile> files;
  for (const int64_t pieceLength : {int64_t{16384}, int64_t{65536}, int64_t{1} << 20})
    for (const int64_t length : {int64_t{0}, int64_t{1}, int64_t{16383}, int64_t{16384}, int64_t{16385},
                                 pieceLength - 1, pieceLength, pieceLength * 7 / 2}) {
      const std::string name = std::to_string(pieceLength) + "/" + std::to_string(files.size());
      std::string bytes = PatternBytes(static_cast<size_t>(length), static_cast<unsigned>(files.size()));
      files.push_back({pieceLength, length, dir.Write(name, bytes), std::move(bytes)});
    }

  std::string command = "/usr/bin/python3 '" QUORVANE_SOURCE_DIR "/tests/digest/merkle_oracle.py'";
  for (const auto& f : files)
    if (f.Length > 0) command += " '" + f.Path + "' " + std::to_string(f.PieceLength);
  const TRun run = RunShell(command);
  ASSERT_EQ(run.Status, 0);
  std::istringstream lines(run.Out);
  std::vector<std::string> byHand, byLibtorrent;  // "root layer" per non-empty file
  std::string first, root, layer;
  while (lines >> first) {
    if (first == "lt") {
      lines >> root >> layer;
      byLibtorrent.push_back(root + " " + layer);
    } else {
      lines >> layer;
      byHand.push_back(first + " " + layer);
    }
  }

  for (const int64_t pieceLength : {int64_t{16384}, int64_t{65536}, int64_t{1} << 20})
    for (const THashPlan plan : {THashPlan::V2, THashPlan::Hybrid})
      for (const int threads : {1, 3}) {
        SCOPED_TRACE(std::to_string(pieceLength) + (plan == THashPlan::V2 ? " v2, " : " hybrid, ") +
                     std::to_string(threads) + " threads");
        // Each file with data starts on a piece boundary: a pad of zeros after
        // every one that does not end on one, the last included.
        std::vector<TByteSource> sources;
        std::vector<size_t> fileOf;  // source -> index in files, or SIZE_MAX for a pad
        std::string stream;
        for (size_t i = 0; i < files.size(); ++i) {
          if (files[i].PieceLength != pieceLength) continue;
          sources.push_back(TByteSource::File(files[i].Path, files[i].Length));
          fileOf.push_back(i);
          stream += files[i].Bytes;
          if (const int64_t tail = files[i].Length % pieceLength; tail > 0) {
            sources.push_back(TByteSource::ZeroBytes(pieceLength - tail));
            fileOf.push_back(SIZE_MAX);
            stream.append(static_cast<size_t>(pieceLength - tail), '\0');
          }
        }
        TPieceHasher hasher(sources, pieceLength, threads, TSha1Lanes::ChosenPath(), plan);
        const TOutcome out = Collect(hasher, sources.size());
        ASSERT_EQ(out.Error, "");
        if (plan == THashPlan::Hybrid) {
          EXPECT_EQ(out.Digests, PiecesOf(stream, pieceLength));
        }
        size_t nonEmpty = 0;
        for (size_t i = 0; i < files.size(); ++i)
          if (files[i].Length > 0 && files[i].PieceLength < pieceLength) ++nonEmpty;
        for (size_t s = 0; s < sources.size(); ++s) {
          if (fileOf[s] == SIZE_MAX) continue;
          const TFile& f = files[fileOf[s]];
          SCOPED_TRACE("file of " + std::to_string(f.Length) + " bytes");
          const TMerkleFileHashes hashes = hasher.FileHashes(s);
          if (f.Length == 0) {
            EXPECT_EQ(hashes.Root, TSha256Hash{});
            EXPECT_TRUE(hashes.PieceLayer.empty());
            continue;
          }
          std::string layerHex;
          for (const auto& node : hashes.PieceLayer)
            layerHex += ToHex(std::string(reinterpret_cast<const char*>(node.data()), 32));
          const std::string mine = ToHex(std::string(reinterpret_cast<const char*>(hashes.Root.data()), 32)) +
                                   " " + (layerHex.empty() ? "-" : layerHex);
          ASSERT_LT(nonEmpty, byHand.size());
          EXPECT_EQ(mine, byHand[nonEmpty]);
          if (!byLibtorrent.empty()) {
            EXPECT_EQ(mine, byLibtorrent[nonEmpty]);
          }
          ++nonEmpty;
        }
      }
}

TEST(PieceHasher, V2LayoutsThatCannotBeHashedAreRefused) {
  TTempDir dir;
  const std::string path = dir.Write("f", PatternBytes(100));
  struct TCase {
    const char* Name;
    std::vector<TByteSource> Sources;
    int64_t PieceLength;
  };
  const TCase cases[] = {
      {.Name = "piece length below 16 KiB", .Sources = {TByteSource::File(path, 100)}, .PieceLength = 8192},
      {.Name = "piece length not a power of two",
       .Sources = {TByteSource::File(path, 100)},
       .PieceLength = 49152},
      {.Name = "second file without a pad",
       .Sources = {TByteSource::File(path, 100), TByteSource::File(path, 100)},
       .PieceLength = 16384},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_THROW(TPieceHasher(c.Sources, c.PieceLength, 1, TSha1Lanes::ChosenPath(), THashPlan::V2),
                 std::invalid_argument);
  }
}

// A small file is opened without a look at what it is: the read past its end
// must still catch whatever stands in its place.
TEST(PieceHasher, SmallFileReplacedAfterTheWalk) {
  struct TCase {
    const char* Name;
    std::function<void(const std::string&)> Replace;
    const char* Reason;
  };
  const TCase cases[] = {
      {.Name = "a folder",
       .Replace =
           [](const std::string& p) {
             std::filesystem::remove(p);
             std::filesystem::create_directory(p);
           },
       .Reason = "Is a directory"},
      {.Name = "a FIFO (must not hang)",
       .Replace =
           [](const std::string& p) {
             std::filesystem::remove(p);
             ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
           },
       .Reason = "\"" /* any reason, as long as the file is named */},
      {.Name = "grown",
       .Replace = [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 101), 0); },
       .Reason = "changed while it was being hashed"},
      {.Name = "shortened",
       .Replace = [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 99), 0); },
       .Reason = "changed while it was being hashed"},
      {.Name = "gone",
       .Replace = [](const std::string& p) { std::filesystem::remove(p); },
       .Reason = "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    const std::string before = dir.Write("sub/a", PatternBytes(5000));
    const std::string path = dir.Write("sub/b", PatternBytes(100));
    c.Replace(path);
    TPieceHasher hasher({TByteSource::File(before, 5000), TByteSource::File(path, 100)}, 1 << 20, 2);
    const TOutcome out = Collect(hasher, 2);
    EXPECT_NE(out.Error.find("\"" + path + "\""), std::string::npos) << out.Error;
    EXPECT_NE(out.Error.find(c.Reason), std::string::npos) << out.Error;
    EXPECT_TRUE(out.Digests.empty());
  }
}

// Whatever the piece length and threads: our buffers stay within 64 MiB (and
// a block's slack a lane), and the prefetch runs at most 512 MiB ahead (or
// one huge piece a thread).
TEST(PieceHasher, BuffersAndLeadAreBounded) {
  for (const int64_t pieceLength : {int64_t{16384}, int64_t{1} << 20, int64_t{16} << 20, int64_t{256} << 20})
    for (const int threads : {1, 2, 64}) {
      SCOPED_TRACE(std::to_string(pieceLength) + " B pieces, " + std::to_string(threads) + " threads");
      const std::vector<TByteSource> sources = {TByteSource::ZeroBytes(int64_t{4} << 30)};
      const TPieceHasher hasher(sources, pieceLength, threads);
      EXPECT_LE(hasher.BufferBytes(), (int64_t{64} << 20) + int64_t{hasher.Threads()} * 16 * 64);
      EXPECT_LE(hasher.PrefetchLead(), std::max(int64_t{512} << 20, int64_t{hasher.Threads()} * pieceLength));
    }
}
