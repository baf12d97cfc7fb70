#include "base/Terminal.h"

namespace {

const std::string ReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed UTF-8 sequence at the start of s, or 0. On 0, *bad is set to the
// number of bytes to replace with one U+FFFD (the maximal subpart of a sequence, as the
// Unicode standard recommends and Python's "replace" does).
size_t Utf8SequenceLength(std::string_view s, size_t* bad) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  *bad = 1;
  if (lead < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= s.size()) return 0;
    const unsigned char c = byte(i);
    const unsigned char lo = i == 1 ? low : 0x80, hi = i == 1 ? high : 0xBF;
    if (c < lo || c > hi) return 0;
    *bad = i + 1;
  }
  return length;
}

}  // namespace

bool IsBidiControl(std::string_view utf8) {
  if (utf8.size() < 3 || static_cast<unsigned char>(utf8[0]) != 0xE2) return false;
  const unsigned char second = static_cast<unsigned char>(utf8[1]),
                      third = static_cast<unsigned char>(utf8[2]);
  return (second == 0x80 && third >= 0xAA && third <= 0xAE) ||  // U+202A..U+202E embeddings, overrides
         (second == 0x81 && third >= 0xA6 && third <= 0xA9);    // U+2066..U+2069 isolates
}

std::string ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t pos = 0;
  while (pos < s.size()) {
    size_t bad = 1;
    const size_t length = Utf8SequenceLength(s.substr(pos), &bad);
    if (length == 0) {
      out += ReplacementCharacter;
      pos += bad;
    } else {
      out.append(s, pos, length);
      pos += length;
    }
  }
  return out;
}

// For the terminal: control characters (escape sequences above all) from a file must not
// reach it; line breaks are kept where the caller wants them.
std::string ForTerminal(std::string_view s, bool keepLineBreaks) {
  std::string utf8 = ToUtf8(s), out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == '\n' && keepLineBreaks) {
      out += utf8[i];
    } else if (c == '\r' && keepLineBreaks && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
      // CR LF from the program's own comments: the LF alone breaks the line
    } else if (c < 0x20 || c == 0x7F) {
      out += ReplacementCharacter;
    } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
      out += ReplacementCharacter;  // C1 controls U+0080..U+009F
      ++i;
    } else if (IsBidiControl(std::string_view(utf8).substr(i))) {
      // An override turns the rest of the line around: "exe.txt" shown for "txt.exe".
      out += ReplacementCharacter;
      i += 2;
    } else {
      out += utf8[i];
    }
  }
  return out;
}
