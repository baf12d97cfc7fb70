// The URL helpers on any text: the input is an address and the current path,
// parted by a NUL byte.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "net/Url.h"

namespace {

std::string Base64Decode(const std::string& text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    const auto v = alphabet.find(c);
    FUZZ_CHECK(v != std::string::npos);
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto nul = input.find('\0');
  const std::string url = input.substr(0, nul);
  const std::string current = nul == std::string::npos ? std::string() : input.substr(nul + 1);

  const TUrlParts parts = SplitUrl(url, current);
  // Every part but a relative path is taken from the address itself.
  for (const std::string* part : {&parts.User, &parts.Pass, &parts.Host, &parts.Port})
    FUZZ_CHECK(part->empty() || url.find(*part) != std::string::npos);
  if (url.empty()) FUZZ_CHECK(parts.Host.empty() && parts.Path.empty() && parts.Proto.empty());

  const std::string base = PathBase(parts.Path);
  FUZZ_CHECK(parts.Path.compare(0, base.size(), base) == 0);
  FUZZ_CHECK(base.empty() || base.back() == '/' || base.back() == ':');

  std::string name = url;
  ChangeExtension(name, "htm");
  FUZZ_CHECK(name.size() >= 4 && name.compare(name.size() - 4, 4, ".htm") == 0);

  const std::string encoded = Base64Encode(input);
  FUZZ_CHECK(encoded.size() == (input.size() + 2) / 3 * 4);
  FUZZ_CHECK(Base64Decode(encoded) == input);

  for (const int count : {1, 2, -1, -2, 1000}) {
    const int at = FindOccurrence(current, url, count);
    FUZZ_CHECK(at >= 0 && static_cast<size_t>(at) <= url.size() + 1);
    if (at >= 1 && static_cast<size_t>(at) <= url.size() && !current.empty())
      FUZZ_CHECK(url.compare(static_cast<size_t>(at) - 1, current.size(), current) == 0);
  }
  for (const char c : input)
    if (IsHexDigit(c)) FUZZ_CHECK(HexDigitValue(c) == std::stoi(std::string(1, c), nullptr, 16));

  // Dates as the HTTP client passes them: a file's time, within a few thousand years.
  if (size >= sizeof(double)) {
    double date;
    std::memcpy(&date, data, sizeof date);
    if (std::isfinite(date) && std::fabs(date) < 3e6) {
      const std::string text = FormatHttpDate(date);
      if (date >= 0 && date < 2958466) FUZZ_CHECK(text.size() == 25);  // 1899-12-30 to 9999-12-31
    }
  }
  return 0;
}
