// A download run: the driver that walks the chapter list and paces the workers, the chapter
// workers, and the end of the run (assembly or the report of failed chapters).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "download/book.h"
#include "download/pacing.h"
#include "download/ports.h"
#include "text/text.h"

namespace ravelkin {

// The snapshot a run works from; later edits of the rules do not reach a running run.
struct RunSettings {
  Text startMarker;
  Text endMarker;
  Text novelName;   // as typed; made safe before it names any file
  Text outputRoot;  // the folder that holds every novel's folder, ending in '/'
};

struct ChapterFailure {
  int row = 0;
  Text title;
  Text reason;
};

struct RunResult {
  enum class Outcome {
    Assembled,       // every chapter is in the book
    ChaptersFailed,  // some chapters failed; the book was not assembled
    AssemblyFailed,  // the book could not be written; the chapter files stay
    Cancelled,       // stopped before the end; the chapter files written so far stay
  };
  Outcome outcome = Outcome::Cancelled;
  int rows = 0;
  int downloaded = 0;  // chapters fetched and written in this run
  int existing = 0;    // rows skipped because their chapter file was already there
  std::vector<ChapterFailure> failures;
  Text bookPath;  // the book file, when assembled
  Text message;   // the last message shown for the run
};

// The state statuses a run writes in the status column.
Text statusExisting();  // "存在"
Text statusDone();      // "完成"
Text statusFailed();    // "失败"

// Runs one download at a time. The driver and up to pacing.workerLimit workers run on threads of
// their own; the front end's list, progress bar and message box are reached only through the
// ports. One mutex (the list lock) guards the workers' row reads and chapter-file writes.
class Downloader {
 public:
  explicit Downloader(Pacing pacing = {});
  ~Downloader();  // cancels a run in progress and waits for it
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  // Starts a run over the rows the list holds now and returns at once. Refuses, returning why,
  // when the novel name is empty, the output root cannot be created, or a run is in progress;
  // returns the empty Text when started. The ports must outlive the run. `finished` (optional) is
  // called on the driver thread as the run's last step.
  Text startDownload(const RunSettings& settings, ChapterList& list, ProgressBar& progress,
                     MessageBox& messages, std::function<void(const RunResult&)> finished = {});

  bool running() const { return running_; }
  // Asks the run to stop: fetches are abandoned within about a second, nothing is assembled.
  void cancel();
  // Waits for the run to end and returns its result (a default result when none ran).
  RunResult wait();
  // Workers started and not yet ended.
  int activeDownloads() const { return activeDownloads_; }

 private:
  struct Run;
  void downloadDriver(std::stop_token stop, Run& run);
  void chapterWorker(std::stop_token stop, Run& run, int row);
  void waitForWorkers(std::stop_token stop, int below);

  const Pacing pacing_;
  std::mutex listLock_;
  std::atomic<int> activeDownloads_{0};
  std::mutex countMutex_;  // only for waiting on the count
  std::condition_variable_any countChanged_;
  std::atomic<bool> running_{false};
  std::mutex runMutex_;   // guards starting a run and the stop source
  std::mutex joinMutex_;  // guards joining the driver; never held by the driver itself
  std::unique_ptr<Run> run_;
  std::stop_source stopSource_;
  std::jthread driver_;
};

}  // namespace ravelkin
