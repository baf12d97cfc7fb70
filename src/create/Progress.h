#pragma once
// What a creation run reports to, behind an interface: the progress window,
// the CLI's progress line and the tests all implement it.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// What a creation run's caption says before the output path.
inline constexpr std::string_view ProgressCaptionPrefix = "Progress: ";

// The progress window: a caption, the "Hashing:" label, the file bar
// (ProgressBar1), the overall bar (ProgressBar2), "Abort" and "Finished".
// Both bars count pieces. Callers never set a position above its bar's
// maximum; implementations may clamp as well.
class TProgress {
 public:
  virtual ~TProgress() = default;

  // "Progress: " + the output path.
  virtual void SetCaption(const std::string& caption) = 0;
  // Shows the window without making it modal.
  virtual void Show() = 0;
  // A file of the run starts: its place in the run's list of files and its
  // name (the last part of its path). Told again for the file an error is
  // about, before the error reaches the caller. Front ends word it themselves.
  virtual void FileStarted(int64_t index, const std::string& name) = 0;
  // The run's size, told before its first piece: the bytes to hash and the
  // piece length the bars count in, for a front end that shows bytes.
  virtual void SetRunSize(int64_t totalBytes, int64_t pieceLength) {
    (void)totalBytes;
    (void)pieceLength;
  }

  // ProgressBar1: pieces finished while the current file is read.
  virtual void SetFileMax(int64_t max) = 0;
  virtual int64_t FileMax() const = 0;
  virtual void SetFilePosition(int64_t position) = 0;
  virtual int64_t FilePosition() const = 0;

  // ProgressBar2: pieces finished in the whole run.
  virtual void SetOverallMax(int64_t max) = 0;
  virtual int64_t OverallMax() const = 0;
  virtual void SetOverallPosition(int64_t position) = 0;
  virtual int64_t OverallPosition() const = 0;

  virtual void SetAbortEnabled(bool enabled) = 0;     // btnAbort
  virtual void SetFinishedEnabled(bool enabled) = 0;  // btnFinished
  virtual void FocusFinished() = 0;

  // Lets pending events run (repaints, the "Abort" button). Called before
  // every read of a hashing run.
  virtual void ProcessEvents() = 0;
  // The same while a hashing run waits for its worker threads, every few
  // milliseconds; nothing is read meanwhile.
  virtual void ProcessEventsWhileWaiting() { ProcessEvents(); }

  // The abort request: set by "Abort" (or Ctrl-C), cleared when a create
  // command starts. Overridable so a front end can keep the flag elsewhere.
  virtual bool IsAborted() const { return aborted_.load(std::memory_order_relaxed); }
  virtual void SetAborted(bool aborted) { aborted_.store(aborted, std::memory_order_relaxed); }

 private:
  std::atomic<bool> aborted_{false};
};

// A progress that shows nothing and only keeps the values (tests, quiet runs).
class TNullProgress : public TProgress {
 public:
  void SetCaption(const std::string& caption) override { Caption = caption; }
  void Show() override { Shown = true; }
  void FileStarted(int64_t index, const std::string& name) override {
    FileIndex = index;
    FileName = name;
  }
  void SetRunSize(int64_t totalBytes, int64_t pieceLength) override {
    TotalBytes = totalBytes;
    PieceLength = pieceLength;
  }
  void SetFileMax(int64_t max) override { fileMax_ = max; }
  int64_t FileMax() const override { return fileMax_; }
  void SetFilePosition(int64_t position) override { filePos_ = position; }
  int64_t FilePosition() const override { return filePos_; }
  void SetOverallMax(int64_t max) override { overallMax_ = max; }
  int64_t OverallMax() const override { return overallMax_; }
  void SetOverallPosition(int64_t position) override { overallPos_ = position; }
  int64_t OverallPosition() const override { return overallPos_; }
  void SetAbortEnabled(bool enabled) override { AbortEnabled = enabled; }
  void SetFinishedEnabled(bool enabled) override { FinishedEnabled = enabled; }
  void FocusFinished() override { FinishedFocused = true; }
  void ProcessEvents() override {}
  void ProcessEventsWhileWaiting() override {}

  std::string Caption = "Progress";
  int64_t FileIndex = -1;  // -1: no file started yet
  std::string FileName;
  bool Shown = false;
  bool AbortEnabled = true;
  bool FinishedEnabled = false;
  bool FinishedFocused = false;
  int64_t TotalBytes = 0;
  int64_t PieceLength = 0;

 private:
  int64_t fileMax_ = 100;
  int64_t filePos_ = 0;
  int64_t overallMax_ = 100;
  int64_t overallPos_ = 0;
};
