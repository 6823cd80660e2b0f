#pragma once
// When a key was pressed, on the engine's steady clock. The system stamps each input
// event with the moment it happened, in milliseconds of a clock of its own (the X
// server's, the compositor's, the message time on Windows, Qt's own where the platform
// gives none); a press handled late still carries that stamp. Most systems stamp with
// the same monotonic clock the engine counts by (wrapping at 32 bits); where the stamps
// lie on another clock, their offset is learnt from the events handled as they come:
// the smallest difference between handling and stamp among the latest ones.

#include <array>
#include <cstddef>
#include <cstdint>

namespace praatkist::ui {

class TEventClock {
public:
  // An input event stamped AStampMs, handled at ANowNs (steady clock, nanoseconds).
  void Note(std::uint64_t AStampMs, std::int64_t ANowNs) noexcept;
  // When the event stamped AStampMs and handled at ANowNs happened: at the latest
  // ANowNs, which is also the answer for a stamp of 0 (none) or one that tells nothing.
  std::int64_t PressNs(std::uint64_t AStampMs, std::int64_t ANowNs) const noexcept;

  // How long a press may wait to be handled and still count as stamped by the steady
  // clock.
  static constexpr std::int64_t kMaxLateMs = 10000;

private:
  static constexpr std::size_t kKept = 64;
  std::array<std::int64_t, kKept> FOffsets{}; // handling minus stamp, nanoseconds
  std::size_t FCount = 0;
};

} // namespace praatkist::ui
