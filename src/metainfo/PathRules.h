#pragma once
// What a name inside a torrent may be: the rule the loader reports damage by
// and the edits refuse names by.

#include <string>
#include <string_view>

// Why a torrent name or one path component cannot name a file inside the
// download folder as it stands ("is empty", "is \"..\"", "is absolute",
// "contains \"/\"", "contains a NUL byte"); "" when it can.
std::string ComponentProblem(std::string_view part);
