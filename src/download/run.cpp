#include "download/run.h"

#include <algorithm>
#include <deque>
#include <system_error>

#include "files/files.h"
#include "net/charset.h"
#include "net/fetch.h"
#include "text/cleanup.h"
#include "text/codepage.h"

namespace ravelkin {

// Converted once: the statuses are written and compared for every chapter.
Text statusExisting() {
  static const Text status = utf8ToText("存在");
  return status;
}
Text statusDone() {
  static const Text status = utf8ToText("完成");
  return status;
}
Text statusFailed() {
  static const Text status = utf8ToText("失败");
  return status;
}

struct Downloader::Run {
  RunSettings settings;
  BookPaths paths;
  ChapterList& list;
  ProgressBar& progress;
  MessageBox& messages;
  std::function<void(const RunResult&)> finished;
  RunResult result;  // failures and counts are written under the list lock
};

namespace {

struct Attempt {
  std::optional<Text> chapterBody;  // the cleaned body, when the page was right
  Text reason;                      // why not
  std::optional<std::chrono::milliseconds> retryAfter;
};

// One fetch of a chapter page and the cut of its body. A transport error, an HTTP error status,
// an empty page or a missing marker (a block page, an error page) is a failure, never a chapter.
Attempt tryChapter(const Text& url, const RunSettings& settings, const FetchLimits& limits,
                   std::stop_token stop) {
  Attempt attempt;
  const FetchResponse response = fetch({.url = url, .stop = stop, .limits = limits});
  if (!response.ok()) {
    attempt.reason = response.error;
  } else if (response.status >= 400) {
    attempt.reason = "HTTP " + numberToText(response.status);
    if (response.status == 429 || response.status == 503) {
      if (const auto after = retryAfter(response)) attempt.retryAfter = *after;
    }
  } else if (response.body.empty()) {
    attempt.reason = utf8ToText("服务器返回了空白页面");
  } else {
    const Text page = decodePage(response.body, response.contentType);
    const std::optional<Text> raw = findBetween(page, settings.startMarker, settings.endMarker);
    if (raw) {
      attempt.chapterBody = stripHtml(*raw);
    } else {
      attempt.reason = utf8ToText("页面中找不到正文的开始标记或结束标记");
    }
  }
  return attempt;
}

// Up to `limit` long-lived worker threads that take rows as the driver hands them out. Keeping
// the threads, rather than starting one per chapter, keeps what each thread caches alive from one
// chapter to the next: its HTTP connection, its compiled patterns, its converters.
class WorkerPool {
 public:
  WorkerPool(size_t limit, std::function<void(int)> work) : limit_(limit), work_(std::move(work)) {}
  ~WorkerPool() { close(); }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Hands the row to an idle worker, starting one when none is idle; false when no thread could
  // be started to run it.
  bool submit(int row) {
    std::unique_lock lock(mutex_);
    rows_.push_back(row);
    if (idle_ < rows_.size() && threads_.size() < limit_) {
      try {
        threads_.emplace_back([this] { serve(); });
      } catch (const std::system_error&) {
        if (threads_.empty()) {
          rows_.pop_back();
          return false;
        }
      }
    }
    lock.unlock();
    wake_.notify_one();
    return true;
  }

  // Lets the workers finish what they were given, then ends them.
  void close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

 private:
  void serve() {
    for (;;) {
      std::unique_lock lock(mutex_);
      ++idle_;
      wake_.wait(lock, [&] { return !rows_.empty() || closed_; });
      --idle_;
      if (rows_.empty()) return;
      const int row = rows_.front();
      rows_.pop_front();
      lock.unlock();
      work_(row);
    }
  }

  const size_t limit_;
  const std::function<void(int)> work_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<int> rows_;
  size_t idle_ = 0;
  bool closed_ = false;
  std::vector<std::thread> threads_;
};

Text failureMessage(size_t failed) {
  return utf8ToText("有 ") + numberToText(failed) +
         utf8ToText(" 章下载失败，书籍尚未合并。再次点击“开始下载”将只重新下载失败的章节。");
}

}  // namespace

Downloader::Downloader(Pacing pacing) : pacing_(pacing) {}

Downloader::~Downloader() {
  cancel();
  wait();
}

Text Downloader::startDownload(const RunSettings& settings, ChapterList& list,
                               ProgressBar& progress, MessageBox& messages,
                               std::function<void(const RunResult&)> finished) {
  std::lock_guard lock(runMutex_);
  if (running_) return utf8ToText("正在下载中，请等本次下载结束后再开始。");
  if (settings.novelName.empty()) return utf8ToText("请输入小说名称！");
  Text why;
  if (!isDirectory(settings.outputRoot) && !ensureDirectoryPath(settings.outputRoot, &why)) {
    return utf8ToText("无法创建输出文件夹：") + settings.outputRoot + utf8ToText("：") + why;
  }
  {
    std::lock_guard join(joinMutex_);
    if (driver_.joinable()) driver_.join();  // the previous run has ended; collect its thread
  }
  // A root that exists but takes no writes (read-only, no permission) fails here, once, with
  // its reason, rather than as every chapter failing one by one.
  const BookPaths paths{settings.outputRoot, safeNovelName(settings.novelName)};
  if (list.rowCount() > 0 && !isDirectory(paths.folder()) &&
      !ensureDirectoryPath(paths.folder(), &why)) {
    return utf8ToText("无法创建输出文件夹：") + paths.folder() + utf8ToText("：") + why;
  }
  run_ = std::make_unique<Run>(
      Run{settings, paths, list, progress, messages, std::move(finished), {}});
  running_ = true;
  std::lock_guard join(joinMutex_);
  driver_ =
      std::jthread([this, run = run_.get()](std::stop_token stop) { downloadDriver(stop, *run); });
  stopSource_ = driver_.get_stop_source();
  return {};
}

void Downloader::cancel() {
  std::stop_source source;
  {
    std::lock_guard lock(runMutex_);
    source = stopSource_;
  }
  source.request_stop();
}

RunResult Downloader::wait() {
  std::lock_guard join(joinMutex_);
  if (driver_.joinable()) driver_.join();
  return run_ ? run_->result : RunResult();
}

void Downloader::waitForWorkers(std::stop_token stop, int below) {
  std::unique_lock lock(countMutex_);
  // Woken by every worker that ends; the re-check period bounds the wait all the same.
  while (activeDownloads_ >= below && !stop.stop_requested()) {
    countChanged_.wait_for(lock, stop, pacing_.recheck, [&] { return activeDownloads_ < below; });
  }
}

void Downloader::downloadDriver(std::stop_token stop, Run& run) {
  RunResult& result = run.result;
  finishAssembly(run.paths);  // before the chapter files on disk are counted
  const int n = run.list.rowCount();
  result.rows = n;
  run.progress.setMaximum(n);
  WorkerPool workers(static_cast<size_t>(std::max(pacing_.workerLimit, 1)),
                     [this, stop, &run](int row) { chapterWorker(stop, run, row); });
  std::vector<int> notStarted;
  for (int i = 1; i <= n && !stop.stop_requested(); ++i) {
    const int row = i - 1;
    if (fileExists(run.paths.chapterFile(row))) {
      run.list.setCellText(row, kStatusColumn, statusExisting());
      ++result.existing;
    } else {
      // Counted before the worker can end, so the count is never seen below zero.
      ++activeDownloads_;
      if (!workers.submit(row)) {
        --activeDownloads_;
        notStarted.push_back(row);  // not counted; the row keeps its status
      }
      waitForWorkers(stop, pacing_.workerLimit);
      pumpingDelay(pacing_.startPause, stop);
    }
    run.progress.setPosition(i);
  }
  waitForWorkers(std::stop_token(), 1);  // workers end soon after a stop as well
  workers.close();

  for (const int row : notStarted) {
    result.failures.push_back(
        {row, run.list.cellText(row, kTitleColumn), utf8ToText("无法启动下载线程")});
  }
  std::sort(result.failures.begin(), result.failures.end(),
            [](const ChapterFailure& a, const ChapterFailure& b) { return a.row < b.row; });

  if (stop.stop_requested()) {
    result.outcome = RunResult::Outcome::Cancelled;
  } else {
    bool assemble = result.failures.empty();
    if (!assemble) {
      result.outcome = RunResult::Outcome::ChaptersFailed;
      result.message = failureMessage(result.failures.size());
      if (run.messages.askMergeAnyway(result.message)) {
        // Merging anyway puts each failed chapter in as an empty chapter: its title line alone.
        assemble = true;
        for (const ChapterFailure& f : result.failures) {
          Text why;
          if (!fileExists(run.paths.chapterFile(f.row)) &&
              !appendChapterFile(run.paths, f.row, f.title + "\r\n", &why)) {
            assemble = false;
            result.outcome = RunResult::Outcome::AssemblyFailed;
            result.message = utf8ToText("书籍合并失败：") + why;
            run.messages.showMessage(result.message);
            break;
          }
        }
      }
    }
    if (assemble) {
      const AssemblyResult assembly = assembleBook(run.paths, n);
      if (assembly.error.empty()) {
        result.outcome = RunResult::Outcome::Assembled;
        result.message = utf8ToText("采集完毕！");
        if (n > 0) {
          result.bookPath = run.paths.bookFile();
          result.message += "\n" + result.bookPath;
        }
      } else {
        result.outcome = RunResult::Outcome::AssemblyFailed;
        result.message = assembly.error;
      }
      run.messages.showMessage(result.message);
    }
  }
  running_ = false;
  if (run.finished) run.finished(result);
}

void Downloader::chapterWorker(std::stop_token stop, Run& run, int row) {
  Text title;
  Text url;
  {
    std::lock_guard lock(listLock_);
    title = run.list.cellText(row, kTitleColumn);
    url = run.list.cellText(row, kUrlColumn);
  }

  Attempt attempt;
  for (int n = 1; n <= pacing_.attempts && !stop.stop_requested(); ++n) {
    attempt = tryChapter(url, run.settings, pacing_.fetchLimits, stop);
    if (attempt.chapterBody || n == pacing_.attempts) break;
    std::chrono::milliseconds pause = n == 1 ? pacing_.firstRetry : pacing_.secondRetry;
    if (attempt.retryAfter) pause = std::min(*attempt.retryAfter, pacing_.longestRetryAfter);
    if (!pumpingDelay(pause, stop)) break;
  }

  if (!stop.stop_requested()) {
    std::lock_guard lock(listLock_);
    Text why;
    if (attempt.chapterBody &&
        !appendChapterFile(run.paths, row, title + "\r\n" + *attempt.chapterBody, &why)) {
      attempt.chapterBody.reset();
      attempt.reason = utf8ToText("无法写入章节文件：") + why;
    }
    if (attempt.chapterBody) {
      ++run.result.downloaded;
      run.list.setCellText(row, kStatusColumn, statusDone());
    } else {
      run.result.failures.push_back({row, title, attempt.reason});
      run.list.setCellText(row, kStatusColumn, statusFailed());
      run.list.noteFailure(row, attempt.reason);
    }
    run.list.makeVisible(row);
  }
  {
    std::lock_guard lock(countMutex_);
    --activeDownloads_;
  }
  countChanged_.notify_all();
}

}  // namespace ravelkin
