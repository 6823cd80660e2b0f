#include "audio/WorkControl.h"
#include "audio/export/TakeExport.h"
#include "platform/Errors.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

using namespace praatkist;
using namespace praatkist::audio;
namespace fs = std::filesystem;
using praatkist::test::TScriptedAudioLayer;

namespace {

// Frames of a sine of Hz at Amplitude, the same on every channel but the right one
// (stereo), which carries the sine's negative: a mono mean is then silence.
std::vector<std::int16_t> Sine(std::uint32_t rate, std::uint32_t channels, double seconds,
                               double hz, double amplitude, bool rightInverted = false)
{
  const auto frames = static_cast<std::size_t>(seconds * rate);
  std::vector<std::int16_t> s(frames * channels);
  for (std::size_t f = 0; f < frames; ++f) {
    const double v = amplitude * std::sin(2 * std::numbers::pi * hz * f / rate);
    for (std::uint32_t c = 0; c < channels; ++c)
      s[f * channels + c] = static_cast<std::int16_t>(std::lround(c == 1 && rightInverted ? -v : v));
  }
  return s;
}

struct TRead {
  int Rate = 0, Channels = 0;
  std::vector<std::int16_t> Samples;
};

TRead ReadWave(const fs::path &file)
{
  SF_INFO info{};
  SNDFILE *f = sf_open(file.string().c_str(), SFM_READ, &info);
  TRead r;
  if (f == nullptr)
    return r;
  r.Rate = info.samplerate;
  r.Channels = info.channels;
  r.Samples.resize(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_short(f, r.Samples.data(), info.frames);
  sf_close(f);
  return r;
}

// Frequency by rising zero crossings, and RMS, of the middle of a mono signal.
void Measure(const std::vector<std::int16_t> &s, int rate, double &hz, double &rms)
{
  const std::size_t from = s.size() / 4, to = 3 * s.size() / 4;
  int rises = 0;
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) {
    if (s[i - 1] < 0 && s[i] >= 0)
      ++rises;
    sum += double(s[i]) * s[i];
  }
  hz = rises * double(rate) / double(to - from);
  rms = std::sqrt(sum / double(to - from));
}

class TakeExport : public ::testing::Test {
protected:
  test::TTempDir dir;
  TScriptedAudioLayer layer;
};

} // namespace

TEST_F(TakeExport, RateAndChannelsAsAskedWithTheToneKept)
{
  TScriptedAudioLayer::TScriptedStream take;
  take.Samples = Sine(48000, 2, 2.0, 1000.0, 16384.0);
  layer.AddStream("/takes/Koor-1.wav", take);
  struct Row {
    TExportFormat Format;
    int Rate, Channels;
  };
  for (const Row &row : {Row{{22050, true}, 22050, 1}, Row{{16000, false}, 16000, 2},
                         Row{{44100, true}, 44100, 1}, Row{{0, true}, 48000, 1}}) {
    const fs::path target = dir.Path() / ("uit-" + std::to_string(row.Rate) + ".wav");
    const TExportedTake done = ExportTake(layer, "/takes/Koor-1.wav", target, row.Format);
    const TRead r = ReadWave(target);
    ASSERT_EQ(r.Rate, row.Rate);
    ASSERT_EQ(r.Channels, row.Channels);
    EXPECT_EQ(done.Frames, r.Samples.size() / r.Channels);
    // every frame of the take, at the new rate, to within one
    EXPECT_NEAR(double(done.Frames), 2.0 * row.Rate, 1.0) << row.Rate;
    std::vector<std::int16_t> left;
    for (std::size_t i = 0; i < r.Samples.size(); i += r.Channels)
      left.push_back(r.Samples[i]);
    double hz = 0, rms = 0;
    Measure(left, r.Rate, hz, rms);
    EXPECT_NEAR(hz, 1000.0, 2.0) << row.Rate;
    EXPECT_NEAR(20 * std::log10(rms / (16384.0 / std::sqrt(2.0))), 0.0, 0.05) << row.Rate;
    // The header is the program's own: 44 bytes, then the samples.
    EXPECT_EQ(fs::file_size(target), 44 + r.Samples.size() * 2);
  }
}

TEST_F(TakeExport, MonoIsTheMeanAndTheTakesOwnRateIsCopiedExactly)
{
  TScriptedAudioLayer::TScriptedStream take;
  take.Samples = {100, 300, -5, -6, 7, 7, 32767, 32767, -32768, -32768};
  layer.AddStream("/takes/Koor-2.wav", take);
  ExportTake(layer, "/takes/Koor-2.wav", dir.Path() / "mono.wav", {0, true});
  EXPECT_EQ(ReadWave(dir.Path() / "mono.wav").Samples,
            (std::vector<std::int16_t>{200, -6, 7, 32767, -32768}));
  ExportTake(layer, "/takes/Koor-2.wav", dir.Path() / "stereo.wav", {48000, false});
  EXPECT_EQ(ReadWave(dir.Path() / "stereo.wav").Samples, take.Samples);
}

TEST_F(TakeExport, FailureOrCancelLeavesNoFileAndNeverWritesOverOne)
{
  TScriptedAudioLayer::TScriptedStream take;
  take.Samples = Sine(48000, 2, 3.0, 440.0, 8000.0);
  layer.AddStream("/takes/Koor-3.wav", take);
  const fs::path there = dir.Path() / "er-al.wav";
  test::WriteBytes(there, "van iemand", 10);
  EXPECT_THROW(ExportTake(layer, "/takes/Koor-3.wav", there, {22050, true}), EFileError);
  EXPECT_EQ(fs::file_size(there), 10u);

  TWorkControl control;
  control.Cancel();
  EXPECT_THROW(ExportTake(layer, "/takes/Koor-3.wav", dir.Path() / "a.wav", {22050, true}, &control),
               EWorkCancelled);
  EXPECT_FALSE(fs::exists(dir.Path() / "a.wav"));
  EXPECT_THROW(ExportTake(layer, "/takes/weg.wav", dir.Path() / "b.wav", {22050, true}), EAudioError);
  EXPECT_FALSE(fs::exists(dir.Path() / "b.wav"));
}
