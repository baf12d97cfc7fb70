#pragma once
// Lower-case hex of bytes, written apart from the program's own so that tests of its hex
// texts compare against an independent encoder.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline std::string ToHex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

inline std::string ToHex(const uint8_t* bytes, size_t size) {
  return ToHex(std::string_view(reinterpret_cast<const char*>(bytes), size));
}
