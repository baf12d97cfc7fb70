#include "app/ViewEditPage.h"

#include <sys/stat.h>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ElidedLabel.h"
#include "app/FileNames.h"
#include "app/QtDialogs.h"
#include "app/QuorvaneApplication.h"
#include "app/TorrentFileList.h"
#include "base/Stream.h"
#include "create/Progress.h"
#include "create/Verify.h"
#include "metainfo/Magnet.h"
#include "metainfo/TorrentEdits.h"

namespace {

// Only a regular file counts: typing a path passes through its folders, and a
// FIFO would block the read.
bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The locale's long time format without its time-zone field.
QString TimeFormatWithoutZone(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString result;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == u'\'') quoted = !quoted;
    if (!quoted && c == u't') continue;
    result += c;
  }
  return result.trimmed();
}

// Line breaks of a stored comment as the memo shows them.
QString CommentForDisplay(const std::string& comment) {
  QString text = Utf8Text(comment);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

class TDisplayGuard {
 public:
  explicit TDisplayGuard(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
  ~TDisplayGuard() { flag_ = previous_; }
  TDisplayGuard(const TDisplayGuard&) = delete;
  TDisplayGuard& operator=(const TDisplayGuard&) = delete;

 private:
  bool& flag_;
  bool previous_;
};

const char* const TorrentFilter = "torrent files (*.torrent)|*.torrent";

QString CreationDateTextOf(int64_t seconds) {
  // Beyond four-digit years a locale's date would be cut or wrong: the
  // seconds are the truth.
  constexpr int64_t FirstSecond = -62135596800;  // 0001-01-01 00:00:00 UTC
  constexpr int64_t LastSecond = 253402300799;   // 9999-12-31 23:59:59 UTC
  const QDateTime local = seconds >= FirstSecond && seconds <= LastSecond
                              ? QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toLocalTime()
                              : QDateTime();
  if (!local.isValid() || local.date().year() < 1 || local.date().year() > 9999)
    return QCoreApplication::translate("TViewEditPage", "Creation Date: %1 (Unix time)").arg(seconds);
  // The model keeps UTC; the user reads local time.
  const QLocale locale = QLocale::system();
  QString text = locale.toString(local.date(), QLocale::ShortFormat);
  if (local.time() != QTime(0, 0, 0)) text += u' ' + local.time().toString(TimeFormatWithoutZone(locale));
  return QCoreApplication::translate("TViewEditPage", "Creation Date: %1").arg(text);
}

// A path inside the torrent as one line of a message: control characters
// would break the line or the box.
QString ShownPath(const std::string& bytes) {
  QString text = Utf8Text(bytes);
  for (QChar& c : text)
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = u'?';
  return text;
}

// The message after a verify that found problems: one line per file, the
// first few only, then the count of bad pieces.
QString VerifyReport(const TVerifyResult& result, const QString& dataPath) {
  constexpr size_t MaxFiles = 20;
  constexpr size_t MaxRanges = 3;
  QString text;
  // The torrent's own faults first: they say how far the rest can be trusted.
  if (!result.MetadataFaults.empty()) {
    text += TViewEditPage::tr("The torrent itself is wrong:") + u'\n';
    for (size_t i = 0; i < result.MetadataFaults.size() && i < MaxFiles; ++i) {
      const TMetadataFault& fault = result.MetadataFaults[i];
      if (fault.ByRootAlone)
        text += u'\n' + TViewEditPage::tr("metadata fault: %1 (%2 checked by its root alone)")
                            .arg(TranslatedFault(ShownPath(fault.What)), ShownPath(fault.PathInTorrent));
      else
        text += u'\n' + TViewEditPage::tr("metadata fault: %1: %2")
                            .arg(ShownPath(fault.PathInTorrent), TranslatedFault(ShownPath(fault.What)));
    }
    if (result.MetadataFaults.size() > MaxFiles)
      text += u'\n' + TViewEditPage::tr("... and %1 more files").arg(result.MetadataFaults.size() - MaxFiles);
    text += QStringLiteral("\n\n");
    if (result.Problems.empty() && result.BadPieces.empty() && result.Errors.empty())
      return text +
             TViewEditPage::tr("All %1 pieces match the data in %2.").arg(result.PieceCount).arg(dataPath);
  }
  text += TViewEditPage::tr("The data in %1 does not match the torrent:").arg(dataPath) + u'\n';
  for (size_t i = 0; i < result.Problems.size() && i < MaxFiles; ++i) {
    const TVerifiedFile& file = result.Problems[i];
    const QString path = ShownPath(file.PathInTorrent);
    QString line;
    switch (file.State) {
      case TVerifyState::Missing:
        line = TViewEditPage::tr("missing: %1").arg(path);
        break;
      case TVerifyState::WrongSize:
        line = TViewEditPage::tr("wrong size: %1 (%2 bytes, the torrent says %3)")
                   .arg(path)
                   .arg(file.FoundLength)
                   .arg(file.Length);
        break;
      default: {
        QStringList ranges;
        for (size_t r = 0; r < file.BadRanges.size() && r < MaxRanges; ++r)
          ranges << QStringLiteral("%1-%2").arg(file.BadRanges[r].First).arg(file.BadRanges[r].Last);
        if (file.BadRanges.size() > MaxRanges) ranges << QStringLiteral("...");
        line = TViewEditPage::tr("damaged: %1, bytes %2").arg(path, ranges.join(QStringLiteral(", ")));
      }
    }
    text += u'\n' + line;
  }
  if (result.Problems.size() > MaxFiles)
    text += u'\n' + TViewEditPage::tr("... and %1 more files").arg(result.Problems.size() - MaxFiles);
  for (const std::string& error : result.Errors)
    text += u'\n' + TViewEditPage::tr("error: %1").arg(Utf8Text(error));
  text +=
      QStringLiteral("\n\n") +
      TViewEditPage::tr("%1 of %2 pieces do not match.").arg(result.BadPieces.size()).arg(result.PieceCount);
  return text;
}

}  // namespace

TViewEditPage::TViewEditPage(TViewEditLinks links, QWidget* parent)
    : QWidget(parent), links_(std::move(links)) {
  auto* grid = new QGridLayout(this);
  // Tight rows: the file list needs its height at the designed window size.
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setVerticalSpacing(3);

  txtTorrent_ = Named(new QLineEdit(this), "txtTorrent");
  txtTorrent_->setAcceptDrops(false);  // a dropped file goes to the window, which opens it
  btnTorrentBrowse_ = Named(new QPushButton(tr("..."), this), "btnTorrentBrowse");
  grid->addWidget(Named(new QLabel(tr("&Torrent:"), this), "lblTorrent"), 0, 0);
  grid->addWidget(txtTorrent_, 0, 1, 1, 3);
  grid->addWidget(btnTorrentBrowse_, 0, 4);

  txtAnnounceURL_ = Named(new QLineEdit(this), "txtAnnounceURL");
  chkViewBackup_ = Named(new QCheckBox(this), "chkViewBackup");
  btnViewBackupTrackers_ = Named(new QPushButton(tr("&Backup"), this), "btnViewBackupTrackers");
  btnViewBackupTrackers_->setEnabled(false);
  grid->addWidget(Named(new QLabel(tr("&Announce URL:"), this), "lblAnnounceURL"), 1, 0);
  grid->addWidget(txtAnnounceURL_, 1, 1, 1, 2);
  grid->addWidget(chkViewBackup_, 1, 3);
  grid->addWidget(btnViewBackupTrackers_, 1, 4);

  txtViewName_ = Named(new QLineEdit(this), "txtViewName");
  grid->addWidget(Named(new QLabel(tr("Na&me:"), this), "lblViewName"), 2, 0);
  grid->addWidget(txtViewName_, 2, 1, 1, 4);

  mmoViewComment_ = Named(new QPlainTextEdit(this), "mmoViewComment");
  // One line is enough to start with: the page must fit the designed window,
  // and the memo grows with it.
  const int line = fontMetrics().lineSpacing();
  mmoViewComment_->setMinimumHeight(line + 10);
  mmoViewComment_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoViewComment_->setTabChangesFocus(true);
  grid->addWidget(Named(new QLabel(tr("&Comment:"), this), "lblViewComment"), 3, 0, Qt::AlignTop);
  grid->addWidget(mmoViewComment_, 3, 1, 1, 4);

  // A SHA-256 line needs 680 px at 9 pt: cut in the middle, so its end
  // ("hybrid" or "v2") stays in sight, with the whole line as tool tip and
  // the hash alone to copy.
  lblViewSHA1_ = Named(new TElidedLabel(tr("SHA1:"), Qt::ElideMiddle, this), "lblViewSHA1");
  // The v2 hash sits under the v1 one, and takes no room for a v1 torrent.
  lblInfoHashV2_ = Named(new TElidedLabel(QString(), Qt::ElideMiddle, this), "lblInfoHashV2");
  lblInfoHashV2_->setVisible(false);
  for (QLabel* label : {lblViewSHA1_, lblInfoHashV2_}) {
    auto* copy = Named(new QAction(tr("&Copy hash"), label),
                       label == lblViewSHA1_ ? "actCopySHA1" : "actCopyInfoHashV2");
    copy->setEnabled(false);
    label->addAction(copy);
    label->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copy, &QAction::triggered, this, [this, label] {
      QGuiApplication::clipboard()->setText(label == lblViewSHA1_ ? shownHashV1_ : shownHashV2_);
      ShowStatus(tr("Info hash copied to the clipboard"));
    });
  }
  auto* hashes = new QVBoxLayout;
  hashes->setSpacing(0);
  hashes->addWidget(lblViewSHA1_);
  hashes->addWidget(lblInfoHashV2_);
  grid->addLayout(hashes, 4, 0, 1, 5);

  lblViewCreationDate_ = Named(new QLabel(tr("Creation Date:"), this), "lblViewCreationDate");
  btnCreationDateReset_ = Named(new QPushButton(tr("&Reset"), this), "btnCreationDateReset");
  grid->addWidget(lblViewCreationDate_, 5, 0, 1, 4);
  grid->addWidget(btnCreationDateReset_, 5, 4);

  auto* files = Named(new QGroupBox(tr(" Files "), this), "grpFiles");
  auto* filesGrid = new QGridLayout(files);
  filesGrid->setContentsMargins(6, 2, 6, 4);
  filesGrid->setVerticalSpacing(3);
  lstFiles_ = Named(new TTorrentFileList(files), "lstFiles");
  txtFilesName_ = Named(new QLineEdit(files), "txtFilesName");
  btnChange_ = Named(new QPushButton(tr("C&hange"), files), "btnChange");
  btnChange_->setEnabled(false);  // nothing to change until a torrent is loaded
  lblFilesSize_ = Named(new QLabel(tr("Size:"), files), "lblFilesSize");
  filesGrid->addWidget(lstFiles_, 0, 0, 1, 4);
  filesGrid->addWidget(Named(new QLabel(tr("Nam&e:"), files), "lblFilesName"), 1, 0);
  filesGrid->addWidget(txtFilesName_, 1, 1);
  filesGrid->addWidget(btnChange_, 1, 2);
  filesGrid->addWidget(lblFilesSize_, 1, 3);
  filesGrid->setColumnStretch(1, 1);
  grid->addWidget(files, 8, 0, 1, 5);
  grid->setRowStretch(3, 1);
  grid->setRowStretch(8, 6);
  grid->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  btnViewSave_ = Named(new QPushButton(tr("&Save"), this), "btnViewSave");
  btnViewSaveAs_ = Named(new QPushButton(tr("Sa&ve As .."), this), "btnViewSaveAs");
  btnViewSave_->setEnabled(false);
  btnViewSaveAs_->setEnabled(false);
  buttons->addStretch(1);
  buttons->addWidget(btnViewSave_);
  buttons->addWidget(btnViewSaveAs_);
  grid->addLayout(buttons, 9, 0, 1, 5);

  // Keys beside the model's own: the private flag, the source tag, the web seeds.
  txtViewSource_ = Named(new QLineEdit(this), "txtViewSource");
  txtViewSource_->setAccessibleName(tr("Source"));
  lblViewSource_ = Named(new QLabel(tr("S&ource:"), this), "lblViewSource");
  lblViewSource_->setBuddy(txtViewSource_);
  chkViewPrivate_ = Named(new QCheckBox(tr("&Private torrent"), this), "chkViewPrivate");
  auto* sourceRow = new QHBoxLayout;
  sourceRow->addWidget(txtViewSource_, 1);
  sourceRow->addWidget(chkViewPrivate_);
  grid->addWidget(lblViewSource_, 6, 0);
  grid->addLayout(sourceRow, 6, 1, 1, 4);
  mmoViewWebSeeds_ = Named(new QPlainTextEdit(this), "mmoViewWebSeeds");
  mmoViewWebSeeds_->setAccessibleName(tr("Web seeds"));
  mmoViewWebSeeds_->setToolTip(tr("One URL per line"));
  mmoViewWebSeeds_->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmoViewWebSeeds_->setMinimumHeight(line + 10);
  mmoViewWebSeeds_->setTabChangesFocus(true);
  lblViewWebSeeds_ = Named(new QLabel(tr("&Web seeds:"), this), "lblViewWebSeeds");
  lblViewWebSeeds_->setBuddy(mmoViewWebSeeds_);
  grid->addWidget(lblViewWebSeeds_, 7, 0, Qt::AlignTop);
  grid->addWidget(mmoViewWebSeeds_, 7, 1, 1, 4);
  grid->setRowStretch(7, 1);

  btnCopyMagnet_ = Named(new QPushButton(tr("Copy magnet &link"), this), "btnCopyMagnet");
  btnVerifyData_ = Named(new QPushButton(tr("Ver&ify data..."), this), "btnVerifyData");
  btnCopyMagnet_->setEnabled(false);
  btnVerifyData_->setEnabled(false);
  buttons->insertWidget(0, btnCopyMagnet_);
  buttons->insertWidget(1, btnVerifyData_);

  setTabOrder(btnCreationDateReset_, txtViewSource_);
  setTabOrder(txtViewSource_, chkViewPrivate_);
  setTabOrder(chkViewPrivate_, mmoViewWebSeeds_);
  setTabOrder(btnChange_, btnCopyMagnet_);
  setTabOrder(btnCopyMagnet_, btnVerifyData_);

  // The keyboard: each label leads to its box; the controls without a text of
  // their own get a name for screen readers.
  const std::pair<const char*, QWidget*> buddies[] = {{"lblTorrent", txtTorrent_},
                                                      {"lblAnnounceURL", txtAnnounceURL_},
                                                      {"lblViewName", txtViewName_},
                                                      {"lblViewComment", mmoViewComment_},
                                                      {"lblFilesName", txtFilesName_}};
  for (const auto& [label, buddy] : buddies) findChild<QLabel*>(QLatin1String(label))->setBuddy(buddy);
  btnTorrentBrowse_->setAccessibleName(tr("Choose a .torrent file"));
  chkViewBackup_->setAccessibleName(tr("Save with back-up trackers"));
  lstFiles_->setAccessibleName(tr("Files in the torrent"));
  lblViewSHA1_->setAccessibleName(tr("Info hash"));
  lblInfoHashV2_->setAccessibleName(tr("Info hash v2"));
  auto* open = new QShortcut(QKeySequence::Open, this);
  auto* save = new QShortcut(QKeySequence::Save, this);
  Wire(this, open, &QShortcut::activated, &TViewEditPage::btnTorrentBrowseClick);
  connect(save, &QShortcut::activated, this, [this] {
    if (btnViewSave_->isEnabled()) btnViewSave_->click();
  });

  Wire(this, btnTorrentBrowse_, &QPushButton::clicked, &TViewEditPage::btnTorrentBrowseClick);
  Wire(this, txtTorrent_, &QLineEdit::textChanged, &TViewEditPage::txtTorrentChange);
  Wire(this, lstFiles_, &TTorrentFileList::currentRowChanged, &TViewEditPage::lstFilesClick);
  Wire(this, lstFiles_, &QTreeWidget::itemClicked, &TViewEditPage::lstFilesClick);
  Wire(this, txtAnnounceURL_, &QLineEdit::textChanged, &TViewEditPage::txtAnnounceURLChange);
  Wire(this, txtViewName_, &QLineEdit::textChanged, &TViewEditPage::txtViewNameChange);
  Wire(this, mmoViewComment_, &QPlainTextEdit::textChanged, &TViewEditPage::mmoViewCommentChange);
  Wire(this, btnCreationDateReset_, &QPushButton::clicked, &TViewEditPage::btnCreationDateResetClick);
  Wire(this, btnChange_, &QPushButton::clicked, &TViewEditPage::btnChangeClick);
  Wire(this, chkViewBackup_, &QCheckBox::toggled, &TViewEditPage::chkViewBackupClick);
  Wire(this, btnViewBackupTrackers_, &QPushButton::clicked, &TViewEditPage::btnViewBackupTrackersClick);
  Wire(this, btnViewSave_, &QPushButton::clicked, &TViewEditPage::btnViewSaveClick);
  Wire(this, btnViewSaveAs_, &QPushButton::clicked, &TViewEditPage::btnViewSaveAsClick);
  Wire(this, chkViewPrivate_, &QCheckBox::toggled, &TViewEditPage::chkViewPrivateClick);
  Wire(this, txtViewSource_, &QLineEdit::textChanged, &TViewEditPage::txtViewSourceChange);
  Wire(this, mmoViewWebSeeds_, &QPlainTextEdit::textChanged, &TViewEditPage::mmoViewWebSeedsChange);
  Wire(this, btnCopyMagnet_, &QPushButton::clicked, &TViewEditPage::btnCopyMagnetClick);
  Wire(this, btnVerifyData_, &QPushButton::clicked, &TViewEditPage::btnVerifyDataClick);
}

TViewEditPage::~TViewEditPage() = default;

QString TViewEditPage::CreationDateText(const TTorrentFile& torrent) {
  if (!torrent.HasCreationDate()) return tr("Creation Date: N/A");
  return CreationDateTextOf(torrent.CreationUnix());
}

template <class F>
void TViewEditPage::Guarded(F&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    ReportError(e);
  }
}

void TViewEditPage::ShowStatus(const QString& text) {
  if (links_.ShowStatus) links_.ShowStatus(text);
}

void TViewEditPage::ReportError(const std::exception& e) {
  if (links_.ReportError) {
    links_.ReportError(e);
    return;
  }
  links_.Dialogs.MessageBox(e.what(), Utf8Bytes(QCoreApplication::applicationName()), TMsgButtons::Ok);
}

void TViewEditPage::btnTorrentBrowseClick() {
  const auto chosen = links_.Dialogs.OpenDialogAt(".torrent files (*.torrent)|*.torrent",
                                                  StartFolderFor(NameBytes(txtTorrent_->text())));
  if (chosen) OpenTorrent(*chosen);
}

void TViewEditPage::OpenTorrent(const std::string& path) {
  const QString text = ShowName(path);
  // Choosing the file already named reloads it; no signal runs the handler then.
  if (text == txtTorrent_->text())
    Guarded([this] { txtTorrentChange(); });
  else
    txtTorrent_->setText(text);
}

void TViewEditPage::txtTorrentChange() {
  // The verify under way reads the loaded model.
  if (verifying_) return;
  const std::string path = NameBytes(txtTorrent_->text());
  if (!IsRegularFile(path)) return;
  LoadTorrent(path);
}

void TViewEditPage::LoadTorrent(const std::string& path) {
  torrent_.reset();
  TFileStream in(path, TFileMode::OpenRead);  // a failure goes to the general error report
  torrent_ = std::make_unique<TTorrentFile>();
  backupChosen_ = false;
  ShowStatus(tr("Loading Torrent! This may take a while..."));
  try {
    torrent_->LoadFromStream(in);
    DisplayTorrent();
    if (torrent_->Files.empty()) throw std::runtime_error("no file entry");
    // Enabled again for a file that can be renamed (padding cannot be chosen).
    txtFilesName_->setEnabled(false);
    lstFiles_->setCurrentRow(0);
    lstFilesClick();
    btnChange_->setEnabled(true);
    // A damaged torrent still loads, but must not look like a clean one.
    ShowStatus(torrent_->IsDamaged() ? tr("Loading complete, but the torrent is damaged!")
                                     : tr("Loading complete!"));
    btnViewSaveAs_->setEnabled(true);
    btnViewSave_->setEnabled(true);
    btnCopyMagnet_->setEnabled(true);
    btnVerifyData_->setEnabled(true);
    loadedPath_ = path;
    loadedStamp_ = StampOf(path);
    diskHash_ = torrent_->InfoHashText;
    diskHashV2_ = torrent_->InfoHashV2Text;
  } catch (const std::exception&) {
    // A torrent without trackers is trackerless, not corrupt: the loader's
    // line for it is no reason the load failed.
    std::string errors;
    for (const auto& error : torrent_->DamageLines()) {
      if (!errors.empty()) errors += '\n';
      errors += Utf8Bytes(TranslatedLoadError(error));
    }
    links_.Dialogs.MessageBox(errors, "Error Loading!", TMsgButtons::Ok);
    ShowStatus(tr("Loading error!"));
    ClearAfterFailedLoad();
  }
}

void TViewEditPage::DisplayTorrent() {
  TDisplayGuard guard(displaying_);
  const TTorrentFile& torrent = *torrent_;
  lstFiles_->clear();
  txtAnnounceURL_->setText(Utf8Text(torrent.Announce()));
  const bool trackerless = torrent.Announce().empty() && torrent.BackupTrackers().empty();
  txtAnnounceURL_->setPlaceholderText(trackerless ? tr("no tracker (DHT, peer exchange or web seeds)")
                                                  : QString());
  txtViewName_->setText(Utf8Text(torrent.Name));
  mmoViewComment_->setPlainText(CommentForDisplay(torrent.Comment));
  ShowInfoHashes(torrent.InfoHashText, torrent.InfoHashV2Text);
  const bool hasBackup = !torrent.BackupTrackers().empty();
  chkViewBackup_->setChecked(hasBackup);
  btnViewBackupTrackers_->setEnabled(hasBackup);
  lblViewCreationDate_->setText(CreationDateText(torrent));
  for (const auto& file : torrent.Files)
    lstFiles_->AddFile(ShowName(FileEntryText(*file)), file->Length, file->Pad);
  baseAnnounce_ = torrent.Announce();
  baseTiers_ = torrent.AnnounceTiers();
  chkViewPrivate_->setChecked(torrent.Private);
  txtViewSource_->setText(Utf8Text(torrent.Source));
  shownWebSeeds_.clear();
  QStringList seeds;
  for (const std::string& seed : torrent.WebSeeds) {
    shownWebSeeds_.emplace_back(Utf8Text(seed), seed);
    seeds << shownWebSeeds_.back().first;
  }
  mmoViewWebSeeds_->setPlainText(seeds.join(u'\n'));
}

void TViewEditPage::ClearAfterFailedLoad() {
  TDisplayGuard guard(displaying_);
  lstFiles_->clear();
  txtAnnounceURL_->clear();
  txtAnnounceURL_->setPlaceholderText(QString());
  txtViewName_->clear();
  mmoViewComment_->clear();
  txtFilesName_->clear();
  shownFileText_.clear();
  ShowInfoHashes({}, {});
  lblViewSHA1_->setText(tr("SHA1:"));
  lblViewCreationDate_->setText(tr("Creation Date:"));
  lblFilesSize_->setText(tr("Size:"));
  chkViewPrivate_->setChecked(false);
  txtViewSource_->clear();
  mmoViewWebSeeds_->clear();
  shownWebSeeds_.clear();
  torrent_.reset();
  btnViewSaveAs_->setEnabled(false);
  btnViewSave_->setEnabled(false);
  btnCopyMagnet_->setEnabled(false);
  btnVerifyData_->setEnabled(false);
  btnChange_->setEnabled(false);
}

void TViewEditPage::lstFilesClick() {
  const int row = lstFiles_->currentRow();
  if (!torrent_ || row < 0 || static_cast<std::size_t>(row) >= torrent_->Files.size()) return;
  shownFileText_ = lstFiles_->item(row)->text();
  txtFilesName_->setText(shownFileText_);
  txtFilesName_->setEnabled(torrent_->MultiFile && !torrent_->Files[row]->Pad);
  lblFilesSize_->setText(tr("Size: %1").arg(torrent_->Files[row]->Length));
}

void TViewEditPage::txtAnnounceURLChange() {
  if (displaying_ || !torrent_) return;
  const std::string url = Utf8Bytes(txtAnnounceURL_->text());
  SetTrackersKeepingMain(*torrent_, baseTiers_, baseAnnounce_);
  if (!url.empty()) {
    // The old main URL goes wherever it stands; it does not stay behind as a back-up.
    ReplaceMainTracker(*torrent_, url);
    return;
  }
  auto tiers = baseTiers_;
  for (auto& tier : tiers) std::erase(tier, baseAnnounce_);
  SetTrackersKeepingMain(*torrent_, std::move(tiers), "");
}

void TViewEditPage::txtViewNameChange() {
  if (displaying_ || !torrent_) return;
  const QString text = txtViewName_->text();
  if (!SetTorrentName(*torrent_, Utf8Bytes(text))) return;
  if (lstFiles_->count() == 1) lstFiles_->item(0)->setText(text);
  shownFileText_ = text;
  txtFilesName_->setText(text);
}

void TViewEditPage::mmoViewCommentChange() {
  if (displaying_ || !torrent_) return;
  QString text = mmoViewComment_->toPlainText();
  text.replace(u'\n', QStringLiteral("\r\n"));
  torrent_->SetComment(Utf8Bytes(text));
}

void TViewEditPage::btnCreationDateResetClick() {
  if (!torrent_) return;
  torrent_->SetCreationUnix(DateTimeToUnix(NowUtc()));
  lblViewCreationDate_->setText(CreationDateText(*torrent_));
}

void TViewEditPage::btnChangeClick() {
  const int row = lstFiles_->currentRow();
  if (!torrent_ || row < 0 || static_cast<std::size_t>(row) >= torrent_->Files.size()) return;
  const QString text = txtFilesName_->text();
  // Unchanged text leaves the entry's bytes alone: they need not survive a
  // round trip through the shown text.
  if (text == shownFileText_) {
    lstFiles_->item(row)->setText(text);
    return;
  }
  try {
    RenameFileEntry(*torrent_, static_cast<std::size_t>(row), NameBytes(text));
  } catch (const EBadFileName& e) {
    links_.Dialogs.MessageBox(Utf8Bytes(tr("Cannot rename to ")) + e.what(), "Error", TMsgButtons::Ok);
    return;
  }
  lstFiles_->item(row)->setText(text);
  shownFileText_ = text;
}

void TViewEditPage::chkViewBackupClick() {
  if (!torrent_) return;
  if (!displaying_) backupChosen_ = true;
  btnViewBackupTrackers_->setEnabled(chkViewBackup_->isChecked());
}

void TViewEditPage::btnViewBackupTrackersClick() {
  if (!torrent_) return;
  if (links_.BackupList.ShowWithLines) links_.BackupList.ShowWithLines(torrent_->BackupTrackers());
  backupChosen_ = true;
}

bool TViewEditPage::WriteTorrent(const std::string& path, std::string& infoHash, bool inPlace) {
  try {
    const auto& backup = links_.BackupList;
    if (backupChosen_ || !chkViewBackup_->isChecked())
      RebuildBackupTrackers(*torrent_, chkViewBackup_->isChecked(),
                            backup.Lines ? backup.Lines() : std::vector<std::string>(),
                            backup.LookupAnnounceURL);
    // Written beside the target and renamed over it, so a failed write
    // leaves the old file as it was.
    // A file saved in place keeps its mode; a new copy of a private torrent is its owner's.
    TSafeFileStream out(path, !inPlace && torrent_->Private ? 0600 : 07777);
    if (inPlace && loadedStamp_) out.ExpectUnchanged(*loadedStamp_);
    if (inPlace && !loadedStamp_) out.RefuseExisting();
    torrent_->SaveToStream(out, torrent_->Pieces, infoHash);
    out.Commit();
  } catch (const std::exception& e) {
    links_.Dialogs.MessageBox(Utf8Bytes(tr("Error writing ")) + path + ": " + e.what(), "Error",
                              TMsgButtons::Ok);
    return false;
  }
  ShowStatus(tr("%1 written sucessfully!").arg(ShowName(path)));
  return true;
}

bool TViewEditPage::MaySave() {
  if (const auto damage = torrent_->DamageLines(); !damage.empty()) {
    std::string text = Utf8Bytes(
        tr("This torrent is damaged: it was not read whole, and saving writes only what could be read. "
           "What these lines name would be lost:"));
    text += "\n";
    for (const auto& line : damage) text += "\n" + line;
    text += "\n\n" + Utf8Bytes(tr("Save anyway?"));
    // No is the default: a scripted or careless answer keeps the file.
    return links_.Dialogs.MessageBox(text, "Question", TMsgButtons::YesNo) == TMsgResult::Yes;
  }
  try {
    CheckTorrentName(torrent_->Name);
  } catch (const EBadFileName& e) {
    links_.Dialogs.MessageBox(Utf8Bytes(tr("Cannot save ")) + e.what(), "Error", TMsgButtons::Ok);
    return false;
  }
  if (torrent_->HybridRenamed()) {
    links_.Dialogs.MessageBox(HybridRenameError, "Error", TMsgButtons::Ok);
    return false;
  }
  return true;
}

void TViewEditPage::btnViewSaveClick() {
  ShowStatus(QString());  // what the status said belongs to an earlier action
  if (!torrent_) {
    links_.Dialogs.MessageBox("No torrent loaded!", "Error", TMsgButtons::Ok);
    return;
  }
  if (!MaySave() || !MayChangeInfoHash() || !MayOverwriteLoaded()) return;
  std::string written;
  const std::string writtenV2 = torrent_->SavedInfoHashV2Text(torrent_->Pieces);
  if (!WriteTorrent(loadedPath_, written, true)) return;
  loadedStamp_ = StampOf(loadedPath_);
  diskHash_ = written;
  diskHashV2_ = writtenV2;
  ShowInfoHashes(diskHash_, diskHashV2_);
}

void TViewEditPage::ShowInfoHashes(const std::string& v1, const std::string& v2) {
  shownHashV1_ = Utf8Text(v1);
  shownHashV2_ = Utf8Text(v2);
  lblViewSHA1_->actions().front()->setEnabled(!v1.empty());
  lblInfoHashV2_->actions().front()->setEnabled(!v2.empty());
  if (v2.empty()) {
    lblViewSHA1_->setText(tr("SHA1: %1").arg(Utf8Text(v1)));
    lblInfoHashV2_->clear();
    lblInfoHashV2_->setVisible(false);
    return;
  }
  if (v1.empty()) {
    lblViewSHA1_->setText(tr("SHA1: none (a BitTorrent v2 torrent)"));
    lblInfoHashV2_->setText(tr("SHA256: %1 (v2)").arg(Utf8Text(v2)));
  } else {
    lblViewSHA1_->setText(tr("SHA1: %1").arg(Utf8Text(v1)));
    lblInfoHashV2_->setText(tr("SHA256: %1 (hybrid: v1 and v2)").arg(Utf8Text(v2)));
  }
  lblInfoHashV2_->setVisible(true);
}

void TViewEditPage::btnViewSaveAsClick() {
  ShowStatus(QString());
  if (!torrent_) {
    links_.Dialogs.MessageBox("No torrent loaded!", "Error", TMsgButtons::Ok);
    return;
  }
  if (!MaySave() || !MayChangeInfoHash()) return;
  TSaveDialogOptions options;
  options.DefaultExt = "torrent";
  options.Filter = TorrentFilter;
  options.ConfirmOverwrite = true;
  const auto chosen = links_.Dialogs.SaveDialog(options);
  if (!chosen) return;
  std::string written;
  WriteTorrent(*chosen, written, false);
}

bool TViewEditPage::MayOverwriteLoaded() {
  const std::optional<TFileStamp> now = StampOf(loadedPath_);
  if (now == loadedStamp_) return true;
  const QString text =
      tr("%1 was changed on disk by another program after it was loaded here. Saving replaces those "
         "changes with what this page shows.")
          .arg(ShowName(loadedPath_)) +
      QStringLiteral("\n\n") + tr("Save anyway?");
  if (links_.Dialogs.MessageBox(Utf8Bytes(text), "Question", TMsgButtons::YesNoDefaultNo) != TMsgResult::Yes)
    return false;
  // What the user agreed to replace; a further change before the save still stops it.
  loadedStamp_ = now;
  return true;
}

bool TViewEditPage::MayChangeInfoHash() {
  if (diskHash_.empty() && diskHashV2_.empty()) return true;
  const std::string saved = SavedInfoHash(*torrent_);
  const std::string savedV2 =
      diskHashV2_.empty() ? std::string() : torrent_->SavedInfoHashV2Text(torrent_->Pieces);
  if (saved == diskHash_ && savedV2 == diskHashV2_) return true;
  QString change;
  if (diskHashV2_.empty())
    change =
        tr("Saving changes the info hash from %1 to %2: peers of the old torrent will not find this one.")
            .arg(Utf8Text(diskHash_), Utf8Text(saved));
  else if (diskHash_.empty())
    change =
        tr("Saving changes the v2 info hash from %1 to %2: peers of the old torrent will not find this one.")
            .arg(Utf8Text(diskHashV2_), Utf8Text(savedV2));
  else
    change = tr("Saving changes the info hashes from %1 (v1) and %2 (v2) to %3 (v1) and %4 (v2): peers of "
                "the old torrent will not find this one.")
                 .arg(Utf8Text(diskHash_), Utf8Text(diskHashV2_), Utf8Text(saved), Utf8Text(savedV2));
  const QString text = change + QStringLiteral("\n\n") + tr("Save anyway?");
  // No is the default: peers and links of the old torrent stay valid.
  return links_.Dialogs.MessageBox(Utf8Bytes(text), "Question", TMsgButtons::YesNoDefaultNo) ==
         TMsgResult::Yes;
}

void TViewEditPage::chkViewPrivateClick() {
  if (displaying_ || !torrent_) return;
  torrent_->SetPrivate(chkViewPrivate_->isChecked());
}

void TViewEditPage::txtViewSourceChange() {
  if (displaying_ || !torrent_) return;
  torrent_->SetSource(Utf8Bytes(txtViewSource_->text()));
}

void TViewEditPage::mmoViewWebSeedsChange() {
  if (displaying_ || !torrent_) return;
  std::vector<std::string> seeds;
  for (const QString& line : mmoViewWebSeeds_->toPlainText().split(u'\n')) {
    const QString url = line.trimmed();
    if (url.isEmpty()) continue;
    const auto shown = std::find_if(shownWebSeeds_.begin(), shownWebSeeds_.end(),
                                    [&](const auto& seed) { return seed.first == url; });
    seeds.push_back(shown != shownWebSeeds_.end() ? shown->second : Utf8Bytes(url));
  }
  torrent_->SetWebSeeds(std::move(seeds));
}

void TViewEditPage::btnCopyMagnetClick() {
  if (!torrent_) return;
  // The link of the torrent as it would be saved now.
  const std::string v1 = SavedInfoHash(*torrent_);
  const std::string v2 = torrent_->SavedInfoHashV2Text(torrent_->Pieces);
  const std::string link = MagnetLink(*torrent_, TMagnetHashes{v1, v2});
  QGuiApplication::clipboard()->setText(Utf8Text(link));
  ShowStatus(tr("Magnet link copied to the clipboard"));
}

void TViewEditPage::btnVerifyDataClick() {
  if (verifying_) return;  // pressed again while the run lets events through
  ShowStatus(QString());
  if (!torrent_) {
    links_.Dialogs.MessageBox("No torrent loaded!", "Error", TMsgButtons::Ok);
    return;
  }
  const TTorrentFile& torrent = *torrent_;
  // A piece layer that does not reduce to its root is reported with the data.
  if (const auto damage = torrent.DamageLinesBesideLayerFaults(); !damage.empty()) {
    const QString text = tr("This torrent is damaged, so its data cannot be checked:") +
                         QStringLiteral("\n\n") + Utf8Text(damage.front());
    links_.Dialogs.MessageBox(Utf8Bytes(text), "Error", TMsgButtons::Ok);
    return;
  }
  // A multi-file torrent's data is a folder named like the torrent; a
  // single file lies in the folder the user picks.
  const std::string proposed = DefaultDataPath(loadedPath_, torrent);
  const QString name = ShownPath(torrent.Name);
  std::optional<std::string> folder;
  if (torrent.MultiFile) {
    folder = links_.Dialogs.PickFolderAt(
        Utf8Bytes(tr("Select the folder that holds the files of %1").arg(name)), proposed);
  } else {
    const size_t slash = proposed.rfind('/');
    folder = links_.Dialogs.PickFolderAt(Utf8Bytes(tr("Select the folder that holds %1").arg(name)),
                                         slash == std::string::npos ? "." : proposed.substr(0, slash + 1));
  }
  if (!folder) return;
  const std::string dataPath = torrent.MultiFile ? *folder : JoinPath(*folder, torrent.Name);

  TVerifyResult result;
  const auto run = [&](TProgress& progress) {
    progress.SetAborted(false);
    progress.SetCaption(Utf8Bytes(tr("Verifying: %1").arg(ShowName(dataPath))));
    progress.Show();
    progress.SetRunSize(torrent.TotalLength, torrent.PieceLength);
    result = VerifyData(torrent, dataPath, progress);
  };
  {
    // The page stays still while the run lets events through: the model
    // it reads must not be replaced or edited.
    struct TQuiet {
      TViewEditPage& page;
      explicit TQuiet(TViewEditPage& p) : page(p) {
        page.verifying_ = true;
        page.setEnabled(false);
      }
      ~TQuiet() {
        page.setEnabled(true);
        page.verifying_ = false;
      }
      TQuiet(const TQuiet&) = delete;
      TQuiet& operator=(const TQuiet&) = delete;
    } quiet(*this);
    if (!links_.WithProgress) {
      TNullProgress progress;
      run(progress);
    } else if (!links_.WithProgress(run)) {
      links_.Dialogs.MessageBox(
          Utf8Bytes(tr("The progress window is busy with a torrent being created; verify when it is done.")),
          "Error", TMsgButtons::Ok);
      return;
    }
  }
  if (result.Aborted) {
    links_.Dialogs.MessageBox("Operation Aborted!", "Abort", TMsgButtons::Ok);
  } else if (result.Ok()) {
    const QString text =
        tr("All %1 pieces match the data in %2.").arg(result.PieceCount).arg(ShowName(dataPath));
    links_.Dialogs.MessageBox(Utf8Bytes(text), Utf8Bytes(tr("Verify")), TMsgButtons::Ok);
  } else {
    links_.Dialogs.MessageBox(Utf8Bytes(VerifyReport(result, ShowName(dataPath))), "Warning",
                              TMsgButtons::Ok);
  }
  if (links_.RunReported) links_.RunReported();
}
