#pragma once
// Runs tests/net/script_server.py on 127.0.0.1 (or ::1) with an ephemeral port for the
// length of a test, and reads back the requests it received.

#include "../support/TempDir.h"
#include "NetTestUtil.h"
#include "net/Url.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace nettest {

struct TResponse {
  std::string Target;  // request target it answers, e.g. "/a/b.lst"
  std::string Raw;     // bytes sent back; "{port}" becomes the server's port
  bool Bytewise = false;
  bool Keep = false;
};

struct TRecordedRequest {
  int Connection = 0;
  std::string Raw;
};

// The address a server listens on: 127.0.0.1 unless told otherwise.
struct TOnHost {
  std::string Host = "127.0.0.1";
};

class TScriptServer {
 public:
  explicit TScriptServer(const std::vector<TResponse>& responses, TOnHost on = {})
      : host_(std::move(on.Host)) {
    const std::string script = dir_ / "script";
    {
      std::ofstream out(script, std::ios::binary);
      for (const auto& r : responses) {
        out << r.Target << ' ' << r.Raw.size() << (r.Bytewise ? " bytewise" : "") << (r.Keep ? " keep" : "")
            << '\n';
        out << r.Raw;
      }
    }
    std::ofstream(log_, std::ios::binary).close();
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe failed";
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string server = std::string(QUORVANE_SOURCE_DIR) + "/tests/net/script_server.py";
    int rc = ENOENT;
    for (const char* python : {"python3", "/usr/bin/python3"}) {
      std::vector<char*> argv = {const_cast<char*>(python),         const_cast<char*>(server.c_str()),
                                 const_cast<char*>(script.c_str()), const_cast<char*>(log_.c_str()),
                                 const_cast<char*>(host_.c_str()),  nullptr};
      rc = ::posix_spawnp(&pid_, python, &actions, nullptr, argv.data(), environ);
      if (rc == 0) break;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = TFd(in[1]);
    TFd stdoutFd(out[0]);
    if (rc != 0) {
      pid_ = -1;
      ADD_FAILURE() << "cannot start python3: " << std::strerror(rc);
      return;
    }
    // Read "PORT n" with a bound, so a broken interpreter fails the test.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{stdoutFd.Get(), POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[64];
      const auto n = ::read(stdoutFd.Get(), buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, n);
    }
    if (line.rfind("PORT ", 0) != 0) {
      ADD_FAILURE() << "the script server did not start: \"" << line << "\"";
      return;
    }
    port_ = std::atoi(line.c_str() + 5);
  }

  ~TScriptServer() {
    stdin_.Reset();  // the server ends when its input closes
    if (pid_ > 0) {
      int status = 0;
      const auto deadline = std::chrono::steady_clock::now() + Patience;
      while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
          ::kill(pid_, SIGKILL);
          ::waitpid(pid_, &status, 0);
          break;
        }
        ::usleep(1000);
      }
    }
  }

  int Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://" + HostForUrl(host_) + ":" + std::to_string(port_) + path;
  }

  std::vector<TRecordedRequest> Requests() const {
    std::ifstream in(log_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string data = ss.str();
    std::vector<TRecordedRequest> requests;
    size_t pos = 0;
    while (pos < data.size()) {
      const auto nl = data.find('\n', pos);
      if (nl == std::string::npos) break;
      TRecordedRequest r;
      size_t length = 0;
      std::sscanf(data.substr(pos, nl - pos).c_str(), "%d %zu", &r.Connection, &length);
      r.Raw = data.substr(nl + 1, length);
      pos = nl + 1 + length;
      requests.push_back(r);
    }
    return requests;
  }

  // The request line of every request, in order.
  std::vector<std::string> RequestLines() const {
    std::vector<std::string> lines;
    for (const auto& r : Requests()) lines.push_back(r.Raw.substr(0, r.Raw.find("\r\n")));
    return lines;
  }

 private:
  std::string host_;
  TTempDir dir_;
  const std::string log_ = dir_ / "log";
  pid_t pid_ = -1;
  TFd stdin_;
  int port_ = 0;
};

}  // namespace nettest
