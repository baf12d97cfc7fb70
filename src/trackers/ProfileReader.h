#pragma once
// A read-only view of the settings file "quorvane.ini", enough to list the
// private trackers without the desktop program: sections and keys compared
// without regard to case, a missing file or key giving the caller's default.

#include <string>
#include <vector>

#include "trackers/Tracker.h"

// $XDG_CONFIG_HOME/quorvane/quorvane.ini (default ~/.config/quorvane/quorvane.ini).
std::string SettingsFilePath();

class TProfileReader {
 public:
  // Reads the file once; a file that cannot be read reads as empty.
  explicit TProfileReader(const std::string& path);

  // A string value, up to 2047 bytes.
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$"; anything else gives def.
  int64_t ReadInteger(const std::string& section, const std::string& key, int64_t def) const;

 private:
  struct TEntry {
    std::string Section, Key, Value;
  };
  std::vector<TEntry> entries_;
};

// The private trackers stored in the settings: "private"/"count" records from
// the sections private0, private1, ...
std::vector<TTracker> LoadPrivateTrackers(const TProfileReader& profile);
