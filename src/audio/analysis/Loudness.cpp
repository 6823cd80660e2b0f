#include "audio/analysis/Loudness.h"

#include "audio/TakeFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE__) || defined(_M_X64)
#include <immintrin.h>
#endif

namespace praatkist::audio {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Float arithmetic of a filter whose input has gone silent decays into subnormal
// numbers, each of which costs the processor a hundred times a normal one. Flushed to
// zero instead (as sound software does), they weigh nothing: under 10^-37 of full scale.
class TFlushSubnormals {
public:
#if defined(__SSE__) || defined(_M_X64)
  TFlushSubnormals() noexcept : FSaved(_mm_getcsr()) { _mm_setcsr(FSaved | 0x8040u); }
  ~TFlushSubnormals() { _mm_setcsr(FSaved); }

private:
  unsigned FSaved;
#endif
};

// Frames summed in single precision before they go into the double sum.
constexpr std::size_t kSumRun = 2048;

// Lanes (one or two) neighbouring channels of Count frames, Stride bytes apart; returns
// their sum of squares. The same steps, in the same order, as the lanes of
// ColumnKernel; two channels side by side keep a processor without AVX busy with one
// while the other waits for its last sample.
template <unsigned Lanes>
__attribute__((noinline)) double RunLanes(const TKWeighting::TSingle &k, TKWeighting::TLane *l,
                                          const std::uint8_t *data, std::size_t count,
                                          std::size_t stride) noexcept
{
  float x1[Lanes], x2[Lanes], y1[Lanes], y2[Lanes], i1[Lanes], i2[Lanes];
  for (unsigned c = 0; c < Lanes; ++c) {
    x1[c] = l[c].X1;
    x2[c] = l[c].X2;
    y1[c] = l[c].Y1;
    y2[c] = l[c].Y2;
    i1[c] = l[c].I1;
    i2[c] = l[c].I2;
  }
  double sum = 0;
  for (std::size_t f0 = 0; f0 < count; f0 += kSumRun) {
    float acc[Lanes] = {};
    const std::size_t end = std::min(count, f0 + kSumRun);
    for (std::size_t f = f0; f < end; ++f) {
      std::int16_t raw[Lanes];
      std::memcpy(raw, data + f * stride, 2 * Lanes);
      for (unsigned c = 0; c < Lanes; ++c) {
        const auto x = static_cast<float>(raw[c]);
        const float y = (k.S0 * x + k.S1 * x1[c] + k.S2 * x2[c] - k.A2 * y2[c]) - k.A1 * y1[c];
        x2[c] = x1[c];
        x1[c] = x;
        y2[c] = y1[c];
        y1[c] = y;
        const float next = k.K * i1[c] + (y - k.Dd * i2[c]);
        const float z = next - i1[c];
        i2[c] += i1[c];
        i1[c] = next;
        acc[c] += z * z;
      }
    }
    for (unsigned c = 0; c < Lanes; ++c)
      sum += acc[c];
  }
  for (unsigned c = 0; c < Lanes; ++c)
    l[c] = {x1[c], x2[c], y1[c], y2[c], i1[c], i2[c]};
  return sum;
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define PRAATKIST_COLUMNS 1

// Eight lanes of one AVX register.
typedef float TV8f __attribute__((vector_size(32)));

template <unsigned Channels>
__attribute__((target("avx2,fma"))) inline __m128i ColumnSamples(const std::uint8_t *const *col,
                                                                 std::size_t f) noexcept
{
  if constexpr (Channels == 2) {
    std::int32_t s[4];
    for (unsigned j = 0; j < 4; ++j)
      std::memcpy(s + j, col[j] + f * 4, 4);
    return _mm_setr_epi32(s[0], s[1], s[2], s[3]);
  } else {
    std::int16_t s[8];
    for (unsigned j = 0; j < 8; ++j)
      std::memcpy(s + j, col[j] + f * 2, 2);
    return _mm_setr_epi16(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]);
  }
}

// Channels: 2 (four columns of stereo frames) or 1 (eight columns of mono frames); the
// steps of RunLanes, lane by lane.
template <unsigned Channels>
__attribute__((target("avx2,fma"))) void ColumnKernel(const TKWeighting::TSingle &k,
                                                      TKWeighting::TColumnLanes &st,
                                                      const std::uint8_t *const *columns,
                                                      std::size_t steps,
                                                      double *energies) noexcept
{
  constexpr unsigned kCols = 8 / Channels;
  const TV8f s0 = TV8f{} + k.S0, s1 = TV8f{} + k.S1, s2 = TV8f{} + k.S2, a1 = TV8f{} + k.A1,
             a2 = TV8f{} + k.A2, kk = TV8f{} + k.K, dd = TV8f{} + k.Dd;
  TV8f x1, x2, y1, y2, i1, i2;
  std::memcpy(&x1, st.X1, sizeof x1);
  std::memcpy(&x2, st.X2, sizeof x2);
  std::memcpy(&y1, st.Y1, sizeof y1);
  std::memcpy(&y2, st.Y2, sizeof y2);
  std::memcpy(&i1, st.I1, sizeof i1);
  std::memcpy(&i2, st.I2, sizeof i2);
  double sums[8] = {};
  for (std::size_t f0 = 0; f0 < steps; f0 += kSumRun) {
    TV8f acc = {};
    const std::size_t end = std::min(steps, f0 + kSumRun);
    for (std::size_t f = f0; f < end; ++f) {
      const auto x = reinterpret_cast<TV8f>(
          _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(ColumnSamples<Channels>(columns, f))));
      const TV8f y = (s0 * x + s1 * x1 + s2 * x2 - a2 * y2) - a1 * y1;
      x2 = x1;
      x1 = x;
      y2 = y1;
      y1 = y;
      const TV8f next = kk * i1 + (y - dd * i2);
      const TV8f z = next - i1;
      i2 += i1;
      i1 = next;
      acc += z * z;
    }
    for (unsigned i = 0; i < 8; ++i)
      sums[i] += acc[i];
  }
  std::memcpy(st.X1, &x1, sizeof x1);
  std::memcpy(st.X2, &x2, sizeof x2);
  std::memcpy(st.Y1, &y1, sizeof y1);
  std::memcpy(st.Y2, &y2, sizeof y2);
  std::memcpy(st.I1, &i1, sizeof i1);
  std::memcpy(st.I2, &i2, sizeof i2);
  for (unsigned j = 0; j < kCols; ++j) {
    energies[j] = 0;
    for (unsigned c = 0; c < Channels; ++c)
      energies[j] += sums[j * Channels + c];
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
    : FChannels(std::max<std::uint32_t>(1, channels)), FLanes(FChannels)
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
  double c1 = 0, d = 0;
  {
    // high-pass: 38.14 Hz, Q 0.5003, unity gain far above
    const double f0 = 38.13547087602444, q = 0.5003270373238773;
    const double k = std::tan(kPi * std::min(f0 / fs, 0.49));
    const double a0 = 1.0 + k / q + k * k;
    FHighPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    // 2 + a1 and 1 + a1 + a2, without the cancellation
    c1 = (4.0 * k * k + 2.0 * k / q) / a0;
    d = 4.0 * k * k / a0;
  }
  constexpr double kScale = 1.0 / kFullScale; // 16-bit samples to full scale 1
  FSingle = {static_cast<float>(FShelf.B0 * kScale), static_cast<float>(FShelf.B1 * kScale),
             static_cast<float>(FShelf.B2 * kScale), static_cast<float>(FShelf.A1),
             static_cast<float>(FShelf.A2),        static_cast<float>(1.0 - c1),
             static_cast<float>(d)};
#ifdef PRAATKIST_COLUMNS
  if (HasColumnInstructions() && FChannels <= 2) {
    FColumns = 8 / FChannels;
    FKernel = FChannels == 2 ? ColumnKernel<2> : ColumnKernel<1>;
  }
#endif
}

void TKWeighting::BeginColumns() noexcept
{
  // Column 0 takes the filter's state; the other lanes start from rest.
  FColumnLanes = TColumnLanes{};
  for (unsigned c = 0; c < FChannels && c < 2; ++c) {
    const TLane &l = FLanes[c];
    FColumnLanes.X1[c] = l.X1;
    FColumnLanes.X2[c] = l.X2;
    FColumnLanes.Y1[c] = l.Y1;
    FColumnLanes.Y2[c] = l.Y2;
    FColumnLanes.I1[c] = l.I1;
    FColumnLanes.I2[c] = l.I2;
  }
}

void TKWeighting::RunColumns(const std::uint8_t *const *columns, std::size_t steps,
                             double *energies) noexcept
{
  if (FKernel == nullptr)
    return;
  const TFlushSubnormals flush;
  FKernel(FSingle, FColumnLanes, columns, steps, energies);
}

void TKWeighting::EndColumns() noexcept
{
  if (FColumns == 0)
    return;
  const unsigned last = (FColumns - 1) * FChannels;
  for (unsigned c = 0; c < FChannels && c < 2; ++c) {
    const TColumnLanes &s = FColumnLanes;
    FLanes[c] = {s.X1[last + c], s.X2[last + c], s.Y1[last + c],
                 s.Y2[last + c], s.I1[last + c], s.I2[last + c]};
  }
}

double TKWeighting::Run(const std::uint8_t *data, std::size_t count) noexcept
{
  const TFlushSubnormals flush;
  const std::size_t stride = PcmFrameBytes(FChannels);
  double sum = 0;
  for (std::uint32_t c = 0; c < FChannels; c += 2)
    sum += c + 1 < FChannels ? RunLanes<2>(FSingle, &FLanes[c], data + kSampleBytes * c, count, stride)
                             : RunLanes<1>(FSingle, &FLanes[c], data + kSampleBytes * c, count, stride);
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
