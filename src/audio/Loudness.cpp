#include "audio/Loudness.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace praatkist::audio {

namespace {

constexpr double kPi = 3.14159265358979323846;

template <unsigned Lanes>
double RunLanes(const TKWeighting::TCoefficients &s, const TKWeighting::TCoefficients &h,
                TKWeighting::TLanes &st, const std::uint8_t *data, std::size_t count,
                std::size_t stride) noexcept
{
  // Everything per lane in plain arrays and the same arithmetic for each, so that the
  // compiler keeps both channels of a frame in one vector register. The sums are
  // ordered so that only "- a1 * last output" waits for the sample before. The
  // high-pass's numerator is 1, -2, 1 at every rate: additions only.
  double x1[2], x2[2], y1[2], y2[2], z1[2], z2[2], acc[2] = {0, 0};
  for (unsigned c = 0; c < Lanes; ++c) {
    x1[c] = st.X1[c];
    x2[c] = st.X2[c];
    y1[c] = st.Y1[c];
    y2[c] = st.Y2[c];
    z1[c] = st.Z1[c];
    z2[c] = st.Z2[c];
  }
  for (std::size_t f = 0; f < count; ++f) {
    std::int16_t raw[2];
    std::memcpy(raw, data + f * stride, Lanes * 2);
    for (unsigned c = 0; c < Lanes; ++c) {
      const double x = static_cast<double>(raw[c]) * (1.0 / 32768.0);
      const double y = (s.B0 * x + s.B1 * x1[c] + s.B2 * x2[c] - s.A2 * y2[c]) - s.A1 * y1[c];
      const double z = ((y + y2[c]) - (y1[c] + y1[c]) - h.A2 * z2[c]) - h.A1 * z1[c];
      x2[c] = x1[c];
      x1[c] = x;
      y2[c] = y1[c];
      y1[c] = y;
      z2[c] = z1[c];
      z1[c] = z;
      acc[c] += z * z;
    }
  }
  for (unsigned c = 0; c < Lanes; ++c) {
    st.X1[c] = x1[c];
    st.X2[c] = x2[c];
    st.Y1[c] = y1[c];
    st.Y2[c] = y2[c];
    st.Z1[c] = z1[c];
    st.Z2[c] = z2[c];
  }
  return Lanes == 2 ? acc[0] + acc[1] : acc[0];
}

} // namespace

TKWeighting::TKWeighting(std::uint32_t channels, std::uint32_t rate)
    : FChannels(std::max<std::uint32_t>(1, channels)), FPairs((FChannels + 1) / 2)
{
  const double fs = std::max<double>(rate, 1.0);
  {
    // high shelf: centre 1681.97 Hz, gain 4.00 dB, Q 0.7072
    const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
    const double k = std::tan(kPi * std::min(f0 / fs, 0.49));
    const double vh = std::pow(10.0, gainDb / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    FShelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0,
              (vh - vb * k / q + k * k) / a0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
  }
  {
    // high-pass: 38.14 Hz, Q 0.5003, unity gain far above
    const double f0 = 38.13547087602444, q = 0.5003270373238773;
    const double k = std::tan(kPi * std::min(f0 / fs, 0.49));
    const double a0 = 1.0 + k / q + k * k;
    FHighPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
  }
}

double TKWeighting::Run(const std::uint8_t *data, std::size_t count) noexcept
{
  // Digital silence would let the filters' memory decay into subnormal numbers, each of
  // which costs the processor a hundred times a normal one (after some 3 s of it). A
  // nudge of 10^-12 of full scale to the high-pass's memory at every call (a call
  // covers 100 ms at most) keeps them normal; its energy, some 10^-22 of full scale's
  // per cell, weighs nothing against the -70 LUFS gate.
  const std::size_t stride = 2u * FChannels;
  double sum = 0;
  for (std::uint32_t p = 0; p < FPairs.size(); ++p) {
    TLanes &lanes = FPairs[p];
    lanes.Z1[0] += FNudge;
    lanes.Z1[1] += FNudge;
    const std::uint8_t *at = data + 4u * p;
    sum += 2 * p + 1 < FChannels ? RunLanes<2>(FShelf, FHighPass, lanes, at, count, stride)
                                 : RunLanes<1>(FShelf, FHighPass, lanes, at, count, stride);
  }
  FNudge = -FNudge;
  return sum;
}

double GatedLoudness(const std::vector<double> &energies, std::uint64_t cellFrames)
{
  const double minusInf = -std::numeric_limits<double>::infinity();
  if (energies.size() < 4 || cellFrames == 0)
    return minusInf;
  // a block's mean square against the -70 LUFS gate: -0.691 + 10 log10(ms) > -70
  const double blockFrames = 4.0 * static_cast<double>(cellFrames);
  const double absolute = std::pow(10.0, (-70.0 + 0.691) / 10.0);
  std::vector<double> blocks;
  blocks.reserve(energies.size() - 3);
  double sum = 0;
  for (std::size_t j = 0; j + 3 < energies.size(); ++j) {
    const double ms =
        (energies[j] + energies[j + 1] + energies[j + 2] + energies[j + 3]) / blockFrames;
    if (ms > absolute) {
      blocks.push_back(ms);
      sum += ms;
    }
  }
  if (blocks.empty())
    return minusInf;
  // the relative gate: 10 LU under the mean of the blocks that passed the first
  const double relative = sum / static_cast<double>(blocks.size()) * 0.1;
  double kept = 0;
  std::size_t n = 0;
  for (double ms : blocks)
    if (ms > relative) {
      kept += ms;
      ++n;
    }
  if (n == 0)
    return minusInf;
  return -0.691 + 10.0 * std::log10(kept / static_cast<double>(n));
}

} // namespace praatkist::audio
