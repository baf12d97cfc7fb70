#include "metainfo/TorrentEdits.h"

#include <stdexcept>

std::string ComponentProblem(std::string_view part) {
  if (part.empty()) return "is empty";
  if (part == ".") return "is \".\"";
  if (part == "..") return "is \"..\"";
  if (part.front() == '/') return "is absolute";
  if (part.find('/') != std::string_view::npos) return "contains \"/\"";
  if (part.find('\0') != std::string_view::npos) return "contains a NUL byte";
  return "";
}

std::string FileEntryText(const TTorrentSubFile& file) { return file.Path + file.Name; }

namespace {

// Every component of a "/"-separated path must name a file or folder inside
// the torrent's own folder.
void CheckPathText(const std::string& text) {
  if (!text.empty() && text.front() == '/')
    throw EBadFileName("\"" + text + "\": a file name may not be absolute");
  std::string_view rest = text;
  while (true) {
    const auto slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    if (const std::string problem = ComponentProblem(part); !problem.empty())
      throw EBadFileName("\"" + text + "\": a part of the name " + problem);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
}

}  // namespace

void CheckTorrentName(const std::string& name) {
  if (const std::string problem = ComponentProblem(name); !problem.empty())
    throw EBadFileName("\"" + name + "\": the torrent's name " + problem);
}

void RenameFileEntry(TTorrentFile& torrent, std::size_t index, const std::string& text) {
  if (index >= torrent.Files.size())
    throw std::out_of_range("File index " + std::to_string(index) + " is out of range");
  if (!torrent.MultiFile) {
    // The one file of a single-file torrent is named by the torrent's name.
    CheckTorrentName(text);
    SetTorrentName(torrent, text);
    return;
  }
  CheckPathText(text);
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
