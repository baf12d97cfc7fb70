#pragma once
// The network layer's event loop on Qt's own: readiness through
// QSocketNotifier, posted work as queued invocations, pumping through
// QCoreApplication::processEvents. So a download runs while the window
// keeps answering.

#include <QObject>
#include <QSocketNotifier>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>

#include "net/EventLoop.h"

class TQtEventLoop : public TEventLoop {
 public:
  TQtEventLoop();
  ~TQtEventLoop() override;
  TQtEventLoop(const TQtEventLoop&) = delete;
  TQtEventLoop& operator=(const TQtEventLoop&) = delete;

  void Post(TTask task) override;
  void Watch(int fd, unsigned events, TFdHandler handler) override;
  void Unwatch(int fd) override;
  bool ProcessPending() override;
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) override;
  void Quit() override;
  bool Quitting() const override { return quitting_; }

  // Where an exception that a task or handler lets escape goes (the general
  // error report); without one its message goes to stderr. The loop goes on.
  std::function<void(const std::exception&)> OnHandlerException;

 private:
  struct TWatchEntry {
    unsigned Events = 0;
    TFdHandler Handler;
    uint64_t Serial = 0;
    std::unique_ptr<QSocketNotifier> Read, Write;
  };

  void Activated(int fd, uint64_t serial);
  void Dispatch(int fd, uint64_t serial);
  void RunTask(const TTask& task);
  void Arm(TWatchEntry& entry, bool on);

  // Receives the queued invocations; lives on the thread that made the loop.
  std::unique_ptr<QObject> context_;
  std::map<int, TWatchEntry> watches_;
  uint64_t nextSerial_ = 1;
  std::atomic<uint64_t> ran_{0};
  std::atomic<bool> quitting_{false};
};
