#include "net/HttpProt.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct TSplitCase {
  const char* Name;
  std::string Url;
  std::string CurrentPath;
  TUrlParts Expected;
};

TEST(SplitUrl, Table) {
  const TSplitCase cases[] = {
      {.Name = "everything",
       .Url = "http://u:p@h:8080/x/y?z=1",
       .Expected =
           {.Proto = "http", .User = "u", .Pass = "p", .Host = "h", .Port = "8080", .Path = "/x/y?z=1"}},
      {.Name = "bare host", .Url = "h", .Expected = {.Host = "h"}},
      {.Name = "bracketed IPv6 literal with a port",
       .Url = "http://[::1]:8080/x",
       .Expected = {.Proto = "http", .Host = "::1", .Port = "8080", .Path = "/x"}},
      {.Name = "bracketed IPv6 literal, credentials, no port",
       .Url = "http://u:p@[2001:db8::7]/list?a=b",
       .Expected = {.Proto = "http", .User = "u", .Pass = "p", .Host = "2001:db8::7", .Path = "/list?a=b"}},
      {.Name = "bracketed IPv6 literal alone",
       .Url = "[fe80::1%25eth0]",
       .Expected = {.Host = "fe80::1%25eth0"}},
      {.Name = "host and query", .Url = "h?q", .Expected = {.Host = "h", .Path = "?q"}},
      {.Name = "no path", .Url = "http://host", .Expected = {.Proto = "http", .Host = "host"}},
      {.Name = "root path",
       .Url = "http://host/",
       .Expected = {.Proto = "http", .Host = "host", .Path = "/"}},
      {.Name = "upper-case scheme",
       .Url = "HTTP://Host.Example/A",
       .Expected = {.Proto = "http", .Host = "Host.Example", .Path = "/A"}},
      {.Name = "ftp",
       .Url = "ftp://f.example/pub",
       .Expected = {.Proto = "ftp", .Host = "f.example", .Path = "/pub"}},
      {.Name = "scheme with a blank",
       .Url = "ht tp://h/p",
       .Expected = {.Proto = "http", .Host = "ht tp", .Path = "//h/p"}},
      {.Name = "single slash", .Url = "/dir/file", .Expected = {.Proto = "http", .Path = "/dir/file"}},
      {.Name = "two slashes", .Url = "//x/y", .Expected = {.Proto = "http", .Path = "/x/y"}},
      {.Name = "user only",
       .Url = "http://user@host/",
       .Expected = {.Proto = "http", .User = "user", .Host = "host", .Path = "/"}},
      {.Name = "user and password",
       .Url = "http://user:pw@host",
       .Expected = {.Proto = "http", .User = "user", .Pass = "pw", .Host = "host"}},
      {.Name = "user, password, port",
       .Url = "user:pw@host:81",
       .Expected = {.User = "user", .Pass = "pw", .Host = "host", .Port = "81"}},
      {.Name = "host and port",
       .Url = "http://127.0.0.1:8080/a",
       .Expected = {.Proto = "http", .Host = "127.0.0.1", .Port = "8080", .Path = "/a"}},
      {.Name = "http: without slashes", .Url = "http:/foo", .Expected = {.Proto = "http", .Path = "/foo"}},
      {.Name = "mailto",
       .Url = "mailto:joe@example.org",
       .Expected = {.Proto = "mailto", .User = "joe", .Host = "example.org"}},
      {.Name = "query before slash",
       .Url = "http://h?a=/b",
       .Expected = {.Proto = "http", .Host = "h", .Path = "?a=/b"}},
      {.Name = "fragment kept",
       .Url = "http://h/p#frag",
       .Expected = {.Proto = "http", .Host = "h", .Path = "/p#frag"}},
      {.Name = "dot slash",
       .Url = "./d.html",
       .CurrentPath = "/a/b/c.html",
       .Expected = {.Path = "/a/b/d.html"}},
      {.Name = "dot slash, no folder",
       .Url = "./d.html",
       .CurrentPath = "c.html",
       .Expected = {.Path = "/d.html"}},
      {.Name = "dot dot",
       .Url = "../d.html",
       .CurrentPath = "/a/b/c.html",
       .Expected = {.Path = "/a/d.html"}},
      {.Name = "dot dot twice",
       .Url = "../../d.html",
       .CurrentPath = "/a/b/c.html",
       .Expected = {.Path = "/d.html"}},
      {.Name = "dot dot past the root",
       .Url = "../../../d.html",
       .CurrentPath = "/a/b/c.html",
       .Expected = {.Path = "/d.html"}},
      {.Name = "empty", .Url = "", .Expected = {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TUrlParts r = SplitUrl(c.Url, c.CurrentPath);
    EXPECT_EQ(r.Proto, c.Expected.Proto);
    EXPECT_EQ(r.User, c.Expected.User);
    EXPECT_EQ(r.Pass, c.Expected.Pass);
    EXPECT_EQ(r.Host, c.Expected.Host);
    EXPECT_EQ(r.Port, c.Expected.Port);
    EXPECT_EQ(r.Path, c.Expected.Path);
  }
}

TEST(UrlHelpers, FindOccurrence) {
  EXPECT_EQ(FindOccurrence("/", "/a/b/c", -1), 5);
  EXPECT_EQ(FindOccurrence("/", "abc", -1), 0);
  EXPECT_EQ(FindOccurrence("/", "/a/b/c", 2), 3);
  EXPECT_GT(FindOccurrence("/", "/a/b/c", 4), 6);
  EXPECT_EQ(FindOccurrence("/", "/a/b/c", -2), 3);
  EXPECT_EQ(FindOccurrence("/", "/a/b/c", -4), 0);
  EXPECT_EQ(FindOccurrence("/", "/a/b/c", 0), 0);
  // The most negative count cannot be negated as an int.
  EXPECT_EQ(FindOccurrence("/", "/a/b/c", INT_MIN), 0);
  EXPECT_GT(FindOccurrence("/", "/a/b/c", INT_MAX), 6);
}

TEST(UrlHelpers, HostForUrl) {
  EXPECT_EQ(HostForUrl("::1"), "[::1]");
  EXPECT_EQ(HostForUrl("[::1]"), "[::1]");
  EXPECT_EQ(HostForUrl("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(HostForUrl("tracker.example"), "tracker.example");
}

TEST(UrlHelpers, PathBase) {
  EXPECT_EQ(PathBase("/dir/file.lst?x=1"), "/dir/");
  EXPECT_EQ(PathBase("/dir/file.lst?x=/y/z"), "/dir/");
  EXPECT_EQ(PathBase("/a/b.lst"), "/a/");
  EXPECT_EQ(PathBase("http://h"), "http://");
  EXPECT_EQ(PathBase("file"), "");
}

TEST(UrlHelpers, ChangeExtension) {
  const struct {
    std::string In, Ext, Out;
  } cases[] = {{"index", "htm", "index.htm"},
               {"setup.exe", "htm", "setup.htm"},
               {"a.b.c", "x", "a.b.x"},
               {"dot.", "htm", "dot.htm"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.In);
    std::string name = c.In;
    ChangeExtension(name, c.Ext);
    EXPECT_EQ(name, c.Out);
  }
}

TEST(UrlHelpers, Base64) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("a"), "YQ==");
  EXPECT_EQ(Base64Encode("ab"), "YWI=");
  EXPECT_EQ(Base64Encode("abc"), "YWJj");
  EXPECT_EQ(Base64Encode("user:"), "dXNlcjo=");
  EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(UrlHelpers, HexDigits) {
  for (char c : std::string("0123456789abcdefABCDEF")) EXPECT_TRUE(IsHexDigit(c)) << c;
  for (char c : std::string("gG /:@`")) EXPECT_FALSE(IsHexDigit(c)) << c;
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('9'), 9);
  EXPECT_EQ(HexDigitValue('a'), 10);
  EXPECT_EQ(HexDigitValue('F'), 15);
}

TEST(UrlHelpers, FormatHttpDate) {
  EXPECT_EQ(FormatHttpDate(2.0), "Mon, 01 Jan 1900 00:00:00");
  // 2000-02-29 is day 36585; 12:34:56.789 is dropped to whole seconds.
  EXPECT_EQ(FormatHttpDate(36585.0 + (12 * 3600 + 34 * 60 + 56.789) / 86400.0), "Tue, 29 Feb 2000 12:34:56");
  EXPECT_EQ(FormatHttpDate(25569.0), "Thu, 01 Jan 1970 00:00:00");
}

}  // namespace
