// quorvane-cli trackers, run as a program with its own cache and settings folders.

#include <gtest/gtest.h>

#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "../trackers/ListServer.h"
#include "base/Stream.h"

namespace {

class TTrackersCliTest : public ::testing::Test {
 protected:
  TRun Cli(const std::string& args) { return RunCli(dir.Path(), "trackers " + args); }
  void WriteCache(const std::string& bytes) { dir.Write("cache/quorvane/trackers.lst", bytes); }
  void WriteSettings(const std::string& bytes) { dir.Write("config/quorvane/quorvane.ini", bytes); }

  TTempDir dir;
};

const char* const PrivateSettings =
    "[private]\ncount=2\n[private0]\nname=Mine\nannounce=http://mine/announce\n"
    "[private1]\nname=Alpha\nannounce=http://my-alpha/announce\n";

TEST_F(TTrackersCliTest, PrintsTheCachedListThenThePrivateTrackers) {
  WriteCache(
      "208\r\nhttp://x/\r\n2\r\nAlpha\r\nhttp://alpha/announce\r\n\r\n0\r\nBeta\r\nudp://beta:1/announce\r\n"
      "http://beta/\r\n1\r\n");
  WriteSettings(PrivateSettings);
  const TRun run = Cli("");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "Alpha\thttp://alpha/announce\tUP\n"
            "Beta\tudp://beta:1/announce\tDOWN\n"
            "Mine\thttp://mine/announce\tprivate\n"
            "Alpha\thttp://my-alpha/announce\tprivate\n");
  EXPECT_EQ(run.Err, "");
}

TEST_F(TTrackersCliTest, ADamagedCachePrintsWhatParsedAndFails) {
  WriteCache("208\nhttp://x/\n3\nAlpha\nhttp://alpha/announce\n\n0\nBeta\n");
  WriteSettings(PrivateSettings);
  const TRun run = Cli("");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, "Alpha\thttp://alpha/announce\tUP\n");
  EXPECT_NE(run.Err.find("List index out of bounds"), std::string::npos) << run.Err;
}

TEST_F(TTrackersCliTest, NoCacheSaysSo) {
  WriteSettings(PrivateSettings);
  const TRun run = Cli("");
  // The installed list may serve as the cache; only without one is this an error.
  if (run.Status == 0) GTEST_SKIP() << "an installed default list serves as the cache";
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, "");
  EXPECT_NE(run.Err.find("No cached version of the tracker list could be found; you're on your own"),
            std::string::npos);
}

TEST_F(TTrackersCliTest, UsageErrors) {
  for (const char* args : {"--bogus", "--url", "--refresh extra"}) {
    SCOPED_TRACE(args);
    const TRun run = Cli(args);
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("Usage"), std::string::npos);
  }
}

const char* const GoodList = "208\r\nhttp://x/\r\n1\r\nFresh\r\nhttp://fresh/announce\r\n\r\n0\r\n";

TEST_F(TTrackersCliTest, RefreshTriesTheAddressesInOrder) {
  TListServer server;
  server.Route("/good.lst", {.Status = 200, .Body = GoodList, .Location = "", .Silent = false});
  server.Route("/portal", {.Status = 200, .Body = "<html>Sign in</html>", .Location = "", .Silent = false});
  WriteCache("208\nu\n0\n");
  WriteSettings(PrivateSettings);
  const TRun run = Cli("--refresh --url " + server.Url("/missing") + " --url " + server.Url("/portal") +
                       " --url " + server.Url("/good.lst"));
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "Fresh\thttp://fresh/announce\tUP\n"
            "Mine\thttp://mine/announce\tprivate\n"
            "Alpha\thttp://my-alpha/announce\tprivate\n");
  EXPECT_EQ(server.Hits("/missing"), 1);
  EXPECT_EQ(server.Hits("/portal"), 1);
  EXPECT_EQ(ReadWholeFile(dir / "cache/quorvane/trackers.lst"), GoodList);
  // Without --refresh the new cache is what is listed.
  EXPECT_EQ(Cli("").Out, run.Out);
}

TEST_F(TTrackersCliTest, RefreshFailingEverywhereFallsBackOnTheCache) {
  TListServer server;
  const std::string cached = "208\nu\n1\nOld\nhttp://old/announce\n\n1\n";
  WriteCache(cached);
  const TRun run = Cli("--url " + server.Url("/missing"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, "Old\thttp://old/announce\tDOWN\n");
  EXPECT_NE(run.Err.find("There was an error updating the tracker list, information may not be current!"),
            std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find(server.Url("/missing") + ": status 404"), std::string::npos) << run.Err;
  EXPECT_EQ(ReadWholeFile(dir / "cache/quorvane/trackers.lst"), cached);
}

// What a server sends reaches the terminal cleaned: no escape sequence of a
// reason phrase or a quoted body gets through.
TEST_F(TTrackersCliTest, ServerTextsAreCleanedForTheTerminal) {
  TListServer server;
  server.Route("/body", {.Status = 200, .Body = "\x1b[2J\x1b]0;owned\x07", .Location = "", .Silent = false});
  const std::string cached = "208\nu\n1\nOld\nhttp://old/announce\n\n1\n";
  WriteCache(cached);
  const TRun run = Cli("--url " + server.Url("/body"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find(server.Url("/body") + ": not a tracker list"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find('\x1b'), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find('\x07'), std::string::npos) << run.Err;
  EXPECT_EQ(ReadWholeFile(dir / "cache/quorvane/trackers.lst"), cached);
}

// A server that never stops sending cannot keep the client reading: the caps
// end the attempt, and the client gets back to its event loop (its time limit,
// its posted abort) while data is still coming.
TEST_F(TTrackersCliTest, FloodingServersAreCutOff) {
  std::string chunks;
  for (int i = 0; i < 4096; ++i) chunks += "1\r\nx\r\n";
  std::string headers;
  for (int i = 0; i < 64; ++i) headers += "X-Filler: " + std::string(1000, 'f') + "\r\n";
  const struct {
    const char* Name;
    TListServer::TRoute Route;
    const char* Error;
  } cases[] = {
      {"endless header",
       {.Raw = "HTTP/1.1 200 OK\r\n", .Flood = headers, .FloodBytes = size_t{256} << 20},
       "The response header is too large"},
      {"endless interim responses",
       {.Raw = "HTTP/1.1 100 Continue\r\n\r\n",
        .Flood = "HTTP/1.1 100 Continue\r\n\r\n",
        .FloodBytes = size_t{256} << 20},
       "Too many interim responses"},
      {"endless one-byte chunks",
       {.Raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
        .Flood = chunks,
        .FloodBytes = size_t{256} << 20},
       "the list is larger than 1 MiB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TListServer server;
    server.Route("/flood", c.Route);
    const TRun run = Cli("--url " + server.Url("/flood"));
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
    // Cut off long before the server's own bound.
    EXPECT_LT(server.FloodSent("/flood"), size_t{64} << 20);
  }
}

TEST_F(TTrackersCliTest, RefreshWithoutAnyListSaysSo) {
  TListServer server;
  const TRun run = Cli("--url " + server.Url("/missing"));
  if (run.Out != "") GTEST_SKIP() << "an installed default list serves as the cache";
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("No cached version of the tracker list could be found; you're on your own"),
            std::string::npos);
}

}  // namespace
