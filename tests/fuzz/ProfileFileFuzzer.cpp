// The settings file reader on any file, and a write read back: the input is
// the file, then the section, key and value of one write and the section and
// key of one other read, parted by NUL bytes.

#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "base/ProfileFile.h"
#include "base/Stream.h"

namespace {

std::vector<std::string> Fields(const std::string& input, size_t count) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (fields.size() + 1 < count) {
    const size_t nul = input.find('\0', start);
    if (nul == std::string::npos) break;
    fields.push_back(input.substr(start, nul - start));
    start = nul + 1;
  }
  fields.push_back(input.substr(std::min(start, input.size())));
  fields.resize(count);
  return fields;
}

bool Blank(char c) { return c == ' ' || c == '\t'; }
bool Trimmed(const std::string& s) { return s.empty() || (!Blank(s.front()) && !Blank(s.back())); }
bool OneLine(const std::string& s) { return s.find_first_of("\r\n") == std::string::npos; }

// What the program itself passes: names of one line without the characters
// that end them, values of one line that fit the reader's limit.
bool Writable(const std::string& section, const std::string& key, const std::string& value) {
  return OneLine(section) && OneLine(key) && Trimmed(section) && Trimmed(key) &&
         section.find(']') == std::string::npos && key.find('=') == std::string::npos &&
         (key.empty() || (key[0] != ';' && key[0] != '[')) && OneLine(value) && Trimmed(value) &&
         value.size() <= 2047;
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Scratch() {
  const std::filesystem::path base =
      std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  return (base / ("quorvane-fuzz-profile-" + std::to_string(::getpid()) + ".ini")).string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = Scratch();
  const auto f = Fields(std::string(reinterpret_cast<const char*>(data), size), 6);
  const std::string &text = f[0], &section = f[1], &key = f[2], &value = f[3], &otherSection = f[4],
                    &otherKey = f[5];
  WriteWholeFile(path, text);
  const TProfileFile ini(path);

  const std::string missing("\x01", 1);
  const std::string otherBefore = ini.ReadString(otherSection, otherKey, missing);
  FUZZ_CHECK(otherBefore == missing || otherBefore.size() <= 2047);
  const int32_t number = ini.ReadInteger(section, key, 17);
  int32_t parsed = 0;
  if (ParseProfileInteger(ini.ReadString(section, key, ""), parsed)) FUZZ_CHECK(parsed == number);
  // Whatever a number reads as, it is written back as the same number.
  FUZZ_CHECK(ParseProfileInteger(std::to_string(number), parsed) && parsed == number);

  if (!Writable(section, key, value)) return 0;
  ini.WriteString(section, key, value);
  FUZZ_CHECK(ini.ReadString(section, key, missing) == value);
  // A write changes its own entry and no other.
  if (!(SameText(section, otherSection) && SameText(key, otherKey)))
    FUZZ_CHECK(ini.ReadString(otherSection, otherKey, missing) == otherBefore);
  ini.WriteInteger(section, key, number);
  FUZZ_CHECK(ini.ReadInteger(section, key, number == 0 ? 1 : 0) == number);
  return 0;
}
