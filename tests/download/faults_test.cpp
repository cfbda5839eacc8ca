// Runs against a server that misbehaves in every way a real one does: whatever happens, each
// chapter ends either right byte for byte or failed with a reason, never wrong and never empty.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <map>
#include <random>

#include "download/run.h"
#include "support/literals.h"
#include "support/novel_site.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"

namespace ravelkin {
namespace {

using test::gbk;
using test::NovelSite;
using test::RawServer;
using test::readFile;
using test::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

enum class Fault { None, Reset, Stall, ShortBody, TooManyRequests, ServerError };

// Serves NovelSite's chapter pages (GBK) at /c/N.html, failing requests as plan(N, attempt) says.
class FaultySite {
 public:
  explicit FaultySite(std::function<Fault(int chapter, int attempt)> plan)
      : plan_(std::move(plan)), server_([this](int fd) { serve(fd); }) {}
  std::string url(int chapter) const {
    return "http://127.0.0.1:" + std::to_string(server_.port()) + "/c/" + std::to_string(chapter) +
           ".html";
  }

 private:
  void serve(int fd) {
    const std::string request = test::readRequest(fd);
    const size_t at = request.find("/c/");
    if (at == std::string::npos) return;
    const int chapter = std::stoi(request.substr(at + 3));
    int attempt;
    {
      std::lock_guard lock(mutex_);
      attempt = ++attempts_[chapter];
    }
    const std::string page = NovelSite::chapterPage(chapter, NovelSite::Charset::Gbk);
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n";
    switch (plan_(chapter, attempt)) {
      case Fault::None:
        test::sendAll(fd,
                      head + "Content-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page);
        break;
      case Fault::Reset: {
        const linger hardClose{1, 0};  // close with a reset, not a clean end
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hardClose, sizeof hardClose);
        break;
      }
      case Fault::Stall: {
        test::sendAll(fd, head + "Content-Length: " + std::to_string(page.size()) + "\r\n\r\n" +
                              page.substr(0, page.size() / 2));
        char c;
        ::recv(fd, &c, 1, 0);  // until the client gives up
        break;
      }
      case Fault::ShortBody:
        test::sendAll(
            fd, head + "Content-Length: " + std::to_string(page.size() + 100) + "\r\n\r\n" + page);
        break;
      case Fault::TooManyRequests:
        test::sendAll(fd,
                      "HTTP/1.1 429 Too Many Requests\r\nRetry-After: 1\r\n"
                      "Content-Length: 0\r\nConnection: close\r\n\r\n");
        break;
      case Fault::ServerError:
        test::sendAll(fd,
                      "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        break;
    }
  }

  std::function<Fault(int, int)> plan_;
  std::mutex mutex_;
  std::map<int, int> attempts_;
  RawServer server_;
};

class NeverMerge : public MessageBox {
 public:
  void showMessage(const Text&) override {}
  bool askMergeAnyway(const Text&) override { return false; }
};

class NoProgress : public ProgressBar {
 public:
  void setMaximum(int) override {}
  void setPosition(int) override {}
};

TEST(Faults, EveryChapterRightOrFailedWithAReason) {
  std::mt19937 rng(2026);
  std::mutex rngMutex;
  FaultySite site([&](int chapter, int attempt) {
    switch (chapter % 6) {
      case 1:
        return attempt == 1 ? Fault::Reset : Fault::None;
      case 2:
        return attempt == 1 ? Fault::Stall : Fault::None;
      case 3:
        return attempt <= 2 ? Fault::ShortBody : Fault::None;
      case 4:
        return attempt == 1 ? Fault::TooManyRequests : Fault::None;
      case 5:
        return Fault::ServerError;  // never recovers
      default: {
        std::lock_guard lock(rngMutex);
        return std::uniform_int_distribution<int>(0, 9)(rng) < 3 ? Fault::ServerError : Fault::None;
      }
    }
  });
  const int chapters = 24;
  std::vector<MemoryChapterList::Row> rows;
  for (int i = 1; i <= chapters; ++i) {
    rows.push_back({numberToText(i), gbk(NovelSite::title(i)), site.url(i)});
  }
  MemoryChapterList list(rows);
  TempDir dir;
  Pacing pacing;
  pacing.firstRetry = 10ms;
  pacing.secondRetry = 10ms;
  pacing.fetchLimits.stallSeconds = 1;
  Downloader downloader(pacing);
  NoProgress progress;
  NeverMerge messages;
  ASSERT_TRUE(downloader
                  .startDownload(
                      {NovelSite::startMarker(), NovelSite::endMarker(), "book", dir.path() + "/"},
                      list, progress, messages)
                  .empty());
  const RunResult result = downloader.wait();
  EXPECT_EQ(result.outcome, RunResult::Outcome::ChaptersFailed);

  std::map<int, Text> reasons;
  for (const ChapterFailure& f : result.failures) reasons[f.row] = f.reason;
  for (int i = 1; i <= chapters; ++i) {
    const int row = i - 1;
    const std::string file = dir / ("book/" + std::to_string(row) + ".txt");
    const Text status = list.rows()[static_cast<size_t>(row)][0];
    if (status == statusDone()) {
      EXPECT_EQ(readFile(file), NovelSite::chapterRecord(i)) << "chapter " << i;
      EXPECT_EQ(reasons.count(row), 0u);
    } else {
      EXPECT_EQ(status, statusFailed()) << "chapter " << i;
      EXPECT_FALSE(fs::exists(file)) << "chapter " << i;
      EXPECT_FALSE(reasons[row].empty()) << "chapter " << i;
    }
    if (i % 6 >= 1 && i % 6 <= 4) {
      EXPECT_EQ(status, statusDone()) << "chapter " << i;
    } else if (i % 6 == 5) {
      EXPECT_EQ(status, statusFailed()) << "chapter " << i;
    }
  }
  for (const auto& entry : fs::directory_iterator(dir / "book")) {
    EXPECT_NE(entry.path().extension(), ".part");
  }
}

}  // namespace
}  // namespace ravelkin
