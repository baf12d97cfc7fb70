#pragma once
// The URL helpers the HTTP client uses to take addresses apart, resolve relocations and
// encode credentials.

#include <string>

// The parts of an address; each is empty when the address has none.
struct TUrlParts {
  std::string Proto, User, Pass, Host, Port, Path;
};

// Splits an address. currentPath is consulted only for "./" and "../" forms. A bracketed
// IPv6 literal ("[::1]:8080") gives the host without its brackets.
TUrlParts SplitUrl(const std::string& url, const std::string& currentPath = "");
// The host as written in an address or a Host line: an IPv6 literal in brackets.
std::string HostForUrl(const std::string& host);
// 1-based position of an occurrence of sub in s: count -1 is the last one,
// n > 0 the n-th from the left (a value past the end when there are fewer),
// -n the n-th from the right; 0 when none.
int FindOccurrence(const std::string& sub, const std::string& s, int count);
// The path up to and including its last "/" or ":" before the query.
std::string PathBase(const std::string& path);
// Replaces the extension (given without its dot), or appends one.
void ChangeExtension(std::string& name, const std::string& extension);
std::string Base64Encode(const std::string& bytes);
bool IsHexDigit(char c);
int HexDigitValue(char c);
// "Mon, 01 Jan 1900 00:00:00" from days since 1899-12-30; no zone conversion.
std::string FormatHttpDate(double dateTime);
