#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "../support/Hex.h"
#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "TestMessages.h"
#include "digest/Merkle.h"
#include "digest/MessageDigests.h"

namespace {

const uint64_t KiB = 1024;

std::string Bytes(uint64_t length, unsigned seed) { return XorshiftMessage(length, seed); }

std::string LayerHex(const std::vector<TSha256Hash>& layer) {
  std::string hex;
  for (const auto& h : layer) hex += ToHex(h.data(), 32);
  return hex.empty() ? "-" : hex;
}

struct TFileCase {
  uint64_t Length, PieceLength;
  std::string Path;
};

}  // namespace

// Roots and piece layers over a table of sizes and piece lengths, against hashlib by hand and,
// where the Python binding is there, against the v2 torrent libtorrent makes of the same file.
TEST(MerkleTest, RootsAndPieceLayersMatchHashlibAndLibtorrent) {
  TTempDir dir;
  std::vector<TFileCase> cases;
  for (uint64_t pieceLength = 16 * KiB; pieceLength <= 4096 * KiB; pieceLength *= 2) {
    for (uint64_t length : {uint64_t(1), 16 * KiB - 1, 16 * KiB, 16 * KiB + 1, pieceLength - 1, pieceLength,
                            pieceLength * 7 / 2, 5 * pieceLength}) {
      if (!cases.empty() && cases.back().PieceLength == pieceLength && cases.back().Length >= length)
        continue;
      const std::string name = std::to_string(pieceLength) + "-" + std::to_string(length);
      cases.push_back({length, pieceLength, dir.Write(name + "/f", Bytes(length, unsigned(cases.size())))});
    }
  }
  std::string command = "/usr/bin/python3 '" QUORVANE_SOURCE_DIR "/tests/digest/merkle_oracle.py'";
  for (const auto& c : cases) command += " '" + c.Path + "' " + std::to_string(c.PieceLength);
  const TRun run = RunShell(command);
  ASSERT_EQ(run.Status, 0);
  std::istringstream lines(run.Out);
  std::vector<std::pair<std::string, std::string>> byHand, byLibtorrent;
  std::string first, root, layer;
  while (lines >> first) {
    if (first == "lt") {
      lines >> root >> layer;
      byLibtorrent.emplace_back(root, layer);
    } else {
      lines >> layer;
      byHand.emplace_back(first, layer);
    }
  }
  ASSERT_EQ(byHand.size(), cases.size());
  if (byLibtorrent.empty()) std::printf("python3-libtorrent missing: hashlib only\n");

  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(std::to_string(c.Length) + " bytes, piece length " + std::to_string(c.PieceLength));
    const std::string data = Bytes(c.Length, unsigned(i));
    const TMerkleFileHashes hashes =
        MerkleOfData(reinterpret_cast<const uint8_t*>(data.data()), c.Length, c.PieceLength);
    EXPECT_EQ(ToHex(hashes.Root.data(), 32), byHand[i].first);
    EXPECT_EQ(LayerHex(hashes.PieceLayer), byHand[i].second);
    if (!byLibtorrent.empty()) {
      EXPECT_EQ(ToHex(hashes.Root.data(), 32), byLibtorrent[i].first);
      EXPECT_EQ(LayerHex(hashes.PieceLayer), byLibtorrent[i].second);
    }
    EXPECT_EQ(hashes.PieceLayer.size(),
              c.Length > c.PieceLength ? (c.Length + c.PieceLength - 1) / c.PieceLength : 0);
    if (!hashes.PieceLayer.empty()) {
      EXPECT_TRUE(MerklePieceLayerMatches(hashes.PieceLayer, c.PieceLength, hashes.Root));
    }
  }
}

// A layer that was tampered with, cut short, lengthened or checked at the wrong piece length no
// longer reduces to the root.
TEST(MerkleTest, PieceLayerCheckCatchesEveryChange) {
  const uint64_t pieceLength = 32 * KiB;
  const std::string data = Bytes(pieceLength * 5 + 100, 7);
  const TMerkleFileHashes good =
      MerkleOfData(reinterpret_cast<const uint8_t*>(data.data()), data.size(), pieceLength);
  ASSERT_EQ(good.PieceLayer.size(), 6u);
  ASSERT_TRUE(MerklePieceLayerMatches(good.PieceLayer, pieceLength, good.Root));

  auto flipped = good.PieceLayer;
  flipped[5][31] ^= 1;
  EXPECT_FALSE(MerklePieceLayerMatches(flipped, pieceLength, good.Root));
  auto shorter = good.PieceLayer;
  shorter.pop_back();
  EXPECT_FALSE(MerklePieceLayerMatches(shorter, pieceLength, good.Root));
  auto longer = good.PieceLayer;
  longer.push_back(good.PieceLayer[0]);
  EXPECT_FALSE(MerklePieceLayerMatches(longer, pieceLength, good.Root));
  // The padding made explicit reduces to the same root: the caller checks the layer's size.
  auto padded = good.PieceLayer;
  padded.push_back(MerklePadPieceRoot(pieceLength));
  EXPECT_TRUE(MerklePieceLayerMatches(padded, pieceLength, good.Root));
  auto swapped = good.PieceLayer;
  std::swap(swapped[0], swapped[1]);
  EXPECT_FALSE(MerklePieceLayerMatches(swapped, pieceLength, good.Root));
  EXPECT_FALSE(MerklePieceLayerMatches(good.PieceLayer, 2 * pieceLength, good.Root));
  EXPECT_FALSE(MerklePieceLayerMatches({}, pieceLength, good.Root));
}

TEST(MerkleTest, EmptyFilesAndBadPieceLengths) {
  const TMerkleFileHashes empty = MerkleFromLeaves({}, 16 * KiB);
  EXPECT_EQ(empty.Root, TSha256Hash{});
  EXPECT_TRUE(empty.PieceLayer.empty());
  for (uint64_t bad : {uint64_t(0), uint64_t(8 * KiB), uint64_t(48 * KiB), 16 * KiB + 1}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(MerkleFromLeaves({}, bad), EMessageDigestError);
    EXPECT_THROW(MerklePadPieceRoot(bad), EMessageDigestError);
  }
  // The pad of a one-leaf piece is the zero hash itself; of two leaves, SHA-256 of 64 zeros.
  EXPECT_EQ(MerklePadPieceRoot(16 * KiB), TSha256Hash{});
  const std::string zeros = Sha256Bytes(std::string(64, '\0'));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(MerklePadPieceRoot(32 * KiB).data()), 32), zeros);
}
