#pragma once
// TfrmProgress: the small window that shows a creation run, with "Abort"
// and "Finished". Created hidden at start-up; lives as long as the program.

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "create/Progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

class TfrmProgress : public QDialog, public TProgress {
  Q_OBJECT
 public:
  // abortRequested is the main window's flag, which "Abort" sets.
  TfrmProgress(bool& abortRequested, QWidget* owner = nullptr);

  void SetCaption(const std::string& caption) override;
  void Show() override;
  void FileStarted(int64_t index, const std::string& name) override;
  void SetRunSize(int64_t totalBytes, int64_t pieceLength) override;
  void SetFileMax(int64_t max) override;
  int64_t FileMax() const override { return fileMax_; }
  void SetFilePosition(int64_t position) override;
  int64_t FilePosition() const override { return filePos_; }
  void SetOverallMax(int64_t max) override;
  int64_t OverallMax() const override { return overallMax_; }
  void SetOverallPosition(int64_t position) override;
  int64_t OverallPosition() const override { return overallPos_; }
  void SetAbortEnabled(bool enabled) override;
  void SetFinishedEnabled(bool enabled) override;
  void FocusFinished() override;
  // Raises and activates the window, the focus on "Finished" when it is offered.
  void TakeKeyboard();
  void ProcessEvents() override;
  bool IsAborted() const override { return abortRequested_; }
  void SetAborted(bool aborted) override { abortRequested_ = aborted; }

  // "2.0 MiB of 4.0 MiB, 2.0 MiB/s, 0:01 left": the speed once a run has
  // taken some time, the time left while bytes remain.
  static QString RateText(int64_t done, int64_t total, int64_t elapsedMs);

  void btnFinishedClick();
  void btnAbortClick();
  // Set by the main window for the length of a run: meanwhile the window
  // cannot be closed or hidden by Escape.
  void SetRunUnderWay(bool underWay);
  void reject() override;

  QLabel* lblHashing;
  QProgressBar* ProgressBar1;
  QLabel* lblOverall;
  QLabel* lblRate;  // bytes done, speed and time left
  QProgressBar* ProgressBar2;
  QPushButton* btnAbort;
  QPushButton* btnFinished;

 private:
  static void ShowOn(QProgressBar* bar, int64_t max, int64_t position);
  // While a run hashes, the label and the bars follow the run at most once a
  // frame: a run of many small files would otherwise lay out and paint the
  // window for every file, and take several times as long.
  bool Deferring() const;
  void Changed();
  void RunStateChanged();
  void Push();

  bool& abortRequested_;
  bool runUnderWay_ = false;
  bool dirty_ = false;
  QElapsedTimer lastPush_;               // invalid: the next chance pushes
  std::optional<std::string> fileName_;  // none: the label keeps its first text
  int64_t fileMax_ = 100;
  int64_t filePos_ = 0;
  int64_t overallMax_ = 100;
  int64_t overallPos_ = 0;
  int64_t runBytes_ = 0;  // 0: the run's size is not known
  int64_t pieceLength_ = 0;
  QElapsedTimer runClock_;
};
