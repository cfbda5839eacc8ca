// A small novel web site on 127.0.0.1 for end-to-end tests: a catalogue and numbered chapter
// pages in GBK or UTF-8, with hooks to slow pages down, fail them or count what is in flight.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/http_server.h"
#include "support/literals.h"

namespace ravelkin::test {

class NovelSite {
 public:
  enum class Charset { Gbk, Utf8 };

  // A hook may answer a chapter request itself (return true) instead of the normal page.
  using Hook = std::function<bool(int chapter, int attempt, httplib::Response&)>;

  NovelSite(int chapters, Charset charset = Charset::Gbk) : chapters_(chapters), charset_(charset) {
    auto& routes = server_.routes();
    routes.Get("/book/index.html", [this](const httplib::Request&, httplib::Response& res) {
      std::string html = head(charset_) + "<ul>\r\n";
      for (int i = 1; i <= chapters_; ++i) {
        html += "<li><a href=\"/c/" + std::to_string(i) + ".html\">" + title(i) + "</a></li>\r\n";
      }
      html += "</ul></body></html>";
      res.set_content(encode(html, charset_), "text/html");
    });
    routes.Get(R"(/c/(\d+)\.html)", [this](const httplib::Request& req, httplib::Response& res) {
      const int chapter = std::stoi(req.matches[1].str());
      int attempt;
      {
        std::lock_guard lock(mutex_);
        attempt = ++requests_[chapter];
        arrivals_.push_back(std::chrono::steady_clock::now());
      }
      const int now = ++inFlight_;
      for (int seen = maxInFlight_; now > seen && !maxInFlight_.compare_exchange_weak(seen, now);) {
      }
      if (delay.count() > 0) std::this_thread::sleep_for(delay);
      if (!(hook && hook(chapter, attempt, res))) {
        res.set_content(chapterPage(chapter, charset_), "text/html");
      }
      --inFlight_;
    });
    routes.Get("/moved/(\\d+)", [](const httplib::Request& req, httplib::Response& res) {
      res.set_redirect("/c/" + req.matches[1].str() + ".html");
    });
    server_.start();
  }

  std::string catalogueUrl() const { return server_.url("/book/index.html"); }
  std::string prefix() const { return server_.url(""); }
  static std::string pattern() { return R"re(<a href="(/c/\d+\.html)">([^<]+)</a>)re"; }
  static std::string startMarker() { return "<div id=\"content\">"; }
  static std::string endMarker() { return "</div>"; }

  // Titles and bodies in UTF-8.
  static std::string title(int i) { return "第" + std::to_string(i) + "章 山行"; }
  static std::string cleanBody(int i) {
    return "第" + std::to_string(i) + "章的正文。\r\n第二段：远上寒山石径斜";
  }
  static std::string bodyHtml(int i) {
    return "<p>第" + std::to_string(i) +
           "章的正文。</p>\r\n<p>第二段：&nbsp;远上<b>寒山</b>石径斜</p>";
  }

  // The chapter file a worker writes for chapter i, in the system's text.
  static Text chapterRecord(int i) { return gbk(title(i)) + "\r\n" + gbk(cleanBody(i)) + "\r\n"; }

  // What one run over chapters 1..n writes into the book; chapter `skip` failed and was merged
  // anyway, as its title alone.
  static Text bookFor(int n, int skip = 0) {
    Text book;
    for (int i = 1; i <= n; ++i) {
      book += (i == skip ? gbk(title(i)) + "\r\n\r\n" : chapterRecord(i)) + "\r\n";
    }
    return book;
  }

  int requests(int chapter) {
    std::lock_guard lock(mutex_);
    return requests_[chapter];
  }
  int maxInFlight() const { return maxInFlight_; }
  std::vector<std::chrono::steady_clock::time_point> arrivals() {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }

  std::chrono::milliseconds delay{0};
  Hook hook;

  // A chapter page as the site serves it, in its charset's bytes.
  static std::string chapterPage(int i, Charset charset) {
    return encode(head(charset) +
                      "<div class=\"nav\"><a href=\"/book/index.html\">目录</a></div>\r\n<h1>" +
                      title(i) + "</h1><div id=\"content\">" + bodyHtml(i) +
                      "<script>ad(\"<b>\");</script></div>\r\n<div>footer</div></body></html>",
                  charset);
  }

 private:
  static std::string head(Charset charset) {
    return std::string("<html><head><meta charset=\"") +
           (charset == Charset::Gbk ? "gbk" : "utf-8") + "\"></head><body>\r\n";
  }
  static std::string encode(const std::string& utf8, Charset charset) {
    return charset == Charset::Gbk ? gbk(utf8) : utf8;
  }

  int chapters_;
  Charset charset_;
  HttpServer server_;
  std::mutex mutex_;
  std::map<int, int> requests_;
  std::vector<std::chrono::steady_clock::time_point> arrivals_;
  std::atomic<int> inFlight_{0};
  std::atomic<int> maxInFlight_{0};
};

}  // namespace ravelkin::test
