#include "trackers/Backup.h"

#include "base/Text.h"

#include <algorithm>

bool TBackupList::Add(const std::optional<std::string>& chosen) {
  if (!chosen) return false;
  for (const auto& e : Entries) {
    if (EqualsNoCase(e, *chosen)) return false;
  }
  Entries.push_back(*chosen);
  return true;
}

bool TBackupList::Remove() {
  if (Selected < 0 || Selected >= static_cast<int>(Entries.size())) return false;
  Entries.erase(Entries.begin() + Selected);
  Selected = -1;
  return true;
}

bool TBackupList::Up() {
  if (Selected <= 0 || Selected >= static_cast<int>(Entries.size())) return false;
  std::swap(Entries[Selected], Entries[Selected - 1]);
  --Selected;
  return true;
}

bool TBackupList::Down() {
  if (Entries.size() < 2 || Selected < 0 || Selected >= static_cast<int>(Entries.size()) - 1) return false;
  std::swap(Entries[Selected], Entries[Selected + 1]);
  ++Selected;
  return true;
}

void TBackupList::Assign(std::vector<std::string> entries) {
  Entries = std::move(entries);
  Selected = -1;
}

std::vector<std::string> TBackupList::ResolveBackupTrackers(const std::vector<TTracker>& trackers) const {
  return ResolveTrackerNames(trackers, Entries);
}
