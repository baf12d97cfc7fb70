// What quorvane-cli says about a torrent: texts safe for a terminal and for a JSON parser,
// trackerless torrents, tracker edits and the checks of what is typed.

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../support/CliFixture.h"
#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "base/Stream.h"
#include "base/Terminal.h"
#include "cli/Json.h"
#include "metainfo/TorrentFile.h"

namespace {

std::string Str(const std::string& s) { return std::to_string(s.size()) + ":" + s; }

// A single-file v1 torrent of five bytes with the given top-level keys before "info" (sorted).
std::string TorrentBytes(const std::string& topBefore, const std::string& name = "n",
                         const std::string& infoExtra = "") {
  return "d" + topBefore + "4:infod6:lengthi5e4:name" + Str(name) + "12:piece lengthi16384e6:pieces" +
         Str(std::string(20, '\x01')) + infoExtra + "ee";
}

class CliSays : public TCliFixture {
 public:
  CliSays() { Dir.Write("data/a", PatternBytes(100000, 1)); }
};

const std::string C1Csi = "\xC2\x9B";               // U+009B, a one-byte CSI
const std::string RightToLeft = "\xE2\x80\xAE";     // U+202E RIGHT-TO-LEFT OVERRIDE
const std::string FirstStrongIso = "\xE2\x81\xA8";  // U+2068 FIRST STRONG ISOLATE
const std::string Replacement = "\xEF\xBF\xBD";

TEST(CliText, JsonEscapesEveryControlAndTheTerminalGetsNone) {
  struct TCase {
    const char* Label;
    std::string In;
    std::string Json;
    std::string Terminal;
  };
  const TCase cases[] = {
      {.Label = "C0 and DEL",
       .In = "a\x1b[31m\x7f",
       .Json = "\"a\\u001b[31m\\u007f\"",
       .Terminal = "a" + Replacement + "[31m" + Replacement},
      {.Label = "C1 CSI",
       .In = "x" + C1Csi + "31m",
       .Json = "\"x\\u009b31m\"",
       .Terminal = "x" + Replacement + "31m"},
      {.Label = "first and last C1",
       .In = "\xC2\x80\xC2\x9F",
       .Json = "\"\\u0080\\u009f\"",
       .Terminal = Replacement + Replacement},
      {.Label = "right-to-left override",
       .In = "txt" + RightToLeft + "exe.",
       .Json = "\"txt\\u202eexe.\"",
       .Terminal = "txt" + Replacement + "exe."},
      {.Label = "every embedding, override and isolate",
       .In = "\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD\xE2\x81\xA6\xE2\x81\xA7" + FirstStrongIso +
             "\xE2\x81\xA9",
       .Json = "\"\\u202a\\u202b\\u202c\\u202d\\u2066\\u2067\\u2068\\u2069\"",
       .Terminal = Replacement + Replacement + Replacement + Replacement + Replacement + Replacement +
                   Replacement + Replacement},
      // Neighbours that are ordinary text: NBSP, the marks beside the overrides, U+2065 and U+206A.
      {.Label = "neighbours stay",
       .In = "\xC2\xA0\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
       .Json = "\"\xC2\xA0\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\"",
       .Terminal = "\xC2\xA0\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA"},
      {.Label = "invalid bytes",
       .In = "a\x9b\xff",
       .Json = "\"a" + Replacement + Replacement + "\"",
       .Terminal = "a" + Replacement + Replacement},
      {.Label = "a cut override",
       .In = "a\xE2\x80",
       .Json = "\"a" + Replacement + "\"",
       .Terminal = "a" + Replacement},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(JsonString(c.In), c.Json);
    EXPECT_EQ(ForTerminal(c.In), c.Terminal);
  }
}

// Every text show prints comes from the file: none reaches the terminal raw, in either form.
TEST_F(CliSays, ShowAndCreatePrintNoRawControls) {
  const std::string hostile = "t" + C1Csi + "2J" + RightToLeft + FirstStrongIso;
  Dir.Write("hostile.torrent", TorrentBytes("8:announce" + Str("http://t/" + hostile) + "7:comment" +
                                                Str(hostile) + "10:created by" + Str(hostile),
                                            "name" + hostile, "6:source" + Str(hostile)));
  for (const char* form : {"plain", "--json"}) {
    SCOPED_TRACE(form);
    std::vector<std::string> args = {"show", "hostile.torrent"};
    if (std::string(form) == "--json") args.insert(args.begin() + 1, "--json");
    const TRun run = Cli(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    for (const std::string& raw : {C1Csi, RightToLeft, FirstStrongIso})
      EXPECT_EQ(run.Out.find(raw), std::string::npos) << run.Out;
    if (std::string(form) == "--json") {
      EXPECT_NE(run.Out.find("\"comment\": \"t\\u009b2J\\u202e\\u2068\""), std::string::npos) << run.Out;
    } else {
      EXPECT_NE(run.Out.find("Comment:         t" + Replacement + "2J" + Replacement + Replacement),
                std::string::npos)
          << run.Out;
    }
  }

  Dir.Write("files/name" + hostile, "data");
  const TRun run = Cli({"create", "-q", "--json", "--no-tracker", "files/name" + hostile});
  ASSERT_EQ(run.Status, 0) << run.Err;
  for (const std::string& raw : {C1Csi, RightToLeft, FirstStrongIso})
    EXPECT_EQ(run.Out.find(raw), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("\"name\": \"namet\\u009b2J\\u202e\\u2068\""), std::string::npos) << run.Out;
}

// Every tracker edit of edit, from torrents create makes: the main tracker stays where clients
// look first, and show lists the back-ups without it.
TEST_F(CliSays, TrackerEditsKeepTheMainTracker) {
  const std::string a = "http://a.example/announce", b = "http://b.example/announce",
                    c = "udp://c.example:80/announce", x = "https://x.example/announce";
  const std::string openTrackr = "udp://tracker.opentrackr.org:1337/announce";
  using TTiers = std::vector<std::vector<std::string>>;
  struct TEditCase {
    const char* Label;
    std::vector<std::string> Create;              // create's tracker options
    std::vector<std::vector<std::string>> Edits;  // edit's options, one run each
    std::string Announce;                         // "" for none
    TTiers Tiers;
    std::vector<std::string> Backups;  // show --json's backup_trackers
    std::string Err{};                 // a part of the last edit's stderr
  };
  const TEditCase cases[] = {
      {.Label = "a tier added to back-ups without a main tracker",
       .Create = {"-b", b},
       .Edits = {{"--add-tracker", c}},
       .Announce = b,
       .Tiers = {{b}, {c}},
       .Backups = {c}},
      {.Label = "a tier added after main and back-up",
       .Create = {"-a", a, "-b", b},
       .Edits = {{"--add-tracker", c}},
       .Announce = a,
       .Tiers = {{a}, {b}, {c}},
       .Backups = {b, c}},
      {.Label = "--no-backup after --add-tracker keeps the main tracker",
       .Create = {"-b", b},
       .Edits = {{"--add-tracker", c}, {"--no-backup"}},
       .Announce = b,
       .Tiers = {},
       .Backups = {}},
      {.Label = "--no-backup of back-ups alone keeps the first",
       .Create = {"-b", b, "-b", c},
       .Edits = {{"--no-backup"}},
       .Announce = b,
       .Tiers = {},
       .Backups = {}},
      {.Label = "--backup replaces the back-ups and keeps the main tracker",
       .Create = {"-a", a, "-b", b},
       .Edits = {{"--backup", c, "--backup", x}},
       .Announce = a,
       .Tiers = {{a}, {c}, {x}},
       .Backups = {c, x}},
      {.Label = "a tier added to a torrent without trackers",
       .Create = {"--no-tracker"},
       .Edits = {{"--add-tracker", a}},
       .Announce = a,
       .Tiers = {{a}},
       .Backups = {}},
      {.Label = "a tier added by a name in another case",
       .Create = {"-a", a},
       .Edits = {{"--add-tracker", "opentrackr"}},
       .Announce = a,
       .Tiers = {{a}, {openTrackr}},
       .Backups = {openTrackr}},
      {.Label = "the main tracker replaced by a name in another case",
       .Create = {"-a", a, "-b", b},
       .Edits = {{"--announce", "OPENTRACKR"}},
       .Announce = openTrackr,
       .Tiers = {{openTrackr}, {b}},
       .Backups = {b}},
      {.Label = "the main tracker removed: the next one leads",
       .Create = {"-a", a, "-b", b},
       .Edits = {{"--remove-tracker", a}},
       .Announce = b,
       .Tiers = {{b}},
       .Backups = {}},
      {.Label = "the only tracker removed",
       .Create = {"-a", a},
       .Edits = {{"--remove-tracker", a}},
       .Announce = "",
       .Tiers = {},
       .Backups = {},
       .Err = "no tracker is left: the torrent is trackerless"},
      {.Label = "every tracker removed",
       .Create = {"-a", a, "-b", b},
       .Edits = {{"--remove-tracker", b, "--remove-tracker", a}},
       .Announce = "",
       .Tiers = {},
       .Backups = {},
       .Err = "the torrent is trackerless"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    std::vector<std::string> create = {"create", "-qf", "-o", "t.torrent"};
    create.insert(create.end(), c.Create.begin(), c.Create.end());
    create.push_back("data");
    ASSERT_EQ(Cli(create).Status, 0) << ReadWholeFile(Dir / "stderr.txt");
    TRun run;
    for (const auto& edit : c.Edits) {
      std::vector<std::string> args = {"edit", "t.torrent"};
      args.insert(args.end(), edit.begin(), edit.end());
      run = Cli(args);
      ASSERT_EQ(run.Status, 0) << run.Err;
    }
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
    const auto edited = Load("t.torrent");
    EXPECT_EQ(edited->Announce(), c.Announce);
    EXPECT_EQ(edited->AnnounceTiers(), c.Tiers);
    EXPECT_TRUE(edited->DamageLines().empty());
    const TRun shown = Cli({"show", "--json", "t.torrent"});
    EXPECT_EQ(shown.Status, 0) << shown.Err;
    EXPECT_NE(shown.Out.find("\"backup_trackers\": " + JsonStringArray(c.Backups, "  ") + ",\n"),
              std::string::npos)
        << shown.Out;
  }
}

// A torrent without trackers is found through DHT, peer exchange or web seeds: no damage.
TEST_F(CliSays, TrackerlessIsNoDamage) {
  ASSERT_EQ(Cli({"create", "-q", "-o", "plain.torrent", "data"}).Status, 0);
  const std::string missing = "Corrupt File: Missing \"announce\" segment";
  // No piece length: damaged, and without an announce URL too.
  Dir.Write("damaged.torrent", "d4:infod6:lengthi5e4:name1:n6:pieces20:" + std::string(20, '\x01') + "ee");
  struct TShowCase {
    const char* Label;
    std::string File;
    int Status;
    std::vector<std::string> Errors;
  };
  const TShowCase cases[] = {
      {.Label = "trackerless", .File = "plain.torrent", .Status = 0, .Errors = {}},
      {.Label = "damaged",
       .File = "damaged.torrent",
       .Status = 1,
       .Errors = {"Corrupt File: Missing \"info.piece length\" segment"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    TRun run = Cli({"show", c.File});
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Out.find("Trackers:        none (DHT, peer exchange or web seeds)\n"), std::string::npos)
        << run.Out;
    EXPECT_EQ(run.Out.find(missing), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("Errors:"), c.Errors.empty() ? std::string::npos : run.Out.find("Errors:"))
        << run.Out;
    for (const auto& error : c.Errors)
      EXPECT_NE(run.Out.find("  " + error + "\n"), std::string::npos) << run.Out;

    run = Cli({"show", "--json", c.File});
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Out.find("\"errors\": " + JsonStringArray(c.Errors, "  ") + ",\n"), std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("\"notes\": " + JsonStringArray({missing}, "  ") + "\n}"), std::string::npos)
        << run.Out;
  }
}

struct TCreateCase {
  const char* Label;
  std::vector<std::string> Args;
  int Status;
  std::string Err{};  // a part of stderr
  std::function<void(const TTorrentFile&)> Check = nullptr;
  const char* Epoch = nullptr;  // SOURCE_DATE_EPOCH
};

TEST_F(CliSays, CreateChecksWhatItIsGiven) {
  const std::string refusedPrivate =
      "a private torrent gets its peers only from its trackers, and none is given";
  const TCreateCase cases[] = {
      {.Label = "private without a tracker", .Args = {"-p"}, .Status = 2, .Err = refusedPrivate},
      {.Label = "private with an empty tracker",
       .Args = {"-p", "-a", ""},
       .Status = 2,
       .Err = refusedPrivate},
      {.Label = "private, trackerless on purpose",
       .Args = {"-p", "--no-tracker"},
       .Status = 0,
       .Check = [](const TTorrentFile& t) { EXPECT_TRUE(t.Private && t.Announce().empty()); }},
      {.Label = "private with a web seed", .Args = {"-p", "-w", "https://w.example/data/"}, .Status = 0},
      {.Label = "private with a back-up tracker", .Args = {"-p", "-b", "http://b.example/a"}, .Status = 0},
      {.Label = "--no-tracker with -a",
       .Args = {"--no-tracker", "-a", "http://a.example/a"},
       .Status = 2,
       .Err = "--no-tracker does not go with -a or -b"},
      {.Label = "a web seed that is no URL",
       .Args = {"-w", "notaurl"},
       .Status = 2,
       .Err = "-w \"notaurl\" is no web seed URL (http or https)"},
      {.Label = "a web seed of a tracker's scheme", .Args = {"-w", "udp://w.example/"}, .Status = 2},
      {.Label = "a date",
       .Args = {"--date", "2024-02-29"},
       .Status = 0,
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.CreationUnix(), 1709164800); }},
      {.Label = "a date and time",
       .Args = {"--date", "2024-02-29T12:34:56Z"},
       .Status = 0,
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.CreationUnix(), 1709210096); }},
      {.Label = "Unix seconds",
       .Args = {"--date", "1700000000"},
       .Status = 0,
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.CreationUnix(), 1700000000); }},
      {.Label = "SOURCE_DATE_EPOCH",
       .Args = {},
       .Status = 0,
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.CreationUnix(), 1234567890); },
       .Epoch = "1234567890"},
      {.Label = "--date before SOURCE_DATE_EPOCH",
       .Args = {"--date", "86400"},
       .Status = 0,
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.CreationUnix(), 86400); },
       .Epoch = "1234567890"},
      {.Label = "--no-date before SOURCE_DATE_EPOCH",
       .Args = {"--no-date"},
       .Status = 0,
       .Check = [](const TTorrentFile& t) { EXPECT_FALSE(t.HasCreationDate()); },
       .Epoch = "1234567890"},
      {.Label = "a bad SOURCE_DATE_EPOCH",
       .Args = {},
       .Status = 2,
       .Err = "SOURCE_DATE_EPOCH",
       .Epoch = "soon"},
      {.Label = "no such day",
       .Args = {"--date", "2023-02-29"},
       .Status = 2,
       .Err = "bad --date \"2023-02-29\""},
      {.Label = "a date of another form", .Args = {"--date", "29.02.2024"}, .Status = 2, .Err = "bad --date"},
      {.Label = "--date and --no-date", .Args = {"--date", "1", "--no-date"}, .Status = 2},
      {.Label = "a source tag of digits",
       .Args = {"-s", "1024"},
       .Status = 0,
       .Err = "warning: the source tag is \"1024\", all digits; for a piece length use -l (e.g. -l 1024k)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    std::filesystem::remove(Dir / "t.torrent");
    std::vector<std::string> args = {"create", "-q", "-o", "t.torrent"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    args.push_back("data");
    if (c.Epoch) ::setenv("SOURCE_DATE_EPOCH", c.Epoch, 1);
    const TRun run = Cli(args);
    ::unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
    EXPECT_EQ(std::filesystem::exists(Dir / "t.torrent"), c.Status == 0);
    if (c.Check && c.Status == 0) c.Check(*Load("t.torrent"));
  }
}

TEST_F(CliSays, EditChecksWhatItIsGiven) {
  Dir.Write("cache/quorvane/trackers.lst",
            "208\nhttp://update.example/\n2\n"
            "Alive\nhttp://alive.example/announce\nhttp://alive.example/\n0\n"
            "Dead\nhttp://dead.example/announce\n\n1\n");
  ASSERT_EQ(
      Cli({"create", "-q", "--date", "1700000000", "-a", "http://a.example/a", "-o", "t.torrent", "data"})
          .Status,
      0);
  const std::string original = ReadWholeFile(Dir / "t.torrent");
  struct stat before {};
  ASSERT_EQ(::stat((Dir / "t.torrent").c_str(), &before), 0);
  struct TEditCase {
    const char* Label;
    std::vector<std::string> Args;
    int Status;
    std::string Err;
  };
  const TEditCase cases[] = {
      {.Label = "nothing to change",
       .Args = {},
       .Status = 0,
       .Err = "quorvane-cli edit: nothing to change: t.torrent stays as it was"},
      {.Label = "a tracker marked down, by name in another case",
       .Args = {"--announce", "dead"},
       .Status = 1,
       .Err = "the tracker list marks \"Dead\" DOWN. Tracker may be down; are you sure you want to continue? "
              "No"},
      {.Label = "a web seed that is no URL",
       .Args = {"--web-seed", "notaurl"},
       .Status = 2,
       .Err = "--web-seed \"notaurl\" is no web seed URL"},
      {.Label = "a bad date",
       .Args = {"--date", "2024-13-01"},
       .Status = 2,
       .Err = "--date takes now, none, a UTC date"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    std::vector<std::string> args = {"edit", "t.torrent"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const TRun run = Cli(args);
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
    struct stat after {};
    ASSERT_EQ(::stat((Dir / "t.torrent").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was written anew";
    EXPECT_EQ(ReadWholeFile(Dir / "t.torrent"), original);
  }

  TRun run = Cli({"edit", "t.torrent", "--announce", "DEAD", "--yes", "--date", "2000-01-01 00:00"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto edited = Load("t.torrent");
  EXPECT_EQ(edited->Announce(), "http://dead.example/announce");
  EXPECT_EQ(edited->CreationUnix(), 946684800);
}

// Names that are not UTF-8 go in as they are, with a word, and show --json gives their bytes.
TEST_F(CliSays, NamesThatAreNotUtf8) {
  Dir.Write("latin1/caf\xE9.txt", "coffee");
  Dir.Write("latin1/tea.txt", "tea");
  TRun run = Cli({"create", "-q", "--no-tracker", "latin1"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find("warning: 1 name is not UTF-8 (first: \"caf" + Replacement + ".txt\")"),
            std::string::npos)
      << run.Err;
  run = Cli({"show", "--json", "latin1.torrent"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("{\"path\": \"caf" + Replacement +
                         ".txt\", \"length\": 6, \"path_bytes\": \"636166e92e747874\"}"),
            std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("{\"path\": \"tea.txt\", \"length\": 3}"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Out.find("name_bytes"), std::string::npos) << run.Out;

  run = Cli({"edit", "latin1.torrent", "--name", "caf\xE9"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find("warning: the name is not UTF-8"), std::string::npos) << run.Err;
  run = Cli({"show", "--json", "latin1.torrent"});
  EXPECT_NE(run.Out.find("\"name_bytes\": \"636166e9\",\n"), std::string::npos) << run.Out;
}

TEST_F(CliSays, TopLevelOptionsAndHelp) {
  struct THelpCase {
    std::vector<std::string> Args;
    int Status;
    std::string Out;
  };
  const THelpCase cases[] = {
      {.Args = {"--hel"}, .Status = 0, .Out = "Commands:"},
      {.Args = {"--h"}, .Status = 0, .Out = "Commands:"},
      {.Args = {"--vers"}, .Status = 0, .Out = "quorvane-cli "},
      {.Args = {"-V"}, .Status = 0, .Out = "quorvane-cli "},
      {.Args = {"--helpx"}, .Status = 2, .Out = ""},
      {.Args = {"--"}, .Status = 2, .Out = ""},
      {.Args = {"trackers", "--help"}, .Status = 0, .Out = "Exit status: 0 listed"},
      {.Args = {"edit", "--help"}, .Status = 0, .Out = "nothing to change"},
      {.Args = {"create", "--help"}, .Status = 0, .Out = "--no-tracker"},
      {.Args = {"show", "--help"}, .Status = 0, .Out = "path_bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args.front());
    const TRun run = Cli(c.Args);
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Out.find(c.Out), std::string::npos) << run.Out;
  }
  EXPECT_EQ(Cli({"-V"}).Out, Cli({"--version"}).Out);

  // What was typed comes back in messages without its control characters.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"\x1b[2Jcmd"}, {"help", "\x1b[2Jcmd"}, {"edit", "x.torrent", "--rename", "\x1b[2J"}}) {
    SCOPED_TRACE(args.back());
    const TRun run = Cli(args);
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find(Replacement + "[2J"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find('\x1b'), std::string::npos) << run.Err;
  }
}

}  // namespace
