// ravelkin-cli: the chapter list, the download and the rule export from a terminal or a script.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "catalogue/catalogue.h"
#include "cli/options.h"
#include "download/run.h"
#include "files/files.h"
#include "rules/rulefile.h"
#include "text/codepage.h"

namespace ravelkin::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitChaptersFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCatalogue = 3;
constexpr int kExitInterrupted = 130;

std::mutex terminalMutex;
bool progressShown = false;  // a live progress line stands on stderr; guarded by terminalMutex

// Writes a line to stderr, first clearing a live progress line.
void tell(const std::string& utf8) {
  std::lock_guard lock(terminalMutex);
  if (progressShown) std::fputs("\r\033[K", stderr);
  std::fprintf(stderr, "%s\n", utf8.c_str());
  progressShown = false;
}

std::string out(const Text& text) { return textToUtf8(text); }

// Stops the run (or the catalogue fetch) on Ctrl-C or SIGTERM. The signals are blocked in every
// thread and taken by this one, so the handler may do anything.
class InterruptWatcher {
 public:
  InterruptWatcher() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);  // used to wake the watcher when the program ends
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this] {
      int sig = 0;
      while (sigwait(&set_, &sig) == 0) {
        if (sig == SIGUSR1) return;
        interrupted_ = true;
        stop_.request_stop();
        std::lock_guard lock(mutex_);
        if (downloader_) downloader_->cancel();
      }
    });
  }
  ~InterruptWatcher() {
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
  }
  void watch(Downloader* d) {
    std::lock_guard lock(mutex_);
    downloader_ = d;
    if (d && interrupted_) d->cancel();
  }
  std::stop_token token() const { return stop_.get_token(); }
  bool interrupted() const { return interrupted_; }

 private:
  sigset_t set_;
  std::stop_source stop_;
  std::mutex mutex_;
  Downloader* downloader_ = nullptr;
  std::atomic<bool> interrupted_{false};
  std::thread thread_;
};

class CliList : public MemoryChapterList {
 public:
  using MemoryChapterList::MemoryChapterList;
  void setCellText(int row, int column, const Text& text) override {
    MemoryChapterList::setCellText(row, column, text);
    if (column != kStatusColumn) return;
    if (text == statusDone()) ++done;
    if (text == statusExisting()) ++existing;
    if (text == statusFailed()) ++failed;
  }
  void noteFailure(int row, const Text& reason) override {
    tell("第 " + std::to_string(row + 1) + " 章《" + out(cellText(row, kTitleColumn)) +
         "》下载失败：" + out(reason));
  }
  std::atomic<int> done{0}, existing{0}, failed{0};
};

class CliProgress : public ProgressBar {
 public:
  void setMaximum(int m) override { maximum = m; }
  void setPosition(int p) override { position = p; }
  std::atomic<int> maximum{0}, position{0};
};

class CliMessages : public MessageBox {
 public:
  explicit CliMessages(bool mergeAnyway) : mergeAnyway_(mergeAnyway) {}
  void showMessage(const Text& text) override { tell(out(text)); }
  bool askMergeAnyway(const Text& text) override {
    tell(out(text));
    if (mergeAnyway_) tell("--merge-anyway：仍然合并，失败的章节只保留标题。");
    return mergeAnyway_;
  }

 private:
  bool mergeAnyway_;
};

// Redraws "dispatched of N, done, existing, failed, speed, time left" on stderr while a run goes.
class ProgressLine {
 public:
  ProgressLine(const CliList& list, const CliProgress& progress)
      : list_(list), progress_(progress), began_(std::chrono::steady_clock::now()) {
    if (!isatty(STDERR_FILENO)) return;
    thread_ = std::jthread([this](std::stop_token stop) {
      while (!stop.stop_requested()) {
        draw();
        pumpingDelay(std::chrono::milliseconds(250), stop);
      }
    });
  }
  ~ProgressLine() {
    thread_ = {};
    std::lock_guard lock(terminalMutex);
    if (progressShown) std::fputs("\r\033[K", stderr);
    progressShown = false;
  }

 private:
  void draw() {
    const int n = progress_.maximum, done = list_.done, existing = list_.existing,
              failed = list_.failed;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    const int left = n - done - existing - failed;
    char line[256];
    std::snprintf(line, sizeof line, "已派发 %d/%d  完成 %d  存在 %d  失败 %d  %.1f 章/秒",
                  progress_.position.load(), n, done, existing, failed, rate);
    std::string text = line;
    if (rate > 0 && left > 0) {
      const int eta = static_cast<int>(left / rate);
      std::snprintf(line, sizeof line, "  剩余 %02d:%02d", eta / 60, eta % 60);
      text += line;
    }
    std::lock_guard lock(terminalMutex);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    progressShown = true;
  }

  const CliList& list_;
  const CliProgress& progress_;
  std::chrono::steady_clock::time_point began_;
  std::jthread thread_;
};

Text outputRootOf(const Options& o) {
  std::string root = o.outputRoot ? *o.outputRoot : std::string("自建规则TXT");
  if (root.empty() || root.back() != '/') root += '/';
  return utf8ToText(root);
}

// The chapter rows, or the exit status when there are none (the reason told on stderr).
std::variant<CatalogueResult, int> listChapters(const RuleSet& rules, InterruptWatcher& watcher) {
  CatalogueResult catalogue =
      refreshChapters(rules.catalogueUrl, rules.chapterPattern, rules.urlPrefix, watcher.token());
  if (watcher.interrupted()) return kExitInterrupted;
  if (!catalogue.error.empty()) {
    tell(out(catalogue.error));
    return kExitCatalogue;
  }
  return catalogue;
}

int runChapters(const RuleSet& rules, InterruptWatcher& watcher) {
  auto listed = listChapters(rules, watcher);
  if (const int* exitCode = std::get_if<int>(&listed)) return *exitCode;
  const CatalogueResult& catalogue = std::get<CatalogueResult>(listed);
  for (const ChapterRow& row : catalogue.rows) {
    std::printf("%s\t%s\t%s\n", out(row.status).c_str(), out(row.title).c_str(),
                out(row.url).c_str());
  }
  return kExitOk;
}

int runDownload(const Options& o, const RuleSet& rules, InterruptWatcher& watcher) {
  auto listed = listChapters(rules, watcher);
  if (const int* exitCode = std::get_if<int>(&listed)) return *exitCode;
  const CatalogueResult& catalogue = std::get<CatalogueResult>(listed);
  std::vector<MemoryChapterList::Row> rows;
  for (const ChapterRow& r : catalogue.rows) rows.push_back({r.status, r.title, r.url});
  CliList list(std::move(rows));
  CliProgress progress;
  CliMessages messages(o.mergeAnyway);
  Downloader downloader;
  const RunSettings settings{rules.startMarker, rules.endMarker, rules.novelName, outputRootOf(o)};
  const Text refused = downloader.startDownload(settings, list, progress, messages);
  if (!refused.empty()) {
    tell(out(refused));
    return kExitUsage;
  }
  watcher.watch(&downloader);
  RunResult result;
  {
    ProgressLine line(list, progress);
    result = downloader.wait();
  }
  watcher.watch(nullptr);
  switch (result.outcome) {
    case RunResult::Outcome::Assembled:
      if (!result.bookPath.empty()) std::printf("%s\n", out(result.bookPath).c_str());
      return kExitOk;
    case RunResult::Outcome::Cancelled:
      tell("已中断：已下载的章节保留在磁盘上，再次运行将从中断处继续。");
      return kExitInterrupted;
    case RunResult::Outcome::ChaptersFailed:
    case RunResult::Outcome::AssemblyFailed:
      break;
  }
  return kExitChaptersFailed;
}

int runExport(const Options& o, const RuleSet& rules) {
  const Text root = outputRootOf(o);
  Text why;
  if (!isDirectory(root) && !ensureDirectoryPath(root, &why)) {
    tell("导出失败：" + out(root) + "：" + out(why));
    return kExitChaptersFailed;
  }
  const Text path = BookPaths{root, safeNovelName(rules.novelName)}.ruleFile();
  if (!writeFileAtomically(path, encodeRuleFile(rules), &why)) {
    tell("导出失败：" + out(path) + "：" + out(why));
    return kExitChaptersFailed;
  }
  tell("导出成功！");
  std::printf("%s\n", out(path).c_str());
  return kExitOk;
}

int run(int argc, char** argv) {
  std::string error;
  const std::optional<Options> options =
      parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    tell(error);
    tell("用 ravelkin-cli --help 查看用法。");
    return kExitUsage;
  }
  if (options->command == Command::Help || options->help) {
    std::fputs(usage(options->command).c_str(), stdout);
    return kExitOk;
  }
  RuleSet fromFile;
  if (options->ruleFile) {
    const std::optional<RuleSet> parsed =
        decodeRuleFile(readWholeFile(utf8ToText(*options->ruleFile)));
    if (!parsed) {
      tell(*options->ruleFile + "：请用最新版本软件！");
      return kExitUsage;
    }
    fromFile = *parsed;
  }
  const RuleSet rules = applyRuleOptions(*options, fromFile);
  InterruptWatcher watcher;
  switch (options->command) {
    case Command::Chapters:
      return runChapters(rules, watcher);
    case Command::Download:
      return runDownload(*options, rules, watcher);
    case Command::Export:
      return runExport(*options, rules);
    case Command::Help:
      break;
  }
  return kExitOk;
}

}  // namespace
}  // namespace ravelkin::cli

int main(int argc, char** argv) { return ravelkin::cli::run(argc, argv); }
