#pragma once
// JSON texts for the commands' --json output.

#include <string>
#include <string_view>
#include <vector>

// A JSON string of the bytes as UTF-8 (invalid bytes U+FFFD); C0 and C1 control characters, DEL
// and bidirectional controls escaped as \uXXXX.
std::string JsonString(std::string_view s);
// A JSON array of strings, one per line, each line after indent.
std::string JsonStringArray(const std::vector<std::string>& items, const char* indent);
