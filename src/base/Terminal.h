#pragma once
// Texts from files shown on a terminal: torrents and file names carry bytes in no declared
// encoding, and their control characters must never reach the terminal.

#include <string>
#include <string_view>

// The bytes as UTF-8, each invalid sequence replaced by U+FFFD.
std::string ToUtf8(std::string_view s);
// True when UTF-8 text starts with a bidirectional embedding, override or isolate
// (U+202A..U+202E, U+2066..U+2069): each reorders what follows it on the line.
bool IsBidiControl(std::string_view utf8);
// ToUtf8, and every C0/C1 control character, DEL and bidirectional control replaced by U+FFFD;
// line breaks are kept when keepLineBreaks (a CR before LF is dropped).
std::string ForTerminal(std::string_view s, bool keepLineBreaks = false);
