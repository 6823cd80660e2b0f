// The figures a take's analysis measures (loudness, peak, RMS, noise floor, clipped
// samples), on signals made here, read in one go and in stretches side by side.

#include "audio/BassRecorder.h"
#include "support/ScriptedAudioLayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace praatkist;
using praatkist::audio::TTakeFigures;
using praatkist::test::TScriptedAudioLayer;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::int16_t Sample(double v)
{
  return static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

// A sine of Hz at a peak of Db dBFS on every channel.
std::vector<std::int16_t> Sine(std::uint32_t rate, std::uint32_t chans, double seconds, double hz,
                               double db)
{
  const auto frames = static_cast<std::size_t>(seconds * rate);
  const double amp = 32768.0 * std::pow(10.0, db / 20.0);
  std::vector<std::int16_t> s(frames * chans);
  for (std::size_t f = 0; f < frames; ++f)
    for (std::uint32_t c = 0; c < chans; ++c)
      s[f * chans + c] = Sample(amp * std::sin(2 * std::numbers::pi * hz * static_cast<double>(f) / rate));
  return s;
}

// Speech-like: 0.7 s bursts of a wavering tone, 0.9 s gaps of room noise whose every
// sample has magnitude Noise (its RMS exactly that).
std::vector<std::int16_t> Bursts(std::uint32_t rate, std::uint32_t chans, double seconds,
                                 int noise)
{
  const auto frames = static_cast<std::size_t>(seconds * rate);
  std::vector<std::int16_t> s(frames * chans);
  std::uint32_t seed = 5;
  for (std::size_t f = 0; f < frames; ++f) {
    const double t = static_cast<double>(f) / rate;
    const bool talk = std::fmod(t, 1.6) < 0.7;
    for (std::uint32_t c = 0; c < chans; ++c) {
      seed = seed * 1664525u + 1013904223u;
      const int room = (seed >> 31) != 0 ? noise : -noise;
      s[f * chans + c] =
          talk ? Sample(9000 * (1 + 0.3 * std::sin(7 * t)) * std::sin(2 * std::numbers::pi * (180 + 60 * c) * t))
               : static_cast<std::int16_t>(room);
    }
  }
  return s;
}

class TakeFigures : public ::testing::Test {
protected:
  TScriptedAudioLayer layer;
  TBassRecorder rec{layer};

  TTakeFigures Measure(const std::string &path, std::uint32_t rate, std::uint32_t chans,
                       std::vector<std::int16_t> samples, std::uint64_t reported = 0)
  {
    TScriptedAudioLayer::TScriptedStream s;
    s.Freq = rate;
    s.Chans = chans;
    s.Samples = std::move(samples);
    if (reported != 0)
      s.ReportedLength = reported;
    layer.AddStream(path, std::move(s));
    return Analyze(path, 1);
  }
  TTakeFigures Analyze(const std::string &path, unsigned chunks)
  {
    // the engine's analysis, shared out as its tuning would
    return audio::AnalyzeTake(layer, {chunks, 0, false}, path, 2000, nullptr, true).Figures;
  }
};

} // namespace

TEST_F(TakeFigures, LoudnessOfTheBasicReferenceSines)
{
  // a stereo 1 kHz sine at -23 dBFS reads -23 LUFS, at -33 dBFS -33 LUFS
  for (double db : {-23.0, -33.0}) {
    const TTakeFigures f = Measure("/t/ref" + std::to_string(db) + ".wav", 48000, 2,
                                   Sine(48000, 2, 20, 1000, db));
    EXPECT_TRUE(f.Measured);
    EXPECT_NEAR(f.LoudnessLufs, db, 0.1);
    EXPECT_NEAR(f.PeakDb, db, 0.1);
    EXPECT_NEAR(f.RmsDb, db - 3.01, 0.1);
    EXPECT_EQ(f.ClippedSamples, 0u);
  }
}

TEST_F(TakeFigures, PeakRmsAndNoiseFloorOfKnownSignals)
{
  // a mono sine at half of full scale: peak -6.02 dB, RMS -9.03 dB, and that all along
  TTakeFigures f = Measure("/t/sine.wav", 44100, 1, Sine(44100, 1, 10, 440, -6.0206));
  EXPECT_NEAR(f.PeakDb, -6.02, 0.1);
  EXPECT_NEAR(f.RmsDb, -9.03, 0.1);
  EXPECT_NEAR(f.NoiseFloorDb, -9.03, 0.1);

  // room noise of magnitude 18 between bursts of speech: the floor is the noise's
  // -65.2 dB, the RMS that of the whole take
  f = Measure("/t/bursts.wav", 48000, 2, Bursts(48000, 2, 30, 18));
  EXPECT_NEAR(f.NoiseFloorDb, 20 * std::log10(18 / 32768.0), 0.1);
  EXPECT_GT(f.RmsDb, -30);
  EXPECT_LT(f.RmsDb, -10);

  // silence: nothing to measure, and nothing clipped
  f = Measure("/t/silence.wav", 48000, 2, std::vector<std::int16_t>(96000, 0));
  EXPECT_EQ(f.LoudnessLufs, -kInf);
  EXPECT_EQ(f.PeakDb, -kInf);
  EXPECT_EQ(f.RmsDb, -kInf);
  EXPECT_EQ(f.NoiseFloorDb, -kInf);
  EXPECT_EQ(f.ClippedSamples, 0u);
}

TEST_F(TakeFigures, ClippedSamplesAreCountedAtEitherEnd)
{
  // a sine driven half again past full scale, and a few samples just below clipping
  std::vector<std::int16_t> s = Sine(48000, 2, 3, 200, 3.52);
  s[10] = 32766;
  s[11] = -32766;
  const auto clipped = std::count_if(s.begin(), s.end(),
                                     [](std::int16_t v) { return v >= 32767 || v <= -32767; });
  ASSERT_GT(clipped, 1000);
  const TTakeFigures f = Measure("/t/clip.wav", 48000, 2, s);
  EXPECT_EQ(f.ClippedSamples, static_cast<std::uint64_t>(clipped));
  EXPECT_EQ(f.PeakDb, 0.0);
}

TEST_F(TakeFigures, StretchesSideBySideMeasureWhatOneReadingMeasures)
{
  struct Row {
    std::uint32_t Rate, Chans;
    double Seconds;
    std::uint64_t Reported; // bytes; 0: what the stream holds
  };
  const Row rows[] = {
      {48000, 2, 23.37, 0},
      {44100, 1, 17.01, 0},
      {11025, 2, 9.3, 0},
      {48000, 1, 0.3, 0},                // shorter than a block
      {48000, 2, 12.0, 48000 * 4 * 20}, // ends before its reported length
  };
  int n = 0;
  for (const Row &row : rows) {
    const std::string path = "/t/s" + std::to_string(n++) + ".mp3";
    const TTakeFigures whole = Measure(path, row.Rate, row.Chans,
                                       Bursts(row.Rate, row.Chans, row.Seconds, 40), row.Reported);
    ASSERT_TRUE(whole.Measured);
    for (unsigned chunks : {2u, 3u, 7u}) {
      const TTakeFigures side = Analyze(path, chunks);
      // a cell that straddles a join is the earlier stretch's; the later stretch's
      // filter, started from rest a cell before it counts, is off by a billionth
      if (std::isfinite(whole.LoudnessLufs))
        EXPECT_NEAR(side.LoudnessLufs, whole.LoudnessLufs, 1e-4) << path << " in " << chunks;
      else
        EXPECT_EQ(side.LoudnessLufs, whole.LoudnessLufs) << path;
      EXPECT_EQ(side.PeakDb, whole.PeakDb) << path << " in " << chunks;
      EXPECT_EQ(side.RmsDb, whole.RmsDb) << path << " in " << chunks;
      EXPECT_EQ(side.NoiseFloorDb, whole.NoiseFloorDb) << path << " in " << chunks;
      EXPECT_EQ(side.ClippedSamples, whole.ClippedSamples) << path << " in " << chunks;
    }
  }
}
