#pragma once
// Helpers shared by the network tests: a bounded wait and a plain blocking
// loopback listener the test drives by hand.

#include "net/PollLoop.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <chrono>
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

}  // namespace nettest
