// The pace of a download run, in one place. The window and the command-line tool always use
// these values; benchmarks may build a run with shorter pauses to measure the rest.
#pragma once

#include <chrono>
#include <stop_token>

#include "net/fetch.h"

namespace ravelkin {

struct Pacing {
  int workerLimit = 10;                         // workers running at once, at most
  std::chrono::milliseconds startPause{100};    // after every worker start
  std::chrono::milliseconds recheck{1000};      // longest wait before the count is read again
  std::chrono::milliseconds firstRetry{2000};   // before a chapter's second try
  std::chrono::milliseconds secondRetry{5000};  // before its third and last try
  std::chrono::milliseconds longestRetryAfter{60000};  // cap on a server's Retry-After
  int attempts = 3;
  FetchLimits fetchLimits;  // connect, stall and size limits of every chapter fetch
};

// Waits amount units (0 or omitted: milliseconds, 1: seconds, 2: minutes, 3: hours) and returns
// true; returns false early when stop is requested.
bool pumpingDelay(long long amount, int unit = 0, std::stop_token stop = {});

// The same for a duration.
bool pumpingDelay(std::chrono::milliseconds duration, std::stop_token stop);

}  // namespace ravelkin
