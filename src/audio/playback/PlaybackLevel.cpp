#include "audio/playback/PlaybackLevel.h"

#include "audio/TakeFormat.h"

#include <cmath>

namespace praatkist::audio {

std::int32_t LevelToPeak(double left, double right) noexcept
{
  if (std::isnan(left))
    left = 0.0;
  if (std::isnan(right))
    right = 0.0;
  const double level = right > left ? right : left;
  const double exact = level * kFullScale;
  // Round half to even, independent of the floating-point rounding mode.
  double scaled = std::floor(exact);
  const double rest = exact - scaled;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(scaled, 2.0) != 0.0))
    scaled += 1.0;
  if (scaled <= 0.0)
    return 0;
  if (scaled >= 65535.0)
    return 65535;
  return static_cast<std::int32_t>(scaled);
}

} // namespace praatkist::audio
