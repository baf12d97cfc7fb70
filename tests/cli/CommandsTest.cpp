// create, edit and verify run as programs: exit statuses and refusals, in tables.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "base/Stream.h"
#include "metainfo/TorrentFile.h"

namespace {

class CommandsTest : public ::testing::Test {
 public:
  CommandsTest() {
    // The tracker list the names resolve against.
    Dir.Write("cache/quorvane/trackers.lst",
              ReadWholeFile(QUORVANE_SOURCE_DIR "/src/trackers/data/trackers.lst"));
    Dir.Write("data/a", PatternBytes(100000, 1));
    Dir.Write("data/b", PatternBytes(700000, 2));
    Dir.Write("data/c", PatternBytes(50000, 3));
    Dir.MakeDir("empty/inner");
  }

  TRun Cli(const std::vector<std::string>& args) { return RunCli(Dir.Path(), ShellWords(args)); }

  std::unique_ptr<TTorrentFile> Load(const std::string& name) {
    auto torrent = std::make_unique<TTorrentFile>();
    TMemoryStream stream(ReadWholeFile(Dir / name));
    EXPECT_TRUE(torrent->LoadFromStream(stream));
    return torrent;
  }

  TTempDir Dir;
};

struct TCase {
  const char* Label;
  std::vector<std::string> Args;
  int Status;
  std::string Err{};  // a part of stderr
  std::function<void(CommandsTest&)> Before = nullptr;
};

void RunTable(CommandsTest& test, std::function<TRun(const std::vector<std::string>&)> run,
              const std::vector<TCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    if (c.Before) c.Before(test);
    const TRun result = run(c.Args);
    EXPECT_EQ(result.Status, c.Status) << result.Err;
    EXPECT_NE(result.Err.find(c.Err), std::string::npos) << result.Err;
  }
}

TEST_F(CommandsTest, CreateRefusals) {
  const std::vector<TCase> cases = {
      {.Label = "a typo of a list name",
       .Args = {"create", "-q", "-a", "OpenTrakr", "data"},
       .Status = 2,
       .Err =
           "-a \"OpenTrakr\" is neither an announce URL (http, https, udp or wss) nor a tracker of the list; "
           "closest names: \"OpenTrackr\""},
      {.Label = "not a URL",
       .Args = {"create", "-q", "-a", "not a url", "data"},
       .Status = 2,
       .Err = "closest names"},
      {.Label = "a URL of another scheme", .Args = {"create", "-q", "-a", "ftp://x/a", "data"}, .Status = 2},
      {.Label = "a back-up typo",
       .Args = {"create", "-q", "-b", "Exodsu", "data"},
       .Status = 2,
       .Err = "\"Exodus\""},
      {.Label = "no data", .Args = {"create", "-q", "empty"}, .Status = 1, .Err = "\"empty\" holds no data"},
      {.Label = "--json with -o -", .Args = {"create", "--json", "-o", "-", "data"}, .Status = 2},
      {.Label = "--each with --name", .Args = {"create", "--each", "empty", "-n", "x", "data"}, .Status = 2},
      {.Label = "--name ..", .Args = {"create", "-n", "..", "data"}, .Status = 2},
      {.Label = "unknown option in a bundle",
       .Args = {"create", "-qz", "data"},
       .Status = 2,
       .Err = "\"-z\""},
      {.Label = "no such output folder",
       .Args = {"create", "-q", "-o", "no/such/x.torrent", "data"},
       .Status = 1,
       .Err = "Cannot create file \"no/such/x.torrent\": No such file or directory"},
  };
  RunTable(
      *this, [this](const auto& args) { return Cli(args); }, cases);
  EXPECT_EQ(Dir.List(), (std::vector<std::string>{"cache", "data", "empty", "stderr.txt"}));
}

TEST_F(CommandsTest, CreateForms) {
  // Bundled flags, --opt=value, a name from the list, and the result line.
  TRun run =
      Cli({"create", "-qfp", "--source=SRC", "-a", "OpenTrackr", "-w", "http://w/", "--no-date", "data"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto made = Load("data.torrent");
  EXPECT_EQ(run.Out, made->InfoHashText + "  data.torrent\n");
  EXPECT_TRUE(made->Private);
  EXPECT_EQ(made->Source, "SRC");
  EXPECT_EQ(made->Announce(), "udp://tracker.opentrackr.org:1337/announce");
  EXPECT_EQ(made->WebSeeds, std::vector<std::string>{"http://w/"});
  EXPECT_EQ(DateTimeOf(*made), 0);

  // -o -: the torrent on stdout, the result line on stderr.
  run = Cli({"create", "-q", "-o", "-", "-p", "--no-date", "-a", "OpenTrackr", "-s", "SRC", "-w", "http://w/",
             "data"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, ReadWholeFile(Dir / "data.torrent"));
  EXPECT_EQ(run.Err, made->InfoHashText + "  -\n");
  EXPECT_FALSE(std::filesystem::exists(Dir / "-"));

  // "--" ends the options: a PATH may start with "-".
  Dir.Write("-odd", "x");
  run = Cli({"create", "-q", "--", "-odd"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(std::filesystem::exists(Dir / "-odd.torrent"));
}

TEST_F(CommandsTest, CreateEachRefusesOnlyATorrentItWouldWrite) {
  Dir.Write("Shows/a.bin", "hello\n");
  Dir.Write("Shows/info.nfo", "x\n");
  ASSERT_EQ(::mkfifo((Dir / "Shows/pipe").c_str(), 0600), 0);
  // An excluded entry and a FIFO make no torrent: these stay as they are.
  Dir.Write("out/info.nfo.torrent", "kept");
  Dir.Write("out/pipe.torrent", "kept");
  const std::vector<std::string> each = {"create", "-q", "--exclude", "*.nfo", "--each", "out", "Shows"};

  Dir.Write("out/a.bin.torrent", "kept");
  TRun run = Cli(each);
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "quorvane-cli create: \"out/a.bin.torrent\" exists; use --force to replace it\n");
  EXPECT_EQ(ReadWholeFile(Dir / "out/a.bin.torrent"), "kept");

  std::filesystem::remove(Dir / "out/a.bin.torrent");
  run = Cli(each);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, Load("out/a.bin.torrent")->InfoHashText + "  out/a.bin.torrent\n");
  EXPECT_EQ(ReadWholeFile(Dir / "out/info.nfo.torrent"), "kept");
  EXPECT_EQ(ReadWholeFile(Dir / "out/pipe.torrent"), "kept");
}

TEST_F(CommandsTest, CreateResultLinesAreCleanedForTheTerminal) {
  Dir.Write("evil\nname\x1b[31m", "data");
  const TRun run = Cli({"create", "-q", "evil\nname\x1b[31m"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.find('\x1b'), std::string::npos);
  EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 1) << run.Out;
}

TEST_F(CommandsTest, RefusalsNameTheFileCleanedForTheTerminal) {
  const std::string damaged = "bad\x1b[31m.torrent";
  const std::string good = "good\x1b[31m.torrent";
  Dir.Write(damaged, "d4:infod4:name1:xee");
  ASSERT_EQ(Cli({"create", "-q", "-o", good, "data/a"}).Status, 0);
  const std::vector<TCase> cases = {
      {.Label = "edit, damaged",
       .Args = {"edit", "--comment", "x", damaged},
       .Status = 1,
       .Err = "is damaged"},
      {.Label = "verify, damaged", .Args = {"verify", damaged}, .Status = 1, .Err = "is damaged"},
      {.Label = "show, damaged", .Args = {"show", damaged}, .Status = 1, .Err = "is damaged"},
      {.Label = "show, missing", .Args = {"show", "gone\x1b[31m.torrent"}, .Status = 1, .Err = "gone"},
      {.Label = "edit, no such file index",
       .Args = {"edit", "--rename", "5=y", good},
       .Status = 2,
       .Err = "no file 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const TRun run = Cli(c.Args);
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find('\x1b'), std::string::npos) << run.Err;
  }
}

// A rename of a torrent with v2 data would leave its file tree naming the old
// files; a length beyond 64 bits would be written back wrapped. Both leave
// the file as it was.
TEST_F(CommandsTest, EditRefusesWhatItCannotWriteBackWhole) {
  auto str = [](const std::string& s) { return std::to_string(s.size()) + ":" + s; };
  const std::string hash(20, '\x01');
  const std::string hybrid = "d8:announce" + str("http://t/a") +
                             "4:infod9:file treed5:movied0:d6:lengthi5e11:pieces root" +
                             str(std::string(32, '\x02')) +
                             "eee6:lengthi5e12:meta versioni2e4:name5:movie12:piece lengthi16384e6:pieces" +
                             str(hash) + "e12:piece layersde" + "e";
  const std::string multi = "d8:announce" + str("http://t/a") +
                            "4:infod5:filesld6:lengthi5e4:pathl1:aeee12:meta versioni2e4:name3:top12:piece "
                            "lengthi16384e6:pieces" +
                            str(hash) + "ee";
  Dir.Write("hybrid.torrent", hybrid);
  Dir.Write("multi.torrent", multi);
  const std::string overflow =
      ReadWholeFile(QUORVANE_SOURCE_DIR "/tests/metainfo/broken/file-length-over-64-bits.torrent");
  Dir.Write("overflow.torrent", overflow);
  const std::string refused = "renaming such a torrent or its files is not supported yet";
  const std::vector<TCase> cases = {
      {.Label = "--name of a hybrid",
       .Args = {"edit", "--name", "film", "hybrid.torrent"},
       .Status = 1,
       .Err = "hybrid.torrent: This torrent holds BitTorrent v2 data"},
      {.Label = "--rename of a hybrid",
       .Args = {"edit", "--rename", "0=b", "multi.torrent"},
       .Status = 1,
       .Err = refused},
      {.Label = "--name with -o",
       .Args = {"edit", "--name", "x", "-o", "out.torrent", "multi.torrent"},
       .Status = 1,
       .Err = refused},
      {.Label = "a wrapped length",
       .Args = {"edit", "--name", "m", "overflow.torrent"},
       .Status = 1,
       .Err = "does not fit in 64 bits"},
  };
  RunTable(
      *this, [this](const auto& args) { return Cli(args); }, cases);
  EXPECT_EQ(ReadWholeFile(Dir / "hybrid.torrent"), hybrid);
  EXPECT_EQ(ReadWholeFile(Dir / "multi.torrent"), multi);
  EXPECT_EQ(ReadWholeFile(Dir / "overflow.torrent"), overflow);
  EXPECT_FALSE(std::filesystem::exists(Dir / "out.torrent"));

  // Any other edit keeps the v2 parts.
  const TRun run = Cli({"edit", "--private", "on", "--comment", "c", "--source", "S", "hybrid.torrent"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string saved = ReadWholeFile(Dir / "hybrid.torrent");
  EXPECT_NE(saved.find("9:file treed5:movied0:d6:lengthi5e"), std::string::npos) << saved;
  EXPECT_NE(saved.find("12:meta versioni2e"), std::string::npos) << saved;
  EXPECT_NE(saved.find("12:piece layersde"), std::string::npos) << saved;
}

TEST_F(CommandsTest, Verify) {
  ASSERT_EQ(Cli({"create", "-q", "data"}).Status, 0);
  Dir.Write("broken.torrent", "d4:infod4:name1:xee");
  auto flip = [](CommandsTest& t) {
    std::string bytes = ReadWholeFile(t.Dir / "data/b");
    bytes[300000] ^= 1;
    WriteWholeFile(t.Dir / "data/b", bytes);
  };
  const std::vector<TCase> cases = {
      {.Label = "untouched", .Args = {"verify", "data.torrent"}, .Status = 0},
      {.Label = "data named", .Args = {"verify", "-q", "data.torrent", "data"}, .Status = 0},
      {.Label = "one flipped byte", .Args = {"verify", "data.torrent"}, .Status = 1, .Before = flip},
      {.Label = "data elsewhere", .Args = {"verify", "data.torrent", "nowhere"}, .Status = 1},
      {.Label = "damaged torrent", .Args = {"verify", "broken.torrent"}, .Status = 1, .Err = "is damaged"},
      {.Label = "no torrent", .Args = {"verify", "none.torrent"}, .Status = 1, .Err = "none.torrent"},
      {.Label = "no FILE", .Args = {"verify"}, .Status = 2, .Err = "no FILE given"},
      {.Label = "three operands", .Args = {"verify", "a", "b", "c"}, .Status = 2},
      {.Label = "unknown option", .Args = {"verify", "--x", "data.torrent"}, .Status = 2},
  };
  RunTable(
      *this, [this](const auto& args) { return Cli(args); }, cases);
  const TRun run = Cli({"verify", "data.torrent"});
  EXPECT_EQ(run.Out, "damaged: b: bytes 162144-424287 (piece 1)\n1 of 4 pieces do not match\n");
}

// Output cut short is a failure: each command's report into a full device
// exits 1 and says why, instead of 0 with half a report.
TEST_F(CommandsTest, FullStandardOutputIsAFailure) {
  ASSERT_EQ(Cli({"create", "-q", "data"}).Status, 0);
  const std::vector<std::vector<std::string>> commands = {
      {"show", "data.torrent"},
      {"show", "--json", "data.torrent"},
      {"verify", "data.torrent"},
      {"trackers"},
      {"--version"},
      {"show", "--help"},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(ShellWords(args));
    ASSERT_EQ(Cli(args).Status, 0) << "the command itself succeeds";
    const TRun run = RunCli(Dir.Path(), ShellWords(args) + " >/dev/full");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("Cannot write standard output: No space left on device"), std::string::npos)
        << run.Err;
  }
}

// Two edits of one file take turns: the test holds the lock as another editor
// would, saves its own change by rename while the CLI's edit waits, and both
// changes end up in the file.
TEST_F(CommandsTest, EditsOfOneFileTakeTurns) {
  ASSERT_EQ(Cli({"create", "-q", "data"}).Status, 0);
  const std::string path = Dir / "data.torrent";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  auto edit = std::async(std::launch::async, [&] {
    return Cli({"edit", "data.torrent", "--comment", "mine"});
  });
  // Wait for the edit to meet the lock, by what it says (a minute at most).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (ReadWholeFile(Dir / "stderr.txt").find("waiting for another edit") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_NE(ReadWholeFile(Dir / "stderr.txt").find("waiting for another edit"), std::string::npos);
  {
    auto other = Load("data.torrent");
    other->SetWebSeeds({"http://seed.example/"});
    TSafeFileStream out(path);
    other->SaveToStream(out, other->Pieces);
    out.Commit();
  }
  ::close(fd);
  const TRun run = edit.get();
  EXPECT_EQ(run.Status, 0) << run.Err;
  auto result = Load("data.torrent");
  EXPECT_EQ(result->Comment, "mine");
  EXPECT_EQ(result->WebSeeds, std::vector<std::string>{"http://seed.example/"});
}

TEST_F(CommandsTest, EditSeveralFiles) {
  ASSERT_EQ(Cli({"create", "-q", "-a", "http://a/ann", "-o", "one.torrent", "data"}).Status, 0);
  ASSERT_EQ(Cli({"create", "-q", "-a", "http://a/ann", "-o", "two.torrent", "data/b"}).Status, 0);
  Dir.Write("broken.torrent", "not bencoded");
  TRun run = Cli({"edit", "one.torrent", "broken.torrent", "two.torrent", "--replace-tracker", "a/", "b/"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("broken.torrent is damaged, not saved"), std::string::npos) << run.Err;
  EXPECT_EQ(Load("one.torrent")->Announce(), "http://b/ann");
  EXPECT_EQ(Load("two.torrent")->Announce(), "http://b/ann");
  EXPECT_EQ(run.Out, Load("one.torrent")->InfoHashText + "  one.torrent\n" +
                         Load("two.torrent")->InfoHashText + "  two.torrent\n");
  EXPECT_EQ(ReadWholeFile(Dir / "broken.torrent"), "not bencoded");

  // A private flag changes the info hash: said on stderr, exit 0.
  const std::string before = Load("one.torrent")->InfoHashText;
  run = Cli({"edit", "--private=on", "one.torrent"});
  EXPECT_EQ(run.Status, 0);
  const std::string after = Load("one.torrent")->InfoHashText;
  EXPECT_EQ(run.Err, "quorvane-cli edit: one.torrent: info hash changes: " + before + " -> " + after +
                         "; peers of the old torrent will not find this one\n");
}

}  // namespace
