#include "audio/capture/FrameClock.h"

#include <chrono>

namespace praatkist::audio {

std::int64_t SteadyNowNs() noexcept
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void TFrameClock::Stamp(std::int64_t ns, std::uint64_t before, std::uint64_t after) noexcept
{
  const std::uint64_t i = FCount.load(std::memory_order_relaxed);
  TSlot &slot = FSlots[i % kSlots];
  slot.Sequence.store(2 * i + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  slot.Ns.store(ns, std::memory_order_relaxed);
  slot.Before.store(before, std::memory_order_relaxed);
  slot.After.store(after, std::memory_order_relaxed);
  slot.Sequence.store(2 * i + 2, std::memory_order_release);
  FCount.store(i + 1, std::memory_order_release);
}

std::uint64_t TFrameClock::FramesAt(std::int64_t ns, std::uint64_t fallback) const noexcept
{
  const std::uint64_t count = FCount.load(std::memory_order_acquire);
  const std::uint64_t oldest = count > kSlots ? count - kSlots : 0;
  bool seen = false;
  std::uint64_t earliest = fallback;
  for (std::uint64_t i = count; i > oldest; --i) {
    const TSlot &slot = FSlots[(i - 1) % kSlots];
    const std::uint64_t sequence = slot.Sequence.load(std::memory_order_acquire);
    const std::int64_t at = slot.Ns.load(std::memory_order_relaxed);
    const std::uint64_t before = slot.Before.load(std::memory_order_relaxed);
    const std::uint64_t after = slot.After.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (sequence != 2 * (i - 1) + 2 || slot.Sequence.load(std::memory_order_relaxed) != sequence)
      break; // written over meanwhile: the stamps before it are older still
    if (at <= ns)
      return after;
    seen = true;
    earliest = before;
  }
  return seen ? earliest : fallback;
}

} // namespace praatkist::audio
