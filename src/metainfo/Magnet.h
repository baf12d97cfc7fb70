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
