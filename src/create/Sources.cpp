#include "create/Sources.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "base/Path.h"
#include "base/Stream.h"
#include "base/Text.h"
#include "base/UniqueFd.h"
#include "create/SourceFile.h"

namespace {

using TFolderId = std::pair<uint64_t, uint64_t>;  // device, inode

// folderFd: path's folder, open, so that only the last name is looked up (or -1).
TEntryKind KindAt(const std::string& path, struct stat* out, int folderFd, const char* name) {
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

void Walk(std::vector<TBuildFile>& files, const std::string& folder, const std::string& relative,
          const TSourceRules& rules, std::vector<TFolderId>& ancestors) {
  std::vector<std::string> names = ReadFolder(folder);
  // Plain byte order: "A" before "a" before "b", a prefix before its longer names.
  std::sort(names.begin(), names.end());
  const TUniqueFd folderFd = OpenFolderHandle(folder);
  struct stat self {};
  if (!folderFd.Valid() || ::fstat(folderFd.Get(), &self) != 0) KindAt(folder, &self, -1, nullptr);
  const TFolderId selfId{self.st_dev, self.st_ino};
  for (const auto& name : names) {
    const std::string full = JoinPath(folder, name);
    const std::string inTorrent = relative.empty() ? name : JoinPath(relative, name);
    if (rules.Excluded(inTorrent)) continue;
    struct stat st {};
    const TEntryKind kind = KindAt(full, &st, folderFd.Get(), name.c_str());
    if (kind == TEntryKind::Folder) {
      // A link back to this folder would recurse for ever.
      const TFolderId id{st.st_dev, st.st_ino};
      if (id == selfId || std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) continue;
      ancestors.push_back(selfId);
      try {
        Walk(files, full, inTorrent, rules, ancestors);
      } catch (...) {
        ancestors.pop_back();
        throw;
      }
      ancestors.pop_back();
    } else if (rules.SkipThumbs && rules.IsThumbsDb(name)) {
      continue;
    } else if (kind == TEntryKind::Other) {
      continue;  // sockets, FIFOs and devices hold no data to share
    } else {
      // The size from the walk's own stat: the hashing opens every file once
      // anyway, finds one it cannot read, and checks that the size still holds.
      // An entry stat cannot reach (a dangling link) still fails here, by name.
      const int64_t size = kind == TEntryKind::Missing ? FileSizeOf(full) : static_cast<int64_t>(st.st_size);
      files.push_back({.Folder = relative,
                       .Name = name,
                       .Source = full,
                       .Length = size,
                       .Executable = kind == TEntryKind::File && (st.st_mode & S_IXUSR) != 0});
    }
  }
}

}  // namespace

bool TSourceRules::IsThumbsDb(const std::string& name) const { return EqualsNoCase(name, "thumbs.db"); }

bool TSourceRules::Excluded(const std::string& pathInTorrent) const {
  // A walk never enters an excluded folder: the last name is the one to look at.
  if (SkipHidden && LastPathComponent(pathInTorrent).starts_with('.')) return true;
  // No FNM_PATHNAME: "*.nfo" matches in every folder.
  auto matches = [&](const std::vector<std::string>& globs, int flags) {
    return std::any_of(globs.begin(), globs.end(), [&](const std::string& glob) {
      return ::fnmatch(glob.c_str(), pathInTorrent.c_str(), flags) == 0;
    });
  };
  return matches(Exclude, 0) || matches(ExcludeNoCase, FNM_CASEFOLD);
}

TEntryKind KindOf(const std::string& path) { return KindAt(path, nullptr, -1, nullptr); }

int64_t FileSizeOf(const std::string& path) { return TSourceFile(path).OpenedSize(); }

bool IsExecutable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR) != 0;
}

void CollectFolderFiles(std::vector<TBuildFile>& files, const std::string& folder,
                        const std::string& relative, const TSourceRules& rules) {
  std::vector<TFolderId> ancestors;
  Walk(files, folder, relative, rules, ancestors);
}

namespace {

TBuildRequest WithData(TBuildRequest settings, TBuildMode mode, const std::string& name) {
  settings.Mode = mode;
  if (settings.Name.empty()) settings.Name = name;
  settings.Files.clear();
  return settings;
}

}  // namespace

TBuildRequest FileRequest(TBuildRequest settings, const std::string& source, const std::string& name) {
  const int64_t size = FileSizeOf(source);
  TBuildRequest request = WithData(std::move(settings), TBuildMode::SingleFile, name);
  request.Files.push_back({.Folder = "",
                           .Name = request.Name,
                           .Source = source,
                           .Length = size,
                           .Executable = IsExecutable(source)});
  return request;
}

TBuildRequest FolderRequest(TBuildRequest settings, const std::string& folder, const std::string& name,
                            const TSourceRules& rules) {
  TBuildRequest request = WithData(std::move(settings), TBuildMode::Folder, name);
  CollectFolderFiles(request.Files, folder, "", rules);
  return request;
}

TBuildRequest FilesRequest(TBuildRequest settings, const std::string& folder,
                           const std::vector<std::string>& names, const std::string& name,
                           const TSourceRules& rules) {
  TBuildRequest request = WithData(std::move(settings), TBuildMode::Folder, name);
  for (const auto& file : names) {
    if ((rules.SkipThumbs && rules.IsThumbsDb(file)) || rules.Excluded(file)) continue;
    const std::string source = JoinPath(folder, file);
    request.Files.push_back({.Folder = "",
                             .Name = file,
                             .Source = source,
                             .Length = FileSizeOf(source),
                             .Executable = IsExecutable(source)});
  }
  return request;
}

int64_t TotalLength(const TBuildRequest& request) {
  int64_t total = 0;
  for (const auto& file : request.Files) total += file.Length;
  return total;
}

std::vector<TEachOutput> EachOutputs(const std::string& folder, const std::string& outFolder,
                                     const TSourceRules& rules) {
  std::vector<std::string> names = ReadFolder(folder);
  // As the walk orders a folder, not as the system happens to list it.
  std::sort(names.begin(), names.end());
  std::vector<TEachOutput> entries;
  for (const auto& name : names) {
    if (rules.Excluded(name)) continue;
    const std::string full = JoinPath(folder, name);
    // Sockets, FIFOs and devices hold no data to share.
    if (KindOf(full) == TEntryKind::Other) continue;
    entries.push_back({.Name = name, .Source = full, .Output = JoinPath(outFolder, name + ".torrent")});
  }
  // Written into the folder itself, entry "a"'s torrent is "a.torrent": that
  // is a torrent of this run, not an entry of its own.
  const auto folderStamp = StampOf(folder);
  const auto outStamp = StampOf(outFolder);
  if (folderStamp && outStamp && folderStamp->Device == outStamp->Device &&
      folderStamp->Inode == outStamp->Inode) {
    std::vector<std::string> outputs;
    outputs.reserve(entries.size());
    for (const auto& entry : entries) outputs.push_back(entry.Name + ".torrent");
    std::sort(outputs.begin(), outputs.end());
    std::erase_if(entries, [&outputs](const TEachOutput& entry) {
      return std::binary_search(outputs.begin(), outputs.end(), entry.Name);
    });
  }
  return entries;
}

std::vector<std::string> OutputPaths(const std::vector<TEachOutput>& entries) {
  std::vector<std::string> outputs;
  outputs.reserve(entries.size());
  for (const auto& entry : entries) outputs.push_back(entry.Output);
  return outputs;
}
