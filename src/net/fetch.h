// HTTP and HTTPS requests over libcurl: the system's only network access.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "text/text.h"

namespace ravelkin {

inline constexpr const char* kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Bounds that keep a server from hanging or exhausting a worker.
struct FetchLimits {
  long connectTimeoutSeconds = 30;
  long stallSeconds = 60;  // a transfer that delivers nothing for this long fails
  long long maxBodyBytes = 64LL * 1024 * 1024;
  int maxRedirects = 10;
};

// One request. Only url is required; the system's own requests set nothing else.
struct FetchRequest {
  Text url;                     // "http://", "https://" or no scheme (taken as http)
  int method = 0;               // 0 GET, 1 POST, 2 HEAD; anything else is GET
  Text postText;                // body for POST and HEAD, unless postBytes is given
  Bytes postBytes;              // body for POST and HEAD; when empty, postText's bytes
  std::optional<Text> cookies;  // when given (even empty) the process jar is not used
  Text extraHeaders;            // header lines joined by CR LF, completed before sending
  bool forbidRedirect = false;
  Text proxy;  // "host:port"; empty: direct
  bool mergeReturnedCookies = true;

  std::stop_token stop;  // a stop request ends the fetch within about a second
  FetchLimits limits;
  std::string caFile;  // extra CA bundle to trust (tests use a self-signed one)
  // "HOST:PORT:CONNECT-HOST:CONNECT-PORT" entries that send a host's connections elsewhere
  // while the request still names the original host (tests only).
  std::vector<std::string> connectTo;
};

struct FetchResponse {
  Bytes body;                   // the final response's body, error pages included; empty on error
  int status = 0;               // HTTP status of the final response; 0 when none arrived
  Text finalUrl;                // the URL of the final response, after redirects
  std::string contentType;      // the final response's Content-Type header value
  Text error;                   // why the transfer failed (DNS, connect, TLS, time-out, size,
                                // cancelled); empty when a response arrived whole
  Text sentHeaders;             // the completed header block that was sent
  Text returnedHeaders;         // the final response's status line and header lines, CR LF each
  Text returnedCookies;         // "name=value; ..." set by the final response (merged, see below)
  std::optional<Text> cookies;  // the request's cookie text, merged when a merge ran
  Bytes postBytes;              // the body that was sent for POST and HEAD

  bool ok() const { return error.empty(); }
};

// Performs the request: the verb, pathOfUrl's path, HTTP/1.1, the user agent found in
// extraHeaders (or the default), and the header block completed with Accept, Referer,
// Accept-Language, Content-Type and the cookie text. Connects to hostOfUrl/portOfUrl, over TLS
// (verified) only for "https://" URLs. Follows up to maxRedirects redirects unless forbidden,
// choosing the proxy again for each hop ("http=" proxies, made for http URLs, apply to http hops
// only). Only http and https are ever requested. Never cached. With cookies supplied and
// mergeReturnedCookies, returnedCookies and cookies both become mergeCookies of the two.
FetchResponse fetch(const FetchRequest& request);

// The same with in/out parameters; the body alone is returned (empty on failure).
Bytes fetchUrl(const Text& url, int method = 0, const Text& postText = {}, Text* cookies = nullptr,
               Text* returnedCookies = nullptr, Text* extraHeaders = nullptr,
               Text* returnedHeaders = nullptr, bool forbidRedirect = false,
               Bytes* postBytes = nullptr, const Text& proxy = {},
               bool mergeReturnedCookies = true);

// The header block sent for url: extraHeaders completed with "Accept: */*", "Referer: " + url,
// "Accept-Language: zh-cn", "Content-Type: application/x-www-form-urlencoded" and the cookie
// line, each only when missing (case-sensitive tests), in that order, without a final CR LF.
Text completeHeaders(const Text& url, const Text& extraHeaders, const std::optional<Text>& cookies);

// The user agent that extraHeaders asks for (its "User-Agent:" line, found ignoring case), or
// the default one.
Text userAgentFor(const Text& extraHeaders);

// How long the final response asks the client to wait before trying again (its Retry-After, in
// seconds or as a date), or nothing when it does not say.
std::optional<std::chrono::seconds> retryAfter(const FetchResponse& response);

// The cookies a response header block sets, as "name=value; name=value".
Text cookiesFromHeaders(const Text& returnedHeaders);

}  // namespace ravelkin
