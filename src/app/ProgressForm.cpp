#include "app/ProgressForm.h"

#include "app/ElidedLabel.h"
#include "app/FileNames.h"
#include "create/Progress.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>

TfrmProgress::TfrmProgress(bool& abortRequested, QWidget* owner)
    : QDialog(owner), abortRequested_(abortRequested) {
  setObjectName(QStringLiteral("frmProgress"));
  setWindowTitle(tr("Progress"));
  setModal(false);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  // A long name is shortened in the middle; the window keeps its size.
  lblHashing = new TElidedLabel(tr("Hashing:"), Qt::ElideMiddle, this);
  lblHashing->setObjectName(QStringLiteral("lblHashing"));
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  lblOverall = new QLabel(tr("Overall Progress:"), this);
  lblOverall->setObjectName(QStringLiteral("lblOverall"));
  lblRate = new TElidedLabel(QString(), Qt::ElideRight, this);
  lblRate->setObjectName(QStringLiteral("lblRate"));
  lblRate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  ProgressBar2 = new QProgressBar(this);
  ProgressBar2->setObjectName(QStringLiteral("ProgressBar2"));
  for (QProgressBar* bar : {ProgressBar1, ProgressBar2}) {
    bar->setRange(0, 100);
    bar->setValue(0);
  }
  btnAbort = new QPushButton(tr("&Abort"), this);
  btnAbort->setObjectName(QStringLiteral("btnAbort"));
  btnFinished = new QPushButton(tr("&Finished"), this);
  btnFinished->setObjectName(QStringLiteral("btnFinished"));
  btnFinished->setEnabled(false);
  ProgressBar1->setAccessibleName(tr("File progress"));
  ProgressBar2->setAccessibleName(tr("Overall progress"));
  // Return presses the button with the focus, else "Finished", as in the program's other dialogs.
  btnFinished->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 8, 12, 8);
  layout->setSpacing(3);
  layout->addWidget(lblHashing);
  layout->addWidget(ProgressBar1);
  auto* overallRow = new QHBoxLayout;
  overallRow->addWidget(lblOverall);
  overallRow->addWidget(lblRate, 1);
  layout->addLayout(overallRow);
  layout->addWidget(ProgressBar2);
  layout->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnAbort);
  buttons->addWidget(btnFinished);
  buttons->addStretch(1);
  layout->addLayout(buttons);

  // A fixed border: the designed size, or what the fonts need.
  setFixedSize(QSize(447, 134).expandedTo(minimumSizeHint()));

  connect(btnAbort, &QPushButton::clicked, this, [this] { btnAbortClick(); });
  connect(btnFinished, &QPushButton::clicked, this, [this] { btnFinishedClick(); });
}

void TfrmProgress::btnFinishedClick() { hide(); }

void TfrmProgress::SetRunUnderWay(bool underWay) {
  runUnderWay_ = underWay;
  RunStateChanged();
}

// Hidden during a run, the window would leave "Abort" out of reach while the
// run goes on; afterwards Escape and the close button mean "Finished" (a close
// comes here through QDialog's, which keeps the window while it stays shown).
void TfrmProgress::reject() {
  if (!runUnderWay_) btnFinishedClick();
}

void TfrmProgress::btnAbortClick() { abortRequested_ = true; }

void TfrmProgress::SetCaption(const std::string& caption) {
  // A creation's caption names its output after an English prefix, shown translated.
  const std::string_view shown = caption;
  setWindowTitle(shown.starts_with(ProgressCaptionPrefix)
                     ? tr("Progress: %1").arg(ShowName(caption.substr(ProgressCaptionPrefix.size())))
                     : Utf8Text(caption));
}

// A run takes the keyboard, also when the window is still open from an
// earlier one: Alt+A must reach "Abort" without a click first.
void TfrmProgress::Show() {
  show();
  raise();
  activateWindow();
  if (btnAbort->isEnabled()) btnAbort->setFocus();
}

void TfrmProgress::SetRunSize(int64_t totalBytes, int64_t pieceLength) {
  runBytes_ = std::max<int64_t>(totalBytes, 0);
  pieceLength_ = std::max<int64_t>(pieceLength, 0);
  runClock_.start();
  Changed();
}

QString TfrmProgress::RateText(int64_t done, int64_t total, int64_t elapsedMs) {
  const QLocale locale;
  auto size = [&](int64_t bytes) { return locale.formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat); };
  QString text = tr("%1 of %2").arg(size(done), size(total));
  // Below a second the rate says more about the start than about the disk.
  constexpr int64_t SteadyMs = 1000;
  if (elapsedMs < SteadyMs || done <= 0) return text;
  const double perSecond = static_cast<double>(done) * 1000.0 / static_cast<double>(elapsedMs);
  text += QStringLiteral(", ") + tr("%1/s").arg(size(static_cast<int64_t>(perSecond)));
  if (done >= total) return text;
  const int64_t left = std::llround(static_cast<double>(total - done) / perSecond);
  const QString clock = left >= 3600
                            ? QStringLiteral("%1:%2:%3")
                                  .arg(left / 3600)
                                  .arg(left / 60 % 60, 2, 10, QLatin1Char('0'))
                                  .arg(left % 60, 2, 10, QLatin1Char('0'))
                            : QStringLiteral("%1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
  return text + QStringLiteral(", ") + tr("%1 left").arg(clock);
}

void TfrmProgress::FileStarted(int64_t index, const std::string& name) {
  (void)index;
  fileName_ = name;
  Changed();
}

// A bar shows at most full, and Qt's bars count in int.
void TfrmProgress::ShowOn(QProgressBar* bar, int64_t max, int64_t position) {
  const int64_t m = std::clamp<int64_t>(max, 0, INT_MAX);
  bar->setRange(0, static_cast<int>(m));
  bar->setValue(static_cast<int>(std::clamp<int64_t>(position, 0, m)));
}

void TfrmProgress::SetFileMax(int64_t max) {
  fileMax_ = max;
  Changed();
}

void TfrmProgress::SetFilePosition(int64_t position) {
  filePos_ = std::min(position, fileMax_);
  Changed();
}

void TfrmProgress::SetOverallMax(int64_t max) {
  overallMax_ = max;
  Changed();
}

void TfrmProgress::SetOverallPosition(int64_t position) {
  overallPos_ = std::min(position, overallMax_);
  Changed();
}

// From the start of hashing until "Finished" is offered.
bool TfrmProgress::Deferring() const { return runUnderWay_ && !btnFinished->isEnabledTo(this); }

void TfrmProgress::Changed() {
  dirty_ = true;
  if (!Deferring()) Push();
}

// A run that starts hashing pushes at its first chance; one that ends shows all at once.
void TfrmProgress::RunStateChanged() {
  lastPush_.invalidate();
  if (dirty_ && !Deferring()) Push();
}

void TfrmProgress::Push() {
  if (fileName_) {
    const QString text = tr("Hashing:") + u' ' + Utf8Text(*fileName_);
    if (lblHashing->text() != text) lblHashing->setText(text);
  }
  ShowOn(ProgressBar1, fileMax_, filePos_);
  ShowOn(ProgressBar2, overallMax_, overallPos_);
  if (runBytes_ > 0 && abortRequested_) {
    // An aborted run's bars are filled, its bytes were not: no time is left to wait for.
    lblRate->setText(tr("Aborted"));
  } else if (runBytes_ > 0) {
    // The bars count pieces; the last one may be short.
    const int64_t done =
        overallPos_ >= overallMax_ ? runBytes_ : std::min(runBytes_, overallPos_ * pieceLength_);
    lblRate->setText(RateText(done, runBytes_, runClock_.isValid() ? runClock_.elapsed() : 0));
  }
  dirty_ = false;
  lastPush_.start();
}

void TfrmProgress::SetAbortEnabled(bool enabled) {
  btnAbort->setEnabled(enabled);
  if (enabled && isVisible()) btnAbort->setFocus();
}

void TfrmProgress::SetFinishedEnabled(bool enabled) {
  btnFinished->setEnabled(enabled);
  RunStateChanged();
}

void TfrmProgress::FocusFinished() { btnFinished->setFocus(); }

void TfrmProgress::TakeKeyboard() {
  if (!isVisible()) return;
  raise();
  activateWindow();
  if (btnFinished->isEnabled()) btnFinished->setFocus();
}

void TfrmProgress::ProcessEvents() {
  constexpr qint64 FrameMs = 16;
  if (dirty_ && (!lastPush_.isValid() || lastPush_.elapsed() >= FrameMs)) Push();
  QCoreApplication::processEvents();
}
