#include "cli/ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/Terminal.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

}  // namespace

TInterruptGuard::TInterruptGuard() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previous_);
}

TInterruptGuard::~TInterruptGuard() { ::sigaction(SIGINT, &previous_, nullptr); }

bool Interrupted() { return interrupted != 0; }

void TCliProgress::Show() {
  TNullProgress::Show();
  FileIndex = -1;
  FileName.clear();
  start_ = std::chrono::steady_clock::now();
  lastDraw_ = {};
}

void TCliProgress::FileStarted(int64_t index, const std::string& name) {
  TNullProgress::FileStarted(index, name);
  Draw();
}

void TCliProgress::SetOverallPosition(int64_t position) {
  TNullProgress::SetOverallPosition(position);
  Draw();
}

void TCliProgress::SetFinishedEnabled(bool enabled) {
  TNullProgress::SetFinishedEnabled(enabled);
  if (enabled) ClearLine();  // the run is over
}

void TCliProgress::SetAborted(bool aborted) {
  if (aborted) interrupted = 1;
}

void TCliProgress::ClearLine() {
  if (drawn_) std::fputs("\r\033[K", stderr);
  drawn_ = false;
}

void TCliProgress::Draw() {
  if (!show_ || FileIndex < 0) return;  // no file started yet
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(200)) return;
  lastDraw_ = now;
  const int64_t total = TotalBytes;
  const int64_t pieceLength = std::max<int64_t>(PieceLength, 1);
  const int64_t done = std::min(total, OverallPosition() * pieceLength);
  const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0.05 ? static_cast<double>(done) / seconds : 0.0;

  winsize ws{};
  int columns = 80;
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20) columns = ws.ws_col;

  constexpr int barWidth = 20;
  const int filled = static_cast<int>(fraction * barWidth);
  char tail[128];
  char left[32] = "--:--";
  if (rate > 0) {
    const int64_t s = static_cast<int64_t>(static_cast<double>(total - done) / rate);
    std::snprintf(left, sizeof left, "%lld:%02lld", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60));
  }
  std::snprintf(tail, sizeof tail, " [%s%s] %3d%% %7.1f MB/s %s left", std::string(filled, '#').c_str(),
                std::string(barWidth - filled, '.').c_str(), static_cast<int>(fraction * 100), rate / 1e6,
                left);
  std::string name = ForTerminal(FileName);
  const size_t room = static_cast<size_t>(std::max(8, columns - 1 - static_cast<int>(std::strlen(tail))));
  if (name.size() > room) name = "..." + name.substr(name.size() - (room - 3));
  std::fprintf(stderr, "\r%s%s\033[K", name.c_str(), tail);
  std::fflush(stderr);
  drawn_ = true;
}
