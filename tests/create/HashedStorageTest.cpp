#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>

#include "../support/Hex.h"
#include "../support/TempDir.h"
#include "base/Path.h"
#include "base/Stream.h"
#include "create/HashedStorage.h"
#include "create/Progress.h"
#include "create/SourceFile.h"
#include "digest/MessageDigests.h"
#include "digest/Sha1Lanes.h"

namespace {

// Records what a run reports and lets a test act at each report.
class TRecordingStorage : public THashedStorage {
 public:
  TRecordingStorage(const TTorrentSubFiles& files, std::string basePath, bool multiFile, int64_t pieceLength)
      : THashedStorage(files, std::move(basePath), multiFile, pieceLength) {}

  std::vector<std::string> Events;
  bool Aborted = false;
  int Polls = 0;
  std::function<void(TRecordingStorage&)> OnPiece;
  std::function<void(TRecordingStorage&, const std::string&)> OnFile;

 protected:
  void DoFileStart(int64_t index, const std::string& path, int64_t size) override {
    (void)index;
    Events.push_back("file " + LastPathComponent(path) + " " + std::to_string(size));
    if (OnFile) OnFile(*this, path);
  }
  void DoPieceDone() override {
    Events.push_back("piece");
    if (OnPiece) OnPiece(*this);
  }
  void DoRunStart() override { Events.push_back("start 0"); }
  void DoRunDone() override { Events.push_back("done 0"); }
  bool IsAborted() override { return Aborted; }
  void DoProcessEvents() override { ++Polls; }
};

// Files named f0, f1, ... in a temp folder, and the list that describes them.
struct TDataSet {
  TTempDir Dir;
  TTorrentSubFiles List;
  std::string All;  // every file's bytes, concatenated

  explicit TDataSet(const std::vector<int64_t>& sizes, unsigned seed = 7) {
    for (size_t i = 0; i < sizes.size(); ++i) {
      const std::string name = "f" + std::to_string(i);
      const std::string bytes = PatternBytes(static_cast<size_t>(sizes[i]), seed + static_cast<unsigned>(i));
      Dir.Write(name, bytes);
      All += bytes;
      List.push_back(std::make_unique<TTorrentSubFile>(name, "", sizes[i], 0));
    }
  }
};

std::vector<std::string> ExpectedHashes(const std::string& all, int64_t pieceLength, bool anyFile) {
  std::vector<std::string> hashes;
  for (size_t at = 0; at < all.size(); at += static_cast<size_t>(pieceLength))
    hashes.push_back(Sha1Bytes(std::string_view(all).substr(at, static_cast<size_t>(pieceLength))));
  if (hashes.empty() && anyFile) hashes.push_back(Sha1Bytes(""));  // no data at all: one empty piece
  return hashes;
}

std::vector<std::string> Hashes(const TTorrentPieces& pieces) {
  std::vector<std::string> hashes;
  for (size_t i = 0; i < pieces.size(); ++i) hashes.emplace_back(pieces[i]);
  return hashes;
}

}  // namespace

TEST(HashedStorage, PiecesRunAcrossFileBoundaries) {
  constexpr int64_t L = 1000;  // not a multiple of the SHA-1 block, so pieces split blocks too
  struct TCase {
    const char* Name;
    std::vector<int64_t> Sizes;
    int64_t PieceLength = L;
    size_t Pieces;
  };
  const TCase cases[] = {
      {.Name = "L+100 then 3L", .Sizes = {L + 100, 3 * L}, .Pieces = 5},
      {.Name = "L, L, 10", .Sizes = {L, L, 10}, .Pieces = 3},
      {.Name = "2.5L, 0.5L, L", .Sizes = {5 * L / 2, L / 2, L}, .Pieces = 4},
      {.Name = "empty file between others", .Sizes = {300, 0, 800, 0, 50}, .Pieces = 2},
      {.Name = "empty files first", .Sizes = {0, 0, 1500}, .Pieces = 2},
      {.Name = "one zero-byte file", .Sizes = {0}, .Pieces = 1},
      {.Name = "only zero-byte files", .Sizes = {0, 0, 0}, .Pieces = 1},
      {.Name = "ends on a boundary, then zero-byte files", .Sizes = {2 * L, 0, 0}, .Pieces = 2},
      {.Name = "ends on a boundary", .Sizes = {L, L}, .Pieces = 2},
      {.Name = "partial piece, then a zero-byte last file", .Sizes = {L / 3, 0}, .Pieces = 1},
      {.Name = "empty list", .Sizes = {}, .Pieces = 0},
      {.Name = "many tiny files",
       .Sizes = {1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233, 377, 610, 987},
       .Pieces = 3},
      {.Name = "SHA-1 block sized pieces", .Sizes = {64 * 5 + 3, 64}, .PieceLength = 64, .Pieces = 7},
      {.Name = "one-byte pieces", .Sizes = {3, 0, 2}, .PieceLength = 1, .Pieces = 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDataSet data(c.Sizes);
    TRecordingStorage storage(data.List, data.Dir.Path(), true, c.PieceLength);
    storage.HashPieces();
    EXPECT_EQ(storage.Error, "");
    EXPECT_EQ(storage.Pieces.size(), c.Pieces);
    EXPECT_EQ(storage.PieceCount, static_cast<int64_t>(c.Pieces));
    EXPECT_EQ(Hashes(storage.Pieces), ExpectedHashes(data.All, c.PieceLength, !c.Sizes.empty()));
    for (size_t i = 0; i < storage.Pieces.size(); ++i)
      EXPECT_EQ(storage.Pieces.HashText(i), ToHex(std::string(storage.Pieces[i])));
    // Every file is announced once, in order, with its size; the run is bracketed.
    std::vector<std::string> files;
    for (const auto& e : storage.Events)
      if (e.rfind("file ", 0) == 0) files.push_back(e);
    ASSERT_EQ(files.size(), c.Sizes.size());
    for (size_t i = 0; i < c.Sizes.size(); ++i)
      EXPECT_EQ(files[i], "file f" + std::to_string(i) + " " + std::to_string(c.Sizes[i]));
    ASSERT_FALSE(storage.Events.empty());
    EXPECT_EQ(storage.Events.front(), "start 0");
    EXPECT_EQ(storage.Events.back(), "done 0");
    EXPECT_EQ(std::count(storage.Events.begin(), storage.Events.end(), "piece"), static_cast<long>(c.Pieces));
  }
}

TEST(HashedStorage, KnownHashOfNoData) {
  TDataSet data({0});
  TRecordingStorage storage(data.List, data.Dir / "f0", false, 262144);
  storage.HashPieces();
  ASSERT_EQ(storage.Pieces.size(), 1u);
  EXPECT_EQ(storage.Pieces.HashText(0), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(HashedStorage, SameDataSamePiecesHoweverSplit) {
  constexpr int64_t L = 1000;
  const std::string all = PatternBytes(10 * L + 123, 99);
  std::vector<std::vector<int64_t>> splits = {{static_cast<int64_t>(all.size())}};
  uint32_t x = 12345;
  for (int round = 0; round < 6; ++round) {
    std::vector<int64_t> sizes;
    int64_t left = static_cast<int64_t>(all.size());
    while (left > 0) {
      x = x * 1103515245u + 12345u;
      const int64_t cut = std::min<int64_t>(left, (x >> 8) % (round < 2 ? 60 : 3 * L));
      sizes.push_back(cut);  // zero-sized cuts make empty files, on purpose
      left -= cut;
    }
    splits.push_back(sizes);
  }
  const auto expected = ExpectedHashes(all, L, true);
  for (const auto& sizes : splits) {
    SCOPED_TRACE(std::to_string(sizes.size()) + " files");
    TTempDir dir;
    TTorrentSubFiles list;
    size_t at = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
      // Source paths in a sub-folder, as the folder walk sets them.
      auto entry = std::make_unique<TTorrentSubFile>("p" + std::to_string(i), "sub", sizes[i], 0);
      entry->SetSourcePath(
          dir.Write("sub/p" + std::to_string(i), all.substr(at, static_cast<size_t>(sizes[i]))));
      list.push_back(std::move(entry));
      at += static_cast<size_t>(sizes[i]);
    }
    TRecordingStorage storage(list, "/nonexistent", true, L);
    storage.HashPieces();
    EXPECT_EQ(storage.Error, "");
    EXPECT_EQ(Hashes(storage.Pieces), expected);
  }
}

TEST(HashedStorage, PathsFormedFromBaseWhenNoSourcePath) {
  TTempDir dir;
  dir.Write("a/b/x", "xyz");
  TTorrentSubFiles list;
  list.push_back(std::make_unique<TTorrentSubFile>("x", "a/b", 3, 0));   // as created
  list.push_back(std::make_unique<TTorrentSubFile>("x", "a/b/", 3, 0));  // as loaded
  TRecordingStorage multi(list, dir.Path(), true, 1000);
  multi.HashPieces();
  EXPECT_EQ(multi.Error, "");
  EXPECT_EQ(Hashes(multi.Pieces), std::vector<std::string>{Sha1Bytes("xyzxyz")});

  TTorrentSubFiles single;
  single.push_back(std::make_unique<TTorrentSubFile>("ignored", "", 3, 0));
  TRecordingStorage one(single, dir / "a/b/x", false, 1000);
  one.HashPieces();
  EXPECT_EQ(one.Error, "");
  EXPECT_EQ(Hashes(one.Pieces), std::vector<std::string>{Sha1Bytes("xyz")});
}

TEST(HashedStorage, AbortDuringSecondOfThreeFiles) {
  constexpr int64_t L = 1000;
  TDataSet data({2 * L, 3 * L, L});
  TRecordingStorage storage(data.List, data.Dir.Path(), true, L);
  // Abort after the first piece of the second file: that piece is kept.
  storage.OnPiece = [](TRecordingStorage& s) {
    if (s.PieceCount == 3) s.Aborted = true;
  };
  storage.HashPieces();
  EXPECT_EQ(storage.Error, "");
  EXPECT_EQ(storage.Pieces.size(), 3u);
  const auto expected = ExpectedHashes(data.All, L, true);
  EXPECT_EQ(Hashes(storage.Pieces), std::vector<std::string>(expected.begin(), expected.begin() + 3));
  const std::vector<std::string> events = {"start 0",      "file f0 2000", "piece", "piece",
                                           "file f1 3000", "piece",        "done 0"};
  EXPECT_EQ(storage.Events, events);  // the third file is never opened
}

TEST(HashedStorage, AbortBeforeTheRunOpensNothing) {
  TDataSet data({10, 20});
  TRecordingStorage storage(data.List, data.Dir.Path(), true, 1000);
  storage.Aborted = true;
  storage.HashPieces();
  EXPECT_EQ(storage.Events, (std::vector<std::string>{"start 0", "done 0"}));
  EXPECT_TRUE(storage.Pieces.empty());
}

TEST(HashedStorage, EventsArePumpedBeforeEveryRead) {
  constexpr int64_t L = 1000;
  TDataSet data({2500, 0, 500});
  TRecordingStorage storage(data.List, data.Dir.Path(), true, L);
  storage.HashPieces();
  // Reads: 1000, 1000, 500 | nothing | 500.
  EXPECT_EQ(storage.Polls, 5);
}

// A source that cannot be read ends the run with an error naming the file.
TEST(HashedStorage, UnreadableSourcesEndTheRunWithAnError) {
  struct TCase {
    const char* Name;
    std::function<std::string(TTempDir&)> Make;  // returns the entry's source path
    int64_t Length;
    const char* Reason;
  };
  const TCase cases[] = {
      {.Name = "missing",
       .Make = [](TTempDir& d) { return d / "gone"; },
       .Length = 5,
       .Reason = "No such file"},
      {.Name = "a folder",
       .Make = [](TTempDir& d) { return d.MakeDir("dir"); },
       .Length = 0,
       .Reason = "Is a directory"},
      {.Name = "a FIFO (must not hang)",
       .Make =
           [](TTempDir& d) {
             const std::string p = d / "fifo";
             EXPECT_EQ(::mkfifo(p.c_str(), 0600), 0);
             return p;
           },
       .Length = 0,
       .Reason = "Not a regular file"},
      {.Name = "size changed before the run",
       .Make = [](TTempDir& d) { return d.Write("short", "12345"); },
       .Length = 6,
       .Reason = "changed while it was being hashed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    TTorrentSubFiles list;
    auto first = std::make_unique<TTorrentSubFile>("ok", "", 1500, 0);
    first->SetSourcePath(dir.Write("ok", PatternBytes(1500)));
    list.push_back(std::move(first));
    auto bad = std::make_unique<TTorrentSubFile>("bad", "", c.Length, 0);
    bad->SetSourcePath(c.Make(dir));
    list.push_back(std::move(bad));
    list.push_back(std::make_unique<TTorrentSubFile>("never", "", 1, 0));
    TRecordingStorage storage(list, dir.Path(), true, 1000);
    storage.HashPieces();
    EXPECT_NE(storage.Error.find("\"" + list[1]->SourcePath() + "\""), std::string::npos) << storage.Error;
    EXPECT_NE(storage.Error.find(c.Reason), std::string::npos) << storage.Error;
    EXPECT_EQ(storage.Events.back(), "done 0");
    EXPECT_EQ(storage.Pieces.size(), 1u);  // what was finished before; the caller must not use it
  }
}

TEST(HashedStorage, FileChangingWhileHashedEndsTheRun) {
  struct TCase {
    const char* Name;
    std::function<void(const std::string&)> Change;  // after the file's first piece
  };
  const TCase cases[] = {
      {.Name = "shortened",
       .Change = [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 1200), 0); }},
      {.Name = "emptied", .Change = [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 0), 0); }},
      {.Name = "grown", .Change = [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 9000), 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDataSet data({3000, 10});
    TRecordingStorage storage(data.List, data.Dir.Path(), true, 1000);
    const std::string path = data.Dir / "f0";
    storage.OnPiece = [&](TRecordingStorage& s) {
      if (s.PieceCount == 1) c.Change(path);
    };
    storage.HashPieces();
    EXPECT_EQ(storage.Error, "The file \"" + path + "\" changed while it was being hashed.");
    EXPECT_EQ(storage.Events.back(), "done 0");
    EXPECT_EQ(std::count(storage.Events.begin(), storage.Events.end(), "file f1 10"), 0);
  }
}

TEST(HashedStorage, ReadFailureNamesFileAndReason) {
  TDataSet data({3000});
  static int failAfter;
  failAfter = 2;
  TFileSysCalls failing = FileSysCalls();
  failing.Pread = [](int fd, void* buffer, size_t count, off_t offset) -> ssize_t {
    if (--failAfter < 0) {
      errno = EIO;
      return -1;
    }
    return ::pread(fd, buffer, count, offset);
  };
  const TFileSysCalls old = SetFileSysCalls(failing);
  TRecordingStorage storage(data.List, data.Dir.Path(), true, 1000);
  storage.Threads = 1;  // reads in piece order, so the third read is the third piece's
  storage.HashPieces();
  SetFileSysCalls(old);
  EXPECT_EQ(storage.Error, "Cannot read file \"" + data.Dir / "f0" + "\": " + std::strerror(EIO));
  EXPECT_EQ(storage.Pieces.size(), 2u);
}

TEST(HashedStorage, ShortAndInterruptedReadsAreRetried) {
  TDataSet data({5000, 777});
  TFileSysCalls choppy = FileSysCalls();
  choppy.Pread = [](int fd, void* buffer, size_t count, off_t offset) -> ssize_t {
    static int n;
    if (++n % 3 == 0) {
      errno = EINTR;
      return -1;
    }
    return ::pread(fd, buffer, std::min<size_t>(count, 97), offset);
  };
  const TFileSysCalls old = SetFileSysCalls(choppy);
  TRecordingStorage storage(data.List, data.Dir.Path(), true, 1000);
  storage.Threads = 1;  // the counter above is not shared safely
  storage.HashPieces();
  SetFileSysCalls(old);
  EXPECT_EQ(storage.Error, "");
  EXPECT_EQ(Hashes(storage.Pieces), ExpectedHashes(data.All, 1000, true));
}

// The creation storage drives the progress window.
TEST(QuorvaneBTHashedStorage, ProgressBars) {
  struct TCase {
    const char* Name;
    std::vector<int64_t> Sizes;
    int64_t FileMax;  // of the last file
    int64_t Pieces;
  };
  constexpr int64_t L = 262144;
  const TCase cases[] = {
      {.Name = "1,000,000 bytes", .Sizes = {1000000}, .FileMax = 4, .Pieces = 4},
      {.Name = "exactly two pieces", .Sizes = {524288}, .FileMax = 3, .Pieces = 2},
      {.Name = "two files", .Sizes = {L + 10, L / 2}, .FileMax = 1, .Pieces = 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDataSet data(c.Sizes);
    int64_t total = 0;
    for (auto s : c.Sizes) total += s;
    // Records the bars after every piece.
    struct TWatch : TNullProgress {
      std::vector<std::pair<int64_t, int64_t>> Seen;
      std::vector<std::string> Labels;
      void FileStarted(int64_t index, const std::string& name) override {
        TNullProgress::FileStarted(index, name);
        Labels.push_back(std::to_string(index) + " " + name);
      }
      void SetOverallPosition(int64_t p) override {
        TNullProgress::SetOverallPosition(p);
        Seen.emplace_back(FilePosition(), p);
        EXPECT_LE(FilePosition(), FileMax());
        EXPECT_LE(p, OverallMax());
      }
    } progress;
    progress.SetOverallMax(total / L + 1);
    TQuorvaneBTHashedStorage storage(data.List, data.Dir.Path(), true, L, progress);
    storage.HashPieces();
    EXPECT_EQ(storage.Error, "");
    EXPECT_EQ(storage.PieceCount, c.Pieces);
    EXPECT_EQ(progress.FileMax(), c.FileMax);
    EXPECT_EQ(progress.FileName, "f" + std::to_string(c.Sizes.size() - 1));
    EXPECT_EQ(progress.Labels.back(),
              std::to_string(c.Sizes.size() - 1) + " f" + std::to_string(c.Sizes.size() - 1));
    EXPECT_EQ(progress.Labels.size(), c.Sizes.size());
    // "done": both bars full, Finished enabled and focused, Abort disabled.
    EXPECT_EQ(progress.FilePosition(), progress.FileMax());
    EXPECT_EQ(progress.OverallPosition(), progress.OverallMax());
    EXPECT_TRUE(progress.FinishedEnabled);
    EXPECT_TRUE(progress.FinishedFocused);
    EXPECT_FALSE(progress.AbortEnabled);
  }
}

TEST(QuorvaneBTHashedStorage, FileBarRestartsWithEveryFile) {
  constexpr int64_t L = 262144;
  TDataSet data({L + L / 2, L, 10});
  struct TWatch : TNullProgress {
    std::vector<std::string> Log;
    void SetFilePosition(int64_t p) override {
      TNullProgress::SetFilePosition(p);
      Log.push_back(std::to_string(p) + "/" + std::to_string(FileMax()));
    }
  } progress;
  progress.SetOverallMax(100);
  TQuorvaneBTHashedStorage storage(data.List, data.Dir.Path(), true, L, progress);
  storage.HashPieces();
  // The piece that spans files 0 and 1 is finished in file 1 and counts there.
  const std::vector<std::string> log = {"0/2", "1/2", "0/2", "1/2", "0/1", "1/1", "1/1"};
  EXPECT_EQ(progress.Log, log);
  EXPECT_EQ(progress.OverallPosition(), 100);
}

TEST(QuorvaneBTHashedStorage, AbortFlagComesFromTheProgress) {
  TDataSet data({5000});
  struct TAbortAtOnce : TNullProgress {
    int Pumps = 0;
    void ProcessEvents() override {
      if (++Pumps == 2) SetAborted(true);  // "Abort" pressed while the second read waits
    }
  } progress;
  TQuorvaneBTHashedStorage storage(data.List, data.Dir / "f0", false, 1000, progress);
  storage.HashPieces();
  EXPECT_EQ(storage.PieceCount, 2);  // the read in progress still completes its piece
  EXPECT_TRUE(progress.FinishedEnabled);
}

namespace {

// The lane paths this CPU can run; the wide ones hash 8 or 16 pieces per thread.
std::vector<TShaPath> RunnablePaths() {
  std::vector<TShaPath> paths;
  for (const TShaPath path : {TShaPath::Portable, TShaPath::ShaNi, TShaPath::Avx2, TShaPath::Avx512})
    if (TSha1Lanes::CpuHas(path)) paths.push_back(path);
  return paths;
}

std::vector<int64_t> TinySizes(size_t count, unsigned seed) {
  std::vector<int64_t> sizes;
  uint32_t x = seed;
  for (size_t i = 0; i < count; ++i) {
    x = x * 1103515245u + 12345u;
    sizes.push_back(1 + (x >> 16) % 64);
  }
  return sizes;
}

}  // namespace

// Every thread count and lane count gives the pieces and the reports of one
// reader going through the files in order.
TEST(HashedStorage, WorkersGiveTheResultsOfOneReader) {
  struct TCase {
    const char* Name;
    std::vector<int64_t> Sizes;
    int64_t PieceLength;
  };
  const TCase cases[] = {
      {.Name = "many tiny files", .Sizes = TinySizes(2000, 3), .PieceLength = 4096},
      {.Name = "zero-length files everywhere",
       .Sizes = {0, 5000, 0, 0, 3000, 0, 8192, 0},
       .PieceLength = 4096},
      {.Name = "short last piece, odd piece length", .Sizes = {100000, 3}, .PieceLength = 10000 - 17},
      {.Name = "pieces spanning files", .Sizes = {70000, 1, 65536, 130000, 2, 99999}, .PieceLength = 65536},
      // Bigger than a slice: the piece is streamed through the lane in parts.
      {.Name = "one huge piece", .Sizes = {600000, 900001}, .PieceLength = int64_t{4} << 20},
      {.Name = "more pieces than lanes and threads", .Sizes = {333333}, .PieceLength = 1024},
  };
  for (const auto& c : cases) {
    TDataSet data(c.Sizes);
    const auto expected = ExpectedHashes(data.All, c.PieceLength, true);
    std::vector<std::string> oneReader;
    for (const TShaPath path : RunnablePaths())
      for (const int threads : {1, 2, 3, 7}) {
        SCOPED_TRACE(std::string(c.Name) + ", " + TSha1Lanes::PathName(path) + ", " +
                     std::to_string(threads) + " threads");
        TRecordingStorage storage(data.List, data.Dir.Path(), true, c.PieceLength);
        storage.Threads = threads;
        storage.Sha1Path = path;
        storage.HashPieces();
        EXPECT_EQ(storage.Error, "");
        EXPECT_EQ(Hashes(storage.Pieces), expected);
        if (oneReader.empty()) oneReader = storage.Events;
        EXPECT_EQ(storage.Events, oneReader);
      }
  }
}

TEST(HashedStorage, ReportsComeInReadingOrder) {
  constexpr int64_t L = 1000;
  TDataSet data({L + 100, 0, 3 * L - 100, 10});
  TRecordingStorage storage(data.List, data.Dir.Path(), true, L);
  storage.Threads = 4;
  storage.HashPieces();
  // A piece is reported in the file where it ends; an empty file still gets its report.
  const std::vector<std::string> events = {"start 0",      "file f0 1100", "piece", "file f1 0",
                                           "file f2 2900", "piece",        "piece", "piece",
                                           "file f3 10",   "piece",        "done 0"};
  EXPECT_EQ(storage.Events, events);
}

TEST(HashedStorage, AbortFromAProgressReportStopsTheWorkers) {
  constexpr int64_t L = 4096;
  TDataSet data({200 * L, 50 * L});
  for (const TShaPath path : RunnablePaths()) {
    SCOPED_TRACE(TSha1Lanes::PathName(path));
    TRecordingStorage storage(data.List, data.Dir.Path(), true, L);
    storage.Threads = 3;
    storage.Sha1Path = path;
    storage.OnPiece = [](TRecordingStorage& s) {
      if (s.PieceCount == 17) s.Aborted = true;
    };
    storage.HashPieces();
    EXPECT_EQ(storage.Error, "");
    const auto expected = ExpectedHashes(data.All, L, true);
    EXPECT_EQ(Hashes(storage.Pieces), std::vector<std::string>(expected.begin(), expected.begin() + 17));
    EXPECT_EQ(storage.Events.back(), "done 0");
    EXPECT_EQ(std::count(storage.Events.begin(), storage.Events.end(), "file f1 204800"), 0);
  }
}

namespace {
// A read of the piece at BlockedAt waits until the run lets events run.
std::atomic<int64_t> blockedAt{-1};
std::atomic<bool> released{false};
std::mutex releaseMutex;
std::condition_variable releasedChanged;
}  // namespace

TEST(HashedStorage, AbortWhileWaitingFinishesTheAwaitedPieceOnly) {
  constexpr int64_t L = 1000;
  for (const TShaPath path : RunnablePaths()) {
    SCOPED_TRACE(TSha1Lanes::PathName(path));
    TDataSet data({40 * L});
    TFileSysCalls gated = FileSysCalls();
    gated.Pread = [](int fd, void* buffer, size_t count, off_t offset) -> ssize_t {
      if (offset == blockedAt) {
        std::unique_lock lock(releaseMutex);
        releasedChanged.wait(lock, [] { return released.load(); });
      }
      return ::pread(fd, buffer, count, offset);
    };
    blockedAt = 5 * L;
    released = false;
    const TFileSysCalls old = SetFileSysCalls(gated);
    struct TIdleAbort : TRecordingStorage {
      using TRecordingStorage::TRecordingStorage;
      int64_t AbortedAt = -1;  // the piece awaited when "Abort" was pressed
      void DoIdle() override {
        if (AbortedAt < 0) AbortedAt = PieceCount;
        Aborted = true;  // "Abort" pressed while the run waits (wide lanes hold piece 5 with earlier ones)
        std::lock_guard lock(releaseMutex);
        released = true;
        releasedChanged.notify_all();
      }
    } storage(data.List, data.Dir.Path(), true, L);
    storage.Threads = 2;
    storage.Sha1Path = path;
    storage.HashPieces();
    SetFileSysCalls(old);
    ASSERT_GE(storage.AbortedAt, 0);
    ASSERT_LE(storage.AbortedAt, 5);
    EXPECT_EQ(storage.Error, "");
    const auto expected = ExpectedHashes(data.All, L, true);
    EXPECT_EQ(Hashes(storage.Pieces),
              std::vector<std::string>(expected.begin(), expected.begin() + storage.AbortedAt + 1));
  }
}

// Files that change or vanish once the run has begun: the error names the
// file, whatever the threads, and the pieces before it are all there.
TEST(HashedStorage, WorkersReportFilesThatChange) {
  constexpr int64_t L = 4096;
  struct TCase {
    const char* Name;
    std::function<void(const std::string&)> Break;  // acts on f3 when f0 is announced
    const char* Reason;
  };
  const TCase cases[] = {
      {.Name = "deleted",
       .Break = [](const std::string& p) { std::filesystem::remove(p); },
       .Reason = "No such file or directory"},
      {.Name = "replaced by a folder",
       .Break =
           [](const std::string& p) {
             std::filesystem::remove(p);
             std::filesystem::create_directory(p);
           },
       .Reason = "Is a directory"},
      {.Name = "shortened",
       .Break = [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 100), 0); },
       .Reason = "changed while it was being hashed"},
      {.Name = "grown, one piece's file",
       .Break = [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 3001), 0); },
       .Reason = "changed while it was being hashed"},
  };
  for (const auto& c : cases)
    for (const TShaPath path : RunnablePaths())
      for (const int threads : {1, 2, 5}) {
        SCOPED_TRACE(std::string(c.Name) + ", " + TSha1Lanes::PathName(path) + ", " +
                     std::to_string(threads) + " threads");
        // f3 starts inside piece 11; pieces 0 to 10 come before it.
        TDataSet data({5 * L, 3 * L, 4 * L - 1000, 3000, 7 * L});
        const std::string broken = data.Dir / "f3";
        TRecordingStorage storage(data.List, data.Dir.Path(), true, L);
        storage.Threads = threads;
        storage.Sha1Path = path;
        storage.OnFile = [&](TRecordingStorage&, const std::string& p) {
          if (LastPathComponent(p) == "f0") c.Break(broken);
        };
        storage.HashPieces();
        EXPECT_NE(storage.Error.find("\"" + broken + "\""), std::string::npos) << storage.Error;
        EXPECT_NE(storage.Error.find(c.Reason), std::string::npos) << storage.Error;
        EXPECT_EQ(storage.Pieces.size(), 11u);
        EXPECT_EQ(storage.Events.back(), "done 0");
      }
}
