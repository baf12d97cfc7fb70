// The fixture corpus (made by make_fixtures.py) through the loader, `show`
// and `edit`: what peers load as it stands loads clean and edits; what they
// refuse or rewrite is reported, and edit leaves the file byte for byte.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "base/Stream.h"
#include "metainfo/TorrentFile.h"

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

const fs::path CorpusDir = fs::path(QUORVANE_SOURCE_DIR) / "tests/metainfo/corpus";
TRun RunCli(const std::vector<std::string>& args) {
  return RunShell("'" + QuorvaneCli + "'" + ShellWords(args) + " 2>/dev/null");
}

class Corpus : public ::testing::Test {
 protected:
  size_t FilesInDir() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  TTempDir scratch_;
  const fs::path dir_ = scratch_.Path();
};

const std::string MissingAnnounce = "Corrupt File: Missing \"announce\" segment";

TEST_F(Corpus, EveryFixtureThroughLoadShowAndEdit) {
  struct TCase {
    const char* Name;
    Strings Errors = {};
  };
  const TCase cases[] = {
      // Peers load these as they stand.
      {.Name = "good-single"},
      {.Name = "good-five-files"},
      {.Name = "no-announce", .Errors = {MissingAnnounce}},
      {.Name = "flat-announce-list"},
      {.Name = "pad-file"},
      {.Name = "symlink"},
      {.Name = "info-mark-keys"},
      {.Name = "odd-piece-length"},
      {.Name = "piece-length-2^31"},
      // Peers refuse these.
      {.Name = "pieces-3-bytes",
       .Errors = {"Corrupt File: \"info.pieces\" is 3 bytes long, not a multiple of 20",
                  "Corrupt File: \"info.pieces\" holds 0 piece hashes, but the total length needs 1"}},
      {.Name = "pieces-41-bytes",
       .Errors = {"Corrupt File: \"info.pieces\" is 41 bytes long, not a multiple of 20",
                  "Corrupt File: \"info.pieces\" holds 2 piece hashes, but the total length needs 1"}},
      {.Name = "too-few-pieces",
       .Errors = {"Corrupt File: \"info.pieces\" holds 1 piece hashes, but the total length needs 3"}},
      {.Name = "too-many-pieces",
       .Errors = {"Corrupt File: \"info.pieces\" holds 2 piece hashes, but the total length needs 1"}},
      {.Name = "one-piece-for-1.76TB",
       .Errors = {"Corrupt File: \"info.pieces\" holds 1 piece hashes, but the total length needs 104905"}},
      {.Name = "piece-length-0",
       .Errors = {"Corrupt File: \"info.piece length\" is 0, not between 1 and 2147483648"}},
      {.Name = "piece-length-negative",
       .Errors = {"Corrupt File: \"info.piece length\" is -16384, not between 1 and 2147483648"}},
      {.Name = "piece-length-2^32",
       .Errors = {"Corrupt File: \"info.piece length\" is 4294967296, not between 1 and 2147483648"}},
      {.Name = "negative-length", .Errors = {"Corrupt File: \"info.length\" is negative"}},
      {.Name = "negative-file-length", .Errors = {"Corrupt File: files[0] has a negative length"}},
      {.Name = "total-length-0", .Errors = {"Corrupt File: the torrent holds no data (total length 0)"}},
      {.Name = "empty-files-list", .Errors = {"Corrupt File: \"info.files\" is empty"}},
      {.Name = "empty-name", .Errors = {"Corrupt File: \"info.name\" is empty"}},
      {.Name = "name-dotdot", .Errors = {"Corrupt File: \"info.name\" is \"..\""}},
      {.Name = "empty-path-list", .Errors = {"Corrupt File: files[0] has an empty \"path\" segment"}},
      {.Name = "cut-in-pieces",
       .Errors = {"Corrupt File: the file ends inside a value (it is cut off)",
                  "Corrupt File: Missing \"info.pieces\" segment",
                  "Corrupt File: \"info.pieces\" holds 0 piece hashes, but the total length needs 5"}},
      {.Name = "top-level-list",
       .Errors = {"Something bad happened while trying to load the file, probably corrupt metainfo"}},
      {.Name = "not-bencoded",
       .Errors = {"Error parsing file; does not appear to be valid bencoded metainfo"}},
      // Peers load these only by reading them otherwise than they stand.
      {.Name = "path-empty-component", .Errors = {"Corrupt File: files[0].path[0] is empty"}},
      {.Name = "path-dot", .Errors = {"Corrupt File: files[0].path[0] is \".\""}},
      {.Name = "path-dotdot",
       .Errors = {"Corrupt File: files[0].path[0] is \"..\"", "Corrupt File: files[0].path[1] is \"..\""}},
      {.Name = "path-absolute", .Errors = {"Corrupt File: files[0].path[0] is absolute"}},
      {.Name = "path-slash-inside", .Errors = {"Corrupt File: files[0].path[0] contains \"/\""}},
      {.Name = "path-nul", .Errors = {"Corrupt File: files[0].path[0] contains a NUL byte"}},
      {.Name = "name-nul", .Errors = {"Corrupt File: \"info.name\" contains a NUL byte"}},
      {.Name = "two-info-keys", .Errors = {"Corrupt File: the \"info\" segment appears more than once"}},
  };
  size_t fixtures = 0;
  for (const auto& entry : fs::directory_iterator(CorpusDir))
    fixtures += entry.path().extension() == ".torrent";
  EXPECT_EQ(fixtures, std::size(cases)) << "every fixture has a case";

  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path fixture = CorpusDir / (std::string(c.Name) + ".torrent");
    ASSERT_TRUE(fs::exists(fixture));
    const std::string original = ReadWholeFile(fixture.string());
    const bool damaged = !c.Errors.empty() && c.Errors != Strings{MissingAnnounce};

    TTorrentFile model;
    TMemoryStream in(original);
    model.LoadFromStream(in);
    EXPECT_EQ(model.Errors, c.Errors);
    EXPECT_EQ(model.IsDamaged(), damaged);

    const TRun show = RunCli({"show", fixture.string()});
    EXPECT_EQ(show.Status, damaged ? 1 : 0);
    for (const auto& line : c.Errors) {
      // No tracker is no damage: show says the torrent is trackerless instead.
      if (line == MissingAnnounce)
        EXPECT_EQ(show.Out.find(line), std::string::npos) << show.Out;
      else
        EXPECT_NE(show.Out.find("  " + line + "\n"), std::string::npos) << line;
    }

    const std::string copy = (dir_ / "t.torrent").string();
    WriteWholeFile(copy, original);
    const TRun edit = RunCli({"edit", copy, "--comment", "edited"});
    if (damaged) {
      EXPECT_EQ(edit.Status, 1);
      EXPECT_EQ(ReadWholeFile(copy), original);
    } else {
      EXPECT_EQ(edit.Status, 0);
      // A comment edit keeps the info hash.
      TTorrentFile saved;
      TMemoryStream savedIn(ReadWholeFile(copy));
      saved.LoadFromStream(savedIn);
      EXPECT_EQ(saved.Comment, "edited");
      EXPECT_EQ(saved.InfoHashText, model.InfoHashText);
      EXPECT_FALSE(saved.IsDamaged());
    }
    EXPECT_EQ(FilesInDir(), 1u) << "no temporary file left";
    fs::remove(copy);
  }
}

// A five-file torrent cut at every byte: each cut is damage, and edit never
// saves it.
TEST_F(Corpus, EditNeverSavesACutTorrent) {
  const std::string whole = ReadWholeFile((CorpusDir / "good-five-files.torrent").string());
  const std::string copy = (dir_ / "cut.torrent").string();
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    const std::string cut = whole.substr(0, length);
    TTorrentFile model;
    TMemoryStream in(cut);
    const bool ok = model.LoadFromStream(in);
    EXPECT_TRUE(!ok || model.IsDamaged()) << "a cut loads clean";
    WriteWholeFile(copy, cut);
    EXPECT_NE(RunCli({"edit", copy, "--comment", "x"}).Status, 0);
    EXPECT_EQ(ReadWholeFile(copy), cut);
    EXPECT_EQ(FilesInDir(), 1u);
  }
  // The whole file edits.
  WriteWholeFile(copy, whole);
  EXPECT_EQ(RunCli({"edit", copy, "--comment", "x"}).Status, 0);
}

TEST_F(Corpus, NonRegularFilesAreRefusedBeforeOpening) {
  const std::string fifo = (dir_ / "pipe.torrent").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct TCase {
    std::string Command, Path;
  };
  for (const TCase& c : {TCase{"show", fifo}, TCase{"edit", fifo}, TCase{"show", dir_.string()},
                         TCase{"edit", dir_.string()}}) {
    SCOPED_TRACE(c.Command + " " + c.Path);
    // A FIFO with no writer would block an open for ever: this must return.
    // Standard error comes through the pipe, standard output is dropped.
    const TRun run = RunShell("'" + QuorvaneCli + "' " + c.Command + " '" + c.Path + "' 2>&1 >/dev/null");
    const std::string& err = run.Out;
    EXPECT_EQ(run.Status, 1);
    const std::string reason = c.Path == fifo ? "Not a regular file" : "Is a directory";
    EXPECT_EQ(err, "quorvane-cli " + c.Command + ": " + c.Path + ": " + reason + "\n");
  }
}

}  // namespace
