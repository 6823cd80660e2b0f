// The engine's capture of takes, driven through the scripted audio layer.

#include "audio/BassRecorder.h"
#include "platform/Errors.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace praatkist;
using praatkist::test::Le16;
using praatkist::test::Le32;
using praatkist::test::ReadBytes;
using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;

namespace {

class CaptureTest : public ::testing::Test {
protected:
  TTempDir dir;
  TScriptedAudioLayer layer;
  std::unique_ptr<TBassRecorder> rec = std::make_unique<TBassRecorder>(layer);

  std::filesystem::path Take(const char* name = "Koor-1.wav") { return dir / name; }

  void StartWave(int rate = 48000, int channels = 2)
  {
    rec->Start(0, rate, channels, 192, rfWave, Take());
  }

  std::pair<int, int> Peaks()
  {
    int l = -1, r = -1;
    rec->ConsumeStereoPeaks(l, r);
    return {l, r};
  }
};

std::vector<std::int16_t> Ramp(std::size_t n, std::int16_t from)
{
  std::vector<std::int16_t> v(n);
  for (std::size_t i = 0; i < n; ++i)
    v[i] = static_cast<std::int16_t>(from + static_cast<std::int16_t>(i));
  return v;
}

} // namespace

TEST_F(CaptureTest, PeaksPerChannelOfTheLatestBuffer)
{
  StartWave(48000, 1);
  std::vector<std::int16_t> mono = {10, -1000, 999, 0};
  ASSERT_TRUE(layer.Deliver(mono));
  EXPECT_EQ(Peaks(), std::make_pair(1000, 1000));
  rec->Stop();

  StartWave(48000, 2);
  // left between -500 and 500, right down to -20000
  ASSERT_TRUE(layer.Deliver({-500, 3, 500, -20000, 12, 19999}));
  EXPECT_EQ(Peaks(), std::make_pair(500, 20000));
  // full scale negative counts as 32768
  ASSERT_TRUE(layer.Deliver({0, -32768}));
  EXPECT_EQ(rec->ConsumePeakLevel(), 32768);
}

TEST_F(CaptureTest, PeaksAreConsumedOnceAndOnlyTheLatestBufferCounts)
{
  StartWave();
  ASSERT_TRUE(layer.Deliver({7000, -7000}));
  EXPECT_EQ(Peaks(), std::make_pair(7000, 7000));
  EXPECT_EQ(Peaks(), std::make_pair(0, 0));

  ASSERT_TRUE(layer.Deliver({30000, 30000}));
  ASSERT_TRUE(layer.Deliver({100, 200}));
  EXPECT_EQ(Peaks(), std::make_pair(100, 200));

  // a silent buffer replaces a loud one rather than keeping a maximum
  ASSERT_TRUE(layer.Deliver({30000, 30000}));
  ASSERT_TRUE(layer.Deliver({0, 0}));
  EXPECT_EQ(rec->ConsumePeakLevel(), 0);
}

class WaveHeaderTest : public CaptureTest,
                       public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(WaveHeaderTest, FinalHeaderDescribesTheCapturedData)
{
  const auto [rate, channels] = GetParam();
  StartWave(rate, channels);
  const auto a = Ramp(480 * channels, -300);
  const auto b = Ramp(960 * channels, 1234);
  ASSERT_TRUE(layer.Deliver(a));
  ASSERT_TRUE(layer.Deliver(b));
  rec->Stop();

  const auto bytes = ReadBytes(Take());
  const std::uint32_t data = static_cast<std::uint32_t>((a.size() + b.size()) * 2);
  ASSERT_EQ(bytes.size(), 44u + data);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(bytes, 4), data + 36);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(bytes, 16), 16u);
  EXPECT_EQ(Le16(bytes, 20), 1u);
  EXPECT_EQ(Le16(bytes, 22), channels);
  EXPECT_EQ(Le32(bytes, 24), static_cast<std::uint32_t>(rate));
  EXPECT_EQ(Le32(bytes, 28), static_cast<std::uint32_t>(rate * channels * 2));
  EXPECT_EQ(Le16(bytes, 32), channels * 2);
  EXPECT_EQ(Le16(bytes, 34), 16u);
  EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
  EXPECT_EQ(Le32(bytes, 40), data);
  // the buffers exactly as delivered, in order
  EXPECT_EQ(0, std::memcmp(bytes.data() + 44, a.data(), a.size() * 2));
  EXPECT_EQ(0, std::memcmp(bytes.data() + 44 + a.size() * 2, b.data(), b.size() * 2));
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, WaveHeaderTest,
                         ::testing::Values(std::make_pair(44100, 1), std::make_pair(44100, 2),
                                           std::make_pair(48000, 1), std::make_pair(48000, 2),
                                           std::make_pair(96000, 1), std::make_pair(96000, 2)));

TEST_F(CaptureTest, RunningTakeHasAReadableProvisionalHeader)
{
  StartWave(48000, 2);
  ASSERT_TRUE(layer.Deliver(Ramp(200, 5)));
  auto bytes = ReadBytes(Take());
  ASSERT_EQ(bytes.size(), 44u + 400u);
  EXPECT_EQ(Le32(bytes, 4), 0xFFFFFFFFu);
  EXPECT_EQ(Le32(bytes, 40), 0xFFFFFFFFu);
  EXPECT_EQ(Le32(bytes, 28), 192000u);
  EXPECT_EQ(Le16(bytes, 32), 4u);
  rec->Stop();
  bytes = ReadBytes(Take());
  EXPECT_EQ(Le32(bytes, 40), 400u);
}

TEST_F(CaptureTest, TakeStoppedBeforeAnyBufferIsAnEmptyWave)
{
  StartWave();
  rec->Stop();
  const auto bytes = ReadBytes(Take());
  ASSERT_EQ(bytes.size(), 44u);
  EXPECT_EQ(Le32(bytes, 4), 36u);
  EXPECT_EQ(Le32(bytes, 40), 0u);
  EXPECT_FALSE(rec->Recording());
  EXPECT_EQ(layer.RecordDevice, -1) << "the input must be closed";
}

TEST_F(CaptureTest, StopWhenIdleDoesNothingAndStartWhileRecordingLeavesTheTakeAlone)
{
  rec->Stop();
  EXPECT_TRUE(layer.Log.empty() || layer.Log == std::vector<std::string>{"Init"});

  StartWave();
  ASSERT_TRUE(layer.Deliver({1, 2}));
  try {
    rec->Start(0, 44100, 1, 128, rfWave, dir / "ander.wav");
    FAIL() << "a second start must fail";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Er loopt al een opname.");
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "ander.wav"));
  EXPECT_TRUE(rec->Recording());
  ASSERT_TRUE(layer.Deliver({3, 4}));
  rec->Stop();
  const auto bytes = ReadBytes(Take());
  ASSERT_EQ(bytes.size(), 52u);
  EXPECT_EQ(Le32(bytes, 24), 48000u);
  EXPECT_EQ(Le16(bytes, 44 + 6), 4u);
}

TEST_F(CaptureTest, DeviceListComesFromTheLayer)
{
  ASSERT_EQ(TBassRecorder::DeviceCount(layer), 3);
  TBassDeviceInfo info;
  ASSERT_TRUE(TBassRecorder::DeviceInfo(layer, 1, info));
  EXPECT_EQ(info.Name, "Monitor of Speakers");
  EXPECT_EQ(info.Driver, "speakers.monitor");
  EXPECT_EQ(info.Flags, audio::kDeviceEnabled | audio::kDeviceLoopback);
  EXPECT_FALSE(TBassRecorder::DeviceInfo(layer, 3, info));
  EXPECT_EQ(info.Name, "");
  EXPECT_EQ(info.Flags, 0u);
}

TEST(CaptureCreate, FailingOutputGivesNoEngineAndFreesTheLayer)
{
  TScriptedAudioLayer layer;
  layer.FailNext("Init", audio::kErrDriver);
  try {
    TBassRecorder rec(layer);
    FAIL() << "construction must fail";
  } catch (const EAudioError& e) {
    EXPECT_STREQ(e.what(), "Initialiseren van audio-uitgang mislukt (BASS-fout 3).");
  }
  EXPECT_TRUE(layer.Called("Free"));
}

TEST_F(CaptureTest, DestructionCompletesARunningTake)
{
  StartWave(44100, 1);
  ASSERT_TRUE(layer.Deliver({5, 6, 7}));
  rec.reset();
  const auto bytes = ReadBytes(Take());
  EXPECT_EQ(Le32(bytes, 40), 6u);
  EXPECT_FALSE(layer.Initialised);
}

// Each failing step of Start: its message, and nothing left running.
struct StartFailure {
  const char* Call;
  int Code;
  TRecordingFormat Format;
  const char* Message;
  bool FileLeft;
};

class StartFailureTest : public CaptureTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailureTest, ReportsTheStepAndCleansUp)
{
  const StartFailure f = GetParam();
  const auto path = Take(f.Format == rfWave ? "Koor-1.wav" : "Koor-1.mp3");
  layer.FailNext(f.Call, f.Code);
  try {
    rec->Start(0, 48000, 2, 192, f.Format, path);
    FAIL() << "start must fail";
  } catch (const EAudioError& e) {
    EXPECT_STREQ(e.what(), f.Message);
    EXPECT_EQ(e.Code(), f.Code);
  }
  EXPECT_FALSE(rec->Recording());
  EXPECT_EQ(layer.RecordDevice, -1) << "the input must be closed again";
  EXPECT_NE(layer.RecordState, audio::kActivePlaying);
  EXPECT_EQ(std::filesystem::exists(path), f.FileLeft);
  if (f.FileLeft && f.Format == rfWave) {
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(Le32(bytes, 40), 0u) << "a left-over file says truthfully that it is empty";
  }
  // the engine is ready for the next take
  rec->Start(0, 48000, 2, 192, rfWave, Take("Koor-2.wav"));
  EXPECT_TRUE(layer.Deliver({1, 1}));
  rec->Stop();
  EXPECT_EQ(ReadBytes(Take("Koor-2.wav")).size(), 48u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StartFailureTest,
    ::testing::Values(
        StartFailure{"RecordInit", 23, rfWave, "Openen van audio-ingang mislukt (BASS-fout 23).",
                     false},
        StartFailure{"RecordInit", 23, rfMP3, "Openen van audio-ingang mislukt (BASS-fout 23).",
                     false},
        StartFailure{"RecordStart", 6, rfWave, "Starten van opname mislukt (BASS-fout 6).", true},
        StartFailure{"EncodeMp3Start", 33, rfMP3,
                     "Starten van MP3-encoder mislukt (BASS-fout 33).", false},
        StartFailure{"ChannelPlay", -1, rfWave, "Activeren van opname mislukt (BASS-fout -1).",
                     true}));

TEST_F(CaptureTest, WaveFileThatCannotBeCreatedLeavesNothingRunning)
{
  EXPECT_THROW(rec->Start(0, 48000, 2, 192, rfWave, dir / "geen-map" / "Koor-1.wav"), EFileError);
  EXPECT_FALSE(rec->Recording());
  EXPECT_EQ(layer.RecordDevice, -1);
  EXPECT_FALSE(layer.Called("RecordStart"));
}

TEST_F(CaptureTest, Mp3TakeIsWrittenByTheEncoderAlone)
{
  const auto path = Take("Koor-1.mp3");
  rec->Start(0, 44100, 1, 320, rfMP3, path);
  EXPECT_EQ(layer.EncoderKbps, 320);
  EXPECT_TRUE(layer.EncoderAutoFree);
  EXPECT_EQ(layer.EncoderFile, path);
  EXPECT_EQ(layer.RecordChans, 1u);
  EXPECT_EQ(layer.RecordRate, 44100u);
  const std::vector<std::int16_t> buf = {100, -200, 300};
  ASSERT_TRUE(layer.Deliver(buf));
  EXPECT_EQ(rec->ConsumePeakLevel(), 300);
  rec->Stop();
  // the scripted encoder stores what passed through it: nothing else touched the file
  const auto bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 6u);
  EXPECT_EQ(0, std::memcmp(bytes.data(), buf.data(), 6));
  // encoder stopped before the channel, the input closed last
  const auto& log = layer.Log;
  const auto at = [&](const char* c) { return std::find(log.begin(), log.end(), c) - log.begin(); };
  EXPECT_LT(at("EncodeStop"), at("ChannelStop"));
  EXPECT_LT(at("ChannelStop"), at("RecordFree"));
}

TEST_F(CaptureTest, VanishedInputEndsTheTakeAndTheFileStaysValid)
{
  StartWave();
  std::string why;
  EXPECT_FALSE(rec->CaptureEndedByItself(why));
  ASSERT_TRUE(layer.Deliver(Ramp(100, 0)));
  layer.LoseDevice();
  ASSERT_TRUE(rec->CaptureEndedByItself(why));
  EXPECT_EQ(why, "Opname gestopt: de audio-ingang is weggevallen.");
  rec->Stop();
  EXPECT_FALSE(rec->CaptureEndedByItself(why));
  const auto bytes = ReadBytes(Take());
  EXPECT_EQ(bytes.size(), 244u);
  EXPECT_EQ(Le32(bytes, 40), 200u);
}

TEST_F(CaptureTest, FailingEncoderEndsAnMp3Take)
{
  rec->Start(0, 48000, 2, 192, rfMP3, Take("Koor-1.mp3"));
  layer.FailEncoder();
  std::string why;
  ASSERT_TRUE(rec->CaptureEndedByItself(why));
  EXPECT_EQ(why, "Opname gestopt: het bestand kon niet verder worden geschreven.");
  rec->Stop();
}

TEST_F(CaptureTest, WaveSizeLimitEndsTheTakeOnAFrameBoundary)
{
  StartWave(48000, 2);
  rec->SetWaveDataLimit(1002);  // room for 250 frames and 2 bytes
  ASSERT_TRUE(layer.Deliver(Ramp(400, 0)));   // 800 bytes
  EXPECT_FALSE(layer.Deliver(Ramp(400, 0)));  // would pass the limit: capture ends
  std::string why;
  ASSERT_TRUE(rec->CaptureEndedByItself(why));
  EXPECT_EQ(why, "Opname gestopt: de maximale grootte van een WAV-bestand is bereikt.");
  rec->Stop();
  const auto bytes = ReadBytes(Take());
  EXPECT_EQ(Le32(bytes, 40), 1000u);
  EXPECT_EQ(Le32(bytes, 4), 1036u);
  EXPECT_EQ(bytes.size(), 1044u);
}

TEST_F(CaptureTest, WriteFailureKeepsTheHeaderTrue)
{
  // Let the file grow to 44 + 1000 bytes only, as a full disk would.
  struct rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  StartWave(48000, 2);
  struct rlimit small = old;
  small.rlim_cur = 1044;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool first = layer.Deliver(Ramp(300, 0));   // 600 bytes: fits
  const bool second = layer.Deliver(Ramp(300, 0));  // 600 more: only 400 fit
  const bool third = layer.Deliver(Ramp(2, 0));
  std::string why;
  const bool ended = rec->CaptureEndedByItself(why);
  rec->Stop();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_TRUE(first);
  EXPECT_FALSE(second);
  EXPECT_FALSE(third) << "nothing more may be appended after a failed write";
  EXPECT_TRUE(ended);
  EXPECT_EQ(why, "Opname gestopt: het bestand kon niet verder worden geschreven.");
  const auto bytes = ReadBytes(Take());
  ASSERT_EQ(bytes.size(), 644u) << "the partly written buffer is cut off again";
  EXPECT_EQ(Le32(bytes, 40), 600u);
  EXPECT_EQ(Le32(bytes, 4), 636u);
}
