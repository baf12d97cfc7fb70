#include "net/HttpProt.h"

#include "NetTestUtil.h"
#include "ScriptServer.h"
#include "base/Stream.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

using namespace nettest;

const char* const ProgramAgent = "Mozilla/3.0 (compatible; Quorvane v2.1 beta)";

// Asks the loop to quit if a test runs far too long, so a synchronous Get
// that never ends fails (aborted) instead of hanging the test run.
class TWatchdog {
 public:
  explicit TWatchdog(TEventLoop& loop)
      : thread_([this, &loop] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!cv_.wait_for(lock, Patience, [this] { return done_; })) loop.Quit();
        }) {}
  ~TWatchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

struct THttpFixture : ::testing::Test {
  TPollLoop Loop;
  THttpCli Cli{Loop};
  TMemoryStream Body;
  int RequestsDone = 0;

  THttpFixture() {
    Cli.Agent = ProgramAgent;
    Cli.ReceiveStream = &Body;
    Cli.OnRequestDone = [this](THttpCli&, THttpRequest, uint16_t) { ++RequestsDone; };
  }
  void TearDown() override {
    THeldLookups::Release();
    SetSocketSysCalls(saved_);
  }
  // A request run to its end as Get runs it, but with a limit of its own, so a
  // request that never ends fails this test and nothing else. Returns the code
  // Get would raise (0 when none).
  int Run(THttpRequest request) {
    Cli.RequestAsync(request);
    if (!Loop.RunUntil([&] { return Cli.State() == THttpClientState::Ready; }, Patience)) {
      ADD_FAILURE() << "the request did not end in time";
      Cli.Abort();
    }
    return Cli.StatusCode() > 401 ? Cli.StatusCode() : 0;
  }
  int GetCode(const std::string& url) {
    Cli.URL = url;
    return Run(THttpRequest::httpGET);
  }
  void WaitReady() {
    ASSERT_TRUE(Loop.RunUntil([&] { return Cli.State() == THttpClientState::Ready; }, Patience))
        << "the request never ended";
  }

 private:
  TSocketSysCalls saved_ = SocketSysCalls();
};

std::string Ok(const std::string& body, const std::string& version = "1.0") {
  return "HTTP/" + version + " 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(THttpFixture, SendsExactlyTheFiveLinesAndReadsAContentLengthBody) {
  TScriptServer server({{.Target = "/trackers.lst", .Raw = Ok("hello")}});
  {
    TWatchdog watchdog(Loop);
    Cli.URL = server.Url("/trackers.lst");
    Cli.Get();
  }
  EXPECT_FALSE(Loop.Quitting()) << "Get did not end in time";
  EXPECT_EQ(Cli.StatusCode(), 200);
  EXPECT_EQ(Cli.ReasonPhrase(), "OK");
  EXPECT_EQ(Body.Data(), "hello");
  EXPECT_EQ(Cli.ContentLength(), 5);
  EXPECT_EQ(Cli.DocumentName(), "trackers.lst");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Raw,
            "GET /trackers.lst HTTP/1.0\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Quorvane v2.1 beta)\r\n"
            "Host: 127.0.0.1\r\n"
            "\r\n");
  WaitReady();
  EXPECT_EQ(Cli.CtrlSocket().State(), TSocketState::wsClosed) << "HTTP/1.0: the client closes";
  ASSERT_TRUE(Loop.RunUntil([&] { return RequestsDone == 1; }, Patience));
}

TEST_F(THttpFixture, AnAddressWithoutAPathIsFetchedAsRootAndCredentialsAreSent) {
  TScriptServer server({{.Target = "/", .Raw = Ok("root")}});
  const std::string url = "http://user:pw@127.0.0.1:" + std::to_string(server.Port());
  EXPECT_EQ(GetCode(url), 0);
  EXPECT_EQ(Body.Data(), "root");
  EXPECT_EQ(Cli.DocumentName(), "document.htm");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(server.RequestLines()[0], "GET / HTTP/1.0");
  EXPECT_NE(requests[0].Raw.find("\r\nHost: 127.0.0.1\r\n"), std::string::npos) << "no port on the Host line";
  EXPECT_NE(requests[0].Raw.find("\r\nAuthorization: Basic dXNlcjpwdw==\r\n"), std::string::npos);

  Cli.Username.clear();
  Cli.Password.clear();
  const std::string noPassword = "http://user@127.0.0.1:" + std::to_string(server.Port()) + "/";
  EXPECT_EQ(GetCode(noPassword), 0);
  EXPECT_NE(server.Requests().at(1).Raw.find("\r\nAuthorization: Basic dXNlcjo=\r\n"), std::string::npos);
}

// The socket path of the common bodies; every split of every response is read
// without a server in HttpResponseTest. One server answers every case: a server
// process per case made this test slow enough to run into a whole-test limit on
// a loaded machine.
TEST_F(THttpFixture, ResponseBodies) {
  std::string big;
  for (int i = 0; i < 100000; ++i) big += static_cast<char>('0' + i % 10);
  const struct {
    const char* Name;
    std::string Raw;
    bool Bytewise;
    std::string Body;
    int Status;
    int ContentLength;
  } cases[] = {
      {"content length", Ok("hello"), false, "hello", 200, 5},
      {"bytes past the content length", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", false,
       "hello", 200, 5},
      {"no content length: the body ends at the close", "HTTP/1.0 200 OK\r\n\r\nuntil the end", false,
       "until the end", 200, -1},
      {"chunked with extensions",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
       "5;name=value\r\nhello\r\n6\r\n world\r\nA \r\n, chunked!\r\n0\r\n\r\n",
       false, "hello world, chunked!", 200, -1},
      {"interim 100 response", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
       false, "ok", 200, 2},
      {"body larger than the buffer", Ok(big), false, big, 200, 100000},
      {"large body until the close", "HTTP/1.0 200 OK\r\n\r\n" + big, false, big, 200, -1},
      {"slow server, one byte at a time",
       "HTTP/1.0 200 OK\r\nContent-Type: Text/Plain\r\nContent-Length: 11\r\n\r\n"
       "slow but ok",
       true, "slow but ok", 200, 11},
      {"401 does not raise",
       "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n"
       "Content-Length: 6\r\n\r\ndenied",
       false, "denied", 401, 6},
      {"no content", "HTTP/1.0 204 No Content\r\n\r\n", false, "", 204, -1},
  };
  std::vector<TResponse> responses;
  for (size_t i = 0; i < std::size(cases); ++i)
    responses.push_back(
        {.Target = "/doc" + std::to_string(i), .Raw = cases[i].Raw, .Bytewise = cases[i].Bytewise});
  TScriptServer server(responses);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.Name);
    Body = TMemoryStream();
    EXPECT_EQ(GetCode(server.Url("/doc" + std::to_string(i))), 0) << Cli.ReasonPhrase();
    EXPECT_EQ(Cli.StatusCode(), c.Status);
    EXPECT_EQ(Cli.ContentLength(), c.ContentLength);
    EXPECT_EQ(Body.Data().size(), c.Body.size());
    EXPECT_TRUE(Body.Data() == c.Body);
    EXPECT_EQ(Cli.ReceivedCount(), static_cast<int>(c.Body.size()));
  }
}

TEST_F(THttpFixture, HeaderFieldsAreKept) {
  TScriptServer server(
      std::vector<TResponse>{{.Target = "/h",
                              .Raw = "HTTP/1.0 200 Fine\r\nContent-Type: TEXT/Plain\r\n"
                                     "Content-Range: bytes 10-14/100\r\nAccept-Ranges: bytes\r\n"
                                     "Set-Cookie: a=b\r\nX-Other:\tkept\r\nContent-Length: 1\r\n\r\nx"}});
  std::string cookie;
  Cli.OnCookie = [&](THttpCli&, const std::string& data, bool& accept) {
    cookie = data;
    EXPECT_TRUE(accept);
  };
  EXPECT_EQ(GetCode(server.Url("/h")), 0);
  EXPECT_EQ(Cli.ReasonPhrase(), "Fine");
  EXPECT_EQ(Cli.ResponseVersion(), "1.0");
  EXPECT_EQ(Cli.ContentType(), "text/plain");
  EXPECT_EQ(Cli.ContentRangeBegin, "10");
  EXPECT_EQ(Cli.ContentRangeEnd, "14");
  EXPECT_EQ(Cli.AcceptRanges(), "bytes");
  EXPECT_EQ(cookie, "a=b");
  ASSERT_EQ(Cli.ResponseHeader().size(), 7u);
  EXPECT_EQ(Cli.ResponseHeader()[0], "HTTP/1.0 200 Fine");
  EXPECT_EQ(Cli.ResponseHeader()[5], "X-Other:\tkept");
}

TEST_F(THttpFixture, DocumentName) {
  const std::string html = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1\r\n\r\nx";
  const std::string plain = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1\r\n\r\nx";
  TScriptServer server({{.Target = "/setup.exe", .Raw = html},
                        {.Target = "/plain/setup.exe", .Raw = plain},
                        {.Target = "/index", .Raw = html},
                        {.Target = "/dir/", .Raw = plain},
                        {.Target = "/file.lst?x=/y", .Raw = plain}});
  const struct {
    const char* Path;
    const char* Name;
  } cases[] = {{"/setup.exe", "setup.htm"},
               {"/plain/setup.exe", "setup.exe"},
               {"/index", "index.htm"},
               {"/dir/", "document.htm"},
               {"/file.lst?x=/y", "file.lst"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    EXPECT_EQ(GetCode(server.Url(c.Path)), 0);
    EXPECT_EQ(Cli.DocumentName(), c.Name);
  }
}

TEST_F(THttpFixture, AnHtmlDocumentWithoutHeaderIsTakenWhole) {
  const std::string page = "<HTML>\r\n<body>no header</body>\n</HTML>\r\n";
  TScriptServer server({{.Target = "/index", .Raw = page}});
  EXPECT_EQ(GetCode(server.Url("/index")), 0);
  EXPECT_EQ(Body.Data(), page);
  EXPECT_EQ(Cli.ContentType(), "text/html");
  EXPECT_EQ(Cli.StatusCode(), 0);
}

TEST_F(THttpFixture, ServerErrorsRaiseWithTheStatusAsCode) {
  TScriptServer server(
      {{.Target = "/missing", .Raw = "HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\n\r\ngone"},
       {.Target = "/broken", .Raw = "HTTP/1.0 500 Internal Error\r\n\r\n"}});
  EXPECT_EQ(GetCode(server.Url("/missing")), 404);
  EXPECT_EQ(Cli.ReasonPhrase(), "Not Found");
  EXPECT_EQ(GetCode(server.Url("/broken")), 500);
  EXPECT_EQ(Cli.ReasonPhrase(), "Internal Error");
}

TEST_F(THttpFixture, Relocations) {
  TScriptServer server({
      {.Target = "/start",
       .Raw = "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:{port}/a/b.lst\r\n"
              "Content-Length: 5\r\n\r\nmoved"},
      {.Target = "/a/b.lst", .Raw = "HTTP/1.0 301 Moved\r\nLocation: x.lst\r\n\r\n"},
      {.Target = "/a/x.lst",
       .Raw = "HTTP/1.0 302 Found\r\nLocation: /final.lst\r\nContent-Length: 0\r\n\r\n"},
      {.Target = "/final.lst", .Raw = Ok("final")},
  });
  int locationChanges = 0;
  Cli.OnLocationChange = [&](THttpCli&) { ++locationChanges; };
  EXPECT_EQ(GetCode(server.Url("/start")), 0);
  EXPECT_EQ(Cli.StatusCode(), 200);
  EXPECT_EQ(Body.Data(), "movedfinal") << "a redirection's own body is written too";
  EXPECT_EQ(server.RequestLines(),
            (std::vector<std::string>{"GET /start HTTP/1.0", "GET /a/b.lst HTTP/1.0", "GET /a/x.lst HTTP/1.0",
                                      "GET /final.lst HTTP/1.0"}));
  EXPECT_EQ(Cli.Location(), "http://127.0.0.1/final.lst");
  EXPECT_EQ(Cli.DocumentName(), "final.lst");
  EXPECT_EQ(locationChanges, 3);
  for (const auto& r : server.Requests()) EXPECT_NE(r.Raw.find("\r\nHost: 127.0.0.1\r\n"), std::string::npos);
}

TEST_F(THttpFixture, RelocationsThatEndTheRequest) {
  const struct {
    const char* Name;
    std::string Location;
    std::string Reason;
    size_t Requests;
  } cases[] = {
      {"endless loop", "/loop", "Too many redirections", 11},
      {"https", "https://127.0.0.1:{port}/secure", "https is not supported", 1},
      {"empty host", "http:///nohost", "Invalid redirection", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptServer server(
        {{.Target = "/loop", .Raw = "HTTP/1.0 302 Found\r\nLocation: " + c.Location + "\r\n\r\n"}});
    EXPECT_EQ(GetCode(server.Url("/loop")), 404);
    EXPECT_EQ(Cli.StatusCode(), 404);
    EXPECT_EQ(Cli.ReasonPhrase(), c.Reason);
    EXPECT_EQ(server.Requests().size(), c.Requests);
    EXPECT_EQ(Cli.State(), THttpClientState::Ready);
  }
}

TEST_F(THttpFixture, KeepAliveSendsTwoRequestsOnOneConnection) {
  // "Close" with a capital C is no request to close.
  TScriptServer server({{.Target = "/one",
                         .Raw = "HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 3\r\n\r\none",
                         .Keep = true},
                        {.Target = "/two", .Raw = Ok("two", "1.1"), .Keep = true},
                        {.Target = "/moved",
                         .Raw = "HTTP/1.1 302 Found\r\nLocation: /two\r\nContent-Length: 0\r\n\r\n",
                         .Keep = true}});
  Cli.SetRequestVer("1.1");
  EXPECT_EQ(GetCode(server.Url("/one")), 0);
  EXPECT_EQ(Cli.CtrlSocket().State(), TSocketState::wsConnected) << "the connection stays open";
  EXPECT_EQ(GetCode(server.Url("/two")), 0);
  EXPECT_EQ(GetCode(server.Url("/moved")), 0) << "a relocation on the kept connection";
  EXPECT_EQ(Body.Data(), "onetwotwo");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  for (const auto& r : requests) EXPECT_EQ(r.Connection, requests[0].Connection) << r.Raw;
  EXPECT_EQ(server.RequestLines()[3], "GET /two HTTP/1.1");

  // "close" is.
  TScriptServer closing({{.Target = "/bye",
                          .Raw = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n\r\nbye",
                          .Keep = true}});
  EXPECT_EQ(GetCode(closing.Url("/bye")), 0);
  WaitReady();
  EXPECT_EQ(Cli.CtrlSocket().State(), TSocketState::wsClosed);

  EXPECT_EQ(GetCode(server.Url("/one")), 0);
  Cli.RequestAsync(THttpRequest::httpCLOSE);
  EXPECT_EQ(Cli.State(), THttpClientState::Closing);
  WaitReady();
  EXPECT_EQ(Cli.StatusCode(), 200);
  EXPECT_EQ(Cli.CtrlSocket().State(), TSocketState::wsClosed);
}

// An interim response's "Connection: close" belongs to it alone.
TEST_F(THttpFixture, AnInterimCloseDoesNotEndTheKeptConnection) {
  TScriptServer server({{.Target = "/interim",
                         .Raw = "HTTP/1.1 100 Continue\r\nConnection: close\r\n\r\n"
                                "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nmid",
                         .Keep = true},
                        {.Target = "/two", .Raw = Ok("two", "1.1"), .Keep = true}});
  Cli.SetRequestVer("1.1");
  EXPECT_EQ(GetCode(server.Url("/interim")), 0);
  EXPECT_EQ(Cli.CtrlSocket().State(), TSocketState::wsConnected) << "the connection stays open";
  EXPECT_EQ(GetCode(server.Url("/two")), 0);
  EXPECT_EQ(Body.Data(), "midtwo");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].Connection, requests[0].Connection);
}

TEST_F(THttpFixture, TheOldConnectionsCloseNeverCompletesANewRequest) {
  // An open HTTP/1.1 connection to one server, then a slow request to another:
  // the hard close of the first must not end the second.
  TScriptServer first({{.Target = "/a", .Raw = Ok("a", "1.1"), .Keep = true}});
  TScriptServer second({{.Target = "/b", .Raw = Ok("slow second answer", "1.1"), .Bytewise = true}});
  Cli.SetRequestVer("1.1");
  EXPECT_EQ(GetCode(first.Url("/a")), 0);
  EXPECT_EQ(GetCode(second.Url("/b")), 0);
  EXPECT_EQ(Cli.StatusCode(), 200);
  EXPECT_EQ(Body.Data(), "aslow second answer");

  // HTTP/1.0 with a server that leaves closing to the client: the client's
  // own close of the first connection is still being announced when the next
  // request starts at once.
  TScriptServer third({{.Target = "/c", .Raw = Ok("quick"), .Bytewise = true, .Keep = true},
                       {.Target = "/d", .Raw = Ok("one byte at a time"), .Bytewise = true}});
  Cli.SetRequestVer("1.0");
  Body = TMemoryStream();
  EXPECT_EQ(GetCode(third.Url("/c")), 0);
  Cli.URL = third.Url("/d");
  Cli.RequestAsync(THttpRequest::httpGET);
  WaitReady();
  EXPECT_EQ(Cli.StatusCode(), 200);
  EXPECT_EQ(Body.Data(), "quickone byte at a time");
  for (int i = 0; i < 5; ++i) Loop.ProcessPending();
  EXPECT_EQ(RequestsDone, 4) << "one completion per request, none from an old connection";
}

TEST_F(THttpFixture, BrokenResponsesEndTheRequest) {
  const struct {
    const char* Name;
    std::string Raw;
    std::string Reason;
    int Status;
  } cases[] = {
      {"close in the middle of the header", "HTTP/1.0 200 OK\r\nContent-Le",
       "Connection closed while reading the response header", 404},
      {"close in the middle of an error header", "HTTP/1.0 503 Busy\r\nRetry",
       "Connection closed while reading the response header", 503},
      {"line longer than the buffer", "HTTP/1.0 200 OK\r\nX-Long: " + std::string(9000, 'a') + "\r\n\r\nbody",
       "HTTP line too long", 404},
      {"status that is not a number", "HTTP/1.0 2x0 OK\r\n\r\n", "Invalid status code in the response: '2x0'",
       404},
      {"document cut short", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nhello",
       "Connection closed before the end of the document", 404},
      {"chunked document cut short", "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
       "Connection closed before the end of the document", 404},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptServer server({{.Target = "/x", .Raw = c.Raw}});
    EXPECT_EQ(GetCode(server.Url("/x")), c.Status);
    EXPECT_EQ(Cli.StatusCode(), c.Status);
    EXPECT_EQ(Cli.ReasonPhrase(), c.Reason);
    EXPECT_EQ(Cli.State(), THttpClientState::Ready);
  }
}

TEST_F(THttpFixture, AServerThatClosesBeforeAnyStatusLine) {
  TScriptServer server(std::vector<TResponse>{{.Target = "/x", .Raw = ""}});
  EXPECT_EQ(GetCode(server.Url("/x")), 0);
  EXPECT_EQ(Cli.StatusCode(), 0);
  EXPECT_EQ(Cli.ReasonPhrase(), "");
}

TEST_F(THttpFixture, ConnectionFailures) {
  EXPECT_EQ(GetCode("http://127.0.0.1:" + std::to_string(FreePort()) + "/x"), 404);
  EXPECT_EQ(Cli.CompletionError(), 10061);
  const std::string reason = Cli.ReasonPhrase();
  EXPECT_NE(reason.find("Connection refused (Error #10061)"), std::string::npos) << reason;

  EXPECT_EQ(GetCode("http://no-such-host.invalid/trackers.lst"), 404);
  EXPECT_EQ(Cli.ReasonPhrase(), "can't resolve hostname to IP address");
  EXPECT_NE(Cli.CompletionError(), 0);
}

TEST_F(THttpFixture, HttpsIsRefusedAndNeverFetchedAsPlainHttp) {
  TScriptServer server({{.Target = "/", .Raw = Ok("plain")}});
  EXPECT_EQ(GetCode("https://127.0.0.1:" + std::to_string(server.Port()) + "/"), 404);
  EXPECT_EQ(Cli.ReasonPhrase(), "https is not supported");
  Cli.Proxy = "127.0.0.1";
  Cli.ProxyPort = std::to_string(server.Port());
  EXPECT_EQ(GetCode("https://example.invalid/"), 404);
  EXPECT_EQ(Cli.ReasonPhrase(), "https is not supported");
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(Body.Data(), "");
}

TEST_F(THttpFixture, ThroughAProxy) {
  TScriptServer proxy({
      {.Target = "http://tracker.invalid:8080/list/trackers.lst",
       .Raw = "HTTP/1.0 302 Found\r\nLocation: other.lst\r\n\r\n"},
      {.Target = "http://tracker.invalid:8080/list/other.lst",
       .Raw = "HTTP/1.0 302 Found\r\nLocation: /root.lst\r\n\r\n"},
      {.Target = "http://tracker.invalid/root.lst", .Raw = Ok("via proxy")},
  });
  Cli.Proxy = "127.0.0.1";
  Cli.ProxyPort = std::to_string(proxy.Port());
  Cli.ProxyUsername = "pu";
  EXPECT_EQ(GetCode("http://tracker.invalid:8080/list/trackers.lst"), 0);
  EXPECT_EQ(Body.Data(), "via proxy");
  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(proxy.RequestLines()[0], "GET http://tracker.invalid:8080/list/trackers.lst HTTP/1.0");
  EXPECT_NE(requests[0].Raw.find("\r\nHost: tracker.invalid\r\n"), std::string::npos);
  EXPECT_NE(requests[0].Raw.find("\r\nProxy-Authorization: Basic " + Base64Encode("pu:") + "\r\n"),
            std::string::npos);
}

TEST_F(THttpFixture, PostSendsTheUploadStream) {
  TScriptServer server({{.Target = "/form", .Raw = Ok("thanks")}});
  std::string payload(20000, 'p');
  payload += "end";
  TMemoryStream upload(payload);
  Cli.UploadStream = &upload;
  Cli.URL = server.Url("/form");
  EXPECT_EQ(Run(THttpRequest::httpPOST), 0);
  EXPECT_EQ(Body.Data(), "thanks");
  EXPECT_EQ(Cli.UploadedCount(), static_cast<int>(payload.size()));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& raw = requests[0].Raw;
  EXPECT_EQ(raw.substr(0, raw.find("\r\n")), "POST /form HTTP/1.0");
  EXPECT_NE(raw.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
  EXPECT_NE(raw.find("\r\nContent-Length: 20003\r\n"), std::string::npos);
  EXPECT_EQ(raw.substr(raw.find("\r\n\r\n") + 4), payload);
}

TEST_F(THttpFixture, RequestHeaderOptionsInOrder) {
  TScriptServer server({{.Target = "/o", .Raw = Ok("")}});
  Cli.Sender = "me@example.org";
  Cli.Reference = "http://ref/";
  Cli.Connection = "Keep-Alive";
  Cli.AcceptLanguage = "en";
  Cli.NoCache = true;
  Cli.ModifiedSince = 2.0;
  Cli.Cookie = "c=1";
  Cli.ContentRangeBegin = "5";
  Cli.OnBeforeHeaderSend = [](THttpCli&, const std::string& method, std::vector<std::string>& headers) {
    EXPECT_EQ(method, "HEAD");
    headers.push_back("X-Added: 1");
  };
  Cli.URL = server.Url("/o");
  EXPECT_EQ(Run(THttpRequest::httpHEAD), 0);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(
      server.Requests()[0].Raw,
      "HEAD /o HTTP/1.0\r\nFrom: me@example.org\r\n"
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
      "Referer: http://ref/\r\nConnection: Keep-Alive\r\nAccept-Language: en\r\n"
      "User-Agent: Mozilla/3.0 (compatible; Quorvane v2.1 beta)\r\nHost: 127.0.0.1\r\nPragma: no-cache\r\n"
      "If-Modified-Since: Mon, 01 Jan 1900 00:00:00 GMT\r\nCookie: c=1\r\nRange: bytes=5-\r\nX-Added: "
      "1\r\n\r\n");
  EXPECT_TRUE(Cli.ContentRangeBegin.empty()) << "the range bounds are used once";
}

TEST_F(THttpFixture, AbortAndBusy) {
  TScriptServer server(
      {{.Target = "/slow", .Raw = "HTTP/1.0 200 OK\r\n\r\n" + std::string(200, 's'), .Bytewise = true}});
  Cli.URL = server.Url("/slow");
  Cli.RequestAsync(THttpRequest::httpGET);
  try {
    Cli.RequestAsync(THttpRequest::httpGET);
    ADD_FAILURE() << "no busy error";
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode, 1);
    EXPECT_STREQ(e.what(), "HTTP component is busy");
  }
  ASSERT_TRUE(Loop.RunUntil([&] { return Cli.ReceivedCount() > 0; }, Patience)) << "no body arrived";
  Cli.Abort();
  EXPECT_EQ(Cli.State(), THttpClientState::Ready);
  EXPECT_EQ(Cli.StatusCode(), 404);
  EXPECT_EQ(Cli.ReasonPhrase(), "Connection aborted on request");
  EXPECT_EQ(Cli.CompletionError(), 3);
  EXPECT_EQ(Cli.CtrlSocket().State(), TSocketState::wsClosed);

  // Idle: OK at once, announced at once.
  const int before = RequestsDone;
  Loop.ProcessPending();
  const int afterQueue = RequestsDone;
  Cli.Abort();
  EXPECT_EQ(Cli.StatusCode(), 200);
  EXPECT_EQ(Cli.ReasonPhrase(), "OK");
  EXPECT_EQ(RequestsDone, afterQueue + 1);
  EXPECT_GE(afterQueue, before);
}

TEST_F(THttpFixture, TheApplicationEndingDuringGetAbortsIt) {
  TScriptServer server(
      {{.Target = "/slow", .Raw = "HTTP/1.0 200 OK\r\n\r\n" + std::string(100, 's'), .Bytewise = true}});
  Cli.OnDocData = [&](THttpCli&, const char*, int) { Loop.Quit(); };
  Cli.URL = server.Url("/slow");
  TWatchdog watchdog(Loop);
  try {
    Cli.Get();
    ADD_FAILURE() << "Get returned normally";
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode, 404);
    EXPECT_STREQ(e.what(), "Connection aborted on request");
  }
  EXPECT_EQ(Cli.CompletionError(), 3);
  EXPECT_EQ(Cli.State(), THttpClientState::Ready);
}

TEST_F(THttpFixture, AbortWhileResolving) {
  THeldLookups::Hold();
  TSocketSysCalls calls = SocketSysCalls();
  calls.GetAddrInfo = THeldLookups::Call;
  SetSocketSysCalls(calls);
  Cli.URL = "http://held.invalid/";
  Cli.RequestAsync(THttpRequest::httpGET);
  EXPECT_EQ(Cli.State(), THttpClientState::Resolving);
  ASSERT_TRUE(THeldLookups::WaitEntered(1));
  Cli.Abort();
  EXPECT_EQ(Cli.State(), THttpClientState::Ready);
  EXPECT_EQ(Cli.ReasonPhrase(), "Connection aborted on request");
  THeldLookups::Release();
  ASSERT_TRUE(THeldLookups::WaitReturned(1));
  while (Loop.ProcessPending()) {
  }
  EXPECT_EQ(Cli.ReasonPhrase(), "Connection aborted on request") << "the late lookup result is dropped";
}

// A relocation whose own body runs until the server closes: the next document
// is read whole, counted from its first byte (on IPv4 and IPv6 loopback).
TEST_F(THttpFixture, ARelocationBodyEndingAtTheCloseNeverShortensTheNextDocument) {
  const std::string list = "208\r\nhttp://example.org/\r\n0\r\n";
  for (const char* host : {"127.0.0.1", "::1"}) {
    if (std::string(host) == "::1" && !HaveIpv6Loopback()) {
      std::printf("no IPv6 loopback here: the ::1 case is skipped\n");
      continue;
    }
    for (const size_t bodySize : {size_t(37), size_t(5000)}) {
      SCOPED_TRACE(std::string(host) + ", a redirection body of " + std::to_string(bodySize) + " bytes");
      const std::string moved(bodySize, 'm');
      TScriptServer server(
          {{.Target = "/start", .Raw = "HTTP/1.1 302 Found\r\nLocation: /final.lst\r\n\r\n" + moved},
           {.Target = "/final.lst", .Raw = Ok(list)}},
          TOnHost{host});
      Body = TMemoryStream();
      EXPECT_EQ(GetCode(server.Url("/start")), 0) << Cli.ReasonPhrase();
      EXPECT_EQ(Cli.StatusCode(), 200);
      EXPECT_EQ(Cli.ReceivedCount(), static_cast<int>(list.size()));
      EXPECT_TRUE(Body.Data() == moved + list)
          << "a redirection's own body is written too, then the whole list";
      EXPECT_EQ(server.RequestLines(),
                (std::vector<std::string>{"GET /start HTTP/1.0", "GET /final.lst HTTP/1.0"}));
    }
  }
}

// Credentials go to the host and port they were given for, and only for the
// request whose address carried them.
TEST_F(THttpFixture, CredentialsStayWithTheirHost) {
  TScriptServer server({{.Target = "/404", .Raw = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"},
                        {.Target = "/ok.lst", .Raw = Ok("list")},
                        {.Target = "/elsewhere",
                         .Raw = "HTTP/1.0 302 Found\r\nLocation: http://localhost:{port}/ok.lst\r\n\r\n"},
                        {.Target = "/here", .Raw = "HTTP/1.0 302 Found\r\nLocation: /ok.lst\r\n\r\n"}});
  const std::string port = std::to_string(server.Port());
  const std::string auth = "\r\nAuthorization: Basic dTpw\r\n";
  const struct {
    const char* Name;
    std::string Url;
    std::vector<bool> Authorized;  // per request it makes
  } cases[] = {
      {"given in the address", "http://u:p@127.0.0.1:" + port + "/404", {true}},
      {"another host, same port, next request", "http://localhost:" + port + "/ok.lst", {false}},
      {"the same host, next request", "http://127.0.0.1:" + port + "/ok.lst", {false}},
      {"a redirect to another host drops them", "http://u:p@127.0.0.1:" + port + "/elsewhere", {true, false}},
      {"a redirect on the same host keeps them", "http://u:p@127.0.0.1:" + port + "/here", {true, true}},
  };
  size_t seen = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    GetCode(c.Url);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), seen + c.Authorized.size());
    for (size_t i = 0; i < c.Authorized.size(); ++i)
      EXPECT_EQ(requests[seen + i].Raw.find(auth) != std::string::npos, c.Authorized[i])
          << requests[seen + i].Raw;
    seen = requests.size();
  }
  EXPECT_TRUE(Cli.Username.empty()) << "an address's credentials do not become the client's";
  EXPECT_TRUE(Cli.Password.empty());
}

TEST_F(THttpFixture, AChunkSizeThatOverflowsFailsTheRequest) {
  TScriptServer server(std::vector<TResponse>{
      {.Target = "/x",
       .Raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\nabc\r\n0\r\n\r\n"}});
  EXPECT_EQ(GetCode(server.Url("/x")), 404);
  EXPECT_EQ(Cli.ReasonPhrase(), "Invalid chunk size: more than 2147483647 bytes");
  EXPECT_TRUE(Cli.OwnFailure());
  EXPECT_EQ(Body.Data(), "");
}

// The program asks with HTTP/1.0: a server may close after every answer, so a
// relocation never goes out on the old connection, whatever the answer said.
TEST_F(THttpFixture, AfterA10RequestNoConnectionIsReused) {
  TScriptServer server({{.Target = "/moved",
                         .Raw = "HTTP/1.1 302 Found\r\nLocation: /two\r\nContent-Length: 0\r\n\r\n",
                         .Keep = true},
                        {.Target = "/two", .Raw = Ok("two", "1.1"), .Keep = true},
                        {.Target = "/old", .Raw = Ok("old"), .Keep = true}});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetCode(server.Url("/moved")), 0);
  EXPECT_EQ(Body.Data(), "twotwotwo");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 6u);
  for (size_t i = 1; i < requests.size(); ++i) EXPECT_NE(requests[i].Connection, requests[i - 1].Connection);

  // Nor after an HTTP/1.0 answer to a 1.1 request.
  Cli.SetRequestVer("1.1");
  EXPECT_EQ(GetCode(server.Url("/old")), 0);
  WaitReady();
  EXPECT_EQ(Cli.CtrlSocket().State(), TSocketState::wsClosed);
}

// A kept connection the server closed meanwhile: the request goes out once
// more, on a new connection, instead of ending with no status.
TEST_F(THttpFixture, AKeptConnectionFoundClosedIsRetriedOnce) {
  TScriptServer server({{.Target = "/one", .Raw = Ok("one", "1.1"), .Keep = true},
                        {.Target = "/two", .Raw = ""},  // read, then closed without an answer
                        {.Target = "/two", .Raw = Ok("two", "1.1"), .Keep = true},
                        {.Target = "/three", .Raw = ""}});
  Cli.SetRequestVer("1.1");
  EXPECT_EQ(GetCode(server.Url("/one")), 0);
  ASSERT_EQ(Cli.CtrlSocket().State(), TSocketState::wsConnected);
  EXPECT_EQ(GetCode(server.Url("/two")), 0);
  EXPECT_EQ(Cli.StatusCode(), 200);
  EXPECT_EQ(Body.Data(), "onetwo");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1].Connection, requests[0].Connection);
  EXPECT_NE(requests[2].Connection, requests[1].Connection);

  // Only once: a new connection that closes without an answer ends the request.
  EXPECT_EQ(GetCode(server.Url("/three")), 0);
  EXPECT_EQ(Cli.StatusCode(), 0);
  EXPECT_EQ(server.Requests().size(), 5u);
}

TEST_F(THttpFixture, Ipv6LiteralsConnectAndGoIntoTheHostLineInBrackets) {
  if (!HaveIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback here";
  TScriptServer server({{.Target = "/x", .Raw = Ok("over IPv6")}}, TOnHost{"::1"});
  EXPECT_EQ(GetCode(server.Url("/x")), 0) << Cli.ReasonPhrase();
  EXPECT_EQ(Body.Data(), "over IPv6");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].Raw.find("\r\nHost: [::1]\r\n"), std::string::npos)
      << server.Requests()[0].Raw;
}

// "localhost" may name ::1 before 127.0.0.1; a server on 127.0.0.1 alone is
// still reached: a refused address leads to the next one.
TEST_F(THttpFixture, AFailedAddressLeadsToTheNext) {
  TScriptServer server({{.Target = "/x", .Raw = Ok("found")}});
  EXPECT_EQ(GetCode("http://localhost:" + std::to_string(server.Port()) + "/x"), 0) << Cli.ReasonPhrase();
  EXPECT_EQ(Body.Data(), "found");
}

TEST_F(THttpFixture, FailuresWithoutAnErrorNumberSayWhy) {
  for (const char* port : {"70000", "abc"}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(GetCode(std::string("http://127.0.0.1:") + port + "/x"), 404);
    EXPECT_TRUE(Cli.OwnFailure());
    EXPECT_NE(Cli.ReasonPhrase().find(std::string("'") + port + "'"), std::string::npos)
        << Cli.ReasonPhrase();
    EXPECT_EQ(Cli.ReasonPhrase().find("No Error"), std::string::npos) << Cli.ReasonPhrase();
  }
}

// A lookup that hangs is given up without anything waiting for it: the client
// and its socket go at once, and so does the process.
TEST_F(THttpFixture, AHangingLookupHoldsNothingUp) {
  THeldLookups::Hold();
  TSocketSysCalls calls = SocketSysCalls();
  calls.GetAddrInfo = THeldLookups::Call;
  SetSocketSysCalls(calls);
  {
    TPollLoop loop;
    auto cli = std::make_unique<THttpCli>(loop);
    cli->URL = "http://held.invalid/trackers.lst";
    cli->RequestAsync(THttpRequest::httpGET);
    ASSERT_TRUE(THeldLookups::WaitEntered(1));
    cli->Abort();
    EXPECT_EQ(cli->ReasonPhrase(), "Connection aborted on request");
    cli.reset();  // returns while the lookup still hangs
  }
  {
    // Destroyed while the lookup runs, without an abort.
    TPollLoop loop;
    THttpCli cli(loop);
    cli.URL = "http://held.invalid/";
    cli.RequestAsync(THttpRequest::httpGET);
    ASSERT_TRUE(THeldLookups::WaitEntered(2));
  }
  EXPECT_EQ(THeldLookups::Returned(), 0) << "the lookups are still held";

  // The program's way out: a child starts a lookup that never returns, gives it
  // up and exits; it must end without waiting for the lookup. The child blocks
  // its lookup on a pipe: a condition variable copied by fork from a process
  // with waiters cannot be relied on.
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    static int entered[2], release[2];
    if (::pipe(entered) != 0 || ::pipe(release) != 0) ::_exit(3);
    TSocketSysCalls held = SocketSysCalls();
    held.GetAddrInfo = [](const char*, const char*, const addrinfo*, addrinfo** result) {
      char c = 1;
      if (::write(entered[1], &c, 1) != 1) ::_exit(4);
      while (::read(release[0], &c, 1) < 0) {  // never written: the lookup hangs
      }
      *result = nullptr;
      return EAI_NONAME;
    };
    SetSocketSysCalls(held);
    {
      TPollLoop loop;
      THttpCli cli(loop);
      cli.URL = "http://held.invalid/";
      cli.RequestAsync(THttpRequest::httpGET);
      char c;
      if (::read(entered[0], &c, 1) != 1) ::_exit(2);
      cli.Abort();
    }
    std::exit(0);  // static destructors run, as at the end of the program
  }
  ::close(pipeFds[1]);
  TFd readEnd(pipeFds[0]);
  // The pipe's write end closes when the child has gone.
  pollfd p{readEnd.Get(), POLLIN, 0};
  const int ready = ::poll(&p, 1, static_cast<int>(Patience.count()));
  int status = 0;
  if (ready <= 0) ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
  EXPECT_GT(ready, 0) << "the process did not end while its lookup hung";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  THeldLookups::Release();
  EXPECT_TRUE(THeldLookups::WaitReturned(2));
}

TEST(THttpCliSettings, RequestVerAndDefaults) {
  TPollLoop loop;
  THttpCli cli(loop);
  EXPECT_EQ(cli.RequestVer(), "1.0");
  cli.SetRequestVer("1.1");
  EXPECT_EQ(cli.RequestVer(), "1.1");
  try {
    cli.SetRequestVer("2.0");
    ADD_FAILURE() << "no exception";
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode, 5);
    EXPECT_STREQ(e.what(), "Insupported HTTP version");
  }
  EXPECT_EQ(cli.RequestVer(), "1.1");
  EXPECT_EQ(cli.State(), THttpClientState::Ready);
  TMemoryStream none;
  try {
    cli.RequestAsync(THttpRequest::httpPOST);
    ADD_FAILURE() << "no exception";
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode, 2);
  }
}

}  // namespace
