// The edits shared by the View/Edit page and `quorvane-cli edit`, and the
// command itself run as a program.

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "MetainfoTestUtil.h"
#include "base/Stream.h"
#include "metainfo/TorrentEdits.h"
#include "metainfo/TorrentFile.h"

namespace fs = std::filesystem;

namespace {

using Ben::Int;
using Ben::Str;

const std::string Pieces20 = std::string(20, '\x11');

// A multi-file torrent: a/b/c.txt (10 bytes) and d.txt (5 bytes).
std::string MultiFileBytes() {
  return "d" + Str("announce") + Str("http://main/announce") + Str("announce-list") + "l" + "l" +
         Str("http://main/announce") + "e" + "l" + Str("http://b1/announce") + "e" + "e" + Str("comment") +
         Str("hello") + Str("creation date") + Int(1700000000) + Str("info") + "d" + Str("files") + "l" +
         "d" + Str("length") + Int(10) + Str("path") + "l" + Str("a") + Str("b") + Str("c.txt") + "e" + "e" +
         "d" + Str("length") + Int(5) + Str("path") + "l" + Str("d.txt") + "e" + "e" + "e" + Str("name") +
         Str("top") + Str("piece length") + Int(16384) + Str("pieces") + Str(Pieces20) + Str("private") +
         Int(1) + "e" + "e";
}

std::string SingleFileBytes() {
  return "d" + Str("announce") + Str("http://main/announce") + Str("info") + "d" + Str("length") +
         Int(12345) + Str("name") + Str("movie.bin") + Str("piece length") + Int(16384) + Str("pieces") +
         Str(Pieces20) + "e" + "e";
}

// A torrent that must load.
std::unique_ptr<TTorrentFile> LoadOk(const std::string& bytes) {
  auto loaded = Load(bytes);
  EXPECT_TRUE(loaded.Ok);
  return std::move(loaded.Model);
}

TEST(TorrentEdits, RenameFileEntrySplitsAtTheLastSlash) {
  struct TCase {
    const char* Label;
    std::size_t Index;
    const char* Text;
    const char* Path;
    const char* Name;
  };
  const TCase cases[] = {
      {.Label = "new folders", .Index = 0, .Text = "x/y.txt", .Path = "x/", .Name = "y.txt"},
      {.Label = "name only keeps the folders", .Index = 0, .Text = "z.txt", .Path = "a/b/", .Name = "z.txt"},
      {.Label = "deeper", .Index = 1, .Text = "p/q/r/s", .Path = "p/q/r/", .Name = "s"},
      {.Label = "colon is a plain character", .Index = 0, .Text = "c:d/e:f", .Path = "c:d/", .Name = "e:f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    auto torrent = LoadOk(MultiFileBytes());
    RenameFileEntry(*torrent, c.Index, c.Text);
    EXPECT_EQ(torrent->Files[c.Index]->Path, c.Path);
    EXPECT_EQ(torrent->Files[c.Index]->Name, c.Name);
    EXPECT_EQ(FileEntryText(*torrent->Files[c.Index]), std::string(c.Path) + c.Name);
    // The other entry is left alone.
    const auto& other = *torrent->Files[1 - c.Index];
    EXPECT_EQ(FileEntryText(other), c.Index == 0 ? "d.txt" : "a/b/c.txt");
  }
}

TEST(TorrentEdits, RenameFileEntryRefusesAnIndexPastTheList) {
  auto torrent = LoadOk(MultiFileBytes());
  EXPECT_THROW(RenameFileEntry(*torrent, 2, "x"), std::out_of_range);
  EXPECT_EQ(FileEntryText(*torrent->Files[1]), "d.txt");
}

TEST(TorrentEdits, RenameRefusesNamesThatLeaveTheTorrentsFolder) {
  for (const std::string& text :
       std::vector<std::string>{"", ".", "..", "dir/", "/top.txt", "../../evil.sh", "a/./b", "a//b", "a/../b",
                                std::string("a\0b", 3)}) {
    SCOPED_TRACE(text);
    auto torrent = LoadOk(MultiFileBytes());
    EXPECT_THROW(RenameFileEntry(*torrent, 0, text), EBadFileName);
    EXPECT_EQ(FileEntryText(*torrent->Files[0]), "a/b/c.txt");
    auto single = LoadOk(SingleFileBytes());
    EXPECT_THROW(RenameFileEntry(*single, 0, text), EBadFileName);
    EXPECT_EQ(single->Name, "movie.bin");
  }
  for (const char* name : {"", ".", "..", "a/b", "/abs"}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(CheckTorrentName(name), EBadFileName);
  }
  EXPECT_NO_THROW(CheckTorrentName("fine name..txt"));
}

// An album, CD1/01.flac (5000 B), CD1/02.flac (6000 B) and cover.jpg (300 B)
// in 16 KiB pieces, each file padded to a piece as a hybrid needs: as a v1
// torrent, and the same files as a hybrid with their file tree.
std::string AlbumBytes(bool hybrid) {
  using Ben::Dict;
  using Ben::List;
  const auto file = Ben::FileEntry;
  const auto pad = Ben::PadEntry;
  const auto leaf = [](int64_t length, char root) {
    return Dict({{"", Dict({{"length", Int(length)}, {"pieces root", Str(std::string(32, root))}})}});
  };
  const std::string files = List({file(5000, {Str("CD1"), Str("01.flac")}), pad(16384 - 5000),
                                  file(6000, {Str("CD1"), Str("02.flac")}), pad(16384 - 6000),
                                  file(300, {Str("cover.jpg")}), pad(16384 - 300)});
  std::string info = "d";
  if (hybrid)
    info += Str("file tree") +
            Dict({{"CD1", Dict({{"01.flac", leaf(5000, '\x01')}, {"02.flac", leaf(6000, '\x02')}})},
                  {"cover.jpg", leaf(300, '\x03')}});
  info += Str("files") + files;
  if (hybrid) info += Str("meta version") + Int(2);
  info += Str("name") + Str("Album") + Str("piece length") + Int(16384) + Str("pieces") +
          Str(Pieces20 + Pieces20 + Pieces20) + "e";
  return "d" + Str("announce") + Str("http://main/announce") + Str("info") + info + "e";
}

// Renames that would give two files one place are refused alike in a v1
// torrent and in the same files as a hybrid; a hybrid refuses besides, when
// saved, a rename its file tree cannot follow.
TEST(TorrentEdits, RenamesThatClashAreRefusedInV1AsInAHybrid) {
  enum class TVerdict { Saved, Refused, NotSaved };
  struct TCase {
    const char* Label;
    std::size_t Index;  // 0 01.flac, 2 02.flac, 4 cover.jpg; the odd ones are pads
    const char* Text;
    TVerdict V1;
    TVerdict Hybrid;
    const char* Path = "";  // of the renamed file, once saved
  };
  const TCase cases[] = {
      {.Label = "a free name",
       .Index = 0,
       .Text = "01 intro.flac",
       .V1 = TVerdict::Saved,
       .Hybrid = TVerdict::Saved,
       .Path = "CD1/01 intro.flac"},
      {.Label = "two files of one path",
       .Index = 2,
       .Text = "01.flac",
       .V1 = TVerdict::Refused,
       .Hybrid = TVerdict::Refused},
      {.Label = "the same path by another folder",
       .Index = 4,
       .Text = "CD1/02.flac",
       .V1 = TVerdict::Refused,
       .Hybrid = TVerdict::Refused},
      {.Label = "twins but for case",
       .Index = 2,
       .Text = "cd1/01.FLAC",
       .V1 = TVerdict::Refused,
       .Hybrid = TVerdict::Refused},
      {.Label = "a file where a folder is",
       .Index = 4,
       .Text = "CD1",
       .V1 = TVerdict::Refused,
       .Hybrid = TVerdict::Refused},
      {.Label = "a folder where a file is",
       .Index = 0,
       .Text = "cover.jpg/01.flac",
       .V1 = TVerdict::Refused,
       .Hybrid = TVerdict::Refused},
      {.Label = "a file where a padding folder is",
       .Index = 4,
       .Text = ".pad",
       .V1 = TVerdict::Refused,
       .Hybrid = TVerdict::Refused},
      {.Label = "padding", .Index = 1, .Text = "x.bin", .V1 = TVerdict::Refused, .Hybrid = TVerdict::Refused},
      {.Label = "padding, under its own name",
       .Index = 3,
       .Text = ".pad/10384",
       .V1 = TVerdict::Refused,
       .Hybrid = TVerdict::Refused},
      {.Label = "folders that differ in case are two folders",
       .Index = 4,
       .Text = "cd1/cover.jpg",
       .V1 = TVerdict::Saved,
       .Hybrid = TVerdict::Saved,
       .Path = "cd1/cover.jpg"},
      {.Label = "out of tree order",
       .Index = 4,
       .Text = "0.jpg",
       .V1 = TVerdict::Saved,
       .Hybrid = TVerdict::NotSaved,
       .Path = "0.jpg"},
  };
  for (const auto& c : cases) {
    for (const bool hybrid : {false, true}) {
      SCOPED_TRACE(std::string(c.Label) + (hybrid ? ", hybrid" : ", v1"));
      auto torrent = LoadOk(AlbumBytes(hybrid));
      ASSERT_EQ(torrent->Errors, std::vector<std::string>());
      ASSERT_EQ(torrent->Format(), hybrid ? TMetaFormat::Hybrid : TMetaFormat::V1);
      const std::string before = FileEntryText(*torrent->Files[c.Index]);
      const TVerdict verdict = hybrid ? c.Hybrid : c.V1;
      if (verdict == TVerdict::Refused) {
        EXPECT_THROW(RenameFileEntry(*torrent, c.Index, c.Text), EBadFileName);
        EXPECT_EQ(FileEntryText(*torrent->Files[c.Index]), before);
        EXPECT_FALSE(torrent->InfoChanged());
        continue;
      }
      RenameFileEntry(*torrent, c.Index, c.Text);
      EXPECT_EQ(torrent->HybridRenamed(), verdict == TVerdict::NotSaved);
      if (verdict == TVerdict::NotSaved) continue;
      auto saved = LoadOk(Save(*torrent));
      EXPECT_EQ(saved->Errors, std::vector<std::string>());
      EXPECT_EQ(FileEntryText(*saved->Files[c.Index]), c.Path);
      EXPECT_NE(saved->InfoHashText, torrent->InfoHashText);
    }
  }
}

TEST(TorrentEdits, RenamingTheOneFileOfASingleFileTorrentRenamesTheTorrent) {
  auto single = LoadOk(SingleFileBytes());
  RenameFileEntry(*single, 0, "other.bin");
  EXPECT_EQ(single->Name, "other.bin");
  EXPECT_EQ(single->Files[0]->Name, "other.bin");
  TMemoryStream out;
  single->SaveToStream(out, single->Pieces);
  auto again = LoadOk(out.Data());
  EXPECT_EQ(again->Name, "other.bin");
}

TEST(TorrentEdits, SetTorrentNameRenamesTheOneFileOfASingleFileTorrent) {
  auto single = LoadOk(SingleFileBytes());
  EXPECT_TRUE(SetTorrentName(*single, "other.bin"));
  EXPECT_EQ(single->Name, "other.bin");
  EXPECT_EQ(single->Files[0]->Name, "other.bin");

  auto multi = LoadOk(MultiFileBytes());
  EXPECT_FALSE(SetTorrentName(*multi, "folder"));
  EXPECT_EQ(multi->Name, "folder");
  EXPECT_EQ(multi->Files[0]->Name, "c.txt");

  TTorrentFile empty;  // single-file but without a file entry
  EXPECT_FALSE(SetTorrentName(empty, "x"));
  EXPECT_EQ(empty.Name, "x");
}

TEST(TorrentEdits, BackupLinesResolveThroughTheLookupOrStandForThemselves) {
  const std::map<std::string, std::string> trackers = {{"Tracker One", "http://one/announce"},
                                                       {"Shared A", "http://shared/announce"},
                                                       {"Shared B", "http://shared/announce"},
                                                       {"No URL", ""}};
  const TAnnounceLookup lookup = [&](const std::string& line) {
    const auto it = trackers.find(line);
    return it == trackers.end() ? std::string() : it->second;
  };
  const std::vector<std::string> lines = {"Tracker One", "tracker one", "http://u/announce", "No URL",
                                          "Shared A",    "Shared B",    "http://u/announce"};
  const std::vector<std::string> expected = {
      "http://one/announce",    "tracker one",      "http://u/announce", "No URL", "http://shared/announce",
      "http://shared/announce", "http://u/announce"};
  EXPECT_EQ(ResolveBackupLines(lines, lookup), expected);
  EXPECT_EQ(ResolveBackupLines(lines, nullptr), lines);

  auto torrent = LoadOk(MultiFileBytes());
  ASSERT_FALSE(torrent->BackupTrackers().empty());
  RebuildBackupTrackers(*torrent, true, lines, lookup);
  EXPECT_EQ(torrent->BackupTrackers(), expected);
  RebuildBackupTrackers(*torrent, false, lines, lookup);
  EXPECT_TRUE(torrent->BackupTrackers().empty());
  RebuildBackupTrackers(*torrent, true, {}, lookup);
  EXPECT_TRUE(torrent->BackupTrackers().empty());
}

// The main tracker is where clients start: the announce URL, or without one the first URL of the
// tiers. The edits keep it there and write it as the announce URL.
TEST(TorrentEdits, TrackerEditsKeepTheMainTracker) {
  using TTiers = TTrackerTiers;
  const auto tiersOnly = [](const std::string& tiers) {
    return "d13:announce-list" + tiers +
           "4:infod6:lengthi5e4:name1:n12:piece lengthi16384e6:pieces20:" + std::string(20, '\x01') + "ee";
  };
  const std::string twoTiers = Ben::List({Ben::List({Str("http://b/")}), Ben::List({Str("http://c/")})});
  struct TCase {
    const char* Label;
    std::string Bytes;
    std::function<void(TTorrentFile&)> Edit;
    std::string Main;  // MainTracker after the edit
    std::string Announce;
    TTiers Tiers;
  };
  const TCase cases[] = {
      {.Label = "tiers without announce: nothing edited",
       .Bytes = tiersOnly(twoTiers),
       .Edit = [](TTorrentFile&) {},
       .Main = "http://b/",
       .Announce = "",
       .Tiers = {{"http://b/"}, {"http://c/"}}},
      {.Label = "a tier added",
       .Bytes = tiersOnly(twoTiers),
       .Edit = [](TTorrentFile& t) { AddTracker(t, "http://d/"); },
       .Main = "http://b/",
       .Announce = "http://b/",
       .Tiers = {{"http://b/"}, {"http://c/"}, {"http://d/"}}},
      {.Label = "back-ups dropped",
       .Bytes = tiersOnly(twoTiers),
       .Edit = [](TTorrentFile& t) { ReplaceBackupTrackers(t, {}); },
       .Main = "http://b/",
       .Announce = "http://b/",
       .Tiers = {}},
      {.Label = "back-ups replaced",
       .Bytes = tiersOnly(twoTiers),
       .Edit = [](TTorrentFile& t) { ReplaceBackupTrackers(t, {"http://e/"}); },
       .Main = "http://b/",
       .Announce = "http://b/",
       .Tiers = {{"http://b/"}, {"http://e/"}}},
      {.Label = "the first removed",
       .Bytes = tiersOnly(twoTiers),
       .Edit = [](TTorrentFile& t) { EXPECT_TRUE(RemoveTracker(t, "http://b/")); },
       .Main = "http://c/",
       .Announce = "http://c/",
       .Tiers = {{"http://c/"}}},
      {.Label = "a tier added to a torrent with an announce URL",
       .Bytes = MultiFileBytes(),
       .Edit = [](TTorrentFile& t) { AddTracker(t, "http://d/"); },
       .Main = "http://main/announce",
       .Announce = "http://main/announce",
       .Tiers = {{"http://main/announce"}, {"http://b1/announce"}, {"http://d/"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    auto torrent = LoadOk(c.Bytes);
    c.Edit(*torrent);
    EXPECT_EQ(MainTracker(*torrent), c.Main);
    auto [saved, ok] = Load(Save(*torrent));
    ASSERT_TRUE(ok);
    EXPECT_EQ(saved->Announce(), c.Announce);
    EXPECT_EQ(MainTracker(*saved), c.Main);
    EXPECT_EQ(saved->AnnounceTiers(), c.Tiers);
  }
}

// `quorvane-cli edit` run as a program.
class EditCommand : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const auto path = (dir_ / name).string();
    WriteWholeFile(path, bytes);
    return path;
  }

  TRun Run(const std::vector<std::string>& args) {
    return RunShell("'" + QuorvaneCli + "' edit" + ShellWords(args) + " 2>/dev/null");
  }

  TTempDir scratch_;
  const fs::path dir_ = scratch_.Path();
};

TEST_F(EditCommand, AppliesEveryEditAndPrintsTheNewInfoHash) {
  const auto in = Write("in.torrent", MultiFileBytes());
  const auto out = (dir_ / "out.torrent").string();
  const auto run = Run({in, "-o", out, "--announce", "http://new/announce", "--backup", "http://x/announce",
                        "--backup", "http://y/announce", "--name", "renamed", "--comment", "line1\r\nline2",
                        "--date", "1600000000", "--rename", "0=x/y.txt", "--rename", "1=z.txt"});
  ASSERT_EQ(run.Status, 0);
  EXPECT_EQ(ReadWholeFile(in), MultiFileBytes()) << "the input must stay as it was when -o is given";

  auto edited = LoadOk(ReadWholeFile(out));
  EXPECT_EQ(run.Out, edited->InfoHashText + "\n");
  EXPECT_EQ(edited->Announce(), "http://new/announce");
  EXPECT_EQ(edited->BackupTrackers(),
            (std::vector<std::string>{"http://new/announce", "http://x/announce", "http://y/announce"}));
  EXPECT_EQ(edited->Name, "renamed");
  EXPECT_EQ(edited->Comment, "line1\r\nline2");
  EXPECT_EQ(DateTimeToUnix(DateTimeOf(*edited)), 1600000000);
  ASSERT_EQ(edited->Files.size(), 2u);
  EXPECT_EQ(FileEntryText(*edited->Files[0]), "x/y.txt");
  EXPECT_EQ(FileEntryText(*edited->Files[1]), "z.txt");
  EXPECT_EQ(edited->Files[0]->Length, 10);
}

TEST_F(EditCommand, BackupTrackersAreKeptUnlessReplacedOrDropped) {
  const auto original = LoadOk(MultiFileBytes());
  struct TCase {
    const char* Label;
    std::vector<std::string> Args;
    std::vector<std::string> Backup;
  };
  const TCase cases[] = {
      {.Label = "kept", .Args = {"--comment", "c"}, .Backup = original->BackupTrackers()},
      {.Label = "dropped", .Args = {"--no-backup"}, .Backup = {}},
      {.Label = "replaced",
       .Args = {"--backup", "http://z/announce"},
       .Backup = {"http://main/announce", "http://z/announce"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const auto file = Write("t.torrent", MultiFileBytes());
    auto args = c.Args;
    args.insert(args.begin(), file);
    ASSERT_EQ(Run(args).Status, 0);
    EXPECT_EQ(LoadOk(ReadWholeFile(file))->BackupTrackers(), c.Backup);
  }
}

TEST_F(EditCommand, DateNowAndNone) {
  const auto file = Write("t.torrent", MultiFileBytes());
  ASSERT_EQ(Run({file, "--date", "none"}).Status, 0);
  EXPECT_EQ(DateTimeOf(*LoadOk(ReadWholeFile(file))), 0);
  EXPECT_EQ(ReadWholeFile(file).find("13:creation date"), std::string::npos);

  const auto before = DateTimeToUnix(NowUtc());
  ASSERT_EQ(Run({file, "--date", "now"}).Status, 0);
  const auto written = DateTimeToUnix(DateTimeOf(*LoadOk(ReadWholeFile(file))));
  EXPECT_GE(written, before);
  EXPECT_LE(written, before + 60);
}

TEST_F(EditCommand, AnyDateOfSixtyFourBits) {
  for (const long long seconds :
       {4294967296LL, -62135596800LL, 253402300800LL, 9223372036854775807LL, -9223372036854775807LL - 1}) {
    SCOPED_TRACE(seconds);
    const auto file = Write("t.torrent", MultiFileBytes());
    ASSERT_EQ(Run({file, "--date", std::to_string(seconds)}).Status, 0);
    EXPECT_NE(ReadWholeFile(file).find("13:creation datei" + std::to_string(seconds) + "e"),
              std::string::npos);
    EXPECT_EQ(LoadOk(ReadWholeFile(file))->CreationUnix(), seconds);
  }
}

TEST_F(EditCommand, RenameOnASingleFileTorrentRenamesIt) {
  const auto file = Write("t.torrent", SingleFileBytes());
  ASSERT_EQ(Run({file, "--rename", "0=renamed.bin"}).Status, 0);
  const auto edited = LoadOk(ReadWholeFile(file));
  EXPECT_EQ(edited->Name, "renamed.bin");
  EXPECT_EQ(edited->Files[0]->Name, "renamed.bin");
}

TEST_F(EditCommand, WithoutEditsTheInfoHashStays) {
  const auto file = Write("t.torrent", MultiFileBytes());
  const auto hash = LoadOk(MultiFileBytes())->InfoHashText;
  ASSERT_EQ(hash.size(), 40u);
  const auto run = Run({file, "--announce", "http://other/announce"});
  ASSERT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, hash + "\n");
}

TEST_F(EditCommand, BadArgumentsAndBadFilesChangeNothing) {
  const auto good = Write("good.torrent", MultiFileBytes());
  const auto bad = Write("bad.torrent", "not bencoded");
  struct TCase {
    const char* Label;
    std::vector<std::string> Args;
    int Status;
  };
  const TCase cases[] = {
      {.Label = "no file", .Args = {"--name", "x"}, .Status = 2},
      {.Label = "two files", .Args = {good, good}, .Status = 2},
      {.Label = "unknown option", .Args = {good, "--frobnicate"}, .Status = 2},
      {.Label = "missing value", .Args = {good, "--name"}, .Status = 2},
      {.Label = "backup and no-backup", .Args = {good, "--backup", "u", "--no-backup"}, .Status = 2},
      {.Label = "date words", .Args = {good, "--date", "yesterday"}, .Status = 2},
      {.Label = "date past 64 bits", .Args = {good, "--date", "9223372036854775808"}, .Status = 2},
      {.Label = "rename to ..", .Args = {good, "--rename", "0=../../evil.sh"}, .Status = 2},
      {.Label = "rename absolute", .Args = {good, "--rename", "1=/etc/passwd"}, .Status = 2},
      {.Label = "rename to empty", .Args = {good, "--rename", "1="}, .Status = 2},
      {.Label = "name ..", .Args = {good, "--name", ".."}, .Status = 2},
      {.Label = "name with slash", .Args = {good, "--name", "a/b"}, .Status = 2},
      {.Label = "a folder", .Args = {dir_.string(), "--name", "x"}, .Status = 1},
      {.Label = "rename without =", .Args = {good, "--rename", "0"}, .Status = 2},
      {.Label = "rename negative", .Args = {good, "--rename", "-1=x"}, .Status = 2},
      {.Label = "rename past the list", .Args = {good, "--rename", "2=x"}, .Status = 2},
      {.Label = "not bencoded", .Args = {bad, "--name", "x"}, .Status = 1},
      {.Label = "missing file", .Args = {(dir_ / "none.torrent").string(), "--name", "x"}, .Status = 1},
      {.Label = "private neither on nor off", .Args = {good, "--private", "yes"}, .Status = 2},
      {.Label = "source and no-source", .Args = {good, "--source", "S", "--no-source"}, .Status = 2},
      {.Label = "web-seed and no-web-seeds",
       .Args = {good, "--web-seed", "u", "--no-web-seeds"},
       .Status = 2},
      {.Label = "replace-tracker with one value", .Args = {good, "--replace-tracker", "a"}, .Status = 2},
      {.Label = "replace-tracker of nothing", .Args = {good, "--replace-tracker", "", "b"}, .Status = 2},
      {.Label = "ambiguous prefix", .Args = {good, "--no", "x"}, .Status = 2},
      {.Label = "two files with -o", .Args = {good, good, "--comment", "x", "-o", "o.torrent"}, .Status = 2},
      {.Label = "two files with --rename", .Args = {good, good, "--rename", "0=x"}, .Status = 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(Run(c.Args).Status, c.Status);
    EXPECT_EQ(ReadWholeFile(good), MultiFileBytes());
    EXPECT_EQ(ReadWholeFile(bad), "not bencoded");
  }
  EXPECT_FALSE(fs::exists(dir_ / "none.torrent"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2)
      << "no temporary file left";
}

}  // namespace
