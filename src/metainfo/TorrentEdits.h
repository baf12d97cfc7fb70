#pragma once
// The edits the View/Edit page and `quorvane-cli edit` make to a loaded
// torrent, kept in one place so both change the model the same way.

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "metainfo/PathRules.h"
#include "metainfo/TorrentFile.h"

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
// (nothing changes) for a pad file, for text with an empty, ".", ".." or
// absolute component, and for a path that clashes with another file's,
// without regard to case: the same path, or one a folder of the other.
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

// Tracker edits that keep the announce-list's tiers (the model's
// AnnounceTiers) and the main tracker: the announce URL, or without one the
// first URL of the first tier, which is where clients start. An edit writes
// that URL as the announce URL too.

// The main tracker as clients see it; "" for a torrent without trackers.
std::string MainTracker(const TTorrentFile& torrent);
// Replaces the back-up trackers with urls, one tier each, keeping the main tracker.
void ReplaceBackupTrackers(TTorrentFile& torrent, const std::vector<std::string>& urls);

// Sets the announce-list's tiers and, when it is not their first URL, the
// main tracker apart from them ("": none).
void SetTrackersKeepingMain(TTorrentFile& torrent, TTrackerTiers tiers, const std::string& main);
// Adds url as a new tier at the end; a torrent without trackers gets url as its main tracker.
void AddTracker(TTorrentFile& torrent, const std::string& url);
// Removes url from every tier and drops tiers left empty; when it was the main
// tracker, the first remaining URL becomes the main one. False when url was
// nowhere.
bool RemoveTracker(TTorrentFile& torrent, const std::string& url);
// Replaces the text `from` with `to` in every tracker URL, the main one
// included; the count of URLs changed.
int ReplaceInTrackers(TTorrentFile& torrent, const std::string& from, const std::string& to);
// Makes url the main tracker in the announce URL and in the tiers: the old
// main URL is replaced wherever it stands and does not stay behind as a
// back-up; with no old main URL in the tiers, url leads the first tier.
void ReplaceMainTracker(TTorrentFile& torrent, const std::string& url);

// The info hash (40 hex digits) the torrent gets when saved as it stands now.
std::string SavedInfoHash(const TTorrentFile& torrent);
// True when saving would give a loaded torrent another info hash (its
// private flag, source, name, files or pieces were changed): peers of the
// old torrent will not find the new one.
bool InfoHashChanges(const TTorrentFile& torrent);
