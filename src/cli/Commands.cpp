// What every command shares: its usage error and the loading of the .torrent it works on.
#include "cli/Commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "base/Stream.h"
#include "base/Terminal.h"
#include "metainfo/TorrentFile.h"

int UsageError(const char* command, const std::string& what, const char* usage) {
  // The message may quote what was typed, or a name from the disk.
  std::fprintf(stderr, "quorvane-cli %s: %s\nUsage: quorvane-cli %s\n", command, ForTerminal(what).c_str(),
               usage);
  return ExitUsage;
}

bool LoadTorrentForCommand(const char* command, const std::string& path, TTorrentFile& torrent,
                           bool& loaded) {
  // Checked before opening: a folder opens on Linux but fails to read, and a
  // FIFO with no writer would block the open for ever.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "quorvane-cli %s: %s: %s\n", command, ForTerminal(path).c_str(),
                 std::strerror(errno));
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    std::fprintf(stderr, "quorvane-cli %s: %s: %s\n", command, ForTerminal(path).c_str(),
                 S_ISDIR(info.st_mode) ? "Is a directory" : "Not a regular file");
    return false;
  }
  try {
    TFileStream file(path, TFileMode::OpenRead);
    loaded = torrent.LoadFromStream(file);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorvane-cli %s: %s\n", command, ForTerminal(e.what()).c_str());
    return false;
  }
  return true;
}

bool RefuseDamaged(const char* command, const std::string& path, const TTorrentFile& torrent, bool loaded,
                   const char* consequence, bool layerFaultsAllowed) {
  const auto damage = layerFaultsAllowed ? torrent.DamageLinesBesideLayerFaults() : torrent.DamageLines();
  if (loaded && !torrent.Files.empty() && damage.empty()) return false;
  const std::string first = damage.empty() ? "no file list" : damage.front();
  const std::string more = damage.size() > 1 ? " (and " + std::to_string(damage.size() - 1) + " more)" : "";
  std::fprintf(stderr, "quorvane-cli %s: %s is damaged, %s: %s%s\n", command, ForTerminal(path).c_str(),
               consequence, ForTerminal(first).c_str(), more.c_str());
  return true;
}
