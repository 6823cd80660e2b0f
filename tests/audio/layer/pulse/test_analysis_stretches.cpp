// Waveform analysis of real MP3 takes decoded in stretches side by side, on the real
// Linux audio layer: the peaks equal those of one reading from the start, and the
// loudness of an hour's take read in two stretches equals one reading's and ffmpeg's.

#include "audio/BassRecorder.h"
#include "support/PulseTestKit.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>

using namespace praatkist;
using namespace praatkist::test;
namespace fs = std::filesystem;

namespace {

// Passes every call on to the real layer, counting the decoding streams opened and
// the positionings asked for.
class TCountingLayer : public audio::IAudioLayer {
public:
  explicit TCountingLayer(audio::IAudioLayer &inner) : F(inner) {}
  std::atomic<int> Opened{0}, Positioned{0};

  bool Init() override { return F.Init(); }
  void Free() override { F.Free(); }
  int ErrorGetCode() override { return F.ErrorGetCode(); }
  bool RecordGetDeviceInfo(int i, audio::TAudioDeviceInfo &d) override
  {
    return F.RecordGetDeviceInfo(i, d);
  }
  std::uint32_t DeviceListSerial() override { return F.DeviceListSerial(); }
  bool RecordInit(int i) override { return F.RecordInit(i); }
  void RecordFree() override { F.RecordFree(); }
  audio::THandle RecordStart(std::uint32_t rate, std::uint32_t chans, audio::TRecordProc proc,
                             void *user) override
  {
    return F.RecordStart(rate, chans, proc, user);
  }
  bool ChannelPlay(audio::THandle c, bool restart) override { return F.ChannelPlay(c, restart); }
  void ChannelStop(audio::THandle c) override { F.ChannelStop(c); }
  int ChannelIsActive(audio::THandle c) override { return F.ChannelIsActive(c); }
  bool ChannelDataLost(audio::THandle c) override { return F.ChannelDataLost(c); }
  bool ChannelGetInfo(audio::THandle c, audio::TChannelInfo &i) override
  {
    return F.ChannelGetInfo(c, i);
  }
  std::uint64_t ChannelGetLength(audio::THandle c) override { return F.ChannelGetLength(c); }
  std::uint64_t ChannelGetPosition(audio::THandle c) override { return F.ChannelGetPosition(c); }
  bool ChannelSetPosition(audio::THandle c, std::uint64_t bytes) override
  {
    ++Positioned;
    return F.ChannelSetPosition(c, bytes);
  }
  double ChannelBytes2Seconds(audio::THandle c, std::uint64_t b) override
  {
    return F.ChannelBytes2Seconds(c, b);
  }
  bool ChannelGetLevelEx(audio::THandle c, float l[2], float s) override
  {
    return F.ChannelGetLevelEx(c, l, s);
  }
  std::uint32_t ChannelGetData(audio::THandle c, void *b, std::uint32_t n) override
  {
    return F.ChannelGetData(c, b, n);
  }
  audio::THandle StreamCreateFile(const fs::path &file, bool decode) override
  {
    ++Opened;
    return F.StreamCreateFile(file, decode);
  }
  void StreamFree(audio::THandle s) override { F.StreamFree(s); }

private:
  audio::IAudioLayer &F;
};

// Loud nearly throughout (noise under a gliding tone, its loudness wandering), with
// one second of silence at a fifth of the way: borders of 2, 3, 5 or 7 stretches fall
// in sound.
std::vector<std::int16_t> LoudTake(std::uint32_t rate, std::uint32_t chans, double seconds)
{
  const auto frames = static_cast<std::size_t>(seconds * rate);
  std::vector<std::int16_t> s(frames * chans);
  std::uint32_t seed = 77;
  for (std::size_t f = 0; f < frames; ++f) {
    const double t = static_cast<double>(f) / rate;
    const bool quiet = t >= seconds / 5 && t < seconds / 5 + 1.0;
    for (std::uint32_t c = 0; c < chans; ++c) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = static_cast<double>(static_cast<std::int16_t>(seed >> 16)) / 32768.0;
      const double v = quiet ? 0.0
                             : (0.3 + 0.25 * std::sin(t * (1.3 + c))) *
                                   (std::sin(2 * M_PI * (200 + 40 * t) * t) + 0.5 * noise);
      s[f * chans + c] = static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32000));
    }
  }
  return s;
}

// The MP3 of Wav through the take's MP3 writer, as a trim encodes anew.
void EncodeWithLayer(audio::IAudioLayer &layer, const fs::path &wav, const fs::path &mp3, int kbps)
{
  ASSERT_GT(test::TranscodeToMp3(layer, wav, mp3, kbps), 0u);
}

} // namespace

TEST(AnalysisStretchesReal, PeaksEqualOneReadingOnTakesOfSeveralRatesLengthsAndChannels)
{
  REQUIRE_PULSE();
  auto real = audio::CreateSystemAudioLayer();
  TCountingLayer layer(*real);
  TBassRecorder rec(layer);
  audio::TAnalysisSplit split; // the engine's tuning of its analyses
  TTempDir dir;

  struct Row {
    std::uint32_t Rate, Chans;
    double Seconds;
    int Kbps;
    const char *Lame; // nullptr: the layer's encoder; else the options of the lame command
    std::uint32_t DecodedRate;
  };
  const Row rows[] = {
      {44100, 1, 6.5, 128, nullptr, 44100},
      {48000, 2, 8.3, 192, nullptr, 48000},
      {96000, 2, 4.1, 256, nullptr, 48000}, // LAME writes a 96 kHz take at 48 kHz
      {48000, 1, 7.7, 320, nullptr, 48000},
      {44100, 2, 5.2, 192, "--cbr -b 192 -t", 44100},         // no LAME tag
      {48000, 1, 6.0, 0, "--cbr -b 64 --resample 24", 24000}, // MPEG-2
  };
  int n = 0;
  for (const Row &row : rows) {
    const fs::path wav = dir / ("bron" + std::to_string(n) + ".wav");
    const fs::path mp3 = dir / ("take" + std::to_string(n++) + ".mp3");
    WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, row.Rate, row.Chans,
               LoudTake(row.Rate, row.Chans, row.Seconds));
    if (row.Lame == nullptr)
      EncodeWithLayer(layer, wav, mp3, row.Kbps);
    else
      Shell(std::string("lame --quiet ") + row.Lame + " '" + wav.string() + "' '" + mp3.string() +
            "'");
    const TDecoded d = Decode(mp3);
    ASSERT_TRUE(d.Ok) << mp3;
    ASSERT_EQ(d.Rate, static_cast<int>(row.DecodedRate)) << mp3;

    // one point per frame as well: every sample counts
    for (int maxPoints : {2000, 37, 1 << 24}) {
      std::vector<std::int32_t> oneL, oneR;
      double oneDuration = 0;
      int oneChannels = 0;
      split = {1, 0, true};
      {
        TWaveAnalysis wave = audio::AnalyzeTake(layer, split, mp3, maxPoints);
        oneL = std::move(wave.LeftPeaks);
        oneR = std::move(wave.RightPeaks);
        oneDuration = wave.Duration;
        oneChannels = wave.ChannelCount;
      }
      ASSERT_GT(oneL.size(),
                std::min<std::size_t>(static_cast<std::size_t>(maxPoints / 2), 100000));
      for (unsigned chunks : {2u, 3u, 5u, 7u}) {
        split = {chunks, 0, true};
        layer.Opened = 0;
        layer.Positioned = 0;
        std::vector<std::int32_t> l, r;
        double duration = 0;
        int channels = 0;
        {
          TWaveAnalysis wave2 = audio::AnalyzeTake(layer, split, mp3, maxPoints);
          l = std::move(wave2.LeftPeaks);
          r = std::move(wave2.RightPeaks);
          duration = wave2.Duration;
          channels = wave2.ChannelCount;
        }
        EXPECT_EQ(layer.Opened.load(), static_cast<int>(chunks)) << "one stream per stretch";
        EXPECT_EQ(layer.Positioned.load(), static_cast<int>(chunks) - 1);
        EXPECT_EQ(l, oneL) << mp3 << " in " << chunks << " stretches, " << maxPoints << " points";
        EXPECT_EQ(r, oneR) << mp3 << " in " << chunks << " stretches, " << maxPoints << " points";
        EXPECT_EQ(duration, oneDuration);
        EXPECT_EQ(channels, oneChannels);
      }
    }
  }
  // A WAV take decodes to its own size: it is read in one go.
  split = {4, 0, true};
  layer.Opened = 0;
  EXPECT_GT(audio::AnalyzeTake(layer, split, dir / "bron1.wav", 2000).LeftPeaks.size(), 1000u);
  EXPECT_EQ(layer.Opened.load(), 1);
  // Unless its figures are measured: that is work for every core.
  layer.Opened = 0;
  const audio::TTakeFigures figures = audio::AnalyzeTake(layer, split, dir / "bron1.wav", 2000, nullptr, true).Figures;
  EXPECT_EQ(layer.Opened.load(), 4);
  EXPECT_TRUE(figures.Measured);
}

namespace {

// An hour of speech-like mono at 48 kHz: 0.7 s bursts of a two-tone voice, each at its
// own level between -32 and -12 dBFS, and 0.9 s of quiet room between them.
void WriteHourOfSpeech(const fs::path &wav)
{
  const int rate = 48000;
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE *f = sf_open(wav.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<double> voice(rate);
  for (int i = 0; i < rate; ++i)
    voice[i] = std::sin(2 * M_PI * 220 * i / rate) + 0.5 * std::sin(2 * M_PI * 330 * i / rate);
  std::vector<short> block(rate);
  std::uint32_t seed = 3;
  for (int second = 0; second < 3600; ++second) {
    for (int i = 0; i < rate; ++i) {
      const long frame = static_cast<long>(second) * rate + i;
      const long burst = frame / (rate * 16 / 10);
      const bool talk = frame % (rate * 16 / 10) < rate * 7 / 10;
      seed = seed * 1664525u + 1013904223u;
      const double gain = 32768 * std::pow(10.0, (-32.0 + static_cast<double>(burst * 7919 % 21)) / 20) / 1.5;
      block[i] = static_cast<short>(talk ? std::lround(gain * voice[i]) : (seed >> 31 ? 20 : -20));
    }
    ASSERT_EQ(sf_write_short(f, block.data(), rate), rate);
  }
  ASSERT_EQ(sf_close(f), 0);
}

} // namespace

TEST(AnalysisStretchesReal, LoudnessOfAnHourInTwoStretchesEqualsOneReadingAndFfmpeg)
{
  REQUIRE_PULSE();
  auto layer = audio::CreateSystemAudioLayer();
  TBassRecorder rec(*layer);
  audio::TAnalysisSplit split;
  TTempDir dir;
  const fs::path wav = dir / "uur.wav";
  WriteHourOfSpeech(wav);

  const auto measure = [&](unsigned chunks) {
    split = {chunks, 0, false};
    const TWaveAnalysis wave = audio::AnalyzeTake(*layer, split, wav, 2000, nullptr, true);
    EXPECT_NEAR(wave.Duration, 3600.0, 1e-9);
    return wave.Figures;
  };
  const audio::TTakeFigures one = measure(1);
  const audio::TTakeFigures two = measure(2);
  ASSERT_TRUE(std::isfinite(one.LoudnessLufs));
  EXPECT_NEAR(two.LoudnessLufs, one.LoudnessLufs, 0.1);
  EXPECT_EQ(two.RmsDb, one.RmsDb);
  EXPECT_EQ(two.NoiseFloorDb, one.NoiseFloorDb);
  EXPECT_NEAR(one.NoiseFloorDb, 20 * std::log10(20 / 32768.0), 0.1);

  // ffmpeg's ebur128 filter, its integrated loudness after the last frame
  const fs::path log = dir / "r128.txt";
  Shell("ffmpeg -nostdin -hide_banner -nostats -loglevel error -i '" + wav.string() +
        "' -af 'ebur128=metadata=1,ametadata=mode=print:key=lavfi.r128.I:file=" + log.string() +
        "' -f null -");
  std::ifstream in(log);
  std::string line, last;
  while (std::getline(in, line))
    if (line.rfind("lavfi.r128.I=", 0) == 0)
      last = line.substr(13);
  ASSERT_FALSE(last.empty()) << "no loudness from ffmpeg";
  EXPECT_NEAR(one.LoudnessLufs, std::stod(last), 0.1);
  EXPECT_NEAR(two.LoudnessLufs, std::stod(last), 0.1);
}
