#include "cli/Json.h"

#include "base/Terminal.h"

std::string JsonString(std::string_view s) {
  static const char hexDigits[] = "0123456789abcdef";
  std::string out = "\"";
  for (char ch : ToUtf8(s)) {
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
