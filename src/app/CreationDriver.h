#pragma once
// The "Create .torrent now!" command: the create page's modes, questions,
// save dialogs and "one torrent per entry" loop. It uses no Qt, so its tests
// answer the dialogs from a script; each torrent is made by Build.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Dialogs.h"
#include "create/Build.h"
#include "create/PieceLength.h"
#include "create/Progress.h"
#include "create/Sources.h"
#include "metainfo/TorrentFile.h"
#include "trackers/TrackerList.h"

enum class TCreateMode { Simple, Classic };  // pageMode: page 0, page 1

// One entry of FileListBox1.
struct TSimpleFileItem {
  std::string Name;
  bool Selected = false;
};

// cmbFormat's entries, in order, with what [memory] keeps for each.
struct TFormatChoice {
  TMetaFormat Format;
  const char* Key;
};
inline constexpr std::array<TFormatChoice, 3> FormatChoices = {{
    {TMetaFormat::V1, "v1"},
    {TMetaFormat::Hybrid, "hybrid"},
    {TMetaFormat::V2, "v2"},
}};

// The controls' values the command reads.
struct TCreationInput {
  std::string TrackerText;                                      // cmbAnnounceURL's text
  TTrackerStatus TrackerStatus = TTrackerStatus::NotAvailable;  // as last left by the tracker box
  TCreateMode Mode = TCreateMode::Simple;                       // the active page of pageMode
  std::string SimpleFolder;                                     // DirectoryListBox1's folder
  std::vector<TSimpleFileItem> SimpleFiles;                     // FileListBox1, in list order
  std::string ClassicPath;                                      // txtClassicPath
  bool ClassicWholeFolder = true;                               // radFolder checked (false: radFile)
  bool AutoPieceSize = true;                                    // radAuto checked (false: radCustom)
  int32_t PieceLength = DefaultPieceLength;                     // cmbPieceSize's entry, in bytes
  std::string Comment;                                          // mmoComment's text, lines joined by CR LF
  bool Backup = false;                                          // chkBackup
  bool SkipThumbs = true;                                       // chkSkipThumbs
  int Threads = 0;                                              // hashing threads; 0: one per core

  // Beyond the page's original controls.
  bool Private = false;                  // info "private" = 1: peers only from the trackers
  std::string Source;                    // info "source"; a private tracker's tag
  std::vector<std::string> WebSeeds;     // "url-list"
  std::string Name;                      // the torrent's name instead of the file's or folder's
  bool NoDate = false;                   // no creation date
  TMetaFormat Format = TMetaFormat::V1;  // cmbFormat's entry
  std::vector<std::string> Exclude;      // fnmatch globs for paths inside the torrent ("a/b.txt")
};

// The tracker box's resolution of its text into an announce URL and a status;
// a GUI also updates lblStatus and the "Visit" button from it.
using TAnnounceResolver = std::function<TAnnounceResolution(const std::string& trackerText)>;
// The back-up list resolved into announce URLs, in order.
using TBackupProvider = std::function<std::vector<std::string>()>;

// One torrent a command wrote.
struct TCreatedTorrent {
  std::string Path;
  int64_t FileCount = 0;
  int64_t Bytes = 0;           // the data's total length
  std::string InfoHashText;    // v1, 40 hex digits; empty for a v2-only torrent
  std::string InfoHashV2Text;  // v2, 64 hex digits; empty for a v1 torrent
  bool Trackerless = false;    // no announce URL at all: peers come from DHT, PEX or web seeds
};

// What a command did, for the front end (the CLI prints it).
struct TCreationResult {
  std::vector<std::string> Written;      // output paths, in order
  std::vector<TCreatedTorrent> Created;  // the same torrents, described
  int Aborted = 0;                       // torrents that ended with "Operation Aborted!"
  bool Failed = false;                   // a hashing run ended with an error message
};

class TCreationDriver {
 public:
  TCreationDriver(TDialogs& dialogs, TProgress& progress);
  ~TCreationDriver();
  TCreationDriver(const TCreationDriver&) = delete;
  TCreationDriver& operator=(const TCreationDriver&) = delete;

  TCreationInput Input;
  // Empty: the text itself, with TTrackerStatus::NotAvailable.
  TAnnounceResolver GetAnnounceURL;
  TBackupProvider ResolveBackupTrackers;
  // A hashing run that failed (a file that cannot be read, or changed); the
  // window shows it as its general error report. Empty: an "Error" box.
  std::function<void(const std::string& message)> ReportFailure;
  // Receives the classic path after a trailing "/" was removed from it.
  std::function<void(const std::string& path)> SetClassicPath;

  // Runs the command on Input; does nothing while a command is under way
  // (called again from inside its event pump). Errors that are not the user's to answer
  // (a source whose size cannot be read, an output that cannot be created)
  // propagate as exceptions, for the general error report.
  void btnCreateTorrentClick();
  const TCreationResult& Result() const { return result_; }

  // The storage of the run under way; null outside a run.
  const TQuorvaneBTHashedStorage* Storage() const { return builder_.Storage(); }

 private:
  // True when the command may go on with a tracker of this status.
  bool ConfirmTrackerUp(TTrackerStatus status);
  void MakeSingleFileTorrent(const std::string& source, const std::string& output);
  void SimpleMode();
  void ClassicMode();
  std::string AnnounceURL();
  std::optional<std::string> AskSavePath(const std::string& preset);
  TSourceRules Rules() const {
    TSourceRules rules;
    rules.SkipThumbs = Input.SkipThumbs;
    rules.Exclude = Input.Exclude;
    return rules;
  }
  // What every torrent of the command shares, as the controls say now.
  TBuildRequest Settings();
  // Builds the request into output and tells the user how it ended.
  void BuildAndWriteTorrent(TBuildRequest request, const std::string& output);

  TDialogs& dialogs_;
  TProgress& progress_;
  TTorrentBuilder builder_;
  TCreationResult result_;
  bool stop_ = false;  // a hashing error ends the whole command
  bool running_ = false;
};
