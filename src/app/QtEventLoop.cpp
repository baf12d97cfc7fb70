#include "app/QtEventLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>
#include <cstdio>
#include <stdexcept>

TQtEventLoop::TQtEventLoop() : context_(std::make_unique<QObject>()) {}

TQtEventLoop::~TQtEventLoop() {
  // Queued invocations die with their receiver.
  watches_.clear();
  context_.reset();
}

void TQtEventLoop::Post(TTask task) {
  // invokeMethod with a queued connection posts an event: safe from any thread.
  QMetaObject::invokeMethod(
      context_.get(), [this, task = std::move(task)] { RunTask(task); }, Qt::QueuedConnection);
}

void TQtEventLoop::RunTask(const TTask& task) {
  ++ran_;
  try {
    task();
  } catch (const std::exception& e) {
    if (OnHandlerException)
      OnHandlerException(e);
    else
      std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    const std::runtime_error unknown("Unknown exception");
    if (OnHandlerException)
      OnHandlerException(unknown);
    else
      std::fprintf(stderr, "%s\n", unknown.what());
  }
}

void TQtEventLoop::Arm(TWatchEntry& entry, bool on) {
  if (entry.Read) entry.Read->setEnabled(on && (entry.Events & FdRead));
  if (entry.Write) entry.Write->setEnabled(on && (entry.Events & FdWrite));
}

void TQtEventLoop::Watch(int fd, unsigned events, TFdHandler handler) {
  auto it = watches_.find(fd);
  if (it == watches_.end()) {
    TWatchEntry entry;
    entry.Serial = nextSerial_++;
    const uint64_t serial = entry.Serial;
    // One notifier of each kind per descriptor, made once: Qt warns about a second.
    entry.Read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    entry.Write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    for (QSocketNotifier* n : {entry.Read.get(), entry.Write.get()}) {
      n->setEnabled(false);
      QObject::connect(n, &QSocketNotifier::activated, context_.get(),
                       [this, fd, serial] { Activated(fd, serial); });
    }
    it = watches_.emplace(fd, std::move(entry)).first;
  }
  it->second.Events = events;
  it->second.Handler = std::move(handler);
  Arm(it->second, true);
}

void TQtEventLoop::Unwatch(int fd) {
  auto it = watches_.find(fd);
  if (it == watches_.end()) return;
  Arm(it->second, false);
  watches_.erase(it);
}

void TQtEventLoop::Activated(int fd, uint64_t serial) {
  auto it = watches_.find(fd);
  if (it == watches_.end() || it->second.Serial != serial) return;
  // Readiness is level-triggered: quiet the notifiers until the handler has
  // run, and deliver it through the queue, in order with posted work.
  Arm(it->second, false);
  QMetaObject::invokeMethod(
      context_.get(), [this, fd, serial] { Dispatch(fd, serial); }, Qt::QueuedConnection);
}

void TQtEventLoop::Dispatch(int fd, uint64_t serial) {
  auto it = watches_.find(fd);
  if (it == watches_.end() || it->second.Serial != serial) return;
  Arm(it->second, true);
  const unsigned bits = ReadinessNow(fd, it->second.Events);
  if (bits == 0) return;
  // A copy: the handler may stop watching and so destroy the original.
  TFdHandler handler = it->second.Handler;
  RunTask([&handler, bits] { handler(bits); });
}

bool TQtEventLoop::ProcessPending() {
  const uint64_t before = ran_;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return ran_ != before;
}

bool TQtEventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const bool bounded = limit != NoLimit;
  const Clock::time_point deadline = bounded ? Clock::now() + limit : Clock::time_point::max();
  // Wakes the wait below when the limit passes.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  for (;;) {
    if (done()) return true;
    if (quitting_) return false;
    if (bounded) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return done();
      wake.start(static_cast<int>(std::min<long long>(left, 24LL * 3600 * 1000)));
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

void TQtEventLoop::Quit() {
  quitting_ = true;
  // Wakes a RunUntil that waits for events.
  QMetaObject::invokeMethod(
      context_.get(), [] {}, Qt::QueuedConnection);
}
