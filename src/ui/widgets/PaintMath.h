#pragma once
// Small arithmetic shared by the level meter and the waveform pictures: rounding to
// pixels and the placement of centred labels that must stay inside the picture.

#include <cmath>
#include <cstdint>

namespace praatkist::ui {

// Nearest integer, halves to the even neighbour (12451.5 -> 12452, 304.5 -> 304).
// NaN gives 0; values beyond +-2^62 are held there.
inline std::int64_t RoundHalfEven(double v)
{
  constexpr double kLimit = 4611686018427387904.0; // 2^62
  if (std::isnan(v))
    return 0;
  if (v >= kLimit)
    return static_cast<std::int64_t>(kLimit);
  if (v <= -kLimit)
    return -static_cast<std::int64_t>(kLimit);
  const double below = std::floor(v);
  const double rest = v - below;
  auto whole = static_cast<std::int64_t>(below);
  if (rest > 0.5 || (rest == 0.5 && (whole % 2 != 0)))
    ++whole;
  return whole;
}

// The same, held to a range that pixel arithmetic can use without overflow.
inline int RoundToPixel(double v)
{
  constexpr std::int64_t kLimit = 1 << 28;
  const std::int64_t r = RoundHalfEven(v);
  return static_cast<int>(r < -kLimit ? -kLimit : (r > kLimit ? kLimit : r));
}

// Left edge of a label LabelWidth wide centred on X ("x - width div 2"), moved inwards
// where it would cross the left or right edge of a picture Width wide. The left edge
// is tried first, so a label wider than the picture ends at its right edge.
inline int ClampLabelLeft(int x, int labelWidth, int width)
{
  int left = x - labelWidth / 2;
  if (left < 0)
    left = 0;
  if (left > width - labelWidth)
    left = width - labelWidth;
  return left;
}

} // namespace praatkist::ui
