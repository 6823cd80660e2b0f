#include "audio/analysis/PointLayout.h"

#include <cmath>

namespace praatkist::audio {

TPointLayout ComputePointLayout(std::uint64_t frames, std::int32_t maxPoints) noexcept
{
  TPointLayout layout;
  const std::int32_t max = maxPoints < 1 ? 1 : maxPoints;
  // Both quotients are taken in double precision and rounded up, as the view expects:
  // 4001 frames over 2000 points give 3 frames a point and 1334 points.
  double perPoint = std::ceil(static_cast<double>(frames) / max);
  if (!(perPoint >= 1.0))
    perPoint = 1.0;
  // A count of frames beyond 2^63 cannot come from a file; keep the conversion defined.
  if (perPoint > 9.0e18)
    perPoint = 9.0e18;
  layout.FramesPerPoint = static_cast<std::uint64_t>(perPoint);
  const double points = std::ceil(static_cast<double>(frames) / perPoint);
  layout.Points = points > max ? max : static_cast<std::int32_t>(points);
  return layout;
}

} // namespace praatkist::audio
