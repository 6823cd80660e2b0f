// The take's loudness meter against libebur128 as the reference: the K-weighting
// filters at the standard's 48 kHz coefficients, and the integrated loudness of gated,
// wandering signals at the rates a take is recorded at, mono and stereo.

#include "audio/analysis/Loudness.h"
#include "audio/analysis/FigureMeter.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <cstring>

using namespace praatkist::audio;

namespace {

// Talk at a level that changes every burst between -45 and -10 dBFS, gaps of faint
// room noise, and now and then a long pause of digital silence: both gates have work.
std::vector<std::int16_t> Talk(std::uint32_t rate, std::uint32_t chans, double seconds)
{
  const auto frames = static_cast<std::size_t>(seconds * rate);
  std::vector<std::int16_t> s(frames * chans);
  std::uint32_t seed = 11;
  for (std::size_t f = 0; f < frames; ++f) {
    const double t = static_cast<double>(f) / rate;
    const auto burst = static_cast<int>(t / 1.3);
    const double in = std::fmod(t, 1.3);
    const double level = std::pow(10.0, (-45.0 + (burst * 37 % 36)) / 20.0);
    for (std::uint32_t c = 0; c < chans; ++c) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = static_cast<double>(static_cast<std::int16_t>(seed >> 16)) / 32768.0;
      double v = 0;
      if (burst % 9 == 8)
        v = 0; // digital silence
      else if (in < 0.8)
        v = level * (std::sin(2 * std::numbers::pi * (140 + 30 * c + 900 * in) * t) + 0.3 * noise);
      else
        v = 0.0005 * noise;
      s[f * chans + c] = static_cast<std::int16_t>(std::lround(v * 32767));
    }
  }
  return s;
}

double Reference(std::uint32_t rate, std::uint32_t chans, const std::vector<std::int16_t> &s)
{
  ebur128_state *st = ebur128_init(chans, rate, EBUR128_MODE_I);
  EXPECT_NE(st, nullptr);
  EXPECT_EQ(ebur128_add_frames_short(st, s.data(), s.size() / chans), EBUR128_SUCCESS);
  double lufs = 0;
  EXPECT_EQ(ebur128_loudness_global(st, &lufs), EBUR128_SUCCESS);
  ebur128_destroy(&st);
  return lufs;
}

// Pieces: 0 for uneven pieces, as the decoder hands them over; else that many frames
// at a time.
double Ours(std::uint32_t rate, std::uint32_t chans, const std::vector<std::int16_t> &s,
            std::uint64_t pieces = 0)
{
  TFigureMeter meter(chans, rate, 0, s.size() / chans, true);
  std::vector<std::uint8_t> bytes(s.size() * 2);
  std::memcpy(bytes.data(), s.data(), bytes.size());
  const std::uint64_t frames = s.size() / chans;
  for (std::uint64_t at = 0, piece = 1; at < frames; piece = piece * 7 % 9001 + 1) {
    const std::uint64_t n = std::min(pieces != 0 ? pieces : piece, frames - at);
    meter.Add(bytes.data() + at * 2 * chans, n, at);
    at += n;
  }
  return TFigureMeter::Combine({&meter}).LoudnessLufs;
}

} // namespace

TEST(Loudness, KWeightingAt48kHzHasTheStandardsCoefficients)
{
  const TKWeighting k(2, 48000);
  EXPECT_NEAR(k.Shelf().B0, 1.53512485958697, 1e-9);
  EXPECT_NEAR(k.Shelf().B1, -2.69169618940638, 1e-9);
  EXPECT_NEAR(k.Shelf().B2, 1.19839281085285, 1e-9);
  EXPECT_NEAR(k.Shelf().A1, -1.69065929318241, 1e-9);
  EXPECT_NEAR(k.Shelf().A2, 0.73248077421585, 1e-9);
  EXPECT_NEAR(k.HighPass().A1, -1.99004745483398, 1e-9);
  EXPECT_NEAR(k.HighPass().A2, 0.99007225036621, 1e-9);
}

TEST(Loudness, IntegratedLoudnessAgreesWithLibebur128)
{
  for (std::uint32_t rate : {44100u, 48000u, 96000u})
    for (std::uint32_t chans : {1u, 2u}) {
      const std::vector<std::int16_t> s = Talk(rate, chans, 25.3);
      const double want = Reference(rate, chans, s);
      ASSERT_TRUE(std::isfinite(want));
      EXPECT_NEAR(Ours(rate, chans, s), want, 0.01) << rate << " Hz, " << chans << " channels";
    }
  // quieter talk on a DC offset, at the rate where the high-pass's poles sit closest
  // to 1: the filter's single-precision rounding must stay out of the low end
  for (std::uint32_t chans : {1u, 2u}) {
    std::vector<std::int16_t> s = Talk(96000, chans, 12.1);
    for (std::int16_t &v : s)
      v = static_cast<std::int16_t>(v / 20 + 2500);
    EXPECT_NEAR(Ours(96000, chans, s), Reference(96000, chans, s), 0.01) << chans << " channels";
  }
  // nothing over the gate: a constant offset, which the high-pass takes away
  const std::vector<std::int16_t> quiet(48000 * 2 * 3, 3);
  EXPECT_EQ(Reference(48000, 2, quiet), -HUGE_VAL);
  EXPECT_EQ(Ours(48000, 2, quiet), -HUGE_VAL);
}

TEST(Loudness, FilteringInColumnsMatchesOneFilterFrameByFrame)
{
  // The meter filters stretches of a take side by side (where the processor can); the
  // cells it puts together must be those of one filter that heard every frame in turn.
  for (std::uint32_t chans : {1u, 2u}) {
    const std::uint32_t rate = 48000;
    const std::vector<std::int16_t> s = Talk(rate, chans, 31.7);
    TKWeighting one(chans, rate);
    const std::uint64_t cell = TFigureMeter::CellFrames(rate);
    std::vector<double> cells;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(s.data());
    for (std::uint64_t at = 0; at + cell <= s.size() / chans; at += cell)
      cells.push_back(one.Run(bytes + at * 2 * chans, cell));
    // (single-precision rounding differs a little where a column starts from rest:
    // about 10^-9 LU; a column that does not hand its state on costs 2 10^-7)
    const double want = GatedLoudness(cells, cell);
    EXPECT_NEAR(Ours(rate, chans, s), want, 1e-8) << chans << " channels";
    // blocks the meter filters where they lie, two at a time and one and a half
    const std::uint64_t block = TFigureMeter(chans, rate, 0, 1, true).BlockFrames();
    ASSERT_GT(block, 0u);
    for (std::uint64_t n : {2 * block, block + block / 2})
      EXPECT_NEAR(Ours(rate, chans, s, n), want, 1e-8) << chans << " channels, " << n;
  }
}
