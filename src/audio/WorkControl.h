#pragma once
// Progress and cancellation of a long piece of engine work (analysing or trimming a
// take) that a caller runs off the window's thread. The working thread reports how far
// it is and looks at the cancel flag between blocks; the caller reads the progress and
// sets the flag from its own thread. Both are atomics: no locks.

#include "platform/Errors.h"

#include <atomic>
#include <cstdint>

namespace praatkist::audio {

class TWorkControl {
public:
  // Fraction done, 0 .. 1 (clamped), from the working thread.
  void Report(double fraction) noexcept
  {
    const double f = fraction < 0.0 ? 0.0 : (fraction > 1.0 ? 1.0 : fraction);
    FPermille.store(static_cast<std::uint32_t>(f * 1000.0 + 0.5), std::memory_order_relaxed);
  }
  // Percent done, 0 .. 100, from any thread.
  int Percent() const noexcept
  {
    return static_cast<int>(FPermille.load(std::memory_order_relaxed) / 10u);
  }

  // Asks the work to end as soon as it safely can.
  void Cancel() noexcept { FCancel.store(true, std::memory_order_release); }
  bool Cancelled() const noexcept { return FCancel.load(std::memory_order_acquire); }

private:
  std::atomic<std::uint32_t> FPermille{0};
  std::atomic<bool> FCancel{false};
};

// Raised by engine work that ended because its control was cancelled. Whatever the
// work changes on disk is then as before it started.
class EWorkCancelled : public EPraatkistError {
public:
  EWorkCancelled() : EPraatkistError("Afgebroken.") {}
};

} // namespace praatkist::audio
