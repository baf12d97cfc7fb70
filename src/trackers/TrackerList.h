#pragma once
// The tracker list: the "trackers.lst" format, the combined selection
// (public entries followed by the private trackers) and the lookups made on it.

#include <cstdint>
#include <string>
#include <vector>

#include "trackers/Tracker.h"

// The prompt shown in the tracker selection; creation refuses it as a tracker,
// and it is the remembered tracker until one was remembered.
inline constexpr const char* TrackerPrompt = "(enter a tracker URL, or select from list below)";
// The single item the selection holds until a list has been loaded.
inline constexpr const char* TrackerWaitItem = "[please wait - refreshing list]";
// The release number of this program; a list announcing a higher one asks to update.
inline constexpr int64_t TrackerListRelease = 208;

// What a parse of a list got, also when it stopped half-way.
struct TTrackerListParse {
  bool VersionRead = false;  // line 0 was an integer
  int64_t Version = 0;
  std::string UpdateURL;          // line 1, empty when missing
  bool EntriesReached = false;    // the version check passed: the selection is rebuilt
  std::vector<TTracker> Entries;  // the complete entries read, in file order
  std::string Error;              // empty when the whole list parsed

  bool Ok() const { return Error.empty(); }
};

// Splits a list's text into lines: CR LF, LF or CR end a line, a NUL byte ends the text.
std::vector<std::string> SplitTrackerListLines(const std::string& bytes);
// Parses a list; never raises. A list that does not parse has Error set and keeps
// the entries read before the fault.
TTrackerListParse ParseTrackerList(const std::string& bytes);

// True for the addresses the program hands to the browser: http:// and https:// only.
bool IsBrowsableUrl(const std::string& url);

// GetAnnounceURL's result: the URL and what the labels and "Visit" button show.
struct TAnnounceResolution {
  std::string URL;
  TTrackerStatus Status = TTrackerStatus::NotAvailable;
  bool VisitEnabled = false;
};

// lblStatus's text for a status: "Status: UP", "Status: *DOWN*" or "Status: N/A".
std::string TrackerStatusText(TTrackerStatus status);

// The lookups, on the window's sequences. Names match exactly; the last match wins.
// The Announce of the last entry named name, or "".
std::string LookupAnnounceURL(const std::vector<TTracker>& trackers, const std::string& name);
// The announce URLs for names, in order: a name of the selection gives its
// announce URL (as LookupAnnounceURL), anything else passes through unchanged.
std::vector<std::string> ResolveTrackerNames(const std::vector<TTracker>& trackers,
                                             const std::vector<std::string>& names);
// The announce URL for the selection's text: a matching entry's or the text itself unchanged.
TAnnounceResolution GetAnnounceURL(const std::vector<TTracker>& trackers, const std::string& text);
// The home pages "Visit" opens: every matching entry's, in order, leaving out
// what the browser must not be given.
std::vector<std::string> VisitPages(const std::vector<TTracker>& trackers, const std::string& text);
// Index of the last record named name, or -1.
int FindPrivateTracker(const std::vector<TTracker>& privateTrackers, const std::string& name);
// The selection after a parse: the public entries followed by copies of the private trackers.
std::vector<TTracker> CombineTrackers(const std::vector<TTracker>& publicEntries,
                                      const std::vector<TTracker>& privateTrackers);
// The names, in order: the items of the selection.
std::vector<std::string> TrackerNames(const std::vector<TTracker>& trackers);

// The two sequences together, for code that has no window.
class TTrackerList {
 public:
  // The selection: the public entries of the last parse followed by copies of
  // the private trackers as they were at that parse.
  std::vector<TTracker> Trackers;
  // The user's private trackers, as kept in the settings.
  std::vector<TTracker> PrivateTrackers;

  void Combine(const std::vector<TTracker>& publicEntries) {
    Trackers = CombineTrackers(publicEntries, PrivateTrackers);
  }
  std::vector<std::string> Names() const { return TrackerNames(Trackers); }
  std::string LookupAnnounceURL(const std::string& name) const { return ::LookupAnnounceURL(Trackers, name); }
  TAnnounceResolution GetAnnounceURL(const std::string& text) const {
    return ::GetAnnounceURL(Trackers, text);
  }
  std::vector<std::string> VisitPages(const std::string& text) const { return ::VisitPages(Trackers, text); }
  int FindPrivateTracker(const std::string& name) const {
    return ::FindPrivateTracker(PrivateTrackers, name);
  }
};
