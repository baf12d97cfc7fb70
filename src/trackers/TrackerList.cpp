#include "trackers/TrackerList.h"

#include <algorithm>
#include <cstddef>

#include <cctype>
#include <limits>

#include "base/Text.h"

namespace {

// Reads a decimal integer as the list's conversion does: leading blanks and a
// sign are allowed, anything else around the digits is not.
bool ReadInteger(const std::string& text, int64_t& value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  uint64_t magnitude = 0;
  const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                  : uint64_t(std::numeric_limits<int64_t>::max());
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!std::isdigit(c)) return false;
    const unsigned digit = c - '0';
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

std::string NotAnInteger(const std::string& text) { return "'" + text + "' is not a valid integer value"; }
std::string IndexOutOfBounds(size_t index) {
  return "List index out of bounds (" + std::to_string(index) + ")";
}

}  // namespace

std::vector<std::string> SplitTrackerListLines(const std::string& bytes) {
  std::vector<std::string> lines;
  const size_t end = std::min(bytes.find('\0'), bytes.size());
  size_t p = 0;
  while (p < end) {
    const size_t start = p;
    while (p < end && bytes[p] != '\r' && bytes[p] != '\n') ++p;
    lines.emplace_back(bytes, start, p - start);
    if (p < end && bytes[p] == '\r') ++p;
    if (p < end && bytes[p] == '\n') ++p;
  }
  return lines;
}

namespace {

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

}  // namespace

TTrackerListParse ParseTrackerList(const std::string& bytes) {
  TTrackerListParse result;
  const std::vector<std::string> lines = SplitTrackerListLines(bytes);
  if (lines.empty()) {
    result.Error = IndexOutOfBounds(0);
    return result;
  }
  if (!ReadInteger(lines[0], result.Version)) {
    result.Error = NotAnInteger(lines[0]);
    return result;
  }
  result.VersionRead = true;
  if (lines.size() > 1) result.UpdateURL = lines[1];
  result.EntriesReached = true;
  if (lines.size() < 3) {
    result.Error = IndexOutOfBounds(2);
    return result;
  }
  if (lines[2] == "0") return result;
  int64_t count = 0;
  if (!ReadInteger(lines[2], count)) {
    result.Error = NotAnInteger(lines[2]);
    return result;
  }
  if (count < 0) {
    result.Error = "Invalid tracker count " + lines[2];
    return result;
  }
  // Entries are read one by one rather than reserved up front: a list may
  // announce far more entries than it holds.
  for (int64_t i = 0; i < count; ++i) {
    const size_t first = 3 + 4 * static_cast<size_t>(i);
    if (first + 3 >= lines.size()) {
      result.Error = IndexOutOfBounds(lines.size());
      return result;
    }
    // An entry whose texts hold control characters is dropped: they would
    // reach terminals and labels as they are, and no real tracker needs one.
    if (std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(first),
                    lines.begin() + static_cast<std::ptrdiff_t>(first) + 3, HasControlCharacter))
      continue;
    TTracker tracker;
    tracker.Name = lines[first];
    tracker.Announce = lines[first + 1];
    tracker.Webpage = lines[first + 2];
    tracker.Down = lines[first + 3] == "1";
    result.Entries.push_back(std::move(tracker));
  }
  return result;
}

bool IsBrowsableUrl(const std::string& url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

std::vector<TTracker> CombineTrackers(const std::vector<TTracker>& publicEntries,
                                      const std::vector<TTracker>& privateTrackers) {
  std::vector<TTracker> trackers = publicEntries;
  trackers.insert(trackers.end(), privateTrackers.begin(), privateTrackers.end());
  return trackers;
}

std::vector<std::string> TrackerNames(const std::vector<TTracker>& trackers) {
  std::vector<std::string> names;
  names.reserve(trackers.size());
  for (const auto& t : trackers) names.push_back(t.Name);
  return names;
}

std::string LookupAnnounceURL(const std::vector<TTracker>& trackers, const std::string& name) {
  std::string url;
  for (const auto& t : trackers) {
    if (t.Name == name) url = t.Announce;
  }
  return url;
}

std::vector<std::string> ResolveTrackerNames(const std::vector<TTracker>& trackers,
                                             const std::vector<std::string>& names) {
  std::vector<std::string> urls;
  urls.reserve(names.size());
  for (const auto& name : names) {
    std::string url = LookupAnnounceURL(trackers, name);
    if (url.empty()) url = name;
    urls.push_back(std::move(url));
  }
  return urls;
}

TAnnounceResolution GetAnnounceURL(const std::vector<TTracker>& trackers, const std::string& text) {
  TAnnounceResolution result;
  for (const auto& t : trackers) {
    if (t.Name != text) continue;
    result.URL = t.Announce;
    result.Status = t.Down ? TTrackerStatus::Down : TTrackerStatus::Up;
    result.VisitEnabled = true;
  }
  if (!result.VisitEnabled) result.URL = text;
  return result;
}

std::string TrackerStatusText(TTrackerStatus status) {
  switch (status) {
    case TTrackerStatus::Up:
      return "Status: UP";
    case TTrackerStatus::Down:
      return "Status: *DOWN*";
    case TTrackerStatus::NotAvailable:
      break;
  }
  return "Status: N/A";
}

std::vector<std::string> VisitPages(const std::vector<TTracker>& trackers, const std::string& text) {
  std::vector<std::string> pages;
  for (const auto& t : trackers) {
    if (t.Name == text && IsBrowsableUrl(t.Webpage)) pages.push_back(t.Webpage);
  }
  return pages;
}

int FindPrivateTracker(const std::vector<TTracker>& privateTrackers, const std::string& name) {
  for (size_t i = privateTrackers.size(); i-- > 0;) {
    if (privateTrackers[i].Name == name) return static_cast<int>(i);
  }
  return -1;
}
