#pragma once
// Finding the data of a torrent on disk: the folder walk, the entries of
// "one torrent per entry", and the rules that leave files out.

#include <cstdint>
#include <string>
#include <vector>

#include "create/Build.h"

// Which files a walk leaves out.
struct TSourceRules {
  bool SkipThumbs = true;                  // "thumbs.db" in any case
  std::vector<std::string> Exclude;        // fnmatch globs for paths inside the torrent ("a/b.txt")
  std::vector<std::string> ExcludeNoCase;  // the same, matched without regard to case
  bool SkipHidden = false;                 // names starting with "." (files and folders)

  bool IsThumbsDb(const std::string& name) const;
  // True when a path inside the torrent matches one of the globs, or its last
  // name is hidden and SkipHidden is set.
  bool Excluded(const std::string& pathInTorrent) const;
};

enum class TEntryKind { Missing, File, Folder, Other };

TEntryKind KindOf(const std::string& path);
// The size of a file, which must be readable.
int64_t FileSizeOf(const std::string& path);
// A regular file its owner may run (libtorrent's test for attr "x").
bool IsExecutable(const std::string& path);

// Appends the files below folder, each named relative to it (below the
// folders in relative): names in plain byte order, a folder's files at its
// place (depth-first). Sockets, FIFOs and devices are left out, and links that
// lead back into a folder being walked are not followed.
void CollectFolderFiles(std::vector<TBuildFile>& files, const std::string& folder,
                        const std::string& relative, const TSourceRules& rules);

// Requests with the data filled in. settings holds the rest (trackers, flags,
// output, ...); its name, when not empty, stays the torrent's name.
// One file, called name in the torrent.
TBuildRequest FileRequest(TBuildRequest settings, const std::string& source, const std::string& name);
// The files below folder (CollectFolderFiles) as one torrent called name.
TBuildRequest FolderRequest(TBuildRequest settings, const std::string& folder, const std::string& name,
                            const TSourceRules& rules);
// Files of one folder, in the order given, as one torrent called name; the
// rules apply to their names.
TBuildRequest FilesRequest(TBuildRequest settings, const std::string& folder,
                           const std::vector<std::string>& names, const std::string& name,
                           const TSourceRules& rules);
// The bytes of all the files of a request.
int64_t TotalLength(const TBuildRequest& request);

// One entry of "one torrent per entry" and the torrent it gives.
struct TEachOutput {
  std::string Name;    // the entry's name in the folder
  std::string Source;  // the entry's path
  std::string Output;  // its torrent's path in the output folder
};

// The entries of folder that get a torrent each, in byte order: neither
// excluded nor a socket, FIFO or device, and not the torrent of another entry
// when outFolder is folder. A top-level thumbs.db stays (the window makes a
// torrent of it; the CLI leaves it out as its walk does).
std::vector<TEachOutput> EachOutputs(const std::string& folder, const std::string& outFolder,
                                     const TSourceRules& rules);
// The torrents a one-per-entry run writes, for TTorrentBuilder::LeaveOut.
std::vector<std::string> OutputPaths(const std::vector<TEachOutput>& entries);
