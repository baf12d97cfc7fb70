#pragma once
// A scratch folder for one test, removed with everything in it afterwards.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

class TTempDir {
 public:
  TTempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quorvane-test-XXXXXX").string();
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
    path_ = name.data();
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Writes a file (creating its folders) and returns its full path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string full = *this / name;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full;
  }
  std::string MakeDir(const std::string& name) const {
    const std::string full = *this / name;
    std::filesystem::create_directories(full);
    return full;
  }
  // The names in a folder, sorted.
  std::vector<std::string> List(const std::string& name = "") const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(name.empty() ? path_ : *this / name))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

// Bytes that differ from position to position, so a misplaced byte changes a hash.
inline std::string PatternBytes(size_t size, unsigned seed = 1) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : bytes) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}
