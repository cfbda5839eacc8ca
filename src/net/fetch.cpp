#include "net/fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <ctime>
#include <mutex>
#include <string_view>

#include "net/cookies.h"
#include "net/url.h"
#include "text/codepage.h"

namespace ravelkin {
namespace {

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One easy handle per thread, reset before every request: it keeps its connection cache and
// TLS sessions, so a worker fetching chapter after chapter from one site skips the handshakes.
class ThreadHandle {
 public:
  ThreadHandle() {
    globalInit();
    h_ = curl_easy_init();
  }
  ~ThreadHandle() {
    if (h_) curl_easy_cleanup(h_);
  }
  ThreadHandle(const ThreadHandle&) = delete;
  ThreadHandle& operator=(const ThreadHandle&) = delete;
  CURL* get() const { return h_; }

 private:
  CURL* h_ = nullptr;
};

CURL* threadHandle() {
  thread_local ThreadHandle handle;
  return handle.get();
}

class HeaderList {
 public:
  HeaderList() = default;
  ~HeaderList() { curl_slist_free_all(list_); }
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;
  void add(const std::string& line) {
    if (curl_slist* l = curl_slist_append(list_, line.c_str())) list_ = l;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

struct Transfer {
  Bytes body;
  std::string headers;
  long long maxBody = 0;
  bool tooLarge = false;
  const std::stop_token* stop = nullptr;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  // Chunked bodies carry no length up front, so the cap is enforced here as they arrive.
  if (static_cast<long long>(t->body.size() + n) > t->maxBody) {
    t->tooLarge = true;
    return 0;
  }
  t->body.append(data, n);
  return n;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) t->headers.clear();  // interim (1xx) responses are not kept
  t->headers.append(line);
  return line.size();
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* t = static_cast<Transfer*>(user);
  return t->stop->stop_requested() ? 1 : 0;
}

// The URL curl is given: the scheme decided by isSecureUrl, hostOfUrl, portOfUrl and
// pathOfUrl's path. Bytes that may not stand in a request line are percent-encoded as they are.
std::string requestUrlFor(const Text& url) {
  std::string out = isSecureUrl(url) ? "https://" : "http://";
  out += hostOfUrl(url) + ":" + std::to_string(portOfUrl(url));
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char ch : pathOfUrl(url)) {
    const auto b = static_cast<unsigned char>(ch);
    if (b <= 0x20 || b >= 0x7F) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

bool startsWithIgnoringCase(std::string_view s, std::string_view prefix) {
  return toLower(Text(s.substr(0, prefix.size()))) == prefix;
}

// Keeps every cookie a response sets in the process jar.
void storeInJar(const std::string& headers, const Text& url) {
  const std::string host = hostOfUrl(url);
  const std::string path = pathOfUrl(url);
  for (size_t b = 0; b < headers.size();) {
    size_t e = headers.find("\r\n", b);
    if (e == std::string::npos) e = headers.size();
    const std::string_view line = std::string_view(headers).substr(b, e - b);
    if (startsWithIgnoringCase(line, "set-cookie:")) {
      processCookieJar().store(host, path, isSecureUrl(url), std::string(line.substr(11)));
    }
    b = e + 2;
  }
}

Text describeError(CURLcode code, const Transfer& t, const char* detail) {
  const char* what;
  if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    what = "响应过大";
  } else if (code == CURLE_ABORTED_BY_CALLBACK) {
    what = "已取消";
  } else if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY) {
    what = "无法解析主机名";
  } else if (code == CURLE_COULDNT_CONNECT) {
    what = "无法连接服务器";
  } else if (code == CURLE_OPERATION_TIMEDOUT) {
    what = "超时";
  } else if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR ||
             code == CURLE_SSL_CACERT_BADFILE || code == CURLE_SSL_CERTPROBLEM) {
    what = "TLS 错误";
  } else if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT) {
    what = "无效的网址";
  } else {
    what = "网络错误";
  }
  std::string s = what;
  const std::string_view d = detail && *detail ? detail : curl_easy_strerror(code);
  if (!t.tooLarge && code != CURLE_ABORTED_BY_CALLBACK) s += "（" + std::string(d) + "）";
  return utf8ToText(s);
}

bool isRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

Text userAgentFor(const Text& extraHeaders) {
  if (findText(extraHeaders, "User-Agent:", {}, true) == -1) return kDefaultUserAgent;
  const Text agent = trimText(textBetween(extraHeaders + "\r\n", "User-Agent:", "\r\n"));
  return agent.empty() ? valueAfterColon(extraHeaders) : agent;
}

Text completeHeaders(const Text& url, const Text& extraHeaders,
                     const std::optional<Text>& cookies) {
  Text block = extraHeaders;
  if (block.empty()) {
    block = "Accept: */*";
  } else if (findText(block, "Accept:") == -1) {
    block += "\r\nAccept: */*";
  }
  if (findText(block, "Referer:") == -1) block += "\r\nReferer: " + url;
  if (findText(block, "Accept-Language:") == -1) block += "\r\nAccept-Language: zh-cn";
  if (findText(block, "Content-Type:") == -1) {
    block += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  if (cookies && !cookies->empty()) {
    block += findText(*cookies, "Cookie:") == -1 ? "\r\nCookie: " + *cookies : "\r\n" + *cookies;
  }
  return block;
}

Text cookiesFromHeaders(const Text& returnedHeaders) {
  Text out;
  for (const Text& line : splitText(returnedHeaders, "\r\n")) {
    if (findText(line, "Set-Cookie") == -1) continue;
    const Text entry = findText(line, ";") != -1
                           ? textBetween(line, "Set-Cookie:", ";")
                           : replaceText(line, "Set-Cookie:", "", {}, {}, false);
    out += trimText(entry) + "; ";
  }
  return textLeft(out, textLength(out) - 2);
}

std::optional<std::chrono::seconds> retryAfter(const FetchResponse& response) {
  for (const Text& line : splitText(response.returnedHeaders, "\r\n")) {
    if (!startsWithIgnoringCase(line, "retry-after:")) continue;
    const Text value = trimText(line.substr(12));
    if (!value.empty() && value.find_first_not_of("0123456789") == Text::npos) {
      return std::chrono::seconds(toInteger(value));
    }
    const std::time_t when = curl_getdate(value.c_str(), nullptr);
    if (when == -1) return std::nullopt;
    return std::chrono::seconds(std::max<std::time_t>(0, when - std::time(nullptr)));
  }
  return std::nullopt;
}

FetchResponse fetch(const FetchRequest& request) {
  FetchResponse response;
  response.cookies = request.cookies;
  response.finalUrl = request.url;
  int method = (request.method >= 0 && request.method <= 2) ? request.method : 0;
  response.sentHeaders = completeHeaders(request.url, request.extraHeaders, request.cookies);
  if (method != 0) {
    response.postBytes =
        request.postBytes.empty() ? textToBytes(request.postText) : request.postBytes;
  }
  const Text agent = userAgentFor(request.extraHeaders);
  const bool useJar = !request.cookies.has_value();
  // The proxy is chosen once for the first URL, as "http=" + address (http requests only) or
  // as a bare address (all requests); each hop then checks that choice against its own scheme.
  const bool proxyHttpOnly = !isSecureUrl(request.url);

  CURL* h = threadHandle();
  if (!h) {
    response.error = utf8ToText("网络错误（无法初始化）");
    return response;
  }

  Text url = request.url;
  std::stop_token stop = request.stop;
  for (int hop = 0;; ++hop) {
    if (stop.stop_requested()) {
      response.error = utf8ToText("已取消");
      response.body.clear();
      return response;
    }
    const bool secure = isSecureUrl(url);
    Transfer t;
    t.maxBody = request.limits.maxBodyBytes;
    t.stop = &stop;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    curl_easy_reset(h);
    const std::string target = requestUrlFor(url);
    curl_easy_setopt(h, CURLOPT_URL, target.c_str());
    curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, request.limits.connectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, request.limits.stallSeconds);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(request.limits.maxBodyBytes));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!request.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, request.caFile.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);

    // An empty proxy switches curl's environment proxies off; so does an empty no-proxy list.
    const bool viaProxy = !request.proxy.empty() && (!proxyHttpOnly || !secure);
    curl_easy_setopt(h, CURLOPT_PROXY, viaProxy ? request.proxy.c_str() : "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "");

    HeaderList connectTo;
    for (const std::string& entry : request.connectTo) connectTo.add(entry);
    curl_easy_setopt(h, CURLOPT_CONNECT_TO, connectTo.get());

    HeaderList headers;
    for (const Text& line : splitText(response.sentHeaders, "\r\n")) {
      if (!line.empty()) headers.add(line);
    }
    if (useJar) {
      const std::string jarCookies =
          processCookieJar().cookieHeader(hostOfUrl(url), pathOfUrl(url), secure);
      if (!jarCookies.empty()) headers.add("Cookie: " + jarCookies);
    }
    // Nothing beyond the block but Host, Connection and Accept-Encoding may go out.
    for (const Text name : {"Expect", "Pragma"}) {
      if (findText(response.sentHeaders, name, {}, true) == -1) headers.add(name + ":");
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

    if (method == 1) {
      curl_easy_setopt(h, CURLOPT_POST, 1L);
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(response.postBytes.size()));
      curl_easy_setopt(h, CURLOPT_POSTFIELDS, response.postBytes.data());
    } else if (method == 2) {
      curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else {
      curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }

    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    response.finalUrl = url;
    const char* contentType = nullptr;
    curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType);
    response.contentType = contentType ? contentType : "";
    response.returnedHeaders =
        replaceText(bytesToText(t.headers), "Set-Cookie", "Set-Cookie", {}, {}, false);
    if (useJar) storeInJar(t.headers, url);

    if (code != CURLE_OK) {
      // A cut-off body is never handed on as if it were the page.
      response.error = describeError(code, t, errorBuffer);
      response.body.clear();
      return response;
    }
    response.body = std::move(t.body);

    const char* location = nullptr;
    curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location);
    if (request.forbidRedirect || !isRedirect(status) || !location || !*location) break;
    const std::string next = location;
    if (!startsWithIgnoringCase(next, "http://") && !startsWithIgnoringCase(next, "https://")) {
      response.error = utf8ToText("无效的网址（重定向到不支持的协议：" + next + "）");
      response.body.clear();
      return response;
    }
    if (hop + 1 > request.limits.maxRedirects) {
      response.error = utf8ToText("重定向次数过多");
      response.body.clear();
      return response;
    }
    // As browsers do: 303 always, and 301/302 after a POST, continue as GET without a body.
    if (method == 1 && (status == 301 || status == 302 || status == 303)) method = 0;
    url = next;
  }

  response.returnedCookies = cookiesFromHeaders(response.returnedHeaders);
  if (response.cookies && request.mergeReturnedCookies) {
    response.returnedCookies = mergeCookies(*response.cookies, response.returnedCookies);
  }
  return response;
}

Bytes fetchUrl(const Text& url, int method, const Text& postText, Text* cookies,
               Text* returnedCookies, Text* extraHeaders, Text* returnedHeaders,
               bool forbidRedirect, Bytes* postBytes, const Text& proxy,
               bool mergeReturnedCookies) {
  FetchRequest request;
  request.url = url;
  request.method = method;
  request.postText = postText;
  if (cookies) request.cookies = *cookies;
  if (extraHeaders) request.extraHeaders = *extraHeaders;
  request.forbidRedirect = forbidRedirect;
  if (postBytes) request.postBytes = *postBytes;
  request.proxy = proxy;
  request.mergeReturnedCookies = mergeReturnedCookies;
  FetchResponse response = fetch(request);
  if (cookies && response.cookies) *cookies = *response.cookies;
  if (returnedCookies) *returnedCookies = response.returnedCookies;
  if (extraHeaders) *extraHeaders = response.sentHeaders;
  if (returnedHeaders) *returnedHeaders = response.returnedHeaders;
  if (postBytes && (method == 1 || method == 2)) *postBytes = response.postBytes;
  return response.body;
}

}  // namespace ravelkin
