#pragma once
// Small pure computations of the engine, kept apart so they can be tested alone.

#include <cstdint>

namespace praatkist::audio {

// How a take of Frames frames is spread over at most MaxPoints waveform points:
// every point covers FramesPerPoint frames (the last one possibly fewer), and there
// are Points of them. MaxPoints below 1 counts as 1. Never more than MaxPoints
// points, never a negative or overflowing count: 0 frames give 0 points.
struct TPointLayout {
  std::uint64_t FramesPerPoint = 1;
  std::int32_t Points = 0;
};
TPointLayout ComputePointLayout(std::uint64_t frames, std::int32_t maxPoints) noexcept;

// A playback level (0 to 1 = full scale per channel) on the capture peak scale: the
// larger channel times 32768, rounded to the nearest integer with ties to even,
// clamped to 0 .. 65535. Not-a-number counts as silence.
std::int32_t LevelToPeak(double left, double right) noexcept;

} // namespace praatkist::audio
