#include "create/CreationDriver.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "base/Path.h"
#include "base/Stream.h"
#include "base/Text.h"
#include "base/UniqueFd.h"
#include "create/BTTransfer.h"
#include "create/HashedStorage.h"
#include "create/SourceFile.h"

namespace {

bool IsThumbsDb(const std::string& name) { return EqualsNoCase(name, "thumbs.db"); }

enum class TEntryKind { Missing, File, Folder, Other };

// folderFd: path's folder, open, so that only the last name is looked up (or -1).
TEntryKind KindOf(const std::string& path, struct stat* out = nullptr, int folderFd = -1,
                  const char* name = nullptr) {
  struct stat st {};
  const int failed = folderFd >= 0 ? ::fstatat(folderFd, name, &st, 0) : ::stat(path.c_str(), &st);
  if (failed != 0) return TEntryKind::Missing;
  if (out) *out = st;
  if (S_ISDIR(st.st_mode)) return TEntryKind::Folder;
  if (S_ISREG(st.st_mode)) return TEntryKind::File;
  return TEntryKind::Other;
}

// Every entry of a folder but "." and "..", in the order the system gives them.
std::vector<std::string> ReadFolder(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) throw EStreamError(FileError("Cannot read folder", folder, errno));
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

// Resets a pointer when the scope ends, also by an exception.
template <typename T>
struct TResetOnExit {
  std::unique_ptr<T>& ptr;
  ~TResetOnExit() { ptr.reset(); }
};

}  // namespace

std::string NoDataMessage(const std::string& name) {
  return "\"" + name + "\" holds no data (no files, or only empty ones); a torrent needs at least one byte.";
}

TCreationDriver::TCreationDriver(TDialogs& dialogs, TProgress& progress)
    : dialogs_(dialogs), progress_(progress) {}

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

int64_t TCreationDriver::FileSizeOf(const std::string& path) { return TSourceFile(path).OpenedSize(); }

bool TCreationDriver::Excluded(const std::string& pathInTorrent) const {
  // No FNM_PATHNAME: "*.nfo" matches in every folder.
  return std::any_of(Input.Exclude.begin(), Input.Exclude.end(), [&](const std::string& glob) {
    return ::fnmatch(glob.c_str(), pathInTorrent.c_str(), 0) == 0;
  });
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

  TTorrentSubFiles list;
  RunningTotal = 0;
  for (const auto& name : selected) {
    if (Input.SkipThumbs && IsThumbsDb(name)) continue;
    if (Excluded(name)) continue;
    const int64_t length = FileSizeOf(JoinPath(folder, name));
    list.push_back(std::make_unique<TTorrentSubFile>(name, "", length, 0));
    RunningTotal += length;
  }
  MultiFileTorrent(std::move(list), LastPathComponent(nameSource), folder, *output);
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

  if (Input.ClassicWholeFolder) {
    const auto output = AskSavePath(path + ".torrent");
    if (!output) return;
    TTorrentSubFiles list;
    RunningTotal = 0;
    CollectFolderFiles(list, path, "", true);
    MultiFileTorrent(std::move(list), LastPathComponent(path), path, *output);
    return;
  }

  const auto outFolder = dialogs_.PickFolder("Enter directory to output torrents in:");
  if (!outFolder) return;
  // Read the whole folder first, so torrents written into it are not taken as entries.
  for (const auto& entry : EachOutputs(path, *outFolder)) {
    if (stop_) return;
    const TEntryKind entryKind = KindOf(entry.Source);
    if (entryKind == TEntryKind::Folder) {
      TTorrentSubFiles list;
      RunningTotal = 0;
      CollectFolderFiles(list, entry.Source, "", true);
      MultiFileTorrent(std::move(list), entry.Name, entry.Source, entry.Output);
    } else if (entryKind != TEntryKind::Other) {  // it may have changed since the listing
      MakeSingleFileTorrent(entry.Source, entry.Output);
    }
  }
}

std::vector<TEachOutput> TCreationDriver::EachOutputs(const std::string& folder,
                                                      const std::string& outFolder) const {
  std::vector<TEachOutput> entries;
  for (const auto& name : ReadFolder(folder)) {
    if (Excluded(name)) continue;
    const std::string full = JoinPath(folder, name);
    // Sockets, FIFOs and devices hold no data to share.
    if (KindOf(full) == TEntryKind::Other) continue;
    entries.push_back({.Name = name, .Source = full, .Output = JoinPath(outFolder, name + ".torrent")});
  }
  return entries;
}

void TCreationDriver::MultiFileTorrent(TTorrentSubFiles list, const std::string& name,
                                       const std::string& basePath, const std::string& output) {
  TTorrentFile model;
  model.SetInfo(AnnounceURL(), Input.Name.empty() ? name : Input.Name, Input.Comment, "", 0, true);
  BuildAndWriteTorrent(model, std::move(list), basePath, output);
}

void TCreationDriver::MakeSingleFileTorrent(const std::string& source, const std::string& output) {
  const int64_t size = FileSizeOf(source);
  RunningTotal = size;
  const std::string name = Input.Name.empty() ? LastPathComponent(source) : Input.Name;
  TTorrentSubFiles list;
  list.push_back(std::make_unique<TTorrentSubFile>(name, "", size, 0));
  TTorrentFile model;
  model.SetInfo(AnnounceURL(), name, Input.Comment, "", size, false);
  BuildAndWriteTorrent(model, std::move(list), source, output);
}

void TCreationDriver::CollectFolderFiles(TTorrentSubFiles& list, const std::string& folder,
                                         const std::string& relative, bool recurse) {
  std::vector<std::string> names = ReadFolder(folder);
  // Plain byte order: "A" before "a" before "b", a prefix before its longer names.
  std::sort(names.begin(), names.end());
  const TUniqueFd folderFd = OpenFolderHandle(folder);
  struct stat self {};
  if (!folderFd.Valid() || ::fstat(folderFd.Get(), &self) != 0) KindOf(folder, &self);
  for (const auto& name : names) {
    const std::string full = JoinPath(folder, name);
    const std::string inTorrent = relative.empty() ? name : JoinPath(relative, name);
    if (Excluded(inTorrent)) continue;
    struct stat st {};
    const TEntryKind kind = KindOf(full, &st, folderFd.Get(), name.c_str());
    if (recurse && kind == TEntryKind::Folder) {
      // A link back to this folder would recurse for ever.
      const std::pair<uint64_t, uint64_t> id{st.st_dev, st.st_ino};
      if (id == std::pair<uint64_t, uint64_t>{self.st_dev, self.st_ino}) continue;
      if (std::find(ancestors_.begin(), ancestors_.end(), id) != ancestors_.end()) continue;
      ancestors_.emplace_back(self.st_dev, self.st_ino);
      try {
        CollectFolderFiles(list, full, inTorrent, recurse);
      } catch (...) {
        ancestors_.pop_back();
        throw;
      }
      ancestors_.pop_back();
    } else if (Input.SkipThumbs && IsThumbsDb(name)) {
      continue;
    } else if (kind == TEntryKind::Other) {
      continue;  // sockets, FIFOs and devices hold no data to share
    } else {
      // The size from the walk's own stat: the hashing opens every file once
      // anyway, finds one it cannot read, and checks that the size still holds.
      // An entry stat cannot reach (a dangling link) still fails here, by name.
      const int64_t size = kind == TEntryKind::Missing ? FileSizeOf(full) : static_cast<int64_t>(st.st_size);
      auto entry = std::make_unique<TTorrentSubFile>(name, relative, size, 0);
      entry->SetSourcePath(full);
      RunningTotal += entry->Length;
      list.push_back(std::move(entry));
    }
  }
}

int32_t TCreationDriver::ChoosePieceLength(const TTorrentSubFiles& list) const {
  return ChoosePieceLength(list, Input.AutoPieceSize, Input.PieceLength);
}

int32_t TCreationDriver::ChoosePieceLength(const TTorrentSubFiles& list, bool autoSize,
                                           int32_t customLength) {
  if (!autoSize) return PieceLengthAtMost(customLength);
  int64_t total = 0;
  for (const auto& entry : list) total += entry->Length;
  if (total > 2'000'000'000) return 2'097'152;
  if (total > 1'000'000'000) return 1'048'576;
  if (total > 450'000'000) return 524'288;
  return 262'144;
}

bool TCreationDriver::BuildAndWriteTorrent(TTorrentFile& model, TTorrentSubFiles list,
                                           const std::string& basePath, const std::string& output) {
  model.Files = std::move(list);
  model.PieceLength = ChoosePieceLength(model.Files);
  if (Input.Backup && ResolveBackupTrackers)
    for (auto& url : ResolveBackupTrackers()) model.BackupTrackers.push_back(std::move(url));
  model.Private = Input.Private;
  model.Source = Input.Source;
  model.WebSeeds = Input.WebSeeds;
  if (Input.NoDate) model.CreationDate = 0;

  const bool hasData =
      std::any_of(model.Files.begin(), model.Files.end(), [](const auto& file) { return file->Length > 0; });
  if (!hasData) {
    result_.Failed = true;
    dialogs_.MessageBox(NoDataMessage(model.Name), "Error", TMsgButtons::Ok);
    return false;
  }
  // Found now rather than after hours of hashing.
  TSafeFileStream::CheckCreatable(output);

  TQuorvaneBTTransfer transfer("");
  transfer.Torrent = &model;

  progress_.SetCaption("Progress: " + output);
  progress_.Show();
  progress_.SetRunSize(RunningTotal, model.PieceLength);
  progress_.SetOverallMax(RunningTotal / model.PieceLength + 1);
  progress_.SetOverallPosition(0);

  // The storage is kept where the front end can see it while the run is under way.
  storage_ = std::make_unique<TQuorvaneBTHashedStorage>(model.Files, basePath, model.MultiFile, false,
                                                        model.PieceLength, progress_);
  TResetOnExit<TQuorvaneBTHashedStorage> resetStorage{storage_};
  storage_->Threads = Input.Threads;
  storage_->HashPieces();

  if (progress_.IsAborted()) {
    ++result_.Aborted;
    dialogs_.MessageBox("Operation Aborted!", "Abort", TMsgButtons::Ok);
    return false;
  }
  if (!storage_->Error.empty()) {
    // A torrent with missing or wrong pieces is worse than none.
    result_.Failed = true;
    stop_ = true;
    dialogs_.MessageBox(storage_->Error, "Error", TMsgButtons::Ok);
    return false;
  }
  TSafeFileStream out(output);
  model.SaveToStream(out, storage_->Pieces);
  out.Commit();
  result_.Written.push_back(output);
  if (OnTorrentWritten) OnTorrentWritten(output);
  return true;
}
