#pragma once
// The settings file: an INI-style profile read and written key by key.
// Nothing is cached; every read opens the file, every write replaces it.

#include <cstdint>
#include <stdexcept>
#include <string>

class EProfileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TProfileFile {
 public:
  explicit TProfileFile(std::string path) : path_(std::move(path)) {}

  // Sections and keys are compared without regard to ASCII case. A missing
  // file, section or key gives the default; values are cut at 2047 bytes.
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$"; anything else gives def.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
  // An integer, non-zero meaning true.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // Each write reaches the file at once: the whole file is rewritten beside
  // the target and renamed over it, unless it would come out the same. The
  // folder is created when missing.
  // Raises EProfileError "Unable to write to <path>" when that fails.
  void WriteString(const std::string& section, const std::string& key, const std::string& value) const;
  void WriteInteger(const std::string& section, const std::string& key, int32_t value) const;
  void WriteBool(const std::string& section, const std::string& key, bool value) const;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Parses an integer the way the settings file stores them; false when the
// raw is not a number that fits 32 bits.
bool ParseProfileInteger(const std::string& raw, int32_t& value);

// $XDG_CONFIG_HOME/quorvane/quorvane.ini, or ~/.config/quorvane/quorvane.ini.
std::string SettingsFileName();
