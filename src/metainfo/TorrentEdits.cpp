#include "metainfo/TorrentEdits.h"

#include <algorithm>
#include <span>
#include <stdexcept>

#include "base/Text.h"

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

// The components of a file's place: its folders ("a/b/" or "a/b") and its name.
std::vector<std::string_view> Components(std::string_view folder, std::string_view name) {
  std::vector<std::string_view> parts;
  while (!folder.empty()) {
    const auto slash = folder.find('/');
    parts.push_back(folder.substr(0, slash));
    if (slash == std::string_view::npos) break;
    folder.remove_prefix(slash + 1);
  }
  parts.push_back(name);
  return parts;
}

bool SameNoCase(std::span<const std::string_view> a, std::span<const std::string_view> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](std::string_view x, std::string_view y) { return EqualsNoCase(x, y); });
}

// A file may not take another's path, nor be where another has a folder, nor
// lie in one that is another's file. Case does not count: libtorrent loads
// such twins under other names ("a.1.txt"), and a disk that ignores case
// holds only one of them.
void CheckNoClash(const TTorrentFile& torrent, std::size_t index, const std::string& text,
                  const std::string& folder, const std::string& name) {
  const auto wanted = Components(folder, name);
  for (std::size_t j = 0; j < torrent.Files.size(); ++j) {
    if (j == index) continue;
    const TTorrentSubFile& other = *torrent.Files[j];
    const auto held = Components(other.Path, other.Name);
    const std::size_t common = std::min(wanted.size(), held.size());
    if (!SameNoCase(std::span(wanted).first(common), std::span(held).first(common))) continue;
    const std::string which = "file " + std::to_string(j) + " (\"" + FileEntryText(other) + "\")";
    if (wanted.size() == held.size())
      throw EBadFileName("\"" + text + "\": " + which + " has this path" +
                         (wanted == held ? "" : ", but for case"));
    if (wanted.size() < held.size())
      throw EBadFileName("\"" + text + "\": " + which + " lies in a folder of this path");
    throw EBadFileName("\"" + text + "\": " + which + " is a file, not a folder");
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
  const TTorrentSubFile& file = *torrent.Files[index];
  // Padding is no one's data: its place is kept by its length alone.
  if (file.Pad)
    throw EBadFileName("\"" + text + "\": file " + std::to_string(index) + " (\"" + FileEntryText(file) +
                       "\") is padding, which is not renamed");
  CheckPathText(text);
  // Only "/" separates folders here: ":" is an ordinary file-name character.
  const auto slash = text.rfind('/');
  const std::string folder = slash == std::string::npos ? file.Path : text.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
  // Named back as loaded, it is the torrent as it came, twins and all.
  if (!torrent.LoadedWithPath(index, folder, name)) CheckNoClash(torrent, index, text, folder, name);
  torrent.RenameFile(index, folder, name);
}

bool SetTorrentName(TTorrentFile& torrent, const std::string& name) {
  torrent.SetName(name);
  if (torrent.MultiFile || torrent.Files.empty()) return false;
  torrent.RenameFile(0, "", name);
  return true;
}

std::vector<std::string> ResolveBackupLines(const std::vector<std::string>& lines,
                                            const TAnnounceLookup& lookup) {
  std::vector<std::string> urls;
  urls.reserve(lines.size());
  for (const auto& line : lines) {
    std::string url = lookup ? lookup(line) : std::string();
    if (url.empty())
      urls.push_back(line);
    else
      urls.push_back(std::move(url));
  }
  return urls;
}

void RebuildBackupTrackers(TTorrentFile& torrent, bool enabled, const std::vector<std::string>& lines,
                           const TAnnounceLookup& lookup) {
  torrent.SetBackupTrackers(enabled ? ResolveBackupLines(lines, lookup) : std::vector<std::string>());
}

namespace {

using TTiers = std::vector<std::vector<std::string>>;

// Removes later copies of a URL, in its tier and in later tiers.
void DropRepeats(TTiers& tiers) {
  std::vector<std::string> seen;
  for (auto& tier : tiers) {
    std::erase_if(tier, [&seen](const std::string& url) {
      if (std::find(seen.begin(), seen.end(), url) != seen.end()) return true;
      seen.push_back(url);
      return false;
    });
  }
}

}  // namespace

std::string MainTracker(const TTorrentFile& torrent) {
  if (std::string main = torrent.Announce(); !main.empty()) return main;
  for (const auto& tier : torrent.AnnounceTiers())
    if (!tier.empty()) return tier.front();
  return {};
}

void ReplaceBackupTrackers(TTorrentFile& torrent, const std::vector<std::string>& urls) {
  // Set apart first: SetBackupTrackers keeps only the announce URL.
  if (torrent.Announce().empty()) torrent.SetAnnounce(MainTracker(torrent));
  torrent.SetBackupTrackers(urls);
}

void SetTrackersKeepingMain(TTorrentFile& torrent, TTrackerTiers tiers, const std::string& main) {
  torrent.SetTrackers(std::move(tiers));
  if (torrent.Announce() != main) torrent.SetAnnounce(main);
}

void AddTracker(TTorrentFile& torrent, const std::string& url) {
  TTiers tiers = torrent.AnnounceTiers();
  const std::string main = MainTracker(torrent);
  // Clients read announce-list instead of announce: the main tracker must be in it.
  if (tiers.empty() && !main.empty()) tiers.push_back({main});
  tiers.push_back({url});
  DropRepeats(tiers);
  SetTrackersKeepingMain(torrent, std::move(tiers), main.empty() ? url : main);
}

bool RemoveTracker(TTorrentFile& torrent, const std::string& url) {
  TTiers tiers = torrent.AnnounceTiers();
  std::string main = MainTracker(torrent);
  bool found = main == url;
  for (auto& tier : tiers) found |= std::erase(tier, url) > 0;
  if (!found) return false;
  std::erase_if(tiers, [](const auto& tier) { return tier.empty(); });
  if (main == url) main = tiers.empty() ? std::string() : tiers.front().front();
  SetTrackersKeepingMain(torrent, std::move(tiers), main);
  return true;
}

int ReplaceInTrackers(TTorrentFile& torrent, const std::string& from, const std::string& to) {
  if (from.empty()) return 0;
  int changed = 0;
  auto replace = [&](std::string& url) {
    std::string result;
    size_t start = 0;
    for (size_t at; (at = url.find(from, start)) != std::string::npos; start = at + from.size())
      result += url.substr(start, at - start) + to;
    if (start == 0) return;
    result += url.substr(start);
    url = std::move(result);
    ++changed;
  };
  TTiers tiers = torrent.AnnounceTiers();
  std::string main = MainTracker(torrent);
  for (auto& tier : tiers)
    for (auto& url : tier) replace(url);
  replace(main);
  if (changed == 0) return 0;
  DropRepeats(tiers);
  SetTrackersKeepingMain(torrent, std::move(tiers), main);
  return changed;
}

void ReplaceMainTracker(TTorrentFile& torrent, const std::string& url) {
  TTiers tiers = torrent.AnnounceTiers();
  // Without an announce URL the new one leads: the tiers' first URL stays as a back-up.
  const std::string old = torrent.Announce();
  bool placed = false;
  if (!old.empty()) {
    for (auto& tier : tiers)
      for (auto& entry : tier)
        if (entry == old) {
          entry = url;
          placed = true;
        }
  }
  if (!placed && !tiers.empty()) tiers.front().insert(tiers.front().begin(), url);
  DropRepeats(tiers);
  SetTrackersKeepingMain(torrent, std::move(tiers), url);
}

std::string SavedInfoHash(const TTorrentFile& torrent) {
  if (torrent.Format() == TMetaFormat::V2) return {};
  // Writing the info alone is enough, and on a torrent of many files much
  // cheaper than writing and loading the whole file.
  if (std::string hash = torrent.SavedInfoHashText(torrent.Pieces); !hash.empty()) return hash;
  TMemoryStream saved;
  torrent.SaveToStream(saved, torrent.Pieces);
  saved.Seek(0, TSeekOrigin::Beginning);
  TTorrentFile reloaded;
  reloaded.LoadFromStream(saved);
  return reloaded.InfoHashText;
}

bool InfoHashChanges(const TTorrentFile& torrent) {
  if (!torrent.InfoHashV2Text.empty() &&
      torrent.SavedInfoHashV2Text(torrent.Pieces) != torrent.InfoHashV2Text)
    return true;
  return !torrent.InfoHashText.empty() && SavedInfoHash(torrent) != torrent.InfoHashText;
}
