#include "cli/TrackerText.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string_view>

#include "base/Terminal.h"
#include "base/Text.h"
#include "cli/Args.h"
#include "trackers/SavedTrackers.h"

namespace {

// Levenshtein distance without regard to ASCII case.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const size_t cost = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]) ? 0 : 1;
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + cost});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

bool IsAnnounceUrl(const std::string& text) {
  const size_t end = text.find("://");
  if (end == std::string::npos || end + 3 >= text.size()) return false;
  const std::string scheme = AsciiLower(text.substr(0, end));
  return scheme == "http" || scheme == "https" || scheme == "udp" || scheme == "wss";
}

TTrackerList TrackerListFor(const std::vector<std::string>& texts) {
  TTrackerList trackers;
  if (std::all_of(texts.begin(), texts.end(),
                  [](const std::string& t) { return t.empty() || IsAnnounceUrl(t); }))
    return trackers;
  try {
    LoadSavedTrackers(trackers, TTrackerCache::Installed(), SettingsFileName());
  } catch (const std::exception&) {
    trackers = {};
  }
  return trackers;
}

void CheckTrackerText(const std::string& option, const std::string& text, const TTrackerList& trackers,
                      bool allowEmpty) {
  if (text.empty() && allowEmpty) return;
  if (text.empty()) throw EUsage(option + " needs a tracker: an announce URL or a name of the tracker list");
  if (IsAnnounceUrl(text) || !trackers.LookupAnnounceURL(ListNameOf(text, trackers)).empty()) return;
  std::vector<std::pair<size_t, std::string>> names;
  for (const auto& tracker : trackers.Trackers)
    if (!tracker.Name.empty()) names.emplace_back(EditDistance(text, tracker.Name), tracker.Name);
  std::stable_sort(names.begin(), names.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  std::string message = option + " \"" + ForTerminal(text) +
                        "\" is neither an announce URL (http, https, udp or wss) nor a tracker of the list";
  if (names.empty()) {
    message += " (no tracker list; quorvane-cli trackers --refresh fetches one)";
  } else {
    message += "; closest names:";
    for (size_t i = 0; i < names.size() && i < 3; ++i)
      message += (i ? ", \"" : " \"") + ForTerminal(names[i].second) + "\"";
  }
  throw EUsage(message);
}

std::string ResolveTrackerText(const std::string& text, const TTrackerList& trackers) {
  return trackers.GetAnnounceURL(ListNameOf(text, trackers)).URL;
}

std::string ListNameOf(const std::string& text, const TTrackerList& trackers) {
  const std::string lower = AsciiLower(text);
  std::string match;
  for (const auto& tracker : trackers.Trackers) {
    if (tracker.Name == text) return text;
    // The last one, as the exact lookup takes the last of a name.
    if (!tracker.Name.empty() && AsciiLower(tracker.Name) == lower) match = tracker.Name;
  }
  return match.empty() ? text : match;
}

bool IsWebSeedUrl(const std::string& text) {
  const size_t end = text.find("://");
  if (end == std::string::npos || end + 3 >= text.size()) return false;
  const std::string scheme = AsciiLower(text.substr(0, end));
  return scheme == "http" || scheme == "https";
}

bool ConfirmTrackerUp(const char* command, const std::string& text, const TTrackerList& trackers, bool yes) {
  if (text.empty() || IsAnnounceUrl(text)) return true;
  const std::string name = ListNameOf(text, trackers);
  if (trackers.GetAnnounceURL(name).Status != TTrackerStatus::Down || yes) return true;
  const std::string question = "Tracker may be down; are you sure you want to continue?";
  const std::string shown = ForTerminal(name);
  if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO)) {
    std::fprintf(stderr,
                 "quorvane-cli %s: the tracker list marks \"%s\" DOWN. %s No (use --yes to answer Yes)\n",
                 command, shown.c_str(), question.c_str());
    return false;
  }
  std::fprintf(stderr, "The tracker list marks \"%s\" DOWN. %s [y/N] ", shown.c_str(), question.c_str());
  std::fflush(stderr);
  char line[64] = "";
  return std::fgets(line, sizeof line, stdin) && (line[0] == 'y' || line[0] == 'Y');
}
