#include "ui/flow/EventClock.h"

#include <algorithm>

namespace praatkist::ui {

namespace {

constexpr std::int64_t kNsPerMs = 1000000;

// How long before ANowNs a stamp of the steady clock in milliseconds (whole, or its low
// 32 bits) lies; negative when it is no such stamp.
std::int64_t SteadyLateMs(std::uint64_t AStampMs, std::int64_t ANowNs) noexcept
{
  const auto nowMs = static_cast<std::uint64_t>(ANowNs / kNsPerMs);
  std::uint64_t late = nowMs - AStampMs;
  if (AStampMs <= 0xFFFFFFFFu)
    late = (nowMs - AStampMs) & 0xFFFFFFFFu;
  // a stamp a few milliseconds ahead: the two clocks round differently
  if (late > 0xFFFFFFFFu - 50 && late <= 0xFFFFFFFFu)
    return 0;
  if (late > static_cast<std::uint64_t>(TEventClock::kMaxLateMs))
    return -1;
  return static_cast<std::int64_t>(late);
}

} // namespace

void TEventClock::Note(std::uint64_t AStampMs, std::int64_t ANowNs) noexcept
{
  if (AStampMs == 0)
    return;
  FOffsets[FCount % kKept] = ANowNs - static_cast<std::int64_t>(AStampMs) * kNsPerMs;
  ++FCount;
}

std::int64_t TEventClock::PressNs(std::uint64_t AStampMs, std::int64_t ANowNs) const noexcept
{
  if (AStampMs == 0)
    return ANowNs;
  const std::int64_t late = SteadyLateMs(AStampMs, ANowNs);
  if (late >= 0)
    return (ANowNs / kNsPerMs - late) * kNsPerMs; // the start of the stamped millisecond
  if (FCount == 0)
    return ANowNs;
  const std::size_t kept = std::min(FCount, kKept);
  const std::int64_t offset = *std::min_element(FOffsets.begin(), FOffsets.begin() + kept);
  const std::int64_t at = static_cast<std::int64_t>(AStampMs) * kNsPerMs + offset;
  return std::clamp(at, ANowNs - kMaxLateMs * kNsPerMs, ANowNs);
}

} // namespace praatkist::ui
