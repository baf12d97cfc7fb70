#include "net/Url.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "base/Text.h"

namespace {

// The folder part of a path, trailing "/" included; "/" when it has none.
std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string("/") : path.substr(0, slash + 1);
}

}  // namespace

TUrlParts SplitUrl(const std::string& url, const std::string& currentPath) {
  TUrlParts r;
  if (url.empty()) return r;

  if (url.compare(0, 2, "./") == 0) {
    r.Path = FolderOf(currentPath) + url.substr(2);
    return r;
  }
  if (url.compare(0, 3, "../") == 0) {
    std::string base = FolderOf(currentPath);
    std::string rest = url;
    while (rest.compare(0, 3, "../") == 0) {
      rest.erase(0, 3);
      if (!base.empty()) base.pop_back();
      const auto slash = base.rfind('/');
      base = slash == std::string::npos ? std::string("/") : base.substr(0, slash + 1);
    }
    r.Path = base + rest;
    return r;
  }

  std::string rest;
  bool haveRest = false;
  const auto p = url.find("://");
  if (p != std::string::npos) {
    const std::string scheme = AsciiLower(url.substr(0, p));
    bool valid = true;
    for (char c : scheme)
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))
        valid = false;
    if (valid) {
      r.Proto = scheme;
      rest = url.substr(p + 3);
      haveRest = true;
    } else {
      r.Proto = "http";
    }
  }
  if (!haveRest) {
    if (url[0] == '/') {
      r.Proto = "http";
      if (url.size() >= 2 && url[1] != '/') {
        r.Path = url;
        return r;
      }
      rest = url.substr(1);
    } else if (AsciiLower(url.substr(0, 5)) == "http:") {
      r.Proto = "http";
      if (url.size() > 6 && url[6] != '/') {
        r.Path = url.substr(5);
        return r;
      }
      rest = url.size() > 6 ? url.substr(6) : std::string();
    } else if (AsciiLower(url.substr(0, 7)) == "mailto:") {
      r.Proto = "mailto";
      rest = url.substr(url.find(':') + 1);
    } else {
      rest = url;
    }
  }

  auto pathStart = rest.find('/');
  const auto query = rest.find('?');
  if (query != std::string::npos && (pathStart == std::string::npos || query < pathStart)) pathStart = query;
  std::string authority = rest;
  if (pathStart != std::string::npos) {
    r.Path = rest.substr(pathStart);
    authority = rest.substr(0, pathStart);
  }

  const auto a = authority.rfind('@');
  const size_t hostStart = a == std::string::npos ? 0 : a + 1;
  if (hostStart < authority.size() && authority[hostStart] == '[') {
    // An IPv6 literal: its colons are no port separators.
    const auto close = authority.find(']', hostStart);
    if (close != std::string::npos) {
      r.Host = authority.substr(hostStart + 1, close - hostStart - 1);
      if (close + 1 < authority.size() && authority[close + 1] == ':') r.Port = authority.substr(close + 2);
      if (a != std::string::npos) {
        const std::string credentials = authority.substr(0, a);
        const auto colon = credentials.find(':');
        r.User = credentials.substr(0, colon);
        if (colon != std::string::npos) r.Pass = credentials.substr(colon + 1);
      }
      return r;
    }
  }
  const auto c = authority.rfind(':');
  std::string credentials;
  bool haveCredentials = false;
  if (c == std::string::npos && a == std::string::npos) {
    r.Host = authority;
  } else if (c != std::string::npos && (a == std::string::npos || a < c)) {
    r.Port = authority.substr(c + 1);
    if (a == std::string::npos) {
      r.Host = authority.substr(0, c);
    } else {
      r.Host = authority.substr(a + 1, c - a - 1);
      credentials = authority.substr(0, a);
      haveCredentials = true;
    }
  } else {
    r.Host = authority.substr(a + 1);
    credentials = authority.substr(0, a);
    haveCredentials = true;
  }
  if (haveCredentials) {
    const auto colon = credentials.find(':');
    if (colon == std::string::npos) {
      r.User = credentials;
    } else {
      r.User = credentials.substr(0, colon);
      r.Pass = credentials.substr(colon + 1);
    }
  }
  return r;
}

std::string HostForUrl(const std::string& host) {
  if (host.find(':') == std::string::npos || (!host.empty() && host.front() == '[')) return host;
  return "[" + host + "]";
}

int FindOccurrence(const std::string& sub, const std::string& s, int count) {
  if (count == 0 || sub.empty()) return 0;
  if (count > 0) {
    size_t from = 0;
    for (int n = 0; n < count; ++n) {
      const auto pos = s.find(sub, from);
      if (pos == std::string::npos) return static_cast<int>(s.size()) + 1;
      if (n == count - 1) return static_cast<int>(pos) + 1;
      from = pos + 1;
    }
    return 0;
  }
  // Counted in 64 bits: -INT_MIN does not fit an int.
  const int64_t wanted = -static_cast<int64_t>(count);
  size_t from = std::string::npos;
  for (int64_t n = 0; n < wanted; ++n) {
    const auto pos = s.rfind(sub, from);
    if (pos == std::string::npos) return 0;
    if (n == wanted - 1) return static_cast<int>(pos) + 1;
    if (pos == 0) return 0;
    from = pos - 1;
  }
  return 0;
}

std::string PathBase(const std::string& path) {
  const auto end = std::min(path.find('?'), path.size());
  for (size_t i = end; i > 0; --i)
    if (path[i - 1] == '/' || path[i - 1] == ':') return path.substr(0, i);
  return std::string();
}

void ChangeExtension(std::string& name, const std::string& extension) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos)
    name += "." + extension;
  else
    name = name.substr(0, dot + 1) + extension;
}

std::string Base64Encode(const std::string& bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v =
        (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) | uint8_t(bytes[i + 2]);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  const size_t left = bytes.size() - i;
  if (left > 0) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (left == 2) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += left == 2 ? alphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return (static_cast<unsigned char>(c) & 15) + 9;
}

std::string FormatHttpDate(double dateTime) {
  static const char days[] = "MonTueWedThuFriSatSun";
  static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const double whole = std::floor(dateTime);
  const int64_t dayNumber = static_cast<int64_t>(whole);
  const int64_t weekday = (((dayNumber - 2) % 7) + 7) % 7;
  // Civil date from a day count (Howard Hinnant's algorithm); 1899-12-30 is
  // day -25569 of the Unix epoch.
  int64_t z = dayNumber - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  int64_t ms = std::llround((dateTime - whole) * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  const int secs = static_cast<int>(ms / 1000);
  char text[64];
  std::snprintf(text, sizeof text, "%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d", days + weekday * 3, day,
                months + (month - 1) * 3, year, secs / 3600, (secs / 60) % 60, secs % 60);
  return text;
}
