#pragma once
// The progress line of a hashing run (create, verify) on stderr, with Ctrl-C
// as its "Abort".

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>

#include "create/Progress.h"

// While it lives, Ctrl-C sets the flag that TCliProgress reports as its abort.
class TInterruptGuard {
 public:
  TInterruptGuard();
  ~TInterruptGuard();
  TInterruptGuard(const TInterruptGuard&) = delete;
  TInterruptGuard& operator=(const TInterruptGuard&) = delete;

 private:
  struct sigaction previous_ {};
};

// True once Ctrl-C was pressed under a TInterruptGuard.
bool Interrupted();

class TCliProgress : public TNullProgress {
 public:
  // The run's size comes through SetRunSize before its first piece.
  explicit TCliProgress(bool show) : show_(show) {}

  void Show() override;
  void FileStarted(int64_t index, const std::string& name) override;
  void SetOverallPosition(int64_t position) override;
  void SetFinishedEnabled(bool enabled) override;
  void ProcessEvents() override {}

  bool IsAborted() const override { return Interrupted(); }
  // Clearing at the start of the command must not lose a Ctrl-C already pressed.
  void SetAborted(bool aborted) override;

  void ClearLine();

 private:
  void Draw();

  bool show_;
  std::chrono::steady_clock::time_point start_{};
  std::chrono::steady_clock::time_point lastDraw_{};
  bool drawn_ = false;
};
