// Playback through the audio layer on the default output, and a server that dies under
// a capture and a playback.

#include "audio/capture/Mp3TakeWriter.h"
#include "audio/layer/contract/LayerKit.h"

#ifndef _WIN32
#include "support/PulseTestKit.h"
#endif

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <random>

using namespace praatkist::audio;
using namespace praatkist::test;
namespace fs = std::filesystem;

namespace {

// One second of noise (peaks of 12000), then one second of a tone at Amplitude.
std::vector<std::int16_t> NoiseThenTone(std::uint32_t rate, double amplitude)
{
  std::vector<std::int16_t> pcm = Sine(rate, 2, 2.0, 440, amplitude);
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> noise(-12000, 12000);
  for (std::size_t i = 0; i < rate * 2; ++i)
    pcm[i] = static_cast<std::int16_t>(noise(rng));
  return pcm;
}

} // namespace

TEST_F(AudioLayer, PlaybackRunsInRealTimeWithItsLevelAndEnds)
{
  const std::uint32_t rate = 48000;
  const std::vector<std::int16_t> pcm = NoiseThenTone(rate, 16384);
  const fs::path wav = Dir.Path() / fs::path(u8"één.wav");
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 2, pcm);

  EXPECT_EQ(Layer->StreamCreateFile(wav, false), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrInit);
  ASSERT_TRUE(Layer->Init());
  EXPECT_FALSE(Layer->Init());
  EXPECT_EQ(Layer->ErrorGetCode(), kErrAlready);

  const THandle h = Layer->StreamCreateFile(wav, false);
  ASSERT_NE(h, 0u) << Layer->ErrorGetCode();
  EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped);
  EXPECT_EQ(Layer->ChannelGetLength(h), pcm.size() * 2);
  EXPECT_EQ(Layer->ChannelGetPosition(h), 0u);
  ASSERT_TRUE(Layer->ChannelPlay(h, true));
  const auto t0 = TClock::now();
  EXPECT_EQ(Layer->ChannelIsActive(h), kActivePlaying);

  double pos1 = -1, at1 = 0, pos2 = -1, at2 = 0;
  float noiseLevel = 0, toneLevel = 0;
  while (Layer->ChannelIsActive(h) == kActivePlaying && SecondsSince(t0) < 4.0) {
    const double at = SecondsSince(t0);
    const double pos = Layer->ChannelBytes2Seconds(h, Layer->ChannelGetPosition(h));
    EXPECT_LE(pos, at + 0.02);
    if (pos1 < 0 && at >= 0.5) {
      pos1 = pos;
      at1 = at;
    }
    if (pos2 < 0 && at >= 1.3) {
      pos2 = pos;
      at2 = at;
    }
    float levels[2];
    if (Layer->ChannelGetLevelEx(h, levels, 0.05f)) {
      if (pos > 0.3 && pos < 0.9)
        noiseLevel = std::max({noiseLevel, levels[0], levels[1]});
      if (pos > 1.2 && pos < 1.9 && toneLevel == 0)
        toneLevel = std::min(levels[0], levels[1]);
    }
    SleepMs(20);
  }
  const double endedAt = SecondsSince(t0);
  std::printf("[ playback ] position %.3f s at %.3f s, %.3f s at %.3f s; ended after %.3f s\n",
              pos1, at1, pos2, at2, endedAt);
  EXPECT_NEAR(pos2 - pos1, at2 - at1, 0.06) << "the position runs in real time";
  EXPECT_GT(pos1, at1 - (kWasapi ? 0.2 : 0.3)) << "latency";
  EXPECT_GT(endedAt, 1.95);
  EXPECT_LT(endedAt, 2.6);
  EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped) << "ended after its two seconds";
  EXPECT_EQ(Layer->ChannelGetLength(h), pcm.size() * 2);
  EXPECT_EQ(Layer->ChannelGetPosition(h), pcm.size() * 2);
  EXPECT_NEAR(noiseLevel, 12000.0 / 32768, 0.02);
  EXPECT_NEAR(toneLevel, 0.5, 0.05);
  float levels[2];
  EXPECT_FALSE(Layer->ChannelGetLevelEx(h, levels, 0.05f)) << "nothing plays any more";

  // Played again from the start after its end; freed while playing.
  ASSERT_TRUE(Layer->ChannelPlay(h, true));
  EXPECT_EQ(Layer->ChannelIsActive(h), kActivePlaying);
  SleepMs(300);
  const std::uint64_t again = Layer->ChannelGetPosition(h);
  EXPECT_GT(again, 0u);
  EXPECT_LT(again, rate * 4u / 2);
  // Stopped, the position holds; resumed, it goes on from there.
  Layer->ChannelStop(h);
  EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped);
  const std::uint64_t held = Layer->ChannelGetPosition(h);
  SleepMs(150);
  EXPECT_EQ(Layer->ChannelGetPosition(h), held);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));
  SleepMs(150);
  const std::uint64_t resumed = Layer->ChannelGetPosition(h);
  EXPECT_GT(resumed, held + rate * 4u / 20);
  EXPECT_LT(resumed, held + rate * 4u / 5);
  Layer->StreamFree(h);
  EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrHandle);
  EXPECT_FALSE(Layer->ChannelPlay(h, false));
  EXPECT_EQ(Layer->ErrorGetCode(), kErrHandle);
}

TEST_F(AudioLayer, PlaysAFileThatIsCapturedBackExactly)
{
  if (kWasapi)
    GTEST_SKIP() << "wine names both null sinks' monitors \"Monitor of Null Output\": the default "
                    "output's monitor cannot be told from the tone sink's to capture it back";
  const std::uint32_t rate = 48000;
  const std::vector<std::int16_t> pcm = NoiseThenTone(rate, 32767);
  const fs::path wav = Dir / "play.wav";
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 2, pcm);
  ASSERT_TRUE(Layer->Init());

  // What testsink plays comes back on its monitor.
  TCollector back(4);
  ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "testsink.monitor")));
  const THandle rec = Layer->RecordStart(rate, 2, CollectProc, &back);
  ASSERT_NE(rec, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(rec, false));
  const THandle h = Layer->StreamCreateFile(wav, false);
  ASSERT_NE(h, 0u) << Layer->ErrorGetCode();
  SleepMs(100);
  ASSERT_TRUE(Layer->ChannelPlay(h, true));
  const auto t0 = TClock::now();
  float toneLevel = 0;
  while (Layer->ChannelIsActive(h) == kActivePlaying && SecondsSince(t0) < 4.0) {
    const double pos = Layer->ChannelBytes2Seconds(h, Layer->ChannelGetPosition(h));
    float levels[2];
    if (Layer->ChannelGetLevelEx(h, levels, 0.05f) && pos > 1.2 && pos < 1.9 && toneLevel == 0)
      toneLevel = std::min(levels[0], levels[1]);
    SleepMs(20);
  }
  EXPECT_GT(toneLevel, 0.98f);
  SleepMs(150);
  Layer->ChannelStop(rec);
  Layer->RecordFree();
  Layer->StreamFree(h);

  // Find the file in what came back and compare it sample by sample. The null sink's
  // monitor loses the first few milliseconds of a stream that starts (pacat shows the
  // same), so the search starts 50 ms into the file.
  std::lock_guard lock(back.M);
  const auto &cap = back.Samples;
  const std::size_t probeAt = 2 * 2400, probe = 2 * 64;
  std::size_t offset = std::string::npos;
  for (std::size_t k = probeAt;
       k + pcm.size() <= cap.size() + probeAt && offset == std::string::npos; k += 2) {
    bool match = true;
    for (std::size_t i = 0; i < probe && match; ++i)
      match = std::abs(cap[k + i] - pcm[probeAt + i]) <= 1;
    if (match)
      offset = k - probeAt;
  }
  ASSERT_NE(offset, std::string::npos) << "the played file was not captured back";
  ASSERT_LE(offset + pcm.size(), cap.size()) << "the end of the file was not captured back";
  std::size_t lost = 0;
  while (lost < pcm.size() && std::abs(cap[offset + lost] - pcm[lost]) > 1) {
    EXPECT_EQ(cap[offset + lost], 0);
    ++lost;
  }
  EXPECT_LE(lost, 2u * 480) << "more than 10 ms missing at the start";
  std::size_t offByOne = 0, worse = 0;
  for (std::size_t i = lost; i < pcm.size(); ++i) {
    const int d = std::abs(cap[offset + i] - pcm[i]);
    offByOne += d == 1;
    worse += d > 1;
  }
  EXPECT_EQ(worse, 0u);
  EXPECT_LT(static_cast<double>(offByOne), 0.005 * pcm.size());
}

TEST_F(AudioLayer, PlaybackStreamRejectsWhatItCannotPlay)
{
  ASSERT_TRUE(Layer->Init());
  EXPECT_EQ(Layer->StreamCreateFile(Dir / "missing.wav", false), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrFileOpen);
  WriteBytes(Dir / "text.wav", "not audio at all", 16);
  EXPECT_EQ(Layer->StreamCreateFile(Dir / "text.wav", false), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrFileForm);
  // A mono file at another rate plays at its own rate.
  const fs::path wav = Dir / "mono.wav";
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, Sine(22050, 1, 0.3, 440, 30000));
  const THandle h = Layer->StreamCreateFile(wav, false);
  ASSERT_NE(h, 0u);
  TChannelInfo info;
  ASSERT_TRUE(Layer->ChannelGetInfo(h, info));
  EXPECT_EQ(info.Freq, 22050u);
  EXPECT_EQ(info.Chans, 1u);
  ASSERT_TRUE(Layer->ChannelPlay(h, true));
  const double ended = WaitUntil([&] { return Layer->ChannelIsActive(h) == kActiveStopped; }, 2.0);
  EXPECT_GT(ended, 0.25);
  EXPECT_LT(ended, 0.9);
  EXPECT_EQ(Layer->ChannelGetPosition(h), Layer->ChannelGetLength(h));
  Layer->StreamFree(h);

  // Free closes everything; the layer can be opened again.
  Layer->Free();
  EXPECT_EQ(Layer->StreamCreateFile(wav, false), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrInit);
  ASSERT_TRUE(Layer->Init());
  const THandle again = Layer->StreamCreateFile(wav, false);
  EXPECT_NE(again, 0u);
  Layer->StreamFree(again);
}

// ---- a server that dies -------------------------------------------------------------------

TEST_F(AudioLayer, KilledServerEndsCaptureAndPlaybackWithoutHanging)
{
#ifdef _WIN32
  GTEST_SKIP() << "wine's driver keeps one connection to one server for the whole process: a "
                  "private server cannot be given to the layer, and the shared one serves the "
                  "later tests";
#else
  TPrivateServer server;
  ASSERT_FALSE(server.Server().empty()) << "the private server did not start";
  auto layer = LayerOn(server.Server());
  ASSERT_TRUE(layer->Init()) << layer->ErrorGetCode();

  TMp3TakeWriter writer(Dir / "killed.mp3", {48000, 2}, 192); // written from the callback
  writer.Begin();
  TCollector got(4);
  got.Writer = &writer;
  ASSERT_TRUE(layer->RecordInit(FindDevice(*layer, "tonesink.monitor")));
  const THandle rec = layer->RecordStart(48000, 2, CollectProc, &got);
  ASSERT_NE(rec, 0u);
  ASSERT_TRUE(layer->ChannelPlay(rec, false));

  const fs::path wav = Dir / "long.wav";
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, Sine(48000, 2, 5.0, 440, 10000));
  const THandle play = layer->StreamCreateFile(wav, false);
  ASSERT_NE(play, 0u);
  ASSERT_TRUE(layer->ChannelPlay(play, true));
  ASSERT_GE(
      WaitUntil([&] { return got.Bytes > 20000u && layer->ChannelGetPosition(play) > 0; }, 2.0),
      0.0);

  ASSERT_TRUE(server.Kill());
  const double ended = WaitUntil(
      [&] {
        return layer->ChannelIsActive(rec) == kActiveStopped &&
               layer->ChannelIsActive(play) == kActiveStopped;
      },
      2.0);
  std::printf("[ killed   ] capture and playback ended %.0f ms after the kill\n", ended * 1000);
  EXPECT_GE(ended, 0.0);
  EXPECT_LT(ended, 1.0);

  const auto t0 = TClock::now();
  const std::uint64_t pos = layer->ChannelGetPosition(play);
  EXPECT_GT(pos, 0u);
  EXPECT_LT(pos, layer->ChannelGetLength(play));
  EXPECT_FALSE(layer->ChannelPlay(play, false));
  layer->ChannelStop(rec);
  layer->ChannelStop(play);
  layer->StreamFree(play);
  layer->RecordFree();
  TAudioDeviceInfo info;
  EXPECT_FALSE(layer->RecordGetDeviceInfo(0, info));
  EXPECT_EQ(layer->ErrorGetCode(), kErrDriver);
  layer->Free();
  EXPECT_LT(SecondsSince(t0), 1.0) << "nothing may wait for the dead server";
  EXPECT_TRUE(writer.Finish());
  EXPECT_TRUE(Decode(Dir / "killed.mp3").Ok);
#endif
}
