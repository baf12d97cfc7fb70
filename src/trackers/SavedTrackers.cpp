#include "trackers/SavedTrackers.h"

#include <exception>

#include "trackers/ProfileReader.h"

std::string LoadSavedTrackers(TTrackerList& list, const TTrackerCache& cache, const std::string& settingsFile) {
  list.PrivateTrackers = LoadPrivateTrackers(TProfileReader(settingsFile));
  list.Trackers.clear();
  std::optional<std::string> bytes;
  try {
    bytes = cache.Read();
  } catch (const std::exception& e) {
    return e.what();
  }
  if (!bytes) return "No cached version of the tracker list could be found; you're on your own";
  const TTrackerListParse parse = ParseTrackerList(*bytes);
  if (!parse.Ok()) {
    list.Trackers = parse.Entries;
    return parse.Error;
  }
  list.Combine(parse.Entries);
  return {};
}
