#pragma once
// The back-up tracker list of the "Back-up Tracker Selection" window: its
// editing rules and the resolution of its entries into announce URLs.

#include <optional>
#include <string>
#include <vector>

#include "trackers/TrackerList.h"

class TBackupList {
 public:
  // The entries of lstBackup (tracker names, or URLs from a loaded metainfo)
  // and the selected one (-1: none).
  std::vector<std::string> Entries;
  int Selected = -1;

  // Add: appends the chosen tracker name unless the list holds it already
  // (letter case ignored); nothing when no name is chosen. True when added.
  bool Add(const std::optional<std::string>& chosen);
  // Remove Selected; afterwards nothing is selected.
  bool Remove();
  // Up and Dn: swap the selected entry with its neighbour; the selection moves along.
  bool Up();
  bool Down();
  // Replaces the entries, as the View/Edit page does with a metainfo's back-up URLs.
  void Assign(std::vector<std::string> entries);

  // The announce URLs for the entries, in order: a name of the selection gives
  // its announce URL, anything else passes through unchanged.
  std::vector<std::string> ResolveBackupTrackers(const std::vector<TTracker>& trackers) const;
};
