#pragma once
// The merkle trees of BitTorrent v2: a file's 16 KiB leaf hashes reduced to its root and its
// piece layer, and the check that a piece layer reduces to a root. Pure functions over hashes.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "digest/Sha256Lanes.h"

using TSha256Hash = std::array<uint8_t, 32>;

struct TMerkleFileHashes {
  TSha256Hash Root{};                   // all zero for an empty file, which has no root
  std::vector<TSha256Hash> PieceLayer;  // empty for a file of at most one piece
};

// The root of a layer padded to `width` nodes (a power of two, at least the layer's size) with
// copies of `pad`; each level up pads with SHA-256(pad || pad).
TSha256Hash MerkleReduce(std::span<const TSha256Hash> layer, uint64_t width, const TSha256Hash& pad,
                         const TSha256Lanes& lanes = TSha256Lanes());
// The root of a piece's subtree of all-zero leaves (pieceLength / 16 KiB zero hashes): what
// pads a piece layer.
TSha256Hash MerklePadPieceRoot(uint64_t pieceLength, const TSha256Lanes& lanes = TSha256Lanes());
// A file's root and piece layer from its leaf hashes (SHA-256 of each 16 KiB block, the short
// last one as it is). pieceLength must be a power of two of at least 16 KiB (EMessageDigestError).
TMerkleFileHashes MerkleFromLeaves(std::span<const TSha256Hash> leaves, uint64_t pieceLength,
                                   const TSha256Lanes& lanes = TSha256Lanes());
// The same from the file's bytes in memory.
TMerkleFileHashes MerkleOfData(const uint8_t* data, uint64_t length, uint64_t pieceLength,
                               const TSha256Lanes& lanes = TSha256Lanes());
// True when a piece layer reduces to root (padded as MerkleFromLeaves pads it). The layer's
// size is the caller's to check against the file's length: pad hashes appended to a layer
// reduce to the same root.
bool MerklePieceLayerMatches(std::span<const TSha256Hash> layer, uint64_t pieceLength,
                             const TSha256Hash& root, const TSha256Lanes& lanes = TSha256Lanes());
// The smallest power of two >= n (1 for n = 0).
uint64_t MerkleWidth(uint64_t n);
