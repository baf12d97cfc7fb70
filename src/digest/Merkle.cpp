#include "digest/Merkle.h"

#include <cstring>

#include "digest/MessageDigests.h"

static_assert(sizeof(TSha256Hash) == 32, "hash arrays are handed to the lanes as uint8_t[32]");

namespace {

uint8_t (*Raw(TSha256Hash* h))[32] { return reinterpret_cast<uint8_t(*)[32]>(h); }

TSha256Hash HashPair(const TSha256Hash& left, const TSha256Hash& right, const TSha256Lanes& lanes) {
  TSha256Hash pair[2] = {left, right};
  TSha256Hash out;
  lanes.HashPairs(Raw(pair), 1, Raw(&out));
  return out;
}

void CheckPieceLength(uint64_t pieceLength) {
  if (pieceLength < TSha256Lanes::LeafSize || (pieceLength & (pieceLength - 1)) != 0)
    throw EMessageDigestError("Piece length must be a power of two of at least 16 KiB.");
}

}  // namespace

uint64_t MerkleWidth(uint64_t n) {
  uint64_t width = 1;
  while (width < n) width *= 2;
  return width;
}

TSha256Hash MerkleReduce(std::span<const TSha256Hash> layer, uint64_t width, const TSha256Hash& pad,
                         const TSha256Lanes& lanes) {
  if (layer.empty()) {
    TSha256Hash node = pad;
    for (; width > 1; width /= 2) node = HashPair(node, node, lanes);
    return node;
  }
  std::vector<TSha256Hash> level(layer.begin(), layer.end());
  TSha256Hash levelPad = pad;
  for (; width > 1; width /= 2) {
    if (level.size() % 2) level.push_back(levelPad);
    // In place: node i of the next level only overwrites pairs already read.
    lanes.HashPairs(Raw(level.data()), level.size() / 2, Raw(level.data()));
    level.resize(level.size() / 2);
    levelPad = HashPair(levelPad, levelPad, lanes);
  }
  return level.front();
}

TSha256Hash MerklePadPieceRoot(uint64_t pieceLength, const TSha256Lanes& lanes) {
  CheckPieceLength(pieceLength);
  return MerkleReduce({}, pieceLength / TSha256Lanes::LeafSize, TSha256Hash{}, lanes);
}

TMerkleFileHashes MerkleFromLeaves(std::span<const TSha256Hash> leaves, uint64_t pieceLength,
                                   const TSha256Lanes& lanes) {
  CheckPieceLength(pieceLength);
  TMerkleFileHashes result;
  if (leaves.empty()) return result;
  const uint64_t leavesPerPiece = pieceLength / TSha256Lanes::LeafSize;
  if (leaves.size() <= leavesPerPiece) {
    result.Root = MerkleReduce(leaves, MerkleWidth(leaves.size()), TSha256Hash{}, lanes);
    return result;
  }
  for (uint64_t first = 0; first < leaves.size(); first += leavesPerPiece)
    result.PieceLayer.push_back(
        MerkleReduce(leaves.subspan(first, std::min<uint64_t>(leavesPerPiece, leaves.size() - first)),
                     leavesPerPiece, TSha256Hash{}, lanes));
  result.Root = MerkleReduce(result.PieceLayer, MerkleWidth(result.PieceLayer.size()),
                             MerklePadPieceRoot(pieceLength, lanes), lanes);
  return result;
}

TMerkleFileHashes MerkleOfData(const uint8_t* data, uint64_t length, uint64_t pieceLength,
                               const TSha256Lanes& lanes) {
  std::vector<TSha256Hash> leaves((length + TSha256Lanes::LeafSize - 1) / TSha256Lanes::LeafSize);
  if (length) lanes.HashLeaves(data, length, Raw(leaves.data()));
  return MerkleFromLeaves(leaves, pieceLength, lanes);
}

bool MerklePieceLayerMatches(std::span<const TSha256Hash> layer, uint64_t pieceLength,
                             const TSha256Hash& root, const TSha256Lanes& lanes) {
  if (layer.empty()) return false;
  return MerkleReduce(layer, MerkleWidth(layer.size()), MerklePadPieceRoot(pieceLength, lanes), lanes) ==
         root;
}
