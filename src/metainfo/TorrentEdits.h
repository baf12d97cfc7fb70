#pragma once
// The edits the View/Edit page and `quorvane-cli edit` make to a loaded
// torrent, kept in one place so both change the model the same way.

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "metainfo/TorrentFile.h"

// Why a torrent name or one path component cannot name a file inside the
// download folder as it stands ("is empty", "is \"..\"", "is absolute",
// "contains \"/\"", "contains a NUL byte"); "" when it can.
std::string ComponentProblem(std::string_view part);

// Raised for a name or path the edits refuse.
class EBadFileName : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file entry's full name inside the torrent, as the file list shows it.
std::string FileEntryText(const TTorrentSubFile& file);

// Gives file entry `index` the full name `text`. Text holding a "/" is split
// at its last "/" into the folders (up to and including it) and the name;
// text without one changes only the name and keeps the folders. The one file
// of a single-file torrent is the torrent's name, and has no folders.
// Raises std::out_of_range for an index past the file list, and EBadFileName
// for text with an empty, ".", ".." or absolute component (nothing changes).
void RenameFileEntry(TTorrentFile& torrent, std::size_t index, const std::string& text);

// Sets the torrent's name. A single-file torrent's one file entry carries
// the same name, so it is renamed too; returns true when that happened.
// Checks nothing, so a name can be typed character by character.
bool SetTorrentName(TTorrentFile& torrent, const std::string& name);

// Raises EBadFileName when the name cannot be the torrent's name.
void CheckTorrentName(const std::string& name);

// Finds the announce URL for a back-up line; "" when none is known.
using TAnnounceLookup = std::function<std::string(const std::string& line)>;

// The announce URLs for the back-up lines, in order: a line naming a tracker
// with a non-empty announce URL gives that URL, any other line stands for
// itself. Nothing is dropped, not even duplicates.
std::vector<std::string> ResolveBackupLines(const std::vector<std::string>& lines,
                                            const TAnnounceLookup& lookup);

// Replaces the torrent's back-up trackers: empty when `enabled` is false,
// otherwise the resolved lines.
void RebuildBackupTrackers(TTorrentFile& torrent, bool enabled, const std::vector<std::string>& lines,
                           const TAnnounceLookup& lookup);
