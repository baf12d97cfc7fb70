#pragma once
// A loopback HTTP server for the list tests: answers GETs from a table of
// routes on a thread of its own, and counts what it was asked.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TListServer {
 public:
  struct TRoute {
    int Status = 200;
    std::string Body;
    std::string Location;  // for redirections
    bool Silent = false;   // read the request, never answer
    std::string Raw;       // when set: these bytes instead of a made-up response
    // After the response: these bytes again and again, until the client goes
    // or FloodBytes were sent (a hostile server, bounded).
    std::string Flood;
    size_t FloodBytes = 0;
  };

  TListServer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_, 16) != 0)
      throw std::runtime_error("list server: cannot listen");
    socklen_t len = sizeof addr;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TListServer() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
    for (int fd : silent_) ::close(fd);
  }

  void Route(const std::string& path, TRoute route) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = std::move(route);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int Hits(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return hits_[path];
  }
  // Bytes of a route's flood sent before the client went away.
  size_t FloodSent(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return flooded_[path];
  }
  int TotalHits() {
    std::lock_guard<std::mutex> lock(mutex_);
    int total = 0;
    for (const auto& [path, n] : hits_) total += n;
    return total;
  }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      Answer(fd);
    }
  }

  void Answer(int fd) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) break;
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    const size_t sp1 = request.find(' ');
    const size_t sp2 = sp1 == std::string::npos ? sp1 : request.find(' ', sp1 + 1);
    const std::string path = sp2 == std::string::npos ? "" : request.substr(sp1 + 1, sp2 - sp1 - 1);
    TRoute route;
    bool known;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++hits_[path];
      auto it = routes_.find(path);
      known = it != routes_.end();
      if (known) route = it->second;
    }
    if (!known) route = {.Status = 404, .Body = "<html>Not Found</html>", .Location = "", .Silent = false};
    if (route.Silent) {
      silent_.push_back(fd);
      return;
    }
    std::string response = route.Raw;
    if (response.empty()) {
      response = "HTTP/1.0 " + std::to_string(route.Status) + " Whatever\r\n";
      if (!route.Location.empty()) response += "Location: " + route.Location + "\r\n";
      response +=
          "Content-Type: text/plain\r\nContent-Length: " + std::to_string(route.Body.size()) + "\r\n\r\n";
      response += route.Body;
    }
    size_t sent = 0;
    while (sent < response.size()) {
      const ssize_t n = ::send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    size_t flooded = 0;
    while (!route.Flood.empty() && flooded < route.FloodBytes && !stop_) {
      const ssize_t n = ::send(fd, route.Flood.data(), route.Flood.size(), MSG_NOSIGNAL);
      if (n <= 0) break;
      flooded += static_cast<size_t>(n);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      flooded_[path] += flooded;
    }
    ::shutdown(fd, SHUT_WR);
    // Let the client read everything before the socket goes away.
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 2000) > 0 && ::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
  }

  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, TRoute> routes_;
  std::map<std::string, int> hits_;
  std::map<std::string, size_t> flooded_;
  std::vector<int> silent_;
};
