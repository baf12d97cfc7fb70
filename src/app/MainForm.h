#pragma once
// TfrmQuorvane: the main window with its four pages ("Create Torrent",
// "View/Edit Torrent", "Settings", "Help/About"), the settings store and the
// "Create Torrent" page's choosers and commands.

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "app/ProfileFile.h"
#include "metainfo/TorrentFile.h"
#include "trackers/Tracker.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
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
class TCreationDriver;
class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;
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

  // The tracker-list refresh, run once by updateTimer.
  void updateTimerTimer();
  void btnHomepageClick();

  // Index of the last private tracker named name, or -1.
  int FindPrivateTracker(const std::string& name) const;
  // lstPrivateTrackers keeps each name's bytes beside the text it shows.
  void AddPrivateTrackerItem(const std::string& name);
  std::string PrivateTrackerItemName(int row) const;

  void SetStatusText(const QString& text);
  QString StatusText() const;
  bool AutoSize() const { return autoSize_; }

  TfrmProgress* frmProgress = nullptr;
  TfrmBackup* frmBackup = nullptr;

  // The abort request of a creation run, set by the progress window.
  bool AbortRequested = false;
  std::vector<TTracker> Trackers;
  std::vector<TTracker> PrivateTrackers;
  // The metainfo of the "View/Edit Torrent" page; null when none is loaded.
  std::unique_ptr<TTorrentFile> ViewTorrent;
  std::string ViewTorrentFileName;

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
  QPlainTextEdit* mmoComment;
  QRadioButton* radAuto;
  QRadioButton* radCustom;
  QComboBox* cmbPieceSize;
  QPushButton* btnCreateTorrent;

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
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildCreatePage();
  QWidget* BuildSettingsPage();
  QWidget* BuildAboutPage();
  void SetTabOrder();
  void Connect();
  template <typename F>
  void Handle(F&& handler);

  TDialogs& dialogs_;
  TProfileFile settings_;
  QLabel* statusText_ = nullptr;
  std::unique_ptr<TCreationDriver> driver_;  // the command under way
  bool autoSize_ = false;
  bool geometryReady_ = false;  // the stored geometry was applied once
  QTimer* geometryTimer_ = nullptr;  // gathers the resize events of one drag into one save
};

// The help text of the "Help/About" page.
QString AboutText();
