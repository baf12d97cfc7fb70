// The list format, the combined selection, resolution, the private tracker
// editor, the cache files and the settings reader.

#include <sys/stat.h>
#include <cstdlib>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/Stream.h"
#include "trackers/PrivateTrackerEditor.h"
#include "trackers/SavedTrackers.h"
#include "trackers/TrackerCache.h"
#include "trackers/TrackerList.h"

namespace {

using Lines = std::vector<std::string>;

TEST(TrackerListLines, SplitsAtEveryLineEndAndStopsAtNul) {
  struct TCase {
    const char* Name;
    std::string Text;
    Lines Want;
  } cases[] = {
      {.Name = "empty", .Text = "", .Want = {}},
      {.Name = "lf", .Text = "a\nb\n", .Want = {"a", "b"}},
      {.Name = "crlf", .Text = "a\r\nb\r\n", .Want = {"a", "b"}},
      {.Name = "cr", .Text = "a\rb", .Want = {"a", "b"}},
      {.Name = "mixed with blank lines", .Text = "a\r\n\nb\r\rc", .Want = {"a", "", "b", "", "c"}},
      {.Name = "lf cr is two line ends", .Text = "a\n\rb", .Want = {"a", "", "b"}},
      {.Name = "no trimming", .Text = " a \t\n", .Want = {" a \t"}},
      {.Name = "nul ends the text", .Text = std::string("a\nb\0c\nd", 7), .Want = {"a", "b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(SplitTrackerListLines(c.Text), c.Want);
  }
}

std::string Entry(const std::string& name, const std::string& status) {
  return name + "\nhttp://" + name + "/announce\nhttp://" + name + "/\n" + status + "\n";
}

TEST(TrackerListParse, ReadsEntriesAndTheirStatus) {
  const std::string list = "208\r\nhttp://example.org/get\r\n5\r\n" + Entry("zero", "0") +
                           Entry("empty", "") + Entry("up", "up") + Entry("blank", "1 ") +
                           Entry("down", "1") + "trailing junk\n";
  const TTrackerListParse p = ParseTrackerList(list);
  ASSERT_TRUE(p.Ok()) << p.Error;
  EXPECT_EQ(p.Version, 208);
  EXPECT_EQ(p.UpdateURL, "http://example.org/get");
  ASSERT_EQ(p.Entries.size(), 5u);
  const bool wantDown[] = {false, false, false, false, true};
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(p.Entries[i].Name);
    EXPECT_EQ(p.Entries[i].Down, wantDown[i]);
    EXPECT_EQ(p.Entries[i].Announce, "http://" + p.Entries[i].Name + "/announce");
    EXPECT_EQ(p.Entries[i].Webpage, "http://" + p.Entries[i].Name + "/");
  }
}

TEST(TrackerListParse, FaultsKeepWhatWasReadBefore) {
  struct TCase {
    const char* Name;
    std::string Text;
    bool Ok = false;
    bool VersionRead = false;
    bool EntriesReached = false;
    size_t Entries = 0;
    std::string Error = {};  // a part of the message
  } cases[] = {
      {.Name = "count 0",
       .Text = "208\nu\n0\n",
       .Ok = true,
       .VersionRead = true,
       .EntriesReached = true,
       .Entries = 0},
      {.Name = "count 0 ignores what follows",
       .Text = "208\nu\n0\n" + Entry("a", "0"),
       .Ok = true,
       .VersionRead = true,
       .EntriesReached = true,
       .Entries = 0},
      {.Name = "empty text", .Text = "", .Error = "List index out of bounds (0)"},
      {.Name = "captive portal page", .Text = "<!DOCTYPE html>\n<html>\n", .Error = "not a valid integer"},
      {.Name = "version with trailing blank",
       .Text = "208 \nu\n0\n",
       .Error = "'208 ' is not a valid integer"},
      {.Name = "no count line",
       .Text = "208\nu\n",
       .VersionRead = true,
       .EntriesReached = true,
       .Error = "List index out of bounds (2)"},
      {.Name = "count not a number",
       .Text = "208\nu\nmany\n",
       .VersionRead = true,
       .EntriesReached = true,
       .Error = "'many' is not a valid integer"},
      {.Name = "negative count",
       .Text = "208\nu\n-1\n",
       .VersionRead = true,
       .EntriesReached = true,
       .Error = "-1"},
      {.Name = "truncated in the second entry",
       .Text = "208\nu\n3\n" + Entry("a", "0") + "b\nhttp://b/\n",
       .VersionRead = true,
       .EntriesReached = true,
       .Entries = 1,
       .Error = "List index out of bounds (9)"},
      {.Name = "count far beyond the lines",
       .Text = "208\nu\n2000000000\n" + Entry("a", "1"),
       .VersionRead = true,
       .EntriesReached = true,
       .Entries = 1,
       .Error = "List index out of bounds"},
      {.Name = "leading blanks and sign are numbers",
       .Text = " +208\nu\n 1\n" + Entry("a", "1"),
       .Ok = true,
       .VersionRead = true,
       .EntriesReached = true,
       .Entries = 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TTrackerListParse p = ParseTrackerList(c.Text);
    EXPECT_EQ(p.Ok(), c.Ok) << p.Error;
    EXPECT_EQ(p.VersionRead, c.VersionRead);
    EXPECT_EQ(p.EntriesReached, c.EntriesReached);
    EXPECT_EQ(p.Entries.size(), c.Entries);
    EXPECT_NE(p.Error.find(c.Error), std::string::npos) << p.Error;
  }
}

// Texts with control characters would reach terminals and labels as they
// are: such an entry is dropped, the rest of the list stays.
TEST(TrackerListParse, EntriesWithControlCharactersAreDropped) {
  const std::string list =
      "208\nu\n4\nGood\nhttp://good/announce\n\n0\n"
      "\x1b]0;title\x07Evil\nhttp://evil/announce\n\n0\n"
      "Fine\nhttp://x/\x1b[2J\n\n0\n"
      "Also good\nhttp://also/announce\nhttp://also/\n1\n";
  const TTrackerListParse parse = ParseTrackerList(list);
  EXPECT_TRUE(parse.Ok()) << parse.Error;
  ASSERT_EQ(parse.Entries.size(), 2u);
  EXPECT_EQ(parse.Entries[0].Name, "Good");
  EXPECT_EQ(parse.Entries[1].Name, "Also good");
}

TEST(TrackerListParse, VersionBeyondRangeIsNotANumber) {
  EXPECT_FALSE(ParseTrackerList("99999999999999999999\nu\n0\n").VersionRead);
  EXPECT_EQ(ParseTrackerList("9223372036854775807\nu\n0\n").Version, INT64_MAX);
}

TEST(TrackerListUrls, OnlyWebAddressesGoToTheBrowser) {
  struct TCase {
    const char* Url;
    bool Want;
  } cases[] = {
      {"http://example.org/", true},
      {"HTTPS://example.org/", true},
      {"https://x", true},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
      {"", false},
      {"http:/x", false},
      {" http://x", false},
      {"ftp://x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Url);
    EXPECT_EQ(IsBrowsableUrl(c.Url), c.Want);
  }
}

class TTrackerListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list.PrivateTrackers = {{"Mine", "http://mine/announce", "http://mine/", false},
                            {"Dup", "http://private-dup/announce", "https://private-dup/", false}};
    list.Combine({{"Alpha", "http://alpha/announce", "http://alpha/", false},
                  {"Dup", "http://public-dup/announce", "file:///public-dup", true},
                  {"Beta", "udp://beta:80/announce", "", true}});
  }
  TTrackerList list;
};

TEST_F(TTrackerListTest, CombinedListIsPublicThenPrivate) {
  EXPECT_EQ(list.Names(), (Lines{"Alpha", "Dup", "Beta", "Mine", "Dup"}));
  // Later edits of the private trackers reach the selection only at the next combine.
  list.PrivateTrackers.push_back({"New", "http://new/", "", false});
  EXPECT_EQ(list.Trackers.size(), 5u);
  EXPECT_EQ(list.LookupAnnounceURL("New"), "");
}

TEST_F(TTrackerListTest, ResolutionFollowsTheLastMatch) {
  struct TCase {
    const char* Text;
    std::string Url, Status;
    bool Visit;
  } cases[] = {
      {"Alpha", "http://alpha/announce", "Status: UP", true},
      {"Beta", "udp://beta:80/announce", "Status: *DOWN*", true},
      {"Dup", "http://private-dup/announce", "Status: UP", true},
      {"alpha", "alpha", "Status: N/A", false},
      {"http://typed/announce ", "http://typed/announce ", "Status: N/A", false},
      {TrackerPrompt, TrackerPrompt, "Status: N/A", false},
      {"", "", "Status: N/A", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    const TAnnounceResolution r = list.GetAnnounceURL(c.Text);
    EXPECT_EQ(r.URL, c.Url);
    EXPECT_EQ(TrackerStatusText(r.Status), c.Status);
    EXPECT_EQ(r.VisitEnabled, c.Visit);
  }
  EXPECT_EQ(list.LookupAnnounceURL("Dup"), "http://private-dup/announce");
  EXPECT_EQ(list.LookupAnnounceURL("alpha"), "");
}

TEST_F(TTrackerListTest, VisitOpensEveryMatchingWebPage) {
  // The public "Dup" has a file: page, which must not reach the browser.
  EXPECT_EQ(list.VisitPages("Dup"), (Lines{"https://private-dup/"}));
  EXPECT_EQ(list.VisitPages("Alpha"), (Lines{"http://alpha/"}));
  EXPECT_TRUE(list.VisitPages("Beta").empty());
  EXPECT_TRUE(list.VisitPages("nothing").empty());
}

TEST(PrivateTrackerEditor, AddModifyAndDelete) {
  TTrackerList list;
  TScriptedDialogs dialogs;
  TPrivateTrackerEditor editor(list.PrivateTrackers, dialogs);

  EXPECT_FALSE(editor.AddModify("", "http://a/", ""));
  EXPECT_FALSE(editor.AddModify("A", "", "http://a/"));
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "Please enter tracker name!");
  EXPECT_EQ(dialogs.Boxes[1].Text, "Please enter tracker announce URL!");
  EXPECT_EQ(dialogs.Captions(), (Lines{"Error", "Error"}));
  EXPECT_TRUE(list.PrivateTrackers.empty());

  EXPECT_EQ(editor.CaptionFor("A"), "Add");
  ASSERT_TRUE(editor.AddModify("A", "http://a/announce", ""));
  ASSERT_TRUE(editor.AddModify("B", "http://b/announce", "http://b/"));
  EXPECT_EQ(editor.CaptionFor("A"), "Modify");
  EXPECT_EQ(editor.CaptionFor("a"), "Add");
  EXPECT_EQ(editor.Items, (Lines{"A", "B"}));

  // Modify changes the record in place; the order stays.
  ASSERT_TRUE(editor.AddModify("A", "http://a2/announce", "http://a2/"));
  EXPECT_EQ(editor.Items, (Lines{"A", "B"}));
  ASSERT_EQ(list.PrivateTrackers.size(), 2u);
  EXPECT_EQ(list.PrivateTrackers[0].Announce, "http://a2/announce");
  EXPECT_EQ(list.PrivateTrackers[0].Webpage, "http://a2/");

  // A click fills the edit boxes from the record.
  const auto click = editor.Click(1);
  EXPECT_TRUE(click.DeleteEnabled);
  ASSERT_TRUE(click.Fill);
  EXPECT_EQ(click.Fill->Announce, "http://b/announce");
  EXPECT_EQ(click.Caption, "Modify");
  EXPECT_FALSE(editor.Click(-1).DeleteEnabled);

  // Delete needs a typed name that is a private tracker, and removes the selected entry.
  editor.Click(0);
  EXPECT_FALSE(editor.Delete("unknown"));
  EXPECT_TRUE(editor.Delete("A"));
  EXPECT_EQ(editor.Items, (Lines{"B"}));
  EXPECT_EQ(editor.Selected, -1);
  ASSERT_EQ(list.PrivateTrackers.size(), 1u);
  EXPECT_EQ(list.PrivateTrackers[0].Name, "B");
  EXPECT_FALSE(editor.Delete("B")) << "nothing is selected";

  // Deleted and added again: back at the end.
  ASSERT_TRUE(editor.AddModify("A", "http://a3/announce", ""));
  EXPECT_EQ(editor.Items, (Lines{"B", "A"}));
  EXPECT_EQ(list.PrivateTrackers[1].Announce, "http://a3/announce");
}

TEST(PrivateTrackerEditor, ClickOnAnEntryWithoutRecordOffersAdd) {
  TTrackerList list;
  TScriptedDialogs dialogs;
  TPrivateTrackerEditor editor(list.PrivateTrackers, dialogs);
  editor.Items = {"ghost"};
  const auto click = editor.Click(0);
  EXPECT_TRUE(click.DeleteEnabled);
  EXPECT_FALSE(click.Fill);
  EXPECT_EQ(click.Caption, "Add");
}

TEST(TrackerCache, CacheFileBeforeTheInstalledList) {
  TTempDir dir;
  TTrackerCache cache(dir / "cache.lst", dir / "default.lst");
  EXPECT_FALSE(cache.Exists());
  EXPECT_FALSE(cache.Read());

  WriteWholeFile(dir / "default.lst", "default");
  EXPECT_TRUE(cache.Exists());
  EXPECT_EQ(cache.Read(), "default");

  cache.Write("cached");
  EXPECT_EQ(cache.Read(), "cached");
  EXPECT_EQ(ReadWholeFile(dir / "default.lst"), "default");
  // Only the two files: no temporary file is left behind.
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 2u);

  TTrackerCache nowhere(dir / "missing/cache.lst", dir / "default.lst");
  EXPECT_THROW(nowhere.Write("x"), EStreamError);
}

TEST(TrackerCache, InstallDirFollowsXdgCacheHome) {
  TTempDir dir;
  const char* old = std::getenv("XDG_CACHE_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CACHE_HOME", (dir / "xdg/cache/").c_str(), 1);
  const std::string installDir = GetInstallDir();
  EXPECT_EQ(installDir, dir / "xdg/cache/quorvane");
  struct stat st {};
  EXPECT_TRUE(stat(installDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
  EXPECT_EQ(TTrackerCache::Installed().CacheFile(), installDir + "/trackers.lst");
  if (old)
    setenv("XDG_CACHE_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CACHE_HOME");
}

TEST(SavedTrackers, ReadsPrivateTrackersFromTheSettingsFile) {
  TTempDir dir;
  WriteWholeFile(dir / "quorvane.ini",
                 "[settings]\r\nnoupdate=1\r\n"
                 "[PRIVATE]\r\nCount = 2\r\n"
                 "[private0]\r\nname=One\r\nannounce=http://one/announce\r\nwebpage=\r\n"
                 "[Private1]\r\nNAME= \"Two\" words \r\nannounce=http://two/a?x=1\r\nwebpage=http://two/\r\n"
                 "[private2]\r\nname=Leftover\r\nannounce=http://old/\r\n");
  const std::vector<TTracker> trackers = LoadPrivateTrackers(TProfileFile(dir / "quorvane.ini"));
  ASSERT_EQ(trackers.size(), 2u);
  EXPECT_EQ(trackers[0].Name, "One");
  EXPECT_EQ(trackers[0].Webpage, "");
  EXPECT_EQ(trackers[1].Name, "\"Two\" words");  // quotes kept, blanks trimmed
  EXPECT_EQ(trackers[1].Announce, "http://two/a?x=1");
  EXPECT_FALSE(trackers[1].Down);

  EXPECT_TRUE(LoadPrivateTrackers(TProfileFile(dir / "none.ini")).empty());
  // A damaged count reads at most MaxPrivateTrackers records, a negative one none.
  WriteWholeFile(dir / "huge.ini", "[private]\ncount=2000000000\n");
  EXPECT_EQ(LoadPrivateTrackers(TProfileFile(dir / "huge.ini")).size(), size_t(MaxPrivateTrackers));
  WriteWholeFile(dir / "negative.ini", "[private]\ncount=-3\n");
  EXPECT_TRUE(LoadPrivateTrackers(TProfileFile(dir / "negative.ini")).empty());
}

TEST(DefaultTrackerList, ShippedListParses) {
  const std::string bytes = ReadWholeFile(QUORVANE_SOURCE_DIR "/src/trackers/data/trackers.lst");
  const TTrackerListParse p = ParseTrackerList(bytes);
  ASSERT_TRUE(p.Ok()) << p.Error;
  EXPECT_LE(p.Version, TrackerListRelease) << "the shipped list must not ask to update";
  EXPECT_GE(p.Entries.size(), 3u);
  for (const auto& t : p.Entries) {
    SCOPED_TRACE(t.Name);
    EXPECT_FALSE(t.Name.empty());
    EXPECT_FALSE(t.Announce.empty());
    EXPECT_TRUE(t.Webpage.empty() || IsBrowsableUrl(t.Webpage));
  }
}

}  // namespace
