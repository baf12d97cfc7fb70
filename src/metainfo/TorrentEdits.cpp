#include "metainfo/TorrentEdits.h"

#include <algorithm>
#include <stdexcept>

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
  // Only "/" separates folders here: ":" is an ordinary file-name character.
  const auto slash = text.rfind('/');
  if (slash == std::string::npos) {
    torrent.RenameFile(index, torrent.Files[index]->Path, text);
    return;
  }
  torrent.RenameFile(index, text.substr(0, slash + 1), text.substr(slash + 1));
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
    urls.push_back(url.empty() ? line : std::move(url));
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
