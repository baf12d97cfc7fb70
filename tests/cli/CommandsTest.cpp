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

#include "../support/CliFixture.h"
#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "base/Stream.h"
#include "base/Terminal.h"
#include "digest/MessageDigests.h"
#include "metainfo/TorrentFile.h"

namespace {

class CommandsTest : public TCliFixture {
 public:
  CommandsTest() {
    Dir.Write("data/a", PatternBytes(100000, 1));
    Dir.Write("data/b", PatternBytes(700000, 2));
    Dir.Write("data/c", PatternBytes(50000, 3));
    Dir.MakeDir("empty/inner");
  }

  // create -qf with options, then the PATHs.
  TRun Create(const std::vector<std::string>& options, const std::vector<std::string>& paths = {}) {
    std::vector<std::string> args = {"create", "-qf"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), paths.begin(), paths.end());
    return Cli(args);
  }
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

// A folder of only empty files is refused with one line, whatever the format
// and however the result is asked for.
TEST_F(CommandsTest, CreateNoDataIsOneLineInEveryFormat) {
  Dir.Write("zeros/a", "");
  Dir.Write("zeros/b/c", "");
  const std::string line =
      "quorvane-cli create: \"zeros\" holds no data (no files, or only empty ones); a torrent needs at least "
      "one byte.\n";
  for (const char* format : {"v1", "hybrid", "v2"}) {
    for (const std::vector<std::string>& output :
         {std::vector<std::string>{}, {"--json"}, {"-o", "-"}, {"--each", "each"}}) {
      SCOPED_TRACE(std::string(format) + (output.empty() ? "" : " " + output.front()));
      Dir.MakeDir("each");
      std::vector<std::string> args = {"create", "-q", "--format", format};
      args.insert(args.end(), output.begin(), output.end());
      args.push_back(output.empty() || output.front() != "--each" ? "zeros" : "zeros/b");
      const TRun run = Cli(args);
      EXPECT_EQ(run.Status, 1);
      EXPECT_EQ(run.Out, "");
      const std::string expected = output.empty() || output.front() != "--each"
                                       ? line
                                       : "quorvane-cli create: \"c\" holds no data (no files, or only empty "
                                         "ones); a torrent needs at least one byte.\n";
      EXPECT_EQ(run.Err, expected);
    }
  }
  EXPECT_EQ(Dir.List("each"), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(Dir / "zeros.torrent"));
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
  const std::string multi =
      "d8:announce" + str("http://t/a") + "4:infod9:file treed1:ad0:d6:lengthi16384e11:pieces root" +
      str(std::string(32, '\x02')) + "ee1:cd0:d6:lengthi5e11:pieces root" + str(std::string(32, '\x03')) +
      "eee5:filesld6:lengthi16384e4:pathl1:aeed6:lengthi5e4:pathl1:ceee12:meta versioni2e4:"
      "name3:top12:piece lengthi16384e6:pieces" +
      str(hash + hash) + "ee";
  Dir.Write("hybrid.torrent", hybrid);
  Dir.Write("multi.torrent", multi);
  const std::string overflow =
      ReadWholeFile(QUORVANE_SOURCE_DIR "/tests/metainfo/broken/file-length-over-64-bits.torrent");
  Dir.Write("overflow.torrent", overflow);
  const std::string refused = "this rename cannot be carried into its v2 file tree";
  const std::vector<TCase> cases = {
      // Renames that would change the order of the files in the tree.
      {.Label = "--name of a hybrid",
       .Args = {"edit", "--name", "film", "--rename", "0=d", "multi.torrent"},
       .Status = 1,
       .Err = "multi.torrent: This torrent holds BitTorrent v2 data"},
      {.Label = "--rename of a hybrid",
       .Args = {"edit", "--rename", "1=0", "multi.torrent"},
       .Status = 1,
       .Err = refused},
      {.Label = "--name with -o",
       .Args = {"edit", "--name", "x", "--rename", "0=z", "-o", "out.torrent", "multi.torrent"},
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

// A hybrid is checked by its v1 pieces, a v2-only torrent by its files'
// merkle roots: it has no v1 pieces, and a check of none would pass any data.
TEST_F(CommandsTest, VerifyOfV2Torrents) {
  ASSERT_EQ(Cli({"create", "-q", "--format", "hybrid", "-l", "64k", "-o", "hybrid.torrent", "data"}).Status,
            0);
  ASSERT_EQ(Cli({"create", "-q", "--format", "v2", "-l", "64k", "-o", "v2.torrent", "data"}).Status, 0);
  ASSERT_EQ(Cli({"create", "-q", "--format", "v2", "-l", "1m", "-o", "v2-1m.torrent", "data"}).Status, 0);
  for (const char* torrent : {"hybrid.torrent", "v2.torrent"}) {
    SCOPED_TRACE(torrent);
    const TRun run = Cli({"verify", torrent, "data"});
    EXPECT_EQ(run.Status, 0) << run.Err;
  }

  std::string bytes = ReadWholeFile(Dir / "data/b");
  bytes[300000] ^= 1;
  WriteWholeFile(Dir / "data/b", bytes);
  for (const char* torrent : {"hybrid.torrent", "v2.torrent"}) {
    SCOPED_TRACE(torrent);
    const TRun run = Cli({"verify", torrent, "data"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Out.find("damaged: b: bytes "), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("damaged: a"), std::string::npos) << run.Out;
    // b's fifth piece, the torrent's seventh: a's two pieces come first.
    EXPECT_NE(run.Out.find("damaged: b: bytes 262144-327679 (piece 6)\n1 of 14 pieces do not match\n"),
              std::string::npos)
        << run.Out;
    const TRun json = Cli({"verify", "--json", torrent, "data"});
    EXPECT_NE(json.Out.find("\"bad_ranges\": [[262144, 327679]]"), std::string::npos) << json.Out;
  }
  // A file of one piece has no layer: its root names all of it.
  const TRun v2 = Cli({"verify", "--json", "v2-1m.torrent", "data"});
  EXPECT_NE(v2.Out.find("\"bad_ranges\": [[0, " + std::to_string(bytes.size() - 1) + "]]"), std::string::npos)
      << v2.Out;
}

// What libtorrent refuses is refused on load, naming the limit, before verify
// keeps anything per claimed piece: a 200-byte torrent can claim a billion.
TEST_F(CommandsTest, VerifyRefusesWhatClientsRefuse) {
  const std::string root = "32:" + std::string(32, 'r');
  auto v2 = [&](const std::string& length, const std::string& pieceLength) {
    return "d4:infod9:file treed4:datad0:d6:lengthi" + length + "e11:pieces root" + root +
           "eee12:meta versioni2e4:name1:t12:piece lengthi" + pieceLength + "eee";
  };
  struct TTorrent {
    const char* Name;
    std::string Bytes;
    const char* Line;
  };
  const TTorrent torrents[] = {
      {"pieces.torrent", v2("17592186044416", "16384"), "need more than 2097152 pieces of 16384 bytes"},
      {"length.torrent", v2("4611686018427387904", "536870912"), "2^62 or more"},
      {"piece.torrent", v2("1073741824", "1073741824"), "more than 536870912 (512 MiB)"},
  };
  for (const TTorrent& t : torrents) {
    SCOPED_TRACE(t.Name);
    Dir.Write(t.Name, t.Bytes);
    const TRun run = Cli({"verify", t.Name, "data"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(t.Line), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
  }
}

// A piece layer that does not reduce to its root: show and edit see a
// damaged torrent as before, verify reports the fault first and checks the
// data all the same.
TEST_F(CommandsTest, VerifyReportsALayerFaultApart) {
  ASSERT_EQ(Cli({"create", "-q", "--format", "v2", "-l", "64k", "-o", "v2.torrent", "data"}).Status, 0);
  std::string bytes = ReadWholeFile(Dir / "v2.torrent");
  const std::string layer(Load("v2.torrent")->PieceLayer(1));
  ASSERT_EQ(layer.size(), 11u * 32);
  bytes[bytes.find(layer) + 100] ^= 1;
  WriteWholeFile(Dir / "fault.torrent", bytes);
  const std::string line = "the piece layer of \"b\" does not reduce to its \"pieces root\"";

  const TRun show = Cli({"show", "fault.torrent"});
  EXPECT_EQ(show.Status, 1);
  EXPECT_NE(show.Out.find("Corrupt File: " + line), std::string::npos) << show.Out;
  const TRun edit = Cli({"edit", "fault.torrent", "--comment", "x"});
  EXPECT_EQ(edit.Status, 1);
  EXPECT_EQ(ReadWholeFile(Dir / "fault.torrent"), bytes);

  const TRun whole = Cli({"verify", "fault.torrent", "data"});
  EXPECT_EQ(whole.Status, 1);
  EXPECT_EQ(whole.Out, "metadata fault: " + line + " (b checked by its root alone)\nall 14 pieces match\n");

  std::string b = ReadWholeFile(Dir / "data/b");
  b[300000] ^= 1;
  WriteWholeFile(Dir / "data/b", b);
  const TRun damaged = Cli({"verify", "fault.torrent", "data"});
  EXPECT_EQ(damaged.Status, 1);
  EXPECT_EQ(damaged.Out, "metadata fault: " + line +
                             " (b checked by its root alone)\ndamaged: b: bytes 0-699999 (pieces 2-12)\n"
                             "11 of 14 pieces do not match\n");
  const TRun json = Cli({"verify", "--json", "fault.torrent", "data"});
  EXPECT_EQ(json.Status, 1);
  EXPECT_NE(json.Out.find("\"ok\": false"), std::string::npos) << json.Out;
  EXPECT_NE(json.Out.find(
                "\"metadata_faults\": [\n    {\"index\": 1, \"path\": \"b\", \"fault\": \"the piece layer "
                "of \\\"b\\\" does not reduce to its \\\"pieces root\\\"\"}\n  ],\n"),
            std::string::npos)
      << json.Out;
}

// A hybrid's v1 hash that disagrees with data its tree vouches for is the
// torrent's fault: a metadata fault, not damaged data.
TEST_F(CommandsTest, VerifyReportsAWrongV1HashOfAHybridApart) {
  ASSERT_EQ(Cli({"create", "-q", "--format", "hybrid", "-l", "64k", "-o", "hybrid.torrent", "data"}).Status,
            0);
  std::string bytes = ReadWholeFile(Dir / "hybrid.torrent");
  // Piece 3's hash: pieces of the same bytes have the same one.
  const size_t pieces = bytes.find(':', bytes.find("6:pieces") + 8) + 1;
  bytes[pieces + 3 * 20 + 5] ^= 1;
  WriteWholeFile(Dir / "wrong.torrent", bytes);
  const TRun run = Cli({"verify", "wrong.torrent", "data"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(
      run.Out,
      "metadata fault: b: \"info.pieces\" disagrees with the file tree for piece 3, where the data matches "
      "the tree\nall 14 pieces match\n");
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
  // As another editor holds it; this process's own save below takes it again.
  auto lock = std::make_unique<TFileLock>(path, std::chrono::seconds(1), nullptr);
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
  lock.reset();
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

const std::string OpenTrackrUrl = "udp://tracker.opentrackr.org:1337/announce";

TEST_F(CommandsTest, EveryAnnounceIsATierAndACommaJoinsOne) {
  TRun run = Cli({"create", "-q", "-a", "OpenTrackr,http://x.example/a", "-a", "udp://y.example:1", "-b",
                  "http://b.example/", "data"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto made = Load("data.torrent");
  EXPECT_EQ(made->Announce(), OpenTrackrUrl);
  EXPECT_EQ(made->AnnounceTiers(),
            (std::vector<std::vector<std::string>>{
                {OpenTrackrUrl, "http://x.example/a"}, {"udp://y.example:1"}, {"http://b.example/"}}));

  const std::vector<TCase> cases = {
      {.Label = "a typo inside a tier",
       .Args = {"create", "-qf", "-a", "http://ok.example/,OpenTrakr", "data"},
       .Status = 2,
       .Err = "-a \"OpenTrakr\" is neither an announce URL"},
      {.Label = "two commas",
       .Args = {"create", "-qf", "-a", "http://a/,,http://b/", "data"},
       .Status = 2,
       .Err = "empty tracker"},
      {.Label = "a trailing comma",
       .Args = {"create", "-qf", "-a", "http://a/,", "data"},
       .Status = 2,
       .Err = "empty tracker"},
  };
  const std::string before = ReadWholeFile(Dir / "data.torrent");
  RunTable(
      *this, [this](const auto& args) { return Cli(args); }, cases);
  EXPECT_EQ(ReadWholeFile(Dir / "data.torrent"), before);
}

// edit takes tracker text as create's -a does; what it refuses leaves the file as it was.
TEST_F(CommandsTest, EditChecksTrackersAsCreateDoes) {
  ASSERT_EQ(Cli({"create", "-q", "-a", "http://a.example/ann", "data"}).Status, 0);
  const std::string original = ReadWholeFile(Dir / "data.torrent");
  const std::vector<TCase> cases = {
      {.Label = "--announce of another scheme",
       .Args = {"edit", "data.torrent", "--announce", "ftp://x.example/a"},
       .Status = 2,
       .Err = "--announce \"ftp://x.example/a\" is neither an announce URL (http, https, udp or wss) nor a "
              "tracker of the list"},
      {.Label = "--add-tracker with a typo of a name",
       .Args = {"edit", "data.torrent", "--add-tracker", "OpenTrakr"},
       .Status = 2,
       .Err = "closest names: \"OpenTrackr\""},
      {.Label = "--backup that is no URL",
       .Args = {"edit", "data.torrent", "--backup", "not a url"},
       .Status = 2,
       .Err = "--backup \"not a url\""},
      {.Label = "an empty --announce",
       .Args = {"edit", "data.torrent", "--announce", ""},
       .Status = 2,
       .Err = "--announce needs a tracker"},
      {.Label = "a replacement that changes the scheme",
       .Args = {"edit", "data.torrent", "--replace-tracker", "http://", "ftp://"},
       .Status = 2,
       .Err = "data.torrent: --replace-tracker would make the tracker \"ftp://a.example/ann\""},
      {.Label = "a replacement that leaves nothing",
       .Args = {"edit", "data.torrent", "--replace-tracker", "http://a.example/ann", ""},
       .Status = 2,
       .Err = "would make the tracker \"\""},
      {.Label = "a good edit beside a bad one",
       .Args = {"edit", "data.torrent", "--comment", "x", "--add-tracker", "gopher://g/"},
       .Status = 2},
  };
  RunTable(
      *this, [this](const auto& args) { return Cli(args); }, cases);
  EXPECT_EQ(ReadWholeFile(Dir / "data.torrent"), original);

  // A name of the list becomes its announce URL; a replacement that stays a URL passes.
  // (--announce, then --replace-tracker, then --add-tracker.)
  const TRun run = Cli({"edit", "data.torrent", "--announce", "OpenTrackr", "--add-tracker",
                        "wss://w.example/a", "--replace-tracker", "opentrackr.org", "opentrackr.net"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto edited = Load("data.torrent");
  const std::string replaced = "udp://tracker.opentrackr.net:1337/announce";
  EXPECT_EQ(edited->Announce(), replaced);
  EXPECT_EQ(edited->AnnounceTiers(),
            (std::vector<std::vector<std::string>>{{replaced}, {"wss://w.example/a"}}));
}

TEST_F(CommandsTest, OutputIntoAFolderIsNamedAfterTheTorrent) {
  Dir.MakeDir("out");
  struct TOutputCase {
    const char* Label;
    std::vector<std::string> Args;
    std::string Written;
  };
  const std::vector<TOutputCase> cases = {
      {.Label = "a trailing slash", .Args = {"-o", "out/", "data"}, .Written = "out/data.torrent"},
      {.Label = "an existing folder", .Args = {"-o", "out", "data"}, .Written = "out/data.torrent"},
      {.Label = "a folder given with its path",
       .Args = {"-o", Dir / "out", "data"},
       .Written = Dir / "out/data.torrent"},
      {.Label = "--name", .Args = {"-o", "out/", "-n", "Named", "data"}, .Written = "out/Named.torrent"},
      {.Label = "one file", .Args = {"-o", "out/", "data/b"}, .Written = "out/b.torrent"},
      {.Label = "several files", .Args = {"-o", "out/", "data/a", "data/c"}, .Written = "out/data.torrent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const TRun run = Create(c.Args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(
        run.Out,
        Load(c.Written.starts_with('/') ? c.Written.substr(Dir.Path().size() + 1) : c.Written)->InfoHashText +
            "  " + c.Written + "\n");
  }
  EXPECT_EQ(Dir.List("out"), (std::vector<std::string>{"Named.torrent", "b.torrent", "data.torrent"}));

  const std::string kept = ReadWholeFile(Dir / "out/data.torrent");
  const std::vector<TCase> refusals = {
      {.Label = "the torrent in the folder exists",
       .Args = {"create", "-q", "-o", "out/", "data"},
       .Status = 1,
       .Err = "\"out/data.torrent\" exists; use --force to replace it"},
      {.Label = "no such folder",
       .Args = {"create", "-q", "-o", "none/", "data"},
       .Status = 1,
       .Err = "Cannot create file \"none/data.torrent\": No such file or directory"},
  };
  RunTable(
      *this, [this](const auto& args) { return Cli(args); }, refusals);
  EXPECT_EQ(ReadWholeFile(Dir / "out/data.torrent"), kept);
  EXPECT_FALSE(std::filesystem::exists(Dir / "none"));
}

TEST_F(CommandsTest, ShowReadsStandardInput) {
  ASSERT_EQ(Cli({"create", "-q", "-a", "http://a.example/", "-c", "piped", "data"}).Status, 0);
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json);
    const std::vector<std::string> named = json ? std::vector<std::string>{"show", "--json", "data.torrent"}
                                                : std::vector<std::string>{"show", "data.torrent"};
    const std::vector<std::string> piped =
        json ? std::vector<std::string>{"show", "--json", "-"} : std::vector<std::string>{"show", "-"};
    const TRun expected = Cli(named);
    const TRun run = Cli(piped, Dir / "data.torrent");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, expected.Out);
    EXPECT_NE(run.Out.find("piped"), std::string::npos);
  }
  Dir.Write("junk", "not bencoded");
  const TRun junk = Cli({"show", "-"}, Dir / "junk");
  EXPECT_EQ(junk.Status, 1);
  EXPECT_EQ(junk.Err, "quorvane-cli show: standard input could not be loaded\n");
  EXPECT_NE(junk.Out.find("Error parsing file"), std::string::npos);
  // An endless input is read only up to the loader's limit.
  const TRun endless = Cli({"show", "--json", "-"}, "/dev/zero");
  EXPECT_EQ(endless.Status, 1);
  EXPECT_NE(endless.Out.find("too large to be a torrent"), std::string::npos) << endless.Out;
}

TEST_F(CommandsTest, HelpCommandAndAMissingPath) {
  for (const char* command : {"create", "edit", "show", "verify", "trackers"}) {
    SCOPED_TRACE(command);
    const TRun run = Cli({"help", command});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, Cli({command, "--help"}).Out);
    EXPECT_NE(run.Out.find(std::string("quorvane-cli ") + command), std::string::npos);
  }
  ASSERT_EQ(::symlink("gone", (Dir / "dangling").c_str()), 0);
  const std::vector<TCase> cases = {
      {.Label = "help of no such command", .Args = {"help", "nosuch"}, .Status = 2, .Err = "\"nosuch\""},
      {.Label = "no such PATH",
       .Args = {"create", "-q", "nosuch"},
       .Status = 1,
       .Err = "quorvane-cli create: \"nosuch\" does not exist\n"},
      {.Label = "a link to nothing",
       .Args = {"create", "-q", "dangling"},
       .Status = 1,
       .Err = "\"dangling\" is a link to something that does not exist"},
      {.Label = "an empty PATH", .Args = {"create", "-q", ""}, .Status = 2, .Err = "empty PATH"},
  };
  RunTable(
      *this, [this](const auto& args) { return Cli(args); }, cases);
}

TEST_F(CommandsTest, PieceLengths) {
  struct TLengthCase {
    std::vector<std::string> Args;
    int32_t Expected;
  };
  const std::vector<TLengthCase> cases = {
      {.Args = {"-l", "16k"}, .Expected = 16384},
      {.Args = {"-l", "14"}, .Expected = 16384},
      {.Args = {"--piece-length=64MiB"}, .Expected = 64 << 20},
      {.Args = {"-l", "32m"}, .Expected = 32 << 20},
      {.Args = {"-l", "1048576"}, .Expected = 1 << 20},
      // Auto gives 256k for this little data; the cap only lowers it.
      {.Args = {"--max-piece-length", "64k"}, .Expected = 65536},
      {.Args = {"--max-piece-length", "16m"}, .Expected = 262144},
      {.Args = {"-l", "auto"}, .Expected = 262144},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ShellWords(c.Args));
    const TRun run = Create(c.Args, {"data"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto made = Load("data.torrent");
    EXPECT_EQ(made->PieceLength, c.Expected);
    EXPECT_EQ(made->Pieces.size(), static_cast<size_t>((850000 + c.Expected - 1) / c.Expected));
  }
  const std::vector<TCase> refusals = {
      {.Label = "not a power of two",
       .Args = {"create", "-qf", "-l", "3m", "data"},
       .Status = 2,
       .Err = "bad piece length \"3m\""},
      {.Label = "above 64m", .Args = {"create", "-qf", "-l", "128m", "data"}, .Status = 2},
      {.Label = "below 16k", .Args = {"create", "-qf", "-l", "13", "data"}, .Status = 2},
      {.Label = "a cap that is no length",
       .Args = {"create", "-qf", "--max-piece-length", "auto", "data"},
       .Status = 2,
       .Err = "bad --max-piece-length \"auto\""},
      {.Label = "a cap beside a chosen length",
       .Args = {"create", "-qf", "-l", "4m", "--max-piece-length", "1m", "data"},
       .Status = 2,
       .Err = "does not go with -l"},
  };
  RunTable(
      *this, [this](const auto& args) { return Cli(args); }, refusals);
}

// A name ending in ".torrent" loses the ending only where what is left can
// name the data: "...torrent" cut to ".." would send verify to the torrent
// folder's parent.
TEST_F(CommandsTest, ANameEndingInTorrentStaysInsideTheFolder) {
  auto str = [](const std::string& text) { return std::to_string(text.size()) + ":" + text; };
  const std::string secret = PatternBytes(1000, 9);
  Dir.Write("secret.txt", secret);
  Dir.Write("inner/evil.torrent", "d8:announce" + str("http://t/a") +
                                      "4:infod5:filesld6:lengthi1000e4:pathl" + str("secret.txt") +
                                      "eee4:name" + str("...torrent") + "12:piece lengthi16384e6:pieces" +
                                      str(Sha1Bytes(secret)) + "ee");
  const TRun show = Cli({"show", "inner/evil.torrent"});
  EXPECT_EQ(show.Status, 0) << show.Err;
  EXPECT_NE(show.Out.find("Name:            ...torrent\n"), std::string::npos) << show.Out;
  EXPECT_EQ(show.Out.find("unsafe"), std::string::npos) << show.Out;

  // Without DATA the files are looked for in "inner/...torrent", not beside "inner".
  const TRun outside = Cli({"verify", "-q", "inner/evil.torrent"});
  EXPECT_EQ(outside.Status, 1) << outside.Out;
  EXPECT_NE(outside.Out.find("missing: secret.txt"), std::string::npos) << outside.Out;
  Dir.Write("inner/...torrent/secret.txt", secret);
  const TRun inside = Cli({"verify", "-q", "inner/evil.torrent"});
  EXPECT_EQ(inside.Status, 0) << inside.Out << inside.Err;
}

// The numbers show prints are the ones edit --rename takes, padding counted.
// A comment of megabytes is printed a slice at a time: the slices join into
// exactly what the whole would print, whatever lies at their edges.
TEST_F(CommandsTest, ShowPrintsALongCommentWhole) {
  std::string comment;
  // Multi-byte letters, CR LF, controls and a broken sequence, over and over
  // so that every edge of a 1 MiB slice meets one of them.
  for (int i = 0; comment.size() < (size_t{5} << 20) / 2; ++i)
    comment +=
        "\xC3\xA9\xE2\x82\xAC\r\nline " + std::to_string(i) + "\x1B[31m\xC2\x9B\xE2\x82 \xF0\x9F\x98\x80";
  const std::string info =
      "d6:lengthi5e4:name1:x12:piece lengthi16384e6:pieces20:" + std::string(20, 'h') + "e";
  Dir.Write("long.torrent", "d8:announce10:http://t/a7:comment" + std::to_string(comment.size()) + ":" +
                                comment + "4:info" + info + "e");
  Dir.Write("short.torrent", "d8:announce10:http://t/a7:comment1:c4:info" + info + "e");
  const TRun run = Cli({"show", "long.torrent"});
  const TRun shortRun = Cli({"show", "short.torrent"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  std::string expected;
  for (char c : ForTerminal(comment, true)) {
    expected += c;
    if (c == '\n') expected.append(17, ' ');
  }
  const size_t at = shortRun.Out.find("Comment:         c\n");
  ASSERT_NE(at, std::string::npos) << shortRun.Out;
  std::string whole = shortRun.Out;
  whole.replace(at + 17, 1, expected);
  EXPECT_TRUE(run.Out == whole);
}

TEST_F(CommandsTest, ShowNumbersTheFilesAsRenameCountsThem) {
  auto str = [](const std::string& text) { return std::to_string(text.size()) + ":" + text; };
  const std::string padded =
      "d8:announce" + str("http://t/a") +
      "4:infod5:filesld6:lengthi5e4:pathl1:aeed4:attr1:p6:lengthi16379e4:pathl4:.pad5:16379eed6:lengthi7e4:"
      "pathl1:beee4:name3:top12:piece lengthi16384e6:pieces" +
      str(std::string(40, '\x01')) + "ee";
  Dir.Write("padded.torrent", padded);
  const TRun show = Cli({"show", "padded.torrent"});
  ASSERT_EQ(show.Status, 0) << show.Err;
  EXPECT_NE(show.Out.find("Files:           2 (and 1 padding)\n"
                          "  0                5  a\n"
                          "  1            16379  [padding] .pad/16379\n"
                          "  2                7  b\n"),
            std::string::npos)
      << show.Out;
  // The index shown beside the padding does not rename it, nor may b take a's place.
  for (const std::string rename : {"1=x", "2=a", "2=A"}) {
    SCOPED_TRACE(rename);
    const TRun refused = Cli({"edit", "padded.torrent", "--rename", rename});
    EXPECT_EQ(refused.Status, 2) << refused.Err;
    EXPECT_NE(refused.Err.find("quorvane-cli edit: refused \"" + rename.substr(2) + "\": file "),
              std::string::npos)
        << refused.Err;
    EXPECT_EQ(ReadWholeFile(Dir / "padded.torrent"), padded);
  }
  // The index shown beside b renames b.
  const size_t line = show.Out.rfind('\n', show.Out.find("  b\n"));
  const std::string index = show.Out.substr(line + 3, show.Out.find(' ', line + 3) - line - 3);
  ASSERT_EQ(Cli({"edit", "padded.torrent", "--rename", index + "=renamed"}).Status, 0);
  EXPECT_EQ(Paths("padded.torrent"), (std::vector<std::string>{"a", ".pad/16379", "renamed"}));

  // Indices line up once they take two digits.
  for (int i = 0; i < 11; ++i) Dir.Write("eleven/f" + std::to_string(i + 10), "x");
  ASSERT_EQ(Cli({"create", "-q", "eleven"}).Status, 0);
  const std::string out = Cli({"show", "eleven.torrent"}).Out;
  EXPECT_NE(out.find("\n   0                1  f10\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n  10                1  f20\n"), std::string::npos) << out;
}

TEST_F(CommandsTest, HiddenNamesAndCaseInExclusions) {
  for (const char* name :
       {"tree/a.txt", "tree/.dot", "tree/.hid/z", "tree/sub/B.NFO", "tree/sub/c.nfo", "tree/sub/.x"})
    Dir.Write(name, name);
  struct TExcludeCase {
    const char* Label;
    std::vector<std::string> Args;
    std::vector<std::string> Expected;
  };
  const std::vector<TExcludeCase> cases = {
      {.Label = "all by default",
       .Args = {},
       .Expected = {".dot", ".hid/z", "a.txt", "sub/.x", "sub/B.NFO", "sub/c.nfo"}},
      {.Label = "hidden files and folders left out",
       .Args = {"--exclude-hidden"},
       .Expected = {"a.txt", "sub/B.NFO", "sub/c.nfo"}},
      {.Label = "a glob matches case as it is",
       .Args = {"--exclude", "*.nfo"},
       .Expected = {".dot", ".hid/z", "a.txt", "sub/.x", "sub/B.NFO"}},
      {.Label = "--exclude-ci in any case",
       .Args = {"--exclude-ci", "*.nfo"},
       .Expected = {".dot", ".hid/z", "a.txt", "sub/.x"}},
      {.Label = "together", .Args = {"--exclude-hidden", "--exclude-ci", "SUB"}, .Expected = {"a.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const TRun run = Create(c.Args, {"tree"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Paths("tree.torrent"), c.Expected);
  }
  // One torrent per entry: hidden entries get none.
  Dir.MakeDir("each");
  ASSERT_EQ(Cli({"create", "-q", "--exclude-hidden", "--each", "each", "tree"}).Status, 0);
  EXPECT_EQ(Dir.List("each"), (std::vector<std::string>{"a.txt.torrent", "sub.torrent"}));
  EXPECT_EQ(Paths("each/sub.torrent"), (std::vector<std::string>{"B.NFO", "c.nfo"}));
}

}  // namespace
