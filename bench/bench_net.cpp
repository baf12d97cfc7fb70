// Throughput of the HTTP client on loopback: a server thread answers each
// request with a body of the given size; the client downloads it with Get.

#include "base/Stream.h"
#include "net/HttpProt.h"
#include "net/PollLoop.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

namespace {

class TBodyServer {
 public:
  TBodyServer(size_t bodySize, bool chunked) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 16);
    socklen_t length = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    std::string body(bodySize, 'x');
    if (chunked) {
      response_ = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
      for (size_t pos = 0; pos < body.size(); pos += 4096) {
        const size_t n = std::min<size_t>(4096, body.size() - pos);
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", n);
        response_ += size + body.substr(pos, n) + "\r\n";
      }
      response_ += "0\r\n\r\n";
    } else {
      response_ = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~TBodyServer() {
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    thread_.join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/body"; }

 private:
  void Serve() {
    for (;;) {
      const int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      std::string request;
      char buf[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const auto n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, n);
      }
      size_t sent = 0;
      while (sent < response_.size()) {
        const auto n = ::send(c, response_.data() + sent, response_.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += n;
      }
      ::close(c);
    }
  }
  int fd_ = -1;
  int port_ = 0;
  std::string response_;
  std::thread thread_;
};

void Download(benchmark::State& state, bool chunked) {
  const size_t size = static_cast<size_t>(state.range(0));
  TBodyServer server(size, chunked);
  TPollLoop loop;
  THttpCli cli(loop);
  cli.URL = server.Url();
  for (auto _ : state) {
    TMemoryStream body;
    cli.ReceiveStream = &body;
    cli.Get();
    if (body.Size() != static_cast<int64_t>(size)) state.SkipWithError("short body");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

void BM_HttpGetContentLength(benchmark::State& state) { Download(state, false); }
void BM_HttpGetChunked(benchmark::State& state) { Download(state, true); }

void BM_SplitUrl(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(SplitUrl("http://user:pw@tracker.example.org:6969/list/trackers.lst?x=1"));
}

}  // namespace

BENCHMARK(BM_HttpGetContentLength)->Arg(64 << 10)->Arg(8 << 20);
BENCHMARK(BM_HttpGetChunked)->Arg(64 << 10)->Arg(8 << 20);
BENCHMARK(BM_SplitUrl);
