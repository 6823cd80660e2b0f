// The engine on the real Linux audio layer and the PulseAudio test server: takes
// recorded from the test sources, the ways a take can end by itself, a recorder
// killed mid-take, analysis and playback of real files, and trimming a real take.

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "support/PulseTestKit.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <random>

extern char **environ;

using namespace praatkist;
using namespace praatkist::test;
namespace fs = std::filesystem;

namespace {

class EngineReal : public ::testing::Test {
protected:
  void SetUp() override
  {
    REQUIRE_PULSE();
    layer = audio::CreateSystemAudioLayer();
    rec = std::make_unique<TBassRecorder>(*layer);
  }

  // The engine made anew with Tuning.
  void Tune(const TEngineTuning &tuning)
  {
    rec.reset();
    rec = std::make_unique<TBassRecorder>(*layer, tuning);
  }

  int Device(const char *driver)
  {
    const int d = FindDevice(*layer, driver);
    EXPECT_GE(d, 0) << driver;
    return d;
  }

  TTempDir dir;
  std::unique_ptr<audio::IAudioLayer> layer;
  std::unique_ptr<TBassRecorder> rec;
};

// The data size in the header of a WAV take written by the engine, and the file's.
void ExpectTrueHeader(const fs::path &take)
{
  const auto bytes = ReadBytes(take);
  ASSERT_GE(bytes.size(), 44u);
  EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44) << take;
  EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8) << take;
}

// Waits (at most 20 s) until File holds at least Bytes bytes: a take has captured that
// much. False on time-out.
bool WaitForBytes(const fs::path &file, std::uintmax_t bytes)
{
  return WaitUntil(
             [&] {
               std::error_code ec;
               const auto size = fs::file_size(file, ec);
               return !ec && size >= bytes;
             },
             20.0) >= 0.0;
}

// The bytes of Seconds of a take: WAV with its header, or MP3 at Kbps.
std::uintmax_t WaveBytes(double seconds, int rate, int channels)
{
  return 44 + static_cast<std::uintmax_t>(seconds * rate) * 2u * static_cast<unsigned>(channels);
}
std::uintmax_t Mp3Bytes(double seconds, int kbps)
{
  return static_cast<std::uintmax_t>(seconds * kbps * 1000 / 8);
}
std::uintmax_t TakeBytes(TRecordingFormat format, double seconds, int rate, int channels)
{
  return format == rfWave ? WaveBytes(seconds, rate, channels) : Mp3Bytes(seconds, 192);
}

// 1 s silence, 2 s of a 440 Hz tone at half scale, 1 s silence; 48 kHz stereo.
std::vector<std::int16_t> SilenceToneSilence()
{
  std::vector<std::int16_t> s(4 * 48000 * 2, 0);
  for (int f = 48000; f < 3 * 48000; ++f) {
    const auto v = static_cast<std::int16_t>(
        std::lround(16384.0 * std::sin(2 * M_PI * 440.0 * (f - 48000) / 48000.0)));
    s[2 * static_cast<std::size_t>(f)] = v;
    s[2 * static_cast<std::size_t>(f) + 1] = v;
  }
  return s;
}

// Records everything written to the fifo source into File; returns when all of it
// has been captured and the take is stopped. A WAV take then holds every byte; an MP3
// take's input has fallen silent (nothing for a second after the server took the last
// byte; the engine is tuned to call an input frozen after a second).
void RecordFromFifo(TBassRecorder &rec, int device, TRecordingFormat format, const fs::path &file,
                    const std::vector<std::int16_t> &samples)
{
  rec.Start({{device, 48000, 2}, format, 192}, file);
  {
    TFifoWriter writer(samples);
    ASSERT_GE(WaitUntil([&] { return writer.Done(); }, 20.0), 0.0);
  }
  if (format == rfWave)
    ASSERT_TRUE(WaitForBytes(file, 44 + samples.size() * 2));
  else
    ASSERT_GE(WaitUntil([&] { return rec.Status().Frozen; }, 20.0), 0.0);
  rec.Stop();
}

// Peaks of the first two channels per point, computed the plain way.
void ReferencePeaks(const TDecoded &d, int maxPoints, std::vector<std::int32_t> &left,
                    std::vector<std::int32_t> &right)
{
  const std::uint64_t frames = static_cast<std::uint64_t>(d.Frames);
  const std::uint64_t per =
      std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(double(frames) / maxPoints)));
  const std::size_t n =
      std::min<std::size_t>(maxPoints, static_cast<std::size_t>(std::ceil(double(frames) / per)));
  left.assign(n, 0);
  right.assign(n, 0);
  const std::size_t chans = static_cast<std::size_t>(d.Channels);
  for (std::size_t f = 0; f < d.Samples.size() / chans && f / per < n; ++f) {
    const std::size_t p = f / per;
    left[p] = std::max(left[p], std::abs(static_cast<std::int32_t>(d.Samples[f * chans])));
    right[p] = std::max(
        right[p], std::abs(static_cast<std::int32_t>(d.Samples[f * chans + (chans > 1 ? 1 : 0)])));
  }
}

} // namespace

class EngineWaveTake : public EngineReal, public ::testing::WithParamInterface<int> {};

TEST_P(EngineWaveTake, SineSourceGivesA440HzToneAtMinus6dB)
{
  const int channels = GetParam();
  const auto take = dir / "Koor-1.wav";
  rec->Start({{Device("sine"), 48000, channels}, rfWave, 192}, take);
  int loudest = 0;
  // The meter's ticks for 2 s at least and until the take holds 2 s (or 20 s have
  // passed): the meter shows the latest buffer, and a server that hands over short
  // buffers (or ends a queued burst with one) gives many a look with no crest of the
  // tone in it.
  const auto t0 = TClock::now();
  std::error_code ec;
  do {
    SleepMs(75);
    loudest = std::max(loudest, rec->Status().Level());
  } while ((fs::file_size(take, ec) < WaveBytes(2.0, 48000, channels) || SecondsSince(t0) < 2.0) &&
           SecondsSince(t0) < 20.0);
  EXPECT_EQ(rec->Status().End, TCaptureEnd::None);
  rec->Stop();
  EXPECT_NEAR(loudest, 16384, 1700);

  ExpectTrueHeader(take);
  const TDecoded d = Decode(take);
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Rate, 48000);
  EXPECT_EQ(d.Channels, channels);
  EXPECT_GE(d.Frames, 48000 * 3 / 2);
  for (int ch = 0; ch < channels; ++ch) {
    const TTone t = AnalyseTone(d.Samples, channels, ch, 48000, 4800);
    EXPECT_NEAR(t.Frequency, 440.0, 1.0);
    EXPECT_NEAR(20 * std::log10(t.Peak / 32768.0), -6.0, 0.5);
  }
}

INSTANTIATE_TEST_SUITE_P(MonoAndStereo, EngineWaveTake, ::testing::Values(1, 2));

TEST_F(EngineReal, Mp3TakeIsConstantBitRateAndExactlyAsLongAsItsAudio)
{
  const auto take = dir / "Koor-1.mp3";
  Tune({.InputFrozenAfterMs = 1000});
  RecordFromFifo(*rec, Device("fifo"), rfMP3, take, Sine(48000, 2, 2.0, 440, 8000));

  const TDecoded d = Decode(take);
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Rate, 48000);
  EXPECT_EQ(d.Channels, 2);
  EXPECT_NEAR(d.Frames / 48000.0, 2.0, 0.05);
  EXPECT_EQ(static_cast<std::int64_t>(d.Samples.size() / 2), d.Frames);
  const TMp3Frames frames = ParseMp3(ReadBytes(take));
  ASSERT_GT(frames.Kbps.size(), 80u);
  EXPECT_TRUE(std::all_of(frames.Kbps.begin(), frames.Kbps.end(), [](int r) { return r == 192; }));
  EXPECT_TRUE(frames.InfoTag) << "the encoder's Info tag opens the file";
  EXPECT_FALSE(frames.TrailingGarbage);
}

class EngineRealFormat : public EngineReal, public ::testing::WithParamInterface<TRecordingFormat> {
protected:
  fs::path TakeName() const { return dir / (GetParam() == rfWave ? "Koor-1.wav" : "Koor-1.mp3"); }
  static void ExpectReadable(const fs::path &take, std::int64_t minFrames)
  {
    if (take.extension() == ".wav")
      ExpectTrueHeader(take);
    const TDecoded d = Decode(take);
    ASSERT_TRUE(d.Ok) << take;
    EXPECT_GE(d.Frames, minFrames) << take;
  }
};

INSTANTIATE_TEST_SUITE_P(WaveAndMp3, EngineRealFormat, ::testing::Values(rfWave, rfMP3),
                         [](const auto &i) { return i.param == rfWave ? "Wave" : "Mp3"; });

TEST_P(EngineRealFormat, UnloadedSourceEndsTheTakeAsAnInputLoss)
{
  const std::string module =
      Shell("pactl load-module module-sine-source source_name=weg rate=48000 frequency=330");
  ASSERT_FALSE(module.empty());
  const auto take = TakeName();
  rec->Start({{Device("weg"), 48000, 2}, GetParam(), 192}, take);
  ASSERT_TRUE(WaitForBytes(take, TakeBytes(GetParam(), 0.4, 48000, 2)));
  Shell("pactl unload-module " + module);
  TCaptureEnd end = TCaptureEnd::None;
  const double took =
      WaitUntil([&] { return (end = rec->Status().End) != TCaptureEnd::None; }, 2.0);
  EXPECT_GE(took, 0.0);
  EXPECT_LT(took, 1.0);
  EXPECT_EQ(end, TCaptureEnd::DeviceLost);
  const auto t0 = TClock::now();
  rec->Stop();
  EXPECT_LT(SecondsSince(t0), 0.5);
  ExpectReadable(take, 4800);
}

TEST_P(EngineRealFormat, KilledServerEndsTheTakeAsAnInputLossWithoutHanging)
{
  TPrivateServer server;
  ASSERT_FALSE(server.Server().empty());
  auto privateLayer = LayerOn(server.Server());
  auto privateRec = std::make_unique<TBassRecorder>(*privateLayer);
  const auto take = TakeName();
  privateRec->Start({{FindDevice(*privateLayer, "sine"), 44100, 1}, GetParam(), 192}, take);
  ASSERT_TRUE(WaitForBytes(take, TakeBytes(GetParam(), 0.4, 44100, 1)));
  ASSERT_TRUE(server.Kill());
  TCaptureEnd end = TCaptureEnd::None;
  const double took =
      WaitUntil([&] { return (end = privateRec->Status().End) != TCaptureEnd::None; }, 2.0);
  EXPECT_GE(took, 0.0);
  EXPECT_LT(took, 1.0);
  EXPECT_EQ(end, TCaptureEnd::DeviceLost);
  const auto t0 = TClock::now();
  privateRec->Stop();
  privateRec.reset();
  EXPECT_LT(SecondsSince(t0), 1.0);
  ExpectReadable(take, 1);
}

// A take whose file is removed while it runs would be lost without a word: it ends
// at once with the write failure, also while the encoder holds the MP3 file open.
TEST_P(EngineRealFormat, RemovedTakeEndsTheTakeWithinASecond)
{
  const auto take = TakeName();
  rec->Start({{Device("sine"), 48000, 2}, GetParam(), 192}, take);
  ASSERT_TRUE(WaitForBytes(take, TakeBytes(GetParam(), 0.3, 48000, 2)));
  ASSERT_TRUE(fs::remove(take));
  TCaptureEnd end = TCaptureEnd::None;
  const double took =
      WaitUntil([&] { return (end = rec->Status().End) != TCaptureEnd::None; }, 2.0);
  EXPECT_GE(took, 0.0);
  EXPECT_LT(took, 1.0);
  EXPECT_EQ(end, TCaptureEnd::WriteFailed);
  rec->Stop();
  EXPECT_FALSE(fs::exists(take));
}

// A speaker who clicks stop right after the last word keeps it: everything the
// source gave up to the click is in the file.
TEST_P(EngineRealFormat, StopKeepsEverythingCapturedUpToTheClick)
{
  const auto take = TakeName();
  const std::vector<std::int16_t> sound = Sine(48000, 2, 1.5, 440, 12000);
  rec->Start({{Device("fifo"), 48000, 2}, GetParam(), 192}, take);
  {
    TFifoWriter writer(sound);
    ASSERT_GE(WaitUntil([&] { return writer.Done(); }, 20.0), 0.0);
  }
  rec->Stop();
  const TDecoded d = Decode(take);
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Frames, static_cast<std::int64_t>(sound.size() / 2));
  if (GetParam() == rfWave) {
    EXPECT_EQ(d.Samples, sound);
  }
}

// A source that gives nothing (a frozen device or server) is reported while it
// stays silent, and no longer once audio comes in again.
TEST_F(EngineReal, FrozenInputIsReportedUntilAudioArrives)
{
  Tune({.InputFrozenAfterMs = 800});
  const auto t0 = TClock::now();
  rec->Start({{Device("fifo"), 48000, 2}, rfWave, 192}, dir / "Koor-1.wav");
  // Not frozen at first (the first question comes at once); frozen once 0.8 s have
  // passed without audio, however late a busy machine lets the test ask.
  ASSERT_GE(WaitUntil([&] { return rec->Status().Frozen; }, 20.0), 0.0);
  EXPECT_GE(SecondsSince(t0), 0.79);
  {
    TFifoWriter writer(Sine(48000, 2, 1.0, 440, 8000));
    EXPECT_GE(WaitUntil([&] { return !rec->Status().Frozen; }, 20.0), 0.0);
  }
  EXPECT_EQ(rec->Status().End, TCaptureEnd::None);
  rec->Stop();
}

TEST_F(EngineReal, KilledRecorderLeavesAReadableTake)
{
  const auto take = dir / "Koor-1.wav";
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string path = take.string();
  // tonesink.monitor is paced like a microphone
  char *argv[] = {const_cast<char *>(PRAATKIST_RECORD_TAKE), const_cast<char *>("tonesink.monitor"),
                  const_cast<char *>(path.c_str()), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, PRAATKIST_RECORD_TAKE, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  char word[16] = {};
  ASSERT_GT(::read(out[0], word, sizeof word - 1), 0);
  ::close(out[0]);
  ASSERT_EQ(std::string(word).substr(0, 9), "recording");
  const auto started = TClock::now();
  SleepMs(3000);
  const double ran = SecondsSince(started);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);

  const TDecoded d = Decode(take);
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Rate, 48000);
  EXPECT_GE(static_cast<double>(d.Samples.size() / 2), (ran - 1.0) * 48000);
  const TTone t = AnalyseTone(d.Samples, 2, 0, 48000, 4800);
  EXPECT_NEAR(t.Frequency, 440.0, 1.0);
}

// A line the recorder says on its output, without the line end.
std::string ReadLine(int fd)
{
  std::string line;
  char c = 0;
  while (::read(fd, &c, 1) == 1 && c != '\n')
    line += c;
  return line;
}

// A marker set in another program's take is in its label file at once and after a
// kill; the take is mended when it is listed afterwards (true sizes, the cue chunk of
// its label file), but not while that program still records into it.
TEST_F(EngineReal, KilledTakeKeepsItsMarkersAndIsMendedOnceItsWriterIsGone)
{
  const auto take = dir / "Koor-1.wav";
  int in[2], out[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string path = take.string();
  char *argv[] = {const_cast<char *>(PRAATKIST_RECORD_TAKE), const_cast<char *>("tonesink.monitor"),
                  const_cast<char *>(path.c_str()), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, PRAATKIST_RECORD_TAKE, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ASSERT_EQ(ReadLine(out[0]), "recording");
  ASSERT_TRUE(WaitForBytes(take, WaveBytes(0.5, 48000, 2)));
  ASSERT_EQ(::write(in[1], "mark\n", 5), 5);
  EXPECT_EQ(ReadLine(out[0]), "marked 1");
  std::ifstream labels(audio::MarkersPath(take));
  std::string line;
  ASSERT_TRUE(std::getline(labels, line));
  const double at = std::stod(line.substr(0, line.find('\t')));
  EXPECT_GE(at, 0.4);
  EXPECT_EQ(line.substr(line.rfind('\t')), "\tMarkering 1");

  // Still recording in the other program: left alone.
  EXPECT_EQ(audio::MendCrashedTakes(dir.Path()), 0);
  ASSERT_TRUE(WaitForBytes(take, WaveBytes(at + 0.5, 48000, 2)));
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(in[1]);
  ::close(out[0]);
  {
    const std::vector<std::uint8_t> killed = ReadBytes(take);
    ASSERT_GE(killed.size(), 44u);
    EXPECT_EQ(Le32(killed, 40), 0xFFFFFFFFu);
  }
  std::ifstream again(audio::MarkersPath(take));
  std::string kept;
  ASSERT_TRUE(std::getline(again, kept));
  EXPECT_EQ(kept, line);

  EXPECT_EQ(audio::MendCrashedTakes(dir.Path()), 1);
  const std::vector<std::uint8_t> mended = ReadBytes(take);
  const std::uint32_t data = Le32(mended, 40);
  EXPECT_EQ(data % 4, 0u);
  EXPECT_GE(data, static_cast<std::uint32_t>((at + 0.5) * 48000) * 4);
  EXPECT_EQ(Le32(mended, 4), mended.size() - 8);
  SF_INFO info{};
  SNDFILE *sf = sf_open(path.c_str(), SFM_READ, &info);
  ASSERT_NE(sf, nullptr);
  EXPECT_EQ(info.frames, data / 4);
  SF_CUES cues{};
  ASSERT_EQ(sf_command(sf, SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
  sf_close(sf);
  ASSERT_EQ(cues.cue_count, 1u);
  EXPECT_EQ(cues.cue_points[0].sample_offset, static_cast<std::uint32_t>(std::lround(at * 48000)));
}

TEST_F(EngineReal, AnalysisOfRealWaveAndMp3TakesMatchesAPlainReduction)
{
  const auto wav = dir / "Koor-1.wav";
  rec->Start({{Device("sine"), 48000, 2}, rfWave, 192}, wav);
  ASSERT_TRUE(WaitForBytes(wav, WaveBytes(0.7, 48000, 2)));
  rec->Stop();
  const auto mp3 = dir / "Koor-2.mp3";
  rec->Start({{Device("sine"), 44100, 1}, rfMP3, 128}, mp3);
  ASSERT_TRUE(WaitForBytes(mp3, Mp3Bytes(0.7, 128)));
  rec->Stop();

  for (const auto &file : {wav, mp3}) {
    const TDecoded d = Decode(file);
    ASSERT_TRUE(d.Ok) << file;
    for (int maxPoints : {2000, 37, 1}) {
      std::vector<std::int32_t> left, right, refLeft, refRight;
      double duration = 0;
      int channels = 0;
      {
        TWaveAnalysis wave = rec->AnalyzeFile(file, maxPoints);
        left = std::move(wave.LeftPeaks);
        right = std::move(wave.RightPeaks);
        duration = wave.Duration;
        channels = wave.ChannelCount;
      }
      ReferencePeaks(d, maxPoints, refLeft, refRight);
      EXPECT_EQ(channels, d.Channels);
      EXPECT_DOUBLE_EQ(duration, static_cast<double>(d.Frames) / d.Rate);
      EXPECT_EQ(left, refLeft) << file << " " << maxPoints;
      EXPECT_EQ(right, refRight) << file << " " << maxPoints;
    }
  }
}

TEST_F(EngineReal, TenSecondsOfMp3ReportTheirLengthWithinOneFrame)
{
  // 10 s of WAV, decoded through the layer and encoded by the take's MP3 writer
  std::vector<std::int16_t> s(10 * 48000 * 2);
  std::mt19937 random(7);
  for (auto &v : s)
    v = static_cast<std::int16_t>(static_cast<int>(random() % 20001) - 10000);
  const auto wav = dir / "bron.wav", mp3 = dir / "bron.mp3";
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, s);
  ASSERT_EQ(test::TranscodeToMp3(*layer, wav, mp3, 192), s.size() * 2);

  std::vector<std::int32_t> left, right;
  double duration = 0;
  int channels = 0;
  {
    TWaveAnalysis wave2 = rec->AnalyzeFile(mp3, 2000);
    left = std::move(wave2.LeftPeaks);
    right = std::move(wave2.RightPeaks);
    duration = wave2.Duration;
    channels = wave2.ChannelCount;
  }
  EXPECT_NEAR(duration * 48000, 480000, 1152);
  EXPECT_EQ(left.size(), 2000u);
  EXPECT_EQ(channels, 2);
}

TEST_F(EngineReal, DamagedAndHostileFilesFailCleanlyOrAnalyseShorter)
{
  const auto good = dir / "goed.wav";
  rec->Start({{Device("sine"), 48000, 2}, rfWave, 192}, good);
  ASSERT_TRUE(WaitForBytes(good, WaveBytes(0.5, 48000, 2)));
  rec->Stop();
  const auto bytes = ReadBytes(good);
  std::mt19937 random(11);
  std::vector<std::uint8_t> noise(50000);
  for (auto &b : noise)
    b = static_cast<std::uint8_t>(random());
  std::vector<std::uint8_t> huge(bytes.begin(), bytes.end());
  for (std::size_t at : {4u, 40u})
    for (std::size_t i = 0; i < 4; ++i)
      huge[at + i] = 0xFF;

  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {
      {"leeg.wav", {}},
      {"kop.wav", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 44)},
      {"half.wav", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2 + 1)},
      {"ruis.wav", noise},
      {"ruis.mp3", noise},
      {"leeg.mp3", {}},
      {"groot.wav", huge},
  };
  for (const auto &[name, content] : files) {
    const auto path = dir / name;
    WriteBytes(path, content.data(), content.size());
    try {
      const TWaveAnalysis wave = rec->AnalyzeFile(path, 2000);
      EXPECT_LE(wave.LeftPeaks.size(), 2000u) << name;
      EXPECT_EQ(wave.LeftPeaks.size(), wave.RightPeaks.size()) << name;
      EXPECT_GE(wave.Duration, 0.0) << name;
      EXPECT_LT(wave.Duration, 100000.0) << name;
    } catch (const EAudioError &e) {
      EXPECT_EQ(std::string(e.what()).rfind("Analyseren van opname mislukt (BASS-fout ", 0), 0u)
          << name << ": " << e.what();
    }
    // playing and trimming it fails cleanly as well
    try {
      rec->PlayFile(path);
    } catch (const EAudioError &) {
    }
    rec->StopPlayback();
    try {
      rec->TrimSilence(path, rfWave, 192);
    } catch (const EPraatkistError &) {
    }
  }
}

TEST_F(EngineReal, PlaybackRunsInRealTimeAndEnds)
{
  const auto take = dir / "Koor-1.wav";
  WriteSound(take, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, Sine(48000, 2, 2.0, 440, 16384));
  EXPECT_EQ(rec->Status().PlaybackSeconds, 0.0);
  const auto called = TClock::now();
  rec->PlayFile(take);
  EXPECT_TRUE(rec->Status().Playing);
  EXPECT_DOUBLE_EQ(rec->Status().PlaybackLength, 2.0);
  // No faster than real time, whatever the load: a second of the file takes a second at
  // least (give or take 0.25 s), and so does the whole file. A busy machine may make it
  // later, never earlier.
  ASSERT_GE(WaitUntil([&] { return rec->Status().PlaybackSeconds >= 1.0; }, 20.0), 0.0);
  EXPECT_GE(SecondsSince(called), 0.75);
  EXPECT_NEAR(rec->Status().PlaybackLevel, 16384, 1200);
  const double ended = WaitUntil([&] { return !rec->Status().Playing; }, 20.0);
  EXPECT_GE(ended, 0.0);
  EXPECT_GE(SecondsSince(called), 1.6);
  // the position is in seconds of the file: at the end, its length
  EXPECT_NEAR(rec->Status().PlaybackSeconds, 2.0, 0.05);
  EXPECT_DOUBLE_EQ(rec->Status().PlaybackLength, 2.0);

  // another file while one plays: the first is freed; stopping twice is harmless
  rec->PlayFile(take);
  ASSERT_GE(WaitUntil([&] { return rec->Status().PlaybackSeconds >= 0.5; }, 20.0), 0.0);
  const auto again = TClock::now();
  rec->PlayFile(take);
  EXPECT_TRUE(rec->Status().Playing);
  EXPECT_LT(rec->Status().PlaybackSeconds, SecondsSince(again) + 0.2);
  rec->StopPlayback();
  rec->StopPlayback();
  EXPECT_FALSE(rec->Status().Playing);
  EXPECT_EQ(rec->Status().PlaybackLength, 0.0);
}

TEST_F(EngineReal, KilledServerEndsPlaybackWithoutHanging)
{
  TPrivateServer server;
  ASSERT_FALSE(server.Server().empty());
  auto privateLayer = LayerOn(server.Server());
  auto privateRec = std::make_unique<TBassRecorder>(*privateLayer);
  const auto take = dir / "Koor-1.wav";
  privateRec->Start({{FindDevice(*privateLayer, "sine"), 48000, 2}, rfWave, 192}, take);
  ASSERT_TRUE(WaitForBytes(take, WaveBytes(1.5, 48000, 2)));
  privateRec->Stop();
  privateRec->PlayFile(take);
  // the playback is under way when the server dies
  ASSERT_GE(WaitUntil([&] { return privateRec->Status().PlaybackSeconds > 0.0; }, 20.0), 0.0);
  ASSERT_TRUE(server.Kill());
  EXPECT_GE(WaitUntil([&] { return !privateRec->Status().Playing; }, 5.0), 0.0);
  const auto t0 = TClock::now();
  privateRec->StopPlayback();
  privateRec.reset();
  EXPECT_LT(SecondsSince(t0), 1.0);
}

class EngineRealTrim : public EngineReal, public ::testing::WithParamInterface<TRecordingFormat> {};

TEST_P(EngineRealTrim, FifoTakeTrimsToTheToneWithItsMarginsAndUndoes)
{
  const TRecordingFormat format = GetParam();
  const auto take = dir / (format == rfWave ? "Koor-1.wav" : "Koor-1.mp3");
  Tune({.InputFrozenAfterMs = 1000});
  RecordFromFifo(*rec, Device("fifo"), format, take, SilenceToneSilence());
  const auto recorded = ReadBytes(take);
  const TDecoded before = Decode(take);
  ASSERT_TRUE(before.Ok);
  ASSERT_NEAR(before.Frames / 48000.0, 4.0, 0.05);

  double start = 0, end = 0;
  const TTrimCut cut = rec->TrimSilence(take, format, 192);
  start = cut.StartSeconds;
  end = cut.EndSeconds;
  ASSERT_TRUE(cut.Trimmed);
  const TDecoded after = Decode(take);
  ASSERT_TRUE(after.Ok);
  EXPECT_NEAR(after.Frames / 48000.0, 2.2, 0.002);
  EXPECT_NEAR(start, 0.9, 0.002);
  EXPECT_NEAR(end, before.Frames / 48000.0 - 3.1, 0.002);
  double s = 0, e = 0;
  const TTrimCut info = rec->ReadTrimInfo(take);
  s = info.StartSeconds;
  e = info.EndSeconds;
  ASSERT_TRUE(info.Trimmed);
  EXPECT_EQ(s, start);
  EXPECT_EQ(e, end);

  ASSERT_TRUE(rec->UndoTrim(take));
  EXPECT_EQ(ReadBytes(take), recorded);
  EXPECT_FALSE(fs::exists(audio::BackupPath(take)));
  EXPECT_FALSE(fs::exists(audio::TrimRecordPath(take)));
}

INSTANTIATE_TEST_SUITE_P(WaveAndMp3, EngineRealTrim, ::testing::Values(rfWave, rfMP3));

namespace {

int FailFinalFlush(const char *step, const fs::path &)
{
  return std::strcmp(step, "flush") == 0 ? ENOSPC : 0;
}

} // namespace

TEST_F(EngineReal, Mp3TrimWhoseLastBytesFailLeavesTheTakeAsRecorded)
{
  // The encoder's final flush fails: the disk fills in the new take's last bytes (a
  // file-size limit one byte short of the whole file), or the flush's write itself fails.
  const auto take = dir / "Koor-1.wav";
  WriteSound(take, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, SilenceToneSilence());
  const auto probe = dir / "Proef-1.wav";
  fs::copy_file(take, probe);
  ASSERT_TRUE(rec->TrimSilence(probe, rfMP3, 192).Trimmed);
  const auto whole = fs::file_size(probe);
  const auto recorded = ReadBytes(take);

  for (const bool byLimit : {true, false}) {
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (byLimit) {
      rlimit small = old;
      small.rlim_cur = whole - 1;
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    } else {
      platform::SetFileFaultHook(FailFinalFlush);
    }
    try {
      rec->TrimSilence(take, rfMP3, 192);
      ADD_FAILURE() << "a trim with a damaged end succeeded, limit " << byLimit;
    } catch (const EFileError &e) {
      EXPECT_EQ(std::string(e.what()).rfind("Het MP3-bestand kon niet worden geschreven: ", 0), 0u);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    platform::SetFileFaultHook(nullptr);
    EXPECT_EQ(ReadBytes(take), recorded);
    EXPECT_FALSE(fs::exists(audio::TrimTempPath(take)));
    EXPECT_FALSE(rec->ReadTrimInfo(take).Trimmed);
    EXPECT_FALSE(fs::exists(audio::TrimRecordPath(take)));
  }
}
