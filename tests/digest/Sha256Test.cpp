#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../support/Hex.h"
#include "../support/RunProgram.h"
#include "TestMessages.h"
#include "digest/MessageDigests.h"
#include "digest/Sha256Lanes.h"

namespace {

const TShaPath AllPaths[] = {TShaPath::Portable, TShaPath::ShaNi, TShaPath::Avx2, TShaPath::Avx512};

std::vector<std::string> PythonSha256(const std::vector<std::string>& messages) {
  return HashlibDigests("sha256", messages);
}

std::string Message(size_t length, unsigned seed) { return XorshiftMessage(length, seed); }

std::string Digest(TSHA256Impl impl, const std::string& message, size_t chunk) {
  TSHA256 sha(impl);
  for (size_t pos = 0; pos < message.size(); pos += chunk)
    sha.Transform(message.data() + pos, int64_t(std::min(chunk, message.size() - pos)));
  sha.Complete();
  return sha.DigestString();
}

}  // namespace

// FIPS 180-4 examples and the padding boundaries, fed whole and in chunks that straddle blocks.
TEST(TSHA256Test, KnownVectorsOnEveryPath) {
  struct TCase {
    const char* Name;
    std::string Message;
    const char* Digest;
  };
  const TCase cases[] = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"896 bits",
       "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopq"
       "rstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {"a million a", std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (TSHA256Impl impl : {TSHA256Impl::Portable, TSHA256Impl::ShaNi}) {
    if (impl == TSHA256Impl::ShaNi && !TSHA1::CpuHasShaNi()) continue;
    ASSERT_EQ(TSHA256(impl).Impl(), impl);
    for (const auto& c : cases) {
      for (size_t chunk : {size_t(1) << 30, size_t(1), size_t(63), size_t(65)}) {
        if (chunk == 1 && c.Message.size() > 1000) continue;
        SCOPED_TRACE(std::string(c.Name) + ", chunk " + std::to_string(chunk) +
                     (impl == TSHA256Impl::ShaNi ? ", SHA-NI" : ", portable"));
        EXPECT_EQ(Digest(impl, c.Message, chunk), c.Digest);
      }
    }
  }
  EXPECT_EQ(ToHex(Sha256Bytes("abc")), cases[1].Digest);
  EXPECT_EQ(TSHA256().AlgorithmName(), "SHA-256");
  EXPECT_EQ(TSHA256().DigestSize(), 32);
}

class TSha256LanesPathTest : public ::testing::TestWithParam<TShaPath> {
 protected:
  void SetUp() override {
    if (!TSha256Lanes::CpuHas(GetParam()))
      GTEST_SKIP() << "no SHA-256 " << TSha1Lanes::PathName(GetParam()) << " path on this CPU";
    ASSERT_EQ(TSha256Lanes(GetParam()).Path(), GetParam());
  }
};

INSTANTIATE_TEST_SUITE_P(Paths, TSha256LanesPathTest, ::testing::ValuesIn(AllPaths),
                         [](const auto& info) { return std::string(TSha1Lanes::PathName(info.param)); });

// Every length class, in batches of 1 to 17 equal-length messages and in one mixed batch,
// against hashlib; with the default batch threshold and with every batch in the vector lanes
// (which pads the unused ones).
TEST_P(TSha256LanesPathTest, HashMessagesMatchesHashlibForEveryLengthClass) {
  const size_t lengths[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 16383, 16384, 16385};
  std::vector<std::string> messages;
  for (size_t length : lengths)
    for (unsigned lane = 0; lane < 17; ++lane)
      messages.push_back(Message(length, lane + 100 * unsigned(length)));
  const std::vector<std::string> expected = PythonSha256(messages);
  ASSERT_EQ(expected.size(), messages.size());

  for (int minVectorLanes : {0, 1}) {
    TSha256Lanes lanes(GetParam());
    if (minVectorLanes) lanes.SetMinVectorLanes(minVectorLanes);
    for (size_t l = 0; l < std::size(lengths); ++l) {
      for (size_t count = 1; count <= 17; ++count) {
        SCOPED_TRACE(std::to_string(lengths[l]) + " bytes, " + std::to_string(count) + " messages" +
                     (minVectorLanes ? ", every batch in vector lanes" : ""));
        const std::vector<std::string_view> views(messages.begin() + l * 17,
                                                  messages.begin() + l * 17 + count);
        const auto digests = std::make_unique<uint8_t[][32]>(count);
        lanes.HashMessages(views, digests.get());
        for (size_t i = 0; i < count; ++i)
          EXPECT_EQ(ToHex(digests[i], 32), expected[l * 17 + i]) << "lane " << i;

        std::vector<const uint8_t*> pointers;
        for (const auto& view : views) pointers.push_back(reinterpret_cast<const uint8_t*>(view.data()));
        const auto equal = std::make_unique<uint8_t[][32]>(count);
        lanes.HashEqualLength(pointers.data(), count, lengths[l], equal.get());
        for (size_t i = 0; i < count; ++i)
          EXPECT_EQ(ToHex(equal[i], 32), expected[l * 17 + i]) << "equal-length lane " << i;
      }
    }
    // Mixed lengths: every third message of the table, in one call.
    std::vector<std::string_view> mixed;
    std::vector<std::string> mixedExpected;
    for (size_t i = 0; i < messages.size(); i += 3) {
      mixed.push_back(messages[i]);
      mixedExpected.push_back(expected[i]);
    }
    const auto digests = std::make_unique<uint8_t[][32]>(mixed.size());
    lanes.HashMessages(mixed, digests.get());
    for (size_t i = 0; i < mixed.size(); ++i)
      EXPECT_EQ(ToHex(digests[i], 32), mixedExpected[i]) << "mixed " << i;
  }
}

// Batches whose lanes end at different blocks: a lane that finishes takes the next message while
// the others go on, and lanes move from a message's own blocks to its padded tail at different
// times.
TEST_P(TSha256LanesPathTest, MixedLengthsAcrossLanes) {
  struct {
    const char* Name;
    std::vector<size_t> Lengths;
  } const cases[] = {
      {.Name = "one long among short ones",
       .Lengths = {70, 300000, 64, 640, 641, 6400, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
      {.Name = "tails of one and two blocks side by side", .Lengths = {55, 56, 119, 120, 183, 184, 0, 64}},
      {.Name = "17 lengths, all different",
       .Lengths = {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 129, 1000, 4095, 4096, 4097, 16385, 65537}},
      {.Name = "pairs of equal lengths",
       .Lengths = {16384, 100, 16384, 100, 5000, 5000, 16383, 16383, 16385}},
      {.Name = "40 messages, more than two vectors",
       .Lengths =
           [] {
             std::vector<size_t> lengths;
             for (size_t i = 0; i < 40; ++i) lengths.push_back((i * 977) % 3000);
             return lengths;
           }()},
  };
  for (const auto& c : cases) {
    std::vector<std::string> messages;
    for (size_t i = 0; i < c.Lengths.size(); ++i)
      messages.push_back(Message(c.Lengths[i], 7 * unsigned(i) + 1));
    const std::vector<std::string> expected = PythonSha256(messages);
    ASSERT_EQ(expected.size(), messages.size()) << c.Name;
    const std::vector<std::string_view> views(messages.begin(), messages.end());
    for (int minVectorLanes : {0, 1}) {
      SCOPED_TRACE(std::string(c.Name) + (minVectorLanes ? ", every batch in vector lanes" : ""));
      TSha256Lanes lanes(GetParam());
      if (minVectorLanes) lanes.SetMinVectorLanes(minVectorLanes);
      const auto digests = std::make_unique<uint8_t[][32]>(messages.size());
      lanes.HashMessages(views, digests.get());
      for (size_t i = 0; i < messages.size(); ++i)
        EXPECT_EQ(ToHex(digests[i], 32), expected[i]) << "message " << i << ", " << c.Lengths[i] << " bytes";
    }
  }
}

// Messages that start at every offset from a 64-byte boundary, so no kernel may assume aligned
// loads; each batch has messages at different offsets.
TEST_P(TSha256LanesPathTest, UnalignedMessages) {
  const size_t lengths[] = {1, 63, 64, 120, 16384, 16385};
  const size_t count = 17;
  TSha256Lanes lanes(GetParam());
  lanes.SetMinVectorLanes(1);
  for (size_t length : lengths) {
    SCOPED_TRACE(std::to_string(length) + " bytes");
    // One buffer, each message at 64 i + 64 + (i * 5 % 64): offsets 0, 5, 10, ... from the boundary.
    const std::string buffer = Message(count * (length + 128), unsigned(length));
    alignas(64) static uint8_t aligned[17 * (16385 + 128) + 64];
    std::memcpy(aligned, buffer.data(), buffer.size());
    std::vector<std::string> copies;
    std::vector<const uint8_t*> pointers;
    std::vector<std::string_view> views;
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* start = aligned + i * (length + 128) + (i * 5 % 64);
      pointers.push_back(start);
      views.emplace_back(reinterpret_cast<const char*>(start), length);
      copies.emplace_back(views.back());
    }
    const std::vector<std::string> expected = PythonSha256(copies);
    ASSERT_EQ(expected.size(), count);
    const auto digests = std::make_unique<uint8_t[][32]>(count);
    lanes.HashEqualLength(pointers.data(), count, length, digests.get());
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(ToHex(digests[i], 32), expected[i]) << "equal length " << i;
    lanes.HashMessages(views, digests.get());
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(ToHex(digests[i], 32), expected[i]) << "messages " << i;
  }
}

// The batch calls of the merkle trees against the portable single stream, from aligned and odd
// addresses.
TEST_P(TSha256LanesPathTest, LeavesAndPairsMatchTheSingleStream) {
  const size_t leaf = TSha256Lanes::LeafSize;
  for (int minVectorLanes : {0, 1}) {
    TSha256Lanes lanes(GetParam());
    if (minVectorLanes) lanes.SetMinVectorLanes(minVectorLanes);
    for (size_t offset : {0, 3}) {
      for (size_t length : {size_t(1), leaf - 1, leaf, leaf + 1, 5 * leaf, 9 * leaf + 100, 33 * leaf + 56}) {
        SCOPED_TRACE(std::to_string(length) + " bytes of leaves at offset " + std::to_string(offset) +
                     (minVectorLanes ? ", every batch in vector lanes" : ""));
        const std::string data = Message(length + offset, unsigned(length)).substr(offset);
        const std::string shifted = std::string(offset, 'x') + data;
        const size_t count = (length + leaf - 1) / leaf;
        const auto digests = std::make_unique<uint8_t[][32]>(count);
        lanes.HashLeaves(reinterpret_cast<const uint8_t*>(shifted.data()) + offset, length, digests.get());
        for (size_t i = 0; i < count; ++i)
          EXPECT_EQ(ToHex(digests[i], 32),
                    Digest(TSHA256Impl::Portable, data.substr(i * leaf, leaf), 1 << 30))
              << "leaf " << i;
      }
    }
    for (size_t pairs : {1, 2, 3, 4, 5, 8, 15, 16, 17, 40}) {
      SCOPED_TRACE(std::to_string(pairs) + " pairs" +
                   (minVectorLanes ? ", every batch in vector lanes" : ""));
      const std::string nodes = Message(64 * pairs, unsigned(pairs));
      const auto out = std::make_unique<uint8_t[][32]>(pairs);
      lanes.HashPairs(reinterpret_cast<const uint8_t(*)[32]>(nodes.data()), pairs, out.get());
      for (size_t i = 0; i < pairs; ++i)
        EXPECT_EQ(ToHex(out[i], 32), Digest(TSHA256Impl::Portable, nodes.substr(64 * i, 64), 1 << 30)) << i;
    }
  }
}

// Leaves from many buffers in one batch land in their own buffers' digests, whether a vector
// fills across buffers, a short tail comes between, or Flush is called midway.
TEST_P(TSha256LanesPathTest, LeafBatchKeepsEachBufferItsOwnDigests) {
  const size_t leaf = TSha256Lanes::LeafSize;
  const TSha256Lanes lanes(GetParam());
  const std::vector<size_t> lengths = {4 * leaf, 0,        1,        3 * leaf + 7, 17 * leaf,
                                       leaf - 1, 4 * leaf, 2 * leaf, 9 * leaf};
  std::vector<std::string> buffers;
  std::vector<std::unique_ptr<uint8_t[][32]>> digests;
  TSha256LeafBatch batch(lanes);
  for (size_t b = 0; b < lengths.size(); ++b) {
    buffers.push_back(Message(lengths[b], unsigned(b + 1)));
    digests.push_back(std::make_unique<uint8_t[][32]>(lengths[b] / leaf + 1));
    batch.Add(reinterpret_cast<const uint8_t*>(buffers[b].data()), lengths[b], digests[b].get());
    if (b == 5) batch.Flush();
  }
  batch.Flush();
  for (size_t b = 0; b < lengths.size(); ++b)
    for (size_t i = 0; i * leaf < lengths[b]; ++i)
      EXPECT_EQ(ToHex(digests[b][i], 32),
                Digest(TSHA256Impl::Portable, buffers[b].substr(i * leaf, leaf), 1 << 30))
          << "buffer " << b << ", leaf " << i;
}

TEST(TSha256LanesTest, LaneCountsAndPreference) {
  for (TShaPath path : AllPaths) {
    if (!TSha256Lanes::CpuHas(path)) {
      std::printf("no SHA-256 %s path on this CPU: its lane count is not checked\n",
                  TSha1Lanes::PathName(path));
      continue;
    }
    SCOPED_TRACE(TSha1Lanes::PathName(path));
    const int expected = path == TShaPath::Avx512  ? 16
                         : path == TShaPath::Avx2  ? 8
                         : path == TShaPath::ShaNi ? 4
                                                   : 1;
    EXPECT_EQ(TSha256Lanes(path).LaneCount(), expected);
  }
  // SHA-NI's streams beat eight AVX2 lanes; AVX-512's sixteen beat both.
  const auto order = TSha256Lanes::PathsByPreference();
  ASSERT_FALSE(order.empty());
  EXPECT_EQ(order.back(), TShaPath::Portable);
  const auto rank = [&](TShaPath path) {
    return std::find(order.begin(), order.end(), path) - order.begin();
  };
  if (TSha256Lanes::CpuHas(TShaPath::ShaNi) && TSha256Lanes::CpuHas(TShaPath::Avx2)) {
    EXPECT_LT(rank(TShaPath::ShaNi), rank(TShaPath::Avx2));
  }
  if (TSha256Lanes::CpuHas(TShaPath::ShaNi) && TSha256Lanes::CpuHas(TShaPath::Avx512)) {
    EXPECT_LT(rank(TShaPath::Avx512), rank(TShaPath::ShaNi));
  }
}

TEST(TSha256LanesTest, SettingPicksThePathOrTheBestAvailable) {
  using enum TShaPath;
  const std::vector<TShaPath> everything = {Avx512, ShaNi, Avx2, Portable};
  const std::vector<TShaPath> noAvx512 = {ShaNi, Avx2, Portable};
  const std::vector<TShaPath> noShaNi = {Avx2, Portable};
  const std::vector<TShaPath> bare = {Portable};
  struct {
    const char* Setting;
    const std::vector<TShaPath>& Available;
    TShaPath Expected;
  } const cases[] = {
      {.Setting = nullptr, .Available = everything, .Expected = Avx512},
      {.Setting = nullptr, .Available = noAvx512, .Expected = ShaNi},
      {.Setting = nullptr, .Available = noShaNi, .Expected = Avx2},
      {.Setting = nullptr, .Available = bare, .Expected = Portable},
      {.Setting = "portable", .Available = everything, .Expected = Portable},
      {.Setting = "shani", .Available = everything, .Expected = ShaNi},
      {.Setting = "avx2", .Available = everything, .Expected = Avx2},
      {.Setting = "avx2", .Available = noAvx512, .Expected = Avx2},
      {.Setting = "avx512", .Available = everything, .Expected = Avx512},
      // A path the CPU lacks gets the best one it has.
      {.Setting = "avx512", .Available = noAvx512, .Expected = ShaNi},
      {.Setting = "shani", .Available = noShaNi, .Expected = Avx2},
      {.Setting = "avx2", .Available = bare, .Expected = Portable},
      // Anything else counts as not set.
      {.Setting = "", .Available = everything, .Expected = Avx512},
      {.Setting = "SHANI", .Available = noAvx512, .Expected = ShaNi},
      {.Setting = "sse", .Available = noShaNi, .Expected = Avx2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Setting ? c.Setting : "(not set)") + " among " +
                 std::to_string(c.Available.size()) + " paths");
    EXPECT_EQ(TSha256Lanes::PathForSetting(c.Setting, c.Available), c.Expected);
  }
}

TEST(TSha256LanesTest, ReportChosenPaths) {
  std::printf("sha256 lanes=%s tsha256=%s;\n", TSha1Lanes::PathName(TSha256Lanes::ChosenPath()),
              TSHA256().Impl() == TSHA256Impl::ShaNi ? "shani" : "portable");
}

// The path is decided once per process, so each setting gets a process of its own.
TEST(TSha256LanesTest, VariableForcesThePathInANewProcess) {
  const auto available = TSha256Lanes::PathsByPreference();
  for (const char* setting : {"portable", "shani", "avx2", "avx512", "bogus"}) {
    SCOPED_TRACE(setting);
    const TShaPath expected = TSha256Lanes::PathForSetting(setting, available);
    const bool shaNiSingle = expected != TShaPath::Portable && TSHA1::CpuHasShaNi();
    const std::string output =
        RunOwnTest(std::string("QUORVANE_SHA256=") + setting, "TSha256LanesTest.ReportChosenPaths");
    const std::string report = std::string("sha256 lanes=") + TSha1Lanes::PathName(expected) +
                               " tsha256=" + (shaNiSingle ? "shani" : "portable") + ";";
    EXPECT_NE(output.find(report), std::string::npos) << "wanted " << report << " in:\n" << output;
  }
}
