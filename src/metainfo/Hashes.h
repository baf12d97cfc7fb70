#pragma once
// A small map from byte-string keys to owned objects. Every decoded bencode
// dictionary is one.

#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The root of everything a container owns; kinds are told apart by class.
class TObject {
 public:
  virtual ~TObject() = default;
};

class EInvalidCast : public std::runtime_error {
 public:
  EInvalidCast() : std::runtime_error("Invalid class typecast") {}
};

// Downcast that raises EInvalidCast "Invalid class typecast" when the object
// is of another class (or missing).
template <class T>
T& As(TObject* object) {
  auto* result = dynamic_cast<T*>(object);
  if (!result) throw EInvalidCast();
  return *result;
}
template <class T>
const T& As(const TObject* object) {
  auto* result = dynamic_cast<const T*>(object);
  if (!result) throw EInvalidCast();
  return *result;
}

class EHashError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EHashFindError : public EHashError {
 public:
  using EHashError::EHashError;
};
class EHashInvalidKeyError : public EHashError {
 public:
  using EHashError::EHashError;
};

struct THashRecord {
  uint32_t Hash;  // the key's full hash
  int32_t Index;  // slot of the value
  std::string Key;
};

// The key index. Keys are filed in 128 buckets by hash; within a bucket the
// first equal key wins. The records live in one vector in the order keys were
// first put (a key's bucket is Hash & BucketMask), so a table costs memory in
// proportion to its keys. Large tables get an index ordered by key on top, so
// lookups stay fast even when hostile input gives every key the same hash
// (the hash only sees a key's last eight bytes).
class THash : public TObject {
 public:
  static constexpr int BucketBits = 7;
  static constexpr int BucketCount = 1 << BucketBits;
  static constexpr int BucketMask = BucketCount - 1;

  THash() = default;
  THash(const THash&) = delete;
  THash& operator=(const THash&) = delete;

  bool Exists(std::string_view key) const;
  // Frees all values and forgets every key.
  void Clear();
  int Count() const { return static_cast<int>(records_.size()); }

  // Every key, in byte order.
  std::vector<std::string_view> SortedKeys() const;
  // The keys of one bucket, in the order of their first Put.
  std::vector<std::string_view> BucketKeys(int bucket) const;

  static uint32_t HashOf(std::string_view key);
  static int BucketOf(std::string_view key) { return static_cast<int>(HashOf(key) & BucketMask); }

 protected:
  virtual void SetDataLength(int n) = 0;
  virtual void ClearData() = 0;
  virtual int HighData() const = 0;

  // The value slot of the key, or -1. Raises for an empty key.
  int FindIndex(std::string_view key) const;
  // Files a new key under the given slot.
  void AddKey(std::string_view key, int index);
  const std::vector<THashRecord>& Records() const { return records_; }

 private:
  int FindRecord(std::string_view key, uint32_t hash) const;

  // Orders record numbers by their keys; also compares with a bare key.
  struct TKeyOrder {
    using is_transparent = void;
    const THash* Table;
    std::string_view Key(int32_t record) const { return Table->records_[static_cast<size_t>(record)].Key; }
    bool operator()(int32_t a, int32_t b) const { return Key(a) < Key(b); }
    bool operator()(int32_t a, std::string_view b) const { return Key(a) < b; }
    bool operator()(std::string_view a, int32_t b) const { return a < Key(b); }
  };

  std::vector<THashRecord> records_;  // first-put order
  // Only for large tables (most hold two to six keys).
  std::unique_ptr<std::set<int32_t, TKeyOrder>> index_;
};

// THash with the owned values.
class TObjectHash : public THash {
 public:
  TObjectHash() = default;
  ~TObjectHash() override = default;

  // The value under the key; raises EHashFindError "Key "k" not found".
  TObject* Get(std::string_view key) const;
  // The value under the key, or nullptr.
  TObject* Find(std::string_view key) const;
  // Stores the value; an existing key's old value is freed and replaced in its slot.
  void Put(std::string_view key, std::unique_ptr<TObject> value);

  // Every (key, value), keys in byte order.
  std::vector<std::pair<std::string_view, const TObject*>> SortedEntries() const;

 protected:
  void SetDataLength(int n) override;
  void ClearData() override;
  int HighData() const override { return static_cast<int>(values_.size()) - 1; }

 private:
  std::vector<std::unique_ptr<TObject>> values_;
};
