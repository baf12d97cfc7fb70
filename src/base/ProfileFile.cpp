#include "base/ProfileFile.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "base/Stream.h"
#include "base/Text.h"

namespace {

constexpr size_t MaxValueBytes = 2047;

// Blanks only: a settings value keeps its other control bytes.
std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// "[name]" gives true and the name.
bool IsSection(const std::string& line, std::string& name) {
  const std::string t = TrimBlanks(line);
  if (t.empty() || t[0] != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = TrimBlanks(t.substr(1, close - 1));
  return true;
}

// "key=value" gives true, the key and the value.
bool IsEntry(const std::string& line, std::string& key, std::string& value) {
  const std::string t = TrimBlanks(line);
  if (t.empty() || t[0] == ';' || t[0] == '[') return false;
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = TrimBlanks(t.substr(0, eq));
  value = TrimBlanks(t.substr(eq + 1));
  return true;
}

bool ReadFile(const std::string& path, std::string& text) {
  try {
    text = ReadWholeFile(path);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool ParseProfileInteger(const std::string& raw, int32_t& value) {
  const std::string text = TrimBlanks(raw);
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  } else if (i < text.size() && text[i] == '$') {
    base = 16;
    i += 1;
  }
  if (i >= text.size()) return false;
  uint64_t n = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    n = n * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (n > 0xFFFFFFFFull) return false;
  }
  if (base == 16) {
    // Hexadecimal spells out the 32 bits: $FFFFFFFF is -1. A sign negates
    // them modulo 2^32, so -$80000000 stays the lowest value (no overflow).
    const uint32_t bits = static_cast<uint32_t>(n);
    value = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  if (negative ? n > 0x80000000ull : n > 0x7FFFFFFFull) return false;
  value = negative ? static_cast<int32_t>(-static_cast<int64_t>(n)) : static_cast<int32_t>(n);
  return true;
}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& def) const {
  std::string text;
  if (!ReadFile(path_, text)) return def;
  bool inSection = false;
  std::string name, k, v;
  for (const std::string& line : SplitLines(text)) {
    if (IsSection(line, name)) {
      inSection = EqualsNoCase(name, section);
    } else if (inSection && IsEntry(line, k, v) && EqualsNoCase(k, key)) {
      if (v.size() > MaxValueBytes) v.resize(MaxValueBytes);
      return v;
    }
  }
  return def;
}

int32_t TProfileFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
  static const std::string missing = "\x01missing";
  const std::string text = ReadString(section, key, missing);
  int32_t value;
  if (text == missing || !ParseProfileInteger(text, value)) return def;
  return value;
}

bool TProfileFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TProfileFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) const {
  // A line break would split the entry and corrupt what follows it.
  std::string clean = value;
  for (char& c : clean)
    if (c == '\r' || c == '\n') c = ' ';

  std::string text;
  const bool existed = ReadFile(path_, text);
  std::vector<std::string> lines = SplitLines(text);
  const std::string entry = key + "=" + clean;

  bool inSection = false, found = false;
  std::string name, k, v;
  for (size_t i = 0; i < lines.size() && !found; ++i) {
    if (IsSection(lines[i], name)) {
      inSection = EqualsNoCase(name, section);
    } else if (inSection && IsEntry(lines[i], k, v) && EqualsNoCase(k, key)) {
      lines[i] = entry;
      found = true;
    }
  }
  if (!found) {
    size_t header = lines.size();
    for (size_t i = 0; i < lines.size() && header == lines.size(); ++i)
      if (IsSection(lines[i], name) && EqualsNoCase(name, section)) header = i;
    if (header < lines.size()) {
      // After the section's last entry, before the blank lines that part it from the next.
      size_t at = header + 1;
      for (size_t j = header + 1; j < lines.size() && !IsSection(lines[j], name); ++j)
        if (!TrimBlanks(lines[j]).empty()) at = j + 1;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
    } else {
      if (!lines.empty() && !TrimBlanks(lines.back()).empty()) lines.emplace_back();
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    }
  }

  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  // Each write is made durable, which takes disk flushes: a program closing
  // with its settings as they were should not wait for them.
  if (existed && out == text) return;
  try {
    const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder);
    WriteWholeFile(path_, out);
  } catch (const std::exception&) {
    throw EProfileError("Unable to write to " + path_);
  }
}

void TProfileFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) const {
  WriteString(section, key, std::to_string(value));
}

void TProfileFile::WriteBool(const std::string& section, const std::string& key, bool value) const {
  WriteString(section, key, value ? "1" : "0");
}

std::string SettingsFileName() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.config";
  }
  return base + "/quorvane/quorvane.ini";
}
