#pragma once
// Paths are byte strings with "/" as the separator.

#include <string>

// folder + "/" + name, the separator not doubled after "/".
std::string JoinPath(const std::string& folder, const std::string& name);
// The text after the last "/" (empty for a path that ends in "/").
std::string LastPathComponent(const std::string& path);
// The folder a path names a file in: "." for a bare name, "/" at the root.
std::string FolderOf(const std::string& path);
