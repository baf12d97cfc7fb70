#pragma once
// Writes the info dictionary of a v2-only or hybrid torrent, and its "piece layers", byte for
// byte as libtorrent 2.0's create_torrent does: the same files and piece length give the same
// info hashes, so the torrent cross-seeds with one made by another client.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "metainfo/FileTree.h"

// A request the writer cannot turn into a valid torrent; the message says why.
class EFileTreeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TV2InfoRequest {
  TMetaFormat Format = TMetaFormat::V2;  // V2 or Hybrid
  std::string Name;
  int64_t PieceLength = 0;  // a power of two of at least 16 KiB
  // In tree order (SortTreeOrder): a hybrid's pieces are hashed over the files in this order.
  // Each non-empty file that is not a link carries its PiecesRoot.
  std::vector<TTreeFile> Files;
  bool SingleFile = false;  // Files holds one file, which is the torrent (named Name, no folder)
  // Hybrid only: the SHA-1 of each piece of the files in order with HybridV1Files' pads
  // (zeros), 20 bytes each.
  std::string V1Pieces;
  bool Private = false;
  std::string Source;  // "" for none
};

// Puts files in tree order: paths compared component by component as raw bytes, so "a/x" comes
// before "a.txt" (whole path strings would sort the other way).
void SortTreeOrder(std::vector<TTreeFile>& files);

// The bencoded info dictionary. Raises EFileTreeError for a request no client would accept: a
// piece length that is not a power of two of at least 16 KiB, no data, names that clash or are
// unsafe, a missing root, pieces that do not cover the data, files out of tree order.
std::string WriteV2Info(const TV2InfoRequest& request);

// The bencoded "piece layers" dictionary: each file longer than one piece under its root (each
// root once, keys in byte order), its PieceLayer as the value. Raises EFileTreeError when such a
// file has no layer of the size its length needs.
std::string WritePieceLayers(std::span<const TTreeFile> files, int64_t pieceLength);
