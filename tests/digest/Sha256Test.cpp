#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "../support/Hex.h"
#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "digest/MessageDigests.h"
#include "digest/Sha256Lanes.h"

namespace {

const char* const Python = "/usr/bin/python3";
const TSha1Path AllPaths[] = {TSha1Path::Portable, TSha1Path::ShaNi, TSha1Path::Avx2, TSha1Path::Avx512};

// The reference digests from hashlib, lower-case hex, one per message.
std::vector<std::string> PythonSha256(const std::vector<std::string>& messages) {
  TTempDir dir;
  std::string command = std::string(Python) +
                        " -c 'import hashlib, sys\nfor name in sys.argv[1:]: "
                        "print(hashlib.sha256(open(name, \"rb\").read()).hexdigest())'";
  for (size_t i = 0; i < messages.size(); ++i) command += " " + dir.Write(std::to_string(i), messages[i]);
  std::vector<std::string> digests;
  const std::string output = RunShell(command).Out;
  for (size_t pos = 0; pos + 64 <= output.size(); pos += 65) digests.push_back(output.substr(pos, 64));
  return digests;
}

// Distinct content per message, so lanes mixed up with each other show.
std::string Message(size_t length, unsigned seed) {
  std::string message(length, '\0');
  uint32_t x = 2463534242u ^ (seed * 2654435761u);
  for (auto& c : message) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = char(x);
  }
  return message;
}

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

class TSha256LanesPathTest : public ::testing::TestWithParam<TSha1Path> {
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
// against hashlib.
TEST_P(TSha256LanesPathTest, HashMessagesMatchesHashlibForEveryLengthClass) {
  const size_t lengths[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 16383, 16384, 16385};
  std::vector<std::string> messages;
  for (size_t length : lengths)
    for (unsigned lane = 0; lane < 17; ++lane)
      messages.push_back(Message(length, lane + 100 * unsigned(length)));
  const std::vector<std::string> expected = PythonSha256(messages);
  ASSERT_EQ(expected.size(), messages.size());
  const TSha256Lanes lanes(GetParam());

  for (size_t l = 0; l < std::size(lengths); ++l) {
    for (size_t count = 1; count <= 17; ++count) {
      SCOPED_TRACE(std::to_string(lengths[l]) + " bytes, " + std::to_string(count) + " messages");
      const std::vector<std::string_view> views(messages.begin() + l * 17, messages.begin() + l * 17 + count);
      const auto digests = std::make_unique<uint8_t[][32]>(count);
      lanes.HashMessages(views, digests.get());
      for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(ToHex(digests[i], 32), expected[l * 17 + i]) << "lane " << i;
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

// The batch calls of the merkle trees against the portable single stream.
TEST_P(TSha256LanesPathTest, LeavesAndPairsMatchTheSingleStream) {
  const TSha256Lanes lanes(GetParam());
  const size_t leaf = TSha256Lanes::LeafSize;
  for (size_t length : {size_t(1), leaf - 1, leaf, leaf + 1, 5 * leaf, 9 * leaf + 100}) {
    SCOPED_TRACE(std::to_string(length) + " bytes of leaves");
    const std::string data = Message(length, unsigned(length));
    const size_t count = (length + leaf - 1) / leaf;
    const auto digests = std::make_unique<uint8_t[][32]>(count);
    lanes.HashLeaves(reinterpret_cast<const uint8_t*>(data.data()), length, digests.get());
    for (size_t i = 0; i < count; ++i)
      EXPECT_EQ(ToHex(digests[i], 32), Digest(TSHA256Impl::Portable, data.substr(i * leaf, leaf), 1 << 30))
          << "leaf " << i;
  }
  for (size_t pairs : {1, 2, 3, 4, 5, 8, 17}) {
    SCOPED_TRACE(std::to_string(pairs) + " pairs");
    const std::string nodes = Message(64 * pairs, unsigned(pairs));
    const auto out = std::make_unique<uint8_t[][32]>(pairs);
    lanes.HashPairs(reinterpret_cast<const uint8_t(*)[32]>(nodes.data()), pairs, out.get());
    for (size_t i = 0; i < pairs; ++i)
      EXPECT_EQ(ToHex(out[i], 32), Digest(TSHA256Impl::Portable, nodes.substr(64 * i, 64), 1 << 30)) << i;
  }
}

TEST(TSha256LanesTest, ReportChosenPaths) {
  std::printf("sha256 lanes=%s tsha256=%s;\n", TSha1Lanes::PathName(TSha256Lanes::ChosenPath()),
              TSHA256().Impl() == TSHA256Impl::ShaNi ? "shani" : "portable");
}

// The path is decided once per process, so each setting gets a process of its own.
TEST(TSha256LanesTest, VariableForcesThePathInANewProcess) {
  std::vector<TSha1Path> available;
  for (TSha1Path path : AllPaths)
    if (TSha256Lanes::CpuHas(path)) available.push_back(path);
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = '\0';
  for (const char* setting : {"portable", "shani", "avx2", "avx512", "bogus"}) {
    SCOPED_TRACE(setting);
    const TSha1Path expected = TSha1Lanes::PathForSetting(setting, available);
    const bool shaNiSingle = expected != TSha1Path::Portable && TSHA1::CpuHasShaNi();
    const std::string output = RunShell(std::string("QUORVANE_SHA256=") + setting + " '" + self +
                                        "' --gtest_filter=TSha256LanesTest.ReportChosenPaths 2>&1")
                                   .Out;
    const std::string report = std::string("sha256 lanes=") + TSha1Lanes::PathName(expected) +
                               " tsha256=" + (shaNiSingle ? "shani" : "portable") + ";";
    EXPECT_NE(output.find(report), std::string::npos) << "wanted " << report << " in:\n" << output;
  }
}
