#include "trackers/LoopTimer.h"

#include <sys/timerfd.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

TLoopTimer::TLoopTimer(TEventLoop& loop) : loop_(loop) {
  fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error(std::string("timerfd_create: ") + std::strerror(errno));
}

TLoopTimer::~TLoopTimer() {
  Stop();
  ::close(fd_);
}

void TLoopTimer::Start(std::chrono::milliseconds after, std::function<void()> fired) {
  Stop();
  const long long ms = after.count() > 0 ? after.count() : 1;  // 0 would disarm it
  itimerspec spec{};
  spec.it_value.tv_sec = static_cast<time_t>(ms / 1000);
  spec.it_value.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  if (::timerfd_settime(fd_, 0, &spec, nullptr) != 0)
    throw std::runtime_error(std::string("timerfd_settime: ") + std::strerror(errno));
  fired_ = std::move(fired);
  active_ = true;
  loop_.Watch(fd_, TEventLoop::FdRead, [this](unsigned) { Expired(); });
}

void TLoopTimer::Stop() {
  if (!active_) return;
  active_ = false;
  loop_.Unwatch(fd_);
  itimerspec off{};
  ::timerfd_settime(fd_, 0, &off, nullptr);
  uint64_t expirations;
  [[maybe_unused]] auto n = ::read(fd_, &expirations, sizeof expirations);
  fired_ = nullptr;
}

void TLoopTimer::Expired() {
  if (!active_) return;
  // The handler may start the timer again or destroy its owner: take it first.
  std::function<void()> fired = std::move(fired_);
  Stop();
  if (fired) fired();
}
