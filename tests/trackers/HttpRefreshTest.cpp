// The refresh over the real HTTP client against a loopback list server.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "ListServer.h"
#include "TestSupport.h"
#include "base/Stream.h"
#include "net/PollLoop.h"
#include "trackers/HttpListDownloader.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const char* const PrimaryPath = "/torrent/trackers.lst";
const char* const FallbackPath = "/~quorvane/trackers.lst";

std::string List(int version, const Lines& names, const char* status = "0") {
  std::string s =
      std::to_string(version) + "\r\nhttp://example.org/new\r\n" + std::to_string(names.size()) + "\r\n";
  for (const auto& n : names)
    s += n + "\r\nhttp://" + n + "/announce\r\nhttp://" + n + "/\r\n" + status + "\r\n";
  return s;
}

TListServer::TRoute Serve(std::string body, int status = 200) {
  return {.Status = status, .Body = std::move(body), .Location = "", .Silent = false};
}

// A loopback port nobody listens on.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

class THttpRefreshTest : public ::testing::Test {
 protected:
  void SetUp() override { Build(server.Url(PrimaryPath), server.Url(FallbackPath), 30s); }

  void Build(const std::string& primary, const std::string& fallback, std::chrono::milliseconds timeout) {
    refresh.reset();
    auto downloader = std::make_unique<THttpListDownloader>(loop, timeout);
    http = downloader.get();
    TTrackerRefreshEvents events;
    events.Status = [this](const std::string& s) { statusBar.push_back(s); };
    events.FillSelection = [this](const Lines& items) { selection = items; };
    events.OpenUrl = [this](const std::string& u) { opened.push_back(u); };
    events.ErrorReport = [this](const std::string& e) { errors.push_back(e); };
    events.NoUpdate = [this] { return noUpdate; };
    events.RememberedTracker = [this]() -> std::optional<std::string> { return remembered; };
    events.SetTrackerText = [this](const std::string& t) { trackerText = t; };
    refresh = std::make_unique<TTrackerRefresh>(
        list.Trackers, list.PrivateTrackers, TTrackerCache(dir / "trackers.lst", dir / "default.lst"),
        Lines{primary, fallback}, std::move(downloader), dialogs, std::move(events));
  }

  void RunRefresh() {
    refresh->Run();
    ASSERT_TRUE(loop.RunUntil([this] { return !refresh->Busy(); }, 60s)) << "the refresh did not end";
  }
  std::string Cache() { return ReadWholeFile(dir / "trackers.lst"); }

  TTempDir dir;
  TPollLoop loop;
  TListServer server;
  TTrackerList list;
  TScriptedDialogs dialogs;
  Lines statusBar, selection, opened, errors;
  std::string trackerText;
  bool noUpdate = false;
  std::string remembered = TrackerPrompt;
  THttpListDownloader* http = nullptr;
  std::unique_ptr<TTrackerRefresh> refresh;
};

TEST_F(THttpRefreshTest, PrimaryAnswers) {
  list.PrivateTrackers = {{"Mine", "http://mine/announce", "", false}};
  server.Route(PrimaryPath, Serve(List(208, {"Alpha", "Beta"})));
  remembered = "Beta";
  RunRefresh();
  EXPECT_EQ(server.Hits(PrimaryPath), 1);
  EXPECT_EQ(server.Hits(FallbackPath), 0);
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(statusBar, (Lines{"Attempting to update tracker list...", "Tracker list loaded!"}));
  EXPECT_EQ(selection, (Lines{"Alpha", "Beta", "Mine"}));
  EXPECT_EQ(Cache(), List(208, {"Alpha", "Beta"}));
  EXPECT_EQ(trackerText, "Beta") << "the remembered tracker is restored";
}

TEST_F(THttpRefreshTest, FallbackAnswersWhenThePrimaryFails) {
  struct TCase {
    const char* Name;
    TListServer::TRoute Primary;
  } cases[] = {
      {"not found", Serve("<html>gone</html>", 404)},
      {"server error", Serve("<html>oops</html>", 500)},
      {"forbidden", Serve("no", 401)},
      {"captive portal page", Serve("<!DOCTYPE html>\n<html><body>Sign in</body></html>\n")},
      {"truncated list", Serve(List(208, {"Alpha", "Beta"}).substr(0, 45))},
      {"larger than 1 MiB", Serve(List(208, {"Alpha"}) + std::string(2 * MaxTrackerListSize, '\n'))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteWholeFile(dir / "trackers.lst", List(208, {"Cached"}));
    server.Route(PrimaryPath, c.Primary);
    server.Route(FallbackPath, Serve(List(208, {"Second"})));
    const int primaryHits = server.Hits(PrimaryPath), fallbackHits = server.Hits(FallbackPath);
    RunRefresh();
    EXPECT_EQ(server.Hits(PrimaryPath), primaryHits + 1);
    EXPECT_EQ(server.Hits(FallbackPath), fallbackHits + 1);
    EXPECT_TRUE(dialogs.Boxes.empty());
    EXPECT_EQ(selection, (Lines{"Second"}));
    EXPECT_EQ(Cache(), List(208, {"Second"}));
  }
}

TEST_F(THttpRefreshTest, RefusedConnectionCountsAsAFailedAttempt) {
  Build("http://127.0.0.1:" + std::to_string(ClosedPort()) + PrimaryPath, server.Url(FallbackPath), 30s);
  server.Route(FallbackPath, Serve(List(208, {"Second"})));
  RunRefresh();
  EXPECT_EQ(selection, (Lines{"Second"}));
  ASSERT_EQ(refresh->FailedAttempts().size(), 1u);
}

// Every failed address is reported with the address and the client's own
// reason; its 404 is no server's "status 404".
TEST_F(THttpRefreshTest, FailedAttemptsNameTheAddressAndTheReason) {
  TListServer::TRoute loop{.Status = 302, .Body = "", .Location = "/loop", .Silent = false};
  server.Route("/loop", loop);
  server.Route("/https", {.Status = 302, .Body = "", .Location = "https://127.0.0.1/x", .Silent = false});
  server.Route("/long", {.Raw = "HTTP/1.0 200 OK\r\nX-Long: " + std::string(9000, 'a') + "\r\n\r\n"});
  server.Route("/cut", {.Raw = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly this"});
  server.Route("/chunk", {.Raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\nx"});
  const std::string port = std::to_string(ClosedPort());
  const struct {
    std::string Url;
    std::string Reason;
  } cases[] = {
      {"https://127.0.0.1/trackers.lst", "https is not supported"},
      {server.Url("/https"), "https is not supported"},
      {server.Url("/loop"), "Too many redirections"},
      {server.Url("/long"), "HTTP line too long"},
      {server.Url("/cut"), "Connection closed before the end of the document"},
      {server.Url("/chunk"), "Invalid chunk size: more than 2147483647 bytes"},
      {server.Url("/missing"), "status 404 (Whatever)"},
      {"http://127.0.0.1:" + port + "/x", "Connection refused (Error #10061)"},
      {"http://127.0.0.1:70000/x",
       "can't connect: WSocketResolvePort: Cannot convert port '70000', Error #10022"},
      {"http://127.0.0.1:abc/x", "can't connect: WSocketResolvePort: Cannot convert port 'abc'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Url);
    Build(c.Url, c.Url, 30s);
    RunRefresh();
    ASSERT_EQ(refresh->FailedAttempts().size(), 2u);
    const std::string& line = refresh->FailedAttempts()[0];
    EXPECT_EQ(line.rfind(c.Url + ": " + c.Reason, 0), 0u) << line;
    EXPECT_EQ(line.find("No Error"), std::string::npos) << line;
  }
}

TEST_F(THttpRefreshTest, BothFailWithACache) {
  const std::string cached = List(208, {"Cached"}, "1");
  WriteWholeFile(dir / "trackers.lst", cached);
  server.Route(PrimaryPath, Serve("<html>portal</html>"));
  RunRefresh();
  EXPECT_EQ(server.Hits(FallbackPath), 1);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text,
            "There was an error updating the tracker list, information may not be current!");
  EXPECT_EQ(dialogs.Boxes[0].Caption, "Warning");
  EXPECT_EQ(selection, (Lines{"Cached"}));
  EXPECT_TRUE(list.Trackers[0].Down);
  EXPECT_EQ(statusBar.back(), "Tracker list loaded!");
  EXPECT_EQ(Cache(), cached) << "a bad download does not destroy the cache";
}

TEST_F(THttpRefreshTest, BothFailWithoutACache) {
  selection = {TrackerWaitItem};
  RunRefresh();
  EXPECT_EQ(dialogs.Captions(), (Lines{"Warning", "Error"}));
  EXPECT_EQ(dialogs.Boxes[1].Text,
            "No cached version of the tracker list could be found; you're on your own");
  EXPECT_TRUE(selection.empty());
  EXPECT_EQ(statusBar, (Lines{"Attempting to update tracker list..."}));
}

TEST_F(THttpRefreshTest, UpdatingOffMakesNoRequest) {
  noUpdate = true;
  const std::string cached = List(209, {"Cached"});
  WriteWholeFile(dir / "trackers.lst", cached);
  struct stat before {};
  stat((dir / "trackers.lst").c_str(), &before);
  RunRefresh();
  EXPECT_EQ(server.TotalHits(), 0);
  EXPECT_EQ(selection, (Lines{"Cached"}));
  EXPECT_EQ(dialogs.Captions(), (Lines{"Version Check"})) << "also the cached list asks";
  struct stat after {};
  stat((dir / "trackers.lst").c_str(), &after);
  EXPECT_NE(before.st_ino, after.st_ino);
  EXPECT_EQ(Cache(), cached);
}

TEST_F(THttpRefreshTest, VersionCheck) {
  dialogs.Answer = TMsgResult::Yes;
  server.Route(PrimaryPath, Serve(List(208, {"Alpha"})));
  RunRefresh();
  EXPECT_TRUE(dialogs.Boxes.empty());
  server.Route(PrimaryPath, Serve(List(209, {"Alpha"})));
  RunRefresh();
  EXPECT_EQ(dialogs.Captions(), (Lines{"Version Check"}));
  EXPECT_EQ(opened, (Lines{"http://example.org/new"}));
  EXPECT_EQ(selection, (Lines{"Alpha"}));
}

TEST_F(THttpRefreshTest, CountZeroAndStatusLines) {
  list.PrivateTrackers = {{"Mine", "http://mine/announce", "", false}};
  server.Route(PrimaryPath, Serve("208\r\nhttp://example.org/\r\n0\r\n"));
  RunRefresh();
  EXPECT_EQ(selection, (Lines{"Mine"}));

  std::string body = "208\nu\n5\n";
  for (const char* status : {"0", "", "up", "1 ", "1"})
    body += std::string("T") + status + "\nhttp://a/\n\n" + status + "\n";
  server.Route(PrimaryPath, Serve(body));
  RunRefresh();
  ASSERT_EQ(list.Trackers.size(), 6u);
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(list.Trackers[i].Name);
    EXPECT_EQ(list.Trackers[i].Down, i == 4);
  }
}

TEST_F(THttpRefreshTest, RedirectGivesOnlyTheFinalDocument) {
  server.Route(PrimaryPath, {.Status = 302,
                             .Body = "<html>Moved to the real list</html>\r\n",
                             .Location = "/lists/real.lst",
                             .Silent = false});
  server.Route("/lists/real.lst", Serve(List(208, {"Real"})));
  RunRefresh();
  EXPECT_EQ(server.Hits("/lists/real.lst"), 1);
  EXPECT_EQ(server.Hits(FallbackPath), 0);
  EXPECT_EQ(selection, (Lines{"Real"}));
  EXPECT_EQ(Cache(), List(208, {"Real"}));
}

TEST_F(THttpRefreshTest, AStalledServerIsGivenUp) {
  server.Route(PrimaryPath, {.Status = 200, .Body = "", .Location = "", .Silent = true});
  server.Route(FallbackPath, Serve(List(208, {"Second"})));
  // The time limit, run out by hand: the test never waits for it.
  refresh->Run();
  // Wait until the request is out (the client's state changes on this loop).
  ASSERT_TRUE(
      loop.RunUntil([this] { return http->Client().State() == THttpClientState::ReadingHeader; }, 30s));
  http->Expire();
  ASSERT_TRUE(loop.RunUntil([this] { return !refresh->Busy(); }, 30s));
  EXPECT_EQ(selection, (Lines{"Second"}));
  ASSERT_EQ(refresh->FailedAttempts().size(), 1u);
  EXPECT_NE(refresh->FailedAttempts()[0].find("no answer within 30 s"), std::string::npos)
      << refresh->FailedAttempts()[0];
}

TEST_F(THttpRefreshTest, TheTimeLimitRunsOnTheLoop) {
  Build(server.Url(PrimaryPath), server.Url(FallbackPath), 1ms);
  server.Route(PrimaryPath, {.Status = 200, .Body = "", .Location = "", .Silent = true});
  server.Route(FallbackPath, {.Status = 200, .Body = "", .Location = "", .Silent = true});
  WriteWholeFile(dir / "trackers.lst", List(208, {"Cached"}));
  RunRefresh();
  EXPECT_EQ(dialogs.Captions(), (Lines{"Warning"}));
  EXPECT_EQ(selection, (Lines{"Cached"}));
}

TEST_F(THttpRefreshTest, ARefreshAskedForMeanwhileIsQueued) {
  server.Route(PrimaryPath, Serve(List(208, {"Alpha"})));
  refresh->Run();
  refresh->Run();  // "Save Now" while the download runs
  EXPECT_TRUE(refresh->Queued());
  ASSERT_TRUE(loop.RunUntil([this] { return !refresh->Busy(); }, 60s));
  EXPECT_EQ(server.Hits(PrimaryPath), 2);
  EXPECT_EQ(selection, (Lines{"Alpha"}));
  EXPECT_TRUE(errors.empty());
}

}  // namespace

namespace {

class THttpListDownloaderTest : public ::testing::Test {
 protected:
  TListDownload Fetch(const std::string& path) {
    std::optional<TListDownload> result;
    downloader.Fetch(server.Url(path), [&](TListDownload d) { result = std::move(d); });
    EXPECT_TRUE(downloader.Busy());
    EXPECT_TRUE(loop.RunUntil([&] { return result.has_value(); }, 60s)) << "the download did not end";
    return result.value_or(TListDownload{});
  }

  TPollLoop loop;
  TListServer server;
  THttpListDownloader downloader{loop};
};

TEST_F(THttpListDownloaderTest, SizeLimit) {
  const std::string exact =
      List(208, {"Alpha"}) + std::string(MaxTrackerListSize - List(208, {"Alpha"}).size(), '\n');
  server.Route("/exact", Serve(exact));
  server.Route("/over", Serve(exact + "\n"));
  const TListDownload ok = Fetch("/exact");
  EXPECT_TRUE(ok.Completed) << ok.Error;
  EXPECT_EQ(ok.StatusCode, 200);
  EXPECT_EQ(ok.Body.size(), exact.size());
  const TListDownload over = Fetch("/over");
  EXPECT_FALSE(over.Completed);
  EXPECT_EQ(over.Error, "the list is larger than 1 MiB");
  EXPECT_TRUE(over.Body.empty());
  // The client is usable again afterwards.
  EXPECT_TRUE(Fetch("/exact").Completed);
}

TEST_F(THttpListDownloaderTest, StatusAndRequestSettings) {
  const TListDownload missing = Fetch("/missing");
  EXPECT_TRUE(missing.Completed);
  EXPECT_EQ(missing.StatusCode, 404);
  EXPECT_EQ(downloader.Client().Agent, "Mozilla/3.0 (compatible; Quorvane v2.1 beta)");
  EXPECT_EQ(downloader.Client().RequestVer(), "1.0");
  EXPECT_TRUE(downloader.Client().FollowRelocation);
}

}  // namespace
