#pragma once
// The one-thread event loop the network layer runs on: a first-in first-out
// queue of posted work plus readiness watches on file descriptors. The CLI and
// the tests use TPollLoop; the desktop program adapts its own loop to this.

#include <chrono>
#include <functional>

class TEventLoop {
 public:
  using TTask = std::function<void()>;
  // Readiness bits handed to a watch handler.
  enum : unsigned { FdRead = 1, FdWrite = 2, FdError = 4, FdHangup = 8, FdPeerClosed = 16 };
  // Receives the readiness that holds when the handler runs (never 0).
  using TFdHandler = std::function<void(unsigned events)>;

  virtual ~TEventLoop() = default;

  // Queues work to run on the loop's thread after everything posted before.
  // Safe to call from any thread.
  virtual void Post(TTask task) = 0;
  // Starts (or changes) the watch of fd for FdRead and/or FdWrite. Readiness
  // is delivered through the same queue as posted work.
  virtual void Watch(int fd, unsigned events, TFdHandler handler) = 0;
  virtual void Unwatch(int fd) = 0;
  // Runs the work that is pending now, without blocking; re-entrant, so a
  // handler may pump the loop from inside itself. True when anything ran.
  virtual bool ProcessPending() = 0;
  // Runs the loop until done() holds (true), the limit passes or Quit() was
  // called (false).
  virtual bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) = 0;
  // Asks every RunUntil to stop waiting; the application is ending.
  virtual void Quit() = 0;
  virtual bool Quitting() const = 0;

  static constexpr std::chrono::milliseconds NoLimit = std::chrono::milliseconds::max();
};

// poll() flags for TEventLoop::FdRead/FdWrite, and the readiness bits for poll()'s answer.
short PollMask(unsigned events);
unsigned EventBits(short revents);
// The readiness bits of events that hold on fd right now; 0 when none does.
// Loops check again just before a handler runs: an earlier handler may have
// drained the socket since the readiness was seen.
unsigned ReadinessNow(int fd, unsigned events);
