#pragma once
// Tracker text typed on the command line (create -a/-b, edit --announce,
// --backup, --add-tracker): an announce URL or a name of the tracker list.
// create and edit check it the same way, so a typo never becomes a tracker.

#include <string>
#include <vector>

#include "trackers/TrackerList.h"

// An http, https, udp or wss URL with something after "://".
bool IsAnnounceUrl(const std::string& text);

// The saved tracker list when one of texts is not a URL (names need it);
// an empty list when none can be read, so that only URLs pass.
TTrackerList TrackerListFor(const std::vector<std::string>& texts);

// Raises EUsage unless text is an announce URL or a name of the list; the
// message names option and the closest names of the list. Empty text passes
// only when allowEmpty.
void CheckTrackerText(const std::string& option, const std::string& text, const TTrackerList& trackers,
                      bool allowEmpty = false);

// The announce URL of checked text as the tracker selection gives it: a
// tracker of that name's, or the text itself.
std::string ResolveTrackerText(const std::string& text, const TTrackerList& trackers);

// The name of the list that text stands for: the name itself, or else the last
// name that equals it without regard to case ("opentrackr" for "OpenTrackr");
// text unchanged when none does.
std::string ListNameOf(const std::string& text, const TTrackerList& trackers);

// A web seed (BEP 19): an http or https URL with something after "://".
bool IsWebSeedUrl(const std::string& text);

// The tracker list marks the tracker `text` names DOWN: asks on the terminal
// whether to go on (No without one, or Yes with `yes`). True to go on; the
// question names the tracker.
bool ConfirmTrackerUp(const char* command, const std::string& text, const TTrackerList& trackers, bool yes);
