#include "net/cookies.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>

namespace ravelkin {
namespace {

constexpr size_t kMaxJarCookies = 3000;  // no server may grow the jar without bound

std::string trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool isIpAddress(const std::string& host) {
  return host.find(':') != std::string::npos ||
         host.find_first_not_of("0123456789.") == std::string::npos;
}

bool domainMatches(const std::string& host, const std::string& domain) {
  if (host == domain) return true;
  return !isIpAddress(host) && host.size() > domain.size() &&
         host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
         host[host.size() - domain.size() - 1] == '.';
}

bool pathMatches(const std::string& requestPath, const std::string& cookiePath) {
  if (requestPath.rfind(cookiePath, 0) != 0) return false;
  return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' ||
         requestPath[cookiePath.size()] == '/';
}

std::string defaultPath(const std::string& requestPath) {
  const std::string path = requestPath.substr(0, requestPath.find_first_of("?#"));
  const size_t slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == 0 || slash == std::string::npos) return "/";
  return path.substr(0, slash);
}

}  // namespace

Text cookieName(const Text& entry) {
  const int p = findText(entry, "=");
  return trimText(p == -1 ? entry : textLeft(entry, p - 1));
}

bool hasCookieName(const std::vector<Text>& entries, const Text& name) {
  return std::any_of(entries.begin(), entries.end(),
                     [&](const Text& e) { return cookieName(e) == name; });
}

Text dropDuplicateEntries(const Text& text, const Text& delimiter) {
  std::vector<Text> taken;
  Text out;
  for (const Text& piece : splitText(text, delimiter)) {
    if (std::find(taken.begin(), taken.end(), piece) != taken.end()) continue;
    taken.push_back(piece);
    out += piece + delimiter;
  }
  return textLeft(out, textLength(out) - textLength(delimiter));
}

Text mergeCookies(Text& cookies, Text& returnedCookies) {
  cookies = removeAllSpaces(cookies);
  returnedCookies = removeAllSpaces(returnedCookies);
  std::vector<Text> merged = splitText(returnedCookies, ";");
  for (const Text& sent : splitText(cookies, ";")) {
    if (!hasCookieName(merged, cookieName(sent))) merged.push_back(sent);
  }
  cookies.clear();
  for (const Text& entry : merged) {
    if (textRight(entry, 8) != "=deleted") cookies += entry + "; ";
  }
  cookies = textLeft(cookies, textLength(cookies) - 2);
  cookies = dropDuplicateEntries(cookies, "; ");
  return cookies;
}

void CookieJar::store(const std::string& rawHost, const std::string& requestPath, bool secure,
                      const std::string& setCookie) {
  const std::string host = toLower(rawHost);
  std::vector<std::string> parts;
  for (size_t b = 0;;) {
    const size_t e = setCookie.find(';', b);
    parts.push_back(setCookie.substr(b, e == std::string::npos ? e : e - b));
    if (e == std::string::npos) break;
    b = e + 1;
  }
  const size_t eq = parts[0].find('=');
  if (eq == std::string::npos) return;
  Cookie c;
  c.name = trimmed(parts[0].substr(0, eq));
  c.value = trimmed(parts[0].substr(eq + 1));
  if (c.name.empty()) return;
  c.domain = host;
  c.path = defaultPath(requestPath);
  bool expired = false;
  bool haveMaxAge = false;
  const std::time_t now = std::time(nullptr);
  for (size_t i = 1; i < parts.size(); ++i) {
    const size_t aeq = parts[i].find('=');
    const std::string key = toLower(trimmed(parts[i].substr(0, aeq)));
    const std::string val = aeq == std::string::npos ? "" : trimmed(parts[i].substr(aeq + 1));
    if (key == "domain" && !val.empty()) {
      std::string d = toLower(val[0] == '.' ? val.substr(1) : val);
      // A cookie for a bare top-level name or for somebody else's host is refused.
      if (!domainMatches(host, d) || (d.find('.') == std::string::npos && d != host)) return;
      c.domain = d;
      c.hostOnly = d == host;
    } else if (key == "path" && !val.empty() && val[0] == '/') {
      c.path = val;
    } else if (key == "secure") {
      c.secure = true;
    } else if (key == "max-age") {
      haveMaxAge = true;
      const long long secs = std::atoll(val.c_str());
      expired = secs <= 0;
      c.expires = expired ? 1 : now + static_cast<std::time_t>(std::min(secs, 400LL * 86400));
    } else if (key == "expires" && !haveMaxAge) {
      const std::time_t t = curl_getdate(val.c_str(), nullptr);
      if (t != -1) {
        expired = t <= now;
        c.expires = expired ? 1 : t;
      }
    }
  }
  if (c.secure && !secure) return;

  std::lock_guard lock(mutex_);
  std::erase_if(cookies_, [&](const Cookie& o) {
    return o.name == c.name && o.domain == c.domain && o.path == c.path;
  });
  if (expired) return;
  if (cookies_.size() >= kMaxJarCookies) cookies_.erase(cookies_.begin());
  c.order = nextOrder_++;
  cookies_.push_back(std::move(c));
}

std::string CookieJar::cookieHeader(const std::string& rawHost, const std::string& requestPath,
                                    bool secure) const {
  const std::string host = toLower(rawHost);
  const std::string path = requestPath.substr(0, requestPath.find_first_of("?#"));
  const std::time_t now = std::time(nullptr);
  std::vector<const Cookie*> matching;
  std::lock_guard lock(mutex_);
  for (const Cookie& c : cookies_) {
    if (c.expires != 0 && c.expires <= now) continue;
    if (c.secure && !secure) continue;
    if (c.hostOnly ? host != c.domain : !domainMatches(host, c.domain)) continue;
    if (!pathMatches(path.empty() ? "/" : path, c.path)) continue;
    matching.push_back(&c);
  }
  // Longer paths first, then older cookies first, as browsers send them.
  std::sort(matching.begin(), matching.end(), [](const Cookie* a, const Cookie* b) {
    if (a->path.size() != b->path.size()) return a->path.size() > b->path.size();
    return a->order < b->order;
  });
  std::string header;
  for (const Cookie* c : matching) {
    if (!header.empty()) header += "; ";
    header += c->name + "=" + c->value;
  }
  return header;
}

void CookieJar::clear() {
  std::lock_guard lock(mutex_);
  cookies_.clear();
}

CookieJar& processCookieJar() {
  static CookieJar jar;
  return jar;
}

}  // namespace ravelkin
