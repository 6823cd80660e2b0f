#pragma once
// A playback stream's level on the capture peak scale: a pure computation, tested
// alone.

#include <cstdint>

namespace praatkist::audio {

// A playback level (0 to 1 = full scale per channel) on the capture peak scale: the
// larger channel times kFullScale, rounded to the nearest integer with ties to even,
// clamped to 0 .. 65535. Not-a-number counts as silence.
std::int32_t LevelToPeak(double left, double right) noexcept;

} // namespace praatkist::audio
