#include "app/ViewEditPage.h"

#include <sys/stat.h>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/FileNames.h"
#include "app/QuorvaneApplication.h"
#include "base/Stream.h"
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
    return QStringLiteral("Creation Date: ") + QString::number(seconds) + QStringLiteral(" (Unix time)");
  // The model keeps UTC; the user reads local time.
  const QLocale locale = QLocale::system();
  QString text = locale.toString(local.date(), QLocale::ShortFormat);
  if (local.time() != QTime(0, 0, 0)) text += u' ' + local.time().toString(TimeFormatWithoutZone(locale));
  return QStringLiteral("Creation Date: ") + text;
}

}  // namespace

TViewEditPage::TViewEditPage(TViewEditLinks links, QWidget* parent)
    : QWidget(parent), links_(std::move(links)) {
  auto* grid = new QGridLayout(this);

  txtTorrent_ = Named(new QLineEdit(this), "txtTorrent");
  btnTorrentBrowse_ = Named(new QPushButton(QStringLiteral("..."), this), "btnTorrentBrowse");
  grid->addWidget(Named(new QLabel(QStringLiteral("Torrent:"), this), "lblTorrent"), 0, 0);
  grid->addWidget(txtTorrent_, 0, 1, 1, 3);
  grid->addWidget(btnTorrentBrowse_, 0, 4);

  txtAnnounceURL_ = Named(new QLineEdit(this), "txtAnnounceURL");
  chkViewBackup_ = Named(new QCheckBox(this), "chkViewBackup");
  btnViewBackupTrackers_ = Named(new QPushButton(QStringLiteral("Backup"), this), "btnViewBackupTrackers");
  btnViewBackupTrackers_->setEnabled(false);
  grid->addWidget(Named(new QLabel(QStringLiteral("Announce URL:"), this), "lblAnnounceURL"), 1, 0);
  grid->addWidget(txtAnnounceURL_, 1, 1, 1, 2);
  grid->addWidget(chkViewBackup_, 1, 3);
  grid->addWidget(btnViewBackupTrackers_, 1, 4);

  txtViewName_ = Named(new QLineEdit(this), "txtViewName");
  grid->addWidget(Named(new QLabel(QStringLiteral("Name:"), this), "lblViewName"), 2, 0);
  grid->addWidget(txtViewName_, 2, 1, 1, 4);

  mmoViewComment_ = Named(new QPlainTextEdit(this), "mmoViewComment");
  mmoViewComment_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoViewComment_->setTabChangesFocus(true);
  grid->addWidget(Named(new QLabel(QStringLiteral("Comment:"), this), "lblViewComment"), 3, 0, Qt::AlignTop);
  grid->addWidget(mmoViewComment_, 3, 1, 1, 4);

  lblViewSHA1_ = Named(new QLabel(QStringLiteral("SHA1:"), this), "lblViewSHA1");
  lblViewSHA1_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(lblViewSHA1_, 4, 0, 1, 5);

  lblViewCreationDate_ = Named(new QLabel(QStringLiteral("Creation Date:"), this), "lblViewCreationDate");
  btnCreationDateReset_ = Named(new QPushButton(QStringLiteral("Reset"), this), "btnCreationDateReset");
  grid->addWidget(lblViewCreationDate_, 5, 0, 1, 4);
  grid->addWidget(btnCreationDateReset_, 5, 4);

  auto* files = Named(new QGroupBox(QStringLiteral(" Files "), this), "grpFiles");
  auto* filesGrid = new QGridLayout(files);
  lstFiles_ = Named(new QListWidget(files), "lstFiles");
  lstFiles_->setSelectionMode(QAbstractItemView::SingleSelection);
  txtFilesName_ = Named(new QLineEdit(files), "txtFilesName");
  btnChange_ = Named(new QPushButton(QStringLiteral("Change"), files), "btnChange");
  lblFilesSize_ = Named(new QLabel(QStringLiteral("Size:"), files), "lblFilesSize");
  filesGrid->addWidget(lstFiles_, 0, 0, 1, 3);
  filesGrid->addWidget(Named(new QLabel(QStringLiteral("Name:"), files), "lblFilesName"), 1, 0);
  filesGrid->addWidget(txtFilesName_, 1, 1);
  filesGrid->addWidget(btnChange_, 1, 2);
  filesGrid->addWidget(lblFilesSize_, 2, 0, 1, 3);
  grid->addWidget(files, 6, 0, 1, 5);
  grid->setRowStretch(3, 1);
  grid->setRowStretch(6, 3);
  grid->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  btnViewSave_ = Named(new QPushButton(QStringLiteral("Save"), this), "btnViewSave");
  btnViewSaveAs_ = Named(new QPushButton(QStringLiteral("Save As .."), this), "btnViewSaveAs");
  btnViewSave_->setEnabled(false);
  btnViewSaveAs_->setEnabled(false);
  buttons->addStretch(1);
  buttons->addWidget(btnViewSave_);
  buttons->addWidget(btnViewSaveAs_);
  grid->addLayout(buttons, 7, 0, 1, 5);

  Wire(this, btnTorrentBrowse_, &QPushButton::clicked, &TViewEditPage::btnTorrentBrowseClick);
  Wire(this, txtTorrent_, &QLineEdit::textChanged, &TViewEditPage::txtTorrentChange);
  Wire(this, lstFiles_, &QListWidget::currentRowChanged, &TViewEditPage::lstFilesClick);
  Wire(this, lstFiles_, &QListWidget::itemClicked, &TViewEditPage::lstFilesClick);
  Wire(this, txtAnnounceURL_, &QLineEdit::textChanged, &TViewEditPage::txtAnnounceURLChange);
  Wire(this, txtViewName_, &QLineEdit::textChanged, &TViewEditPage::txtViewNameChange);
  Wire(this, mmoViewComment_, &QPlainTextEdit::textChanged, &TViewEditPage::mmoViewCommentChange);
  Wire(this, btnCreationDateReset_, &QPushButton::clicked, &TViewEditPage::btnCreationDateResetClick);
  Wire(this, btnChange_, &QPushButton::clicked, &TViewEditPage::btnChangeClick);
  Wire(this, chkViewBackup_, &QCheckBox::toggled, &TViewEditPage::chkViewBackupClick);
  Wire(this, btnViewBackupTrackers_, &QPushButton::clicked, &TViewEditPage::btnViewBackupTrackersClick);
  Wire(this, btnViewSave_, &QPushButton::clicked, &TViewEditPage::btnViewSaveClick);
  Wire(this, btnViewSaveAs_, &QPushButton::clicked, &TViewEditPage::btnViewSaveAsClick);
}

TViewEditPage::~TViewEditPage() = default;

QString TViewEditPage::CreationDateText(const TTorrentFile& torrent) {
  if (torrent.CreationDate == 0) return QStringLiteral("Creation Date: N/A");
  return CreationDateTextOf(torrent.CreationUnix());
}

QString TViewEditPage::CreationDateText(TDateTime value) {
  if (value == 0) return QStringLiteral("Creation Date: N/A");
  return CreationDateTextOf(DateTimeToUnix(value));
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
  Guarded([&] {
    const auto chosen = links_.Dialogs.OpenDialog(".torrent files (*.torrent)|*.torrent");
    if (!chosen) return;
    const QString text = ShowName(*chosen);
    // Choosing the file already named reloads it.
    if (text == txtTorrent_->text())
      txtTorrentChange();
    else
      txtTorrent_->setText(text);
  });
}

void TViewEditPage::txtTorrentChange() {
  Guarded([&] {
    const std::string path = NameBytes(txtTorrent_->text());
    if (!IsRegularFile(path)) return;
    LoadTorrent(path);
  });
}

void TViewEditPage::LoadTorrent(const std::string& path) {
  torrent_.reset();
  TFileStream in(path, TFileMode::OpenRead);  // a failure goes to the general error report
  torrent_ = std::make_unique<TTorrentFile>();
  backupChosen_ = false;
  ShowStatus(QStringLiteral("Loading Torrent! This may take a while..."));
  try {
    torrent_->LoadFromStream(in);
    DisplayTorrent();
    if (torrent_->Files.empty()) throw std::runtime_error("no file entry");
    lstFiles_->setCurrentRow(0);
    lstFilesClick();
    txtFilesName_->setEnabled(torrent_->MultiFile);
    ShowStatus(QStringLiteral("Loading complete!"));
    btnViewSaveAs_->setEnabled(true);
    btnViewSave_->setEnabled(true);
    loadedPath_ = path;
  } catch (const std::exception&) {
    std::string errors;
    for (const auto& error : torrent_->Errors) {
      if (!errors.empty()) errors += '\n';
      errors += error;
    }
    links_.Dialogs.MessageBox(errors, "Error Loading!", TMsgButtons::Ok);
    ShowStatus(QStringLiteral("Loading error!"));
    ClearAfterFailedLoad();
  }
}

void TViewEditPage::DisplayTorrent() {
  TDisplayGuard guard(displaying_);
  const TTorrentFile& torrent = *torrent_;
  lstFiles_->clear();
  txtAnnounceURL_->setText(Utf8Text(torrent.Announce));
  txtViewName_->setText(Utf8Text(torrent.Name));
  mmoViewComment_->setPlainText(CommentForDisplay(torrent.Comment));
  lblViewSHA1_->setText(QStringLiteral("SHA1: ") + Utf8Text(torrent.InfoHashText));
  const bool hasBackup = !torrent.BackupTrackers.empty();
  chkViewBackup_->setChecked(hasBackup);
  btnViewBackupTrackers_->setEnabled(hasBackup);
  lblViewCreationDate_->setText(CreationDateText(torrent));
  for (const auto& file : torrent.Files) lstFiles_->addItem(ShowName(FileEntryText(*file)));
}

void TViewEditPage::ClearAfterFailedLoad() {
  TDisplayGuard guard(displaying_);
  lstFiles_->clear();
  txtAnnounceURL_->clear();
  txtViewName_->clear();
  mmoViewComment_->clear();
  txtFilesName_->clear();
  shownFileText_.clear();
  lblViewSHA1_->setText(QStringLiteral("SHA1:"));
  lblViewCreationDate_->setText(QStringLiteral("Creation Date:"));
  lblFilesSize_->setText(QStringLiteral("Size:"));
  torrent_.reset();
  btnViewSaveAs_->setEnabled(false);
  btnViewSave_->setEnabled(false);
}

void TViewEditPage::lstFilesClick() {
  const int row = lstFiles_->currentRow();
  if (!torrent_ || row < 0 || static_cast<std::size_t>(row) >= torrent_->Files.size()) return;
  shownFileText_ = lstFiles_->item(row)->text();
  txtFilesName_->setText(shownFileText_);
  lblFilesSize_->setText(QStringLiteral("Size: ") + QString::number(torrent_->Files[row]->Length));
}

void TViewEditPage::txtAnnounceURLChange() {
  if (displaying_ || !torrent_) return;
  torrent_->Announce = Utf8Bytes(txtAnnounceURL_->text());
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
  torrent_->Comment = Utf8Bytes(text);
}

void TViewEditPage::btnCreationDateResetClick() {
  if (!torrent_) return;
  torrent_->CreationDate = NowUtc();
  lblViewCreationDate_->setText(CreationDateText(torrent_->CreationDate));
}

void TViewEditPage::btnChangeClick() {
  Guarded([&] {
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
      links_.Dialogs.MessageBox(std::string("Cannot rename to ") + e.what(), "Error", TMsgButtons::Ok);
      return;
    }
    lstFiles_->item(row)->setText(text);
    shownFileText_ = text;
  });
}

void TViewEditPage::chkViewBackupClick() {
  if (!torrent_) return;
  if (!displaying_) backupChosen_ = true;
  btnViewBackupTrackers_->setEnabled(chkViewBackup_->isChecked());
}

void TViewEditPage::btnViewBackupTrackersClick() {
  Guarded([&] {
    if (!torrent_) return;
    if (links_.BackupList.ShowWithLines) links_.BackupList.ShowWithLines(torrent_->BackupTrackers);
    backupChosen_ = true;
  });
}

bool TViewEditPage::WriteTorrent(const std::string& path) {
  try {
    const auto& backup = links_.BackupList;
    if (backupChosen_ || !chkViewBackup_->isChecked())
      RebuildBackupTrackers(*torrent_, chkViewBackup_->isChecked(),
                            backup.Lines ? backup.Lines() : std::vector<std::string>(),
                            backup.LookupAnnounceURL);
    // Written beside the target and renamed over it, so a failed write
    // leaves the old file as it was.
    TSafeFileStream out(path);
    torrent_->SaveToStream(out, torrent_->Pieces);
    out.Commit();
  } catch (const std::exception&) {
    links_.Dialogs.MessageBox("Error writing " + path, "Error", TMsgButtons::Ok);
    return false;
  }
  ShowStatus(ShowName(path) + QStringLiteral(" written sucessfully!"));
  return true;
}

bool TViewEditPage::MaySave() {
  if (const auto damage = torrent_->DamageLines(); !damage.empty()) {
    std::string text =
        "This torrent is damaged: it was not read whole, and saving writes only what could be read. "
        "What these lines name would be lost:\n";
    for (const auto& line : damage) text += "\n" + line;
    text += "\n\nSave anyway?";
    // No is the default: a scripted or careless answer keeps the file.
    return links_.Dialogs.MessageBox(text, "Question", TMsgButtons::YesNo) == TMsgResult::Yes;
  }
  try {
    CheckTorrentName(torrent_->Name);
  } catch (const EBadFileName& e) {
    links_.Dialogs.MessageBox(std::string("Cannot save ") + e.what(), "Error", TMsgButtons::Ok);
    return false;
  }
  return true;
}

void TViewEditPage::btnViewSaveClick() {
  Guarded([&] {
    if (!torrent_) {
      links_.Dialogs.MessageBox("No torrent loaded!", "Error", TMsgButtons::Ok);
      return;
    }
    if (!MaySave()) return;
    WriteTorrent(loadedPath_);
  });
}

void TViewEditPage::btnViewSaveAsClick() {
  Guarded([&] {
    if (!torrent_) {
      links_.Dialogs.MessageBox("No torrent loaded!", "Error", TMsgButtons::Ok);
      return;
    }
    if (!MaySave()) return;
    TSaveDialogOptions options;
    options.DefaultExt = "torrent";
    options.Filter = TorrentFilter;
    options.ConfirmOverwrite = true;
    const auto chosen = links_.Dialogs.SaveDialog(options);
    if (!chosen) return;
    WriteTorrent(*chosen);
  });
}
