#include "metainfo/TorrentEdits.h"

#include <stdexcept>

std::string FileEntryText(const TTorrentSubFile& file) { return file.Path + file.Name; }

void RenameFileEntry(TTorrentFile& torrent, std::size_t index, const std::string& text) {
  if (index >= torrent.Files.size())
    throw std::out_of_range("File index " + std::to_string(index) + " is out of range");
  TTorrentSubFile& file = *torrent.Files[index];
  // Only "/" separates folders here: ":" is an ordinary file-name character.
  const auto slash = text.rfind('/');
  if (slash == std::string::npos) {
    file.Name = text;
    return;
  }
  file.Path = text.substr(0, slash + 1);
  file.Name = text.substr(slash + 1);
}

bool SetTorrentName(TTorrentFile& torrent, const std::string& name) {
  torrent.Name = name;
  if (torrent.MultiFile || torrent.Files.empty()) return false;
  torrent.Files.front()->Name = name;
  return true;
}

std::vector<std::string> ResolveBackupLines(const std::vector<std::string>& lines,
                                            const TAnnounceLookup& lookup) {
  std::vector<std::string> urls;
  urls.reserve(lines.size());
  for (const auto& line : lines) {
    std::string url = lookup ? lookup(line) : std::string();
    urls.push_back(url.empty() ? line : std::move(url));
  }
  return urls;
}

void RebuildBackupTrackers(TTorrentFile& torrent, bool enabled, const std::vector<std::string>& lines,
                           const TAnnounceLookup& lookup) {
  torrent.BackupTrackers.clear();
  if (enabled) torrent.BackupTrackers = ResolveBackupLines(lines, lookup);
}
