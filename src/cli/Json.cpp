#include "cli/Json.h"

#include "base/Terminal.h"

std::string JsonString(std::string_view s) {
  static const char hexDigits[] = "0123456789abcdef";
  std::string out = "\"";
  const std::string utf8 = ToUtf8(s);
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char ch = utf8[i];
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out += hexDigits[c >> 4];
          out += hexDigits[c & 15];
        } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
          // C1 controls: U+009B alone starts an escape sequence on many terminals.
          const unsigned char c1 = static_cast<unsigned char>(utf8[++i]);
          out += "\\u00";
          out += hexDigits[c1 >> 4];
          out += hexDigits[c1 & 15];
        } else if (IsBidiControl(std::string_view(utf8).substr(i))) {
          // The same text to a parser, and no reordered line for someone reading the output.
          const unsigned code = ((c & 0x0Fu) << 12) |
                                ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
                                (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
          out += "\\u";
          for (int shift = 12; shift >= 0; shift -= 4) out += hexDigits[(code >> shift) & 15];
          i += 2;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

std::string JsonStringArray(const std::vector<std::string>& items, const char* indent) {
  if (items.empty()) return "[]";
  std::string out = "[\n";
  for (size_t i = 0; i < items.size(); ++i) {
    out += indent;
    out += "  " + JsonString(items[i]);
    out += i + 1 < items.size() ? ",\n" : "\n";
  }
  return out + indent + "]";
}
