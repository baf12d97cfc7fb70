#include "net/WSocket.h"

#include "NetTestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netdb.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using namespace nettest;

TEST(TBuffer, WriteFillsPeekShowsUnsentRemoveRecycles) {
  TBuffer b(4);
  EXPECT_EQ(b.BufSize(), 4);
  EXPECT_EQ(b.Write("abcdef", 6), 4);
  EXPECT_EQ(b.Write("x", 1), 0) << "a full block takes nothing";
  EXPECT_EQ(b.Peek(), "abcd");
  b.Remove(1);
  EXPECT_EQ(b.Peek(), "bcd");
  EXPECT_EQ(b.Write("x", 1), 0) << "a partly sent block is never compacted";
  b.Remove(10);
  EXPECT_EQ(b.WrCount(), 0);
  EXPECT_EQ(b.RdCount(), 0);
  EXPECT_EQ(b.Write("xy", 2), 2);
  b.SetBufSize(8);
  EXPECT_EQ(b.Peek(), "xy");
  EXPECT_EQ(TBuffer(0).BufSize(), 1514);
  EXPECT_EQ(TBuffer(-3).BufSize(), 1514);
}

TEST(SocketErrors, TextsAndErrnoMapping) {
  const struct {
    int Errno, Number;
    const char* Text;
  } cases[] = {
      {ECONNREFUSED, 10061, "Connection refused"},       {ECONNRESET, 10054, "Connection reset by peer"},
      {ETIMEDOUT, 10060, "Connection timed out"},        {EWOULDBLOCK, 10035, "Operation would block"},
      {EINPROGRESS, 10036, "Operation now in progress"}, {ENOTCONN, 10057, "Socket is not connected"},
      {EINTR, 10004, "Interrupted system call"},         {EHOSTUNREACH, 10065, "No route to host"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(SocketErrorFromErrno(c.Errno), c.Number);
    EXPECT_EQ(SocketErrorText(c.Number), c.Text);
  }
  EXPECT_EQ(SocketErrorText(0), "No Error");
  EXPECT_EQ(SocketErrorText(11001), "Host not found");
  EXPECT_EQ(SocketErrorText(12345), "Not a WinSock error");
  EXPECT_EQ(SocketErrorFromLookup(EAI_NONAME, 0), 11001);
}

TEST(DottedAddress, Test) {
  const struct {
    const char* Text;
    bool Dotted;
  } cases[] = {{"1.2.3.4", true}, {"  10.0.0.1  ", true}, {"255.255.255.255", true}, {"256.1.1.1", false},
               {".1.2.3", false}, {"1.2.3", false},       {"1.2.3.4.5", false},      {"1..2.3", false},
               {"1.2.3.", false}, {"a.b.c.d", false},     {"1.2.3.4x", false},       {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(IsDottedAddress(c.Text), c.Dotted);
  }
}

struct TSocketFixture : ::testing::Test {
  TPollLoop Loop;
  TWSocket Socket{Loop};
  std::vector<std::string> Events;
  int Errors = 0;

  void Record() {
    Socket.OnDnsLookupDone = [this](TWSocket&, uint16_t e) { Events.push_back("dns " + std::to_string(e)); };
    Socket.OnSessionConnected = [this](TWSocket&, uint16_t e) {
      Events.push_back("connected " + std::to_string(e));
    };
    Socket.OnSessionClosed = [this](TWSocket&, uint16_t e) {
      Events.push_back("closed " + std::to_string(e));
    };
    Socket.OnDataSent = [this](TWSocket&, uint16_t e) { Events.push_back("sent " + std::to_string(e)); };
    Socket.OnError = [this](TWSocket&) { ++Errors; };
  }
  int Count(const std::string& event) const {
    return static_cast<int>(std::count(Events.begin(), Events.end(), event));
  }
  bool Seen(const std::string& event) const { return Count(event) > 0; }
  void WaitFor(const std::string& event) {
    ASSERT_TRUE(Loop.RunUntil([&] { return Seen(event); }, Patience)) << "no \"" << event << "\" event";
  }
  // Connects to a listener and accepts the server side of the connection.
  TFd ConnectTo(TListener& listener) {
    Socket.SetAddr("127.0.0.1");
    Socket.SetPort(listener.PortText());
    Socket.Connect();
    EXPECT_EQ(Socket.State(), TSocketState::wsConnecting);
    WaitFor("connected 0");
    return listener.Accept();
  }
  void TearDown() override { SetSocketSysCalls(saved_); }

 private:
  TSocketSysCalls saved_ = SocketSysCalls();
};

TEST_F(TSocketFixture, DnsLookupOfADottedAddressCompletesBeforeItReturns) {
  Record();
  Socket.DnsLookup(" 127.000.0.1 ");
  EXPECT_EQ(Events, (std::vector<std::string>{"dns 0"}));
  EXPECT_EQ(Socket.DnsResult(), "127.0.0.1");
  EXPECT_EQ(Socket.DnsResultList(), (std::vector<std::string>{"127.0.0.1"}));
}

TEST_F(TSocketFixture, DnsLookupOfAnIpv6LiteralCompletesBeforeItReturns) {
  Record();
  Socket.DnsLookup("::1");
  Socket.DnsLookup("[0:0::1]");
  EXPECT_EQ(Events, (std::vector<std::string>{"dns 0", "dns 0"}));
  EXPECT_EQ(Socket.DnsResultList(), (std::vector<std::string>{"::1"}));
}

TEST_F(TSocketFixture, ConnectsOverIpv6) {
  if (!HaveIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback here";
  TFd listener(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  ASSERT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener.Get(), 1), 0);
  socklen_t length = sizeof a;
  ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&a), &length);
  Record();
  Socket.SetAddr("::1");
  Socket.SetPort(std::to_string(ntohs(a.sin6_port)));
  Socket.Connect();
  WaitFor("connected 0");
  EXPECT_EQ(Socket.PeerAddr(), "::1");
  EXPECT_EQ(Socket.PeerPort(), std::to_string(ntohs(a.sin6_port)));
}

TEST_F(TSocketFixture, LookupsGiveEveryAddressFamily) {
  Record();
  Socket.DnsLookup("localhost");
  WaitFor("dns 0");
  const auto& list = Socket.DnsResultList();
  EXPECT_NE(std::find(list.begin(), list.end(), "127.0.0.1"), list.end()) << "IPv4 as well as IPv6";
}

TEST_F(TSocketFixture, DnsLookupOfAnEmptyHost) {
  Record();
  Socket.DnsLookup("");
  EXPECT_EQ(Errors, 1);
  EXPECT_EQ(Events, (std::vector<std::string>{"dns 10022"}));
  TWSocket raising(Loop);
  EXPECT_THROW(
      {
        try {
          raising.DnsLookup("");
        } catch (const ESocketException& e) {
          EXPECT_STREQ(e.what(), "DNS lookup: invalid host name.");
          throw;
        }
      },
      ESocketException);
}

TEST_F(TSocketFixture, DnsLookupOfANameRunsAsynchronously) {
  Record();
  Socket.DnsLookup("localhost");
  WaitFor("dns 0");
  // Either loopback: with IPv6 the resolver may put ::1 first.
  EXPECT_TRUE(Socket.DnsResult() == "127.0.0.1" || Socket.DnsResult() == "::1") << Socket.DnsResult();
  EXPECT_EQ(Socket.DnsResult(), Socket.DnsResultList().front());
}

TEST_F(TSocketFixture, DnsLookupOfAnUnknownNameFails) {
  Record();
  Socket.DnsLookup("no-such-host.invalid");
  ASSERT_TRUE(Loop.RunUntil([&] { return !Events.empty(); }, Patience)) << "lookup never completed";
  ASSERT_EQ(Events.size(), 1u);
  EXPECT_NE(Events[0], "dns 0");
  EXPECT_TRUE(Socket.DnsResult().empty());
}

// A lookup held in getaddrinfo until the test lets it go.
struct TGate {
  std::mutex Mutex;
  std::condition_variable Cv;
  bool Open = false;
  std::atomic<bool> Returned{false};
};
TGate* gate = nullptr;

TEST_F(TSocketFixture, CancellingALookupGives10004AndDropsTheLateResult) {
  TGate g;
  gate = &g;
  TSocketSysCalls calls = SocketSysCalls();
  calls.GetAddrInfo = [](const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    {
      std::unique_lock<std::mutex> lock(gate->Mutex);
      gate->Cv.wait(lock, [] { return gate->Open; });
    }
    const int rc = ::getaddrinfo(node, service, hints, result);
    gate->Returned = true;
    return rc;
  };
  SetSocketSysCalls(calls);
  Record();
  Socket.DnsLookup("localhost");
  EXPECT_TRUE(Events.empty());
  Socket.CancelDnsLookup();
  EXPECT_EQ(Events, (std::vector<std::string>{"dns 10004"}));
  {
    std::lock_guard<std::mutex> lock(g.Mutex);
    g.Open = true;
  }
  g.Cv.notify_all();
  // The lookup thread posts nothing that could wake the loop, so wait here.
  const auto deadline = std::chrono::steady_clock::now() + Patience;
  while (!g.Returned && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(g.Returned) << "the held lookup never returned";
  Loop.RunUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_EQ(Events, (std::vector<std::string>{"dns 10004"})) << "a cancelled lookup's result must be dropped";
  Socket.CancelDnsLookup();
  EXPECT_EQ(Events.size(), 1u) << "nothing to cancel";
}

TEST_F(TSocketFixture, RefusedConnection) {
  Record();
  Socket.SetAddr("127.0.0.1");
  Socket.SetPort(std::to_string(FreePort()));
  Socket.Connect();
  ASSERT_TRUE(Loop.RunUntil([&] { return Seen("closed 0"); }, Patience))
      << "no close after a refused connect";
  EXPECT_EQ(Events, (std::vector<std::string>{"connected 10061", "closed 0"}));
  EXPECT_EQ(Socket.State(), TSocketState::wsClosed);
}

TEST_F(TSocketFixture, ConnectRefusals) {
  Record();
  Socket.Connect();
  EXPECT_EQ(Errors, 1);
  TWSocket raising(Loop);
  const struct {
    const char* Addr;
    const char* Port;
    const char* Message;
  } cases[] = {
      {"127.0.0.1", "", "Connect: No Port Specified"},
      {"", "80", "Connect: No IP Address Specified"},
      {"999.1.1.1", "80", "connect: WSocketResolveHost: '999.1.1.1' Invalid IP address."},
      {"127.0.0.1", "99999", "connect: WSocketResolvePort: Cannot convert port '99999', Error #10022"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message);
    raising.SetAddr(c.Addr);
    raising.SetPort(c.Port);
    try {
      raising.Connect();
      ADD_FAILURE() << "no exception";
    } catch (const ESocketException& e) {
      EXPECT_EQ(std::string(e.what()), c.Message);
    }
    EXPECT_EQ(raising.State(), TSocketState::wsClosed);
  }
}

TEST_F(TSocketFixture, SendOnAClosedSocket) {
  Record();
  EXPECT_EQ(Socket.Send("x", 1), -1);
  EXPECT_EQ(Errors, 1);
  EXPECT_EQ(Socket.LastError(), 10057);
  TWSocket raising(Loop);
  try {
    raising.Send("x", 1);
    ADD_FAILURE() << "no exception";
  } catch (const ESocketException& e) {
    EXPECT_EQ(std::string(e.what()), "Error 10057 in function Send\r\nSocket is not connected");
  }
}

TEST_F(TSocketFixture, ASendTakenWholeGivesExactlyOneOnDataSentAfterTheCaller) {
  Record();
  TListener listener;
  TFd server = ConnectTo(listener);
  EXPECT_EQ(Socket.PeerAddr(), "127.0.0.1");
  EXPECT_EQ(Socket.PeerPort(), listener.PortText());
  EXPECT_EQ(Socket.SendText("hello"), 5);
  EXPECT_EQ(Count("sent 0"), 0) << "OnDataSent must wait for the current handler to return";
  WaitFor("sent 0");
  for (int i = 0; i < 5; ++i) Loop.ProcessPending();
  EXPECT_EQ(Count("sent 0"), 1);
  EXPECT_EQ(ReadAll(server.Get(), 5), "hello");
}

TEST_F(TSocketFixture, DataThatComesWithThePeersCloseArrivesFirstAndCloseIsReportedOnce) {
  Record();
  TListener listener;
  TFd server = ConnectTo(listener);
  std::string got;
  Socket.OnDataAvailable = [&](TWSocket& s, uint16_t) {
    char buf[3];  // small reads: the receive loop must go round
    const int n = s.Receive(buf, sizeof buf);
    if (n > 0) {
      got.append(buf, n);
      Events.push_back("data");
    }
  };
  const std::string payload = "the last words";
  ASSERT_EQ(::send(server.Get(), payload.data(), payload.size(), 0), static_cast<ssize_t>(payload.size()));
  server.Reset();
  WaitFor("closed 0");
  EXPECT_EQ(got, payload);
  EXPECT_EQ(Events.back(), "closed 0");
  EXPECT_EQ(Socket.State(), TSocketState::wsClosed);
  Socket.Close();
  for (int i = 0; i < 5; ++i) Loop.ProcessPending();
  EXPECT_EQ(Count("closed 0"), 1);
}

TEST_F(TSocketFixture, CloseByTheProgramIsReportedOnceAndRestoresDefaults) {
  Record();
  TListener listener;
  TFd server = ConnectTo(listener);
  Socket.SetAddr("10.0.0.1");
  EXPECT_EQ(Errors, 1) << "Cannot change Addr if not closed";
  EXPECT_EQ(Socket.Addr(), "127.0.0.1");
  Socket.SetProto("tcp");
  EXPECT_EQ(Errors, 1) << "the same value is no change";
  Socket.CloseLater();
  EXPECT_EQ(Socket.State(), TSocketState::wsConnected) << "CloseLater waits for the queue";
  WaitFor("closed 0");
  EXPECT_EQ(Socket.Addr(), "");
  EXPECT_EQ(Socket.Port(), "");
  EXPECT_EQ(Socket.LocalAddr(), "0.0.0.0");
  Socket.Close();
  Socket.Abort();
  EXPECT_EQ(Count("closed 0"), 1);
  EXPECT_EQ(ReadAll(server.Get(), 1), "") << "the peer sees an orderly close";
}

TEST_F(TSocketFixture, SetAddrOnAConnectedSocketRaisesWithoutOnError) {
  TListener listener;
  Socket.OnSessionConnected = [&](TWSocket&, uint16_t) { Events.push_back("connected 0"); };
  TFd server = ConnectTo(listener);
  try {
    Socket.SetAddr("10.0.0.1");
    ADD_FAILURE() << "no exception";
  } catch (const ESocketException& e) {
    EXPECT_STREQ(e.what(), "Cannot change Addr if not closed");
  }
}

// A socket that goes away while open closes its descriptor; a close that
// fails then has no one to report to and must not end the program.
TEST_F(TSocketFixture, DestroyingAnOpenSocketWhoseCloseFailsDoesNotThrow) {
  TSocketSysCalls calls = SocketSysCalls();
  calls.Close = [](int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
  };
  SetSocketSysCalls(calls);
  TListener listener;
  auto socket = std::make_unique<TWSocket>(Loop);
  socket->SetAddr("127.0.0.1");
  socket->SetPort(listener.PortText());
  socket->Connect();
  ASSERT_NE(socket->State(), TSocketState::wsClosed);
  EXPECT_NO_THROW(socket.reset());
}

// Short writes and EINTR injected into send(): everything still arrives, in
// order, and the queue drains with one OnDataSent.
std::atomic<int> sendCalls{0};

TEST_F(TSocketFixture, ShortWritesAndInterruptedSendsStillDeliverEverything) {
  TSocketSysCalls calls = SocketSysCalls();
  calls.Send = [](int fd, const void* data, size_t length, int flags) -> ssize_t {
    const int call = sendCalls++;
    if (call % 3 == 1) {
      errno = EINTR;
      return -1;
    }
    if (call % 3 == 2) {
      errno = EWOULDBLOCK;
      return -1;
    }
    return ::send(fd, data, std::min<size_t>(length, 1000), flags);
  };
  SetSocketSysCalls(calls);
  Record();
  int64_t reported = 0;
  Socket.OnSendData = [&](TWSocket&, int n) { reported += n; };
  TListener listener;
  TFd server = ConnectTo(listener);
  ::fcntl(server.Get(), F_SETFL, O_NONBLOCK);
  std::string payload;
  for (int i = 0; i < 50000; ++i) payload += static_cast<char>('a' + i % 26);
  EXPECT_EQ(Socket.Send(payload.data(), 20000), 20000);
  EXPECT_EQ(Socket.Send(payload.data() + 20000, 30000), 30000);
  std::string got;
  auto drain = [&] {
    char buf[8192];
    ssize_t n;
    while ((n = ::recv(server.Get(), buf, sizeof buf, 0)) > 0) got.append(buf, n);
    return got.size() == payload.size() && Seen("sent 0");
  };
  ASSERT_TRUE(Loop.RunUntil(drain, Patience)) << "received " << got.size() << " of " << payload.size();
  EXPECT_EQ(got, payload);
  EXPECT_EQ(reported, static_cast<int64_t>(payload.size()));
  EXPECT_EQ(Count("sent 0"), 1);
}

TEST_F(TSocketFixture, AResetWhileSendingClosesWith10054) {
  TSocketSysCalls calls = SocketSysCalls();
  calls.Send = [](int, const void*, size_t, int) -> ssize_t {
    errno = ECONNRESET;
    return -1;
  };
  Record();
  TListener listener;
  TFd server = ConnectTo(listener);
  SetSocketSysCalls(calls);
  Socket.SendText("x");
  EXPECT_EQ(Socket.State(), TSocketState::wsClosed);
  for (int i = 0; i < 5; ++i) Loop.ProcessPending();
  EXPECT_EQ(Count("closed 10054"), 1);
  EXPECT_EQ(Count("closed 0"), 0);
  EXPECT_EQ(Count("sent 0"), 0);
}

TEST_F(TSocketFixture, AnExceptionFromAHandlerGoesToOnBgExceptionAndAborts) {
  Record();
  std::string message;
  Socket.OnBgException = [&](TWSocket&, const std::exception& e, bool& canClose) {
    message = e.what();
    EXPECT_TRUE(canClose);
  };
  Socket.OnDataSent = [](TWSocket&, uint16_t) { throw std::runtime_error("handler failed"); };
  TListener listener;
  TFd server = ConnectTo(listener);
  Socket.SendText("x");
  ASSERT_TRUE(Loop.RunUntil([&] { return !message.empty(); }, Patience));
  EXPECT_EQ(message, "handler failed");
  EXPECT_EQ(Socket.State(), TSocketState::wsClosed);
}

TEST_F(TSocketFixture, LineModeDeliversOneLineAtATime) {
  Record();
  Socket.SetLineMode(true);
  std::vector<std::string> lines;
  Socket.OnDataAvailable = [&](TWSocket& s, uint16_t) { lines.push_back(s.ReceiveText()); };
  TListener listener;
  TFd server = ConnectTo(listener);
  const std::string text = "ab\r\ncd\r\nef";
  ASSERT_EQ(::send(server.Get(), text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  server.Reset();
  WaitFor("closed 0");
  EXPECT_EQ(lines, (std::vector<std::string>{"ab\r\n", "cd\r\n", "ef"}));
}

TEST_F(TSocketFixture, LineEditAndEcho) {
  Record();
  Socket.SetLineMode(true);
  Socket.LineEdit = true;
  Socket.LineEcho = true;
  std::vector<std::string> lines;
  Socket.OnDataAvailable = [&](TWSocket& s, uint16_t) { lines.push_back(s.ReceiveText()); };
  TListener listener;
  TFd server = ConnectTo(listener);
  const std::string typed = "ab\bc\td\r\n";
  ASSERT_EQ(::send(server.Get(), typed.data(), typed.size(), 0), static_cast<ssize_t>(typed.size()));
  ASSERT_TRUE(Loop.RunUntil([&] { return !lines.empty(); }, Patience));
  EXPECT_EQ(lines, (std::vector<std::string>{"ac      d\r\n"}));
  EXPECT_EQ(ReadAll(server.Get(), typed.size()), typed) << "LineEcho sends back what came";
}

TEST_F(TSocketFixture, SwitchingLineModeOffDeliversWhatWasCollected) {
  Record();
  Socket.SetLineMode(true);
  std::string got;
  Socket.OnDataAvailable = [&](TWSocket& s, uint16_t) { got += s.ReceiveText(); };
  TListener listener;
  TFd server = ConnectTo(listener);
  const std::string text = "one\r\npartial";
  ASSERT_EQ(::send(server.Get(), text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  ASSERT_TRUE(Loop.RunUntil([&] { return got == "one\r\n"; }, Patience)) << got;
  Socket.SetLineMode(false);
  ASSERT_TRUE(Loop.RunUntil([&] { return got == "one\r\npartial"; }, Patience)) << got;
}

TEST_F(TSocketFixture, LineLimit) {
  Record();
  Socket.SetLineMode(true);
  Socket.LineLimit = 4;
  int exceeded = 0;
  Socket.OnLineLimitExceeded = [&](TWSocket&, int count, bool& clearData) {
    ++exceeded;
    EXPECT_GT(count, 4);
    EXPECT_TRUE(clearData);
  };
  std::vector<std::string> lines;
  Socket.OnDataAvailable = [&](TWSocket& s, uint16_t) { lines.push_back(s.ReceiveText()); };
  TListener listener;
  TFd server = ConnectTo(listener);
  ASSERT_EQ(::send(server.Get(), "abcdefgh", 8, 0), 8);
  ASSERT_TRUE(Loop.RunUntil([&] { return exceeded > 0; }, Patience));
  ASSERT_EQ(::send(server.Get(), "xy\r\n", 4, 0), 4);
  ASSERT_TRUE(Loop.RunUntil([&] { return !lines.empty(); }, Patience));
  EXPECT_EQ(lines, (std::vector<std::string>{"xy\r\n"})) << "the overlong bytes were thrown away";
}

}  // namespace
