#include "metainfo/BDecode.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// What a decoded value costs in memory, roughly: the object, the allocator's
// share and its slot in the container that holds it.
constexpr int64_t ValueCost = 80;
// What the loader keeps of one entry of the info's file list beside its names:
// the file's record, its pointer and its start (measured: a million files of
// short names peak at about 250 MiB in `show`).
constexpr int64_t FileRecordCost = 200;

// One decoding run over a stream. Structure bytes are read one at a time;
// once the input fails (end of stream, a bad string length, too deep a
// nesting, the memory budget spent) every further read fails too, so every
// open container ends as at the end of the input.
class TDecoder {
 public:
  explicit TDecoder(TStream& stream, int depth = 0, int64_t budget = DecodeMemoryBudget,
                    TDecodeReport* report = nullptr)
      : stream_(stream), depth_(depth), budget_(budget), report_(report) {}

  std::unique_ptr<TObject> Value() {
    char c;
    if (!ReadByte(c)) return nullptr;
    return ValueFrom(c);
  }

  // The value whose first byte c has been consumed.
  std::unique_ptr<TObject> ValueFrom(char c) {
    if (!IsDigit(c) && c != 'i' && c != 'l' && c != 'd') return nullptr;
    // Two input bytes can make an object of eighty: a big enough file of
    // tiny values would otherwise take many gigabytes.
    if (!Spend(ValueCost)) return nullptr;
    if (IsDigit(c)) return String(c - '0');
    if (c == 'i') return Integer();
    if (depth_ >= MaxNestingDepth) return Stop(TDecodeStop::TooComplex);
    ++depth_;
    std::unique_ptr<TObject> result;
    if (c == 'l')
      result = List();
    else
      result = Dictionary();
    --depth_;
    return result;
  }

  std::unique_ptr<TIntString> String(int firstDigit) {
    int64_t length = firstDigit;
    char c;
    // The byte after the digits is the separator, whatever it is.
    while (ReadByte(c) && IsDigit(c)) {
      length = length * 10 + (c - '0');
      if (length > std::numeric_limits<int32_t>::max()) return Stop(TDecodeStop::EndOfInput);
    }
    if (length == 0) return std::make_unique<TIntString>(std::string());
    // Never allocate more than the input still holds.
    if (ended_ || length > stream_.Size() - stream_.Position()) return Stop(TDecodeStop::EndOfInput);
    if (!Spend(length)) return nullptr;
    std::string text(static_cast<size_t>(length), '\0');
    if (stream_.Read(text.data(), length) != length) return Stop(TDecodeStop::EndOfInput);
    return std::make_unique<TIntString>(std::move(text));
  }

  std::unique_ptr<TIntString> Integer() {
    uint64_t value = 0;  // unsigned: the 64-bit wrap is intended
    bool negative = false;
    bool overflow = false;
    char c;
    while (ReadByte(c)) {
      if (IsDigit(c)) {
        overflow |= __builtin_mul_overflow(value, uint64_t{10}, &value);
        overflow |= __builtin_add_overflow(value, static_cast<uint64_t>(c - '0'), &value);
      } else if (c == '-') {
        negative = true;
      } else {
        break;
      }
    }
    const uint64_t limit = negative ? uint64_t{1} << 63 : uint64_t{std::numeric_limits<int64_t>::max()};
    overflow |= value > limit;
    if (negative) value = 0 - value;
    auto integer = std::make_unique<TIntString>(static_cast<int64_t>(value));
    integer->Overflow = overflow;
    return integer;
  }

  std::unique_ptr<TObjectList> List() {
    auto list = std::make_unique<TObjectList>();
    char c;
    // The info's file list: directly inside the info dictionary.
    std::vector<int64_t>* starts = depth_ == 3 ? filesStarts_ : nullptr;
    filesStarts_ = nullptr;
    while (ReadByte(c) && c != 'e') {
      const int64_t start = starts ? stream_.Position() - 1 : 0;
      const int64_t spentBefore = spent_;
      // A byte that begins no value is skipped.
      if (auto item = ValueFrom(c)) {
        if (!starts) {
          list->Add(std::move(item));
          continue;
        }
        starts->push_back(start);
        // The entry is dropped here: what stays is the loader's record of
        // the file, and its names.
        spent_ = spentBefore;
        Spend(FileRecordCost + stream_.Position() - start);
      }
    }
    return list;
  }

  std::unique_ptr<TObjectHash> Dictionary() {
    auto dict = std::make_unique<TObjectHash>();
    // Ended right after the "d": the (empty) dictionary read so far.
    char last = 'e';
    char c;
    while (ReadByte(c)) {
      last = c;
      if (c == 'e' || !IsDigit(c)) break;
      auto key = String(c - '0');
      if (!key || !Spend(ValueCost)) break;
      const int64_t start = stream_.Position();
      // The file list's entries are found in the info value at the top and in
      // its "files" value; as with the keys, the last value kept counts.
      std::vector<int64_t> starts;
      const bool infoKey = report_ && depth_ == 1 && key->Text == "info";
      const bool filesKey = infoFiles_ && depth_ == 2 && key->Text == "files";
      if (infoKey) infoFiles_ = &starts;
      if (filesKey) filesStarts_ = &starts;
      auto value = Value();
      if (infoKey) infoFiles_ = nullptr;
      filesStarts_ = nullptr;
      const bool stored = value && !key->Text.empty();
      if (stored) dict->Put(key->Text, std::move(value));
      if (stored && infoKey)
        report_->FileEntryStarts = std::move(starts);
      else if (stored && filesKey)
        *infoFiles_ = std::move(starts);
      // Where the raw info value lies, for the info hash: only the top level
      // counts, and only a value that was kept.
      if (report_ && depth_ == 1 && key->Text == "info") {
        ++report_->InfoCount;
        if (stored) {
          report_->InfoStart = start;
          report_->InfoLength = stream_.Position() - start;
        }
      }
      if (report_ && depth_ == 1 && key->Text == "piece layers") {
        ++report_->LayersCount;
        if (stored) {
          report_->LayersStart = start;
          report_->LayersLength = stream_.Position() - start;
        }
      }
    }
    if (IsDigit(last) || last == 'e') return dict;
    return nullptr;
  }

 private:
  bool ReadByte(char& c) {
    if (ended_) return false;
    if (stream_.Read(&c, 1) <= 0) {
      Stop(TDecodeStop::EndOfInput);
      return false;
    }
    return true;
  }

  bool Spend(int64_t bytes) {
    spent_ += bytes;
    if (spent_ > budget_) Stop(TDecodeStop::TooComplex);
    return !ended_;
  }

  // Every further read fails; the first reason is the one reported.
  std::nullptr_t Stop(TDecodeStop why) {
    if (!ended_ && report_) report_->Stop = why;
    ended_ = true;
    return nullptr;
  }

  TStream& stream_;
  int depth_;
  int64_t budget_;
  TDecodeReport* report_;
  int64_t spent_ = 0;
  bool ended_ = false;
  std::vector<int64_t>* infoFiles_ = nullptr;    // while the top-level info value is read
  std::vector<int64_t>* filesStarts_ = nullptr;  // set for the info's "files" value
};

void WriteDecimal(TStream& out, int64_t value, char prefix, char suffix) {
  char text[24];
  char* p = text;
  if (prefix) *p++ = prefix;
  p = std::to_chars(p, text + sizeof text, value).ptr;
  *p++ = suffix;
  out.WriteBuffer(text, p - text);
}

}  // namespace

std::unique_ptr<TObject> DecodeValue(TStream& stream) { return TDecoder(stream).Value(); }

std::unique_ptr<TObject> DecodeValue(TStream& stream, int64_t memoryBudget) {
  return TDecoder(stream, 0, memoryBudget).Value();
}

std::unique_ptr<TObject> DecodeValue(TStream& stream, TDecodeReport& report, int64_t memoryBudget) {
  report = TDecodeReport();
  return TDecoder(stream, 0, memoryBudget, &report).Value();
}

std::unique_ptr<TIntString> DecodeString(TStream& stream, int firstDigit) {
  return TDecoder(stream).String(firstDigit);
}

std::unique_ptr<TIntString> DecodeInteger(TStream& stream) { return TDecoder(stream).Integer(); }

std::unique_ptr<TObjectList> DecodeList(TStream& stream) { return TDecoder(stream, 1).List(); }

std::unique_ptr<TObjectHash> DecodeDictionary(TStream& stream) { return TDecoder(stream, 1).Dictionary(); }

void WriteRaw(TStream& out, std::string_view bytes) {
  out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void WriteString(TStream& out, std::string_view bytes) {
  WriteDecimal(out, static_cast<int64_t>(bytes.size()), '\0', ':');
  WriteRaw(out, bytes);
}

void WriteInteger(TStream& out, int64_t value) { WriteDecimal(out, value, 'i', 'e'); }

void WriteStringList(TStream& out, const std::vector<std::string>& items) {
  WriteRaw(out, "l");
  for (const std::string& item : items) WriteString(out, item);
  WriteRaw(out, "e");
}

void WriteStringLists(TStream& out, const std::vector<std::vector<std::string>>& lists) {
  WriteRaw(out, "l");
  for (const auto& list : lists) WriteStringList(out, list);
  WriteRaw(out, "e");
}

void EncodeValue(TStream& out, const TObject& value) {
  if (const auto* scalar = dynamic_cast<const TIntString*>(&value)) {
    if (scalar->IsInteger)
      WriteInteger(out, scalar->Value);
    else
      WriteString(out, scalar->Text);
  } else if (const auto* list = dynamic_cast<const TObjectList*>(&value)) {
    WriteRaw(out, "l");
    for (const auto& item : list->Items)
      if (item) EncodeValue(out, *item);
    WriteRaw(out, "e");
  } else if (const auto* dict = dynamic_cast<const TObjectHash*>(&value)) {
    WriteRaw(out, "d");
    for (const auto& [key, item] : dict->SortedEntries()) {
      if (!item) continue;
      WriteString(out, key);
      EncodeValue(out, *item);
    }
    WriteRaw(out, "e");
  } else {
    throw EInvalidCast();
  }
}

namespace {

// Walks bencoded bytes without decoding them, for checks and byte copies.
class TRawScanner {
 public:
  explicit TRawScanner(std::string_view bytes) : bytes_(bytes) {}

  size_t Position() const { return pos_; }
  bool AtEnd() const { return pos_ == bytes_.size(); }
  bool Next(char c) const { return pos_ < bytes_.size() && bytes_[pos_] == c; }
  void Skip() { ++pos_; }

  // A string, at its length's first digit.
  bool String(std::string_view* text = nullptr) {
    const size_t size = bytes_.size();
    uint64_t length = 0;
    size_t digits = 0;
    while (pos_ < size && IsDigit(bytes_[pos_])) {
      if (++digits > 10) return false;
      length = length * 10 + static_cast<uint64_t>(bytes_[pos_++] - '0');
    }
    if (digits == 0 || pos_ >= size || bytes_[pos_] != ':') return false;
    ++pos_;
    if (length > size - pos_) return false;
    if (text) *text = bytes_.substr(pos_, static_cast<size_t>(length));
    pos_ += static_cast<size_t>(length);
    return true;
  }

  // An integer, after its "i".
  bool Integer() {
    const size_t size = bytes_.size();
    if (pos_ < size && bytes_[pos_] == '-') ++pos_;
    const size_t first = pos_;
    while (pos_ < size && IsDigit(bytes_[pos_])) ++pos_;
    if (pos_ == first || pos_ >= size || bytes_[pos_] != 'e') return false;
    ++pos_;
    return true;
  }

  // Moves past one complete, well-formed value (key order and leading zeros
  // not checked).
  bool Value() {
    // Without recursion: one entry per open container. 'l' list, 'k' dictionary
    // expecting a key, 'v' dictionary expecting the value of a key.
    std::vector<char> open;
    do {
      if (pos_ >= bytes_.size()) return false;
      const char c = bytes_[pos_];
      if (!open.empty() && c == 'e' && open.back() != 'v') {
        ++pos_;
        open.pop_back();
      } else if (!open.empty() && open.back() == 'k') {
        if (!String()) return false;
        open.back() = 'v';
        continue;
      } else if (IsDigit(c)) {
        if (!String()) return false;
      } else if (c == 'i') {
        ++pos_;
        if (!Integer()) return false;
      } else if (c == 'l' || c == 'd') {
        ++pos_;
        if (!open.empty() && open.back() == 'v') open.back() = 'k';
        open.push_back(c == 'l' ? 'l' : 'k');
        continue;
      } else {
        return false;
      }
      // A value is complete: a dictionary now expects its next key.
      if (!open.empty() && open.back() == 'v') open.back() = 'k';
    } while (!open.empty());
    return true;
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

}  // namespace

bool IsCompleteValue(std::string_view bytes) {
  TRawScanner scanner(bytes);
  return scanner.Value() && scanner.AtEnd();
}

std::vector<TRawEntry> RawEntries(std::string_view dict) {
  TRawScanner scanner(dict);
  if (!scanner.Next('d')) return {};
  scanner.Skip();
  std::vector<TRawEntry> entries;
  while (!scanner.Next('e')) {
    std::string_view key;
    if (!scanner.String(&key)) return {};
    const size_t start = scanner.Position();
    if (!scanner.Value()) return {};
    entries.push_back({key, dict.substr(start, scanner.Position() - start)});
  }
  return entries;
}

namespace {

// A length or an integer's digits: at least one, and no leading zero unless it is the only digit.
bool CanonicalDigits(std::string_view bytes, size_t& pos, size_t maxDigits) {
  const size_t first = pos;
  while (pos < bytes.size() && IsDigit(bytes[pos])) {
    if (pos - first >= maxDigits) return false;
    ++pos;
  }
  const size_t digits = pos - first;
  return digits != 0 && (digits == 1 || bytes[first] != '0');
}

bool CanonicalString(std::string_view bytes, size_t& pos, std::string_view* text) {
  const size_t first = pos;
  if (!CanonicalDigits(bytes, pos, 10) || pos >= bytes.size() || bytes[pos] != ':') return false;
  uint64_t length = 0;
  std::from_chars(bytes.data() + first, bytes.data() + pos, length);
  ++pos;
  if (length > bytes.size() - pos) return false;
  *text = bytes.substr(pos, static_cast<size_t>(length));
  pos += static_cast<size_t>(length);
  return true;
}

bool CanonicalInteger(std::string_view bytes, size_t& pos) {
  const bool negative = pos < bytes.size() && bytes[pos] == '-';
  if (negative) ++pos;
  const size_t first = pos;
  if (!CanonicalDigits(bytes, pos, 19) || pos >= bytes.size() || bytes[pos] != 'e') return false;
  if (negative && bytes[first] == '0') return false;
  ++pos;
  return true;
}

}  // namespace

bool IsCanonicalValue(std::string_view bytes) {
  // Without recursion: one entry per open container.
  struct TOpen {
    bool Dict;
    bool ExpectKey;
    bool HasKey;
    std::string_view LastKey;
  };
  std::vector<TOpen> open;
  size_t pos = 0;
  std::string_view text;
  do {
    if (pos >= bytes.size()) return false;
    const char c = bytes[pos];
    if (!open.empty() && c == 'e' && (!open.back().Dict || open.back().ExpectKey)) {
      ++pos;
      open.pop_back();
    } else if (!open.empty() && open.back().Dict && open.back().ExpectKey) {
      if (!CanonicalString(bytes, pos, &text)) return false;
      TOpen& dict = open.back();
      if (dict.HasKey && !(dict.LastKey < text)) return false;
      dict.LastKey = text;
      dict.HasKey = true;
      dict.ExpectKey = false;
      continue;
    } else if (IsDigit(c)) {
      if (!CanonicalString(bytes, pos, &text)) return false;
    } else if (c == 'i') {
      ++pos;
      if (!CanonicalInteger(bytes, pos)) return false;
    } else if (c == 'l' || c == 'd') {
      ++pos;
      open.push_back({c == 'd', true, false, {}});
      continue;
    } else {
      return false;
    }
    // A value is complete: a dictionary now expects its next key.
    if (!open.empty() && open.back().Dict) open.back().ExpectKey = true;
  } while (!open.empty());
  return pos == bytes.size();
}

std::vector<std::string_view> RawItems(std::string_view list) {
  TRawScanner scanner(list);
  if (!scanner.Next('l')) return {};
  scanner.Skip();
  std::vector<std::string_view> items;
  while (!scanner.Next('e')) {
    const size_t start = scanner.Position();
    if (!scanner.Value()) return {};
    items.push_back(list.substr(start, scanner.Position() - start));
  }
  return items;
}
