#pragma once
// The "View/Edit Torrent" page: opens a .torrent, shows what it holds, lets
// the user change trackers, name, comment, creation date and file names, and
// writes it back.

#include <QString>
#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "base/Stream.h"
#include "metainfo/TorrentFile.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class TTorrentFileList;
class QPlainTextEdit;
class QPushButton;
class TProgress;

// What the page needs of the program's one back-up tracker list and its window.
struct TBackupListAccess {
  // The list's entries, in order.
  std::function<std::vector<std::string>()> Lines;
  // Replaces the entries, refills the window's tracker choice from the
  // combined tracker list and shows the window without blocking.
  std::function<void(const std::vector<std::string>& lines)> ShowWithLines;
  // The announce URL of the tracker named exactly (case-sensitive, last match
  // wins) in the combined tracker list; "" when there is none.
  std::function<std::string(const std::string& name)> LookupAnnounceURL;
};

struct TViewEditLinks {
  TDialogs& Dialogs;
  TBackupListAccess BackupList;
  std::function<void(const QString&)> ShowStatus;
  // The application's general error report; a message box when not given.
  std::function<void(const std::exception&)> ReportError;
  // Runs a verify with the progress window; false, running nothing, while
  // the window serves another run. Without it, a verify shows no progress.
  std::function<bool(const std::function<void(TProgress&)>& run)> WithProgress;
  // After the box that tells a run's result: the progress window takes the
  // keyboard back, so Return or Escape closes it as after a creation.
  std::function<void()> RunReported;
};

class TViewEditPage : public QWidget {
  Q_OBJECT

 public:
  explicit TViewEditPage(TViewEditLinks links, QWidget* parent = nullptr);
  ~TViewEditPage() override;

  // The loaded model, or nullptr.
  const TTorrentFile* Torrent() const { return torrent_.get(); }
  // Where Save writes: the path of the last successful load.
  const std::string& LoadedPath() const { return loadedPath_; }

  // "Creation Date: " with the date in local time, or "Creation Date: N/A";
  // a date the locale cannot show (outside the years 1 to 9999) is shown as
  // its Unix seconds.
  static QString CreationDateText(const TTorrentFile& torrent);

  // Loads path as the "..." button does with a chosen file.
  void OpenTorrent(const std::string& path);

  void btnTorrentBrowseClick();
  void txtTorrentChange();
  void lstFilesClick();
  void txtAnnounceURLChange();
  void txtViewNameChange();
  void mmoViewCommentChange();
  void btnCreationDateResetClick();
  void btnChangeClick();
  void chkViewBackupClick();
  void btnViewBackupTrackersClick();
  void btnViewSaveClick();
  void btnViewSaveAsClick();
  void chkViewPrivateClick();
  void txtViewSourceChange();
  void mmoViewWebSeedsChange();
  void btnCopyMagnetClick();
  void btnVerifyDataClick();

 private:
  void LoadTorrent(const std::string& path);
  void DisplayTorrent();
  void ClearAfterFailedLoad();
  // Rebuilds the back-up trackers and writes the model to path; reports
  // "Error writing " on failure. Returns true when the file was written.
  // infoHash: the info hash of what was written.
  // inPlace: over the loaded file, only while it still is what was loaded (or
  // what the user agreed to replace).
  bool WriteTorrent(const std::string& path, std::string& infoHash, bool inPlace);
  // Asks before a damaged torrent is saved; refuses an unusable name. True
  // when the save may go ahead.
  bool MaySave();
  // Asks before a save that gives the torrent another info hash than the
  // file at the loaded path has. True when the save may go ahead.
  bool MayChangeInfoHash();
  // "SHA1: ..." and, for a torrent with a v2 part, the v2 hash under it.
  void ShowInfoHashes(const std::string& v1, const std::string& v2);
  void ShowStatus(const QString& text);
  void ReportError(const std::exception& e);
  // Runs a handler body, sending what it throws to the general error report.
  template <class F>
  void Guarded(F&& body);
  template <typename Page, typename Sender, typename Signal>
  friend void Wire(Page* page, Sender* sender, Signal signal, void (Page::*handler)());

  TViewEditLinks links_;
  std::unique_ptr<TTorrentFile> torrent_;
  std::string loadedPath_;
  // The loaded file as it was on disk (device, inode, size, mtime in ns), so
  // Save notices when another program replaced or changed it meanwhile.
  std::optional<TFileStamp> loadedStamp_;
  // Asks before Save overwrites a file that changed on disk since it was loaded.
  bool MayOverwriteLoaded();
  // Set while the page fills its own controls, so their change handlers do
  // not write the shown text back into the model.
  bool displaying_ = false;
  // The shared back-up list belongs to this torrent only once the user opened
  // it from here or set the check box; until then a save keeps the loaded
  // back-up trackers instead of writing another list, or none, in their place.
  bool backupChosen_ = false;
  // What lstFilesClick put into txtFilesName, to tell a real edit from none.
  QString shownFileText_;
  // The info hash of the file at the loaded path: as loaded, then as last saved there.
  std::string diskHash_;
  std::string diskHashV2_;  // "" for a v1 torrent
  // The trackers before the user typed into txtAnnounceURL: each change
  // replaces the main tracker starting from here, so a URL typed on the
  // way to another one never merges with a back-up tracker it matched.
  std::string baseAnnounce_;
  TTrackerTiers baseTiers_;
  // The web seeds as shown, each with its bytes, so lines the user did not
  // edit keep them.
  std::vector<std::pair<QString, std::string>> shownWebSeeds_;
  QString shownHashV1_;  // the hashes the labels show, for their copy actions
  QString shownHashV2_;
  bool verifying_ = false;

  QLineEdit* txtTorrent_;
  QPushButton* btnTorrentBrowse_;
  QLineEdit* txtAnnounceURL_;
  QCheckBox* chkViewBackup_;
  QPushButton* btnViewBackupTrackers_;
  QLineEdit* txtViewName_;
  QPlainTextEdit* mmoViewComment_;
  QLabel* lblViewSHA1_;
  QLabel* lblInfoHashV2_;
  QLabel* lblViewCreationDate_;
  QPushButton* btnCreationDateReset_;
  TTorrentFileList* lstFiles_;
  QLineEdit* txtFilesName_;
  QPushButton* btnChange_;
  QLabel* lblFilesSize_;
  QPushButton* btnViewSave_;
  QPushButton* btnViewSaveAs_;
  QLabel* lblViewSource_;
  QLineEdit* txtViewSource_;
  QCheckBox* chkViewPrivate_;
  QLabel* lblViewWebSeeds_;
  QPlainTextEdit* mmoViewWebSeeds_;
  QPushButton* btnCopyMagnet_;
  QPushButton* btnVerifyData_;
};
