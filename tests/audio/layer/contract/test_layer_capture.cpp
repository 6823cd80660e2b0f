// Capture through the audio layer: buffers in real time after ChannelPlay only, the
// stop's hand-over, the callback's stop, lost audio, a vanished input, and MP3
// encoders on a capture channel.

#include "audio/capture/Mp3TakeWriter.h"
#include "audio/layer/contract/LayerKit.h"

#ifndef _WIN32
#include "support/PulseTestKit.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tuple>

using namespace praatkist::audio;
using namespace praatkist::test;
namespace fs = std::filesystem;

namespace {

class Capture : public AudioLayer,
                public ::testing::WithParamInterface<std::tuple<std::uint32_t, std::uint32_t>> {
protected:
  // A resampler may ring for a moment at the start: the first 100 ms are left out.
  void CheckTone(TCollector &got, std::uint32_t rate, std::uint32_t chans)
  {
    std::lock_guard lock(got.M);
    for (std::uint32_t c = 0; c < chans; ++c) {
      const TTone tone = AnalyseTone(got.Samples, chans, c, rate, rate / 10);
      EXPECT_NEAR(tone.Frequency, 440.0, kWasapi ? 1.5 : 3.0) << "channel " << c;
      if (kWasapi)
        EXPECT_GT(tone.Peak, 2000) << "channel " << c;
      else
        EXPECT_NEAR(tone.Peak, 16384, 800) << "channel " << c;
    }
    if (chans == 2) {
      std::size_t differ = 0;
      for (std::size_t i = 0; i + 1 < got.Samples.size(); i += 2)
        differ += got.Samples[i] != got.Samples[i + 1];
      EXPECT_EQ(differ, 0u) << "both channels carry the same tone";
    }
    EXPECT_FALSE(got.PartFrame);
  }
};

} // namespace

TEST_P(Capture, DeliversTheToneInRealTimeAfterPlayOnly)
{
  const auto [rate, chans] = GetParam();
  const std::uint32_t bytesPerSecond = rate * chans * 2;
  TCollector got(chans * 2);
  ASSERT_TRUE(Layer->RecordInit(ToneDevice(*Layer)));
  const THandle h = Layer->RecordStart(rate, chans, CollectProc, &got);
  ASSERT_NE(h, 0u) << Layer->ErrorGetCode();
  TChannelInfo ci;
  ASSERT_TRUE(Layer->ChannelGetInfo(h, ci));
  EXPECT_EQ(ci.Freq, rate);
  EXPECT_EQ(ci.Chans, chans);
  // Created paused: nothing arrives before ChannelPlay.
  EXPECT_EQ(Layer->ChannelIsActive(h), kActivePaused);
  SleepMs(300);
  EXPECT_EQ(got.Calls.load(), 0) << "nothing before ChannelPlay";
  ASSERT_TRUE(Layer->ChannelPlay(h, false));
  const auto t0 = TClock::now();
  EXPECT_EQ(Layer->ChannelIsActive(h), kActivePlaying);
  SleepMs(1500);
  Layer->ChannelStop(h);
  const double took = SecondsSince(t0);
  EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped);
  const std::uint32_t largest = Core(*Layer).CaptureLargestBuffer(h);
  EXPECT_EQ(Core(*Layer).CaptureDroppedChunks(h), 0u);
  std::printf("[ capture  ] %u Hz x %u: %.3f s in %.3f s, %d buffers of %.1f ms on average, "
              "largest %.1f ms\n",
              rate, chans, static_cast<double>(got.Bytes) / bytesPerSecond, took, got.Calls.load(),
              1000.0 * static_cast<double>(got.Bytes) / got.Calls / bytesPerSecond,
              1000.0 * largest / bytesPerSecond);
  EXPECT_LE(largest, bytesPerSecond / 20 + chans * 2) << "buffers of at most 50 ms";
  EXPECT_NEAR(static_cast<double>(got.Bytes) / bytesPerSecond, took, kWasapi ? 0.25 : 0.15);
  EXPECT_GT(got.Calls.load(), 15);
  Layer->RecordFree();
  CheckTone(got, rate, chans);
}

// "sine" hands out two seconds at a time, faster than real time.
TEST_P(Capture, DeliversABurstySourceWhole)
{
  if (kWasapi)
    GTEST_SKIP() << "the server's sine source stalls after about 100 ms under wine";
  const auto [rate, chans] = GetParam();
  const std::uint32_t bytesPerSecond = rate * chans * 2;
  TCollector got(chans * 2);
  ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "sine")));
  const THandle h = Layer->RecordStart(rate, chans, CollectProc, &got);
  ASSERT_NE(h, 0u) << Layer->ErrorGetCode();
  EXPECT_EQ(Layer->ChannelIsActive(h), kActivePaused);
  SleepMs(250);
  EXPECT_EQ(got.Calls.load(), 0);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));
  EXPECT_EQ(Layer->ChannelIsActive(h), kActivePlaying);
  EXPECT_GE(WaitUntil([&] { return got.Bytes >= bytesPerSecond / 2; }, 3.0), 0.0);
  Layer->ChannelStop(h);
  EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped);
  EXPECT_EQ(Core(*Layer).CaptureDroppedChunks(h), 0u);
  Layer->RecordFree();
  CheckTone(got, rate, chans);
}

INSTANTIATE_TEST_SUITE_P(EveryRateAndChannelCount, Capture,
                         ::testing::Combine(::testing::Values(44100u, 48000u, 96000u),
                                            ::testing::Values(1u, 2u)),
                         [](const auto &info) {
                           return std::to_string(std::get<0>(info.param)) + "_" +
                                  std::to_string(std::get<1>(info.param)) + "ch";
                         });

TEST_F(AudioLayer, StopWaitsForTheCallbackAndNothingFollows)
{
  TCollector got(4);
  got.SleepMs = 15; // a slow callback, so that ChannelStop meets it running
  ASSERT_TRUE(Layer->RecordInit(ToneDevice(*Layer)));
  const THandle h = Layer->RecordStart(48000, 2, CollectProc, &got);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));
  ASSERT_GE(WaitUntil([&] { return got.Calls >= 5; }, 2.0), 0.0);
  for (int i = 0; i < 20 && !got.Inside; ++i)
    SleepMs(1);
  const auto t0 = TClock::now();
  Layer->ChannelStop(h);
  EXPECT_LT(SecondsSince(t0), 0.3);
  EXPECT_FALSE(got.Inside) << "a callback still ran after ChannelStop returned";
  const int calls = got.Calls;
  SleepMs(250);
  EXPECT_EQ(got.Calls.load(), calls);
  EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped);
  Layer->ChannelStop(h); // twice: harmless
  EXPECT_FALSE(Layer->ChannelPlay(h, false));
  EXPECT_EQ(Layer->ErrorGetCode(), kErrEnded);

  // A channel that never played stops at once (under wine, closing the audio client
  // takes about 0.3 s); an unknown handle is ignored.
  TCollector idle(4);
  const THandle h2 = Layer->RecordStart(48000, 2, CollectProc, &idle);
  ASSERT_NE(h2, 0u);
  const auto t1 = TClock::now();
  Layer->ChannelStop(h2);
  EXPECT_LT(SecondsSince(t1), kWasapi ? 0.5 : 0.2);
  EXPECT_EQ(idle.Calls.load(), 0);
  Layer->ChannelStop(0xBAD);
  EXPECT_EQ(Layer->ChannelIsActive(0xBAD), kActiveStopped);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrHandle);
  Layer->RecordFree();
}

TEST_F(AudioLayer, CallbackAnsweringFalseEndsTheCapture)
{
  TCollector got(2);
  got.StopAfter = 3;
  ASSERT_TRUE(Layer->RecordInit(ToneDevice(*Layer)));
  const THandle h = Layer->RecordStart(48000, 1, CollectProc, &got);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));
  EXPECT_GE(WaitUntil([&] { return Layer->ChannelIsActive(h) == kActiveStopped; }, 2.0), 0.0);
  SleepMs(200);
  EXPECT_EQ(got.Calls.load(), 3);
  Layer->ChannelStop(h); // after the end: harmless
  Layer->RecordFree();
}

// The fifo source delivers what is written to it as fast as it is written: a callback
// that stalls makes the ring overflow. The channel then hands on what came before the
// loss, whole buffers in order and without a hole, and ends, telling that audio was lost.
TEST_F(AudioLayer, OverflowEndsTheChannelAtTheLossWithoutAHole)
{
#ifdef _WIN32
  GTEST_SKIP() << "the fifo source is fed through its named pipe with POSIX calls; the loss is "
                  "found by the layer core's capture thread, the same on every system";
#else
  const char *paDir = std::getenv("PRAATKIST_TEST_PA_DIR");
  if (!paDir)
    GTEST_SKIP() << "PRAATKIST_TEST_PA_DIR is not set";
  TCollector got(4);
  got.StallFirstMs = 1000;
  ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "fifo")));
  const THandle h = Layer->RecordStart(48000, 2, CollectProc, &got);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));

  // A frame counter: left the low 15 bits, right the next 15. Eight seconds while the
  // callback stalls.
  const std::uint32_t burst = 8 * 48000;
  std::vector<std::int16_t> pattern(2 * burst);
  for (std::uint32_t f = 0; f < burst; ++f) {
    pattern[2 * f] = static_cast<std::int16_t>(f & 0x7FFF);
    pattern[2 * f + 1] = static_cast<std::int16_t>(f >> 15);
  }
  const int fd = ::open((std::string(paDir) + "/fifo").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const auto *bytes = reinterpret_cast<const std::uint8_t *>(pattern.data());
  const std::size_t size = std::size_t{burst} * 4;
  std::size_t done = 0;
  const auto t0 = TClock::now();
  while (done < size && SecondsSince(t0) < 5.0) {
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 100);
    const ssize_t w = ::write(fd, bytes + done, size - done);
    if (w > 0)
      done += static_cast<std::size_t>(w);
  }
  ::close(fd);
  ASSERT_EQ(done, size);
  EXPECT_GE(WaitUntil([&] { return Layer->ChannelIsActive(h) == kActiveStopped; }, 4.0), 0.0);
  EXPECT_TRUE(Layer->ChannelDataLost(h));
  const std::uint64_t dropped = Core(*Layer).CaptureDroppedChunks(h);
  Layer->ChannelStop(h);
  Layer->RecordFree();
  std::printf("[ overflow ] %llu chunks dropped, %.2f s of %.2f s delivered\n",
              static_cast<unsigned long long>(dropped), static_cast<double>(got.Bytes) / 192000,
              burst / 48000.0);
  EXPECT_GT(dropped, 0u);

  std::lock_guard lock(got.M);
  auto frameAt = [&](std::size_t i) {
    return static_cast<std::uint32_t>(got.Samples[2 * i]) |
           (static_cast<std::uint32_t>(got.Samples[2 * i + 1]) << 15);
  };
  ASSERT_FALSE(got.Samples.empty());
  const std::size_t frames = got.Samples.size() / 2;
  std::size_t holes = 0;
  for (std::size_t i = 0; i < frames; ++i)
    holes += frameAt(i) != i;
  EXPECT_EQ(holes, 0u) << "what is handed on runs from the start without a gap";
  EXPECT_LT(frames, burst);
#endif
}

// The input goes away during a capture: the channel hands on what came before and ends
// by itself; the MP3 written from its callback is complete. (A vanished device may just
// go quiet, as under wine: the layer ends the channel then too.)
TEST_F(AudioLayer, VanishedInputEndsTheChannelAndWhatItWroteIsComplete)
{
  TVanishingInput input(*Layer);
  ASSERT_GE(input.Index(), 0) << "no input to take away";
  ASSERT_TRUE(Layer->RecordInit(input.Index()));
  const fs::path mp3 = Dir / "vanished.mp3";
  TMp3TakeWriter writer(mp3, {48000, 2}, 128);
  writer.Begin();
  TCollector got(4);
  got.Writer = &writer;
  const THandle h = Layer->RecordStart(48000, 2, CollectProc, &got);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));
  ASSERT_GE(WaitUntil([&] { return got.Bytes > 48000u * 4 / 2; }, 2.0), 0.0);
  EXPECT_EQ(Layer->ChannelIsActive(h), kActivePlaying);

  input.Remove();
  const double ended = WaitUntil([&] { return Layer->ChannelIsActive(h) == kActiveStopped; }, 3.0);
  std::printf("[ vanished ] channel ended %.0f ms after the input went\n", ended * 1000);
  EXPECT_GE(ended, 0.0) << "the channel outlived its device";
  EXPECT_LT(ended, kWasapi ? 1.5 : 1.0);
  EXPECT_FALSE(Layer->ChannelDataLost(h));
  const auto t0 = TClock::now();
  Layer->ChannelStop(h);
  Layer->RecordFree();
  EXPECT_LT(SecondsSince(t0), 0.5);
  EXPECT_TRUE(writer.Finish());
  const TDecoded decoded = Decode(mp3);
  ASSERT_TRUE(decoded.Ok);
  EXPECT_GT(decoded.Frames, 0);
  EXPECT_TRUE(ParseMp3(ReadBytes(mp3)).InfoTag);
}

// ---- MP3 capture ------------------------------------------------------------------------

TEST_F(AudioLayer, Mp3WrittenFromTheCallbackIsConstantBitRateWithExactLength)
{
  struct TCase {
    std::uint32_t Rate, Chans;
    int Kbps;
  };
  for (const TCase k : {TCase{48000, 2, 192}, TCase{44100, 1, 128}}) {
    SCOPED_TRACE(std::to_string(k.Rate) + " Hz x " + std::to_string(k.Chans));
    const fs::path mp3 = Dir / ("take" + std::to_string(k.Chans) + ".mp3");
    TMp3TakeWriter writer(mp3, {k.Rate, static_cast<std::uint16_t>(k.Chans)}, k.Kbps);
    writer.Begin();
    TCollector got(k.Chans * 2);
    got.Writer = &writer;
    ASSERT_TRUE(Layer->RecordInit(ToneDevice(*Layer)));
    const THandle h = Layer->RecordStart(k.Rate, k.Chans, CollectProc, &got);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(Layer->ChannelPlay(h, false));
    SleepMs(1500);
    // The engine's order: the channel first, which hands everything on to the callback
    // (and so to the file), then the file's end.
    Layer->ChannelStop(h);
    EXPECT_EQ(writer.Stopped(), praatkist::TCaptureEnd::None);
    EXPECT_TRUE(writer.Finish());
    Layer->RecordFree();
    EXPECT_EQ(writer.Frames(), got.Bytes / (k.Chans * 2));

    const std::uint64_t pcmFrames = got.Bytes / (k.Chans * 2);
    const TDecoded decoded = Decode(mp3);
    ASSERT_TRUE(decoded.Ok);
    EXPECT_EQ(decoded.Rate, static_cast<int>(k.Rate));
    EXPECT_EQ(decoded.Channels, static_cast<int>(k.Chans));
    EXPECT_EQ(static_cast<std::uint64_t>(decoded.Frames), pcmFrames);
    EXPECT_EQ(decoded.Samples.size(), static_cast<std::size_t>(decoded.Frames) * k.Chans);

    const TMp3Frames frames = ParseMp3(ReadBytes(mp3));
    EXPECT_TRUE(frames.InfoTag);
    EXPECT_FALSE(frames.Id3);
    EXPECT_FALSE(frames.TrailingGarbage);
    ASSERT_GT(frames.Kbps.size(), 10u);
    EXPECT_EQ(std::count(frames.Kbps.begin(), frames.Kbps.end(), k.Kbps),
              static_cast<long>(frames.Kbps.size()));
    // Mono must come out as the tone it went in as (the interleaved entry garbles it).
    const TTone tone = AnalyseTone(decoded.Samples, k.Chans, 0, k.Rate, 2000);
    EXPECT_NEAR(tone.Frequency, 440.0, 3.0);
    EXPECT_NEAR(tone.Peak, 16384, 1200);
  }
}
