#pragma once
// A one-shot timer on the event loop: a timerfd watched for reading, so a
// stalled download is given up on the loop's own thread, in the program and
// in the command line alike.

#include <chrono>
#include <functional>

#include "net/EventLoop.h"

class TLoopTimer {
 public:
  explicit TLoopTimer(TEventLoop& loop);
  ~TLoopTimer();
  TLoopTimer(const TLoopTimer&) = delete;
  TLoopTimer& operator=(const TLoopTimer&) = delete;

  // (Re)arms the timer; fired runs once on the loop when it expires.
  void Start(std::chrono::milliseconds after, std::function<void()> fired);
  void Stop();
  bool Active() const { return active_; }

 private:
  void Expired();

  TEventLoop& loop_;
  int fd_ = -1;
  bool active_ = false;
  std::function<void()> fired_;
};
