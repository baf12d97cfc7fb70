#pragma once
// Bencoding: the lenient decoder that turns a metainfo file into a tree of
// values, and the primitives the writer puts values back with.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Stream.h"
#include "metainfo/Hashes.h"

// A byte string or an integer. Reading the text of an integer gives "" and
// the value of a string gives 0; the loader relies on that.
class TIntString : public TObject {
 public:
  explicit TIntString(std::string text) : Text(std::move(text)) {}
  explicit TIntString(int64_t value) : Value(value), IsInteger(true) {}

  std::string Text;
  int64_t Value = 0;
  bool IsInteger = false;
  // The integer's digits do not fit in 64 bits: Value holds them wrapped.
  bool Overflow = false;
};

// A bencoded list; owns its items.
class TObjectList : public TObject {
 public:
  void Add(std::unique_ptr<TObject> item) { Items.push_back(std::move(item)); }
  int Count() const { return static_cast<int>(Items.size()); }
  TObject* operator[](int i) const { return Items[static_cast<size_t>(i)].get(); }

  std::vector<std::unique_ptr<TObject>> Items;
};

// Beyond this many open lists and dictionaries, decoding stops as at the end
// of the input (keeps hostile input from exhausting the stack).
constexpr int MaxNestingDepth = 512;
// Once the values decoded so far would take about this much memory, decoding
// stops as at the end of the input (a file of tiny values is forty times its
// size in memory). The info's file entries count as what the loader keeps
// of them: about 200 bytes and their own bytes each (2 million files of short
// names load in about 500 MiB).
constexpr int64_t DecodeMemoryBudget = int64_t{512} << 20;

// Why decoding stopped before a value was complete.
enum class TDecodeStop {
  Complete,    // every value read ended where it should
  EndOfInput,  // the input ended inside a value: the file is cut off
  TooComplex,  // the memory budget or the nesting limit was reached
};

// What a decoding run saw beside the values themselves. The info span is
// where the raw bytes of the top-level dictionary's "info" value lie, for the
// info hash; it comes from the decoder only, so keys in the file cannot move it.
struct TDecodeReport {
  TDecodeStop Stop = TDecodeStop::Complete;
  int64_t InfoStart = -1;  // -1: no "info" value was stored
  int64_t InfoLength = 0;
  int InfoCount = 0;  // how many "info" keys the top-level dictionary holds
  // The same for the top-level "piece layers" value, which a v2 torrent's
  // checks read as bytes: -1 when none was stored.
  int64_t LayersStart = -1;
  int64_t LayersLength = 0;
  int LayersCount = 0;
  // Where each item of the kept info's "files" list begins, when that list is
  // a list: each decodes again from there. The list itself is left empty (a
  // caller reading the entries one at a time never holds them all).
  std::vector<int64_t> FileEntryStarts;
};

// Each takes a stream positioned where the value begins (after the marker
// byte for the typed ones) and leaves it after the last byte consumed.
// Malformed input never raises: what cannot be read is dropped, and failure
// shows only as nullptr.
std::unique_ptr<TObject> DecodeValue(TStream& stream);
std::unique_ptr<TObject> DecodeValue(TStream& stream, int64_t memoryBudget);
std::unique_ptr<TObject> DecodeValue(TStream& stream, TDecodeReport& report,
                                     int64_t memoryBudget = DecodeMemoryBudget);
// firstDigit: the first digit of the length, already consumed (0..9). A
// length that overruns the input or 32 bits gives nullptr.
std::unique_ptr<TIntString> DecodeString(TStream& stream, int firstDigit);
std::unique_ptr<TIntString> DecodeInteger(TStream& stream);
std::unique_ptr<TObjectList> DecodeList(TStream& stream);
std::unique_ptr<TObjectHash> DecodeDictionary(TStream& stream);

// Encoding primitives; a short write raises EStreamError "Stream write error".
void WriteRaw(TStream& out, std::string_view bytes);
void WriteString(TStream& out, std::string_view bytes);
void WriteInteger(TStream& out, int64_t value);
// A list of strings, and a list of such lists (the announce-list's tiers).
void WriteStringList(TStream& out, const std::vector<std::string>& items);
void WriteStringLists(TStream& out, const std::vector<std::vector<std::string>>& lists);
// Writes a decoded value back in canonical form: dictionary keys in byte order.
void EncodeValue(TStream& out, const TObject& value);

// True when the bytes are exactly one complete, well-formed value (key order
// and leading zeros not checked).
bool IsCompleteValue(std::string_view bytes);

// One key of a dictionary as it stands in the bytes, with the exact bytes of its value.
struct TRawEntry {
  std::string_view Key;
  std::string_view Value;
};

// The entries of a dictionary's bytes in their order, twins included. The
// bytes must be one complete value (IsCompleteValue); anything else gives no
// entries.
std::vector<TRawEntry> RawEntries(std::string_view dict);
// The exact bytes of each item of a list's bytes, in order; the same rules as RawEntries.
std::vector<std::string_view> RawItems(std::string_view list);

// True when the bytes are one complete value in the one form a hash over them
// can be reproduced from: dictionary keys strictly ascending as raw bytes (so
// no twins), and no integer or length with a leading zero or a "-0".
bool IsCanonicalValue(std::string_view bytes);
