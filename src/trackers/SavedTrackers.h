#pragma once
// The tracker selection as the program left it, for the command line: the
// cached list's entries followed by the private trackers of the settings file.

#include <string>
#include <vector>

#include "base/ProfileFile.h"
#include "trackers/TrackerCache.h"
#include "trackers/TrackerList.h"

// A damaged "count" must not make start-up read the file for ages.
inline constexpr int32_t MaxPrivateTrackers = 1000;

// The private trackers stored in the settings: "private"/"count" records from
// the sections private0, private1, ...
std::vector<TTracker> LoadPrivateTrackers(const TProfileFile& settings);

// Fills list (PrivateTrackers and Trackers). Returns "" on success, else what
// went wrong; a list that breaks off half-way still gives the entries before
// the fault (and no private trackers, as a failed parse does).
std::string LoadSavedTrackers(TTrackerList& list, const TTrackerCache& cache,
                              const std::string& settingsFile);
