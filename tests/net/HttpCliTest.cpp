#include "net/HttpProt.h"

#include "NetTestUtil.h"
#include "ScriptServer.h"
#include "base/Stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
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
  TWatchdog Watchdog{Loop};
  THttpCli Cli{Loop};
  TMemoryStream Body;
  int RequestsDone = 0;

  THttpFixture() {
    Cli.Agent = ProgramAgent;
    Cli.ReceiveStream = &Body;
    Cli.OnRequestDone = [this](THttpCli&, THttpRequest, uint16_t) { ++RequestsDone; };
  }
  // Get, returning the EHttpException's code (0 when none was raised).
  int GetCode(const std::string& url) {
    Cli.URL = url;
    try {
      Cli.Get();
    } catch (const EHttpException& e) {
      EXPECT_EQ(e.what(), Cli.ReasonPhrase());
      return e.ErrorCode;
    }
    EXPECT_FALSE(Loop.Quitting()) << "the request did not end in time";
    return 0;
  }
  void WaitReady() {
    ASSERT_TRUE(Loop.RunUntil([&] { return Cli.State() == THttpClientState::Ready; }, Patience))
        << "the request never ended";
  }
};

std::string Ok(const std::string& body, const std::string& version = "1.0") {
  return "HTTP/" + version + " 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(THttpFixture, SendsExactlyTheFiveLinesAndReadsAContentLengthBody) {
  TScriptServer server({{.Target = "/trackers.lst", .Raw = Ok("hello")}});
  EXPECT_EQ(GetCode(server.Url("/trackers.lst")), 0);
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
      {"a content length that is no number", "HTTP/1.0 200 OK\r\nContent-Length: 5x\r\n\r\nabcdefg", false,
       "abcdefg", 200, -1},
      {"chunked with extensions",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
       "5;name=value\r\nhello\r\n6\r\n world\r\nA \r\n, chunked!\r\n0\r\n\r\n",
       false, "hello world, chunked!", 200, -1},
      {"bare 0 chunk", "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", false,
       "hello", 200, -1},
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptServer server({{.Target = "/doc", .Raw = c.Raw, .Bytewise = c.Bytewise}});
    Body = TMemoryStream();
    EXPECT_EQ(GetCode(server.Url("/doc")), 0);
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
  Cli.Post();
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
  Cli.Head();
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
  Cli.URL = "http://no-such-host.invalid/";
  Cli.RequestAsync(THttpRequest::httpGET);
  EXPECT_EQ(Cli.State(), THttpClientState::Resolving);
  Cli.Abort();
  EXPECT_EQ(Cli.State(), THttpClientState::Ready);
  EXPECT_EQ(Cli.ReasonPhrase(), "Connection aborted on request");
  Loop.RunUntil([] { return false; }, std::chrono::milliseconds(20));
  EXPECT_EQ(Cli.ReasonPhrase(), "Connection aborted on request") << "the late lookup result is dropped";
}

// The response handling fed by a peer the test drives itself: each piece is
// read by the client before the next is written, so a response can be cut
// at any point, or sent one byte at a time.
struct TFeedResult {
  int Status = -1;
  std::string Body;
  std::string Reason;
};

TFeedResult Feed(const std::string& raw, const std::vector<size_t>& cuts) {
  TPollLoop loop;
  THttpCli cli(loop);
  TMemoryStream body;
  cli.ReceiveStream = &body;
  TListener listener;
  cli.URL = "http://127.0.0.1:" + listener.PortText() + "/doc";
  cli.RequestAsync(THttpRequest::httpGET);
  TFeedResult result;
  if (!loop.RunUntil([&] { return cli.State() == THttpClientState::ReadingHeader; }, Patience)) {
    ADD_FAILURE() << "the request was never sent";
    return result;
  }
  TFd peer = listener.Accept();
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    char buf[1024];
    const auto n = ::recv(peer.Get(), buf, sizeof buf, 0);
    if (n <= 0) break;
    request.append(buf, n);
  }
  size_t from = 0;
  int64_t sent = 0;
  std::vector<size_t> ends = cuts;
  ends.push_back(raw.size());
  for (size_t end : ends) {
    if (end <= from) continue;
    const std::string piece = raw.substr(from, end - from);
    from = end;
    if (::send(peer.Get(), piece.data(), piece.size(), MSG_NOSIGNAL) < 0) break;
    sent += static_cast<int64_t>(piece.size());
    const bool read = loop.RunUntil(
        [&] {
          return cli.CtrlSocket().ReadCount() >= sent || cli.CtrlSocket().State() == TSocketState::wsClosed;
        },
        Patience);
    if (!read) {
      ADD_FAILURE() << "the client stopped reading";
      return result;
    }
  }
  peer.Reset();
  if (!loop.RunUntil([&] { return cli.State() == THttpClientState::Ready; }, Patience)) {
    ADD_FAILURE() << "the request never ended";
    return result;
  }
  result.Status = cli.StatusCode();
  result.Body = body.Data();
  result.Reason = cli.ReasonPhrase();
  return result;
}

TEST(THttpCliResponses, EveryResponseSurvivesEverySplit) {
  const struct {
    const char* Name;
    std::string Raw;
    int Status;
    std::string Body;
  } cases[] = {
      {"content length", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", 200, "hello"},
      {"content length, bytes past it", "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", 200, "abc"},
      {"until the close", "HTTP/1.0 200 OK\nServer: bare LF\n\nuntil close", 200, "until close"},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=y\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", 200,
       "hello world"},
      {"chunked beats a content length",
       "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n"
       "5\r\nhello\r\n3\r\n!!!\r\n0\r\n\r\n",
       200, "hello!!!"},
      {"interim 100", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 200,
       "ok"},
      {"no header", "<html>\r\n<p>x</p>\n</html>\r\n", 0, "<html>\r\n<p>x</p>\n</html>\r\n"},
      {"401 without a body", "HTTP/1.0 401 Unauthorized\r\nContent-Length: 0\r\n\r\n", 401, ""},
      {"relocation refused", "HTTP/1.0 302 Found\r\nLocation: https://x/\r\n\r\n", 404, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::vector<size_t>> ways = {{}};
    std::vector<size_t> bytewise;
    for (size_t i = 1; i < c.Raw.size(); ++i) {
      ways.push_back({i});
      bytewise.push_back(i);
    }
    ways.push_back(bytewise);
    for (const auto& cuts : ways) {
      SCOPED_TRACE(std::string(c.Name) + (cuts.empty()      ? ", whole"
                                          : cuts.size() > 1 ? ", byte by byte"
                                                            : ", cut at " + std::to_string(cuts[0])));
      const TFeedResult r = Feed(c.Raw, cuts);
      EXPECT_EQ(r.Status, c.Status) << r.Reason;
      EXPECT_EQ(r.Body, c.Body);
      if (::testing::Test::HasFailure()) return;  // one broken split says enough
    }
  }
}

// Responses stitched together from valid and broken pieces, cut at random
// points: whatever comes, the request ends and nothing is read out of bounds.
TEST(THttpCliResponses, RandomResponsesAlwaysEnd) {
  const std::vector<std::string> pieces = {"HTTP/1.0 200 OK\r\n",
                                           "HTTP/1.1 100 Continue\r\n\r\n",
                                           "HTTP/1.1 302 Found\r\n",
                                           "HTTP/1.1 404 Nope\r\n",
                                           "Content-Length: 5\r\n",
                                           "Content-Length: -3\r\n",
                                           "Content-Length: 99999999999\r\n",
                                           "Transfer-Encoding: chunked\r\n",
                                           "Location: https://x/\r\n",
                                           "Location: http:///\r\n",
                                           "Connection: close\r\n",
                                           "\r\n",
                                           "\n",
                                           "5\r\nhello\r\n",
                                           "0\r\n\r\n",
                                           "fffffff\r\n",
                                           "zz;\r\n",
                                           "<HTML>\r\n",
                                           std::string(3000, 'a'),
                                           std::string("\0\0\r\n", 4),
                                           "body bytes"};
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % bound;
  };
  for (int round = 0; round < 150; ++round) {
    std::string raw;
    const uint32_t count = 1 + next(8);
    for (uint32_t i = 0; i < count; ++i) raw += pieces[next(static_cast<uint32_t>(pieces.size()))];
    std::vector<size_t> cuts;
    for (uint32_t i = next(4); i > 0; --i) cuts.push_back(1 + next(static_cast<uint32_t>(raw.size())));
    std::sort(cuts.begin(), cuts.end());
    SCOPED_TRACE("round " + std::to_string(round));
    const TFeedResult r = Feed(raw, cuts);
    EXPECT_NE(r.Status, -1);
    if (::testing::Test::HasFailure()) return;
  }
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
