#include "metainfo/Hashes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>

namespace {

// Counts how many of its kind are alive, to see what the table frees.
class TCounted : public TObject {
 public:
  explicit TCounted(int& alive, int tag = 0) : Tag(tag), alive_(alive) { ++alive_; }
  ~TCounted() override { --alive_; }
  int Tag;

 private:
  int& alive_;
};

void ExpectError(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const EHashError& e) {
    EXPECT_EQ(e.what(), message);
  }
}

TEST(Hashes, HashFunctionAndBucket) {
  // Worked out by hand from the rule (shift in each byte, fold the top nibble down).
  struct {
    const char* Key;
    uint32_t Hash;
    int Bucket;
  } cases[] = {
      {.Key = "a", .Hash = 0x23456761u, .Bucket = 97},
      {.Key = "announce", .Hash = 0x85670695u, .Bucket = 21},
      {.Key = "info", .Hash = 0x567704dfu, .Bucket = 95},
      {.Key = "piece length", .Hash = 0x7880fff8u, .Bucket = 120},
      {.Key = "pieces", .Hash = 0x777ffff3u, .Bucket = 115},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Key);
    EXPECT_EQ(THash::HashOf(c.Key), c.Hash);
    EXPECT_EQ(THash::BucketOf(c.Key), c.Bucket);
  }
  EXPECT_EQ(THash::HashOf(""), 0x12345670u);
}

TEST(Hashes, EmptyKeyIsRefusedEverywhere) {
  TObjectHash table;
  int alive = 0;
  ExpectError([&] { table.Exists(""); }, "Key cannot be an empty string");
  ExpectError([&] { table.Get(""); }, "Key cannot be an empty string");
  ExpectError([&] { table.Put("", std::make_unique<TCounted>(alive)); }, "Key cannot be an empty string");
  EXPECT_THROW(table.Get(""), EHashInvalidKeyError);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(alive, 0);  // the refused value was not kept
}

TEST(Hashes, MissingKey) {
  TObjectHash table;
  ExpectError([&] { table.Get("abc"); }, "Key \"abc\" not found");
  EXPECT_THROW(table.Get("abc"), EHashFindError);
  EXPECT_FALSE(table.Exists("abc"));
  EXPECT_EQ(table.Find("abc"), nullptr);
}

TEST(Hashes, PutReplacesAndFreesTheOldValue) {
  int alive = 0;
  {
    TObjectHash table;
    table.Put("name", std::make_unique<TCounted>(alive, 1));
    table.Put("other", std::make_unique<TCounted>(alive, 2));
    table.Put("name", std::make_unique<TCounted>(alive, 3));
    EXPECT_EQ(alive, 2);
    EXPECT_EQ(table.Count(), 2);
    EXPECT_EQ(As<TCounted>(table.Get("name")).Tag, 3);
    EXPECT_EQ(table.BucketKeys(THash::BucketOf("name")).size(), 1u);
    table.Clear();
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(table.Count(), 0);
    EXPECT_FALSE(table.Exists("name"));
    table.Put("name", std::make_unique<TCounted>(alive, 4));
    EXPECT_EQ(As<TCounted>(table.Get("name")).Tag, 4);
  }
  EXPECT_EQ(alive, 0);  // destruction frees the rest
}

TEST(Hashes, CaseMattersEvenWithTheSameHash) {
  // "announce" and "Announce" hash alike: the first byte is shifted out.
  ASSERT_EQ(THash::HashOf("announce"), THash::HashOf("Announce"));
  int alive = 0;
  TObjectHash table;
  table.Put("announce", std::make_unique<TCounted>(alive, 1));
  EXPECT_FALSE(table.Exists("Announce"));
  table.Put("Announce", std::make_unique<TCounted>(alive, 2));
  EXPECT_EQ(As<TCounted>(table.Get("announce")).Tag, 1);
  EXPECT_EQ(As<TCounted>(table.Get("Announce")).Tag, 2);
}

TEST(Hashes, BucketKeepsFirstPutOrder) {
  // k0, k40, k80 and k100 share a bucket.
  const int bucket = THash::BucketOf("k0");
  for (const char* key : {"k40", "k80", "k100"}) ASSERT_EQ(THash::BucketOf(key), bucket) << key;
  int alive = 0;
  TObjectHash table;
  for (const char* key : {"k80", "k0", "k100", "zz", "k40"})
    table.Put(key, std::make_unique<TCounted>(alive));
  table.Put("k0", std::make_unique<TCounted>(alive));  // a replacement keeps its place
  const std::vector<std::string_view> expected{"k80", "k0", "k100", "k40"};
  EXPECT_EQ(table.BucketKeys(bucket), expected);
}

TEST(Hashes, ManyKeysSortedAndFound) {
  int alive = 0;
  TObjectHash table;
  const int count = 20000;
  for (int i = 0; i < count; ++i)
    table.Put("key" + std::to_string(i * 7919 % count), std::make_unique<TCounted>(alive, i));
  table.Put(std::string("\xff", 1), std::make_unique<TCounted>(alive));
  table.Put(std::string("\x01", 1), std::make_unique<TCounted>(alive));
  EXPECT_EQ(table.Count(), count + 2);
  for (int i = 0; i < count; ++i) ASSERT_TRUE(table.Exists("key" + std::to_string(i))) << i;
  EXPECT_FALSE(table.Exists("key" + std::to_string(count)));
  EXPECT_FALSE(table.Exists("Key1"));
  EXPECT_EQ(As<TCounted>(table.Get("key0")).Tag, 0);

  const auto keys = table.SortedKeys();
  ASSERT_EQ(keys.size(), static_cast<size_t>(count + 2));
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_EQ(keys.front(), std::string("\x01", 1));
  EXPECT_EQ(keys.back(), std::string("\xff", 1));  // bytes compare unsigned

  const auto entries = table.SortedEntries();
  ASSERT_EQ(entries.size(), keys.size());
  for (size_t i = 0; i < keys.size(); i += 997) {
    EXPECT_EQ(entries[i].first, keys[i]);
    EXPECT_EQ(entries[i].second, table.Get(keys[i]));
  }
  table.Clear();
  EXPECT_EQ(alive, 0);
}

TEST(Hashes, KeysThatShareOneHash) {
  // The hash barely sees the front of a long key: hostile input can give
  // a hundred thousand keys four hashes. Filling and searching must still be quick.
  const std::string tail = "-same-tail-bytes";
  auto key = [&](int i) {
    std::string digits = std::to_string(i);
    return std::string(6 - digits.size(), '0') + digits + tail;
  };
  const int count = 100000;
  int alive = 0;
  TObjectHash table;
  std::set<uint32_t> hashes;
  for (int i = 0; i < count; ++i) {
    hashes.insert(THash::HashOf(key(i)));
    table.Put(key(i), std::make_unique<TCounted>(alive, i));
  }
  EXPECT_LE(hashes.size(), 4u);
  EXPECT_EQ(table.Count(), count);
  for (int i = 0; i < count; i += 7) ASSERT_EQ(As<TCounted>(table.Get(key(i))).Tag, i);
  EXPECT_FALSE(table.Exists("x" + tail));
}

TEST(Hashes, TypecastChecksTheClass) {
  int alive = 0;
  TObjectHash table;
  table.Put("x", std::make_unique<TCounted>(alive));
  try {
    As<TObjectHash>(table.Get("x"));
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidCast& e) {
    EXPECT_STREQ(e.what(), "Invalid class typecast");
  }
  EXPECT_THROW(As<TCounted>(static_cast<TObject*>(nullptr)), EInvalidCast);
}

}  // namespace
