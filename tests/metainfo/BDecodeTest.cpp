#include "metainfo/BDecode.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "MetainfoTestUtil.h"
#include "base/Text.h"

namespace {

using namespace std::string_literals;

TEST(BDecode, DecodesLeniently) {
  // Expected: the decoded tree written back canonically, or "none".
  struct {
    const char* Name;
    std::string Input;
    std::string Expected;
  } cases[] = {
      {.Name = "one entry", .Input = "d8:announce3:abce", .Expected = "d8:announce3:abce"},
      {.Name = "dictionary cut off", .Input = "d3:abc", .Expected = "de"},
      {.Name = "bad key byte", .Input = "dxe", .Expected = "none"},
      {.Name = "lone d", .Input = "d", .Expected = "de"},
      {.Name = "list skips bad byte", .Input = "li1ex3:abce", .Expected = "li1e3:abce"},
      {.Name = "lone l", .Input = "l", .Expected = "le"},
      {.Name = "negative zero", .Input = "i-0e", .Expected = "i0e"},
      {.Name = "minus anywhere", .Input = "i1-2e", .Expected = "i-12e"},
      {.Name = "leading zeros", .Input = "i00042e", .Expected = "i42e"},
      {.Name = "empty integer", .Input = "ie", .Expected = "i0e"},
      {.Name = "integer ended by x", .Input = "i12x", .Expected = "i12e"},
      {.Name = "integer cut off", .Input = "i12", .Expected = "i12e"},
      {.Name = "largest integer", .Input = "i9223372036854775807e", .Expected = "i9223372036854775807e"},
      {.Name = "smallest integer", .Input = "i-9223372036854775808e", .Expected = "i-9223372036854775808e"},
      {.Name = "integer wraps", .Input = "i9223372036854775808e", .Expected = "i-9223372036854775808e"},
      {.Name = "any separator", .Input = "3xabc", .Expected = "3:abc"},
      {.Name = "zero-padded length", .Input = "03:abc", .Expected = "3:abc"},
      {.Name = "empty string", .Input = "0:", .Expected = "0:"},
      {.Name = "binary string", .Input = "3:\0\xff\n"s, .Expected = "3:\0\xff\n"s},
      {.Name = "repeated key keeps last", .Input = "d4:name1:a4:name1:be", .Expected = "d4:name1:be"},
      {.Name = "empty key dropped", .Input = "d0:i1e1:ai2ee", .Expected = "d1:ai2ee"},
      {.Name = "bad value dropped", .Input = "d1:ax1:bi2ee", .Expected = "d1:bi2ee"},
      {.Name = "keys sorted on output", .Input = "d1:bi1e1:ai2ee", .Expected = "d1:ai2e1:bi1ee"},
      {.Name = "nested", .Input = "d1:ad1:bli1eeee", .Expected = "d1:ad1:bli1eeee"},
      {.Name = "trailing bytes ignored", .Input = "i5ei6e", .Expected = "i5e"},
      {.Name = "empty input", .Input = "", .Expected = "none"},
      {.Name = "bad first byte", .Input = "x", .Expected = "none"},
      {.Name = "lone e", .Input = "e", .Expected = "none"},
      // A length that cannot be satisfied is a failure taken as the end of input.
      {.Name = "string overruns", .Input = "5:abc", .Expected = "none"},
      {.Name = "string overruns in list", .Input = "l1:a5:abce", .Expected = "l1:ae"},
      {.Name = "string overruns as value", .Input = "d1:a5:abce", .Expected = "de"},
      {.Name = "key overruns", .Input = "d1:ai1e9:ae", .Expected = "d1:ai1ee"},
      {.Name = "length at end", .Input = "l3", .Expected = "le"},
      {.Name = "zero length at end", .Input = "0", .Expected = "0:"},
      {.Name = "length over 32 bits", .Input = "99999999999:x", .Expected = "none"},
      {.Name = "length wraps to 1 in 32 bits", .Input = "4294967297:abc", .Expected = "none"},
      {.Name = "length wraps negative", .Input = "l2147483648:abce", .Expected = "le"},
      {.Name = "largest length, short input", .Input = "2147483647:abc", .Expected = "none"},
      {.Name = "long digit run", .Input = "l" + std::string(100000, '9') + ":e", .Expected = "le"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(DecodeToText(c.Input), c.Expected);
  }
}

TEST(BDecode, StreamIsLeftAfterTheValue) {
  struct {
    const char* Input;
    int64_t Position;
  } cases[] = {
      {.Input = "i5eXYZ", .Position = 3}, {.Input = "3:abcd", .Position = 5},
      {.Input = "li1eeX", .Position = 5}, {.Input = "d1:a0:eX", .Position = 7},
      {.Input = "xyz", .Position = 1},  // the bad byte stays consumed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Input);
    TMemoryStream stream{std::string(c.Input)};
    DecodeValue(stream);
    EXPECT_EQ(stream.Position(), c.Position);
  }
}

TEST(BDecode, TypedEntryPoints) {
  TMemoryStream s1{std::string("2:abcdefghijklmn")};  // the caller took the "1" of "12"
  auto text = DecodeString(s1, 1);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->Text, "abcdefghijkl");
  EXPECT_FALSE(text->IsInteger);
  EXPECT_EQ(text->Value, 0);

  TMemoryStream s2{std::string("3:abc")};
  text = DecodeString(s2, 0);  // "03:abc" after the caller took the 0
  ASSERT_TRUE(text);
  EXPECT_EQ(text->Text, "abc");

  TMemoryStream s3{std::string("-17e")};
  auto number = DecodeInteger(s3);
  EXPECT_TRUE(number->IsInteger);
  EXPECT_EQ(number->Value, -17);
  EXPECT_EQ(number->Text, "");

  TMemoryStream s4{std::string("i1e")};
  auto list = DecodeList(s4);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->Count(), 1);

  TMemoryStream s5{std::string("xe")};
  EXPECT_EQ(DecodeDictionary(s5), nullptr);
}

TEST(BDecode, ReportsWhereTheInfoValueLies) {
  struct {
    const char* Name;
    std::string Input;
    int64_t Start;
    int64_t Length;
    int Count = 1;
    TDecodeStop Stop = TDecodeStop::Complete;
  } cases[] = {
      {.Name = "plain", .Input = "d4:infod1:ai1eee", .Start = 7, .Length = 8},
      {.Name = "after another key", .Input = "d1:xi1e4:info3:abce", .Start = 13, .Length = 5},
      {.Name = "undecodable info is no span", .Input = "d4:infoxe", .Start = -1, .Length = 0},
      {.Name = "info cut off",
       .Input = "d4:infod1:a",
       .Start = 7,
       .Length = 4,
       .Stop = TDecodeStop::EndOfInput},
      {.Name = "nested info is not the torrent's",
       .Input = "d1:ad4:infoi1eee",
       .Start = -1,
       .Length = 0,
       .Count = 0},
      {.Name = "keys named like marks move nothing",
       .Input = "d4:infoi1e12:_info_lengthi99e11:_info_starti-5ee",
       .Start = 7,
       .Length = 3},
      {.Name = "the kept value of two",
       .Input = "d4:infoi1e4:infoi22ee",
       .Start = 16,
       .Length = 4,
       .Count = 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream stream{c.Input};
    TDecodeReport report;
    auto value = DecodeValue(stream, report);
    ASSERT_TRUE(value);
    EXPECT_EQ(report.InfoStart, c.Start);
    EXPECT_EQ(report.InfoLength, c.Length);
    EXPECT_EQ(report.InfoCount, c.Count);
    EXPECT_EQ(report.Stop, c.Stop);
  }
}

TEST(BDecode, ReportsWhyDecodingStopped) {
  struct {
    const char* Name;
    std::string Input;
    int64_t Budget;
    TDecodeStop Stop;
  } cases[] = {
      {.Name = "complete", .Input = "d1:ai1ee", .Budget = DecodeMemoryBudget, .Stop = TDecodeStop::Complete},
      {.Name = "trailing bytes are not looked at",
       .Input = "i1exyz",
       .Budget = DecodeMemoryBudget,
       .Stop = TDecodeStop::Complete},
      {.Name = "cut in a string",
       .Input = "d1:a5:ab",
       .Budget = DecodeMemoryBudget,
       .Stop = TDecodeStop::EndOfInput},
      {.Name = "cut in an integer",
       .Input = "li12",
       .Budget = DecodeMemoryBudget,
       .Stop = TDecodeStop::EndOfInput},
      {.Name = "cut before the last e",
       .Input = "d1:ali1ee",
       .Budget = DecodeMemoryBudget,
       .Stop = TDecodeStop::EndOfInput},
      {.Name = "budget", .Input = "li1ei2ei3ee", .Budget = 2 * 80, .Stop = TDecodeStop::TooComplex},
      {.Name = "nesting",
       .Input = std::string(MaxNestingDepth + 1, 'l') + std::string(MaxNestingDepth + 1, 'e'),
       .Budget = DecodeMemoryBudget,
       .Stop = TDecodeStop::TooComplex},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream stream{c.Input};
    TDecodeReport report;
    DecodeValue(stream, report, c.Budget);
    EXPECT_EQ(report.Stop, c.Stop);
  }
}

// The info's file entries are dropped as they are read: each counts as the
// record the loader keeps and its own bytes, not as the values it decoded to
// (several times as much), so the budget's limit is the memory really used.
TEST(BDecode, FileEntriesCountAsWhatTheLoaderKeeps) {
  const int count = 20000;
  const std::string torrent = ManyFilesTorrent(count);
  std::string info;
  ManyFilesTorrent(count, &info);
  const int64_t entryBytes = static_cast<int64_t>(info.size());  // more than the entries alone
  struct {
    const char* Name;
    int64_t Budget;
    TDecodeStop Stop;
  } cases[] = {
      {.Name = "room for the records",
       .Budget = count * int64_t{200} + entryBytes + 4096,
       .Stop = TDecodeStop::Complete},
      {.Name = "not for half of them", .Budget = count / 2 * int64_t{200}, .Stop = TDecodeStop::TooComplex},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream stream{torrent};
    TDecodeReport report;
    DecodeValue(stream, report, c.Budget);
    EXPECT_EQ(report.Stop, c.Stop);
    if (c.Stop == TDecodeStop::Complete) {
      EXPECT_EQ(report.FileEntryStarts.size(), size_t{count});
    }
  }
}

TEST(BDecode, NestingBeyondTheLimitEndsTheInput) {
  const int limit = MaxNestingDepth;
  auto nested = [](int depth) { return std::string(depth, 'l') + std::string(depth, 'e'); };
  // At the limit everything decodes.
  EXPECT_EQ(DecodeToText(nested(limit)), nested(limit));
  // One deeper: the innermost list is where the input ends, and what follows
  // is never read.
  EXPECT_EQ(DecodeToText(nested(limit + 1) + "i1e"), nested(limit));
  EXPECT_EQ(DecodeToText("l" + nested(limit) + "i7ee"), nested(limit));
  // A million open lists neither overflow the stack nor take long.
  EXPECT_EQ(DecodeToText(std::string(1000000, 'l')), nested(limit));

  std::string dicts;
  for (int i = 0; i < 1000000; ++i) dicts += "d1:a";
  const std::string decoded = DecodeToText(dicts);
  std::string expected;
  for (int i = 0; i < limit - 1; ++i) expected += "d1:a";
  expected += "de";
  for (int i = 0; i < limit - 1; ++i) expected += "e";
  EXPECT_EQ(decoded, expected);
}

TEST(BDecode, MemoryBudgetEndsTheInput) {
  // The list and its first 99 items fit a budget of 100 values; the rest is
  // never read, as if the input ended there.
  std::string many = "l";
  for (int i = 0; i < 1000; ++i) many += "i1e";
  many += "e";
  TMemoryStream in{many};
  auto value = DecodeValue(in, 100 * 80);
  ASSERT_TRUE(value);
  EXPECT_EQ(As<TObjectList>(value.get()).Count(), 99);

  // A string's bytes count too.
  TMemoryStream text{"l3:abc" + std::string("1000:") + std::string(1000, 'x') + "e"};
  value = DecodeValue(text, 3 * 80 + 3 + 999);
  ASSERT_TRUE(value);
  EXPECT_EQ(As<TObjectList>(value.get()).Count(), 1);

  // Bytes that begin no value cost nothing.
  TMemoryStream junk{"l" + std::string(10000, 'x') + "i1ee"};
  value = DecodeValue(junk, 2 * 80);
  ASSERT_TRUE(value);
  EXPECT_EQ(As<TObjectList>(value.get()).Count(), 1);
}

TEST(BDecode, BytesToHex) {
  struct {
    std::string Bytes;
    int Max;
    const char* Hex;
  } cases[] = {
      {.Bytes = "\x01\xab", .Max = 999, .Hex = "01ab"},
      {.Bytes = "\x01\xab", .Max = 1, .Hex = "01"},
      {.Bytes = "\x01\xab", .Max = 0, .Hex = ""},
      {.Bytes = "", .Max = 999, .Hex = ""},
      {.Bytes = "\0\xff\x10"s, .Max = 999, .Hex = "00ff10"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Hex);
    EXPECT_EQ(BytesToHex(c.Bytes, c.Max), c.Hex);
  }
}

TEST(BDecode, EncodingPrimitives) {
  struct {
    const char* Name;
    std::function<void(TStream&)> Write;
    std::string Expected;
  } cases[] = {
      {.Name = "raw", .Write = [](TStream& s) { WriteRaw(s, "d"); }, .Expected = "d"},
      {.Name = "empty string", .Write = [](TStream& s) { WriteString(s, ""); }, .Expected = "0:"},
      {.Name = "string", .Write = [](TStream& s) { WriteString(s, "abc"); }, .Expected = "3:abc"},
      {.Name = "binary", .Write = [](TStream& s) { WriteString(s, "\0\n"s); }, .Expected = "2:\0\n"s},
      {.Name = "long",
       .Write = [](TStream& s) { WriteString(s, std::string(1000, 'x')); },
       .Expected = "1000:" + std::string(1000, 'x')},
      {.Name = "zero", .Write = [](TStream& s) { WriteInteger(s, 0); }, .Expected = "i0e"},
      {.Name = "negative", .Write = [](TStream& s) { WriteInteger(s, -42); }, .Expected = "i-42e"},
      {.Name = "min",
       .Write = [](TStream& s) { WriteInteger(s, std::numeric_limits<int64_t>::min()); },
       .Expected = "i-9223372036854775808e"},
      {.Name = "max",
       .Write = [](TStream& s) { WriteInteger(s, std::numeric_limits<int64_t>::max()); },
       .Expected = "i9223372036854775807e"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream out;
    c.Write(out);
    EXPECT_EQ(out.Data(), c.Expected);
  }
}

TEST(BDecode, ShortWriteRaises) {
  TShortStream out(4);
  WriteRaw(out, "d");
  try {
    WriteString(out, "abcdef");
    ADD_FAILURE() << "no exception";
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Stream write error");
  }
}

TEST(BDecode, KeysNamedLikeInfoMarksAreOrdinaryKeys) {
  // The decoder adds nothing to a dictionary: what the file holds is written back.
  for (const std::string& input : {std::string("d4:infod1:ai1ee1:zi1ee"),
                                   std::string("d12:_info_lengthi3e11:_info_starti0e4:infoi1ee")}) {
    SCOPED_TRACE(input);
    TMemoryStream stream{input};
    auto value = DecodeValue(stream);
    ASSERT_TRUE(value);
    TMemoryStream out;
    EncodeValue(out, *value);
    EXPECT_EQ(out.Data(), input);
  }
}

TEST(BDecode, CompleteValues) {
  struct {
    std::string Bytes;
    bool Complete;
  } cases[] = {
      {.Bytes = "i1e", .Complete = true},
      {.Bytes = "i-1e", .Complete = true},
      {.Bytes = "i007e", .Complete = true},
      {.Bytes = "3:abc", .Complete = true},
      {.Bytes = "0:", .Complete = true},
      {.Bytes = "le", .Complete = true},
      {.Bytes = "de", .Complete = true},
      {.Bytes = "d1:bi1e1:ai2ee", .Complete = true},  // order is not checked
      {.Bytes = "d1:ald1:xleee1:b0:e", .Complete = true},
      {.Bytes = "", .Complete = false},
      {.Bytes = "ie", .Complete = false},
      {.Bytes = "i1-2e", .Complete = false},
      {.Bytes = "i12", .Complete = false},
      {.Bytes = "3xabc", .Complete = false},
      {.Bytes = "4:abc", .Complete = false},
      {.Bytes = "l", .Complete = false},
      {.Bytes = "d1:ae", .Complete = false},
      {.Bytes = "di1ei2ee", .Complete = false},
      {.Bytes = "d1:ai1e", .Complete = false},
      {.Bytes = "i1ei2e", .Complete = false},
      {.Bytes = "le ", .Complete = false},
      {.Bytes = "e", .Complete = false},
      {.Bytes = "99999999999:x", .Complete = false},
      {.Bytes = std::string(100000, 'l') + std::string(100000, 'e'), .Complete = true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Bytes.substr(0, 40));
    EXPECT_EQ(IsCompleteValue(c.Bytes), c.Complete);
  }
}

// The writer copies a dictionary's values byte for byte from these spans.
TEST(BDecode, RawEntriesSplitADictionaryIntoKeysAndValueBytes) {
  using TPairs = std::vector<std::pair<std::string, std::string>>;
  struct {
    std::string Bytes;
    TPairs Entries;
  } cases[] = {
      {.Bytes = "de", .Entries = {}},
      {.Bytes = "d1:bi-12e1:a3:xyze", .Entries = {{"b", "i-12e"}, {"a", "3:xyz"}}},
      // Nested values, an "e" inside a string, twins kept in file order.
      {.Bytes = "d1:ald1:xleee1:k2:e:1:kd0:i1eee",
       .Entries = {{"a", "ld1:xleee"}, {"k", "2:e:"}, {"k", "d0:i1ee"}}},
      {.Bytes = "li1ee", .Entries = {}},
      {.Bytes = "3:abc", .Entries = {}},
      {.Bytes = "d1:ai1e", .Entries = {}},
      {.Bytes = "d1:a5:abce", .Entries = {}},
      {.Bytes = "di1ei2ee", .Entries = {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Bytes);
    TPairs entries;
    for (const TRawEntry& entry : RawEntries(c.Bytes)) entries.emplace_back(entry.Key, entry.Value);
    EXPECT_EQ(entries, c.Entries);
  }
}

}  // namespace
