#include "audio/TakeResults.h"

#include <cmath>

namespace praatkist::audio::spoken_word {

double Shown(double value, int decimals) noexcept
{
  if (!std::isfinite(value))
    return value;
  const double scale = std::pow(10.0, decimals);
  const double r = std::round(value * scale) / scale;
  return r == 0.0 ? 0.0 : r; // no "-0.0"
}

TVerdict Judge(const TTakeFigures &figures) noexcept
{
  TVerdict v;
  const double rms = Shown(figures.RmsDb, 1);
  v.TooQuiet = rms < RmsMinDb;
  v.TooLoud = rms > RmsMaxDb;
  v.PeakHigh = Shown(figures.PeakDb, 1) > PeakMaxDb;
  v.Noisy = Shown(figures.NoiseFloorDb, 0) > NoiseFloorMaxDb;
  v.Clipped = figures.ClippedSamples > 0;
  return v;
}

} // namespace praatkist::audio::spoken_word
