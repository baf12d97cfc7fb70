#pragma once
// Helpers shared by the network tests: a bounded wait and a plain blocking
// loopback listener the test drives by hand.

#include "net/PollLoop.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace nettest {

// Generous: only a broken component ever waits this long.
constexpr std::chrono::milliseconds Patience = std::chrono::seconds(30);

class TFd {
 public:
  explicit TFd(int fd = -1) : fd_(fd) {}
  ~TFd() { Reset(); }
  TFd(TFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TFd& operator=(TFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  int Get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// A listening socket on 127.0.0.1 with an ephemeral port.
class TListener {
 public:
  TListener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(fd_.Get(), 8), 0);
    socklen_t length = sizeof a;
    ::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
  }
  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  // Blocks; call it once the client's connect has completed.
  TFd Accept() { return TFd(::accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC)); }
  void Close() { fd_.Reset(); }

 private:
  TFd fd_;
  int port_ = 0;
};

// A port where nothing listens (bound once, then released).
inline int FreePort() {
  TListener l;
  return l.Port();
}

inline std::string ReadAll(int fd, size_t count) {
  std::string got;
  char buf[65536];
  while (got.size() < count) {
    const auto n = ::recv(fd, buf, std::min(sizeof buf, count - got.size()), 0);
    if (n <= 0) break;
    got.append(buf, n);
  }
  return got;
}

// True when ::1 can be bound here; the IPv6 cases skip themselves otherwise.
inline bool HaveIpv6Loopback() {
  TFd fd(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.Get() < 0) return false;
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  return ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

// A name lookup that hangs until the test lets it go: install Call as the
// socket layer's GetAddrInfo. A released lookup fails with "host not found".
struct THeldLookups {
  static int Call(const char*, const char*, const addrinfo*, addrinfo** result) {
    TState& s = State();
    std::unique_lock<std::mutex> lock(s.Mutex);
    ++s.Entered;
    s.Cv.notify_all();
    s.Cv.wait(lock, [&s] { return s.Open; });
    *result = nullptr;
    ++s.Returned;
    s.Cv.notify_all();
    return EAI_NONAME;
  }
  static void Hold() {
    std::lock_guard<std::mutex> lock(State().Mutex);
    State().Open = false;
    State().Entered = State().Returned = 0;
  }
  static void Release() {
    std::lock_guard<std::mutex> lock(State().Mutex);
    State().Open = true;
    State().Cv.notify_all();
  }
  static bool WaitEntered(int count) {
    std::unique_lock<std::mutex> lock(State().Mutex);
    return State().Cv.wait_for(lock, Patience, [count] { return State().Entered >= count; });
  }
  static bool WaitReturned(int count) {
    std::unique_lock<std::mutex> lock(State().Mutex);
    return State().Cv.wait_for(lock, Patience, [count] { return State().Returned >= count; });
  }
  static int Returned() {
    std::lock_guard<std::mutex> lock(State().Mutex);
    return State().Returned;
  }

 private:
  struct TState {
    std::mutex Mutex;
    std::condition_variable Cv;
    bool Open = false;
    int Entered = 0, Returned = 0;
  };
  // Never destroyed: a held lookup may still wait on it when the process ends,
  // and destroying a condition variable with waiters blocks.
  static TState& State() {
    static TState* state = new TState;
    return *state;
  }
};

}  // namespace nettest
