#include "trackers/SavedTrackers.h"

#include <algorithm>
#include <exception>

std::vector<TTracker> LoadPrivateTrackers(const TProfileFile& settings) {
  const int32_t count = std::clamp(settings.ReadInteger("private", "count", 0), 0, MaxPrivateTrackers);
  std::vector<TTracker> trackers(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const std::string section = "private" + std::to_string(i);
    TTracker& tracker = trackers[static_cast<size_t>(i)];
    tracker.Name = settings.ReadString(section, "name", "");
    tracker.Announce = settings.ReadString(section, "announce", "");
    tracker.Webpage = settings.ReadString(section, "webpage", "");
  }
  return trackers;
}

std::string LoadSavedTrackers(TTrackerList& list, const TTrackerCache& cache,
                              const std::string& settingsFile) {
  list.PrivateTrackers = LoadPrivateTrackers(TProfileFile(settingsFile));
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
