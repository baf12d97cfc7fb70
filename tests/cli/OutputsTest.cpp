// What create and edit write, and where: never their own torrents as data, one
// file order however the files are named, private torrents for their owner,
// outputs replaced only when asked, and saves that take turns with other writers.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "../support/CliFixture.h"
#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "base/Stream.h"
#include "metainfo/TorrentFile.h"

namespace {

class OutputsTest : public TCliFixture {
 public:
  OutputsTest() {
    Dir.Write("data/a", PatternBytes(100000, 1));
    Dir.Write("data/b", PatternBytes(70000, 2));
  }

  static mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
  }

  // Starts quorvane-cli as RunCli would, but as a child of this process, so a
  // test can signal it; its stderr goes to stderr.txt.
  pid_t Start(const std::vector<std::string>& args) {
    std::filesystem::remove(Dir / "stderr.txt");  // what an earlier command said
    const pid_t child = ::fork();
    if (child == 0) {
      if (::chdir(Dir.Path().c_str()) != 0) ::_exit(126);
      ::setenv("XDG_CACHE_HOME", (Dir / "cache").c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
      const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int null = ::open("/dev/null", O_RDWR);
      if (err < 0 || null < 0) ::_exit(126);
      ::dup2(null, STDIN_FILENO);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      std::vector<char*> argv{const_cast<char*>(QuorvaneCli.c_str())};
      for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return child;
  }

  // Waits (a minute at most) until stderr.txt holds text.
  bool WaitForStderr(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < deadline) {
      if (std::filesystem::exists(Dir / "stderr.txt") &&
          ReadWholeFile(Dir / "stderr.txt").find(text) != std::string::npos)
        return true;
      std::this_thread::yield();
    }
    return false;
  }
};

// mktorrent and the folder walk order by bytes; several FILE operands do too,
// so the same files give one v1 torrent however they are named.
TEST_F(OutputsTest, OneFileOrderHoweverTheFilesAreNamed) {
  Dir.Write("Flat/a", "lower");
  Dir.Write("Flat/B", "upper B");
  Dir.Write("Flat/C", "upper C!");
  ASSERT_EQ(Cli({"create", "-q", "--no-date", "-o", "folder.torrent", "Flat"}).Status, 0);
  ASSERT_EQ(Cli({"create", "-q", "--no-date", "-o", "files.torrent", "Flat/a", "Flat/C", "Flat/B"}).Status,
            0);
  EXPECT_EQ(Paths("folder.torrent"), (std::vector<std::string>{"B", "C", "a"}));
  EXPECT_EQ(Paths("files.torrent"), Paths("folder.torrent"));
  EXPECT_EQ(Load("files.torrent")->InfoHashText, Load("folder.torrent")->InfoHashText);
}

// A second run with --force replaces the first run's torrent: it must not
// become data of the new one, nor may torrents of the run written into the
// data of a later entry.
TEST_F(OutputsTest, CreateNeverHashesItsOwnTorrents) {
  Dir.Write("Self/x", "x data");
  Dir.Write("Data/a", "a data");
  Dir.Write("Data/sub/c", "c data");
  Dir.Write("Data2/a", "a data");
  Dir.Write("Data2/sub/c", "c data");
  Dir.Write("Data2/out/notes", "notes");
  struct TCase {
    const char* Label;
    std::vector<std::string> Args;
    std::string Torrent;               // to look into after each run
    std::vector<std::string> Paths;    // what it holds
    std::vector<std::string> Written;  // the outputs, in the order they are printed
  };
  const std::vector<TCase> cases = {
      {.Label = "-o into the folder itself",
       .Args = {"-o", "Self/", "Self"},
       .Torrent = "Self/Self.torrent",
       .Paths = {"x"},
       .Written = {"Self/Self.torrent"}},
      {.Label = "--each into a folder of an entry",
       .Args = {"--each", "Data/sub", "Data"},
       .Torrent = "Data/sub/sub.torrent",
       .Paths = {"c"},
       .Written = {"Data/sub/a.torrent", "Data/sub/sub.torrent"}},
      {.Label = "--each into an entry of its own",
       .Args = {"--each", "Data2/out", "Data2"},
       .Torrent = "Data2/out/out.torrent",
       .Paths = {"notes"},
       .Written = {"Data2/out/a.torrent", "Data2/out/out.torrent", "Data2/out/sub.torrent"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    std::string first;
    for (const bool again : {false, true}) {
      SCOPED_TRACE(again ? "again, with --force" : "first run");
      std::vector<std::string> args = {"create", "-q", "--no-date"};
      if (again) args.push_back("-f");
      args.insert(args.end(), c.Args.begin(), c.Args.end());
      const TRun run = Cli(args);
      ASSERT_EQ(run.Status, 0) << run.Err;
      std::string lines;
      for (const auto& output : c.Written) lines += Load(output)->InfoHashText + "  " + output + "\n";
      EXPECT_EQ(run.Out, lines);
      EXPECT_EQ(Paths(c.Torrent), c.Paths);
      if (!again) first = ReadWholeFile(Dir / c.Torrent);
      EXPECT_EQ(ReadWholeFile(Dir / c.Torrent), first);
    }
  }

  // --each into the folder itself: an entry's torrent is no entry of its own.
  Dir.Write("Flat/a", "1");
  Dir.Write("Flat/b", "2");
  for (const bool again : {false, true}) {
    const TRun run = Cli({"create", "-q", again ? "-f" : "-q", "--each", "Flat", "Flat"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Dir.List("Flat"), (std::vector<std::string>{"a", "a.torrent", "b", "b.torrent"}));
  }
}

TEST_F(OutputsTest, EachGoesInByteOrderAndSkipsWhatTheWalkSkips) {
  for (const char* name : {"b", "a", "B", "Thumbs.db"}) Dir.Write(std::string("Top/") + name, name);
  Dir.Write("Top/thumbs.db/inner", "a folder of that name is no thumbnail cache");
  ASSERT_EQ(::mkfifo((Dir / "Top/fifo").c_str(), 0600), 0);
  Dir.MakeDir("out");
  const TRun run = Cli({"create", "-q", "--each", "out", "Top"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  std::string lines;
  for (const char* name : {"B", "a", "b", "thumbs.db"})
    lines += Load(std::string("out/") + name + ".torrent")->InfoHashText + "  out/" + name + ".torrent\n";
  EXPECT_EQ(run.Out, lines);
  EXPECT_EQ(Dir.List("out"),
            (std::vector<std::string>{"B.torrent", "a.torrent", "b.torrent", "thumbs.db.torrent"}));
}

// A private torrent's announce URL carries the user's passkey.
TEST_F(OutputsTest, PrivateTorrentsAreTheirOwnersAlone) {
  const mode_t previous = ::umask(022);
  EXPECT_EQ(Cli({"create", "-q", "-o", "public.torrent", "data"}).Status, 0);
  EXPECT_EQ(
      Cli({"create", "-q", "-p", "-a", "http://t.example/pass/announce", "-o", "private.torrent", "data"})
          .Status,
      0);
  EXPECT_EQ(ModeOf(Dir / "public.torrent"), 0644u);
  EXPECT_EQ(ModeOf(Dir / "private.torrent"), 0600u);
  // An edit in place keeps the file's mode, whatever it makes of the flag...
  EXPECT_EQ(Cli({"edit", "public.torrent", "--private", "on"}).Status, 0);
  EXPECT_EQ(ModeOf(Dir / "public.torrent"), 0644u);
  // ... and a copy of a private torrent into a new file is its owner's.
  EXPECT_EQ(Cli({"edit", "public.torrent", "--comment", "c", "-o", "copy.torrent"}).Status, 0);
  EXPECT_EQ(ModeOf(Dir / "copy.torrent"), 0600u);
  ::umask(previous);
}

// edit -o takes its output as create does: an existing file only with
// --force, and a folder gets NAME.torrent.
TEST_F(OutputsTest, EditOutputLikeCreate) {
  ASSERT_EQ(Cli({"create", "-q", "-n", "Album", "-o", "in.torrent", "data"}).Status, 0);
  Dir.Write("taken.torrent", "kept");
  Dir.MakeDir("out");
  struct TCase {
    const char* Label;
    std::vector<std::string> Args;
    int Status;
    std::string Err;
    std::string Written;  // a torrent the edit wrote
  };
  const std::vector<TCase> cases = {
      {.Label = "an existing OUT",
       .Args = {"-o", "taken.torrent"},
       .Status = 1,
       .Err = "quorvane-cli edit: \"taken.torrent\" exists; use --force to replace it\n"},
      {.Label = "--force with standard output", .Args = {"-f", "-o", "-"}, .Status = 2, .Err = "-f"},
      {.Label = "--force without OUT", .Args = {"--force"}, .Status = 2, .Err = "-o OUT"},
      {.Label = "a folder", .Args = {"-o", "out"}, .Status = 0, .Written = "out/Album.torrent"},
      {.Label = "a name ending in /", .Args = {"-o", "new/"}, .Status = 1, .Err = "new/Album.torrent"},
      {.Label = "the folder's torrent exists",
       .Args = {"-o", "out/"},
       .Status = 1,
       .Err = "exists; use --force"},
      {.Label = "--force replaces",
       .Args = {"-f", "-o", "taken.torrent"},
       .Status = 0,
       .Written = "taken.torrent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    std::vector<std::string> args = {"edit", "in.torrent", "--comment", "edited"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const TRun run = Cli(args);
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
    if (!c.Written.empty()) {
      EXPECT_EQ(Load(c.Written)->Comment, "edited");
    }
  }
  EXPECT_EQ(Dir.List("out"), std::vector<std::string>{"Album.torrent"});
  EXPECT_FALSE(std::filesystem::exists(Dir / "new"));
  EXPECT_EQ(Load("in.torrent")->Comment, "");
}

TEST_F(OutputsTest, FullStandardOutputIsReportedOnce) {
  ASSERT_EQ(Cli({"create", "-q", "data"}).Status, 0);
  for (const std::string args : {"create -q -o - data", "edit data.torrent --comment x -o -"}) {
    SCOPED_TRACE(args);
    const TRun run = RunCli(Dir.Path(), args + " >/dev/full");
    EXPECT_EQ(run.Status, 1);
    const std::string line = "Cannot write standard output: No space left on device\n";
    EXPECT_NE(run.Err.find(line), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find("Cannot write"), run.Err.rfind("Cannot write")) << run.Err;
  }
}

// create --force onto a torrent another program is editing waits for it,
// and Ctrl-C while it waits to rename means nothing written and status 130,
// as its --help says.
TEST_F(OutputsTest, CreateTakesTheLockAndCtrlCDuringTheSaveWritesNothing) {
  ASSERT_EQ(Cli({"create", "-q", "-c", "old", "data"}).Status, 0);
  const std::string path = Dir / "data.torrent";
  for (const bool interrupt : {false, true}) {
    SCOPED_TRACE(interrupt ? "Ctrl-C" : "waits its turn");
    const std::string before = ReadWholeFile(path);
    pid_t child = -1;
    {
      TFileLock lock(path, std::chrono::seconds(1), nullptr);
      child = Start({"create", "-q", "-f", "-c", interrupt ? "interrupted" : "new", "data"});
      ASSERT_GT(child, 0);
      ASSERT_TRUE(WaitForStderr("data.torrent: waiting for another program writing it to finish"))
          << ReadWholeFile(Dir / "stderr.txt");
      EXPECT_EQ(ReadWholeFile(path), before);
      if (interrupt)
        ::kill(child, SIGINT);
      else
        WriteWholeFile(path, before);  // this program's own save under its lock goes first
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    const std::string err = ReadWholeFile(Dir / "stderr.txt");
    EXPECT_EQ(WEXITSTATUS(status), interrupt ? 130 : 0) << err;
    if (interrupt) {
      EXPECT_EQ(ReadWholeFile(path), before);
      EXPECT_NE(err.find("Operation Aborted!"), std::string::npos) << err;
    } else {
      EXPECT_EQ(Load("data.torrent")->Comment, "new");
    }
    auto names = Dir.List();
    EXPECT_TRUE(std::none_of(names.begin(), names.end(), [](const std::string& name) {
      return name.find("quorvane-tmp") != std::string::npos;
    }));
  }
}

}  // namespace
