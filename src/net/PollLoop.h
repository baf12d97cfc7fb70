#pragma once
// TEventLoop on poll(), woken through an eventfd when another thread posts.

#include "net/EventLoop.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

class TPollLoop : public TEventLoop {
 public:
  TPollLoop();
  ~TPollLoop() override;
  TPollLoop(const TPollLoop&) = delete;
  TPollLoop& operator=(const TPollLoop&) = delete;

  void Post(TTask task) override;
  void Watch(int fd, unsigned events, TFdHandler handler) override;
  void Unwatch(int fd) override;
  bool ProcessPending() override;
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) override;
  void Quit() override {
    quitting_ = true;
    Wake();
  }
  bool Quitting() const override { return quitting_; }

  // What happens to an exception a handler lets escape: by default its
  // message goes to stderr and the loop goes on.
  std::function<void(const std::string& message)> OnHandlerException;

 private:
  struct TWatchEntry {
    unsigned Events = 0;
    TFdHandler Handler;
    uint64_t Serial = 0;
    bool Queued = false;  // a readiness task for it is in the queue
  };

  void Wake();
  void DrainWake();
  // Polls the watches (timeout in ms, -1 = forever) and queues readiness tasks.
  void PollWatches(int timeoutMs);
  void Dispatch(int fd, uint64_t serial);
  bool RunTask(TTask& task);

  int wakeFd_ = -1;
  std::mutex mutex_;
  std::deque<TTask> tasks_;
  std::map<int, TWatchEntry> watches_;
  uint64_t nextSerial_ = 1;
  std::atomic<bool> quitting_{false};
};
