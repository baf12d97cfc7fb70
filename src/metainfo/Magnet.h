#pragma once
// The magnet link of a torrent: what a user pastes into a client to fetch
// the torrent from peers instead of from the file.

#include <string>
#include <string_view>

#include "metainfo/TorrentFile.h"

// Every byte but the unreserved ones (A-Z a-z 0-9 - . _ ~) as %XX.
std::string PercentEncode(std::string_view text);

// "magnet:?xt=urn:btih:HASH&dn=NAME", then every tracker as &tr= (the main
// one first, then the tiers in order, each URL once) and every web seed as
// &ws=, percent-encoded. infoHashText: 40 hex digits; empty takes the
// torrent's own (as loaded; see SavedInfoHash after edits to the info).
std::string MagnetLink(const TTorrentFile& torrent, std::string_view infoHashText = {});

// The info hashes a magnet link names, as hex digits; an empty one is left out. V1: 40 digits
// (xt=urn:btih:), V2: 64 digits (xt=urn:btmh:1220..., 0x12 0x20 being SHA-256 of 32 bytes as
// multihash). A hybrid names both, btih first, as clients that know only v1 read the first.
struct TMagnetHashes {
  std::string_view V1;
  std::string_view V2;
};
std::string MagnetLink(const TTorrentFile& torrent, const TMagnetHashes& hashes);
