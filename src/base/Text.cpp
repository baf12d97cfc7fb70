#include "base/Text.h"

#include <algorithm>

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string Trim(std::string_view s) {
  size_t first = 0, last = s.size();
  while (first < last && static_cast<unsigned char>(s[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ') --last;
  return std::string(s.substr(first, last - first));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool LessNoCase(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(AsciiLower(a[i])),
               y = static_cast<unsigned char>(AsciiLower(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::string BytesToHex(std::string_view bytes, int maxCount) {
  static constexpr char Digits[] = "0123456789abcdef";
  const size_t count = maxCount <= 0 ? 0 : std::min(bytes.size(), static_cast<size_t>(maxCount));
  std::string hex(count * 2, '0');
  for (size_t i = 0; i < count; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    hex[2 * i] = Digits[b >> 4];
    hex[2 * i + 1] = Digits[b & 15];
  }
  return hex;
}
