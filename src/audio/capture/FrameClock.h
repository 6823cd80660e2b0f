#pragma once
// When the running take's frames came in: the capture thread stamps every buffer it
// hands to the take with the steady clock's time and the take's frames before and after
// it; the window's thread then asks which frame the input had delivered at a moment
// that lies a little in the past (a key press, stamped by the system when it was
// pressed and handled later). No lock: each stamp is a small sequence-locked record in
// a ring of the latest ones.

#include <array>
#include <atomic>
#include <cstdint>

namespace praatkist::audio {

// The steady clock's nanoseconds, as the capture stamps its buffers (and a marker's
// press is given).
std::int64_t SteadyNowNs() noexcept;

class TFrameClock {
public:
  // Forgets every stamp; the window's thread, before the capture thread stamps again.
  void Reset() noexcept { FCount.store(0, std::memory_order_release); }
  // The capture thread: a buffer handed over at Ns (steady clock, nanoseconds), the
  // take holding Before frames ahead of it and After once it was written.
  void Stamp(std::int64_t ns, std::uint64_t before, std::uint64_t after) noexcept;
  // The take's frames the input had delivered at Ns: those after the last buffer
  // handed over by then; before the first stamp, the frames ahead of the first buffer;
  // Fallback when there is no stamp.
  std::uint64_t FramesAt(std::int64_t ns, std::uint64_t fallback) const noexcept;

  // Stamps kept: at 10 ms a buffer, the last ten seconds and more.
  static constexpr std::size_t kSlots = 1024;

private:
  struct TSlot {
    std::atomic<std::uint64_t> Sequence{0}; // 2 i + 1 while stamp i is written, 2 i + 2 after
    std::atomic<std::int64_t> Ns{0};
    std::atomic<std::uint64_t> Before{0};
    std::atomic<std::uint64_t> After{0};
  };
  std::array<TSlot, kSlots> FSlots;
  std::atomic<std::uint64_t> FCount{0};
};

} // namespace praatkist::audio
