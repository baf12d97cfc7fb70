#pragma once
// Where the tracker list is kept between runs: the cache file in the cache
// folder, and the list installed with the program, which serves as the cache
// until a list has been stored.

#include <optional>
#include <string>

// The cache folder: $XDG_CACHE_HOME/quorvane (default ~/.cache/quorvane), created when needed.
std::string GetInstallDir();
// The list installed with the program (<prefix>/share/quorvane/trackers.lst),
// looked for beside the running program first so an unpacked tree works too.
std::string DefaultTrackerListFile();

class TTrackerCache {
 public:
  TTrackerCache(std::string cacheFile, std::string defaultFile)
      : cacheFile_(std::move(cacheFile)), defaultFile_(std::move(defaultFile)) {}
  // The program's own cache: GetInstallDir() + "/trackers.lst" and the installed list.
  static TTrackerCache Installed();

  // True when there is a list to fall back on (the cache file or the installed list).
  bool Exists() const;
  // The cached list's bytes; nothing when there is none. Raises EStreamError
  // when a list exists but cannot be read.
  std::optional<std::string> Read() const;
  // Replaces the cache file atomically; raises EStreamError on failure.
  void Write(const std::string& bytes) const;

  const std::string& CacheFile() const { return cacheFile_; }
  const std::string& DefaultFile() const { return defaultFile_; }

 private:
  std::string cacheFile_;
  std::string defaultFile_;
};
