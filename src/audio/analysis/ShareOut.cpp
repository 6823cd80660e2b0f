#include "audio/analysis/ShareOut.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace praatkist::audio {

void ShareOut(std::size_t count, const std::function<void(std::size_t)> &work,
              TWorkControl *control, double steps)
{
  std::atomic<std::size_t> next{0}, finished{0};
  std::atomic<bool> stop{false}, cancelled{false};
  std::vector<std::exception_ptr> failures(count);
  const auto run = [&](bool reports) noexcept {
    for (;;) {
      if (control != nullptr) {
        if (control->Cancelled())
          cancelled.store(true);
        else if (reports)
          control->Report(steps > 0 ? static_cast<double>(finished.load()) / steps : 0.0);
      }
      if (stop.load() || cancelled.load())
        return;
      const std::size_t job = next.fetch_add(1);
      if (job >= count)
        return;
      try {
        work(job);
      } catch (...) {
        failures[job] = std::current_exception();
        stop.store(true);
      }
      finished.fetch_add(1);
    }
  };
  {
    const unsigned threads = std::max(2u, std::thread::hardware_concurrency());
    std::vector<std::jthread> helpers;
    helpers.reserve(threads);
    for (std::size_t t = 1; t < std::min<std::size_t>(threads, count); ++t) {
      try {
        helpers.emplace_back(run, false);
      } catch (const std::system_error &) {
        break; // fewer threads, the same work
      }
    }
    run(true);
  } // the helpers are joined here
  for (const std::exception_ptr &failure : failures)
    if (failure)
      std::rethrow_exception(failure);
  if (cancelled.load())
    throw EWorkCancelled();
}

} // namespace praatkist::audio
