// quorvane-cli trackers: the tracker selection the desktop program offers,
// one tracker per line.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "trackers/ProfileReader.h"
#include "trackers/SavedTrackers.h"

namespace {

const char* const TrackersUsage = "trackers";

// privateCount: how many entries at the end of the selection are private trackers.
void PrintTrackers(const TTrackerList& list, size_t privateCount) {
  const size_t firstPrivate = list.Trackers.size() - std::min(privateCount, list.Trackers.size());
  for (size_t i = 0; i < list.Trackers.size(); ++i) {
    const TTracker& t = list.Trackers[i];
    const char* mark = i >= firstPrivate ? "private" : t.Down ? "DOWN" : "UP";
    std::printf("%s\t%s\t%s\n", t.Name.c_str(), t.Announce.c_str(), mark);
  }
}

int RunTrackers(const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") {
      std::printf("Usage: quorvane-cli %s\n\n"
                  "Prints the tracker selection: the cached tracker list, then the private trackers\n"
                  "of the settings file. One tracker per line: name, announce URL and UP, DOWN or\n"
                  "private, separated by tabs.\n",
                  TrackersUsage);
      return ExitOk;
    }
    std::fprintf(stderr, "quorvane-cli trackers: unknown option \"%s\"\nUsage: quorvane-cli %s\n", a.c_str(),
                 TrackersUsage);
    return ExitUsage;
  }
  TTrackerList list;
  const std::string error = LoadSavedTrackers(list, TTrackerCache::Installed(), SettingsFilePath());
  // A list that did not parse brings no private trackers in.
  PrintTrackers(list, error.empty() ? list.PrivateTrackers.size() : 0);
  if (!error.empty()) {
    std::fprintf(stderr, "quorvane-cli trackers: %s\n", error.c_str());
    return ExitFailure;
  }
  return ExitOk;
}

const TCliRegistration registration({"trackers", TrackersUsage, "list the trackers to choose from", RunTrackers});

}  // namespace
