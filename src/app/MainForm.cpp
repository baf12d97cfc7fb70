#include "app/MainForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "app/BackupForm.h"
#include "app/CreationDriver.h"
#include "app/DirectoryListBox.h"
#include "app/DriveComboBox.h"
#include "app/ElidedLabel.h"
#include "app/FileListBox.h"
#include "app/FileNames.h"
#include "app/ProgressForm.h"
#include "app/QtDialogs.h"
#include "app/QtEventLoop.h"
#include "app/QuorvaneApplication.h"
#include "app/ViewEditPage.h"
#include "trackers/HttpListDownloader.h"
#include "trackers/PrivateTrackerEditor.h"
#include "trackers/SavedTrackers.h"
#include "trackers/TrackerCache.h"
#include "trackers/TrackerRefresh.h"

#ifndef QUORVANE_HOMEPAGE
#define QUORVANE_HOMEPAGE "http://www.quorvane.net/torrent/quorvane/"
#endif

namespace {

// Alt+letter is a mnemonic. With the button it names disabled, Qt hands the
// key to the focused box, which would type the letter into its text.
class TStrayMnemonicFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) != Qt::AltModifier) return false;
    if (key->text().isEmpty() || !key->text().front().isPrint()) return false;
    const auto* combo = qobject_cast<QComboBox*>(watched);
    return qobject_cast<QLineEdit*>(watched) || qobject_cast<QPlainTextEdit*>(watched) ||
           (combo && combo->isEditable());
  }
};

}  // namespace

template <typename F>
void TfrmQuorvane::Guarded(F&& handler) {
  ::Guarded(dialogs_, std::forward<F>(handler));
}

TfrmQuorvane::TfrmQuorvane(TDialogs& dialogs, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      settings_(SettingsFileName()),
      loop_(std::make_unique<TQtEventLoop>()),
      trackerListUrls_(DefaultTrackerListUrls()),
      privateEditor_(std::make_unique<TPrivateTrackerEditor>(PrivateTrackers, dialogs)) {
  loop_->OnHandlerException = [this](const std::exception& error) { ShowException(dialogs_, error); };
  setObjectName(QStringLiteral("frmQuorvane"));
  setWindowTitle(tr("Quorvane v2.1"));

  PageControl1 = Named(new QTabWidget(this), "PageControl1");
  PageControl1->setUsesScrollButtons(false);  // every page's tab stays in sight
  tabCreate = BuildCreatePage();
  tabViewTorrent = Named(new QWidget, "tabViewTorrent");
  tabSettings = BuildSettingsPage();
  tabAbout = BuildAboutPage();
  PageControl1->addTab(tabCreate, tr("Create Torrent"));
  PageControl1->addTab(tabViewTorrent, tr("View/Edit Torrent"));
  PageControl1->addTab(tabSettings, tr("Settings"));
  PageControl1->addTab(tabAbout, tr("Help/About"));
  setCentralWidget(PageControl1);

  StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
  statusText_ = Named(new TElidedLabel(QString(), Qt::ElideMiddle, StatusBar1), "lblStatusBar");
  StatusBar1->addWidget(statusText_, 1);
  setStatusBar(StatusBar1);

  updateTimer = Named(new QTimer(this), "updateTimer");
  updateTimer->setInterval(500);
  updateTimer->setSingleShot(true);

  // Each save replaces the file four times with an fsync (about 25 ms here);
  // a drag that resizes the window sends dozens of events a second.
  geometryTimer_ = new QTimer(this);
  geometryTimer_->setInterval(200);
  geometryTimer_->setSingleShot(true);

  SetTabOrder();
  NameControls();
  Connect();
  DirectoryListBox1Change();  // the file list follows the folder list from the start

  FormCreate(arguments);

  // Created after the main window, hidden; both live as long as it does.
  frmProgress = new TfrmProgress(AbortRequested, this);
  frmBackup = new TfrmBackup(this);

  // The "View/Edit Torrent" page opens the back-up window, so it comes last.
  viewEdit_ = new TViewEditPage(
      TViewEditLinks{dialogs_, BackupListAccess(), [this](const QString& text) { SetStatusText(text); },
                     [this](const std::exception& error) { ShowException(dialogs_, error); },
                     [this](const std::function<void(TProgress&)>& run) { return RunWithProgress(run); },
                     [this] { frmProgress->TakeKeyboard(); }},
      tabViewTorrent);
  auto* viewLayout = new QVBoxLayout(tabViewTorrent);
  viewLayout->setContentsMargins(0, 0, 0, 0);
  viewLayout->addWidget(viewEdit_);
  // The program's other windows (back-up trackers, progress) are covered too.
  qApp->installEventFilter(new TStrayMnemonicFilter(this));
  setAcceptDrops(true);  // a .torrent dropped anywhere opens on the "View/Edit Torrent" page
  if (const auto torrent = TorrentArgument(arguments)) Guarded([&] { OpenTorrent(*torrent); });

  FitMinimumSize();
  if (!autoSize_) resize(minimumSize());
}

TfrmQuorvane::~TfrmQuorvane() = default;

QWidget* TfrmQuorvane::BuildCreatePage() {
  auto* page = Named(new QWidget, "tabCreate");
  pageMode = Named(new QTabWidget(page), "pageMode");
  pageMode->setDocumentMode(true);  // flat buttons rather than a framed notebook
  pageMode->setUsesScrollButtons(false);
  QWidget* simple = BuildSimpleTab();
  QWidget* classic = BuildClassicTab();
  pageMode->addTab(simple, tr("Simple"));
  pageMode->addTab(classic, tr("Classic"));

  // Tracker, comment, piece size and the command: shared by both modes.
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  BuildTrackerRows(page, grid);
  BuildPrivateRow(page, grid);
  BuildCommentAndPieceRows(page, grid);
  grid->setColumnStretch(1, 1);

  lblCreated = Named(new QLabel(page), "lblCreated");
  lblCreated->setWordWrap(true);
  lblCreated->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblCreated->setVisible(false);
  lblCreated->installEventFilter(this);

  auto* box = new QVBoxLayout(page);
  box->setContentsMargins(6, 6, 6, 6);
  box->addWidget(pageMode, 1);
  box->addLayout(grid);
  box->addWidget(lblCreated);

  page->setAcceptDrops(true);
  page->installEventFilter(this);
  return page;
}

// "Simple": drive, folder and files.
QWidget* TfrmQuorvane::BuildSimpleTab() {
  auto* simple = Named(new QWidget, "tabSimple");
  DriveComboBox1 = Named(new TDriveComboBox(simple), "DriveComboBox1");
  DirectoryListBox1 = Named(new TDirectoryListBox(simple), "DirectoryListBox1");
  FileListBox1 = Named(new TFileListBox(simple), "FileListBox1");
  btnAll = Named(new QPushButton(tr("&All"), simple), "btnAll");
  btnNone = Named(new QPushButton(tr("&None"), simple), "btnNone");
  btnInverse = Named(new QPushButton(tr("&Inverse"), simple), "btnInverse");
  lblSimpleTip =
      Named(new QLabel(tr("Tip: Hold down CTRL to select multiple files"), simple), "lblSimpleTip");
  lblSimpleTip->setWordWrap(true);
  // Shown whole, wrapped, and selectable: the status bar would cut it and
  // the next message would replace it.
  lblSubfolderNote = Named(new QLabel(simple), "lblSubfolderNote");
  lblSubfolderNote->setWordWrap(true);
  lblSubfolderNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblSubfolderNote->setVisible(false);
  lblSubfolderNote->installEventFilter(this);

  auto* grid = new QGridLayout(simple);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setSpacing(4);
  grid->addWidget(DriveComboBox1, 0, 0);
  grid->addWidget(DirectoryListBox1, 1, 0);
  grid->addWidget(FileListBox1, 0, 1, 2, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 1);
  auto* row = new QHBoxLayout;
  row->addWidget(lblSimpleTip, 1);
  for (QPushButton* b : {btnAll, btnNone, btnInverse}) {
    b->setAutoDefault(false);
    row->addWidget(b);
  }
  grid->addLayout(row, 2, 0, 1, 2);
  grid->addWidget(lblSubfolderNote, 3, 0, 1, 2);
  return simple;
}

// "Classic": one path.
QWidget* TfrmQuorvane::BuildClassicTab() {
  auto* classic = Named(new QWidget, "tabClassic");
  txtClassicPath = Named(new QLineEdit(classic), "txtClassicPath");
  txtClassicPath->setAcceptDrops(false);  // the page takes dropped files itself
  btnClassicDir = Named(new QPushButton(tr("(&dir)"), classic), "btnClassicDir");
  btnClassicFile = Named(new QPushButton(tr("(&file)"), classic), "btnClassicFile");
  radFolder = Named(new QRadioButton(tr("1 torrent from entire fo&lder"), classic), "radFolder");
  radFile = Named(new QRadioButton(tr("1 torrent for each f&ile"), classic), "radFile");
  radFolder->setChecked(true);
  for (QPushButton* b : {btnClassicDir, btnClassicFile}) b->setAutoDefault(false);

  auto* box = new QVBoxLayout(classic);
  box->setContentsMargins(6, 6, 6, 6);
  auto* label = new QLabel(tr("File&name or Pathname:"), classic);
  label->setBuddy(txtClassicPath);
  box->addWidget(label);
  auto* row = new QHBoxLayout;
  row->addWidget(txtClassicPath, 1);
  row->addWidget(btnClassicDir);
  row->addWidget(btnClassicFile);
  box->addLayout(row);
  box->addWidget(radFolder);
  box->addWidget(radFile);
  box->addStretch(1);
  auto* group = new QButtonGroup(classic);
  group->addButton(radFolder);
  group->addButton(radFile);
  return classic;
}

// Rows 0 to 2 of the shared grid: the tracker selection, its URL and status, the back-up trackers.
void TfrmQuorvane::BuildTrackerRows(QWidget* page, QGridLayout* grid) {
  cmbAnnounceURL = Named(new QComboBox(page), "cmbAnnounceURL");
  cmbAnnounceURL->setEditable(true);
  cmbAnnounceURL->setInsertPolicy(QComboBox::NoInsert);
  cmbAnnounceURL->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cmbAnnounceURL->setMinimumContentsLength(20);
  cmbAnnounceURL->setToolTip(tr("Select the tracker that will host your file, or enter a URL manually"));
  cmbAnnounceURL->addItem(Utf8Text(TrackerWaitItem));
  cmbAnnounceURL->setCurrentIndex(-1);
  // The prompt is no entry to delete before typing: the box shows it while empty.
  cmbAnnounceURL->lineEdit()->setPlaceholderText(TranslatedMessage(TrackerPrompt));
  btnVisit = Named(new QPushButton(tr("&Visit"), page), "btnVisit");
  btnVisit->setToolTip(tr("Visit the homepage of the selected tracker"));
  lblURL = Named(new TElidedLabel(tr("URL:"), Qt::ElideRight, page), "lblURL");
  lblStatus = Named(new QLabel(tr("Status:"), page), "lblStatus");
  chkBackup = Named(new QCheckBox(tr("Bac&kup trackers"), page), "chkBackup");
  btnBackup = Named(new QPushButton(tr("Use &Backup Tracker(s)"), page), "btnBackup");
  btnBackup->setEnabled(false);
  for (QPushButton* b : {btnVisit, btnBackup}) b->setAutoDefault(false);

  auto* trackerLabel = new QLabel(tr("&Tracker:"), page);
  trackerLabel->setBuddy(cmbAnnounceURL);
  grid->addWidget(trackerLabel, 0, 0);
  grid->addWidget(cmbAnnounceURL, 0, 1);
  grid->addWidget(btnVisit, 0, 2);
  auto* statusRow = new QHBoxLayout;
  statusRow->setSpacing(12);  // a long URL is cut short of the status, never run into it
  statusRow->addWidget(lblURL, 1);
  statusRow->addWidget(lblStatus);
  grid->addLayout(statusRow, 1, 1, 1, 2);
  auto* backupRow = new QHBoxLayout;
  backupRow->addWidget(chkBackup);
  backupRow->addWidget(btnBackup);
  backupRow->addStretch(1);
  grid->addLayout(backupRow, 2, 1, 1, 2);
}

// Rows 4 and 5 of the shared grid: the comment, the piece size and the command.
void TfrmQuorvane::BuildCommentAndPieceRows(QWidget* page, QGridLayout* grid) {
  mmoComment = Named(new QPlainTextEdit(page), "mmoComment");
  mmoComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoComment->setTabChangesFocus(true);
  mmoComment->setFixedHeight(mmoComment->fontMetrics().lineSpacing() * 3 + 12);
  radAuto = Named(new QRadioButton(tr("A&uto"), page), "radAuto");
  radAuto->setToolTip(tr("Automatically Determine Piece Size (recommended)"));
  radAuto->setChecked(true);
  radCustom = Named(new QRadioButton(tr("Cu&stom:"), page), "radCustom");
  radCustom->setToolTip(tr("Use a user-specified piece size"));
  cmbPieceSize = Named(new QComboBox(page), "cmbPieceSize");
  for (const auto& choice : PieceLengthChoices) cmbPieceSize->addItem(QLatin1String(choice.DisplayName));
  cmbPieceSize->setEnabled(false);
  btnCreateTorrent = Named(new QPushButton(tr("C&reate .torrent now!"), page), "btnCreateTorrent");
  btnCreateTorrent->setToolTip(tr("Create .torrent metadata file"));
  btnCreateTorrent->setAutoDefault(false);
  auto* pieceGroup = new QButtonGroup(page);
  pieceGroup->addButton(radAuto);
  pieceGroup->addButton(radCustom);

  auto* commentLabel = new QLabel(tr("&Comment:"), page);
  commentLabel->setBuddy(mmoComment);
  grid->addWidget(commentLabel, 4, 0, Qt::AlignTop);
  grid->addWidget(mmoComment, 4, 1, 1, 2);
  auto* pieceLabel = new QLabel(tr("&Piece Size:"), page);
  pieceLabel->setBuddy(radAuto);
  grid->addWidget(pieceLabel, 5, 0);
  auto* row = new QHBoxLayout;
  row->addWidget(radAuto);
  row->addWidget(radCustom);
  row->addWidget(cmbPieceSize);
  row->addStretch(1);
  row->addWidget(btnCreateTorrent);
  grid->addLayout(row, 5, 1, 1, 2);
}

// Row 3 of the shared grid: what private trackers ask of a torrent.
void TfrmQuorvane::BuildPrivateRow(QWidget* page, QGridLayout* grid) {
  txtSource = Named(new QLineEdit(page), "txtSource");
  txtSource->setAccessibleName(tr("Source"));
  txtSource->setToolTip(tr("Written into the torrent's info: the tag some private trackers ask for"));
  lblSource = Named(new QLabel(tr("Sourc&e:"), page), "lblSource");
  lblSource->setBuddy(txtSource);
  chkPrivate = Named(new QCheckBox(tr("Private t&orrent"), page), "chkPrivate");
  chkPrivate->setToolTip(tr("Clients find peers only through the trackers: no DHT, no peer exchange"));
  cmbFormat = Named(new QComboBox(page), "cmbFormat");
  for (const auto& choice : FormatChoices)
    cmbFormat->addItem(choice.Format == TMetaFormat::Hybrid ? tr("Hybrid")
                                                            : QString(QLatin1String(choice.Key)));
  cmbFormat->setToolTip(
      tr("v1 is read by every client and tracker; v2 hashes files with SHA-256 for newer clients; "
         "Hybrid carries both, so the torrent is shared with old and new clients alike"));
  auto* formatLabel = Named(new QLabel(tr("For&mat:"), page), "lblFormat");
  formatLabel->setBuddy(cmbFormat);

  grid->addWidget(lblSource, 3, 0);
  auto* row = new QHBoxLayout;
  row->addWidget(txtSource, 1);
  row->addWidget(chkPrivate);
  row->addWidget(formatLabel);
  row->addWidget(cmbFormat);
  grid->addLayout(row, 3, 1, 1, 2);
}

QWidget* TfrmQuorvane::BuildSettingsPage() {
  auto* page = Named(new QWidget, "tabSettings");

  grpStartup = Named(new QGroupBox(tr(" Startup Mode "), page), "grpStartup");
  radSimple = Named(new QRadioButton(tr("&Simple"), grpStartup), "radSimple");
  radClassic = Named(new QRadioButton(tr("C&lassic"), grpStartup), "radClassic");
  {
    auto* box = new QVBoxLayout(grpStartup);
    box->addWidget(radSimple);
    box->addWidget(radClassic);
    box->addStretch(1);
  }
  chkRememberFolder = Named(new QCheckBox(tr("Remember last used &folder"), page), "chkRememberFolder");
  chkRememberTracker = Named(new QCheckBox(tr("Remember last used &tracker"), page), "chkRememberTracker");
  chkNoUpdate = Named(new QCheckBox(tr("Do NOT &update tracker list on startup"), page), "chkNoUpdate");
  chkAutoSave = Named(new QCheckBox(tr("Auto-sa&ve Settings on close"), page), "chkAutoSave");
  chkSkipThumbs = Named(new QCheckBox(tr("Always s&kip thumbs.db"), page), "chkSkipThumbs");

  grpPrivate = Named(new QGroupBox(tr(" Private Trackers "), page), "grpPrivate");
  lstPrivateTrackers = Named(new QListWidget(grpPrivate), "lstPrivateTrackers");
  txtPrivateName = Named(new QLineEdit(grpPrivate), "txtPrivateName");
  txtPrivateAnnounce = Named(new QLineEdit(grpPrivate), "txtPrivateAnnounce");
  txtPrivateWebsite = Named(new QLineEdit(grpPrivate), "txtPrivateWebsite");
  btnPrivateAddModify = Named(new QPushButton(TranslatedMessage("Add"), grpPrivate), "btnPrivateAddModify");
  btnPrivateDelete = Named(new QPushButton(tr("&Delete"), grpPrivate), "btnPrivateDelete");
  btnPrivateDelete->setEnabled(false);
  {
    auto* form = new QGridLayout;
    const std::pair<const char*, QLineEdit*> rows[] = {{QT_TR_NOOP("Na&me:"), txtPrivateName},
                                                       {QT_TR_NOOP("A&nnounce URL:"), txtPrivateAnnounce},
                                                       {QT_TR_NOOP("&Website URL:"), txtPrivateWebsite}};
    int r = 0;
    for (const auto& [text, edit] : rows) {
      auto* label = new QLabel(tr(text), grpPrivate);
      label->setBuddy(edit);
      form->addWidget(label, r, 0);
      form->addWidget(edit, r, 1);
      ++r;
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnPrivateAddModify);
    buttons->addWidget(btnPrivateDelete);
    form->addLayout(buttons, r, 0, 1, 2);
    form->setRowStretch(r + 1, 1);
    auto* box = new QHBoxLayout(grpPrivate);
    box->addWidget(lstPrivateTrackers, 2);
    box->addLayout(form, 3);
  }
  btnSaveSettings = Named(new QPushButton(tr("Save N&ow"), page), "btnSaveSettings");
  for (QPushButton* b : {btnPrivateAddModify, btnPrivateDelete, btnSaveSettings}) b->setAutoDefault(false);

  auto* checks = new QVBoxLayout;
  for (QCheckBox* c : {chkRememberFolder, chkRememberTracker, chkNoUpdate, chkAutoSave, chkSkipThumbs})
    checks->addWidget(c);
  checks->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addWidget(grpStartup);
  top->addLayout(checks, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(btnSaveSettings);

  auto* box = new QVBoxLayout(page);
  box->setContentsMargins(6, 6, 6, 6);
  box->addLayout(top);
  box->addWidget(grpPrivate, 1);
  box->addLayout(bottom);
  return page;
}

QWidget* TfrmQuorvane::BuildAboutPage() {
  auto* page = Named(new QWidget, "tabAbout");
  mmoAbout = Named(new QPlainTextEdit(page), "mmoAbout");
  mmoAbout->setReadOnly(true);
  mmoAbout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoAbout->setPlainText(AboutText());
  btnHomepage = Named(new QPushButton(tr("&Homepage"), page), "btnHomepage");
  btnHomepage->setAutoDefault(false);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(btnHomepage);
  auto* box = new QVBoxLayout(page);
  box->setContentsMargins(6, 6, 6, 6);
  box->addWidget(mmoAbout, 1);
  box->addLayout(bottom);
  return page;
}

void TfrmQuorvane::SetTabOrder() {
  const QList<QWidget*> create = {
      pageMode,       DriveComboBox1, DirectoryListBox1, FileListBox1,   btnAll,     btnNone,
      btnInverse,     txtClassicPath, btnClassicDir,     btnClassicFile, radFolder,  radFile,
      cmbAnnounceURL, btnVisit,       chkBackup,         btnBackup,      mmoComment, radAuto,
      radCustom,      cmbPieceSize,   btnCreateTorrent};
  const QList<QWidget*> settings = {
      radSimple,         radClassic,          chkRememberFolder,  chkRememberTracker, chkNoUpdate,
      chkAutoSave,       chkSkipThumbs,       lstPrivateTrackers, txtPrivateName,     txtPrivateAnnounce,
      txtPrivateWebsite, btnPrivateAddModify, btnPrivateDelete,   btnSaveSettings};
  const QList<QWidget*> about = {mmoAbout, btnHomepage};
  for (const QList<QWidget*>* chain : {&create, &settings, &about})
    for (qsizetype i = 0; i + 1 < chain->size(); ++i) setTabOrder(chain->at(i), chain->at(i + 1));
  // The source row sits between the back-up trackers and the comment.
  setTabOrder(btnBackup, txtSource);
  setTabOrder(txtSource, chkPrivate);
  setTabOrder(chkPrivate, cmbFormat);
  setTabOrder(cmbFormat, mmoComment);
}

// Names for screen readers where a control shows no text of its own and no
// label leads to it; and the window's keys.
void TfrmQuorvane::NameControls() {
  PageControl1->setAccessibleName(tr("Pages"));
  pageMode->setAccessibleName(tr("Creation mode"));
  chkBackup->setAccessibleName(tr("Use back-up trackers"));
  DirectoryListBox1->setAccessibleName(tr("Folders"));
  FileListBox1->setAccessibleName(tr("Files"));
  cmbPieceSize->setAccessibleName(tr("Custom piece size"));
  lstPrivateTrackers->setAccessibleName(tr("Private trackers"));
  mmoAbout->setAccessibleName(tr("Help"));
  statusText_->setAccessibleName(tr("Status"));

  auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
  connect(quit, &QShortcut::activated, this, &QWidget::close);
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, [this] { PageControl1->setCurrentWidget(tabAbout); });
  // Ctrl+Tab goes through the window's pages from wherever the focus is; left
  // to the tab widgets, it would flip Simple and Classic (and so the creation
  // mode) from some boxes.
  const int pages = PageControl1->count();
  auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
  connect(next, &QShortcut::activated, this,
          [this, pages] { PageControl1->setCurrentIndex((PageControl1->currentIndex() + 1) % pages); });
  for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)}) {
    auto* previous = new QShortcut(keys, this);
    connect(previous, &QShortcut::activated, this, [this, pages] {
      PageControl1->setCurrentIndex((PageControl1->currentIndex() + pages - 1) % pages);
    });
  }
}

void TfrmQuorvane::Connect() {
  Wire(this, DriveComboBox1, &QComboBox::activated, &TfrmQuorvane::DriveComboBox1Change);
  Wire(this, DirectoryListBox1, &TDirectoryListBox::Changed, &TfrmQuorvane::DirectoryListBox1Change);
  connect(DirectoryListBox1, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    // Entering refills the list, which deletes the item: not while its own signal runs.
    const std::string folder = DirectoryListBox1->ItemPath(item);
    QTimer::singleShot(0, this,
                       [this, folder] { Guarded([&] { DirectoryListBox1->SetDirectory(folder); }); });
  });
  Wire(this, FileListBox1, &QListWidget::currentItemChanged, &TfrmQuorvane::FileListBox1Change);
  Wire(this, btnAll, &QPushButton::clicked, &TfrmQuorvane::btnAllClick);
  Wire(this, btnNone, &QPushButton::clicked, &TfrmQuorvane::btnNoneClick);
  Wire(this, btnInverse, &QPushButton::clicked, &TfrmQuorvane::btnInverseClick);
  Wire(this, radAuto, &QRadioButton::clicked, &TfrmQuorvane::radAutoClick);
  Wire(this, radCustom, &QRadioButton::clicked, &TfrmQuorvane::radAutoClick);
  Wire(this, btnClassicFile, &QPushButton::clicked, &TfrmQuorvane::btnClassicFileClick);
  Wire(this, btnClassicDir, &QPushButton::clicked, &TfrmQuorvane::btnClassicDirClick);
  Wire(this, btnCreateTorrent, &QPushButton::clicked, &TfrmQuorvane::btnCreateTorrentClick);
  Wire(this, btnSaveSettings, &QPushButton::clicked, &TfrmQuorvane::btnSaveSettingsClick);
  Wire(this, btnHomepage, &QPushButton::clicked, &TfrmQuorvane::btnHomepageClick);
  Wire(this, updateTimer, &QTimer::timeout, &TfrmQuorvane::updateTimerTimer);
  Wire(this, cmbAnnounceURL, &QComboBox::editTextChanged, &TfrmQuorvane::cmbAnnounceURLEdited);
  Wire(this, PageControl1, &QTabWidget::currentChanged, &TfrmQuorvane::PageChanged);
  Wire(this, pageMode, &QTabWidget::currentChanged, &TfrmQuorvane::PageChanged);
  Wire(this, btnVisit, &QPushButton::clicked, &TfrmQuorvane::btnVisitClick);
  Wire(this, chkBackup, &QCheckBox::clicked, &TfrmQuorvane::chkBackupClick);
  Wire(this, btnBackup, &QPushButton::clicked, &TfrmQuorvane::btnBackupClick);
  Wire(this, lstPrivateTrackers, &QListWidget::itemSelectionChanged, &TfrmQuorvane::lstPrivateTrackersClick);
  Wire(this, txtPrivateName, &QLineEdit::textChanged, &TfrmQuorvane::txtPrivateNameChange);
  Wire(this, btnPrivateAddModify, &QPushButton::clicked, &TfrmQuorvane::btnPrivateAddModifyClick);
  Wire(this, btnPrivateDelete, &QPushButton::clicked, &TfrmQuorvane::btnPrivateDeleteClick);
  Wire(this, geometryTimer_, &QTimer::timeout, &TfrmQuorvane::SaveWindowGeometry);
}

// ---- creation and window events ----

void TfrmQuorvane::FormCreate(const QStringList& arguments) {
  // An error ends the handler early; the window is still created and shown.
  Guarded([&] {
    cmbPieceSize->setCurrentIndex(PieceLengthIndex(DefaultPieceLength));
    PageControl1->setCurrentIndex(0);
    LoadSettings();
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("-autosize")) {
      // The window takes the size its contents need and keeps it.
      autoSize_ = true;
      layout()->setSizeConstraint(QLayout::SetFixedSize);
    }
    updateTimer->start();
  });
}

void TfrmQuorvane::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TfrmQuorvane::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  Guarded([this] { FormResize(); });
}

void TfrmQuorvane::closeEvent(QCloseEvent* event) {
  // A run under way stops at its next read; closing always ends the program.
  AbortRequested = AbortRequested || progressBusy_;
  // The run stops, and the progress window must not hold the program open.
  frmProgress->SetRunUnderWay(false);
  if (geometryTimer_->isActive()) {
    geometryTimer_->stop();
    Guarded([this] { SaveWindowGeometry(); });
  }
  Guarded([this] { FormCloseQuery(); });
  event->accept();
  emit Closed();
}

void TfrmQuorvane::FormShow() { RestoreWindowGeometry(); }

// The designed size, or more when the fonts need it. An explicit minimum
// replaces the layout's own, so it must never be smaller than that.
void TfrmQuorvane::FitMinimumSize() {
  if (autoSize_) return;  // the layout fixes the size itself
  setMinimumSize(DesignSize.expandedTo(minimumSizeHint()));
}

void TfrmQuorvane::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // A new system font changes what the layouts need once they have been redone.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
    QTimer::singleShot(0, this, [this] { FitMinimumSize(); });
}

void TfrmQuorvane::FormResize() {
  // Until the stored geometry has been applied, a resize is the window's own
  // set-up and must not overwrite what the user left.
  if (geometryReady_) geometryTimer_->start();
}

// ---- the settings store ----

void TfrmQuorvane::LoadSettings() {
  chkRememberFolder->setChecked(settings_.ReadBool("settings", "rememberfolder", true));
  if (chkRememberFolder->isChecked()) {
    const std::string folder = settings_.ReadString("memory", "folder", "");
    bool entered = false;
    if (!folder.empty()) {
      // A folder that is gone is reported, and the rest of the settings still
      // load: skipping them would lose the private trackers at the next save.
      try {
        DirectoryListBox1->SetDirectory(folder);  // its change event fills the file list
        entered = true;
      } catch (const EInOutError& error) {
        ShowException(dialogs_, error);
      }
    }
    if (!entered) DirectoryListBox1Change();
  }
  chkNoUpdate->setChecked(settings_.ReadBool("settings", "noupdate", false));
  chkAutoSave->setChecked(settings_.ReadBool("settings", "autosave", true));
  chkSkipThumbs->setChecked(settings_.ReadBool("settings", "skipthumbs", true));
  chkRememberTracker->setChecked(settings_.ReadBool("settings", "remembertracker", true));
  switch (settings_.ReadInteger("settings", "startup", 0)) {
    case 0:
      radSimple->setChecked(true);
      pageMode->setCurrentIndex(0);
      break;
    case 1:
      radClassic->setChecked(true);
      pageMode->setCurrentIndex(1);
      break;
    default:
      break;
  }
  PrivateTrackers = LoadPrivateTrackers(settings_);
  privateEditor_->Reload();
  SyncPrivateTrackers();
  chkPrivate->setChecked(settings_.ReadBool("memory", "private", false));
  sourceBytes_ = settings_.ReadString("memory", "source", "");
  sourceShown_ = Utf8Text(sourceBytes_);
  txtSource->setText(sourceShown_);
  const std::string format = settings_.ReadString("memory", "format", FormatChoices.front().Key);
  for (size_t i = 0; i < FormatChoices.size(); ++i)
    if (format == FormatChoices[i].Key) cmbFormat->setCurrentIndex(static_cast<int>(i));
}

void TfrmQuorvane::SaveSettings() {
  settings_.WriteBool("settings", "rememberfolder", chkRememberFolder->isChecked());
  settings_.WriteBool("settings", "remembertracker", chkRememberTracker->isChecked());
  settings_.WriteBool("settings", "noupdate", chkNoUpdate->isChecked());
  settings_.WriteBool("settings", "autosave", chkAutoSave->isChecked());
  settings_.WriteBool("settings", "skipthumbs", chkSkipThumbs->isChecked());
  if (radSimple->isChecked())
    settings_.WriteInteger("settings", "startup", 0);
  else if (radClassic->isChecked())
    settings_.WriteInteger("settings", "startup", 1);
  settings_.WriteInteger("private", "count", lstPrivateTrackers->count());
  for (int i = 0; i < lstPrivateTrackers->count(); ++i) {
    const std::string section = "private" + std::to_string(i);
    const std::string name = PrivateTrackerItemName(i);
    const int index = FindPrivateTracker(name);
    // An entry without a record keeps its name, so no stale section is counted in.
    const TTracker tracker =
        index >= 0 ? PrivateTrackers[static_cast<size_t>(index)] : TTracker{name, "", "", false};
    settings_.WriteString(section, "name", tracker.Name);
    settings_.WriteString(section, "announce", tracker.Announce);
    settings_.WriteString(section, "webpage", tracker.Webpage);
  }
}

void TfrmQuorvane::btnSaveSettingsClick() {
  SaveSettings();
  updateTimer->start();
}

bool TfrmQuorvane::FormCloseQuery() {
  if (chkRememberFolder->isChecked())
    settings_.WriteString("memory", "folder", DirectoryListBox1->Directory());
  if (chkRememberTracker->isChecked()) settings_.WriteString("memory", "tracker", TrackerTextBytes());
  settings_.WriteBool("memory", "private", chkPrivate->isChecked());
  settings_.WriteString("memory", "source", SourceBytes());
  settings_.WriteString("memory", "format",
                        FormatChoices[static_cast<size_t>(cmbFormat->currentIndex())].Key);
  if (chkAutoSave->isChecked()) SaveSettings();
  return true;
}

void TfrmQuorvane::SaveWindowGeometry() {
  const QRect r = geometry();
  settings_.WriteInteger("window", "left", r.left());
  settings_.WriteInteger("window", "top", r.top());
  settings_.WriteInteger("window", "width", r.width());
  settings_.WriteInteger("window", "height", r.height());
}

void TfrmQuorvane::RestoreWindowGeometry() {
  const int width = settings_.ReadInteger("window", "width", 460);
  const int height = settings_.ReadInteger("window", "height", 427);
  const int top = settings_.ReadInteger("window", "top", 144);
  const int left = settings_.ReadInteger("window", "left", 227);
  geometryReady_ = true;
  if (autoSize_)
    move(left, top);  // the contents decide the size
  else
    setGeometry(left, top, std::max(width, minimumWidth()), std::max(height, minimumHeight()));
}

int TfrmQuorvane::FindPrivateTracker(const std::string& name) const {
  return ::FindPrivateTracker(PrivateTrackers, name);
}

std::string TfrmQuorvane::PrivateTrackerItemName(int row) const {
  const QListWidgetItem* item = lstPrivateTrackers->item(row);
  if (!item) return {};
  const QVariant bytes = item->data(Qt::UserRole);
  return bytes.isValid() ? Bytes(bytes.toByteArray()) : Utf8Bytes(item->text());
}

// ---- the "Create Torrent" page ----

void TfrmQuorvane::DriveComboBox1Change() { DirectoryListBox1->SetDirectory(DriveComboBox1->Drive()); }

void TfrmQuorvane::DirectoryListBox1Change() {
  FileListBox1->SetDirectory(DirectoryListBox1->Directory());
  DriveComboBox1->SelectFor(DirectoryListBox1->Directory());
  FileListBox1Change();
  const QString note = SubfolderNote(DirectoryListBox1->Directory());
  lblSubfolderNote->setText(note);
  lblSubfolderNote->setVisible(!note.isEmpty());
  FitWrappedLine(lblSubfolderNote);
}

// "Simple" takes the files shown, never those below: say so, or a torrent of
// an album folder silently lacks its CD1/ and CD2/.
QString TfrmQuorvane::SubfolderNote(const std::string& folder) {
  // A folder high up (the root, a home folder) is not walked to its end.
  constexpr int64_t MostFiles = 10000;
  constexpr int64_t MostEntries = 4 * MostFiles;
  namespace fs = std::filesystem;
  std::error_code error;
  fs::recursive_directory_iterator walk(fs::path(folder), fs::directory_options::skip_permission_denied,
                                        error);
  int64_t files = 0;
  int64_t entries = 0;
  for (const fs::recursive_directory_iterator end;
       !error && walk != end && files <= MostFiles && entries <= MostEntries; walk.increment(error)) {
    ++entries;
    if (walk.depth() > 0 && walk->is_regular_file(error)) ++files;
  }
  if (files == 0) return {};
  if (files > MostFiles)
    return tr("More than %1 files in subfolders are not included: the Classic mode takes the whole folder")
        .arg(MostFiles);
  return files == 1 ? tr("1 file in a subfolder is not included: the Classic mode takes the whole folder")
                    : tr("%1 files in subfolders are not included: the Classic mode takes the whole folder")
                          .arg(files);
}

void TfrmQuorvane::FileListBox1Change() {
  const int row = FileListBox1->currentRow();
  if (row < 0)
    SetStatusText(QString());
  else
    SetStatusText(ShowName(JoinPath(FileListBox1->Directory(), FileListBox1->FileName(row))));
}

void TfrmQuorvane::btnAllClick() {
  if (FileListBox1->count() > 0) FileListBox1->selectAll();
}

void TfrmQuorvane::btnNoneClick() {
  if (FileListBox1->count() > 0) FileListBox1->clearSelection();
}

void TfrmQuorvane::btnInverseClick() {
  for (int row = 0; row < FileListBox1->count(); ++row)
    FileListBox1->item(row)->setSelected(!FileListBox1->item(row)->isSelected());
}

void TfrmQuorvane::radAutoClick() { cmbPieceSize->setEnabled(!radAuto->isChecked()); }

// The choosers open where the path points, or at the "Simple" page's folder.
std::string TfrmQuorvane::ClassicStartFolder() const {
  const std::string folder = StartFolderFor(NameBytes(txtClassicPath->text()));
  return folder.empty() ? DirectoryListBox1->Directory() : folder;
}

void TfrmQuorvane::btnClassicFileClick() {
  if (const auto file = dialogs_.OpenDialogAt("All Files (*.*)|*.*", ClassicStartFolder()))
    txtClassicPath->setText(ShowName(*file));
}

void TfrmQuorvane::btnClassicDirClick() {
  if (const auto folder = dialogs_.PickFolderAt("Select a directory to hash", ClassicStartFolder()))
    txtClassicPath->setText(ShowName(*folder));
}

void TfrmQuorvane::btnCreateTorrentClick() {
  bool ran = false;
  RunWithProgress([this, &ran](TProgress& progress) {
    SetStatusText(QString());  // what the status said belongs to an earlier action
    lblCreated->clear();
    lblCreated->setVisible(false);
    TCreationDriver driver(dialogs_, progress);
    TCreationInput& in = driver.Input;
    in.TrackerText = TrackerTextBytes();
    // The status follows the list loaded since the text was typed.
    in.TrackerStatus = ResolveTracker().Status;
    in.Mode = pageMode->currentIndex() == 1 ? TCreateMode::Classic : TCreateMode::Simple;
    in.SimpleFolder = DirectoryListBox1->Directory();
    for (int row = 0; row < FileListBox1->count(); ++row)
      in.SimpleFiles.push_back({FileListBox1->FileName(row), FileListBox1->item(row)->isSelected()});
    in.ClassicPath = NameBytes(txtClassicPath->text());
    in.ClassicWholeFolder = radFolder->isChecked();
    in.AutoPieceSize = radAuto->isChecked();
    in.PieceLength = PieceLengthAt(cmbPieceSize->currentIndex());
    QString comment = mmoComment->toPlainText();
    comment.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    in.Comment = Utf8Bytes(comment);
    in.Backup = chkBackup->isChecked();
    in.SkipThumbs = chkSkipThumbs->isChecked();
    in.Private = chkPrivate->isChecked();
    in.Source = SourceBytes();
    in.Format = FormatChoices[static_cast<size_t>(cmbFormat->currentIndex())].Format;
    driver.SetClassicPath = [this](const std::string& path) { txtClassicPath->setText(ShowName(path)); };
    driver.GetAnnounceURL = [this](const std::string&) { return ResolveTracker(); };
    driver.ResolveBackupTrackers = [this] { return ResolveBackupTrackers(); };
    // A file that cannot be read is reported as in the other modes, where its size is read first.
    driver.ReportFailure = [this](const std::string& message) {
      ShowException(dialogs_, std::runtime_error(message));
    };
    driver.btnCreateTorrentClick();
    const TCreationResult& result = driver.Result();
    const QString created = CreatedText(result.Created);
    lblCreated->setText(created);
    lblCreated->setVisible(!created.isEmpty());
    FitWrappedLine(lblCreated);
    ran = result.Aborted > 0 || result.Failed || !result.Created.empty();
  });
  // The boxes after a run (an abort, a failure) took the keyboard: the
  // progress window gets it back, so Escape or Return closes it.
  if (ran) frmProgress->TakeKeyboard();
}

QString TfrmQuorvane::CreatedText(const std::vector<TCreatedTorrent>& created) {
  if (created.empty()) return {};
  QString text = CreatedHashText(created);
  // A torrent without a tracker is no fault, but it is found by other means.
  if (created.front().Trackerless)
    return text + QStringLiteral("; ") + tr("no tracker (DHT, peer exchange or web seeds)");
  return text;
}

QString TfrmQuorvane::CreatedHashText(const std::vector<TCreatedTorrent>& created) {
  if (created.size() > 1) {
    const QString folder = QFileInfo(ShowName(created.back().Path)).path();
    return tr("Created %1 torrents in %2").arg(created.size()).arg(folder);
  }
  const TCreatedTorrent& torrent = created.front();
  const QString size = QLocale().formattedDataSize(torrent.Bytes, 1, QLocale::DataSizeIecFormat);
  const QString path = ShowName(torrent.Path), hash = Utf8Text(torrent.InfoHashText),
                hashV2 = Utf8Text(torrent.InfoHashV2Text);
  const bool oneFile = torrent.FileCount == 1;
  if (hashV2.isEmpty())
    return oneFile ? tr("Created %1 (1 file, %2, info hash %3)").arg(path, size, hash)
                   : tr("Created %1 (%2 files, %3, info hash %4)")
                         .arg(path)
                         .arg(torrent.FileCount)
                         .arg(size, hash);
  // Swarms know a hybrid by either hash, a v2-only torrent by its v2 hash alone.
  if (hash.isEmpty())
    return oneFile ? tr("Created %1 (1 file, %2, info hash v2 %3)").arg(path, size, hashV2)
                   : tr("Created %1 (%2 files, %3, info hash v2 %4)")
                         .arg(path)
                         .arg(torrent.FileCount)
                         .arg(size, hashV2);
  return oneFile ? tr("Created %1 (1 file, %2, info hash %3, info hash v2 %4)").arg(path, size, hash, hashV2)
                 : tr("Created %1 (%2 files, %3, info hash %4, info hash v2 %5)")
                       .arg(path)
                       .arg(torrent.FileCount)
                       .arg(size, hash, hashV2);
}

bool TfrmQuorvane::RunWithProgress(const std::function<void(TProgress&)>& run) {
  // One run at a time: a press while hashing pumps events is ignored.
  if (progressBusy_) return false;
  progressBusy_ = true;
  frmProgress->SetRunUnderWay(true);
  struct TEndRun {
    bool& busy;
    TfrmProgress& progress;
    ~TEndRun() {
      busy = false;
      progress.SetRunUnderWay(false);
    }
  } endRun{progressBusy_, *frmProgress};
  run(*frmProgress);
  return true;
}

void TfrmQuorvane::DropPaths(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  if (pageMode->currentIndex() == 1) {
    txtClassicPath->setText(ShowName(paths.front()));
    return;
  }
  const QFileInfo first(ShowName(paths.front()));
  if (paths.size() == 1 && first.isDir()) {
    DirectoryListBox1->SetDirectory(paths.front());
    return;
  }
  const std::string folder = NameBytes(first.absolutePath());
  DirectoryListBox1->SetDirectory(folder);
  std::vector<std::string> names;
  for (const std::string& path : paths) {
    const QFileInfo info(ShowName(path));
    if (NameBytes(info.absolutePath()) == DirectoryListBox1->Directory())
      names.push_back(NameBytes(info.fileName()));
  }
  FileListBox1->SelectNames(names);
}

std::optional<std::string> TfrmQuorvane::TorrentArgument(const QStringList& arguments) {
  qsizetype at = 1;
  if (arguments.size() > at && arguments.at(at) == QLatin1String("-autosize")) ++at;
  if (arguments.size() <= at || arguments.at(at).isEmpty()) return std::nullopt;
  const QString& argument = arguments.at(at);
  // File managers may hand over a URL instead of a path.
  const QUrl url(argument);
  return NameBytes(url.isLocalFile() ? url.toLocalFile() : argument);
}

void TfrmQuorvane::OpenTorrent(const std::string& path) {
  // An argument that names no file (an option in the wrong case, say) leaves the page alone.
  if (!QFileInfo(ShowName(path)).isFile()) {
    SetStatusText(tr("Cannot open %1: no such file").arg(ShowName(path)));
    return;
  }
  PageControl1->setCurrentWidget(tabViewTorrent);
  viewEdit_->OpenTorrent(path);
}

namespace {

// The local files a drag carries; empty when it carries anything else.
std::vector<std::string> DraggedPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    paths.push_back(NameBytes(url.toLocalFile()));
  }
  return paths;
}

bool IsTorrentName(const std::string& path) {
  return ShowName(path).endsWith(QLatin1String(".torrent"), Qt::CaseInsensitive);
}

// Outside the "Create Torrent" page the window takes one file, which it opens
// as a torrent.
void AcceptOneFile(QDragMoveEvent* event) {
  if (DraggedPaths(event->mimeData()).size() == 1) event->acceptProposedAction();
}

}  // namespace

void TfrmQuorvane::dragEnterEvent(QDragEnterEvent* event) { AcceptOneFile(event); }

void TfrmQuorvane::dragMoveEvent(QDragMoveEvent* event) { AcceptOneFile(event); }

void TfrmQuorvane::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = DraggedPaths(event->mimeData());
  if (paths.size() != 1) return;
  event->acceptProposedAction();
  Guarded([&] { OpenTorrent(paths.front()); });
}

bool TfrmQuorvane::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == lblCreated || watched == lblSubfolderNote) &&
      (event->type() == QEvent::Resize || event->type() == QEvent::Show))
    FitWrappedLine(static_cast<QLabel*>(watched));
  if (watched != tabCreate) return QMainWindow::eventFilter(watched, event);
  if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
    auto* drag = static_cast<QDropEvent*>(event);
    if (DraggedPaths(drag->mimeData()).empty()) return false;
    drag->acceptProposedAction();
    return true;
  }
  if (event->type() == QEvent::Drop) {
    auto* drop = static_cast<QDropEvent*>(event);
    const std::vector<std::string> paths = DraggedPaths(drop->mimeData());
    // One .torrent is opened, not hashed.
    if (paths.size() == 1 && IsTorrentName(paths.front()))
      Guarded([&] { OpenTorrent(paths.front()); });
    else
      Guarded([&] { DropPaths(paths); });
    drop->acceptProposedAction();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- timer, home page, status bar ----

void TfrmQuorvane::updateTimerTimer() {
  updateTimer->stop();
  if (!refresh_) {
    TTrackerRefreshEvents events;
    events.Status = [this](const std::string& text) { SetStatusText(TranslatedMessage(text)); };
    events.FillSelection = [this](const std::vector<std::string>& names) { FillSelection(names); };
    events.OpenUrl = [](const std::string& url) {
      if (IsBrowsableUrl(url)) QDesktopServices::openUrl(QUrl(Utf8Text(url)));
    };
    events.ErrorReport = [this](const std::string& message) {
      ShowException(dialogs_, std::runtime_error(message));
    };
    events.NoUpdate = [this] { return chkNoUpdate->isChecked(); };
    events.RememberedTracker = [this]() -> std::optional<std::string> {
      if (!chkRememberTracker->isChecked()) return std::nullopt;
      return settings_.ReadString("memory", "tracker", TrackerPrompt);
    };
    events.Finished = [this](TRefreshOutcome outcome) {
      listOffline_ = outcome == TRefreshOutcome::DownloadFailed;
      // The remembered tracker was resolved before the outcome was known.
      if (listOffline_ && lblStatus->text() == TranslatedMessage(TrackerStatusText(TTrackerStatus::Up)))
        lblStatus->setText(OfflineUpText());
      else if (!listOffline_ && lblStatus->text() == OfflineUpText())
        ResolveTracker();
    };
    events.SetTrackerText = [this](const std::string& text) {
      {
        const QSignalBlocker block(cmbAnnounceURL);
        trackerPrompt_ = text == TrackerPrompt;
        ShowTrackerText(trackerPrompt_ ? QString() : Utf8Text(text));
      }
      cmbAnnounceURL2Change();
    };
    refresh_ = std::make_unique<TTrackerRefresh>(
        Trackers, PrivateTrackers, TTrackerCache::Installed(), trackerListUrls_,
        std::make_unique<THttpListDownloader>(*loop_), dialogs_, std::move(events));
  }
  refresh_->Run();
}

void TfrmQuorvane::SetTrackerListUrls(std::vector<std::string> urls) {
  trackerListUrls_ = std::move(urls);
  // A refresh under way finishes with the addresses it has.
  if (refresh_ && !refresh_->Busy()) refresh_.reset();
}

void TfrmQuorvane::FillSelection(const std::vector<std::string>& names) {
  // The items change, the text stays: clearing an editable combo empties it.
  const QSignalBlocker block(cmbAnnounceURL);
  const QString text = cmbAnnounceURL->currentText();
  cmbAnnounceURL->clear();
  for (const std::string& name : names) cmbAnnounceURL->addItem(Utf8Text(name), ToByteArray(name));
  cmbAnnounceURL->setCurrentIndex(-1);
  ShowTrackerText(text);
}

void TfrmQuorvane::ShowTrackerText(const QString& text) {
  cmbAnnounceURL->setEditText(text);
  // A text longer than the box shows its start (the prompt reads from there),
  // unless the user is typing in it.
  if (!cmbAnnounceURL->hasFocus()) cmbAnnounceURL->lineEdit()->setCursorPosition(0);
}

std::string TfrmQuorvane::TrackerTextBytes() const {
  if (trackerPrompt_ && cmbAnnounceURL->currentText().isEmpty()) return TrackerPrompt;
  return TypedTrackerBytes();
}

std::string TfrmQuorvane::TypedTrackerBytes() const {
  const QString text = cmbAnnounceURL->currentText();
  int index = cmbAnnounceURL->currentIndex();
  if (index < 0 || cmbAnnounceURL->itemText(index) != text)
    index = cmbAnnounceURL->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (index >= 0) {
    const QVariant bytes = cmbAnnounceURL->itemData(index);
    if (bytes.isValid()) return Bytes(bytes.toByteArray());
  }
  return Utf8Bytes(text);
}

TAnnounceResolution TfrmQuorvane::ResolveTracker() {
  TAnnounceResolution resolution = ::GetAnnounceURL(Trackers, TypedTrackerBytes());
  btnVisit->setEnabled(resolution.VisitEnabled);
  // Offline, the list's "up" is only what it said when it was cached; "down" still asks.
  if (listOffline_ && resolution.Status == TTrackerStatus::Up)
    lblStatus->setText(OfflineUpText());
  else
    lblStatus->setText(TranslatedMessage(TrackerStatusText(resolution.Status)));
  return resolution;
}

std::string TfrmQuorvane::GetAnnounceURL() { return ResolveTracker().URL; }

std::string TfrmQuorvane::LookupAnnounceURL(const std::string& name) const {
  return ::LookupAnnounceURL(Trackers, name);
}

QString TfrmQuorvane::OfflineUpText() { return tr("Status: N/A (offline)"); }

void TfrmQuorvane::cmbAnnounceURLEdited() {
  // Emptied, the box shows the prompt again, and means it: a private
  // torrent without a tracker must not come of a cleared box.
  trackerPrompt_ = cmbAnnounceURL->currentText().isEmpty();
  cmbAnnounceURL2Change();
}

void TfrmQuorvane::cmbAnnounceURL2Change() { lblURL->setText(tr("URL: %1").arg(Utf8Text(GetAnnounceURL()))); }

void TfrmQuorvane::btnVisitClick() {
  for (const std::string& page : VisitPages(Trackers, TypedTrackerBytes()))
    QDesktopServices::openUrl(QUrl(Utf8Text(page)));
}

// ---- back-up trackers ----

void TfrmQuorvane::chkBackupClick() { btnBackup->setEnabled(chkBackup->isChecked()); }

void TfrmQuorvane::btnBackupClick() { frmBackup->ShowWithTrackers(TrackerNames(Trackers)); }

std::vector<std::string> TfrmQuorvane::ResolveBackupTrackers() const {
  return frmBackup->Backup.ResolveBackupTrackers(Trackers);
}

TBackupListAccess TfrmQuorvane::BackupListAccess() {
  TBackupListAccess access;
  access.Lines = [this] { return frmBackup->Backup.Entries; };
  access.ShowWithLines = [this](const std::vector<std::string>& lines) {
    frmBackup->AssignEntries(lines);
    btnBackupClick();
  };
  access.LookupAnnounceURL = [this](const std::string& name) { return LookupAnnounceURL(name); };
  return access;
}

// ---- the private tracker editor ----

void TfrmQuorvane::SyncPrivateTrackers() {
  const QSignalBlocker block(lstPrivateTrackers);
  lstPrivateTrackers->clear();
  for (const std::string& name : privateEditor_->Items) {
    auto* item = new QListWidgetItem(Utf8Text(name), lstPrivateTrackers);
    item->setData(Qt::UserRole, ToByteArray(name));
  }
  if (privateEditor_->Selected >= 0 && privateEditor_->Selected < lstPrivateTrackers->count())
    lstPrivateTrackers->setCurrentRow(privateEditor_->Selected);
}

void TfrmQuorvane::lstPrivateTrackersClick() {
  const QList<QListWidgetItem*> selected = lstPrivateTrackers->selectedItems();
  const int row = selected.isEmpty() ? -1 : lstPrivateTrackers->row(selected.front());
  const TPrivateTrackerEditor::TClickResult result = privateEditor_->Click(row);
  btnPrivateDelete->setEnabled(result.DeleteEnabled);
  if (result.Fill) {
    privateNameShown_ = Utf8Text(result.Fill->Name);
    privateNameBytes_ = result.Fill->Name;
    txtPrivateName->setText(privateNameShown_);
    txtPrivateAnnounce->setText(Utf8Text(result.Fill->Announce));
    txtPrivateWebsite->setText(Utf8Text(result.Fill->Webpage));
  }
  if (result.Caption) btnPrivateAddModify->setText(TranslatedMessage(*result.Caption));
}

std::string TfrmQuorvane::PrivateNameBytes() const {
  // A name filled in from a record keeps its bytes until the user edits it.
  const QString text = txtPrivateName->text();
  return text == privateNameShown_ ? privateNameBytes_ : Utf8Bytes(text);
}

std::string TfrmQuorvane::SourceBytes() const {
  const QString text = txtSource->text();
  return text == sourceShown_ ? sourceBytes_ : Utf8Bytes(text);
}

void TfrmQuorvane::txtPrivateNameChange() {
  btnPrivateAddModify->setText(TranslatedMessage(privateEditor_->CaptionFor(PrivateNameBytes())));
}

void TfrmQuorvane::btnPrivateAddModifyClick() {
  if (!privateEditor_->AddModify(PrivateNameBytes(), Utf8Bytes(txtPrivateAnnounce->text()),
                                 Utf8Bytes(txtPrivateWebsite->text())))
    return;
  btnPrivateAddModify->setText(TranslatedMessage("Modify"));
  SyncPrivateTrackers();
}

void TfrmQuorvane::btnPrivateDeleteClick() {
  if (!privateEditor_->Delete(PrivateNameBytes())) return;
  SyncPrivateTrackers();
  lstPrivateTrackersClick();
}

void TfrmQuorvane::btnHomepageClick() {
  const QUrl url(QStringLiteral(QUORVANE_HOMEPAGE));
  const QString scheme = url.scheme().toLower();
  if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
    QDesktopServices::openUrl(url);
}

// A wrapped line needs more height the narrower it is; the layouts do not
// ask, and would cut its last lines at the window's smallest size.
void TfrmQuorvane::FitWrappedLine(QLabel* label) {
  // Until the window lays it out, its width is no guide.
  const int need = label->text().isEmpty() || !label->isVisible() ? 0 : label->heightForWidth(label->width());
  if (need == label->minimumHeight()) return;
  label->setMinimumHeight(need);
  QTimer::singleShot(0, this, [this] { FitMinimumSize(); });
}

void TfrmQuorvane::PageChanged() {
  SetStatusText(QString());
  // Back on "Simple", the bar shows its current file again.
  if (PageControl1->currentWidget() == tabCreate && pageMode->currentIndex() == 0) FileListBox1Change();
}

void TfrmQuorvane::SetStatusText(const QString& text) { statusText_->setText(text); }

QString TfrmQuorvane::StatusText() const { return statusText_->text(); }
