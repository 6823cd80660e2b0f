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

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define PRAATKIST_COLUMNS 1
#include <immintrin.h>

// Four lanes of doubles: one AVX register.
typedef double TV4d __attribute__((vector_size(32)));

// Channels: 2 (two columns of stereo frames) or 1 (four columns of mono frames). The
// same sums as RunLanes, lane by lane; the scale of 16-bit samples to full scale 1 goes
// into the shelf's numerator.
template <unsigned Channels>
__attribute__((target("avx2,fma"))) void ColumnKernel(const TKWeighting::TCoefficients &s,
                                              const TKWeighting::TCoefficients &h,
                                              TKWeighting::TColumnLanes &st,
                                              const std::uint8_t *const *columns,
                                              std::size_t steps, double nudge,
                                              double *energies) noexcept
{
  constexpr unsigned kCols = 4 / Channels;
  constexpr double kScale = 1.0 / 32768.0;
  const TV4d b0 = TV4d{} + s.B0 * kScale, b1 = TV4d{} + s.B1 * kScale,
             b2 = TV4d{} + s.B2 * kScale;
  const TV4d sa1 = TV4d{} + s.A1, sa2 = TV4d{} + s.A2, ha1 = TV4d{} + h.A1,
             ha2 = TV4d{} + h.A2;
  TV4d x1, x2, y1, y2, z1, z2, acc = {};
  std::memcpy(&x1, st.X1, sizeof x1);
  std::memcpy(&x2, st.X2, sizeof x2);
  std::memcpy(&y1, st.Y1, sizeof y1);
  std::memcpy(&y2, st.Y2, sizeof y2);
  std::memcpy(&z1, st.Z1, sizeof z1);
  std::memcpy(&z2, st.Z2, sizeof z2);
  // (the nudge of Run, against subnormal numbers in digital silence)
  z1 += nudge;
  const std::uint8_t *col[kCols];
  for (unsigned j = 0; j < kCols; ++j)
    col[j] = columns[j];
  for (std::size_t f = 0; f < steps; ++f) {
    // the frames of every column at this step, as one vector of 16-bit samples
    std::uint16_t raw16[4];
    for (unsigned j = 0; j < kCols; ++j)
      std::memcpy(raw16 + j * Channels, col[j] + f * 2 * Channels, 2 * Channels);
    std::int64_t raw;
    std::memcpy(&raw, raw16, sizeof raw);
    // x is in 16-bit units; the scale sits in b0..b2, so x1 and x2 stay in them too
    const TV4d x = reinterpret_cast<TV4d>(
        _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_cvtsi64_si128(raw))));
    const TV4d y = (b0 * x + b1 * x1 + b2 * x2 - sa2 * y2) - sa1 * y1;
    const TV4d z = ((y + y2) - (y1 + y1) - ha2 * z2) - ha1 * z1;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    z2 = z1;
    z1 = z;
    acc += z * z;
  }
  std::memcpy(st.X1, &x1, sizeof x1);
  std::memcpy(st.X2, &x2, sizeof x2);
  std::memcpy(st.Y1, &y1, sizeof y1);
  std::memcpy(st.Y2, &y2, sizeof y2);
  std::memcpy(st.Z1, &z1, sizeof z1);
  std::memcpy(st.Z2, &z2, sizeof z2);
  for (unsigned j = 0; j < kCols; ++j) {
    energies[j] = 0;
    for (unsigned c = 0; c < Channels; ++c)
      energies[j] += acc[j * Channels + c];
  }
}

bool HasColumnInstructions() noexcept
{
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return has;
}
#endif

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
#ifdef PRAATKIST_COLUMNS
  if (HasColumnInstructions() && FChannels <= 2) {
    FColumns = 4 / FChannels;
    FKernel = FChannels == 2 ? ColumnKernel<2> : ColumnKernel<1>;
  }
#endif
}

void TKWeighting::BeginColumns() noexcept
{
  // Column 0 takes the filter's state, in 16-bit units for the inputs (see ColumnKernel);
  // the other lanes start from rest.
  const TLanes &from = FPairs[0];
  FColumnLanes = TColumnLanes{};
  for (unsigned c = 0; c < FChannels && c < 2; ++c) {
    FColumnLanes.X1[c] = from.X1[c] * 32768.0;
    FColumnLanes.X2[c] = from.X2[c] * 32768.0;
    FColumnLanes.Y1[c] = from.Y1[c];
    FColumnLanes.Y2[c] = from.Y2[c];
    FColumnLanes.Z1[c] = from.Z1[c];
    FColumnLanes.Z2[c] = from.Z2[c];
  }
}

void TKWeighting::RunColumns(const std::uint8_t *const *columns, std::size_t steps,
                             double *energies) noexcept
{
  if (FKernel == nullptr)
    return;
  FKernel(FShelf, FHighPass, FColumnLanes, columns, steps, FNudge, energies);
  FNudge = -FNudge;
}

void TKWeighting::EndColumns() noexcept
{
  TLanes &to = FPairs[0];
  const unsigned last = (FColumns - 1) * FChannels;
  for (unsigned c = 0; c < FChannels && c < 2 && FColumns > 0; ++c) {
    to.X1[c] = FColumnLanes.X1[last + c] / 32768.0;
    to.X2[c] = FColumnLanes.X2[last + c] / 32768.0;
    to.Y1[c] = FColumnLanes.Y1[last + c];
    to.Y2[c] = FColumnLanes.Y2[last + c];
    to.Z1[c] = FColumnLanes.Z1[last + c];
    to.Z2[c] = FColumnLanes.Z2[last + c];
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
