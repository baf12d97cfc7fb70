#include "metainfo/Magnet.h"

#include <algorithm>
#include <vector>

std::string PercentEncode(std::string_view text) {
  static const char hexDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += ch;
    } else {
      out += '%';
      out += hexDigits[c >> 4];
      out += hexDigits[c & 15];
    }
  }
  return out;
}

std::string MagnetLink(const TTorrentFile& torrent, std::string_view infoHashText) {
  return MagnetLink(torrent,
                    {infoHashText.empty() ? std::string_view(torrent.InfoHashText) : infoHashText, {}});
}

std::string MagnetLink(const TTorrentFile& torrent, const TMagnetHashes& hashes) {
  std::string link = "magnet:?";
  // Without a v2 hash the btih part stands even when empty, as it always has.
  if (!hashes.V1.empty() || hashes.V2.empty()) link += "xt=urn:btih:" + std::string(hashes.V1);
  if (!hashes.V2.empty())
    link += std::string(hashes.V1.empty() ? "" : "&") + "xt=urn:btmh:1220" + std::string(hashes.V2);
  if (!torrent.Name.empty()) link += "&dn=" + PercentEncode(torrent.Name);
  std::vector<std::string> trackers;
  auto addTracker = [&trackers](const std::string& url) {
    if (!url.empty() && std::find(trackers.begin(), trackers.end(), url) == trackers.end())
      trackers.push_back(url);
  };
  addTracker(torrent.Announce());
  for (const auto& tier : torrent.AnnounceTiers())
    for (const auto& url : tier) addTracker(url);
  for (const auto& url : trackers) link += "&tr=" + PercentEncode(url);
  for (const auto& url : torrent.WebSeeds) link += "&ws=" + PercentEncode(url);
  return link;
}
