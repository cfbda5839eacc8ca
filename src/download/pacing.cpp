#include "download/pacing.h"

#include <condition_variable>
#include <mutex>

namespace ravelkin {

bool pumpingDelay(std::chrono::milliseconds duration, std::stop_token stop) {
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  // Returns early only when stop is requested; spurious wake-ups go back to waiting.
  cv.wait_for(lock, stop, duration, [] { return false; });
  return !stop.stop_requested();
}

bool pumpingDelay(long long amount, int unit, std::stop_token stop) {
  static constexpr long long kFactor[] = {1, 1000, 60'000, 3'600'000};
  const long long factor = (unit >= 0 && unit <= 3) ? kFactor[unit] : 1;
  return pumpingDelay(std::chrono::milliseconds(amount * factor), stop);
}

}  // namespace ravelkin
