#pragma once
// Byte-string helpers shared by every folder. ASCII only and locale-free: torrent texts,
// URLs and file names are bytes in no declared encoding.

#include <string>
#include <string_view>

char AsciiLower(char c);
std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);
// Without the leading and trailing blanks and control bytes (everything up to ' ').
std::string Trim(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
// Names sorted without regard to ASCII case; equal ones in byte order.
bool LessNoCase(std::string_view a, std::string_view b);
// Two lower-case hex digits per byte for the first min(size, maxCount) bytes.
std::string BytesToHex(std::string_view bytes, int maxCount);
