// End-to-end figures of a download run against a local server that adds 50 ms to every
// response: wall time against the pacing bound, CPU time per chapter, peak memory, and the time
// to assemble 5,000 chapter files. Each run is a child process, so its CPU time and peak RSS are
// its own and not the server's.
#include <httplib.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "download/book.h"
#include "download/run.h"
#include "files/files.h"
#include "text/codepage.h"

extern char** environ;

namespace ravelkin {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLatencyMs = 50;

std::string input(const char* name) {
  std::ifstream in(std::string(RAVELKIN_BENCH_INPUTS) + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class Quiet : public MessageBox, public ProgressBar {
 public:
  void showMessage(const Text&) override {}
  bool askMergeAnyway(const Text&) override { return false; }
  void setMaximum(int) override {}
  void setPosition(int) override {}
};

// CPU seconds (user and system) of this process so far, all threads.
double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
         u.ru_stime.tv_usec / 1e6;
}

// Peak resident memory of this process image in KB. Read here rather than from wait4: a spawned
// child's ru_maxrss starts from the parent's, which holds the whole test server.
long peakKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// Child: downloads n chapters from the server at port with the given start pause; prints the
// wall time in seconds and whether the book came out whole.
int runClient(int port, int n, int pauseMs, const std::string& out) {
  std::vector<MemoryChapterList::Row> rows;
  for (int i = 0; i < n; ++i) {
    rows.push_back({numberToText(i + 1), "T" + numberToText(i),
                    "http://127.0.0.1:" + std::to_string(port) + "/c/" + std::to_string(i)});
  }
  MemoryChapterList list(std::move(rows));
  Pacing pacing;
  pacing.startPause = std::chrono::milliseconds(pauseMs);
  Downloader downloader(pacing);
  Quiet quiet;
  const auto began = Clock::now();
  const Text refused = downloader.startDownload(
      {"<div id=\"content\">", "</div>", "book", out + "/"}, list, quiet, quiet);
  if (!refused.empty()) return 2;
  const RunResult r = downloader.wait();
  std::printf("%f %d %f %ld\n", seconds(Clock::now() - began),
              r.outcome == RunResult::Outcome::Assembled ? 1 : 0, cpuSeconds(), peakKb());
  return 0;
}

// Child: writes count chapter files of the bench chapter's text and times their assembly.
int runAssembly(int count, const std::string& out) {
  const BookPaths paths{out + "/", "book"};
  ensureDirectoryPath(paths.folder());
  const std::string chapter = input("chapter-30k-gbk.html");
  for (int r = 0; r < count; ++r) writeWholeFile(paths.chapterFile(r), chapter);
  const auto began = Clock::now();
  const AssemblyResult a = assembleBook(paths, count);
  std::printf("%f %d\n", seconds(Clock::now() - began), a.error.empty() ? 1 : 0);
  return 0;
}

struct ChildFigures {  // as the child measured them
  double wall = 0;
  bool whole = false;
  double cpu = 0;  // user + system seconds
  long peakKb = 0;
};

ChildFigures runChild(const char* self, std::vector<std::string> args) {
  args.insert(args.begin(), self);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid;
  posix_spawn(&pid, self, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string text;
  char buf[256];
  for (ssize_t k; (k = read(pipeFds[0], buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<size_t>(k));
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ChildFigures f;
  int whole = 0;
  std::sscanf(text.c_str(), "%lf %d %lf %ld", &f.wall, &whole, &f.cpu, &f.peakKb);
  f.whole = whole == 1;
  return f;
}

// One figure: its value, its bound and the ratio; the target holds while ratio <= limit.
void line(const char* name, double value, const char* unit, double bound, double limit = 1.0) {
  std::printf("%-34s %10.3f %-3s bound %8.3f  ratio %.3f  %s\n", name, value, unit, bound,
              value / bound, value / bound <= limit ? "ok" : "MISSED");
}

int runAll(const char* self, bool serveOnly) {
  const std::string page = input("chapter-30k-gbk.html");
  httplib::Server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  server.set_keep_alive_max_count(100000);
  server.Get(R"(/c/(\d+))", [&](const httplib::Request&, httplib::Response& res) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kLatencyMs));
    res.set_content(page, "text/html");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (serveOnly) {  // for profiling a client by hand: bench_e2e client PORT N PAUSE DIR
    std::printf("serving on port %d\n", port);
    std::fflush(stdout);
    serving.join();
    return 0;
  }

  const std::string out = std::filesystem::temp_directory_path() / "ravelkin-bench";
  auto fresh = [&] {
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
  };
  std::printf("chapter page %zu bytes, server latency %d ms per response\n", page.size(),
              kLatencyMs);

  fresh();
  const int paced = 300;
  ChildFigures a =
      runChild(self, {"client", std::to_string(port), std::to_string(paced), "100", out});
  line("run_300_real_pacing_wall", a.wall, "s", paced * 0.1 + kLatencyMs / 1000.0, 1.05);
  if (!a.whole) std::printf("  (the book was not assembled!)\n");

  ChildFigures small, large;
  for (const int n : {500, 5000}) {
    fresh();
    ChildFigures f = runChild(self, {"client", std::to_string(port), std::to_string(n), "0", out});
    if (!f.whole) std::printf("  (the %d-chapter book was not assembled!)\n", n);
    const std::string prefix = "run_" + std::to_string(n) + "_no_pause_";
    line((prefix + "cpu_per_chapter").c_str(), f.cpu / n * 1000, "ms", 0.3);
    line((prefix + "peak_rss").c_str(), f.peakKb / 1024.0, "MB", 60);
    (n == 500 ? small : large) = f;
  }
  line("peak_rss_5000_vs_500", static_cast<double>(large.peakKb) / small.peakKb, "x", 1.0, 1.10);

  fresh();
  ChildFigures assembly = runChild(self, {"assemble", "5000", out});
  line("assemble_5000_chapters", assembly.wall, "s", 2.0);
  std::filesystem::remove_all(out);

  server.stop();
  serving.join();
  return 0;
}

}  // namespace
}  // namespace ravelkin

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "client" && argc == 6) {
    return ravelkin::runClient(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argv[5]);
  }
  if (mode == "assemble" && argc == 4) return ravelkin::runAssembly(std::atoi(argv[2]), argv[3]);
  return ravelkin::runAll("/proc/self/exe", mode == "serve");
}
