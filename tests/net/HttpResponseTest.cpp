// The response reader fed directly: every response whole, cut at every point and
// byte by byte, without a server.
#include "net/HttpResponse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Records what the reader reports, as the client would see it.
struct TRecorder : THttpResponse::TListener {
  std::vector<std::string> Events;
  std::vector<std::string> Fields;
  std::string Body;
  void HeaderBegin() override { Events.push_back("header"); }
  void StatusLine() override { Events.push_back("status"); }
  void UnknownFirstLine() override { Events.push_back("unknown"); }
  void HeaderField(const std::string& name, const std::string& value) override {
    Fields.push_back(name + "=" + value);
  }
  void Interim() override { Events.push_back("interim"); }
  void HeaderEnd(bool bodyExpected) override { Events.push_back(bodyExpected ? "end+body" : "end"); }
  void DocBegin() override { Events.push_back("doc"); }
  void DocData(const char* data, size_t length) override { Body.append(data, length); }
  void DocEnd() override { Events.push_back("docend"); }
};

struct TOutcome {
  THttpResponse::TPhase Phase;
  THttpResponse::TAtClose AtClose;
  int Status;
  std::string Body;
  std::string Error;
  std::vector<std::string> Events;
};

// Feeds raw in the pieces the cuts make, then closes the connection.
TOutcome Read(const std::string& raw, const std::vector<size_t>& cuts, bool head = false) {
  TRecorder recorder;
  THttpResponse response(&recorder);
  response.Begin(head);
  size_t from = 0;
  std::vector<size_t> ends = cuts;
  ends.push_back(raw.size());
  for (size_t end : ends) {
    if (end <= from) continue;
    // A copy of its own, so reading past a piece shows under the sanitizers.
    const std::string piece = raw.substr(from, end - from);
    response.Feed(piece);
    from = end;
  }
  const THttpResponse::TPhase phase = response.Phase();
  const THttpResponse::TAtClose atClose = response.ConnectionClosed();
  return {phase, atClose, response.StatusCode(), recorder.Body, response.Error(), recorder.Events};
}

std::vector<std::vector<size_t>> EveryWayToCut(const std::string& raw) {
  std::vector<std::vector<size_t>> ways = {{}};
  std::vector<size_t> bytewise;
  for (size_t i = 1; i < raw.size(); ++i) {
    ways.push_back({i});
    bytewise.push_back(i);
  }
  ways.push_back(bytewise);
  return ways;
}

std::string CutName(const std::vector<size_t>& cuts) {
  if (cuts.empty()) return "whole";
  if (cuts.size() > 1) return "byte by byte";
  return "cut at " + std::to_string(cuts[0]);
}

using TPhase = THttpResponse::TPhase;
using TAtClose = THttpResponse::TAtClose;

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

TEST(THttpResponse, EveryResponseSurvivesEverySplit) {
  std::string big;
  for (int i = 0; i < 20000; ++i) big += static_cast<char>('0' + i % 10);
  const struct {
    const char* Name;
    std::string Raw;
    int Status;
    std::string Body;
    TPhase Phase;  // before the close
    TAtClose AtClose;
  } cases[] = {
      {"content length", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", 200, "hello", TPhase::Done,
       TAtClose::AlreadyComplete},
      {"bytes past the content length", "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", 200, "abc",
       TPhase::Done, TAtClose::AlreadyComplete},
      {"until the close, bare line ends", "HTTP/1.0 200 OK\nServer: bare LF\n\nuntil close", 200,
       "until close", TPhase::Body, TAtClose::DocumentEnds},
      {"a content length that is no number", "HTTP/1.0 200 OK\r\nContent-Length: 5x\r\n\r\nabcdefg", 200,
       "abcdefg", TPhase::Body, TAtClose::DocumentEnds},
      {"chunked with extensions",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;name=value\r\nhello\r\n6\r\n world\r\nA "
       "\r\n, chunked!\r\n0\r\n\r\n",
       200, "hello world, chunked!", TPhase::Done, TAtClose::AlreadyComplete},
      {"chunked beats a content length",
       "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n"
       "5\r\nhello\r\n3\r\n!!!\r\n0\r\n\r\n",
       200, "hello!!!", TPhase::Done, TAtClose::AlreadyComplete},
      {"the largest chunk size that fits, cut short",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffff\r\nabc", 200, "abc", TPhase::Body,
       TAtClose::DocumentCut},
      {"interim 100", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 200,
       "ok", TPhase::Done, TAtClose::AlreadyComplete},
      {"chunked in any case", "HTTP/1.1 200 OK\r\nTransfer-Encoding: ChUnKed \r\n\r\n2\r\nok\r\n0\r\n\r\n",
       200, "ok", TPhase::Done, TAtClose::AlreadyComplete},
      {"a status line with no reason", "HTTP/1.0 200\r\nContent-Length: 2\r\n\r\nok", 200, "ok", TPhase::Done,
       TAtClose::AlreadyComplete},
      {"no header", "<html>\r\n<p>x</p>\n</html>\r\n", 0, "<html>\r\n<p>x</p>\n</html>\r\n", TPhase::Body,
       TAtClose::DocumentEnds},
      // Found by the fuzzer: the interim response's length applied to a document
      // that had already passed it, and the rest was read far past the input.
      {"an interim response's fields do not carry over",
       "HTTP/1.1 100 Continue\r\nContent-Length: 1\r\nConnection: close\r\n\r\n<HTML>\r\nbody", 100,
       "<HTML>\r\nbody", TPhase::Body, TAtClose::DocumentEnds},
      {"401 with a body", "HTTP/1.0 401 Unauthorized\r\nContent-Length: 6\r\n\r\ndenied", 401, "denied",
       TPhase::Done, TAtClose::AlreadyComplete},
      {"204 has no body", "HTTP/1.0 204 No Content\r\n\r\n", 204, "", TPhase::Done,
       TAtClose::AlreadyComplete},
      {"a redirect without a body", "HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n", 302, "", TPhase::Body,
       TAtClose::DocumentEnds},
      {"a body longer than a header line may be", "HTTP/1.0 200 OK\r\n\r\n" + big, 200, big, TPhase::Body,
       TAtClose::DocumentEnds},
      {"document cut short", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nhello", 200, "hello", TPhase::Body,
       TAtClose::DocumentCut},
      {"header cut short", "HTTP/1.0 200 OK\r\nContent-Le", 200, "", TPhase::Header, TAtClose::HeaderCut},
      {"nothing but a partial status line", "HTTP/1.", 0, "", TPhase::Header, TAtClose::Nothing},
  };
  for (const auto& c : cases) {
    // The long body is cut at a few points only; every split of it says nothing more.
    const auto ways = c.Raw.size() > 1000 ? std::vector<std::vector<size_t>>{{}, {17}, {19, 20}, {8000, 8192}}
                                          : EveryWayToCut(c.Raw);
    for (const auto& cuts : ways) {
      SCOPED_TRACE(std::string(c.Name) + ", " + CutName(cuts));
      const TOutcome r = Read(c.Raw, cuts);
      EXPECT_EQ(r.Status, c.Status) << r.Error;
      EXPECT_TRUE(r.Body == c.Body) << r.Body.substr(0, 100);
      EXPECT_EQ(r.Phase, c.Phase) << r.Error;
      EXPECT_EQ(r.AtClose, c.AtClose);
      if (::testing::Test::HasFailure()) return;  // one broken split says enough
    }
  }
}

TEST(THttpResponse, BrokenResponsesFailWithAReason) {
  const struct {
    const char* Name;
    std::string Raw;
    std::string Error;
  } cases[] = {
      {"line longer than the buffer", "HTTP/1.0 200 OK\r\nX-Long: " + std::string(9000, 'a') + "\r\n\r\nbody",
       "HTTP line too long"},
      {"a line without an end that fills the buffer", std::string(THttpResponse::MaxLine, 'x'),
       "HTTP line too long"},
      {"status that is not a number", "HTTP/1.0 2x0 OK\r\n\r\n",
       "Invalid status code in the response: '2x0'"},
      {"four digits of status", "HTTP/1.1 2000 OK\r\n\r\n", "Invalid status code in the response: '2000'"},
      {"digits and letters", "HTTP/1.1 200abc\r\n\r\n", "Invalid status code in the response: '200abc'"},
      {"two digits", "HTTP/1.1 20 OK\r\n\r\n", "Invalid status code in the response: '20'"},
      {"a sign", "HTTP/1.1 +20 OK\r\n\r\n", "Invalid status code in the response: '+20'"},
      {"no status", "HTTP/1.1\r\n\r\n", "Invalid status code in the response: ''"},
      {"header lines without end", "HTTP/1.1 200 OK\r\n" + Repeat("X-A: b\r\n", 200),
       "The response header is too large (more than 100 lines or 64 KiB)"},
      {"header bytes without end",
       "HTTP/1.1 200 OK\r\n" + Repeat("X-A: " + std::string(8000, 'b') + "\r\n", 9),
       "The response header is too large (more than 100 lines or 64 KiB)"},
      {"interim responses without end",
       Repeat("HTTP/1.1 100 Continue\r\n\r\n", 12) + "HTTP/1.1 200 OK\r\n\r\n",
       "Too many interim responses (more than 10)"},
      // 0x80000000 no longer fits a signed 32-bit count.
      {"chunk size past 2^31-1", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\nabc",
       "Invalid chunk size: more than 2147483647 bytes"},
      {"endless chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(40, 'f'),
       "Invalid chunk size: more than 2147483647 bytes"},
      // Each chunk line is capped as a header line is: endless input stops at the cap, not at the deadline.
      {"endless leading zeros",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(9000, '0'),
       "Invalid chunk: a line of more than 8192 bytes"},
      {"endless chunk extensions",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;" + std::string(9000, 'x'),
       "Invalid chunk: a line of more than 8192 bytes"},
      {"endless trailer",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n" + std::string(9000, 'x'),
       "Invalid chunk: a line of more than 8192 bytes"},
      {"junk after chunk data",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nokjunk\r\n0\r\n\r\n",
       "Invalid chunk: more bytes than its size"},
      {"no size at all", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nok\r\n0\r\n\r\n",
       "Invalid chunk size: the line holds no hexadecimal number"},
  };
  for (const auto& c : cases) {
    for (const auto& cuts : c.Raw.size() > 1000 ? std::vector<std::vector<size_t>>{{}, {3}, {8191}, {8192}}
                                                : EveryWayToCut(c.Raw)) {
      SCOPED_TRACE(std::string(c.Name) + ", " + CutName(cuts));
      const TOutcome r = Read(c.Raw, cuts);
      EXPECT_EQ(r.Phase, TPhase::Failed);
      EXPECT_EQ(r.Error, c.Error);
      EXPECT_EQ(r.AtClose, TAtClose::AlreadyComplete);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(THttpResponse, HeaderValuesAndEvents) {
  TRecorder recorder;
  THttpResponse response(&recorder);
  response.Begin(false);
  response.Feed(
      "HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n"
      "HTTP/1.1 200 Fine\r\nContent-Type: TEXT/Plain\r\nX-Other:\tkept\r\nX-Blank:  \r\nConnection: Close\r\n"
      "Content-Length: 1\r\n\r\nx");
  EXPECT_EQ(response.Phase(), TPhase::Done);
  EXPECT_EQ(response.Version(), "1.1");
  EXPECT_EQ(response.Reason(), "Fine");
  EXPECT_EQ(response.ContentType(), "text/plain");
  EXPECT_FALSE(response.ServerWantsClose()) << "only \"close\" itself asks to close";
  EXPECT_EQ(response.Header(),
            (std::vector<std::string>{"HTTP/1.1 200 Fine", "Content-Type: TEXT/Plain", "X-Other:\tkept",
                                      "X-Blank:  ", "Connection: Close", "Content-Length: 1"}))
      << "the interim response's lines are dropped";
  EXPECT_EQ(recorder.Fields,
            (std::vector<std::string>{"x-interim=1", "content-type=TEXT/Plain", "x-other=\tkept",
                                      "x-blank= ", "connection=Close", "content-length=1"}));
  EXPECT_EQ(recorder.Events,
            (std::vector<std::string>{"header", "status", "interim", "status", "end+body", "doc", "docend"}));

  response.Begin(true);
  recorder.Events.clear();
  response.Feed("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 10\r\n\r\n");
  EXPECT_EQ(response.Phase(), TPhase::Done) << "a HEAD answer has no body";
  EXPECT_TRUE(response.ServerWantsClose());
  EXPECT_EQ(response.ContentLength(), 10);

  response.Begin(false);
  recorder.Events.clear();
  response.Feed("ICY 200 OK\r\n\r\n");
  EXPECT_EQ(recorder.Events, (std::vector<std::string>{"header", "unknown", "end"}));
}

// A listener that stops the reading after the header, as the client does when it
// follows a relocation: the rest of the bytes belong to no document.
TEST(THttpResponse, StopDropsTheRestOfTheFeed) {
  struct TStopper : TRecorder {
    THttpResponse* Response = nullptr;
    void HeaderEnd(bool bodyExpected) override {
      TRecorder::HeaderEnd(bodyExpected);
      Response->Begin(false);
      Response->Stop();
    }
  } stopper;
  THttpResponse response(&stopper);
  stopper.Response = &response;
  response.Begin(false);
  response.Feed("HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\nHTTP/1.1 200 OK\r\n\r\nnot a document");
  EXPECT_EQ(response.Phase(), TPhase::Header);
  EXPECT_EQ(response.StatusCode(), 0);
  EXPECT_TRUE(response.Header().empty());
  EXPECT_EQ(stopper.Body, "");
}

// Responses stitched together from valid and broken pieces, cut at random
// points: whatever comes, the reader ends in a defined state.
TEST(THttpResponse, RandomResponsesAlwaysEnd) {
  const std::vector<std::string> pieces = {"HTTP/1.0 200 OK\r\n",
                                           "HTTP/1.1 100 Continue\r\n\r\n",
                                           "HTTP/1.1 302 Found\r\n",
                                           "HTTP/1.1 404 Nope\r\n",
                                           "Content-Length: 5\r\n",
                                           "Content-Length: -3\r\n",
                                           "Content-Length: 99999999999\r\n",
                                           "Transfer-Encoding: chunked\r\n",
                                           "Location: https://x/\r\n",
                                           "Connection: close\r\n",
                                           "\r\n",
                                           "\n",
                                           "5\r\nhello\r\n",
                                           "0\r\n\r\n",
                                           "fffffff\r\n",
                                           "80000000\r\n",
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
  for (int round = 0; round < 3000; ++round) {
    std::string raw;
    const uint32_t count = 1 + next(8);
    for (uint32_t i = 0; i < count; ++i) raw += pieces[next(static_cast<uint32_t>(pieces.size()))];
    std::vector<size_t> cuts;
    for (uint32_t i = next(4); i > 0; --i) cuts.push_back(1 + next(static_cast<uint32_t>(raw.size())));
    std::sort(cuts.begin(), cuts.end());
    SCOPED_TRACE("round " + std::to_string(round));
    const TOutcome r = Read(raw, cuts);
    EXPECT_EQ(r.Phase == TPhase::Failed, !r.Error.empty());
    EXPECT_LE(r.Body.size(), raw.size());
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace
