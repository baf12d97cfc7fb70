// The file streams: what a save keeps of the file it replaces, what it leaves
// behind when it fails or is killed, and what a reader refuses to open.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

#include "../support/TempDir.h"
#include "base/Stream.h"

namespace fs = std::filesystem;

namespace {

class StreamTest : public ::testing::Test {
 protected:
  void TearDown() override { SetFileSysCalls(saved_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Put(const std::string& name, const std::string& bytes, mode_t mode = 0644) {
    const std::string path = Path(name);
    fs::create_directories(fs::path(path).parent_path());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    ::chmod(path.c_str(), mode);
    return path;
  }
  // Every entry of a folder, so that a temporary file left behind shows.
  std::set<std::string> List(const std::string& folder = "") const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder.empty() ? dir_ : Path(folder)))
      names.insert(e.path().filename().string());
    return names;
  }
  static mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
  }
  static std::string What(const std::function<void()>& f) {
    try {
      f();
    } catch (const EStreamError& e) {
      return e.what();
    }
    return "no error";
  }

  TTempDir scratch_;
  const std::string dir_ = scratch_.Path();
  const TFileSysCalls saved_ = FileSysCalls();
};

TEST_F(StreamTest, SaveKeepsTheModeAndNewFilesFollowTheUmask) {
  struct Case {
    const char* Name;
    bool Exists;
    mode_t Mode;  // of the old file
    mode_t Umask;
    mode_t Expected;
  };
  const Case cases[] = {
      {.Name = "private torrent", .Exists = true, .Mode = 0600, .Umask = 022, .Expected = 0600},
      {.Name = "group readable", .Exists = true, .Mode = 0640, .Umask = 077, .Expected = 0640},
      {.Name = "world writable kept", .Exists = true, .Mode = 0666, .Umask = 022, .Expected = 0666},
      {.Name = "read-only file", .Exists = true, .Mode = 0444, .Umask = 022, .Expected = 0444},
      {.Name = "new, umask 022", .Exists = false, .Mode = 0, .Umask = 022, .Expected = 0644},
      {.Name = "new, umask 077", .Exists = false, .Mode = 0, .Umask = 077, .Expected = 0600},
      {.Name = "new, umask 002", .Exists = false, .Mode = 0, .Umask = 002, .Expected = 0664},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = Path("f.torrent");
    fs::remove(path);
    if (c.Exists) Put("f.torrent", "old", c.Mode);
    const mode_t previous = ::umask(c.Umask);
    WriteWholeFile(path, "new");
    ::umask(previous);
    EXPECT_EQ(ReadWholeFile(path), "new");
    EXPECT_EQ(ModeOf(path), c.Expected);
    EXPECT_EQ(List(), std::set<std::string>{"f.torrent"});
  }
}

// maxMode narrows a new file and a replaced one alike, and never widens either.
TEST_F(StreamTest, MaxModeOnlyNarrows) {
  struct Case {
    const char* Name;
    bool Exists;
    mode_t Mode;  // of the old file
    mode_t Umask;
    mode_t MaxMode;
    mode_t Expected;
  };
  const Case cases[] = {
      {.Name = "new", .Exists = false, .Mode = 0, .Umask = 022, .MaxMode = 0600, .Expected = 0600},
      {.Name = "new, umask 077", .Exists = false, .Mode = 0, .Umask = 077, .MaxMode = 0600, .Expected = 0600},
      {.Name = "new, umask 0277",
       .Exists = false,
       .Mode = 0,
       .Umask = 0277,
       .MaxMode = 0600,
       .Expected = 0400},
      {.Name = "replacing 0644",
       .Exists = true,
       .Mode = 0644,
       .Umask = 022,
       .MaxMode = 0600,
       .Expected = 0600},
      {.Name = "replacing 0400",
       .Exists = true,
       .Mode = 0400,
       .Umask = 022,
       .MaxMode = 0600,
       .Expected = 0400},
      {.Name = "no cap", .Exists = true, .Mode = 0664, .Umask = 077, .MaxMode = 07777, .Expected = 0664},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = Path("f.torrent");
    fs::remove(path);
    if (c.Exists) Put("f.torrent", "old", c.Mode);
    const mode_t previous = ::umask(c.Umask);
    {
      TSafeFileStream out(path, c.MaxMode);
      out.WriteBuffer("new");
      out.Commit();
    }
    ::umask(previous);
    EXPECT_EQ(ModeOf(path), c.Expected);
  }
}

// Two writers of one file: the one that finds it changed since it loaded it
// fails and says so, and the other's save stays.
TEST_F(StreamTest, ASaveThatLostTheRaceSaysSo) {
  const std::string path = Put("f.torrent", "old");
  const TFileStamp loaded = *StampOf(path);
  {
    TSafeFileStream mine(path);
    mine.ExpectUnchanged(loaded);
    mine.WriteBuffer("mine");
    {
      TSafeFileStream theirs(path);
      theirs.ExpectUnchanged(loaded);
      theirs.WriteBuffer("theirs");
      theirs.Commit();
    }
    EXPECT_EQ(What([&] { mine.Commit(); }),
              "\"" + path + "\" was changed by another program after it was loaded; not saved");
  }
  EXPECT_EQ(ReadWholeFile(path), "theirs");
  EXPECT_EQ(List(), std::set<std::string>{"f.torrent"});

  // A file that appears where none was refuses a save that must not replace one.
  const std::string fresh = Path("new.torrent");
  TSafeFileStream late(fresh);
  late.RefuseExisting();
  late.WriteBuffer("late");
  WriteWholeFile(fresh, "first");
  EXPECT_EQ(What([&] { late.Commit(); }), "Cannot create file \"" + fresh + "\": File exists");
  EXPECT_EQ(ReadWholeFile(fresh), "first");
}

// A save waits while another process holds the file's lock (as an edit does
// from its load to its save), then checks what it finds: with ExpectUnchanged
// it refuses the other's new file, without it replaces it.
TEST_F(StreamTest, ASaveWaitsForAnotherWritersLock) {
  struct Case {
    const char* Name;
    bool Expect;
    std::string Final;
    std::string Error;
  };
  const Case cases[] = {
      {.Name = "an edit's save",
       .Expect = true,
       .Final = "theirs",
       .Error = "was changed by another program"},
      {.Name = "a create -f", .Expect = false, .Final = "mine", .Error = "no error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = Put("f.torrent", "old");
    const TFileStamp loaded = *StampOf(path);
    int locked[2], go[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(locked[0]);
      ::close(go[1]);
      TFileLock lock(path, std::chrono::seconds(1), nullptr);
      char byte = 'l';
      if (::write(locked[1], &byte, 1) != 1) ::_exit(3);
      // Saves once the parent waits for the lock (or has given up on it).
      if (::read(go[0], &byte, 1) < 0) ::_exit(3);
      try {
        WriteWholeFile(path, "theirs");
      } catch (...) {
        ::_exit(4);
      }
      ::_exit(0);
    }
    ::close(locked[1]);
    ::close(go[0]);
    char byte = 0;
    ASSERT_EQ(::read(locked[0], &byte, 1), 1);
    bool waited = false;
    TSafeFileStream::SetWaitNotice([&](const std::string& target) {
      EXPECT_EQ(target, path);
      waited = true;
      const char go1 = 'g';
      EXPECT_EQ(::write(go[1], &go1, 1), 1);
    });
    std::string error;
    {
      TSafeFileStream mine(path);
      if (c.Expect) mine.ExpectUnchanged(loaded);
      mine.WriteBuffer("mine");
      error = What([&] { mine.Commit(); });
    }
    TSafeFileStream::SetWaitNotice(nullptr);
    ::close(go[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(locked[0]);
    EXPECT_TRUE(waited);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(error.find(c.Error), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile(path), c.Final);
    EXPECT_EQ(List(), std::set<std::string>{"f.torrent"});
  }
}

TEST_F(StreamTest, SaveKeepsOwnerAndGroupWhereAllowed) {
  const std::string path = Put("f.torrent", "old", 0640);
  const bool root = ::geteuid() == 0;
  // Only root may hand a file to someone else; others keep their own.
  const uid_t owner = root ? 4242 : ::geteuid();
  const gid_t group = root ? 4343 : ::getegid();
  ASSERT_EQ(::chown(path.c_str(), owner, group), 0);
  WriteWholeFile(path, "new");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, owner);
  EXPECT_EQ(st.st_gid, group);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(StreamTest, SaveWritesThroughSymlinks) {
  struct Case {
    const char* Name;
    std::vector<std::pair<const char*, const char*>> Links;  // link -> what it holds
    const char* Saved;                                       // the name the save is given
    const char* Real;                                        // the file that must change
  };
  const Case cases[] = {
      {.Name = "relative link",
       .Links = {{"l.torrent", "real.torrent"}},
       .Saved = "l.torrent",
       .Real = "real.torrent"},
      {.Name = "link into another folder",
       .Links = {{"l.torrent", "store/real.torrent"}},
       .Saved = "l.torrent",
       .Real = "store/real.torrent"},
      {.Name = "relative link inside a folder",
       .Links = {{"links/l.torrent", "../store/real.torrent"}},
       .Saved = "links/l.torrent",
       .Real = "store/real.torrent"},
      {.Name = "chain of links",
       .Links = {{"a.torrent", "b.torrent"}, {"b.torrent", "store/real.torrent"}},
       .Saved = "a.torrent",
       .Real = "store/real.torrent"},
      {.Name = "absolute link",
       .Links = {{"l.torrent", "@store/real.torrent"}},
       .Saved = "l.torrent",
       .Real = "store/real.torrent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const std::string real = Put(c.Real, "old", 0600);
    for (const auto& [link, to] : c.Links) {
      fs::create_directories(fs::path(Path(link)).parent_path());
      const std::string held = to[0] == '@' ? Path(to + 1) : to;
      ASSERT_EQ(::symlink(held.c_str(), Path(link).c_str()), 0);
    }
    WriteWholeFile(Path(c.Saved), "new");
    EXPECT_EQ(ReadWholeFile(real), "new");
    EXPECT_EQ(ModeOf(real), 0600u);
    for (const auto& [link, to] : c.Links) {
      EXPECT_TRUE(fs::is_symlink(Path(link))) << link;
      EXPECT_EQ(fs::read_symlink(Path(link)).string(), to[0] == '@' ? Path(to + 1) : std::string(to));
    }
    // No temporary file anywhere.
    for (const auto& e : fs::recursive_directory_iterator(dir_))
      EXPECT_EQ(e.path().string().find(".torrent."), std::string::npos) << e.path();
  }
}

TEST_F(StreamTest, DanglingLinkCreatesTheFileItNames) {
  ASSERT_EQ(::symlink("new.torrent", Path("l.torrent").c_str()), 0);
  WriteWholeFile(Path("l.torrent"), "bytes");
  EXPECT_TRUE(fs::is_symlink(Path("l.torrent")));
  EXPECT_EQ(ReadWholeFile(Path("new.torrent")), "bytes");
}

TEST_F(StreamTest, LinkLoopIsAnError) {
  ASSERT_EQ(::symlink("b", Path("a").c_str()), 0);
  ASSERT_EQ(::symlink("a", Path("b").c_str()), 0);
  EXPECT_EQ(What([&] { WriteWholeFile(Path("a"), "x"); }),
            "Cannot create file \"" + Path("a") + "\": Too many levels of symbolic links");
}

TEST_F(StreamTest, SaveNeverReplacesWhatIsNotAFile) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  fs::create_directories(Path("folder"));
  EXPECT_EQ(What([&] { WriteWholeFile(Path("fifo"), "x"); }),
            "Cannot create file \"" + Path("fifo") + "\": Not a regular file");
  EXPECT_EQ(What([&] { WriteWholeFile(Path("folder"), "x"); }),
            "Cannot create file \"" + Path("folder") + "\": Is a directory");
  EXPECT_TRUE(fs::is_fifo(Path("fifo")));
  EXPECT_EQ(List(), (std::set<std::string>{"fifo", "folder"}));
}

ssize_t NoSpace(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}
// Half of the first write lands, then the disk is full.
ssize_t FillsUp(int fd, const void* buffer, size_t count) {
  static bool first = true;
  if (first && count > 1) {
    first = false;
    return ::write(fd, buffer, count / 2);
  }
  first = true;
  return NoSpace(fd, buffer, count);
}
ssize_t NoProgress(int, const void*, size_t) { return 0; }

TEST_F(StreamTest, FullDiskNamesThePathAndKeepsTheOldFile) {
  struct Case {
    const char* Name;
    ssize_t (*Write)(int, const void*, size_t);
    const char* Reason;
  };
  const Case cases[] = {
      {.Name = "no space at once", .Write = NoSpace, .Reason = "No space left on device"},
      {.Name = "no space half-way", .Write = FillsUp, .Reason = "No space left on device"},
      {.Name = "a write that writes nothing", .Write = NoProgress, .Reason = "Input/output error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = Put("f.torrent", "precious", 0600);
    TFileSysCalls calls = saved_;
    calls.Write = c.Write;
    SetFileSysCalls(calls);
    const std::string error = What([&] { WriteWholeFile(path, std::string(100000, 'x')); });
    SetFileSysCalls(saved_);
    EXPECT_EQ(error, "Cannot write " + path + ": " + c.Reason);
    EXPECT_EQ(ReadWholeFile(path), "precious");
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(List(), std::set<std::string>{"f.torrent"});
  }
}

TEST_F(StreamTest, RealFullDevice) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TFileStream out("/dev/full", TFileMode::Create);
  EXPECT_EQ(What([&] { out.WriteBuffer(std::string(10, 'x')); }),
            "Cannot write /dev/full: No space left on device");
}

// A generic stream still reports a short write in its own words.
TEST_F(StreamTest, ShortWriteOfAnyStream) {
  struct TTiny : TMemoryStream {
    int64_t Write(const void* b, int64_t n) override {
      return TMemoryStream::Write(b, std::min<int64_t>(n, 2));
    }
  } tiny;
  EXPECT_EQ(What([&] { tiny.WriteBuffer(std::string("abc")); }), "Stream write error");
}

// A name of up to 255 bytes saves; the temporary name beside it stays within
// the limit, hidden and recognisable, and is never cut inside a UTF-8 sequence.
TEST_F(StreamTest, LongNamesSaveThroughShortTemporaryNames) {
  const std::string euro = "\xE2\x82\xAC";
  struct TCase {
    std::string Name;
  } cases[] = {
      {"a.torrent"},
      {std::string(247, 'n') + ".torrent"},
      {std::string(241, 'n') + ".torrent"},
      {std::string(255, 'n')},
      {std::string(1, 'x') +
       [&] {
         std::string s;
         for (int i = 0; i < 84; ++i) s += euro;
         return s;
       }() +
       "y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name.size());
    const std::string pattern = TSafeFileStream::TemporaryNameFor(Path(c.Name));
    const std::string tempName = pattern.substr(pattern.rfind('/') + 1);
    EXPECT_EQ(pattern.substr(0, pattern.rfind('/')), dir_);
    EXPECT_LE(tempName.size(), 255u);
    EXPECT_EQ(tempName.front(), '.');
    EXPECT_TRUE(tempName.ends_with(".quorvane-tmp-XXXXXX")) << tempName;
    const std::string kept = tempName.substr(1, tempName.size() - 1 - 20);
    EXPECT_TRUE(c.Name.starts_with(kept));
    // The kept part ends on a whole character: no euro sign cut in two.
    if (kept.starts_with("x" + euro)) {
      EXPECT_EQ((kept.size() - 1) % 3, 0u) << kept.size();
    }

    WriteWholeFile(Path(c.Name), "first");
    WriteWholeFile(Path(c.Name), "second");
    EXPECT_EQ(ReadWholeFile(Path(c.Name)), "second");
    EXPECT_EQ(List(), std::set<std::string>{c.Name});
    fs::remove(Path(c.Name));
  }
}

TEST_F(StreamTest, ReaderRefusesWhatIsNotARegularFile) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);  // nobody ever writes to it
  fs::create_directories(Path("folder"));
  Put("file", "bytes");
  // A reader that blocks on the FIFO fails here instead of hanging the run.
  ::alarm(120);
  struct Case {
    const char* Name;
    std::string Path;
    TFileMode Mode;
    std::string Expected;  // "" when it opens
  };
  const Case cases[] = {
      {.Name = "FIFO", .Path = Path("fifo"), .Mode = TFileMode::OpenRead, .Expected = "Not a regular file"},
      {.Name = "device", .Path = "/dev/null", .Mode = TFileMode::OpenRead, .Expected = "Not a regular file"},
      {.Name = "folder", .Path = Path("folder"), .Mode = TFileMode::OpenRead, .Expected = "Is a directory"},
      {.Name = "missing",
       .Path = Path("none"),
       .Mode = TFileMode::OpenRead,
       .Expected = "No such file or directory"},
      {.Name = "file", .Path = Path("file"), .Mode = TFileMode::OpenRead, .Expected = ""},
      {.Name = "any: folder",
       .Path = Path("folder"),
       .Mode = TFileMode::OpenReadAny,
       .Expected = "Is a directory"},
      {.Name = "any: FIFO without writer",
       .Path = Path("fifo"),
       .Mode = TFileMode::OpenReadAny,
       .Expected = ""},
      {.Name = "any: device", .Path = "/dev/null", .Mode = TFileMode::OpenReadAny, .Expected = ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string error = What([&] {
      TFileStream in(c.Path, c.Mode);
      char buffer[16];
      // A FIFO without a writer reads as empty rather than waiting for one.
      EXPECT_EQ(in.Read(buffer, sizeof buffer), c.Path == Path("file") ? 5 : 0);
    });
    EXPECT_EQ(error, c.Expected.empty() ? "no error" : "Cannot open file \"" + c.Path + "\": " + c.Expected);
  }
  EXPECT_EQ(What([&] { ReadWholeFile(Path("fifo")); }),
            "Cannot open file \"" + Path("fifo") + "\": Not a regular file");
  ::alarm(0);
}

// A child process saves through a write that stops half-way; the signal kills
// it there. The temporary file must go with it, the old file must stay.
class SignalDuringSave : public StreamTest {
 protected:
  static inline int reached_ = -1;  // the child tells the parent it is writing
  static ssize_t StallingWrite(int fd, const void* buffer, size_t count) {
    const ssize_t n = ::write(fd, buffer, std::min<size_t>(count, 4096));
    char ready = 'w';
    if (::write(reached_, &ready, 1) != 1) ::_exit(3);
    for (;;) ::pause();  // until the signal ends the process
    return n;
  }

  // Returns the child's wait status.
  int SaveAndKill(const std::string& target, int sig, const std::function<void()>& setUp) {
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(pipeFds[0]);
      reached_ = pipeFds[1];
      setUp();
      TFileSysCalls calls = FileSysCalls();
      calls.Write = StallingWrite;
      SetFileSysCalls(calls);
      try {
        WriteWholeFile(target, std::string(1 << 20, 'n'));
      } catch (...) {
      }
      ::_exit(3);  // the write never returns
    }
    ::close(pipeFds[1]);
    pollfd ready{pipeFds[0], POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 60000), 1) << "the child never started writing";
    // Proof the save was under way: its temporary file is there, named for its target.
    EXPECT_EQ(List().size(), 2u);
    for (const auto& name : List())
      if (name != fs::path(target).filename().string()) {
        EXPECT_TRUE(name.starts_with("." + fs::path(target).filename().string() + ".quorvane-tmp-")) << name;
      }
    ::kill(child, sig);
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    ::close(pipeFds[0]);
    return status;
  }
};

TEST_F(SignalDuringSave, TemporaryFileGoesWithTheProcess) {
  // SIGHUP: the terminal or ssh session that ran the command closed.
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    const std::string path = Put("f.torrent", "old", 0600);
    const int status = SaveAndKill(path, sig, [] { InstallTempFileCleanup(); });
    // The signal keeps its meaning for whoever waits on the process.
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_EQ(List(), std::set<std::string>{"f.torrent"});
    EXPECT_EQ(ReadWholeFile(path), "old");
  }
}

TEST(TempFileCleanup, LeavesIgnoredSignalsAndOtherHandlersAlone) {
  // nohup's ignored SIGTERM must not start killing the program, and a command
  // with its own Ctrl-C handling (create's "interrupted") keeps it.
  static void (*const own)(int) = [](int) {};
  struct sigaction after {};
  ::signal(SIGTERM, SIG_IGN);
  ::signal(SIGINT, own);
  InstallTempFileCleanup();
  ::sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, SIG_IGN);
  ::sigaction(SIGINT, nullptr, &after);
  EXPECT_EQ(after.sa_handler, own);
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
}

}  // namespace
