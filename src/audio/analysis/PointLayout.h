#pragma once
// How a take's frames are spread over the waveform's points: a pure computation,
// tested alone.

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

} // namespace praatkist::audio
