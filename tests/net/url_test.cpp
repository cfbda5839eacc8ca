#include "net/url.h"

#include <gtest/gtest.h>

#include "net/cookies.h"
#include "net/fetch.h"

namespace ravelkin {
namespace {

TEST(UrlParts, HostPortAndPath) {
  struct Case {
    Text url, host;
    int port;
    Text path;
  } cases[] = {
      {"example.com/book/1.html", "example.com", 80, "/book/1.html"},
      {"HTTPS://Example.COM/A/B", "example.com", 443, "/A/B"},
      {"http://example.com:8080", "example.com", 8080, "/"},
      {"https://example.com:8443/x?y=1", "example.com", 8443, "/x?y=1"},
      {"httpsite.example/x", "httpsite.example", 443, "/x"},
      {"http://www.Site.cn/Book/12/index.html?a=B", "www.site.cn", 80, "/Book/12/index.html?a=B"},
      {"http://host:abc/", "host", 0, "/"},
      {"", "", 80, "/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hostOfUrl(c.url), c.host) << c.url;
    EXPECT_EQ(portOfUrl(c.url), c.port) << c.url;
    EXPECT_EQ(pathOfUrl(c.url), c.path) << c.url;
  }
  EXPECT_TRUE(isSecureUrl("HTTPS://x"));
  EXPECT_FALSE(isSecureUrl("httpsite.example/x"));
}

TEST(UrlParts, HostVariants) {
  EXPECT_EQ(hostOfUrl("http://a.b.example.com:81/x", true), "example.com");
  EXPECT_EQ(hostOfUrl("http://a.b.example.com:81/x", false, true), "a.b.example.com:81");
  EXPECT_EQ(hostOfUrl("http://localhost/x", true), "localhost");
  // With a level count: step back over dots from the end.
  EXPECT_EQ(hostOfUrl("http://a.b.c.example.com/x", false, false, 0), "example.com");
  EXPECT_EQ(hostOfUrl("http://a.b.c.example.com/x", true, false, 0), "com");
  EXPECT_EQ(hostOfUrl("http://a.b.c.example.com/x", true, false, 1), "example.com");
  EXPECT_EQ(hostOfUrl("http://a.b.c.example.com/x", false, false, 1), "c.example.com");
  EXPECT_EQ(hostOfUrl("https://example.com/x", false, false, 3), "example.com");
  EXPECT_EQ(hostOfUrl("https://example.com/x", true, false, 3), "example.com");
}

TEST(UrlParts, ValueAfterColon) {
  EXPECT_EQ(valueAfterColon("user-agent:  Foo "), "Foo");
  EXPECT_EQ(valueAfterColon("no colon"), "");
  EXPECT_EQ(valueAfterColon("a: b: c"), "b: c");
}

TEST(RequestHeaders, CompletionAndUserAgent) {
  const Text url = "example.com/book/1.html";
  const Text defaults =
      "Accept: */*\r\nReferer: example.com/book/1.html\r\nAccept-Language: zh-cn\r\n"
      "Content-Type: application/x-www-form-urlencoded";
  EXPECT_EQ(completeHeaders(url, "", std::nullopt), defaults);
  EXPECT_EQ(completeHeaders(url, "", Text()), defaults);  // empty cookies: no Cookie line
  EXPECT_EQ(completeHeaders(url, "referer: x", std::nullopt),
            "referer: x\r\nAccept: */*\r\nReferer: example.com/book/1.html\r\n"
            "Accept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded");
  EXPECT_EQ(completeHeaders(url, "Accept: text/html", std::nullopt),
            "Accept: text/html\r\nReferer: example.com/book/1.html\r\nAccept-Language: zh-cn"
            "\r\nContent-Type: application/x-www-form-urlencoded");
  EXPECT_EQ(completeHeaders(url, "", Text("a=1")), defaults + "\r\nCookie: a=1");
  EXPECT_EQ(completeHeaders(url, "", Text("Cookie: a=1")), defaults + "\r\nCookie: a=1");

  EXPECT_EQ(userAgentFor(""), kDefaultUserAgent);
  EXPECT_EQ(userAgentFor("Accept: x\r\nUser-Agent: Bar/1\r\nX: y"), "Bar/1");
  EXPECT_EQ(userAgentFor("user-agent: Foo"), "Foo");  // found ignoring case, read after the colon
}

TEST(ResponseCookies, SetCookieLinesInAnyCase) {
  EXPECT_EQ(cookiesFromHeaders("HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\n"
                               "Set-Cookie: b=2\r\n\r\n"),
            "a=1; b=2");
  EXPECT_EQ(cookiesFromHeaders("HTTP/1.1 200 OK\r\nX: y\r\n\r\n"), "");
}

TEST(CookieMerge, Cases) {
  struct Case {
    Text sent, returned, want;
  } cases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
      {"a=1; b=2", "a=deleted", "b=2"},
      {"x=1;x=2", "", "x=1"},
      {"", "x=1; x=1", "x=1"},
      {"sid=a b", "", "sid=ab"},
      {"A=1", "a=2", "a=2; A=1"},
      {"", "", ""},
      {"noequals", "", "noequals"},
  };
  for (const Case& c : cases) {
    Text cookies = c.sent;
    Text returned = c.returned;
    EXPECT_EQ(mergeCookies(cookies, returned), c.want) << c.sent << " + " << c.returned;
    EXPECT_EQ(cookies, c.want);
    EXPECT_EQ(returned, removeAllSpaces(c.returned));
  }
  EXPECT_EQ(cookieName(" a =1"), "a");
  EXPECT_EQ(cookieName(" flag "), "flag");
  EXPECT_TRUE(hasCookieName({"x=1", "y=2"}, "y"));
  EXPECT_EQ(dropDuplicateEntries("a|b|a|c", "|"), "a|b|c");
}

TEST(CookieJar, DomainPathExpiryAndSecure) {
  CookieJar jar;
  jar.store("www.example.com", "/book/1.html", false, "sid=1; Path=/");
  jar.store("www.example.com", "/book/1.html", false, "here=2");  // default path /book
  jar.store("www.example.com", "/", false, "wide=3; Domain=.example.com");
  jar.store("www.example.com", "/", false, "evil=4; Domain=other.com");
  jar.store("www.example.com", "/", false, "tld=5; Domain=com");
  jar.store("www.example.com", "/", false, "gone=6; Max-Age=0");
  jar.store("www.example.com", "/", true, "tls=7; Secure");
  jar.store("www.example.com", "/", false, "insecure=8; Secure");

  EXPECT_EQ(jar.cookieHeader("www.example.com", "/book/2.html", false), "here=2; sid=1; wide=3");
  EXPECT_EQ(jar.cookieHeader("www.example.com", "/other", false), "sid=1; wide=3");
  EXPECT_EQ(jar.cookieHeader("img.example.com", "/", false), "wide=3");
  EXPECT_EQ(jar.cookieHeader("other.com", "/", false), "");
  EXPECT_EQ(jar.cookieHeader("www.example.com", "/", true), "sid=1; wide=3; tls=7");

  jar.store("www.example.com", "/", false, "sid=x; Path=/");  // replaces
  jar.store("www.example.com", "/", false,
            "wide=; Domain=example.com; Expires=Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(jar.cookieHeader("www.example.com", "/", false), "sid=x");
}

}  // namespace
}  // namespace ravelkin
