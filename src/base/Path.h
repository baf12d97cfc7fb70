#pragma once
// Paths are byte strings with "/" as the separator.

#include <string>

// folder + "/" + name, the separator not doubled after "/".
std::string JoinPath(const std::string& folder, const std::string& name);
// The text after the last "/" (empty for a path that ends in "/").
std::string LastPathComponent(const std::string& path);
