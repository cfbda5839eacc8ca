#include "net/fetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "net/cookies.h"
#include "support/http_server.h"
#include "support/raw_server.h"

namespace ravelkin {
namespace {

using test::HttpServer;
using test::RawServer;
using test::Recorder;
using test::TestCertificate;

std::string okResponse(const std::string& body, const std::string& headers = "") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers +
         "\r\n" + body;
}

std::string local(int port, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::vector<std::string> headLines(const std::string& request) {
  std::vector<std::string> lines;
  const std::string head = request.substr(0, request.find("\r\n\r\n"));
  for (size_t b = 0;;) {
    const size_t e = head.find("\r\n", b);
    lines.push_back(head.substr(b, e == std::string::npos ? e : e - b));
    if (e == std::string::npos) break;
    b = e + 2;
  }
  return lines;
}

// The request's header lines without those the HTTP stack may add on its own.
std::vector<std::string> blockLines(const std::string& request) {
  std::vector<std::string> out;
  const std::vector<std::string> lines = headLines(request);
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string name = lines[i].substr(0, lines[i].find(':'));
    if (name != "Host" && name != "Connection" && name != "Accept-Encoding")
      out.push_back(lines[i]);
  }
  return out;
}

std::string headerValue(const std::string& request, const std::string& name) {
  for (const std::string& line : headLines(request)) {
    if (line.rfind(name + ": ", 0) == 0) return line.substr(name.size() + 2);
  }
  return "<none>";
}

TEST(Fetch, SystemGetSendsTheExactRequest) {
  Recorder rec(okResponse("hello"));
  RawServer server(rec.handler());
  const std::string url = local(server.port(), "/Book/1.html?x=Y");
  const FetchResponse r = fetch({.url = url});
  EXPECT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.body, "hello");
  EXPECT_EQ(r.status, 200);
  ASSERT_EQ(rec.requests().size(), 1u);
  const std::string request = rec.requests()[0];
  EXPECT_EQ(headLines(request)[0], "GET /Book/1.html?x=Y HTTP/1.1");
  EXPECT_EQ(headerValue(request, "Host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(blockLines(request),
            (std::vector<std::string>{"User-Agent: " + std::string(kDefaultUserAgent),
                                      "Accept: */*", "Referer: " + url, "Accept-Language: zh-cn",
                                      "Content-Type: application/x-www-form-urlencoded"}));
  EXPECT_EQ(r.sentHeaders, "Accept: */*\r\nReferer: " + url +
                               "\r\nAccept-Language: zh-cn\r\nContent-Type: "
                               "application/x-www-form-urlencoded");
}

TEST(Fetch, OddUrlsConnectToTheirHostPortAndPath) {
  Recorder rec(okResponse("x"));
  RawServer server(rec.handler());
  const std::string to = ":127.0.0.1:" + std::to_string(server.port());
  struct Case {
    std::string url, connectTo, requestLine, host;
  } cases[] = {
      {"example.com/book/1.html", "example.com:80" + to, "GET /book/1.html HTTP/1.1",
       "example.com"},
      // "https" in the name means port 443, but without "https://" the request stays plain.
      {"httpsite.example/x", "httpsite.example:443" + to, "GET /x HTTP/1.1",
       "httpsite.example:443"},
      {"http://Example.com:8080", "example.com:8080" + to, "GET / HTTP/1.1", "example.com:8080"},
  };
  for (const Case& c : cases) {
    const FetchResponse r = fetch({.url = c.url, .connectTo = {c.connectTo}});
    EXPECT_TRUE(r.ok()) << c.url << ": " << r.error;
    const std::string request = rec.requests().back();
    EXPECT_EQ(headLines(request)[0], c.requestLine);
    EXPECT_EQ(headerValue(request, "Host"), c.host);
    EXPECT_EQ(headerValue(request, "Referer"), c.url);  // exactly as given
  }
}

TEST(Fetch, HttpsVerifiesTheCertificate) {
  TestCertificate cert;
  HttpServer server(cert);
  std::string seenPath;
  server.routes().Get(".*", [&](const httplib::Request& req, httplib::Response& res) {
    seenPath = req.path;
    res.set_content("secure", "text/plain");
  });
  server.start();
  const std::string to = "example.com:443:127.0.0.1:" + std::to_string(server.port());

  FetchResponse r =
      fetch({.url = "HTTPS://Example.COM/A/B", .caFile = cert.certFile, .connectTo = {to}});
  EXPECT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.body, "secure");
  EXPECT_EQ(seenPath, "/A/B");

  r = fetch({.url = server.url("/untrusted")});  // self-signed and not trusted
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.body.empty());
}

TEST(Fetch, MethodsAndBodies) {
  Recorder rec(okResponse("done"));
  RawServer server(rec.handler());
  const std::string url = local(server.port(), "/p");

  FetchResponse r = fetch({.url = url, .method = 1, .postText = "a=1&b=2"});
  std::string request = rec.requests().back();
  EXPECT_EQ(headLines(request)[0], "POST /p HTTP/1.1");
  EXPECT_EQ(headerValue(request, "Content-Length"), "7");
  EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), "a=1&b=2");
  EXPECT_EQ(r.postBytes, "a=1&b=2");  // filled from the text

  r = fetch({.url = url, .method = 1, .postText = "ignored", .postBytes = Bytes("x\0y", 3)});
  request = rec.requests().back();
  EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), Bytes("x\0y", 3));

  for (const int method : {7, -1}) {
    fetch({.url = url, .method = method, .postText = "nothing"});
    EXPECT_EQ(headLines(rec.requests().back())[0], "GET /p HTTP/1.1");
  }

  r = fetch({.url = url, .method = 2});
  EXPECT_EQ(headLines(rec.requests().back())[0], "HEAD /p HTTP/1.1");
  EXPECT_TRUE(r.body.empty());
  EXPECT_EQ(r.status, 200);
}

TEST(Fetch, UserAgentAndExtraHeaders) {
  Recorder rec(okResponse("ok"));
  RawServer server(rec.handler());
  const std::string url = local(server.port(), "/h");
  Text extra = "user-agent: Foo";
  Text returned;
  fetchUrl(url, 0, {}, nullptr, nullptr, &extra, &returned);
  const std::string request = rec.requests().back();
  EXPECT_EQ(headerValue(request, "user-agent"), "Foo");
  EXPECT_EQ(headerValue(request, "User-Agent"), "<none>");  // sent once, as the caller wrote it
  EXPECT_EQ(extra, "user-agent: Foo\r\nAccept: */*\r\nReferer: " + url +
                       "\r\nAccept-Language: zh-cn\r\nContent-Type: "
                       "application/x-www-form-urlencoded");
  EXPECT_EQ(returned.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

TEST(Fetch, ResponseCookiesAndSuppliedCookies) {
  processCookieJar().clear();
  Recorder rec(okResponse("c", "set-cookie: a=1; path=/\r\nSET-COOKIE: b=2\r\n"));
  RawServer server(rec.handler());
  const std::string url = local(server.port(), "/c");

  FetchResponse r = fetch({.url = url, .cookies = Text()});
  EXPECT_EQ(r.returnedCookies, "a=1; b=2");
  EXPECT_EQ(*r.cookies, "a=1; b=2");
  EXPECT_NE(r.returnedHeaders.find("Set-Cookie: a=1"), std::string::npos);
  EXPECT_NE(r.returnedHeaders.find("Set-Cookie: b=2"), std::string::npos);
  EXPECT_EQ(r.returnedHeaders.find("set-cookie"), std::string::npos);
  EXPECT_EQ(r.returnedHeaders.find("SET-COOKIE"), std::string::npos);
  EXPECT_EQ(headerValue(rec.requests().back(), "Cookie"), "<none>");

  r = fetch({.url = url, .cookies = Text("x=9; a=0")});
  EXPECT_EQ(headerValue(rec.requests().back(), "Cookie"), "x=9; a=0");
  EXPECT_EQ(*r.cookies, "a=1; b=2; x=9");

  r = fetch({.url = url, .cookies = Text("x=9"), .mergeReturnedCookies = false});
  EXPECT_EQ(r.returnedCookies, "a=1; b=2");
  EXPECT_EQ(*r.cookies, "x=9");

  // Requests that carried their own cookies left the process jar alone.
  fetch({.url = url});
  EXPECT_EQ(headerValue(rec.requests().back(), "Cookie"), "<none>");
}

TEST(Fetch, ProcessJarSendsBackWhatTheServerSet) {
  processCookieJar().clear();
  Recorder rec(okResponse("j", "Set-Cookie: sid=42; Path=/\r\n"));
  RawServer server(rec.handler());
  fetch({.url = local(server.port(), "/first")});
  EXPECT_EQ(headerValue(rec.requests().back(), "Cookie"), "<none>");
  fetch({.url = local(server.port(), "/second")});
  EXPECT_EQ(headerValue(rec.requests().back(), "Cookie"), "sid=42");
}

TEST(Fetch, Redirects) {
  HttpServer server;
  auto& routes = server.routes();
  routes.Get("/r1", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/r2");
    res.set_content("moved", "text/plain");
  });
  routes.Get("/r2", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("end", "text/plain");
  });
  routes.Get("/loop",
             [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
  routes.Get("/file", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("file:///etc/passwd");
  });
  routes.Post("/form", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/r2", 303);
  });
  server.start();

  FetchResponse r = fetch({.url = server.url("/r1")});
  EXPECT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.body, "end");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.finalUrl, server.url("/r2"));

  r = fetch({.url = server.url("/r1"), .forbidRedirect = true});
  EXPECT_EQ(r.status, 302);
  EXPECT_EQ(r.body, "moved");

  r = fetch({.url = server.url("/loop")});
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.body.empty());

  r = fetch({.url = server.url("/file")});
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.body.empty());

  r = fetch({.url = server.url("/form"), .method = 1, .postText = "a=1"});
  EXPECT_EQ(r.body, "end");  // continued as GET
}

// A forward proxy: answers plain requests itself (redirecting "/to-https" to `redirectTo`) and
// tunnels CONNECT requests to 127.0.0.1.
class Proxy {
 public:
  std::string redirectTo;
  RawServer::Handler handler() {
    return [this](int fd) {
      const std::string request = test::readRequest(fd);
      const std::string line = request.substr(0, request.find("\r\n"));
      {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
      }
      if (line.rfind("CONNECT ", 0) == 0) {
        const int port = std::stoi(line.substr(line.find(':') + 1));
        const int upstream = test::connectLocal(port);
        test::sendAll(fd, "HTTP/1.1 200 Connection established\r\n\r\n");
        test::pump(fd, upstream);
        ::close(upstream);
      } else if (line.find("/to-https") != std::string::npos) {
        test::sendAll(
            fd, "HTTP/1.1 302 Found\r\nLocation: " + redirectTo + "\r\nContent-Length: 0\r\n\r\n");
      } else {
        test::sendAll(fd, okResponse("via proxy"));
      }
    };
  }
  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

TEST(Fetch, ProxyRuleForHttpAndHttps) {
  TestCertificate cert;
  HttpServer origin(cert);
  origin.routes().Get("/x", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("origin", "text/plain");
  });
  origin.start();
  Proxy proxy;
  proxy.redirectTo = origin.url("/x");
  RawServer proxyServer(proxy.handler());
  const Text address = "127.0.0.1:" + std::to_string(proxyServer.port());

  // http: the proxy gets the absolute URL.
  FetchResponse r = fetch({.url = "http://127.0.0.1:9/page", .proxy = address});
  EXPECT_EQ(r.body, "via proxy");
  EXPECT_EQ(proxy.lines().back(), "GET http://127.0.0.1:9/page HTTP/1.1");

  // https: a bare address proxies everything, through a tunnel.
  r = fetch({.url = origin.url("/x"), .proxy = address, .caFile = cert.certFile});
  EXPECT_EQ(r.body, "origin") << r.error;
  EXPECT_EQ(proxy.lines().back(),
            "CONNECT 127.0.0.1:" + std::to_string(origin.port()) + " HTTP/1.1");

  // An http request's proxy serves http only: its redirect to https goes direct.
  const size_t before = proxy.lines().size();
  r = fetch({.url = "http://127.0.0.1:9/to-https", .proxy = address, .caFile = cert.certFile});
  EXPECT_EQ(r.body, "origin") << r.error;
  EXPECT_EQ(proxy.lines().size(), before + 1);
}

TEST(Fetch, TransportFailuresGiveAnEmptyBodyAndAReason) {
  int closedPort;
  {
    RawServer gone([](int) {});
    closedPort = gone.port();
  }
  FetchResponse r = fetch({.url = local(closedPort, "/")});
  EXPECT_TRUE(r.body.empty());
  EXPECT_FALSE(r.error.empty());
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(fetchUrl(local(closedPort, "/")).empty());

  // A body shorter than its Content-Length is no page.
  RawServer shortBody([](int fd) {
    test::readRequest(fd);
    test::sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly ten b");
  });
  r = fetch({.url = local(shortBody.port(), "/")});
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.body.empty());
}

TEST(Fetch, SizeLimitHoldsForChunkedBodies) {
  HttpServer server;
  server.routes().Get("/big", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      const std::string chunk(64 * 1024, 'z');
      if (offset < 4 * 1024 * 1024) {
        sink.write(chunk.data(), chunk.size());
      } else {
        sink.done();
      }
      return true;
    });
  });
  server.start();
  FetchRequest request{.url = server.url("/big")};
  request.limits.maxBodyBytes = 1024 * 1024;
  const FetchResponse r = fetch(request);
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.body.empty());
}

TEST(Fetch, StalledServerFails) {
  RawServer stalled([](int fd) {
    test::readRequest(fd);
    test::sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
    char c;
    ::recv(fd, &c, 1, 0);  // hold the connection until the client or the server gives up
  });
  FetchRequest request{.url = local(stalled.port(), "/")};
  request.limits.stallSeconds = 1;
  const FetchResponse r = fetch(request);
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.body.empty());
}

TEST(Fetch, CancelledFromAnotherThread) {
  RawServer silent([](int fd) {
    test::readRequest(fd);
    char c;
    ::recv(fd, &c, 1, 0);
  });
  std::stop_source stop;
  std::thread canceller([&] {
    while (silent.connections() == 0) std::this_thread::yield();
    stop.request_stop();
  });
  const FetchResponse r = fetch({.url = local(silent.port(), "/"), .stop = stop.get_token()});
  canceller.join();
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.body.empty());

  std::stop_source already;
  already.request_stop();
  EXPECT_FALSE(fetch({.url = local(silent.port(), "/"), .stop = already.get_token()}).ok());
}

TEST(Fetch, CompressedBodiesArriveDecoded) {
  const std::string gz(
      "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xcb\x48\xcd\xc9\xc9\xd7\x51\x48\xaf\xca\x2c\x00"
      "\x00\x4a\x9b\xb1\x5c\x0b\x00\x00\x00",
      31);
  Recorder rec(
      okResponse(gz, "Content-Encoding: gzip\r\nContent-Type: text/html; charset=gbk\r\n"));
  RawServer server(rec.handler());
  const FetchResponse r = fetch({.url = local(server.port(), "/")});
  EXPECT_EQ(r.body, "hello, gzip");
  EXPECT_EQ(r.contentType, "text/html; charset=gbk");
}

TEST(Fetch, ManyThreadsAtOnce) {
  HttpServer server;
  server.routes().Get(R"(/c/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content("chapter " + req.matches[1].str(), "text/plain");
  });
  server.start();
  std::atomic<int> right{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 10; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < 20; ++i) {
        const std::string n = std::to_string(w * 100 + i);
        if (fetch({.url = server.url("/c/" + n)}).body == "chapter " + n) ++right;
      }
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_EQ(right, 200);
}

}  // namespace
}  // namespace ravelkin
