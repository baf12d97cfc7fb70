#include "trackers/TrackerCache.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include "base/Stream.h"

#ifndef QUORVANE_DATADIR
#define QUORVANE_DATADIR "/usr/local/share/quorvane"
#endif

namespace {

std::string HomeDir() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return "/tmp";
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// mkdir -p; failures show up later, when the cache is written.
void MakeDirs(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty()) mkdir(part.c_str(), 0755);
    if (slash == std::string::npos) break;
  }
}

std::string ExecutableDir() {
  std::string buffer(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  buffer.resize(static_cast<size_t>(n));
  const size_t slash = buffer.rfind('/');
  return slash == std::string::npos ? std::string() : buffer.substr(0, slash);
}

}  // namespace

std::string GetInstallDir() {
  std::string base;
  // Only an absolute XDG_CACHE_HOME counts; a relative one is ignored as invalid.
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    base = HomeDir() + "/.cache";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string dir = base + "/quorvane";
  MakeDirs(dir);
  return dir;
}

std::string DefaultTrackerListFile() {
  if (const std::string exeDir = ExecutableDir(); !exeDir.empty()) {
    std::string beside = exeDir + "/../share/quorvane/trackers.lst";
    if (IsFile(beside)) return beside;
  }
  return std::string(QUORVANE_DATADIR) + "/trackers.lst";
}

TTrackerCache TTrackerCache::Installed() {
  return TTrackerCache(GetInstallDir() + "/trackers.lst", DefaultTrackerListFile());
}

bool TTrackerCache::Exists() const { return IsFile(cacheFile_) || IsFile(defaultFile_); }

std::optional<std::string> TTrackerCache::Read() const {
  if (IsFile(cacheFile_)) return ReadWholeFile(cacheFile_);
  if (IsFile(defaultFile_)) return ReadWholeFile(defaultFile_);
  return std::nullopt;
}

void TTrackerCache::Write(const std::string& bytes) const { WriteWholeFile(cacheFile_, bytes); }
