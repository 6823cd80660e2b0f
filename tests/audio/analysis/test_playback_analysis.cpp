// Playback and waveform analysis of the engine, on the scripted audio layer.

#include "audio/BassRecorder.h"
#include "audio/analysis/PointLayout.h"
#include "audio/playback/PlaybackLevel.h"
#include "audio/codec/SndfileDecoder.h"
#include "platform/Errors.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

using namespace praatkist;
using praatkist::audio::ComputePointLayout;
using praatkist::audio::LevelToPeak;
using praatkist::test::TScriptedAudioLayer;

TEST(LevelToPeak, ScaleRoundingAndClamp)
{
  EXPECT_EQ(LevelToPeak(1.0, 0.0), 32768);
  EXPECT_EQ(LevelToPeak(0.0, 1.0), 32768);
  EXPECT_EQ(LevelToPeak(0.0, 0.0), 0);
  EXPECT_EQ(LevelToPeak(0.5, 0.25), 16384);
  // products ending in .5 go to the even neighbour
  EXPECT_EQ(LevelToPeak(2.5 / 32768.0, 0.0), 2);
  EXPECT_EQ(LevelToPeak(3.5 / 32768.0, 0.0), 4);
  EXPECT_EQ(LevelToPeak(0.0, 16384.5 / 32768.0), 16384);
  EXPECT_EQ(LevelToPeak(2.6 / 32768.0, 0.0), 3);
  // the louder channel wins; clamped to 0 .. 65535
  EXPECT_EQ(LevelToPeak(0.25, 0.75), 24576);
  EXPECT_EQ(LevelToPeak(2.5, 0.0), 65535);
  EXPECT_EQ(LevelToPeak(-0.5, -1.0), 0);
  EXPECT_EQ(LevelToPeak(std::nan(""), 0.5), 16384);
}

TEST(PointLayout, FramesPerPointAndPointCount)
{
  auto l = ComputePointLayout(4001, 2000);
  EXPECT_EQ(l.FramesPerPoint, 3u);
  EXPECT_EQ(l.Points, 1334);
  l = ComputePointLayout(1001, 2000);
  EXPECT_EQ(l.FramesPerPoint, 1u);
  EXPECT_EQ(l.Points, 1001);
  l = ComputePointLayout(1000000, 2000);
  EXPECT_EQ(l.FramesPerPoint, 500u);
  EXPECT_EQ(l.Points, 2000);
  l = ComputePointLayout(0, 2000);
  EXPECT_EQ(l.Points, 0);
  l = ComputePointLayout(12345, 0);
  EXPECT_EQ(l.FramesPerPoint, 12345u);
  EXPECT_EQ(l.Points, 1);
  l = ComputePointLayout(12345, -7);
  EXPECT_EQ(l.Points, 1);
  // the largest counts stay within bounds
  l = ComputePointLayout(~std::uint64_t{0}, 2000);
  EXPECT_GE(l.Points, 0);
  EXPECT_LE(l.Points, 2000);
}

namespace {

class EngineStreams : public ::testing::Test {
protected:
  TScriptedAudioLayer layer;
  std::unique_ptr<TBassRecorder> rec = std::make_unique<TBassRecorder>(layer);
  // How the analyses below share out their decoding (the engine's tuning).
  audio::TAnalysisSplit split;

  void Add(const char *path, std::uint32_t freq, std::uint32_t chans,
           std::vector<std::int16_t> samples)
  {
    TScriptedAudioLayer::TScriptedStream s;
    s.Freq = freq;
    s.Chans = chans;
    s.Samples = std::move(samples);
    layer.AddStream(path, std::move(s));
  }

  struct Analysis {
    std::vector<std::int32_t> L, R;
    double Duration = -1;
    int Channels = -1;
  };
  Analysis Analyze(const char *path, int maxPoints = 2000)
  {
    Analysis a{{1, 2}, {3}, -1, -1};
    {
      TWaveAnalysis wave = audio::AnalyzeTake(layer, split, path, maxPoints);
      a.L = std::move(wave.LeftPeaks);
      a.R = std::move(wave.RightPeaks);
      a.Duration = wave.Duration;
      a.Channels = wave.ChannelCount;
    }
    return a;
  }
};

} // namespace

TEST_F(EngineStreams, NothingOpenMeansZeroes)
{
  EXPECT_FALSE(rec->Status().Playing);
  EXPECT_EQ(rec->Status().PlaybackSeconds, 0.0);
  EXPECT_EQ(rec->Status().PlaybackLength, 0.0);
  EXPECT_EQ(rec->Status().PlaybackLevel, 0);
  rec->StopPlayback();
  rec->StopPlayback();
}

TEST_F(EngineStreams, PlaybackRunsToItsEndAndStaysOpen)
{
  Add("/takes/a.wav", 48000, 2, std::vector<std::int16_t>(96000 * 2, 100)); // 2 s
  rec->PlayFile("/takes/a.wav");
  const auto stream = layer.OpenStreams.begin()->first;
  EXPECT_TRUE(rec->Status().Playing);
  EXPECT_DOUBLE_EQ(rec->Status().PlaybackLength, 2.0);
  layer.SetPlaybackPosition(stream, 96000, false);
  EXPECT_DOUBLE_EQ(rec->Status().PlaybackSeconds, 0.5);
  layer.Level[0] = 0.5f;
  layer.Level[1] = 0.25f;
  EXPECT_EQ(rec->Status().PlaybackLevel, 16384);

  layer.SetPlaybackPosition(stream, 384000, true);
  EXPECT_FALSE(rec->Status().Playing);
  EXPECT_DOUBLE_EQ(rec->Status().PlaybackLength, 2.0);
  EXPECT_DOUBLE_EQ(rec->Status().PlaybackSeconds, 2.0);
  EXPECT_EQ(layer.OpenStreams.size(), 1u);

  rec->StopPlayback();
  EXPECT_TRUE(layer.OpenStreams.empty());
  rec->StopPlayback(); // twice is harmless
  EXPECT_EQ(rec->Status().PlaybackLength, 0.0);
}

TEST_F(EngineStreams, NewPlaybackFreesTheFirstAndCaptureStopsPlayback)
{
  Add("/takes/a.wav", 48000, 2, std::vector<std::int16_t>(4800, 1));
  Add("/takes/b.wav", 44100, 1, std::vector<std::int16_t>(4410, 1));
  rec->PlayFile("/takes/a.wav");
  const auto first = layer.OpenStreams.begin()->first;
  rec->PlayFile("/takes/b.wav");
  ASSERT_EQ(layer.OpenStreams.size(), 1u);
  EXPECT_NE(layer.OpenStreams.begin()->first, first);
  EXPECT_DOUBLE_EQ(rec->Status().PlaybackLength, 0.1);

  test::TTempDir dir;
  rec->Start({{0, 48000, 2}, rfWave, 192}, dir / "t.wav");
  EXPECT_TRUE(layer.OpenStreams.empty()) << "a take never runs beside playback";
  rec->Stop();
}

TEST_F(EngineStreams, PlaybackFailures)
{
  try {
    rec->PlayFile("/takes/missing.wav");
    FAIL();
  } catch (const EAudioError &e) {
    EXPECT_STREQ(e.what(), "Openen van opname mislukt (BASS-fout 2).");
  }
  EXPECT_FALSE(rec->Status().Playing);
  EXPECT_TRUE(layer.OpenStreams.empty());

  Add("/takes/a.wav", 48000, 2, std::vector<std::int16_t>(4800, 1));
  layer.FailNext("ChannelPlay", 3);
  try {
    rec->PlayFile("/takes/a.wav");
    FAIL();
  } catch (const EAudioError &e) {
    EXPECT_STREQ(e.what(), "Afspelen van opname mislukt (BASS-fout 3).");
  }
  EXPECT_EQ(layer.OpenStreams.size(), 1u) << "the stream stays open until the next stop";
  EXPECT_FALSE(rec->Status().Playing);
  rec->StopPlayback();
  EXPECT_TRUE(layer.OpenStreams.empty());

  rec->PlayFile("/takes/a.wav");
  layer.FailNext("ChannelGetLevelEx", -1);
  EXPECT_EQ(rec->Status().PlaybackLevel, 0);
}

TEST_F(EngineStreams, AnalysisOfStereoWithASilentRightChannel)
{
  // 4001 frames: points of 3 frames, 1334 points, the last covering one frame
  std::vector<std::int16_t> s(4001 * 2, 0);
  for (int f = 0; f < 4001; ++f)
    s[2 * f] = static_cast<std::int16_t>(f % 7 == 0 ? -f : f / 2);
  s[2 * 4000] = -32768;
  Add("/takes/st.wav", 48000, 2, s);
  const auto a = Analyze("/takes/st.wav");
  ASSERT_EQ(a.L.size(), 1334u);
  ASSERT_EQ(a.R.size(), 1334u);
  EXPECT_EQ(a.Channels, 2);
  EXPECT_NEAR(a.Duration, 4001.0 / 48000.0, 1e-12);
  for (std::size_t p = 0; p < 1334; ++p) {
    std::int32_t expect = 0;
    for (std::size_t f = p * 3; f < std::min<std::size_t>(p * 3 + 3, 4001); ++f)
      expect = std::max(expect, std::abs(static_cast<std::int32_t>(s[2 * f])));
    ASSERT_EQ(a.L[p], expect) << "point " << p;
    ASSERT_EQ(a.R[p], 0);
  }
  EXPECT_EQ(a.L.back(), 32768);
}

TEST_F(EngineStreams, AnalysisOfMonoCopiesLeftToRight)
{
  std::vector<std::int16_t> s(1001);
  for (int i = 0; i < 1001; ++i)
    s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i * (i % 2 ? -1 : 1));
  Add("/takes/m.wav", 44100, 1, s);
  const auto a = Analyze("/takes/m.wav");
  ASSERT_EQ(a.L.size(), 1001u);
  EXPECT_EQ(a.L, a.R);
  EXPECT_EQ(a.Channels, 1);
  EXPECT_EQ(a.L[999], 999);
}

TEST_F(EngineStreams, AnalysisWithOnePointAndWithMoreThanTwoChannels)
{
  // 4 channels: only the first two are looked at
  std::vector<std::int16_t> s = {1, 2, 30000, 30000, -5, 6, 30000, 30000, 3, -8, 30000, 30000};
  Add("/takes/q.wav", 48000, 4, s);
  auto a = Analyze("/takes/q.wav", 0);
  EXPECT_EQ(a.Channels, 4);
  ASSERT_EQ(a.L.size(), 1u);
  EXPECT_EQ(a.L[0], 5);
  EXPECT_EQ(a.R[0], 8);
  a = Analyze("/takes/q.wav", -3);
  ASSERT_EQ(a.L.size(), 1u);
}

TEST_F(EngineStreams, AnalysisOfEmptyMissingAndUnreadableFiles)
{
  Add("/takes/empty.wav", 48000, 2, {});
  auto a = Analyze("/takes/empty.wav");
  EXPECT_TRUE(a.L.empty());
  EXPECT_TRUE(a.R.empty());
  EXPECT_EQ(a.Duration, 0.0);
  EXPECT_EQ(a.Channels, 2);

  Analysis b{{}, {}, 0, 0}; // a failed analysis gives nothing
  try {
    {
      TWaveAnalysis wave = audio::AnalyzeTake(layer, split, "/takes/none.wav", 2000);
      b.L = std::move(wave.LeftPeaks);
      b.R = std::move(wave.RightPeaks);
      b.Duration = wave.Duration;
      b.Channels = wave.ChannelCount;
    }
    FAIL();
  } catch (const EAudioError &e) {
    EXPECT_STREQ(e.what(), "Analyseren van opname mislukt (BASS-fout 2).");
  }
  EXPECT_TRUE(b.L.empty());
  EXPECT_TRUE(b.R.empty());
  EXPECT_EQ(b.Duration, 0.0);
  EXPECT_EQ(b.Channels, 0);

  Add("/takes/x.wav", 48000, 2, std::vector<std::int16_t>(100, 5));
  layer.FailNext("ChannelGetInfo", 5);
  try {
    Analyze("/takes/x.wav");
    FAIL();
  } catch (const EAudioError &e) {
    EXPECT_STREQ(e.what(), "Lezen van audioformaat mislukt (BASS-fout 5).");
  }
  EXPECT_TRUE(layer.OpenStreams.empty()) << "the stream is freed on failure too";
}

TEST_F(EngineStreams, AnalysisTrustsTheReportedLength)
{
  // The length cannot be told: no waveform, and no bogus count.
  TScriptedAudioLayer::TScriptedStream s;
  s.Samples.assign(9600, 1000);
  s.ReportedLength = audio::kPositionError;
  layer.AddStream("/takes/unknown.wav", s);
  auto a = Analyze("/takes/unknown.wav");
  EXPECT_TRUE(a.L.empty());
  EXPECT_EQ(a.Duration, 0.0);

  // Decoded data longer than reported: what lies past the last point is ignored.
  s.ReportedLength = 400; // 100 stereo frames
  s.Samples.assign(9600, 7);
  s.Samples[300] = 20000; // frame 150: past the end
  layer.AddStream("/takes/long.wav", s);
  a = Analyze("/takes/long.wav");
  ASSERT_EQ(a.L.size(), 100u);
  EXPECT_EQ(*std::max_element(a.L.begin(), a.L.end()), 7);

  // Decoded data shorter than reported: the points that got nothing stay 0.
  s.ReportedLength = 9600 * 2 * 4;
  s.Samples.assign(9600, 7);
  layer.AddStream("/takes/short.wav", s);
  a = Analyze("/takes/short.wav", 8);
  ASSERT_EQ(a.L.size(), 8u);
  EXPECT_EQ(a.L[1], 7);
  EXPECT_EQ(a.L[2], 0);
  EXPECT_EQ(a.L[7], 0);
}

// ---- stretches decoded side by side ----

namespace {

// Reads slowly and counts open streams: a cancel can be made while the work runs.
class TSlowLayer : public TScriptedAudioLayer {
public:
  std::atomic<int> Open{0};
  std::atomic<int> MaxOpen{0};
  std::atomic<int> Reads{0};
  audio::THandle StreamCreateFile(const std::filesystem::path &file, bool decode) override
  {
    const audio::THandle h = TScriptedAudioLayer::StreamCreateFile(file, decode);
    if (h != 0)
      MaxOpen.store(std::max(MaxOpen.load(), ++Open));
    return h;
  }
  void StreamFree(audio::THandle stream) override
  {
    --Open;
    TScriptedAudioLayer::StreamFree(stream);
  }
  std::uint32_t ChannelGetData(audio::THandle channel, void *buffer, std::uint32_t length) override
  {
    ++Reads;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return TScriptedAudioLayer::ChannelGetData(channel, buffer,
                                               std::min<std::uint32_t>(length, 4096));
  }
};

// Loud everywhere, so that every border between stretches falls in sound.
std::vector<std::int16_t> Noise(std::size_t samples, std::uint32_t seed)
{
  std::vector<std::int16_t> s(samples);
  for (auto &v : s) {
    seed = seed * 1664525u + 1013904223u;
    v = static_cast<std::int16_t>(seed >> 16);
  }
  return s;
}

} // namespace

TEST_F(EngineStreams, StretchesSideBySideGiveWhatOneReadingGives)
{
  struct Row {
    std::uint32_t Chans;
    std::size_t Frames;
    std::uint64_t Reported; // bytes; 0: what the stream holds
    int MaxPoints;
  };
  const Row rows[] = {
      {2, 100003, 0, 2000},
      {1, 77777, 0, 2000},
      {4, 30011, 0, 37},
      {2, 5, 0, 2000},
      {2, 65536, 0, 1},
      {2, 50000, 50000 * 4 * 3, 300}, // shorter than reported: the rest stays 0
      {1, 90000, 1000 * 2, 7},        // longer than reported: the rest is ignored
  };
  int n = 0;
  for (const Row &row : rows) {
    TScriptedAudioLayer::TScriptedStream s;
    s.Chans = row.Chans;
    s.Samples = Noise(row.Frames * row.Chans, static_cast<std::uint32_t>(row.Frames));
    if (row.Reported != 0)
      s.ReportedLength = row.Reported;
    const std::string path = "/takes/n" + std::to_string(n++) + ".mp3";
    layer.AddStream(path, s);
    split = {1, 0, false};
    const Analysis one = Analyze(path.c_str(), row.MaxPoints);
    ASSERT_FALSE(one.L.empty());
    for (unsigned chunks : {2u, 3u, 7u}) {
      split = {chunks, 0, false};
      const Analysis side = Analyze(path.c_str(), row.MaxPoints);
      EXPECT_EQ(side.L, one.L) << path << " in " << chunks;
      EXPECT_EQ(side.R, one.R) << path << " in " << chunks;
      EXPECT_EQ(side.Duration, one.Duration);
      EXPECT_EQ(side.Channels, one.Channels);
      EXPECT_TRUE(layer.OpenStreams.empty());
    }
  }
  // the stretches really were read side by side, each from its own stream
  layer.Log.clear();
  split = {3, 0, false};
  Analyze("/takes/n0.mp3");
  EXPECT_EQ(std::count(layer.Log.begin(), layer.Log.end(), "StreamFree"), 3);
}

TEST_F(EngineStreams, AFailingStretchFailsTheAnalysisAndOneThatCannotBePositionedIsReadInOneGo)
{
  TScriptedAudioLayer::TScriptedStream s;
  s.Samples = Noise(200000 * 2, 3);
  layer.AddStream("/takes/f.mp3", s);
  split = {1, 0, false};
  const Analysis one = Analyze("/takes/f.mp3");
  split = {4, 0, false};

  struct Row {
    const char *Call;
    int Code;
    const char *Message; // nullptr: the analysis succeeds as one reading
  };
  const Row rows[] = {
      {"StreamCreateFile", 2, "Analyseren van opname mislukt (BASS-fout 2)."},
      {"ChannelGetInfo", 5, "Lezen van audioformaat mislukt (BASS-fout 5)."},
      {"ChannelSetPosition", 7, nullptr},
  };
  for (const Row &row : rows) {
    layer.FailNext(row.Call, row.Code, 2); // the third of them: a later stretch's
    Analysis a{{}, {}, 0, 0}; // a failed analysis gives nothing
    if (row.Message != nullptr) {
      try {
        {
          TWaveAnalysis wave = audio::AnalyzeTake(layer, split, "/takes/f.mp3", 2000);
          a.L = std::move(wave.LeftPeaks);
          a.R = std::move(wave.RightPeaks);
          a.Duration = wave.Duration;
          a.Channels = wave.ChannelCount;
        }
        ADD_FAILURE() << row.Call;
      } catch (const EAudioError &e) {
        EXPECT_STREQ(e.what(), row.Message);
      }
      EXPECT_TRUE(a.L.empty());
      EXPECT_TRUE(a.R.empty());
      EXPECT_EQ(a.Duration, 0.0);
      EXPECT_EQ(a.Channels, 0);
    } else {
      {
        TWaveAnalysis wave2 = audio::AnalyzeTake(layer, split, "/takes/f.mp3", 2000);
        a.L = std::move(wave2.LeftPeaks);
        a.R = std::move(wave2.RightPeaks);
        a.Duration = wave2.Duration;
        a.Channels = wave2.ChannelCount;
      }
      EXPECT_EQ(a.L, one.L);
      EXPECT_EQ(a.R, one.R);
    }
    EXPECT_TRUE(layer.OpenStreams.empty()) << row.Call;
  }
}

TEST(AnalysisInStretches, ProgressIsSummedAndACancelEndsEveryStretch)
{
  TSlowLayer layer;
  TBassRecorder rec(layer, {.AnalysisSplit = {3, 0, false}});
  TScriptedAudioLayer::TScriptedStream s;
  s.Samples = Noise(1200000 * 2, 9); // 1172 reads of 4 KiB, 5 ms each: 2 s a stretch
  layer.AddStream("/takes/long.mp3", s);

  // A cancelled analysis gives nothing.
  std::vector<std::int32_t> l, r;
  double duration = 0;
  int channels = 0;
  audio::TWorkControl control;
  std::atomic<bool> cancelled{false};
  std::thread worker([&] {
    try {
      {
        TWaveAnalysis wave3 = rec.AnalyzeFile("/takes/long.mp3", 2000, &control);
        l = std::move(wave3.LeftPeaks);
        r = std::move(wave3.RightPeaks);
        duration = wave3.Duration;
        channels = wave3.ChannelCount;
      }
    } catch (const audio::EWorkCancelled &) {
      cancelled = true;
    }
  });
  // three stretches at once: a third of the time gives more than a third of the way
  const auto t0 = std::chrono::steady_clock::now();
  while ((control.Percent() < 40 || layer.MaxOpen.load() < 3) &&
         std::chrono::steady_clock::now() - t0 < std::chrono::seconds(20))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const double toForty =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(layer.MaxOpen.load(), 3);
  control.Cancel();
  const int readsAtCancel = layer.Reads.load();
  worker.join();
  EXPECT_TRUE(cancelled);
  // A stretch may be inside the read it began before the cancel; none begins another.
  EXPECT_LE(layer.Reads.load() - readsAtCancel, 3)
      << "every stretch looks at the cancel between reads";
  EXPECT_LT(toForty, 10.0);
  EXPECT_TRUE(l.empty());
  EXPECT_TRUE(r.empty());
  EXPECT_EQ(duration, 0.0);
  EXPECT_EQ(channels, 0);
  EXPECT_EQ(layer.Open.load(), 0);
  EXPECT_TRUE(layer.OpenStreams.empty());
}

TEST(SndfileDecoder, FloatSamplesAreRoundedToEvenClippedAndNotANumberIsSilence)
{
  struct Row {
    float In;
    std::int16_t Out;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const Row rows[] = {
      {0.0f, 0},
      {1.0f, 32767},
      {-1.0f, -32768},
      {2.0f, 32767},
      {-2.0f, -32768},
      {inf, 32767},
      {-inf, -32768},
      {std::nanf(""), 0},
      {0.5f / 32768, 0},
      {1.5f / 32768, 2},
      {2.5f / 32768, 2},
      {-1.5f / 32768, -2},
      {100.4f / 32768, 100},
      {32766.5f / 32768, 32766},
      {-32767.5f / 32768, -32768},
  };
  // Three rounds at shifted places, so that every value passes through each lane of a
  // block of eight as well as through the samples left over after the blocks.
  std::vector<float> in;
  std::vector<std::int16_t> expect;
  for (int round = 0; round < 3; ++round) {
    for (int pad = 0; pad < round; ++pad) {
      in.push_back(0.0f);
      expect.push_back(0);
    }
    for (const Row &row : rows) {
      in.push_back(row.In);
      expect.push_back(row.Out);
    }
  }
  test::TTempDir dir;
  const auto path = dir / "float.wav";
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE *out = sf_open(path.string().c_str(), SFM_WRITE, &info);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(sf_writef_float(out, in.data(), static_cast<sf_count_t>(in.size())),
            static_cast<sf_count_t>(in.size()));
  sf_close(out);

  audio::TSndfileDecoder d;
  ASSERT_EQ(d.Open(path), audio::kErrOk);
  std::vector<std::int16_t> got(in.size() + 8);
  ASSERT_EQ(d.ReadFrames(got.data(), got.size()), in.size());
  got.resize(in.size());
  for (std::size_t i = 0; i < in.size(); ++i)
    EXPECT_EQ(got[i], expect[i]) << "sample " << i << " (" << in[i] << ")";
}

TEST(SndfileDecoder, LongFilesReadInAnyPiecesAndFromAnyPlaceGiveWhatLibsndfileReads)
{
  // Files of many read-ahead blocks, read in pieces of every size and after jumps; the
  // reference is libsndfile reading the same file by itself.
  test::TTempDir dir;
  const std::uint32_t rate = 48000;
  std::vector<std::int16_t> samples(rate * 2 * 12);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<std::int16_t>(
        9000 * std::sin(static_cast<double>(i / 2) * (i % 2 ? 0.031 : 0.017)) + (i * 7919) % 301);
  const auto wav = dir / "lang.wav";
  const auto mp3 = dir / "lang.mp3";
  test::WriteWave(wav, rate, 2, samples);
  ASSERT_TRUE(test::WriteMp3(mp3, rate, 2, 128, samples));
  ASSERT_GT(std::filesystem::file_size(mp3), 2u * 65536);

  for (const auto &file : {wav, mp3}) {
    SCOPED_TRACE(file.filename().string());
    SF_INFO info{};
    SNDFILE *sf = sf_open(file.string().c_str(), SFM_READ, &info);
    ASSERT_NE(sf, nullptr);
    std::vector<std::int16_t> want(static_cast<std::size_t>(info.frames) * 2);
    if (file == wav) {
      ASSERT_EQ(sf_readf_short(sf, want.data(), info.frames), info.frames);
    } else {
      sf_command(sf, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
      std::vector<float> f(want.size());
      ASSERT_EQ(sf_readf_float(sf, f.data(), info.frames), info.frames);
      for (std::size_t i = 0; i < f.size(); ++i) // the decoder's rounding (test above)
        want[i] = static_cast<std::int16_t>(
            std::nearbyint(std::clamp(f[i] * 32768.0f, -32768.0f, 32767.0f)));
    }
    sf_close(sf);

    audio::TSndfileDecoder d;
    ASSERT_EQ(d.Open(file), audio::kErrOk);
    ASSERT_EQ(d.Frames(), static_cast<std::uint64_t>(info.frames));
    const auto readFrom = [&](std::uint64_t from) {
      std::vector<std::int16_t> got;
      std::vector<std::int16_t> piece(2 * 20011);
      const std::size_t sizes[] = {1, 7, 333, 4096, 20011, 16384};
      for (std::size_t k = 0;; ++k) {
        const std::size_t n = d.ReadFrames(piece.data(), sizes[k % 6]);
        if (n == 0)
          break;
        got.insert(got.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(2 * n));
      }
      ASSERT_EQ(got.size(), want.size() - 2 * from) << "from frame " << from;
      EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin() + static_cast<std::ptrdiff_t>(2 * from)))
          << "from frame " << from;
    };
    readFrom(0);
    for (std::uint64_t at : {std::uint64_t{rate} * 9 + 77, std::uint64_t{1000}, std::uint64_t{rate} * 5 + 1}) {
      ASSERT_TRUE(d.Seek(at));
      readFrom(at);
    }
  }
}
