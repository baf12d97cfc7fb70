#include "app/CreationDriver.h"

#include <algorithm>
#include <ctime>

#include "base/Path.h"

TCreationDriver::TCreationDriver(TDialogs& dialogs, TProgress& progress)
    : dialogs_(dialogs), progress_(progress), builder_(progress) {}

TCreationDriver::~TCreationDriver() = default;

void TCreationDriver::btnCreateTorrentClick() {
  // The run pumps events, so the button can be pressed again inside it; a
  // second command would pull the storage from under the first.
  if (running_) return;
  running_ = true;
  struct TClear {
    bool& flag;
    ~TClear() { flag = false; }
  } clear{running_};
  result_ = {};
  stop_ = false;
  builder_.NewRun();
  progress_.SetAborted(false);
  if (Input.TrackerText == TrackerPrompt) {
    dialogs_.MessageBox("You must select a tracker to use with this torrent!", "Error", TMsgButtons::Ok);
    return;
  }
  if (!ConfirmTrackerUp(Input.TrackerStatus)) return;
  if (Input.Mode == TCreateMode::Simple)
    SimpleMode();
  else
    ClassicMode();
}

bool TCreationDriver::ConfirmTrackerUp(TTrackerStatus status) {
  if (status != TTrackerStatus::Down) return true;
  return dialogs_.MessageBox("Tracker may be down; are you sure you want to continue?", "Question",
                             TMsgButtons::YesNo) == TMsgResult::Yes;
}

std::string TCreationDriver::AnnounceURL() {
  TAnnounceResolution resolution{.URL = Input.TrackerText};
  if (GetAnnounceURL) resolution = GetAnnounceURL(Input.TrackerText);
  Input.TrackerStatus = resolution.Status;
  return resolution.URL;
}

std::optional<std::string> TCreationDriver::AskSavePath(const std::string& preset) {
  TSaveDialogOptions options;
  options.Preset = preset;
  options.DefaultExt = "torrent";
  options.Filter = "torrent files (*.torrent)|*.torrent";
  options.ConfirmOverwrite = true;
  return dialogs_.SaveDialog(options);
}

void TCreationDriver::SimpleMode() {
  std::vector<std::string> selected;
  for (const auto& item : Input.SimpleFiles)
    if (item.Selected) selected.push_back(item.Name);
  if (selected.empty()) {
    dialogs_.MessageBox("No files were selected!", "Error", TMsgButtons::Ok);
    return;
  }
  std::string folder = Input.SimpleFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();

  if (selected.size() == 1) {
    const std::string source = JoinPath(folder, selected.front());
    if (const auto output = AskSavePath(source + ".torrent")) MakeSingleFileTorrent(source, *output);
    return;
  }

  // The root folder has no name of its own: the torrent is named after the first file.
  const std::string nameSource = LastPathComponent(folder).empty() ? selected.front() : folder;
  const auto output = AskSavePath(nameSource + ".torrent");
  if (!output) return;

  BuildAndWriteTorrent(FilesRequest(Settings(), folder, selected, LastPathComponent(nameSource), Rules()),
                       *output);
}

void TCreationDriver::ClassicMode() {
  std::string path = Input.ClassicPath;
  if (!path.empty() && path.back() == '/') {
    path.pop_back();
    Input.ClassicPath = path;
    if (SetClassicPath) SetClassicPath(path);
  }
  const TEntryKind kind = path.empty() ? TEntryKind::Missing : KindOf(path);
  if (kind == TEntryKind::File || kind == TEntryKind::Other) {
    if (const auto output = AskSavePath(path + ".torrent")) MakeSingleFileTorrent(path, *output);
    return;
  }
  if (kind == TEntryKind::Missing) {
    dialogs_.MessageBox("Please enter a file or directory name!", "Error", TMsgButtons::Ok);
    return;
  }

  const TSourceRules rules = Rules();
  if (Input.ClassicWholeFolder) {
    if (const auto output = AskSavePath(path + ".torrent"))
      BuildAndWriteTorrent(FolderRequest(Settings(), path, LastPathComponent(path), rules), *output);
    return;
  }

  const auto outFolder = dialogs_.PickFolder("Enter directory to output torrents in:");
  if (!outFolder) return;
  // Read the whole folder first, so torrents written into it are not taken as entries.
  const std::vector<TEachOutput> entries = EachOutputs(path, *outFolder, rules);
  builder_.LeaveOut(OutputPaths(entries));
  for (const auto& entry : entries) {
    if (stop_) return;
    const TEntryKind entryKind = KindOf(entry.Source);
    if (entryKind == TEntryKind::Other) continue;  // it may have changed since the listing
    TBuildRequest request;
    try {
      request = entryKind == TEntryKind::Folder ? FolderRequest(Settings(), entry.Source, entry.Name, rules)
                                                : FileRequest(Settings(), entry.Source, entry.Name);
    } catch (...) {
      // The progress window still shows the entry before: the report is about this one.
      progress_.SetCaption(std::string(ProgressCaptionPrefix) + entry.Output);
      progress_.FileStarted(0, entry.Name);
      throw;
    }
    BuildAndWriteTorrent(std::move(request), entry.Output);
  }
}

void TCreationDriver::MakeSingleFileTorrent(const std::string& source, const std::string& output) {
  BuildAndWriteTorrent(FileRequest(Settings(), source, LastPathComponent(source)), output);
}

TBuildRequest TCreationDriver::Settings() {
  TBuildRequest settings;
  settings.Name = Input.Name;
  settings.Trackers.push_back({AnnounceURL()});
  if (Input.Backup && ResolveBackupTrackers)
    for (auto& url : ResolveBackupTrackers()) settings.Trackers.push_back({std::move(url)});
  if (!Input.AutoPieceSize) settings.PieceLength = Input.PieceLength;
  settings.Private = Input.Private;
  settings.Source = Input.Source;
  settings.WebSeeds = Input.WebSeeds;
  settings.Comment = Input.Comment;
  if (!Input.NoDate) settings.CreationDate = static_cast<int64_t>(std::time(nullptr));
  settings.Threads = Input.Threads;
  settings.Format = Input.Format;
  return settings;
}

void TCreationDriver::BuildAndWriteTorrent(TBuildRequest request, const std::string& output) {
  request.Output = output;
  const TBuildResult built = builder_.Build(request);
  switch (built.Outcome) {
    case TBuildOutcome::NoData:
      result_.Failed = true;
      dialogs_.MessageBox(NoDataMessage(built.Torrent->Name), "Error", TMsgButtons::Ok);
      return;
    case TBuildOutcome::Aborted:
      ++result_.Aborted;
      dialogs_.MessageBox("Operation Aborted!", "Abort", TMsgButtons::Ok);
      return;
    case TBuildOutcome::Failed:
      result_.Failed = true;
      stop_ = true;
      if (ReportFailure)
        ReportFailure(built.Error);
      else
        dialogs_.MessageBox(built.Error, "Error", TMsgButtons::Ok);
      return;
    case TBuildOutcome::Built:
      result_.Written.push_back(built.Written);
      result_.Created.push_back(
          {.Path = built.Written,
           .FileCount = static_cast<int64_t>(request.Files.size()),
           .Bytes = TotalLength(request),
           .InfoHashText = built.InfoHashText,
           .InfoHashV2Text = built.InfoHashV2Text,
           .Trackerless = std::all_of(request.Trackers.begin(), request.Trackers.end(), [](const auto& tier) {
             return std::all_of(tier.begin(), tier.end(), [](const std::string& url) { return url.empty(); });
           })});
      return;
  }
}
