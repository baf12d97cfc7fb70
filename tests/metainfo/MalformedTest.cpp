// Hostile and broken input for the loader, and a torrent of many files.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "../support/Sanitizer.h"
#include "MetainfoTestUtil.h"
#include "digest/MessageDigests.h"

namespace {

using Ben::Dict;
using Ben::Int;
using Ben::List;
using Ben::Str;

std::string Seed() {
  const std::string info =
      Dict({{"files", List({Dict({{"length", Int(3)}, {"path", List({Str("d"), Str("a.txt")})}}),
                            Dict({{"length", Int(70000)}, {"path", List({Str("b.bin")})}})})},
            {"name", Str("seed")},
            {"piece length", Int(32768)},
            {"pieces", Str(FakeHash(1) + FakeHash(2) + FakeHash(3))},
            {"private", Int(1)}});
  return "d8:announce" + Str("http://t/a") + "13:announce-list" +
         List({List({Str("http://t/a"), Str("udp://t/b")})}) + "7:comment" + Str("seed") +
         "13:creation datei1700000000e4:info" + info + "8:url-list" + List({Str("http://w/")}) + "e";
}

// Whatever the loader makes of the input, it must not crash, must say why
// when it fails, and a model it loaded must save to a file that loads and
// saves again to the same bytes.
void CheckInput(const std::string& input) {
  auto [model, ok] = Load(input);
  if (!ok) {
    EXPECT_FALSE(model->Errors.empty());
    return;
  }
  std::string saved;
  ASSERT_NO_THROW(saved = Save(*model));
  auto [again, okAgain] = Load(saved);
  ASSERT_TRUE(okAgain) << testing::PrintToString(input);
  EXPECT_EQ(again->Name, model->Name);
  if (!model->Files.empty()) {
    EXPECT_EQ(again->Files.size(), model->Files.size());
  }
  EXPECT_EQ(Save(*again), saved) << testing::PrintToString(input);
}

TEST(Malformed, MutatedTorrents) {
  const std::string seed = Seed();
  ASSERT_TRUE(Load(seed).Ok);
  std::mt19937 random(20261210);
  const std::string alphabet = "0123456789ilde:-x";
  for (int round = 0; round < 3000; ++round) {
    std::string input = seed;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !input.empty(); ++e) {
      const size_t at = random() % input.size();
      switch (random() % 6) {
        case 0:  // a random byte
          input[at] = static_cast<char>(random());
          break;
        case 1:  // a bencode byte
          input[at] = alphabet[random() % alphabet.size()];
          break;
        case 2:  // delete a run
          input.erase(at, 1 + random() % 8);
          break;
        case 3:  // insert a structure byte
          input.insert(at, 1, alphabet[random() % alphabet.size()]);
          break;
        case 4:  // duplicate a run
          input.insert(at, input.substr(at, 1 + random() % 16));
          break;
        case 5:  // a huge length
          input.insert(at, "9999999999:");
          break;
      }
    }
    SCOPED_TRACE(round);
    CheckInput(input);
  }
}

TEST(Malformed, EveryTruncation) {
  const std::string seed = Seed();
  for (size_t length = 0; length < seed.size(); ++length) {
    SCOPED_TRACE(length);
    CheckInput(seed.substr(0, length));
  }
}

TEST(Malformed, RandomBytes) {
  std::mt19937 random(7);
  const std::string alphabet = "0123456789ilde:-";
  for (int round = 0; round < 1000; ++round) {
    std::string input(random() % 200, '\0');
    const bool structured = round % 2 == 0;
    for (char& c : input) c = structured ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
    if (structured && !input.empty()) input[0] = 'd';
    SCOPED_TRACE(round);
    CheckInput(input);
  }
}

TEST(Malformed, HostileShapes) {
  struct {
    const char* Name;
    std::string Input;
  } cases[] = {
      {.Name = "a million l", .Input = std::string(1000000, 'l')},
      {.Name = "a million d", .Input = std::string(1000000, 'd')},
      {.Name = "deep info", .Input = "d4:info" + std::string(600, 'l') + "e"},
      {.Name = "deep announce-list", .Input = "d13:announce-list" + std::string(100000, 'l')},
      {.Name = "huge string length", .Input = "d8:announce2147483647:abce"},
      {.Name = "length past 64 bits", .Input = "d8:announce99999999999999999999999:abce"},
      {.Name = "huge pieces length", .Input = "d4:infod6:pieces1999999999:" + std::string(100, 'x') + "ee"},
      {.Name = "many empty strings",
       .Input = "d1:al" +
                [] {
                  std::string s;
                  for (int i = 0; i < 100000; ++i) s += "0:";
                  return s;
                }() +
                "ee"},
      {.Name = "many keys of one hash",
       .Input = "d4:infod" +
                [] {
                  std::string s;
                  for (int i = 10000; i < 60000; ++i)
                    s += Str(std::to_string(i) + "-same-tail-bytes") + "i1e";
                  return s;
                }() +
                "ee"},
      {.Name = "file lengths that overflow a sum",
       .Input =
           "d4:infod5:filesld6:lengthi9223372036854775807e4:pathl1:aeed6:lengthi9223372036854775807e4:pathl1:"
           "beee4:name1:n12:piece lengthi1e6:pieces0:ee"},
      {.Name = "huge integers",
       .Input = "d13:creation datei99999999999999999999999e4:infod6:lengthi-9e4:name1:n12:piece "
                "lengthi-1e6:pieces0:ee"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    CheckInput(c.Input);
  }
}

// Lengths are whole 64-bit numbers or errors: a wrapped one would load clean
// and be written back as another number. Dates may still wrap.
TEST(Malformed, IntegersBeyond64Bits) {
  const std::string hash = Str(FakeHash(1));
  auto single = [&](const std::string& length, const std::string& pieceLength) {
    return "d8:announce1:a4:infod6:length" + length + "4:name1:n12:piece length" + pieceLength + "6:pieces" +
           hash + "ee";
  };
  struct TCase {
    const char* Name;
    std::string Input;
    std::vector<std::string> Errors;
  };
  const std::vector<TCase> cases = {
      {.Name = "length 2^64+1",
       .Input = single("i18446744073709551617e", "i16384e"),
       .Errors = {"Corrupt File: \"info.length\" does not fit in 64 bits"}},
      {.Name = "length 2^63",
       .Input = single("i9223372036854775808e", "i16384e"),
       .Errors = {"Corrupt File: \"info.length\" does not fit in 64 bits"}},
      {.Name = "length -2^63-1",
       .Input = single("i-9223372036854775809e", "i16384e"),
       .Errors = {"Corrupt File: \"info.length\" does not fit in 64 bits"}},
      {.Name = "piece length 2^64+16384",
       .Input = single("i5e", "i18446744073709568000e"),
       .Errors = {"Corrupt File: \"info.piece length\" does not fit in 64 bits"}},
      {.Name = "file length 2^64+1",
       .Input =
           "d8:announce1:a4:infod5:filesld6:lengthi3e4:pathl1:aeed6:lengthi18446744073709551617e4:pathl1:"
           "beee4:name1:n12:piece lengthi16384e6:pieces" +
           hash + "ee",
       .Errors = {"Corrupt File: files[1] has a length that does not fit in 64 bits"}},
      {.Name = "the largest length fits, but clients refuse it",
       .Input = single("i9223372036854775807e", "i16384e"),
       .Errors = {"Corrupt File: \"info.length\" is 9223372036854775807 bytes, 2^62 or more, which clients "
                  "refuse"}},
      {.Name = "a length just below 2^62",
       .Input = single("i4611686018427387903e", "i16384e"),
       .Errors = {"Corrupt File: \"info.pieces\" holds 1 piece hashes, but the total length needs "
                  "281474976710656"}},
      {.Name = "a file of 2^62",
       .Input = "d8:announce1:a4:infod5:filesld6:lengthi3e4:pathl1:aeed6:lengthi4611686018427387904e4:pathl1:"
                "beee4:name1:n12:piece lengthi16384e6:pieces" +
                hash + "ee",
       .Errors = {"Corrupt File: files[1] has a length of 4611686018427387904 bytes, 2^62 or more, which "
                  "clients refuse"}},
      {.Name = "the smallest length fits",
       .Input = single("i-9223372036854775808e", "i16384e"),
       .Errors = {"Corrupt File: \"info.length\" is negative"}},
      {.Name = "a date may wrap",
       .Input = "d8:announce1:a13:creation datei99999999999999999999999e4:infod6:lengthi5e4:name1:n12:"
                "piece lengthi16384e6:pieces" +
                hash + "ee",
       .Errors = {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto [model, ok] = Load(c.Input);
    EXPECT_TRUE(ok);
    EXPECT_EQ(model->Errors, c.Errors);
  }
}

// The folder of broken files kept beside the tests.
TEST(Malformed, FixtureFolder) {
  const std::filesystem::path folder = std::filesystem::path(QUORVANE_SOURCE_DIR) / "tests/metainfo/broken";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    TTorrentFile model;
    TFileStream in(entry.path().string(), TFileMode::OpenRead);
    model.LoadFromStream(in);
    EXPECT_FALSE(model.Errors.empty());
    ++count;
  }
  EXPECT_GT(count, 0);
}

TEST(Scale, ManyFilesLoad) {
  const int count = UnderSanitizer ? 20000 : 200000;
  std::string info;
  const std::string bytes = ManyFilesTorrent(count, &info);
  auto [model, ok] = Load(bytes);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(model->Errors.empty());
  ASSERT_EQ(model->Files.size(), static_cast<size_t>(count));
  int64_t offset = 0;
  for (int i = 0; i < count; ++i) {
    const TTorrentSubFile& file = *model->Files[static_cast<size_t>(i)];
    const std::string folder = "dir" + std::to_string(i / 1000) + "/sub" + std::to_string(i / 100 % 10) + "/";
    ASSERT_EQ(file.Path, folder) << i;
    ASSERT_EQ(file.Name, "file" + std::to_string(i) + ".bin") << i;
    ASSERT_EQ(file.Length, 1000 + i % 4096) << i;
    ASSERT_EQ(file.Offset, offset) << i;
    offset += file.Length;
  }
  EXPECT_EQ(model->TotalLength, offset);
  EXPECT_EQ(model->InfoHash, Sha1Bytes(info));
  EXPECT_EQ(static_cast<int64_t>(model->Pieces.size()), (offset + (1 << 20) - 1) >> 20);

  // Unchanged, it saves back to the very same bytes; renamed, it keeps its private flag.
  EXPECT_EQ(Save(*model), bytes);
  model->RenameFile(model->Files.size() - 1, model->Files.back()->Path, "renamed.bin");
  const std::string renamed = Save(*model);
  auto [again, okAgain] = Load(renamed);
  ASSERT_TRUE(okAgain);
  EXPECT_EQ(again->Files.back()->Name, "renamed.bin");
  EXPECT_NE(again->InfoHash, model->InfoHash);
  EXPECT_TRUE(As<TObjectHash>(again->Dictionary->Get("info")).Exists("private"));
}

}  // namespace
