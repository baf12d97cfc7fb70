#pragma once
// The edits the View/Edit page and `quorvane-cli edit` make to a loaded
// torrent, kept in one place so both change the model the same way.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "metainfo/TorrentFile.h"

// A file entry's full name inside the torrent, as the file list shows it.
std::string FileEntryText(const TTorrentSubFile& file);

// Gives file entry `index` the full name `text`. Text holding a "/" is split
// at its last "/" into the folders (up to and including it) and the name;
// text without one changes only the name and keeps the folders.
// Raises std::out_of_range for an index past the file list.
void RenameFileEntry(TTorrentFile& torrent, std::size_t index, const std::string& text);

// Sets the torrent's name. A single-file torrent's one file entry carries
// the same name, so it is renamed too; returns true when that happened.
bool SetTorrentName(TTorrentFile& torrent, const std::string& name);

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
