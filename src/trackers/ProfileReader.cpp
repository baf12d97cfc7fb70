#include "trackers/ProfileReader.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "metainfo/Stream.h"

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string SettingsFilePath() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
    return std::string(xdg) + "/quorvane/quorvane.ini";
  std::string home;
  if (const char* h = std::getenv("HOME"); h != nullptr && h[0] != '\0') {
    home = h;
  } else if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    home = pw->pw_dir;
  }
  return home + "/.config/quorvane/quorvane.ini";
}

TProfileReader::TProfileReader(const std::string& path) {
  std::string text;
  try {
    text = ReadWholeFile(path);
  } catch (const EStreamError&) {
    return;
  }
  std::string section;
  size_t p = 0;
  while (p < text.size()) {
    size_t end = text.find_first_of("\r\n", p);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(p, end - p));
    p = end;
    while (p < text.size() && (text[p] == '\r' || text[p] == '\n')) ++p;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      // A line without "]" is neither a section nor an entry.
      if (const size_t close = line.find(']'); close != std::string::npos) section = Trim(line.substr(1, close - 1));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    entries_.push_back({section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))});
  }
}

std::string TProfileReader::ReadString(const std::string& section, const std::string& key,
                                       const std::string& def) const {
  for (const auto& e : entries_) {
    if (!SameNoCase(e.Section, section) || !SameNoCase(e.Key, key)) continue;
    // Values are taken as written, quotes included, as the program writes them.
    std::string value = e.Value;
    if (value.size() > 2047) value.resize(2047);
    return value;
  }
  return def;
}

int64_t TProfileReader::ReadInteger(const std::string& section, const std::string& key, int64_t def) const {
  const std::string text = ReadString(section, key, "");
  if (text.empty()) return def;
  size_t i = 0;
  bool negative = false;
  if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
  int base = 10;
  if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  } else if (i < text.size() && text[i] == '$') {
    base = 16;
    i += 1;
  }
  if (i == text.size()) return def;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int c = std::tolower(static_cast<unsigned char>(text[i]));
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return def;
    if (value > (INT64_MAX - digit) / base) return def;
    value = value * base + digit;
  }
  return negative ? -value : value;
}

std::vector<TTracker> LoadPrivateTrackers(const TProfileReader& profile) {
  std::vector<TTracker> trackers;
  const int64_t count = profile.ReadInteger("private", "count", 0);
  // A damaged count must not make the program loop for ages over empty
  // sections; the desktop program reads at most as many.
  for (int64_t i = 0; i < count && i < 1000; ++i) {
    const std::string section = "private" + std::to_string(i);
    TTracker t;
    t.Name = profile.ReadString(section, "name", "");
    t.Announce = profile.ReadString(section, "announce", "");
    t.Webpage = profile.ReadString(section, "webpage", "");
    trackers.push_back(std::move(t));
  }
  return trackers;
}
