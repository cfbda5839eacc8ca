// Cookies: the text merge for callers that carry their own cookie text from request to
// request, and the process-wide jar that requests without such a text share.
#pragma once

#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "text/text.h"

namespace ravelkin {

// Merges the cookies a caller sent with those a response set. Spaces are removed from both
// (returnedCookies keeps its space-free form). The result, also left in `cookies`, lists the
// response's cookies in order, then the sent ones whose names the response did not set; entries
// ending in "=deleted" are dropped, exact duplicates too; entries are joined by "; ".
Text mergeCookies(Text& cookies, Text& returnedCookies);

// The text before the first '=', trimmed; the whole entry trimmed when there is no '='.
Text cookieName(const Text& entry);

// True when some entry has that name (exact bytes).
bool hasCookieName(const std::vector<Text>& entries, const Text& name);

// The pieces of text between delimiters, each kept once (exact duplicates dropped), in order.
Text dropDuplicateEntries(const Text& text, const Text& delimiter);

// A browser-like cookie store shared by every request of the process that does not carry its
// own cookie text. Thread-safe. Domain, Path, Expires, Max-Age and Secure are honoured.
class CookieJar {
 public:
  // Keeps (or, when expired, removes) the cookie of one Set-Cookie header value received from
  // host for a request to path.
  void store(const std::string& host, const std::string& path, bool secure,
             const std::string& setCookie);
  // The "name=value; ..." text to send to host for path, or empty.
  std::string cookieHeader(const std::string& host, const std::string& path, bool secure) const;
  void clear();

 private:
  struct Cookie {
    std::string name, value, domain, path;
    bool hostOnly = true;
    bool secure = false;
    std::time_t expires = 0;  // 0: until the process ends
    unsigned long long order = 0;
  };
  mutable std::mutex mutex_;
  std::vector<Cookie> cookies_;
  unsigned long long nextOrder_ = 0;
};

// The jar of this process.
CookieJar& processCookieJar();

}  // namespace ravelkin
