#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "../support/Hex.h"
#include "../support/Sanitizer.h"
#include "digest/MessageDigests.h"

namespace {

// Every digest test runs once per compression path.
class TSHA1PathTest : public ::testing::TestWithParam<TSHA1Impl> {
 protected:
  void SetUp() override {
    if (GetParam() == TSHA1Impl::ShaNi && !TSHA1::CpuHasShaNi()) GTEST_SKIP() << "CPU lacks SHA-NI";
    ASSERT_EQ(TSHA1(GetParam()).Impl(), GetParam());
  }
};

INSTANTIATE_TEST_SUITE_P(Paths, TSHA1PathTest, ::testing::Values(TSHA1Impl::Portable, TSHA1Impl::ShaNi),
                         [](const auto& info) {
                           return info.param == TSHA1Impl::ShaNi ? "ShaNi" : "Portable";
                         });

// How a message is handed to the digest: all at once, a byte at a time, or in uneven chunks
// that straddle block boundaries.
enum class TFeed { OneCall, ByteByByte, Chunks7, Chunks63, Chunks65, String };

void Feed(TMessageDigest& digest, const std::string& message, TFeed feed) {
  auto chunked = [&](size_t chunk) {
    for (size_t pos = 0; pos < message.size(); pos += chunk)
      digest.Transform(message.data() + pos, int64_t(std::min(chunk, message.size() - pos)));
  };
  switch (feed) {
    case TFeed::OneCall:
      digest.Transform(message.data(), int64_t(message.size()));
      break;
    case TFeed::ByteByByte:
      chunked(1);
      break;
    case TFeed::Chunks7:
      chunked(7);
      break;
    case TFeed::Chunks63:
      chunked(63);
      break;
    case TFeed::Chunks65:
      chunked(65);
      break;
    case TFeed::String:
      digest.TransformString(message);
      break;
  }
}

const TFeed AllFeeds[] = {TFeed::OneCall,  TFeed::ByteByByte, TFeed::Chunks7,
                          TFeed::Chunks63, TFeed::Chunks65,   TFeed::String};

struct TVector {
  const char* Name;
  std::string Message;
  const char* Digest;
};

std::vector<TVector> KnownVectors() {
  return {
      {.Name = "empty", .Message = "", .Digest = "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {.Name = "abc", .Message = "abc", .Digest = "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {.Name = "FIPS 448-bit",
       .Message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       .Digest = "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {.Name = "a million a",
       .Message = std::string(1000000, 'a'),
       .Digest = "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      // Around the padding boundaries: 55 fits the length in the last block, 56 does not.
      {.Name = "55 a", .Message = std::string(55, 'a'), .Digest = "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
      {.Name = "56 a", .Message = std::string(56, 'a'), .Digest = "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
      {.Name = "57 a", .Message = std::string(57, 'a'), .Digest = "f08f24908d682555111be7ff6f004e78283d989a"},
      {.Name = "63 a", .Message = std::string(63, 'a'), .Digest = "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
      {.Name = "64 a", .Message = std::string(64, 'a'), .Digest = "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
      {.Name = "65 a", .Message = std::string(65, 'a'), .Digest = "11655326c708d70319be2610e8a57d9a5b959d3b"},
      {.Name = "119 a",
       .Message = std::string(119, 'a'),
       .Digest = "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"},
      {.Name = "120 a",
       .Message = std::string(120, 'a'),
       .Digest = "f34c1488385346a55709ba056ddd08280dd4c6d6"},
      {.Name = "128 a",
       .Message = std::string(128, 'a'),
       .Digest = "ad5b3fdbcb526778c2839d2f151ea753995e26a0"},
      {.Name = "129 a",
       .Message = std::string(129, 'a'),
       .Digest = "d96debf1bdcbc896e6c134ea76e8141f40d78536"},
  };
}

}  // namespace

TEST_P(TSHA1PathTest, KnownVectorsInEveryFeedingPattern) {
  for (const auto& v : KnownVectors()) {
    for (TFeed feed : AllFeeds) {
      if (feed == TFeed::ByteByByte && v.Message.size() > 100000) continue;  // slow, and Chunks7 covers it
      SCOPED_TRACE(std::string(v.Name) + " feed " + std::to_string(int(feed)));
      TSHA1 sha1(GetParam());
      Feed(sha1, v.Message, feed);
      sha1.Complete();
      EXPECT_EQ(sha1.DigestString(), v.Digest);
      EXPECT_EQ(ToHex(sha1.DigestBytes()), v.Digest);
      EXPECT_EQ(std::memcmp(sha1.Digest(), sha1.DigestBytes().data(), 20), 0);
    }
  }
}

TEST_P(TSHA1PathTest, BlocksDoneCountsPaddingBlocks) {
  struct {
    const char* Name;
    size_t Length;
    int64_t BlocksAfterTransform;
    int64_t BlocksAfterComplete;
  } const cases[] = {
      {.Name = "empty", .Length = 0, .BlocksAfterTransform = 0, .BlocksAfterComplete = 1},
      {.Name = "55 bytes: one final block",
       .Length = 55,
       .BlocksAfterTransform = 0,
       .BlocksAfterComplete = 1},
      {.Name = "56 bytes: two final blocks",
       .Length = 56,
       .BlocksAfterTransform = 0,
       .BlocksAfterComplete = 2},
      {.Name = "64 bytes: a block, then padding only",
       .Length = 64,
       .BlocksAfterTransform = 1,
       .BlocksAfterComplete = 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TSHA1 sha1(GetParam());
    sha1.TransformString(std::string(c.Length, 'x'));
    EXPECT_EQ(sha1.BlocksDone(), c.BlocksAfterTransform);
    sha1.Complete();
    EXPECT_EQ(sha1.BlocksDone(), c.BlocksAfterComplete);
  }
}

TEST_P(TSHA1PathTest, InitializeAfterCompleteStartsAFreshMessage) {
  TSHA1 reused(GetParam());
  reused.TransformString(std::string(100, 'q'));  // leaves bytes buffered, and a block done
  reused.Complete();
  for (const auto& v : KnownVectors()) {
    SCOPED_TRACE(v.Name);
    reused.Initialize();
    EXPECT_FALSE(reused.IsComplete());
    EXPECT_EQ(reused.BlocksDone(), 0);
    reused.TransformString(v.Message);
    reused.Complete();
    EXPECT_EQ(reused.DigestString(), v.Digest);
  }
  // Initialize in the open state, with bytes pending, also discards them.
  reused.Initialize();
  reused.TransformString("half a block");
  reused.Initialize();
  reused.TransformString("abc");
  reused.Complete();
  EXPECT_EQ(reused.DigestString(), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST_P(TSHA1PathTest, StateErrorsLeaveTheObjectUnchanged) {
  TSHA1 sha1(GetParam());
  EXPECT_EQ(sha1.AlgorithmName(), "SHA-1");
  EXPECT_EQ(sha1.BlockSize(), 64);
  EXPECT_EQ(sha1.DigestSize(), 20);

  auto expectMessage = [](auto&& call, const char* text) {
    try {
      call();
      ADD_FAILURE() << "no exception, expected: " << text;
    } catch (const EMessageDigestError& e) {
      EXPECT_STREQ(e.what(), text);
    }
  };
  sha1.TransformString("ab");
  expectMessage([&] { sha1.Digest(); }, "Message digest not complete.");
  expectMessage([&] { sha1.DigestString(); }, "Message digest not complete.");
  expectMessage([&] { sha1.DigestBytes(); }, "Message digest not complete.");
  sha1.TransformString("c");  // the failed reads did not disturb the message
  sha1.Complete();

  const char* const done = "Message digest already complete.";
  expectMessage([&] { sha1.Transform("x", 1); }, done);
  expectMessage([&] { sha1.TransformString("x"); }, done);
  expectMessage([&] { sha1.TransformString(""); }, done);
  expectMessage([&] { sha1.Complete(); }, done);
  EXPECT_TRUE(sha1.IsComplete());
  EXPECT_EQ(sha1.DigestString(), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST_P(TSHA1PathTest, ContractAssertionsCarryUnitAndLine) {
  TSHA1 sha1(GetParam());
  sha1.TransformString("ab");
  auto expectAssertion = [](auto&& call, const char* text) {
    try {
      call();
      ADD_FAILURE() << "no exception, expected: " << text;
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), text);
    }
  };
  expectAssertion([&] { sha1.Transform(nullptr, 0); },
                  "Transform: M not assigned. (MessageDigests, line 315)");
  expectAssertion([&] { sha1.Transform(nullptr, 5); },
                  "Transform: M not assigned. (MessageDigests, line 315)");
  expectAssertion([&] { sha1.Transform("abc", -1); }, "Transform: Count < 0. (MessageDigests, line 316)");
  expectAssertion([&] { sha1.TransformBlocks(nullptr, 1); },
                  "TSHA1.TransformBlocks: Addr(Blocks) = nil. (MessageDigests, line 965)");
  // An empty text feeds nothing and is valid.
  sha1.TransformString("");
  sha1.TransformString(std::string_view());
  sha1.TransformString("c");
  sha1.Complete();
  EXPECT_EQ(sha1.DigestString(), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

namespace {

// Framework classes built with broken parameters, to reach the constructors' checks.
class TBadSizes : public TMessageDigest {
 public:
  TBadSizes(int blockSize, int digestSize) { CreateInternal(blockSize, digestSize); }
  std::string AlgorithmName() const override { return "bad"; }
};

class TMD4Sizes : public TMD4Family {
 public:
  TMD4Sizes(int blockSize, const uint32_t* initialValues, int digestSize)
      : TMD4Family(blockSize, true, initialValues, digestSize) {}
  std::string AlgorithmName() const override { return "bad"; }
};

const uint32_t SomeInitialValues[5] = {1, 2, 3, 4, 5};

}  // namespace

TEST(TMessageDigestTest, ConstructorsRefuseBrokenParameters) {
  struct {
    const char* Name;
    std::function<void()> Construct;
    const char* Message;
  } const cases[] = {
      {.Name = "block size 0",
       .Construct = [] { TBadSizes(0, 20); },
       .Message = "TMessageDigest.CreateInternal: BlockSize <= 0. (MessageDigests, line 265)"},
      {.Name = "negative block size",
       .Construct = [] { TBadSizes(-64, 20); },
       .Message = "TMessageDigest.CreateInternal: BlockSize <= 0. (MessageDigests, line 265)"},
      {.Name = "digest size 0",
       .Construct = [] { TBadSizes(64, 0); },
       .Message = "TMessageDigest.CreateInternal: DigestSize <= 0. (MessageDigests, line 266)"},
      {.Name = "no initial values",
       .Construct = [] { TMD4Sizes(64, nullptr, 20); },
       .Message =
           "TMD4Family.InitializeChainingValues: InitialChainingValues = nil. (MessageDigests, line 589)"},
      // The family checks its initial values first, then the sizes in the base's order.
      {.Name = "family: both sizes bad",
       .Construct = [] { TMD4Sizes(0, SomeInitialValues, -1); },
       .Message = "TMessageDigest.CreateInternal: BlockSize <= 0. (MessageDigests, line 265)"},
      {.Name = "family: digest size bad",
       .Construct = [] { TMD4Sizes(64, SomeInitialValues, -1); },
       .Message = "TMessageDigest.CreateInternal: DigestSize <= 0. (MessageDigests, line 266)"},
      {.Name = "family: no initial values and bad sizes",
       .Construct = [] { TMD4Sizes(0, nullptr, 0); },
       .Message =
           "TMD4Family.InitializeChainingValues: InitialChainingValues = nil. (MessageDigests, line 589)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      c.Construct();
      ADD_FAILURE() << "constructed";
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
  }
}

namespace {

// Records the blocks the family's padding hands to the compression, and lets a test pretend
// that many blocks were already done.
class TRecordingFamily : public TMD4Family {
 public:
  explicit TRecordingFamily(bool bigEndian) : TMD4Family(64, bigEndian, SomeInitialValues, 20) {}
  std::string AlgorithmName() const override { return "recording"; }
  void TransformBlocks(const uint8_t* blocks, int64_t count) override {
    for (int64_t i = 0; i < count; ++i)
      Blocks.emplace_back(reinterpret_cast<const char*>(blocks) + 64 * i, 64);
    TMD4Family::TransformBlocks(blocks, count);
  }
  void PretendBlocksDone(int64_t blocks) { blocksDone_ = blocks; }
  std::vector<std::string> Blocks;
};

}  // namespace

TEST(TMD4FamilyTest, PaddingCarriesTheLengthInSixtyFourBits) {
  struct {
    const char* Name;
    bool BigEndian;
    int64_t BlocksBefore;
    std::string Tail;
    std::string LengthField;  // the last 8 bytes of the final block
  } const cases[] = {
      {.Name = "abc, big-endian",
       .BigEndian = true,
       .BlocksBefore = 0,
       .Tail = "abc",
       .LengthField = std::string("\0\0\0\0\0\0\0\x18", 8)},
      {.Name = "abc, little-endian",
       .BigEndian = false,
       .BlocksBefore = 0,
       .Tail = "abc",
       .LengthField = std::string("\x18\0\0\0\0\0\0\0", 8)},
      // 2^22 blocks = 2^28 bytes = 2^31 bits: a 32-bit count would turn negative here.
      {.Name = "2^28 bytes",
       .BigEndian = true,
       .BlocksBefore = int64_t(1) << 22,
       .Tail = "",
       .LengthField = std::string("\0\0\0\0\x80\0\0\0", 8)},
      // 2^35 bytes + 1 = 2^38 + 8 bits: a 32-bit count would lose the high part.
      {.Name = "2^35 + 1 bytes, big-endian",
       .BigEndian = true,
       .BlocksBefore = int64_t(1) << 29,
       .Tail = "x",
       .LengthField = std::string("\0\0\0\x40\0\0\0\x08", 8)},
      {.Name = "2^35 + 1 bytes, little-endian",
       .BigEndian = false,
       .BlocksBefore = int64_t(1) << 29,
       .Tail = "x",
       .LengthField = std::string("\x08\0\0\0\x40\0\0\0", 8)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TRecordingFamily family(c.BigEndian);
    family.PretendBlocksDone(c.BlocksBefore);
    family.TransformString(c.Tail);
    family.Complete();
    ASSERT_EQ(family.Blocks.size(), 1u);
    const std::string& block = family.Blocks.back();
    EXPECT_EQ(block.substr(0, c.Tail.size()), c.Tail);
    EXPECT_EQ(uint8_t(block[c.Tail.size()]), 0x80);
    EXPECT_EQ(block.substr(c.Tail.size() + 1, 55 - c.Tail.size()), std::string(55 - c.Tail.size(), '\0'));
    EXPECT_EQ(block.substr(56), c.LengthField);
    // The chaining values (untouched here) come out word by word in the family's byte order.
    const std::string one = c.BigEndian ? std::string("\0\0\0\x01", 4) : std::string("\x01\0\0\0", 4);
    const std::string five = c.BigEndian ? std::string("\0\0\0\x05", 4) : std::string("\x05\0\0\0", 4);
    EXPECT_EQ(family.DigestBytes().substr(0, 4), one);
    EXPECT_EQ(family.DigestBytes().substr(16, 4), five);
  }
}

// Random messages of many lengths, fed in random splits, must agree between the two paths.
TEST(TSHA1CrossCheckTest, PortableAndShaNiAgreeOnRandomData) {
  if (!TSHA1::CpuHasShaNi()) GTEST_SKIP() << "CPU lacks SHA-NI";
  std::mt19937_64 random(20261210);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {511, 512, 513, 4095, 4096, 4097, 65536 + 17, 262144, 1000003}) lengths.push_back(n);

  TSHA1 portable(TSHA1Impl::Portable);
  TSHA1 shaNi(TSHA1Impl::ShaNi);
  for (size_t length : lengths) {
    SCOPED_TRACE("length " + std::to_string(length));
    std::string message(length, '\0');
    for (auto& c : message) c = char(random());
    portable.Initialize();
    shaNi.Initialize();
    portable.TransformString(message);
    // Split at random points so the SHA-NI side also runs through the buffer.
    size_t pos = 0;
    while (pos < length) {
      const size_t chunk = std::min<size_t>(length - pos, 1 + random() % 200);
      shaNi.Transform(message.data() + pos, int64_t(chunk));
      pos += chunk;
    }
    portable.Complete();
    shaNi.Complete();
    ASSERT_EQ(portable.DigestString(), shaNi.DigestString());
  }
}

// The byte count must not wrap: from 2^28 bytes on, a 32-bit count of bits overflows.
TEST_P(TSHA1PathTest, MessagesOfTwoTo28BytesAndMore) {
  // Under the sanitizers the portable path is slow; the length is counted outside it anyway.
  if (UnderSanitizer && GetParam() == TSHA1Impl::Portable && TSHA1::CpuHasShaNi())
    GTEST_SKIP() << "length counting is checked on the SHA-NI path in this build";
  std::string pattern(1 << 20, '\0');
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = char((i * 131 + 7) & 0xFF);

  struct {
    const char* Name;
    int64_t Length;
    const char* Digest;
  } const cases[] = {
      {.Name = "2^28 bytes",
       .Length = int64_t(1) << 28,
       .Digest = "68ee013f249fa24f64d2f031a61cd0f7ee95491b"},
      {.Name = "2^28 + 77 bytes",
       .Length = (int64_t(1) << 28) + 77,
       .Digest = "618c58a5600ae858f041dcffd9fa8671b1d24894"},
  };
  TSHA1 sha1(GetParam());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    sha1.Initialize();
    int64_t left = c.Length;
    while (left > 0) {
      const int64_t chunk = std::min<int64_t>(left, int64_t(pattern.size()));
      sha1.Transform(pattern.data(), chunk);
      left -= chunk;
    }
    sha1.Complete();
    EXPECT_EQ(sha1.DigestString(), c.Digest);
  }
}

TEST(TSHA1Test, AutoPicksTheFastestPathThisCpuHas) {
  TSHA1 sha1;
  EXPECT_EQ(sha1.Impl(), TSHA1::CpuHasShaNi() ? TSHA1Impl::ShaNi : TSHA1Impl::Portable);
  EXPECT_EQ(ToHex(Sha1Bytes("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(ToHex(Sha1Bytes("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}
