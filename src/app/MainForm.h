#pragma once
// TfrmQuorvane: the main window with its four pages ("Create Torrent",
// "View/Edit Torrent", "Settings", "Help/About"), the settings store and the
// "Create Torrent" page's choosers and commands.

#include <QMainWindow>
#include <QSize>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "base/ProfileFile.h"
#include "metainfo/TorrentFile.h"
#include "trackers/TrackerList.h"

struct TBackupListAccess;
struct TCreatedTorrent;

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class QTimer;
class QWidget;
class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;
class TPrivateTrackerEditor;
class TProgress;
class TQtEventLoop;
class TTrackerRefresh;
class TViewEditPage;
class TfrmBackup;
class TfrmProgress;

class TfrmQuorvane : public QMainWindow {
  Q_OBJECT
 public:
  // arguments as the program got them (the program's name first).
  TfrmQuorvane(TDialogs& dialogs, const QStringList& arguments, QWidget* parent = nullptr);
  ~TfrmQuorvane() override;

  // Window events.
  void FormCreate(const QStringList& arguments);
  void FormShow();
  void FormResize();
  bool FormCloseQuery();
  // The window's minimum: the designed size, or what the layouts need at the
  // current fonts when that is more.
  void FitMinimumSize();
  static constexpr QSize DesignSize{460, 483};

  // The settings store.
  void LoadSettings();
  void SaveSettings();
  void SaveWindowGeometry();
  void RestoreWindowGeometry();
  void btnSaveSettingsClick();
  const TProfileFile& Settings() const { return settings_; }

  // The "Create Torrent" page.
  void DriveComboBox1Change();
  void DirectoryListBox1Change();
  void FileListBox1Change();
  // What the "Simple" page says of a folder whose subfolders hold files: it
  // leaves those out. Empty when there are none.
  static QString SubfolderNote(const std::string& folder);
  void btnAllClick();
  void btnNoneClick();
  void btnInverseClick();
  void radAutoClick();
  void btnClassicFileClick();
  void btnClassicDirClick();
  void btnCreateTorrentClick();
  // Files or a folder dropped on the page: on "Simple" the files' folder is
  // shown and they are selected, on "Classic" the first path goes to the box.
  void DropPaths(const std::vector<std::string>& paths);
  // Shows the "View/Edit Torrent" page and loads path there.
  void OpenTorrent(const std::string& path);
  // The file named on the command line after an optional "-autosize", if any.
  static std::optional<std::string> TorrentArgument(const QStringList& arguments);
  // Runs a long operation (a creation, a verify) with the progress window;
  // false, running nothing, while another run has it.
  bool RunWithProgress(const std::function<void(TProgress&)>& run);
  // The status after a create: where the torrent went and what it holds.
  static QString CreatedText(const std::vector<TCreatedTorrent>& created);

  // The tracker-list refresh, run once by updateTimer.
  void updateTimerTimer();
  void btnHomepageClick();
  // The list's addresses, the primary first; taken by the next refresh that
  // starts (tests point them at a server of their own).
  void SetTrackerListUrls(std::vector<std::string> urls);
  const std::vector<std::string>& TrackerListUrls() const { return trackerListUrls_; }
  // The refresh of the tracker list; null before the first one.
  TTrackerRefresh* Refresh() const { return refresh_.get(); }
  TQtEventLoop& EventLoop() const { return *loop_; }

  // The tracker selection.
  // Resolves cmbAnnounceURL's text and shows the result in lblStatus and btnVisit.
  TAnnounceResolution ResolveTracker();
  std::string GetAnnounceURL();
  std::string LookupAnnounceURL(const std::string& name) const;
  // lblStatus for a tracker the list marks up while the list could not be
  // downloaded: the mark is as old as the cached list.
  static QString OfflineUpText();
  void cmbAnnounceURL2Change();
  // The user changed the box's text: emptied, it shows the prompt again.
  void cmbAnnounceURLEdited();
  void btnVisitClick();
  // cmbAnnounceURL's text as bytes: a listed name's own bytes, else the typed
  // text; TrackerPrompt while the box is empty and shows it.
  std::string TrackerTextBytes() const;

  // The back-up trackers.
  void chkBackupClick();
  void btnBackupClick();
  std::vector<std::string> ResolveBackupTrackers() const;
  // The back-up list and its window, for the "View/Edit Torrent" page.
  TBackupListAccess BackupListAccess();

  // The private tracker editor of the "Settings" page.
  void lstPrivateTrackersClick();
  void txtPrivateNameChange();
  void btnPrivateAddModifyClick();
  void btnPrivateDeleteClick();

  // Index of the last private tracker named name, or -1.
  int FindPrivateTracker(const std::string& name) const;
  // lstPrivateTrackers keeps each name's bytes beside the text it shows.
  std::string PrivateTrackerItemName(int row) const;

  // A page or a creation mode was chosen: what the status bar said belongs to the last one.
  void PageChanged();
  void SetStatusText(const QString& text);
  QString StatusText() const;
  bool AutoSize() const { return autoSize_; }

  TfrmProgress* frmProgress = nullptr;
  TfrmBackup* frmBackup = nullptr;

  // The abort request of a creation run, set by the progress window.
  bool AbortRequested = false;
  std::vector<TTracker> Trackers;
  std::vector<TTracker> PrivateTrackers;

  // Controls, named as in the design (their Qt object names are the same).
  QTabWidget* PageControl1;
  QWidget* tabCreate;
  QWidget* tabViewTorrent;
  QWidget* tabSettings;
  QWidget* tabAbout;

  QTabWidget* pageMode;
  TDriveComboBox* DriveComboBox1;
  TDirectoryListBox* DirectoryListBox1;
  TFileListBox* FileListBox1;
  QPushButton* btnAll;
  QPushButton* btnNone;
  QPushButton* btnInverse;
  QLabel* lblSimpleTip;
  QLabel* lblSubfolderNote;  // what "Simple" leaves out of the folder; hidden when nothing
  QLineEdit* txtClassicPath;
  QPushButton* btnClassicDir;
  QPushButton* btnClassicFile;
  QRadioButton* radFolder;
  QRadioButton* radFile;
  QComboBox* cmbAnnounceURL;
  QPushButton* btnVisit;
  QLabel* lblURL;
  QLabel* lblStatus;
  QCheckBox* chkBackup;
  QPushButton* btnBackup;
  QLabel* lblSource;
  QLineEdit* txtSource;
  QCheckBox* chkPrivate;
  QComboBox* cmbFormat;  // v1, Hybrid, v2: in FormatChoices' order
  QPlainTextEdit* mmoComment;
  QRadioButton* radAuto;
  QRadioButton* radCustom;
  QComboBox* cmbPieceSize;
  QPushButton* btnCreateTorrent;
  QLabel* lblCreated;  // what the last create wrote; hidden until one did

  QGroupBox* grpStartup;
  QRadioButton* radSimple;
  QRadioButton* radClassic;
  QCheckBox* chkRememberFolder;
  QCheckBox* chkRememberTracker;
  QCheckBox* chkNoUpdate;
  QCheckBox* chkAutoSave;
  QCheckBox* chkSkipThumbs;
  QGroupBox* grpPrivate;
  QListWidget* lstPrivateTrackers;
  QLineEdit* txtPrivateName;
  QLineEdit* txtPrivateAnnounce;
  QLineEdit* txtPrivateWebsite;
  QPushButton* btnPrivateAddModify;
  QPushButton* btnPrivateDelete;
  QPushButton* btnSaveSettings;

  QPlainTextEdit* mmoAbout;
  QPushButton* btnHomepage;

  QStatusBar* StatusBar1;
  QTimer* updateTimer;

 signals:
  // The window was closed: the program ends.
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static QString CreatedHashText(const std::vector<TCreatedTorrent>& created);
  void FitWrappedLine(QLabel* label);
  QWidget* BuildCreatePage();
  QWidget* BuildSimpleTab();
  QWidget* BuildClassicTab();
  void BuildTrackerRows(QWidget* page, QGridLayout* grid);
  void BuildCommentAndPieceRows(QWidget* page, QGridLayout* grid);
  void BuildPrivateRow(QWidget* page, QGridLayout* grid);
  QWidget* BuildSettingsPage();
  QWidget* BuildAboutPage();
  void SetTabOrder();
  void NameControls();
  std::string ClassicStartFolder() const;
  void Connect();
  // Runs a handler; what it throws goes to the general error report.
  template <typename F>
  void Guarded(F&& handler);
  template <typename Page, typename Sender, typename Signal>
  friend void Wire(Page* page, Sender* sender, Signal signal, void (Page::*handler)());
  // Shows the private tracker editor's entries in lstPrivateTrackers.
  void SyncPrivateTrackers();
  std::string PrivateNameBytes() const;
  // txtSource's text as bytes: the remembered bytes until the user edits it.
  std::string SourceBytes() const;
  void FillSelection(const std::vector<std::string>& names);
  // Sets cmbAnnounceURL's text, showing its start.
  void ShowTrackerText(const QString& text);
  // cmbAnnounceURL's text as bytes, empty while it shows the prompt.
  std::string TypedTrackerBytes() const;

  TDialogs& dialogs_;
  TProfileFile settings_;
  QLabel* statusText_ = nullptr;
  TViewEditPage* viewEdit_ = nullptr;
  bool progressBusy_ = false;  // a run holds the progress window
  // The network runs on the window's own event loop; declared first, it
  // outlives the refresh's download.
  std::unique_ptr<TQtEventLoop> loop_;
  std::vector<std::string> trackerListUrls_;
  std::unique_ptr<TTrackerRefresh> refresh_;
  std::unique_ptr<TPrivateTrackerEditor> privateEditor_;
  QString privateNameShown_;      // txtPrivateName as last filled from a record
  std::string privateNameBytes_;  // and that record's name
  QString sourceShown_;           // txtSource as filled from the settings
  std::string sourceBytes_;       // and the bytes it came from
  bool autoSize_ = false;
  // The box is empty and shows the prompt: no tracker is chosen. Only a
  // remembered empty box stands for a torrent without a tracker.
  bool trackerPrompt_ = true;
  // The last refresh could not download the list: its up/down marks are old.
  bool listOffline_ = false;
  bool geometryReady_ = false;       // the stored geometry was applied once
  QTimer* geometryTimer_ = nullptr;  // gathers the resize events of one drag into one save
};

// The help text of the "Help/About" page.
QString AboutText();
