#include "download/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "catalogue/catalogue.h"
#include "support/literals.h"
#include "support/novel_site.h"
#include "support/temp_dir.h"

namespace ravelkin {
namespace {

using test::gbk;
using test::NovelSite;
using test::readFile;
using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Retries that do not keep the tests waiting; everything else as the window and the CLI run.
Pacing quickRetries() {
  Pacing p;
  p.firstRetry = 10ms;
  p.secondRetry = 10ms;
  return p;
}

class RecordingProgress : public ProgressBar {
 public:
  void setMaximum(int m) override { maximum = m; }
  void setPosition(int p) override { position = p; }
  std::atomic<int> maximum{-1}, position{-1};
};

class ScriptedMessages : public MessageBox {
 public:
  explicit ScriptedMessages(bool merge = false) : merge_(merge) {}
  void showMessage(const Text& text) override {
    std::lock_guard lock(mutex_);
    shown.push_back(text);
  }
  bool askMergeAnyway(const Text& text) override {
    std::lock_guard lock(mutex_);
    asked.push_back(text);
    return merge_;
  }
  std::vector<Text> shown, asked;

 private:
  bool merge_;
  std::mutex mutex_;
};

class Run : public ::testing::Test {
 protected:
  // The chapter list a refresh of the site gives.
  MemoryChapterList listFor(const NovelSite& site) {
    const CatalogueResult c =
        refreshChapters(site.catalogueUrl(), NovelSite::pattern(), site.prefix());
    std::vector<MemoryChapterList::Row> rows;
    for (const ChapterRow& r : c.rows) rows.push_back({r.status, r.title, r.url});
    return MemoryChapterList(rows);
  }
  RunSettings settings(const std::string& name = "书") const {
    return {NovelSite::startMarker(), NovelSite::endMarker(), gbk(name), dir_.path() + "/out/"};
  }
  std::string folder() const { return dir_ / "out/书"; }
  std::string book() const { return folder() + "/书.txt"; }

  RunResult runOnce(Downloader& d, MemoryChapterList& list, ScriptedMessages& messages,
                    const RunSettings& s) {
    RecordingProgress progress;
    const Text refused = d.startDownload(s, list, progress, messages);
    EXPECT_TRUE(refused.empty()) << refused;
    RunResult r = d.wait();
    EXPECT_EQ(progress.maximum, list.rowCount());
    if (r.outcome != RunResult::Outcome::Cancelled && list.rowCount() > 0) {
      EXPECT_EQ(progress.position, list.rowCount());
    }
    return r;
  }
  RunResult runOnce(MemoryChapterList& list, Pacing pacing = quickRetries()) {
    Downloader d(pacing);
    ScriptedMessages messages;
    return runOnce(d, list, messages, settings());
  }

  TempDir dir_;
};

TEST_F(Run, GbkAndUtf8SitesGiveTheExactBook) {
  for (const auto charset : {NovelSite::Charset::Gbk, NovelSite::Charset::Utf8}) {
    fs::remove_all(dir_ / "out");
    NovelSite site(4, charset);
    MemoryChapterList list = listFor(site);
    Downloader d;
    ScriptedMessages messages;
    const RunResult r = runOnce(d, list, messages, settings());
    EXPECT_EQ(r.outcome, RunResult::Outcome::Assembled);
    EXPECT_EQ(r.downloaded, 4);
    EXPECT_EQ(readFile(book()), NovelSite::bookFor(4));
    EXPECT_EQ(r.bookPath, gbk(book()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], gbk("采集完毕！") + "\n" + gbk(book()));
    for (const auto& row : list.rows()) EXPECT_EQ(row[0], gbk("完成"));
    // Only the book is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 1);
  }
}

TEST_F(Run, ChaptersOnDiskAreSkippedAndMerged) {
  NovelSite site(3);
  MemoryChapterList list = listFor(site);
  fs::create_directories(folder());
  writeFile(folder() + "/1.txt", "kept\r\n");
  const RunResult r = runOnce(list);
  EXPECT_EQ(r.existing, 1);
  EXPECT_EQ(site.requests(2), 0);
  EXPECT_EQ(list.rows()[1][0], gbk("存在"));
  const Text full = NovelSite::bookFor(3);
  const Text row0 = NovelSite::bookFor(1);
  EXPECT_EQ(readFile(book()), row0 + "kept\r\n\r\n" + full.substr(NovelSite::bookFor(2).size()));
}

TEST_F(Run, AtMostTenWorkersStartedAtAPace) {
  NovelSite site(25);
  site.delay = 1500ms;  // long enough for the limit, not the pause, to bound the workers
  MemoryChapterList list = listFor(site);
  const RunResult r = runOnce(list);
  EXPECT_EQ(r.outcome, RunResult::Outcome::Assembled);
  EXPECT_EQ(site.maxInFlight(), 10);
  std::vector<std::chrono::steady_clock::time_point> at = site.arrivals();
  std::sort(at.begin(), at.end());
  ASSERT_EQ(at.size(), 25u);
  for (size_t i = 1; i < at.size(); ++i) {
    // Starts are 100 ms apart; thread start-up jitter may eat a little of that at the server.
    EXPECT_GE(at[i] - at[i - 1], 75ms) << "request " << i;
  }
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(25));
}

TEST_F(Run, TransientFailureRetriedIntoSuccess) {
  NovelSite site(3);
  site.hook = [](int chapter, int attempt, httplib::Response& res) {
    if (chapter != 2 || attempt > 1) return false;
    res.status = 503;
    res.set_header("Retry-After", "1");
    return true;
  };
  MemoryChapterList list = listFor(site);
  const RunResult r = runOnce(list, Pacing{});
  EXPECT_EQ(r.outcome, RunResult::Outcome::Assembled);
  EXPECT_EQ(site.requests(2), 2);
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(3));
}

TEST_F(Run, FailedChaptersAreNotPassedOffAsDone) {
  struct Case {
    const char* what;
    NovelSite::Hook hook;
  } cases[] = {
      {"404",
       [](int, int, httplib::Response& res) {
         res.status = 404;
         res.set_content("<div id=\"content\">not found</div>", "text/html");
         return true;
       }},
      {"block page",
       [](int, int, httplib::Response& res) {
         res.set_content("<html>please verify you are human</html>", "text/html");
         return true;
       }},
      {"empty page",
       [](int, int, httplib::Response& res) {
         res.set_content("", "text/html");
         return true;
       }},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_ / "out");
    NovelSite site(3);
    site.hook = [&](int chapter, int attempt, httplib::Response& res) {
      return chapter == 2 && c.hook(chapter, attempt, res);
    };
    MemoryChapterList list = listFor(site);
    Downloader d(quickRetries());
    ScriptedMessages messages;
    RunResult r = runOnce(d, list, messages, settings());
    EXPECT_EQ(r.outcome, RunResult::Outcome::ChaptersFailed) << c.what;
    EXPECT_EQ(site.requests(2), 3) << c.what;
    ASSERT_EQ(r.failures.size(), 1u) << c.what;
    EXPECT_EQ(r.failures[0].row, 1);
    EXPECT_FALSE(r.failures[0].reason.empty());
    EXPECT_EQ(list.rows()[1][0], gbk("失败"));
    EXPECT_FALSE(fs::exists(book())) << c.what;
    EXPECT_FALSE(fs::exists(folder() + "/1.txt"));
    EXPECT_TRUE(fs::exists(folder() + "/0.txt"));
    ASSERT_EQ(messages.asked.size(), 1u);
    EXPECT_EQ(messages.asked[0],
              gbk("有 1 章下载失败，书籍尚未合并。再次点击“开始下载”将只重新下载失败的章节。"));

    // The next run fetches only the failed chapter, and the book is whole.
    site.hook = nullptr;
    r = runOnce(d, list, messages, settings());
    EXPECT_EQ(r.outcome, RunResult::Outcome::Assembled);
    EXPECT_EQ(r.existing, 2);
    EXPECT_EQ(site.requests(1), 1);
    EXPECT_EQ(readFile(book()), NovelSite::bookFor(3)) << c.what;
  }
}

TEST_F(Run, MergingAnywayKeepsTheFailedTitle) {
  NovelSite site(3);
  site.hook = [](int chapter, int, httplib::Response& res) {
    if (chapter != 2) return false;
    res.status = 404;
    return true;
  };
  MemoryChapterList list = listFor(site);
  Downloader d(quickRetries());
  ScriptedMessages messages(true);
  const RunResult r = runOnce(d, list, messages, settings());
  EXPECT_EQ(r.outcome, RunResult::Outcome::Assembled);
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(3, 2));
}

TEST_F(Run, RedirectedChapterFollowed) {
  NovelSite site(2);
  MemoryChapterList list = listFor(site);
  list.setCellText(1, kUrlColumn, site.prefix() + "/moved/2");
  EXPECT_EQ(runOnce(list).outcome, RunResult::Outcome::Assembled);
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(2));
}

TEST_F(Run, CancelledRunResumesIntoTheSameBook) {
  NovelSite site(12);
  site.delay = 150ms;
  MemoryChapterList list = listFor(site);
  Downloader d;
  ScriptedMessages messages;
  RecordingProgress progress;
  ASSERT_TRUE(d.startDownload(settings(), list, progress, messages).empty());
  while (!fs::exists(folder() + "/2.txt")) std::this_thread::sleep_for(5ms);
  d.cancel();
  RunResult r = d.wait();
  EXPECT_EQ(r.outcome, RunResult::Outcome::Cancelled);
  EXPECT_FALSE(fs::exists(book()));
  EXPECT_TRUE(messages.shown.empty());
  for (const auto& entry : fs::directory_iterator(folder())) {
    EXPECT_NE(entry.path().extension(), ".part");  // no half-written chapter
  }

  r = runOnce(d, list, messages, settings());
  EXPECT_EQ(r.outcome, RunResult::Outcome::Assembled);
  EXPECT_GE(r.existing, 3);
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(12));
}

TEST_F(Run, SecondRunAppendsTheBookAgain) {
  NovelSite site(2);
  MemoryChapterList list = listFor(site);
  runOnce(list);
  runOnce(list);
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(2) + NovelSite::bookFor(2));
}

TEST_F(Run, HostileNovelNameStaysInsideTheOutputRoot) {
  NovelSite site(1);
  MemoryChapterList list = listFor(site);
  fs::create_directories(dir_ / "out");
  Downloader d;
  ScriptedMessages messages;
  const RunResult r = runOnce(d, list, messages, settings("../../.bashrc"));
  EXPECT_EQ(r.outcome, RunResult::Outcome::Assembled);
  EXPECT_EQ(r.bookPath, dir_.path() + "/out/.._.._.bashrc/.._.._.bashrc.txt");
  // Nothing but the output root was written beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
}

TEST_F(Run, RefusedStarts) {
  NovelSite site(1);
  site.delay = 300ms;
  MemoryChapterList list = listFor(site);
  Downloader d;
  ScriptedMessages messages;
  RecordingProgress progress;

  RunSettings noName = settings();
  noName.novelName.clear();
  EXPECT_EQ(d.startDownload(noName, list, progress, messages), gbk("请输入小说名称！"));

  writeFile(dir_ / "blocked", "a file, not a folder");
  RunSettings blocked = settings();
  blocked.outputRoot = dir_.path() + "/blocked/root/";
  const Text why = d.startDownload(blocked, list, progress, messages);
  EXPECT_EQ(why.rfind(gbk("无法创建输出文件夹：") + blocked.outputRoot, 0), 0u) << why;

  ASSERT_TRUE(d.startDownload(settings(), list, progress, messages).empty());
  EXPECT_FALSE(d.startDownload(settings(), list, progress, messages).empty());  // one at a time
  EXPECT_EQ(d.wait().outcome, RunResult::Outcome::Assembled);
}

TEST_F(Run, EmptyListEndsAtOnce) {
  MemoryChapterList list;
  Downloader d;
  ScriptedMessages messages;
  const RunResult r = runOnce(d, list, messages, settings());
  EXPECT_EQ(r.outcome, RunResult::Outcome::Assembled);
  EXPECT_EQ(messages.shown, std::vector<Text>{gbk("采集完毕！")});
  EXPECT_FALSE(fs::exists(folder()));
}

TEST(PumpingDelay, UnitsAndStop) {
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_TRUE(pumpingDelay(20));
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 20ms);
  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(pumpingDelay(2, 3, stop.get_token()));  // two hours, but stopped
}

}  // namespace
}  // namespace ravelkin
