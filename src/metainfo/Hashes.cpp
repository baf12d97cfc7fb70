#include "metainfo/Hashes.h"

#include <algorithm>

namespace {

// Up to this many keys a scan beats an index (most dictionaries hold two to six).
constexpr size_t LinearLimit = 8;

void CheckKey(std::string_view key) {
  if (key.empty()) throw EHashInvalidKeyError("Key cannot be an empty string");
}

}  // namespace

uint32_t THash::HashOf(std::string_view key) {
  uint32_t h = 0x12345670u;
  for (unsigned char b : key) {
    h = (h << 4) + b;
    const uint32_t g = h & 0xF0000000u;
    if (g != 0) h |= g >> 24;
  }
  return h;
}

int THash::FindRecord(std::string_view key, uint32_t hash) const {
  if (index_) {
    const auto found = index_->find(key);
    return found == index_->end() ? -1 : *found;
  }
  // Same hash means same bucket; the hash check only skips key compares.
  for (size_t i = 0; i < records_.size(); ++i)
    if (records_[i].Hash == hash && records_[i].Key == key) return static_cast<int>(i);
  return -1;
}

int THash::FindIndex(std::string_view key) const {
  CheckKey(key);
  const int record = FindRecord(key, HashOf(key));
  return record < 0 ? -1 : records_[static_cast<size_t>(record)].Index;
}

bool THash::Exists(std::string_view key) const { return FindIndex(key) >= 0; }

void THash::AddKey(std::string_view key, int index) {
  records_.push_back(THashRecord{HashOf(key), index, std::string(key)});
  const auto count = static_cast<int32_t>(records_.size());
  if (static_cast<size_t>(count) <= LinearLimit) return;
  if (!index_) {
    index_ = std::make_unique<std::set<int32_t, TKeyOrder>>(TKeyOrder{this});
    for (int32_t i = 0; i < count; ++i) index_->insert(i);
  } else {
    index_->insert(count - 1);
  }
}

void THash::Clear() {
  ClearData();
  records_.clear();
  records_.shrink_to_fit();
  index_.reset();
}

std::vector<std::string_view> THash::SortedKeys() const {
  std::vector<std::string_view> keys;
  keys.reserve(records_.size());
  for (const THashRecord& r : records_) keys.emplace_back(r.Key);
  std::sort(keys.begin(), keys.end());
  return keys;
}

std::vector<std::string_view> THash::BucketKeys(int bucket) const {
  std::vector<std::string_view> keys;
  for (const THashRecord& r : records_)
    if (static_cast<int>(r.Hash & BucketMask) == bucket) keys.emplace_back(r.Key);
  return keys;
}

TObject* TObjectHash::Find(std::string_view key) const {
  const int index = FindIndex(key);
  return index < 0 ? nullptr : values_[static_cast<size_t>(index)].get();
}

TObject* TObjectHash::Get(std::string_view key) const {
  const int index = FindIndex(key);
  if (index < 0) throw EHashFindError("Key \"" + std::string(key) + "\" not found");
  return values_[static_cast<size_t>(index)].get();
}

void TObjectHash::Put(std::string_view key, std::unique_ptr<TObject> value) {
  const int index = FindIndex(key);
  if (index >= 0) {
    values_[static_cast<size_t>(index)] = std::move(value);
    return;
  }
  const int slot = HighData() + 1;
  SetDataLength(slot + 1);
  values_[static_cast<size_t>(slot)] = std::move(value);
  AddKey(key, slot);
}

std::vector<std::pair<std::string_view, const TObject*>> TObjectHash::SortedEntries() const {
  std::vector<std::pair<std::string_view, const TObject*>> entries;
  entries.reserve(Records().size());
  for (const THashRecord& r : Records())
    entries.emplace_back(r.Key, values_[static_cast<size_t>(r.Index)].get());
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return entries;
}

void TObjectHash::SetDataLength(int n) { values_.resize(static_cast<size_t>(n)); }

void TObjectHash::ClearData() {
  values_.clear();
  values_.shrink_to_fit();
}
