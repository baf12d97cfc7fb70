#include "net/PollLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

TPollLoop::TPollLoop() {
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
}

TPollLoop::~TPollLoop() {
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void TPollLoop::Post(TTask task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  Wake();
}

void TPollLoop::Wake() {
  const uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can go wrong here.
  [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
}

void TPollLoop::DrainWake() {
  uint64_t count;
  [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
}

void TPollLoop::Watch(int fd, unsigned events, TFdHandler handler) {
  auto it = watches_.find(fd);
  if (it == watches_.end()) {
    TWatchEntry entry;
    entry.Serial = nextSerial_++;
    it = watches_.emplace(fd, std::move(entry)).first;
  }
  it->second.Events = events;
  it->second.Handler = std::move(handler);
}

void TPollLoop::Unwatch(int fd) { watches_.erase(fd); }

void TPollLoop::PollWatches(int timeoutMs) {
  std::vector<pollfd> fds;
  std::vector<uint64_t> serials;
  fds.push_back({wakeFd_, POLLIN, 0});
  serials.push_back(0);
  for (const auto& [fd, entry] : watches_) {
    if (entry.Queued || PollMask(entry.Events) == 0) continue;
    fds.push_back({fd, PollMask(entry.Events), 0});
    serials.push_back(entry.Serial);
  }
  const int n = ::poll(fds.data(), fds.size(), timeoutMs);
  if (n <= 0) return;
  if (fds[0].revents & POLLIN) DrainWake();
  for (size_t i = 1; i < fds.size(); ++i) {
    if (fds[i].revents == 0) continue;
    auto it = watches_.find(fds[i].fd);
    if (it == watches_.end() || it->second.Serial != serials[i]) continue;
    it->second.Queued = true;
    const int fd = fds[i].fd;
    const uint64_t serial = serials[i];
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back([this, fd, serial] { Dispatch(fd, serial); });
  }
}

void TPollLoop::Dispatch(int fd, uint64_t serial) {
  auto it = watches_.find(fd);
  if (it == watches_.end() || it->second.Serial != serial) return;
  it->second.Queued = false;
  const unsigned bits = ReadinessNow(fd, it->second.Events);
  if (bits == 0) return;
  // A copy: the handler may stop watching and so destroy the original.
  TFdHandler handler = it->second.Handler;
  handler(bits);
}

bool TPollLoop::RunTask(TTask& task) {
  try {
    task();
  } catch (const std::exception& e) {
    if (OnHandlerException)
      OnHandlerException(e.what());
    else
      std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    if (OnHandlerException)
      OnHandlerException("Unknown exception");
    else
      std::fprintf(stderr, "Unknown exception\n");
  }
  return true;
}

bool TPollLoop::ProcessPending() {
  PollWatches(0);
  size_t count;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count = tasks_.size();
  }
  bool ran = false;
  for (size_t i = 0; i < count; ++i) {
    TTask task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) break;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    ran = RunTask(task);
  }
  return ran;
}

bool TPollLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const bool bounded = limit != NoLimit;
  const Clock::time_point deadline = bounded ? Clock::now() + limit : Clock::time_point::max();
  for (;;) {
    if (done()) return true;
    if (quitting_) return false;
    if (bounded && Clock::now() >= deadline) return false;
    if (ProcessPending()) continue;
    if (done()) return true;
    int timeoutMs = -1;
    if (bounded) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return done();
      timeoutMs = static_cast<int>(std::min<long long>(left, 1000 * 1000));
    }
    {
      // Work posted between ProcessPending and here must not wait for the timeout.
      std::lock_guard<std::mutex> lock(mutex_);
      if (!tasks_.empty()) continue;
    }
    PollWatches(timeoutMs);
  }
}
