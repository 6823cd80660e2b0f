// The Linux audio layer against a real PulseAudio server (the test server of
// tests/support/audio-test-server.sh): device list, capture, MP3 encoding,
// decoding, playback, and the ways a device or the server can go away.

#include "audio/pulse/PulseAudioLayer.h"
#include "support/PulseTestKit.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace praatkist::audio;
using namespace praatkist::test;
namespace fs = std::filesystem;

namespace {

// ---- capture ------------------------------------------------------------------------

struct TCollector {
  std::uint32_t FrameBytes = 2;
  std::mutex M;
  std::vector<std::int16_t> Samples;
  std::atomic<int> Calls{0};
  std::atomic<std::uint64_t> Bytes{0};
  std::atomic<bool> Inside{false};
  std::atomic<bool> PartFrame{false};
  std::atomic<int> StopAfter{-1}; // answer false on this call
  std::atomic<int> SleepMs{0};
  std::atomic<int> StallFirstMs{0};   // the first call sleeps this long
  std::vector<std::uint32_t> Lengths; // of every buffer, under M

  explicit TCollector(std::uint32_t frameBytes) : FrameBytes(frameBytes)
  {
    Samples.reserve(1 << 22);
  }
};

bool CollectProc(THandle, const void *buffer, std::uint32_t length, void *user) noexcept
{
  auto *c = static_cast<TCollector *>(user);
  c->Inside = true;
  if (length % c->FrameBytes != 0)
    c->PartFrame = true;
  {
    std::lock_guard lock(c->M);
    const auto *s = static_cast<const std::int16_t *>(buffer);
    c->Samples.insert(c->Samples.end(), s, s + length / 2);
    c->Lengths.push_back(length);
  }
  c->Bytes += length;
  const int n = ++c->Calls;
  if (n == 1 && c->StallFirstMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(c->StallFirstMs.load()));
  if (c->SleepMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(c->SleepMs.load()));
  c->Inside = false;
  return c->StopAfter < 0 || n < c->StopAfter;
}

class PulseLayer : public ::testing::Test {
protected:
  void SetUp() override
  {
    REQUIRE_PULSE();
    Layer = CreateSystemAudioLayer();
  }
  void TearDown() override
  {
    if (Layer)
      Layer->Free();
  }
  std::unique_ptr<IAudioLayer> Layer;
  TTempDir Dir;
};

} // namespace

// ---- device list ---------------------------------------------------------------------

TEST_F(PulseLayer, ListsEverySourceWithItsFlags)
{
  TAudioDeviceInfo info;
  int sine = -1, fifo = -1, monitors = 0, count = 0;
  for (int i = 0; Layer->RecordGetDeviceInfo(i, info); ++i, ++count) {
    EXPECT_EQ(Layer->ErrorGetCode(), kErrOk);
    EXPECT_FALSE(info.Flags & kDeviceInit) << info.Driver;
    if (info.Driver == "sine") {
      sine = i;
      EXPECT_EQ(info.Name, "Sine source at 440 Hz");
      EXPECT_EQ(info.Flags, kDeviceEnabled | kDeviceDefault);
    } else if (info.Driver == "fifo") {
      fifo = i;
      EXPECT_EQ(info.Flags, kDeviceEnabled);
    } else if (info.Driver == "testsink.monitor" || info.Driver == "tonesink.monitor") {
      ++monitors;
      EXPECT_EQ(info.Name, "Monitor of Null Output");
      EXPECT_EQ(info.Flags, kDeviceEnabled | kDeviceLoopback);
    }
  }
  EXPECT_GE(sine, 0);
  EXPECT_GE(fifo, 0);
  EXPECT_EQ(monitors, 2);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrDevice); // the index past the last one
  EXPECT_FALSE(Layer->RecordGetDeviceInfo(-1, info));

  // Capture needs an open device; one device at a time.
  EXPECT_EQ(Layer->RecordStart(48000, 1, CollectProc, nullptr), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrInit);
  EXPECT_FALSE(Layer->RecordInit(count));
  EXPECT_EQ(Layer->ErrorGetCode(), kErrDevice);
  ASSERT_TRUE(Layer->RecordInit(fifo));
  EXPECT_FALSE(Layer->RecordInit(sine));
  EXPECT_EQ(Layer->ErrorGetCode(), kErrAlready);
  for (int i = 0; Layer->RecordGetDeviceInfo(i, info); ++i)
    EXPECT_EQ((info.Flags & kDeviceInit) != 0, i == fifo) << info.Driver;
  EXPECT_EQ(Layer->RecordStart(22050, 3, CollectProc, nullptr), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrFormat);
  Layer->RecordFree();
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(fifo, info));
  EXPECT_FALSE(info.Flags & kDeviceInit);
}

TEST_F(PulseLayer, OnlyIndexZeroReadsTheListAfresh)
{
  TAudioDeviceInfo info;
  int count = 0;
  while (Layer->RecordGetDeviceInfo(count, info))
    ++count;
  const std::string module =
      Shell("pactl load-module module-sine-source source_name=pk_extra rate=48000 frequency=1000");
  ASSERT_FALSE(module.empty());
  EXPECT_FALSE(Layer->RecordGetDeviceInfo(count, info)) << "the list taken at index 0 is kept";
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(0, info));
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(count, info));
  EXPECT_EQ(info.Driver, "pk_extra");
  Shell("pactl unload-module " + module);
}

// The window re-reads the device list when this number moves: a source loaded or
// unloaded, and the server lost and back, must each move it within a second.
TEST_F(PulseLayer, DeviceListSerialMovesWithSourcesAndTheServer)
{
  auto movesWithin = [&](IAudioLayer &layer, double seconds) {
    const std::uint32_t before = layer.DeviceListSerial();
    return [&layer, before, seconds] {
      return WaitUntil([&] { return layer.DeviceListSerial() != before; }, seconds);
    };
  };
  TAudioDeviceInfo info;
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(0, info));
  SleepMs(100); // the subscription is in place
  auto loaded = movesWithin(*Layer, 3.0);
  const std::string module =
      Shell("pactl load-module module-sine-source source_name=pk_serial rate=48000 frequency=500");
  ASSERT_FALSE(module.empty());
  EXPECT_GE(loaded(), 0.0) << "source loaded";
  SleepMs(100);
  auto unloaded = movesWithin(*Layer, 3.0);
  Shell("pactl unload-module " + module);
  EXPECT_GE(unloaded(), 0.0) << "source unloaded";
  SleepMs(500); // the unload's last events are in
  const std::uint32_t quiet = Layer->DeviceListSerial();
  SleepMs(300);
  EXPECT_EQ(Layer->DeviceListSerial(), quiet) << "nothing changed, nothing moves";

  TPrivateServer server;
  ASSERT_FALSE(server.Server().empty());
  auto layer = LayerOn(server.Server());
  ASSERT_TRUE(layer->RecordGetDeviceInfo(0, info));
  SleepMs(100);
  auto lost = movesWithin(*layer, 3.0);
  ASSERT_TRUE(server.Kill());
  EXPECT_GE(lost(), 0.0) << "server killed";
  SleepMs(1200); // a second of attempts against the dead socket
  const std::uint32_t down = layer->DeviceListSerial();
  SleepMs(300);
  EXPECT_EQ(layer->DeviceListSerial(), down) << "failed attempts do not move it";
  // Counted from before the start: the layer may reconnect while the server is still
  // loading its sources, and a loaded test run may be slow to answer.
  auto back = movesWithin(*layer, 5.0);
  ASSERT_TRUE(server.Start());
  EXPECT_GE(back(), 0.0) << "server back";
  EXPECT_TRUE(layer->RecordGetDeviceInfo(0, info));
  layer->Free();
}

// ---- capture ------------------------------------------------------------------------------

class PulseCapture : public PulseLayer,
                     public ::testing::WithParamInterface<std::pair<std::uint32_t, std::uint32_t>> {
};

// Two sources of a 440 Hz tone at -6 dBFS: "sine", an ordinary input that hands
// out two seconds at a time, and the monitor of tonesink, paced like a microphone.
TEST_P(PulseCapture, DeliversTheToneInRealTimeAfterPlayOnly)
{
  const auto [rate, chans] = GetParam();
  const std::uint32_t bytesPerSecond = rate * chans * 2;
  auto *pulse = dynamic_cast<TPulseAudioLayer *>(Layer.get());
  ASSERT_NE(pulse, nullptr);
  // A resampler may ring for a moment at the start: the first 100 ms are left out.
  auto checkTone = [&](TCollector &got) {
    std::lock_guard lock(got.M);
    for (std::uint32_t c = 0; c < chans; ++c) {
      const TTone tone = AnalyseTone(got.Samples, chans, c, rate, rate / 10);
      EXPECT_NEAR(tone.Frequency, 440.0, 3.0) << "channel " << c;
      EXPECT_NEAR(tone.Peak, 16384, 800) << "channel " << c;
    }
    if (chans == 2) {
      std::size_t differ = 0;
      for (std::size_t i = 0; i + 1 < got.Samples.size(); i += 2)
        differ += got.Samples[i] != got.Samples[i + 1];
      EXPECT_EQ(differ, 0u) << "both channels carry the same tone";
    }
    EXPECT_FALSE(got.PartFrame);
  };

  {
    SCOPED_TRACE("sine");
    TCollector got(chans * 2);
    ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "sine")));
    const THandle h = Layer->RecordStart(rate, chans, CollectProc, &got);
    ASSERT_NE(h, 0u) << Layer->ErrorGetCode();
    TChannelInfo ci;
    ASSERT_TRUE(Layer->ChannelGetInfo(h, ci));
    EXPECT_EQ(ci.Freq, rate);
    EXPECT_EQ(ci.Chans, chans);
    // Created paused: nothing arrives before ChannelPlay.
    EXPECT_EQ(Layer->ChannelIsActive(h), kActivePaused);
    SleepMs(250);
    EXPECT_EQ(got.Calls.load(), 0);
    ASSERT_TRUE(Layer->ChannelPlay(h, false));
    EXPECT_EQ(Layer->ChannelIsActive(h), kActivePlaying);
    EXPECT_GE(WaitUntil([&] { return got.Bytes >= bytesPerSecond / 2; }, 3.0), 0.0);
    Layer->ChannelStop(h);
    EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped);
    EXPECT_EQ(pulse->CaptureDroppedChunks(h), 0u);
    Layer->RecordFree();
    checkTone(got);
  }
  {
    SCOPED_TRACE("tonesink.monitor");
    TCollector got(chans * 2);
    ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "tonesink.monitor")));
    const THandle h = Layer->RecordStart(rate, chans, CollectProc, &got);
    ASSERT_NE(h, 0u) << Layer->ErrorGetCode();
    ASSERT_TRUE(Layer->ChannelPlay(h, false));
    const auto t0 = TClock::now();
    SleepMs(1000);
    Layer->ChannelStop(h);
    const double took = SecondsSince(t0);
    const std::uint32_t largest = pulse->CaptureLargestBuffer(h);
    EXPECT_EQ(pulse->CaptureDroppedChunks(h), 0u);
    std::printf("[ capture  ] %u Hz x %u: %.3f s in %.3f s, %d buffers of %.1f ms on average, "
                "largest %.1f ms\n",
                rate, chans, static_cast<double>(got.Bytes) / bytesPerSecond, took,
                got.Calls.load(),
                1000.0 * static_cast<double>(got.Bytes) / got.Calls / bytesPerSecond,
                1000.0 * largest / bytesPerSecond);
    EXPECT_LE(largest, bytesPerSecond / 20 + chans * 2) << "buffers of at most 50 ms";
    EXPECT_NEAR(static_cast<double>(got.Bytes) / bytesPerSecond, took, 0.15);
    Layer->RecordFree();
    checkTone(got);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, PulseCapture,
                         ::testing::Values(std::make_pair(48000u, 1u), std::make_pair(48000u, 2u),
                                           std::make_pair(44100u, 2u), std::make_pair(96000u, 1u)),
                         [](const auto &info) {
                           return std::to_string(info.param.first) + "_" +
                                  std::to_string(info.param.second) + "ch";
                         });

TEST_F(PulseLayer, StopWaitsForTheCallbackAndNothingFollows)
{
  TCollector got(4);
  got.SleepMs = 15; // a slow callback, so that ChannelStop meets it running
  ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "tonesink.monitor")));
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

  // A channel that never played stops at once; an unknown handle is ignored.
  TCollector idle(4);
  const THandle h2 = Layer->RecordStart(48000, 2, CollectProc, &idle);
  ASSERT_NE(h2, 0u);
  const auto t1 = TClock::now();
  Layer->ChannelStop(h2);
  EXPECT_LT(SecondsSince(t1), 0.2);
  EXPECT_EQ(idle.Calls.load(), 0);
  Layer->ChannelStop(0xBAD);
  EXPECT_EQ(Layer->ChannelIsActive(0xBAD), kActiveStopped);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrHandle);
  Layer->RecordFree();
}

TEST_F(PulseLayer, CallbackAnsweringFalseEndsTheCapture)
{
  TCollector got(2);
  got.StopAfter = 3;
  ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "sine")));
  const THandle h = Layer->RecordStart(48000, 1, CollectProc, &got);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));
  EXPECT_GE(WaitUntil([&] { return Layer->ChannelIsActive(h) == kActiveStopped; }, 2.0), 0.0);
  SleepMs(200);
  EXPECT_EQ(got.Calls.load(), 3);
  Layer->ChannelStop(h); // after the end: harmless
  Layer->RecordFree();
}

// The fifo source delivers what is written to it as fast as it is written: a
// callback that stalls makes the ring overflow. The channel then hands on what
// came before the loss, whole buffers in order and without a hole, and ends,
// telling that audio was lost.
TEST_F(PulseLayer, OverflowEndsTheChannelAtTheLossWithoutAHole)
{
  const char *paDir = std::getenv("PRAATKIST_TEST_PA_DIR");
  if (!paDir)
    GTEST_SKIP() << "PRAATKIST_TEST_PA_DIR is not set";
  TCollector got(4);
  got.StallFirstMs = 1000;
  ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "fifo")));
  const THandle h = Layer->RecordStart(48000, 2, CollectProc, &got);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));

  // A frame counter: left the low 15 bits, right the next 15. Eight seconds
  // while the callback stalls.
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
  auto *pulse = dynamic_cast<TPulseAudioLayer *>(Layer.get());
  const std::uint64_t dropped = pulse->CaptureDroppedChunks(h);
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
}

TEST_F(PulseLayer, UnloadedSourceEndsTheChannelAndItsEncoder)
{
  const std::string module = Shell(
      "pactl load-module module-sine-source source_name=pk_vanishing rate=48000 frequency=440");
  ASSERT_FALSE(module.empty());
  TCollector got(4);
  const int dev = FindDevice(*Layer, "pk_vanishing");
  ASSERT_GE(dev, 0);
  ASSERT_TRUE(Layer->RecordInit(dev));
  const THandle h = Layer->RecordStart(48000, 2, CollectProc, &got);
  ASSERT_NE(h, 0u);
  const fs::path mp3 = Dir / "vanished.mp3";
  const THandle enc = Layer->EncodeMp3Start(h, 128, mp3, true);
  ASSERT_NE(enc, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));
  ASSERT_GE(WaitUntil([&] { return got.Bytes > 48000u; }, 2.0), 0.0);

  Shell("pactl unload-module " + module);
  const double ended = WaitUntil([&] { return Layer->ChannelIsActive(h) == kActiveStopped; }, 2.0);
  std::printf("[ vanished ] channel ended %.0f ms after the source was unloaded\n", ended * 1000);
  EXPECT_GE(ended, 0.0);
  EXPECT_LT(ended, 1.0);
  // The encoder ends with its channel and leaves a complete file.
  EXPECT_GE(WaitUntil([&] { return !Layer->EncodeIsActive(enc); }, 2.0), 0.0);
  const auto t0 = TClock::now();
  Layer->ChannelStop(h);
  Layer->RecordFree();
  EXPECT_LT(SecondsSince(t0), 0.5);
  const TDecoded decoded = Decode(mp3);
  ASSERT_TRUE(decoded.Ok);
  EXPECT_GT(decoded.Frames, 0);
  EXPECT_TRUE(ParseMp3(praatkist::test::ReadBytes(mp3)).InfoTag);
}

// ---- MP3 capture ------------------------------------------------------------------------

TEST_F(PulseLayer, Mp3CaptureIsConstantBitRateWithExactLength)
{
  struct TCase {
    std::uint32_t Rate, Chans;
    int Kbps;
  };
  for (const TCase k : {TCase{48000, 2, 192}, TCase{44100, 1, 128}}) {
    SCOPED_TRACE(std::to_string(k.Rate) + " Hz x " + std::to_string(k.Chans));
    TCollector got(k.Chans * 2);
    ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "sine")));
    const THandle h = Layer->RecordStart(k.Rate, k.Chans, CollectProc, &got);
    ASSERT_NE(h, 0u);
    const fs::path mp3 = Dir / ("take" + std::to_string(k.Chans) + ".mp3");
    const THandle enc = Layer->EncodeMp3Start(h, k.Kbps, mp3, true);
    ASSERT_NE(enc, 0u) << Layer->ErrorGetCode();
    ASSERT_TRUE(Layer->ChannelPlay(h, false));
    SleepMs(1500);
    EXPECT_TRUE(Layer->EncodeIsActive(enc));
    // The engine's order: the channel first, which hands everything on to the
    // callback and the encoder alike, then the encoder.
    Layer->ChannelStop(h);
    Layer->EncodeStop(enc);
    EXPECT_FALSE(Layer->EncodeIsActive(enc));
    Layer->RecordFree();

    const std::uint64_t pcmFrames = got.Bytes / (k.Chans * 2);
    const TDecoded decoded = Decode(mp3);
    ASSERT_TRUE(decoded.Ok);
    EXPECT_EQ(decoded.Rate, static_cast<int>(k.Rate));
    EXPECT_EQ(decoded.Channels, static_cast<int>(k.Chans));
    EXPECT_EQ(static_cast<std::uint64_t>(decoded.Frames), pcmFrames);
    EXPECT_EQ(decoded.Samples.size(), static_cast<std::size_t>(decoded.Frames) * k.Chans);

    const TMp3Frames frames = ParseMp3(praatkist::test::ReadBytes(mp3));
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

TEST_F(PulseLayer, EncoderThatCannotBeCreatedOrWritten)
{
  ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "tonesink.monitor")));
  TCollector got(4);
  const THandle h = Layer->RecordStart(48000, 2, CollectProc, &got);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(Layer->EncodeMp3Start(h, 192, Dir / "no-such-folder" / "x.mp3", true), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrCreate);
  EXPECT_EQ(Layer->EncodeMp3Start(h, 0, Dir / "x.mp3", true), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrIllegalParam);
  EXPECT_EQ(Layer->EncodeMp3Start(0xBAD, 192, Dir / "x.mp3", true), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrHandle);
  // What stands in the file's place is neither followed nor written through: a link to
  // another file, a pipe that has a reader.
  {
    WriteBytes(Dir / "other.txt", "keep", 4);
    std::filesystem::create_symlink(Dir / "other.txt", Dir / "link.mp3");
    ASSERT_EQ(::mkfifo((Dir / "pipe.mp3").c_str(), 0600), 0);
    const int reader = ::open((Dir / "pipe.mp3").c_str(), O_RDONLY | O_NONBLOCK);
    for (const char *name : {"link.mp3", "pipe.mp3"}) {
      EXPECT_EQ(Layer->EncodeMp3Start(h, 192, Dir / name, true), 0u) << name;
      EXPECT_EQ(Layer->ErrorGetCode(), kErrCreate) << name;
    }
    ::close(reader);
    EXPECT_EQ(ReadBytes(Dir / "other.txt"), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
  }

  // A full disk: the encoder stops by itself, the capture goes on.
  const THandle enc = Layer->EncodeMp3Start(h, 192, "/dev/full", true);
  ASSERT_NE(enc, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(h, false));
  EXPECT_GE(WaitUntil([&] { return !Layer->EncodeIsActive(enc); }, 2.0), 0.0);
  const int calls = got.Calls;
  SleepMs(150);
  EXPECT_GT(got.Calls.load(), calls);
  EXPECT_EQ(Layer->ChannelIsActive(h), kActivePlaying);
  Layer->EncodeStop(enc);
  Layer->ChannelStop(h);
  Layer->RecordFree();
}

// ---- decoding streams (no server needed) ------------------------------------------------------

class SndfileStreams : public ::testing::Test {
protected:
  std::unique_ptr<IAudioLayer> Layer = CreateSystemAudioLayer();
  TTempDir Dir;
};

TEST_F(SndfileStreams, DecodesCommonWavFormatsTo16Bit)
{
  const auto pcm = Sine(44100, 2, 0.5, 1000, 20000);
  struct TCase {
    const char *Name;
    int Format;
    int Tolerance;
  };
  for (const TCase k : {TCase{"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0},
                        TCase{"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0},
                        TCase{"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1},
                        TCase{"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 256},
                        TCase{"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 0}}) {
    SCOPED_TRACE(k.Name);
    const fs::path path = Dir / k.Name;
    WriteSound(path, k.Format, 44100, 2, pcm);
    const THandle h = Layer->StreamCreateFile(path, true);
    ASSERT_NE(h, 0u) << Layer->ErrorGetCode();
    TChannelInfo info;
    ASSERT_TRUE(Layer->ChannelGetInfo(h, info));
    EXPECT_EQ(info.Freq, 44100u);
    EXPECT_EQ(info.Chans, 2u);
    EXPECT_EQ(Layer->ChannelGetLength(h), pcm.size() * 2);
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> buf(8193);
    for (;;) {
      // An odd size: only whole frames come back.
      const std::uint32_t n = Layer->ChannelGetData(h, buf.data(), 16387);
      if (n == kDataError) {
        EXPECT_EQ(Layer->ErrorGetCode(), kErrEnded);
        break;
      }
      ASSERT_EQ(n % 4, 0u);
      all.insert(all.end(), buf.begin(), buf.begin() + n / 2);
    }
    ASSERT_EQ(all.size(), pcm.size());
    int worst = 0;
    for (std::size_t i = 0; i < pcm.size(); ++i)
      worst = std::max(worst, std::abs(all[i] - pcm[i]));
    EXPECT_LE(worst, k.Tolerance);
    EXPECT_EQ(Layer->ChannelGetPosition(h), pcm.size() * 2);
    Layer->StreamFree(h);
  }
}

// Decoded MP3 overshoots full scale where the input was at full scale: it is
// clipped, never wrapped round to the other sign; float WAV beyond 1.0 alike.
TEST_F(SndfileStreams, BeyondFullScaleIsClippedNotWrapped)
{
  std::vector<std::int16_t> square(2 * 48000);
  for (std::size_t f = 0; f < 48000; ++f)
    square[2 * f] = square[2 * f + 1] = (f / 24) % 2 ? 32767 : -32768;
  const fs::path wav = Dir / "square.wav", mp3 = Dir / "square.mp3";
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, square);
  const THandle src = Layer->StreamCreateFile(wav, true);
  ASSERT_NE(src, 0u);
  const THandle enc = Layer->EncodeMp3Start(src, 192, mp3, false);
  ASSERT_NE(enc, 0u);
  std::vector<std::int16_t> buf(32768);
  while (Layer->ChannelGetData(src, buf.data(), 65536) != kDataError) {
  }
  Layer->EncodeStop(enc);
  Layer->StreamFree(src);

  auto decode = [&](const fs::path &p) {
    std::vector<std::int16_t> all;
    const THandle h = Layer->StreamCreateFile(p, true);
    EXPECT_NE(h, 0u);
    for (std::uint32_t n; (n = Layer->ChannelGetData(h, buf.data(), 65536)) != kDataError;)
      all.insert(all.end(), buf.begin(), buf.begin() + n / 2);
    Layer->StreamFree(h);
    return all;
  };
  const auto back = decode(mp3);
  ASSERT_EQ(back.size(), square.size());
  std::size_t wrapped = 0, atFull = 0;
  for (std::size_t i = 2; i < back.size(); ++i) {
    wrapped += std::abs(back[i] - back[i - 2]) > 50000;
    atFull += back[i] == 32767 || back[i] == -32768;
  }
  EXPECT_EQ(wrapped, 0u);
  EXPECT_GT(atFull, 1000u);

  const fs::path hot = Dir / "hot.wav";
  {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(hot.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    const float v[] = {0.5f, 1.5f, -1.5f, -0.25f};
    sf_write_float(f, v, 4);
    sf_close(f);
  }
  const auto hotBack = decode(hot);
  EXPECT_EQ(hotBack, (std::vector<std::int16_t>{16384, 32767, -32768, -8192}));
}

TEST_F(SndfileStreams, PositionsAndSeconds)
{
  std::vector<std::int16_t> ramp(48000);
  for (std::size_t i = 0; i < ramp.size(); ++i)
    ramp[i] = static_cast<std::int16_t>(i % 30000);
  const fs::path path = Dir / "ramp.wav";
  WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, ramp);
  const THandle h = Layer->StreamCreateFile(path, true);
  ASSERT_NE(h, 0u);
  EXPECT_DOUBLE_EQ(Layer->ChannelBytes2Seconds(h, 96000), 1.0);
  EXPECT_DOUBLE_EQ(Layer->ChannelBytes2Seconds(h, 24000), 0.25);
  EXPECT_LT(Layer->ChannelBytes2Seconds(0xBAD, 100), 0.0);
  ASSERT_TRUE(Layer->ChannelSetPosition(h, 2 * 12345));
  EXPECT_EQ(Layer->ChannelGetPosition(h), 2u * 12345);
  std::int16_t s[4];
  ASSERT_EQ(Layer->ChannelGetData(h, s, sizeof s), sizeof s);
  EXPECT_EQ(s[0], 12345);
  EXPECT_EQ(s[3], 12348);
  EXPECT_FALSE(Layer->ChannelSetPosition(h, 96002));
  EXPECT_EQ(Layer->ErrorGetCode(), kErrPosition);
  ASSERT_TRUE(Layer->ChannelSetPosition(h, 96000)); // the very end
  EXPECT_EQ(Layer->ChannelGetData(h, s, sizeof s), kDataError);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrEnded);
  ASSERT_TRUE(Layer->ChannelSetPosition(h, 0));
  ASSERT_EQ(Layer->ChannelGetData(h, s, sizeof s), sizeof s);
  EXPECT_EQ(s[1], 1);
  // A decoding stream is read, not played.
  EXPECT_FALSE(Layer->ChannelPlay(h, true));
  float levels[2];
  EXPECT_FALSE(Layer->ChannelGetLevelEx(h, levels, 0.05f));
  Layer->StreamFree(h);
  EXPECT_EQ(Layer->ChannelGetLength(h), kPositionError);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrHandle);
}

TEST_F(SndfileStreams, DamagedFilesGiveErrorCodes)
{
  const auto pcm = Sine(48000, 2, 1.0, 440, 10000);
  const fs::path good = Dir / "good.wav";
  WriteSound(good, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, pcm);
  const auto bytes = praatkist::test::ReadBytes(good);
  ASSERT_EQ(bytes.size(), 44 + pcm.size() * 2);

  auto openCode = [&](const fs::path &p) {
    const THandle h = Layer->StreamCreateFile(p, true);
    if (h)
      Layer->StreamFree(h);
    return h ? kErrOk : Layer->ErrorGetCode();
  };
  EXPECT_EQ(openCode(Dir / "missing.wav"), kErrFileOpen);
  EXPECT_EQ(openCode(Dir.Path()), kErrFileOpen);
  praatkist::test::WriteBytes(Dir / "empty.wav", "", 0);
  EXPECT_EQ(openCode(Dir / "empty.wav"), kErrFileForm);
  std::mt19937 rng(7);
  std::vector<std::uint8_t> noise(100000);
  for (auto &b : noise)
    b = static_cast<std::uint8_t>(rng());
  praatkist::test::WriteBytes(Dir / "noise.wav", noise.data(), noise.size());
  EXPECT_EQ(openCode(Dir / "noise.wav"), kErrFileForm);
  praatkist::test::WriteBytes(Dir / "noise.mp3", noise.data(), noise.size());
  EXPECT_EQ(openCode(Dir / "noise.mp3"), kErrFileForm);
  praatkist::test::WriteBytes(Dir / "half-header.wav", bytes.data(), 20);
  EXPECT_EQ(openCode(Dir / "half-header.wav"), kErrFileForm);

  // Reads a stream to its end: the frames delivered.
  auto readAll = [&](const fs::path &p, std::uint64_t &reported) -> std::int64_t {
    const THandle h = Layer->StreamCreateFile(p, true);
    if (!h)
      return -Layer->ErrorGetCode();
    reported = Layer->ChannelGetLength(h) / 4;
    std::vector<std::uint8_t> buf(65536);
    std::int64_t frames = 0;
    for (int guard = 0; guard < 100000; ++guard) {
      const std::uint32_t n = Layer->ChannelGetData(h, buf.data(), 65536);
      if (n == 0 || n == kDataError)
        break;
      frames += n / 4;
    }
    EXPECT_EQ(Layer->ChannelGetData(h, buf.data(), 65536), kDataError);
    EXPECT_EQ(Layer->ErrorGetCode(), kErrEnded);
    Layer->StreamFree(h);
    return frames;
  };
  std::uint64_t reported = 0;
  // The header alone: a valid file of no frames.
  praatkist::test::WriteBytes(Dir / "header-only.wav", bytes.data(), 44);
  EXPECT_EQ(readAll(Dir / "header-only.wav", reported), 0);
  // Cut in the middle: what is there is read.
  praatkist::test::WriteBytes(Dir / "cut.wav", bytes.data(), 44 + 4 * 1000);
  EXPECT_EQ(readAll(Dir / "cut.wav", reported), 1000);
  // Sizes of 0xFFFFFFFF (a take that never got its header): read to the end.
  auto open = bytes;
  for (std::size_t at : {std::size_t{4}, std::size_t{40}})
    std::memset(&open[at], 0xFF, 4);
  praatkist::test::WriteBytes(Dir / "open.wav", open.data(), open.size());
  EXPECT_EQ(readAll(Dir / "open.wav", reported), 48000);

  // A truncated MP3 ends where its data ends.
  const THandle src = Layer->StreamCreateFile(good, true);
  ASSERT_NE(src, 0u);
  const THandle enc = Layer->EncodeMp3Start(src, 128, Dir / "whole.mp3", false);
  ASSERT_NE(enc, 0u);
  std::vector<std::uint8_t> buf(65536);
  while (Layer->ChannelGetData(src, buf.data(), 65536) != kDataError) {
  }
  Layer->EncodeStop(enc);
  Layer->StreamFree(src);
  const auto mp3 = praatkist::test::ReadBytes(Dir / "whole.mp3");
  praatkist::test::WriteBytes(Dir / "cut.mp3", mp3.data(), mp3.size() / 2);
  const std::int64_t cut = readAll(Dir / "cut.mp3", reported);
  EXPECT_EQ(reported, 48000u) << "the tag still tells the whole length";
  EXPECT_GT(cut, 15000);
  EXPECT_LT(cut, 33000);

  // Failed opens leave no file descriptors behind.
  auto fds = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
  };
  const auto before = fds();
  for (int i = 0; i < 20; ++i) {
    openCode(Dir / "noise.wav");
    openCode(Dir / "empty.wav");
  }
  EXPECT_EQ(fds(), before);
}

TEST_F(SndfileStreams, DecodeAndEncodeKeepsTheLength)
{
  const auto pcm = Sine(48000, 2, 10.0, 440, 16000);
  const fs::path wav = Dir / "ten.wav";
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, pcm);

  // Through the layer twice: WAV -> MP3, then that MP3 -> MP3 (as trimming does).
  auto transcode = [&](const fs::path &from, const fs::path &to) -> double {
    const THandle h = Layer->StreamCreateFile(from, true);
    EXPECT_NE(h, 0u);
    const THandle enc = Layer->EncodeMp3Start(h, 192, to, false);
    EXPECT_NE(enc, 0u);
    std::vector<std::uint8_t> buf(65536);
    const auto t0 = TClock::now();
    std::uint64_t bytes = 0;
    for (;;) {
      const std::uint32_t n = Layer->ChannelGetData(h, buf.data(), 65536);
      if (n == 0 || n == kDataError)
        break;
      bytes += n;
    }
    EXPECT_TRUE(Layer->EncodeIsActive(enc));
    Layer->EncodeStop(enc);
    const double took = SecondsSince(t0);
    Layer->StreamFree(h);
    EXPECT_EQ(bytes, pcm.size() * 2);
    return 10.0 / took;
  };
  const double speed = transcode(wav, Dir / "first.mp3");
  const TDecoded first = Decode(Dir / "first.mp3");
  ASSERT_TRUE(first.Ok);
  EXPECT_LE(std::llabs(first.Frames - 480000), 1152);
  transcode(Dir / "first.mp3", Dir / "second.mp3");
  const TDecoded second = Decode(Dir / "second.mp3");
  ASSERT_TRUE(second.Ok);
  EXPECT_LE(std::llabs(second.Frames - first.Frames), 1152);
  EXPECT_EQ(second.Samples.size(), static_cast<std::size_t>(second.Frames) * 2);
  const TMp3Frames frames = ParseMp3(praatkist::test::ReadBytes(Dir / "second.mp3"));
  EXPECT_TRUE(frames.InfoTag);
  EXPECT_EQ(std::count(frames.Kbps.begin(), frames.Kbps.end(), 192),
            static_cast<long>(frames.Kbps.size()));
  std::printf("[ encode   ] 48 kHz stereo, 192 kbit/s, decoding included: %.0f x real time\n",
              speed);

  // MP3 has no 96 kHz: the encoder halves the rate, the length in time stays.
  const fs::path hi = Dir / "hi.wav";
  WriteSound(hi, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 96000, 1, Sine(96000, 1, 1.0, 440, 16000));
  const THandle hs = Layer->StreamCreateFile(hi, true);
  ASSERT_NE(hs, 0u);
  const THandle he = Layer->EncodeMp3Start(hs, 192, Dir / "hi.mp3", false);
  ASSERT_NE(he, 0u);
  std::vector<std::uint8_t> buf(65536);
  while (Layer->ChannelGetData(hs, buf.data(), 65536) != kDataError) {
  }
  Layer->EncodeStop(he);
  Layer->StreamFree(hs);
  const TDecoded half = Decode(Dir / "hi.mp3");
  ASSERT_TRUE(half.Ok);
  EXPECT_EQ(half.Rate, 48000);
  EXPECT_LE(std::llabs(half.Frames - 48000), 1152);

  // More than two channels cannot go into an MP3.
  const fs::path six = Dir / "six.wav";
  WriteSound(six, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 6, std::vector<std::int16_t>(6 * 100));
  const THandle h = Layer->StreamCreateFile(six, true);
  ASSERT_NE(h, 0u);
  TChannelInfo info;
  ASSERT_TRUE(Layer->ChannelGetInfo(h, info));
  EXPECT_EQ(info.Chans, 6u);
  EXPECT_EQ(Layer->EncodeMp3Start(h, 192, Dir / "six.mp3", false), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrFormat);
  Layer->StreamFree(h);
}

TEST_F(SndfileStreams, EncoderOnAFullDiskStopsWithoutHarm)
{
  const fs::path wav = Dir / "one.wav";
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, Sine(48000, 1, 1.0, 440, 8000));
  const THandle h = Layer->StreamCreateFile(wav, true);
  ASSERT_NE(h, 0u);
  const THandle enc = Layer->EncodeMp3Start(h, 128, "/dev/full", false);
  ASSERT_NE(enc, 0u);
  std::vector<std::uint8_t> buf(65536);
  std::uint64_t bytes = 0;
  for (std::uint32_t n; (n = Layer->ChannelGetData(h, buf.data(), 65536)) != kDataError;)
    bytes += n;
  EXPECT_EQ(bytes, 96000u);
  EXPECT_FALSE(Layer->EncodeIsActive(enc));
  Layer->EncodeStop(enc);
  Layer->StreamFree(h);
}

// ---- playback --------------------------------------------------------------------------------

TEST_F(PulseLayer, PlaysAFileThatIsCapturedBackExactly)
{
  // One second of noise, then one second of a full-scale tone.
  const std::uint32_t rate = 48000;
  std::vector<std::int16_t> pcm = Sine(rate, 2, 2.0, 440, 32767);
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> noise(-12000, 12000);
  for (std::size_t i = 0; i < rate * 2; ++i)
    pcm[i] = static_cast<std::int16_t>(noise(rng));
  const fs::path wav = Dir / "play.wav";
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 2, pcm);

  EXPECT_EQ(Layer->StreamCreateFile(wav, false), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrInit);
  ASSERT_TRUE(Layer->Init());
  EXPECT_FALSE(Layer->Init());
  EXPECT_EQ(Layer->ErrorGetCode(), kErrAlready);

  // What testsink plays comes back on its monitor.
  TCollector back(4);
  ASSERT_TRUE(Layer->RecordInit(FindDevice(*Layer, "testsink.monitor")));
  const THandle rec = Layer->RecordStart(rate, 2, CollectProc, &back);
  ASSERT_NE(rec, 0u);
  ASSERT_TRUE(Layer->ChannelPlay(rec, false));

  const THandle h = Layer->StreamCreateFile(wav, false);
  ASSERT_NE(h, 0u) << Layer->ErrorGetCode();
  EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped);
  EXPECT_EQ(Layer->ChannelGetLength(h), pcm.size() * 2);
  EXPECT_EQ(Layer->ChannelGetPosition(h), 0u);
  SleepMs(100);
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
  EXPECT_GT(pos1, at1 - 0.3) << "latency";
  EXPECT_GT(endedAt, 1.95);
  EXPECT_LT(endedAt, 2.6);
  EXPECT_EQ(Layer->ChannelIsActive(h), kActiveStopped);
  EXPECT_EQ(Layer->ChannelGetLength(h), pcm.size() * 2);
  EXPECT_EQ(Layer->ChannelGetPosition(h), pcm.size() * 2);
  EXPECT_NEAR(noiseLevel, 12000.0 / 32768, 0.02);
  EXPECT_GT(toneLevel, 0.98f);
  float levels[2];
  EXPECT_FALSE(Layer->ChannelGetLevelEx(h, levels, 0.05f)) << "nothing plays any more";

  SleepMs(150);
  Layer->ChannelStop(rec);
  Layer->RecordFree();

  // Find the file in what came back and compare it sample by sample. The null
  // sink's monitor loses the first few milliseconds of a stream that starts
  // (pacat shows the same), so the search starts 50 ms into the file.
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
}

TEST_F(PulseLayer, PlaybackStreamRejectsWhatItCannotPlay)
{
  ASSERT_TRUE(Layer->Init());
  EXPECT_EQ(Layer->StreamCreateFile(Dir / "missing.wav", false), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrFileOpen);
  praatkist::test::WriteBytes(Dir / "text.wav", "not audio at all", 16);
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

TEST_F(PulseLayer, KilledServerEndsCaptureAndPlaybackWithoutHanging)
{
  TPrivateServer server;
  ASSERT_FALSE(server.Server().empty()) << "the private server did not start";
  auto layer = LayerOn(server.Server());
  ASSERT_TRUE(layer->Init()) << layer->ErrorGetCode();

  TCollector got(4);
  ASSERT_TRUE(layer->RecordInit(FindDevice(*layer, "tonesink.monitor")));
  const THandle rec = layer->RecordStart(48000, 2, CollectProc, &got);
  ASSERT_NE(rec, 0u);
  const THandle enc = layer->EncodeMp3Start(rec, 192, Dir / "killed.mp3", true);
  ASSERT_NE(enc, 0u);
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
  EXPECT_GE(WaitUntil([&] { return !layer->EncodeIsActive(enc); }, 1.0), 0.0);

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
  EXPECT_TRUE(Decode(Dir / "killed.mp3").Ok);
}
