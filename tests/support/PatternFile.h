#pragma once
// A file of size bytes that differ from position to position, written with
// the folders it needs.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

inline void WriteFile(const std::string& path, int64_t size) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  for (int64_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 7 + 3) & 0xFF));
}
