// The refresh against a scripted downloader: which address is asked when,
// what reaches the cache, the message boxes, the status bar and the selection.

#include <sys/stat.h>
#include <map>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/Stream.h"
#include "trackers/PrivateTrackerEditor.h"
#include "trackers/TrackerRefresh.h"

namespace {

using Lines = std::vector<std::string>;

const char* const Primary = "http://127.0.0.1:1/torrent/trackers.lst";
const char* const Fallback = "http://127.0.0.1:2/~quorvane/trackers.lst";

std::string List(int version, const Lines& names) {
  std::string s =
      std::to_string(version) + "\r\nhttp://example.org/new\r\n" + std::to_string(names.size()) + "\r\n";
  for (const auto& n : names) s += n + "\r\nhttp://" + n + "/announce\r\nhttp://" + n + "/\r\n0\r\n";
  return s;
}

TListDownload Ok(std::string body) { return {true, 200, std::move(body), ""}; }
TListDownload Status(int code) { return {true, code, "<html>not here</html>", ""}; }
TListDownload Refused() { return {false, 0, "", "Connection refused"}; }

// Answers each address from a script, one request at a time, when the test says so.
class TFakeDownloader : public TListDownloader {
 public:
  std::map<std::string, TListDownload>* Script = nullptr;
  Lines* Asked = nullptr;
  std::function<void(TListDownload)> pending;
  std::string pendingUrl;

  void Fetch(const std::string& url, std::function<void(TListDownload)> done) override {
    if (pending) ADD_FAILURE() << "a second request while one is running";
    Asked->push_back(url);
    pending = std::move(done);
    pendingUrl = url;
  }
};

class TTrackerRefreshTest : public ::testing::Test {
 protected:
  void SetUp() override { Build(dir / "trackers.lst"); }

  void Build(const std::string& cacheFile) {
    auto downloader = std::make_unique<TFakeDownloader>();
    downloader->Script = &script;
    downloader->Asked = &asked;
    fake = downloader.get();
    TTrackerRefreshEvents events;
    events.Status = [this](const std::string& s) { statusBar.push_back(s); };
    events.FillSelection = [this](const Lines& items) {
      selection = items;
      ++fills;
    };
    events.OpenUrl = [this](const std::string& u) { opened.push_back(u); };
    events.ErrorReport = [this](const std::string& e) { errors.push_back(e); };
    events.NoUpdate = [this] { return noUpdate; };
    events.RememberedTracker = [this]() -> std::optional<std::string> {
      if (!rememberTracker) return std::nullopt;
      return remembered;
    };
    events.SetTrackerText = [this](const std::string& t) { trackerText.push_back(t); };
    events.Finished = [this](TRefreshOutcome o) { outcomes.push_back(o); };
    refresh = std::make_unique<TTrackerRefresh>(
        list.Trackers, list.PrivateTrackers, TTrackerCache(cacheFile, dir / "default.lst"),
        Lines{Primary, Fallback}, std::move(downloader), dialogs, std::move(events));
  }

  // Answers requests from the script until the refresh asks no more.
  void Serve() {
    for (int guard = 0; fake->pending && guard < 100; ++guard) {
      auto done = std::move(fake->pending);
      fake->pending = nullptr;
      auto it = script.find(fake->pendingUrl);
      done(it == script.end() ? Refused() : it->second);
    }
  }
  void RunRefresh() {
    refresh->Run();
    Serve();
  }
  std::string Cache() { return ReadWholeFile(dir / "trackers.lst"); }
  bool CacheExists() {
    struct stat st {};
    return stat((dir / "trackers.lst").c_str(), &st) == 0;
  }

  TTempDir dir;
  TTrackerList list;
  TScriptedDialogs dialogs;
  std::map<std::string, TListDownload> script;
  Lines asked, statusBar, selection, opened, errors, trackerText;
  int fills = 0;
  std::vector<TRefreshOutcome> outcomes;
  bool noUpdate = false;
  bool rememberTracker = true;
  std::string remembered = TrackerPrompt;
  TFakeDownloader* fake = nullptr;
  std::unique_ptr<TTrackerRefresh> refresh;
};

TEST_F(TTrackerRefreshTest, PrimaryAnswers) {
  list.PrivateTrackers = {{"Mine", "http://mine/announce", "", false}};
  script[Primary] = Ok(List(208, {"Alpha", "Beta"}));
  RunRefresh();
  EXPECT_EQ(asked, (Lines{Primary}));
  EXPECT_EQ(outcomes, std::vector{TRefreshOutcome::Downloaded});
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(statusBar, (Lines{"Attempting to update tracker list...", "Tracker list loaded!"}));
  EXPECT_EQ(selection, (Lines{"Alpha", "Beta", "Mine"}));
  EXPECT_EQ(list.Trackers.size(), 3u);
  EXPECT_EQ(Cache(), List(208, {"Alpha", "Beta"}));
  EXPECT_EQ(trackerText, (Lines{TrackerPrompt}));
  EXPECT_FALSE(refresh->Busy());
}

TEST_F(TTrackerRefreshTest, FallbackAnswersWhenThePrimaryDoesNot) {
  struct TCase {
    const char* Name;
    TListDownload PrimaryAnswer;
  } cases[] = {
      {"refused", Refused()},
      {"not found", Status(404)},
      {"redirect not followed to the end", Status(302)},
      {"server error", Status(500)},
      {"captive portal page with 200", Ok("<!DOCTYPE html>\n<html><body>Log in</body></html>\n")},
      {"truncated list", Ok(List(208, {"Alpha", "Beta"}).substr(0, 40))},
      {"empty 200", Ok("")},
      {"larger than 1 MiB", Ok(List(208, {"Alpha"}) + std::string(MaxTrackerListSize, 'x'))},
      // Valid lists, but no replacement for a cache that names trackers.
      {"no trackers", Ok("208\r\nhttp://example.org/\r\n0\r\n")},
      {"bytes after a NUL", Ok(List(208, {"Alpha"}) + std::string(1, '\0') + "garbage")},
      {"a NUL at the end", Ok(List(208, {"Alpha"}) + std::string(1, '\0'))},
      {"only entries with control characters", Ok(List(208, {"\x1b[31mRed", "Bell\a"}))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    asked.clear();
    outcomes.clear();
    dialogs.Boxes.clear();
    WriteWholeFile(dir / "trackers.lst", List(208, {"Cached"}));
    script[Primary] = c.PrimaryAnswer;
    script[Fallback] = Ok(List(208, {"Second"}));
    RunRefresh();
    EXPECT_EQ(asked, (Lines{Primary, Fallback}));
    EXPECT_EQ(outcomes, std::vector{TRefreshOutcome::Downloaded});
    EXPECT_TRUE(dialogs.Boxes.empty());
    EXPECT_EQ(selection, (Lines{"Second"}));
    EXPECT_EQ(Cache(), List(208, {"Second"}));
    ASSERT_EQ(refresh->FailedAttempts().size(), 1u);
    EXPECT_EQ(refresh->FailedAttempts()[0].rfind(Primary, 0), 0u);
  }
}

TEST_F(TTrackerRefreshTest, BothFailWithACache) {
  const std::string cached = List(208, {"Cached"});
  WriteWholeFile(dir / "trackers.lst", cached);
  script[Primary] = Status(404);
  script[Fallback] = Ok("<html>portal</html>");  // a bad list must not destroy the cache
  RunRefresh();
  EXPECT_EQ(asked, (Lines{Primary, Fallback}));
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text,
            "There was an error updating the tracker list, information may not be current!");
  EXPECT_EQ(dialogs.Boxes[0].Caption, "Warning");
  EXPECT_EQ(dialogs.Boxes[0].Buttons, TMsgButtons::Ok);
  EXPECT_EQ(selection, (Lines{"Cached"}));
  EXPECT_EQ(statusBar.back(), "Tracker list loaded!");
  EXPECT_EQ(Cache(), cached);
  EXPECT_EQ(outcomes, std::vector{TRefreshOutcome::DownloadFailed});
  EXPECT_EQ(trackerText.size(), 1u);
}

TEST_F(TTrackerRefreshTest, BothFailWithoutACache) {
  list.Trackers = {{"Old", "http://old/", "", false}};
  RunRefresh();
  EXPECT_EQ(asked, (Lines{Primary, Fallback}));
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[0].Caption, "Warning");
  EXPECT_EQ(dialogs.Boxes[1].Text,
            "No cached version of the tracker list could be found; you're on your own");
  EXPECT_EQ(dialogs.Boxes[1].Caption, "Error");
  EXPECT_EQ(dialogs.Boxes[1].Buttons, TMsgButtons::Ok);
  EXPECT_EQ(fills, 1);
  EXPECT_TRUE(selection.empty()) << "the drop-down list is emptied";
  EXPECT_EQ(list.Trackers.size(), 1u) << "Trackers keeps what it held";
  EXPECT_EQ(statusBar, (Lines{"Attempting to update tracker list..."}));
  EXPECT_FALSE(CacheExists());
  EXPECT_EQ(outcomes, std::vector{TRefreshOutcome::NoCache});
  EXPECT_EQ(trackerText, (Lines{TrackerPrompt})) << "the remembered tracker follows every refresh";
}

TEST_F(TTrackerRefreshTest, TheInstalledListServesAsTheFirstCache) {
  const std::string shipped = List(208, {"Shipped"});
  WriteWholeFile(dir / "default.lst", shipped);
  RunRefresh();
  EXPECT_EQ(dialogs.Captions(), (Lines{"Warning"}));
  EXPECT_EQ(selection, (Lines{"Shipped"}));
  EXPECT_EQ(Cache(), shipped);
}

TEST_F(TTrackerRefreshTest, UpdatingOffReadsAndRewritesTheCache) {
  noUpdate = true;
  const std::string cached = "208\nu\n1\nCached\nudp://c:1/announce\n\n1";  // no final line end
  WriteWholeFile(dir / "trackers.lst", cached);
  struct stat before {};
  stat((dir / "trackers.lst").c_str(), &before);
  RunRefresh();
  EXPECT_TRUE(asked.empty()) << "no request is made";
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(selection, (Lines{"Cached"}));
  EXPECT_TRUE(list.Trackers[0].Down);
  struct stat after {};
  stat((dir / "trackers.lst").c_str(), &after);
  EXPECT_NE(before.st_ino, after.st_ino) << "the cache was not written again";
  EXPECT_EQ(Cache(), cached);
  EXPECT_EQ(outcomes, std::vector{TRefreshOutcome::Cached});
}

TEST_F(TTrackerRefreshTest, UpdatingOffWithoutACache) {
  noUpdate = true;
  RunRefresh();
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(dialogs.Captions(), (Lines{"Error"}));
  EXPECT_TRUE(selection.empty());
  EXPECT_EQ(outcomes, std::vector{TRefreshOutcome::NoCache});
}

TEST_F(TTrackerRefreshTest, VersionCheck) {
  struct TCase {
    const char* Name;
    int Version;
    TMsgResult Answer;
    std::string UpdateUrl;
    bool Asks;
    Lines Opened;
  } cases[] = {
      {"current release", 208, TMsgResult::Yes, "http://example.org/new", false, {}},
      {"older release", 17, TMsgResult::Yes, "http://example.org/new", false, {}},
      {"newer, yes", 209, TMsgResult::Yes, "http://example.org/new", true, {"http://example.org/new"}},
      {"newer, no", 209, TMsgResult::No, "http://example.org/new", true, {}},
      {"newer, yes, not a web page", 209, TMsgResult::Yes, "file:///etc/passwd", true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    dialogs.Boxes.clear();
    dialogs.Answer = c.Answer;
    opened.clear();
    std::string body = List(c.Version, {"Alpha"});
    body.replace(body.find("http://example.org/new"), 22, c.UpdateUrl);
    script[Primary] = Ok(body);
    RunRefresh();
    ASSERT_EQ(dialogs.Boxes.size(), c.Asks ? 1u : 0u);
    if (c.Asks) {
      EXPECT_EQ(dialogs.Boxes[0].Text, "A new version of Quorvane is afvailable! Update now?");
      EXPECT_EQ(dialogs.Boxes[0].Caption, "Version Check");
      EXPECT_EQ(dialogs.Boxes[0].Buttons, TMsgButtons::YesNo);
    }
    EXPECT_EQ(opened, c.Opened);
    EXPECT_EQ(selection, (Lines{"Alpha"})) << "the list loads whatever the answer";
  }
}

TEST_F(TTrackerRefreshTest, CountZeroLeavesOnlyThePrivateTrackers) {
  list.PrivateTrackers = {{"Mine", "http://mine/announce", "", false}};
  script[Primary] = Ok("208\r\nhttp://example.org/\r\n0\r\n");
  RunRefresh();
  EXPECT_EQ(selection, (Lines{"Mine"}));
  EXPECT_EQ(statusBar.back(), "Tracker list loaded!");
}

TEST_F(TTrackerRefreshTest, ADamagedCacheShowsWhatWasParsedAndIsReported) {
  noUpdate = true;
  list.PrivateTrackers = {{"Mine", "http://mine/announce", "", false}};
  WriteWholeFile(dir / "trackers.lst", List(208, {"A", "B", "C"}).substr(0, 70));
  RunRefresh();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("List index out of bounds"), std::string::npos) << errors[0];
  EXPECT_EQ(selection, list.Names());
  EXPECT_EQ(selection, (Lines{"A"}));
  EXPECT_EQ(statusBar.back(), "Attempting to update tracker list...");
  EXPECT_TRUE(trackerText.empty()) << "the error ends the refresh";
  EXPECT_EQ(outcomes, std::vector{TRefreshOutcome::Error});
}

TEST_F(TTrackerRefreshTest, AnUnwritableCacheEndsTheRefresh) {
  Build(dir / "missing/trackers.lst");
  script[Primary] = Ok(List(208, {"Alpha"}));
  RunRefresh();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("missing/trackers.lst"), std::string::npos) << errors[0];
  EXPECT_TRUE(selection.empty());
  EXPECT_TRUE(trackerText.empty());
  EXPECT_EQ(outcomes, std::vector{TRefreshOutcome::Error});
  EXPECT_FALSE(refresh->Busy());
}

TEST_F(TTrackerRefreshTest, ARefreshAskedForMeanwhileIsQueued) {
  script[Primary] = Ok(List(208, {"Alpha"}));
  refresh->Run();
  ASSERT_EQ(asked.size(), 1u);
  // "Save Now" twice while the download runs, with a new private tracker.
  TPrivateTrackerEditor editor(list.PrivateTrackers, dialogs);
  ASSERT_TRUE(editor.AddModify("Mine", "http://mine/announce", ""));
  refresh->Run();
  refresh->Run();
  EXPECT_TRUE(refresh->Queued());
  EXPECT_EQ(asked.size(), 1u) << "never a second request on a busy client";
  Serve();
  EXPECT_EQ(asked, (Lines{Primary, Primary})) << "the queued refresh runs once";
  EXPECT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(selection, (Lines{"Alpha", "Mine"}));
  EXPECT_FALSE(refresh->Busy());
  EXPECT_FALSE(refresh->Queued());
}

TEST_F(TTrackerRefreshTest, SaveNowUnderTheVersionQuestionIsQueuedToo) {
  script[Primary] = Ok(List(209, {"Alpha"}));
  int asks = 0;
  dialogs.WhileOpen = [&] {
    if (++asks == 1) refresh->Run();
  };
  RunRefresh();
  EXPECT_EQ(asks, 2) << "the queued refresh asks again";
  EXPECT_EQ(asked, (Lines{Primary, Primary}));
  EXPECT_EQ(outcomes.size(), 2u);
  EXPECT_FALSE(refresh->Busy());
}

TEST_F(TTrackerRefreshTest, SaveNowBringsANewPrivateTrackerIn) {
  script[Primary] = Ok(List(208, {"Alpha"}));
  RunRefresh();
  TPrivateTrackerEditor editor(list.PrivateTrackers, dialogs);
  ASSERT_TRUE(editor.AddModify("Mine", "http://mine/announce", ""));
  EXPECT_EQ(selection, (Lines{"Alpha"})) << "not before the next refresh";
  EXPECT_EQ(list.LookupAnnounceURL("Mine"), "");
  RunRefresh();
  EXPECT_EQ(selection, (Lines{"Alpha", "Mine"}));
  EXPECT_EQ(list.LookupAnnounceURL("Mine"), "http://mine/announce");
}

TEST_F(TTrackerRefreshTest, TheRememberedTrackerIsRestoredAfterEveryRefresh) {
  script[Primary] = Ok(List(208, {"Alpha"}));
  remembered = "Alpha";
  RunRefresh();
  RunRefresh();
  EXPECT_EQ(trackerText, (Lines{"Alpha", "Alpha"}));
  rememberTracker = false;
  RunRefresh();
  EXPECT_EQ(trackerText.size(), 2u);
}

}  // namespace
