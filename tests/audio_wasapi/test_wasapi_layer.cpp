// The Windows audio layer under wine, against the audio test server that
// scripts/test-windows.sh starts (wine's WASAPI speaks to it through its PulseAudio
// driver). The script names the tone sink's monitor PRAATKIST_TONE_DEVICE.

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "platform/FileOps.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <tuple>

using namespace praatkist;
using namespace praatkist::audio;
namespace fs = std::filesystem;

namespace {

void SleepMs(int ms)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

const char *ToneDevice()
{
  const char *name = std::getenv("PRAATKIST_TONE_DEVICE");
  return name ? name : "";
}

// Index of the capture device named Name, or -1.
int FindByName(IAudioLayer &layer, const std::string &name)
{
  TAudioDeviceInfo info;
  for (int i = 0; layer.RecordGetDeviceInfo(i, info); ++i)
    if (info.Name == name)
      return i;
  return -1;
}

struct TDecoded {
  bool Ok = false;
  int Rate = 0, Channels = 0;
  std::int64_t Frames = 0;
  std::vector<std::int16_t> Samples;
};

// Read back with libsndfile through a descriptor of the wide path.
TDecoded Decode(const fs::path &file)
{
  TDecoded d;
  const int fd = _wopen(file.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0)
    return d;
  SF_INFO info{};
  SNDFILE *sf = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
  if (!sf)
    return d;
  d.Rate = info.samplerate;
  d.Channels = info.channels;
  d.Frames = info.frames;
  d.Samples.resize(static_cast<std::size_t>(info.frames * info.channels));
  d.Samples.resize(static_cast<std::size_t>(
                       sf_readf_short(sf, d.Samples.data(), static_cast<sf_count_t>(info.frames))) *
                   static_cast<std::size_t>(info.channels));
  sf_close(sf);
  d.Ok = true;
  return d;
}

// Frequency by rising zero crossings, and peak, of channel Ch from frame Skip on.
std::pair<double, int> Tone(const std::vector<std::int16_t> &s, int chans, int ch, int rate,
                            std::size_t skip)
{
  const std::size_t frames = s.size() / static_cast<std::size_t>(chans);
  int crossings = 0, peak = 0;
  std::size_t first = 0, last = 0;
  for (std::size_t f = skip + 1; f < frames; ++f) {
    const int a = s[(f - 1) * chans + ch], b = s[f * chans + ch];
    peak = std::max(peak, std::abs(b));
    if (a < 0 && b >= 0) {
      if (crossings++ == 0)
        first = f;
      last = f;
    }
  }
  const double freq = crossings > 1 ? (crossings - 1) * double(rate) / double(last - first) : 0;
  return {freq, peak};
}

std::vector<std::int16_t> Sine(std::uint32_t rate, std::uint32_t chans, double seconds,
                               double amplitude, std::size_t silentBefore = 0,
                               std::size_t silentAfter = 0)
{
  const std::size_t tone = static_cast<std::size_t>(seconds * rate);
  std::vector<std::int16_t> s((silentBefore + tone + silentAfter) * chans, 0);
  for (std::size_t f = 0; f < tone; ++f)
    for (std::uint32_t c = 0; c < chans; ++c)
      s[(silentBefore + f) * chans + c] = static_cast<std::int16_t>(
          std::lround(amplitude * std::sin(2 * std::numbers::pi * 440.0 * double(f) / rate)));
  return s;
}

void WriteWav(const fs::path &file, std::uint32_t rate, std::uint32_t chans,
              const std::vector<std::int16_t> &samples)
{
  const int fd = _wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0644);
  ASSERT_GE(fd, 0);
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = static_cast<int>(chans);
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE *sf = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  ASSERT_NE(sf, nullptr);
  sf_writef_short(sf, samples.data(), static_cast<sf_count_t>(samples.size() / chans));
  sf_close(sf);
}

// Runs a shell command of the host: wine starts Unix programs too. Their exit status
// does not come back, so callers look at the effect.
void HostShell(const std::string &command)
{
  std::wstring line = L"Z:\\bin\\sh -c \"";
  line += std::wstring(command.begin(), command.end()) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

class WasapiLayer : public ::testing::Test {
protected:
  void SetUp() override
  {
    if (std::getenv("PULSE_SERVER") == nullptr)
      GTEST_SKIP() << "no audio test server (PULSE_SERVER unset)";
    layer = CreateSystemAudioLayer();
    tone = FindByName(*layer, ToneDevice());
    ASSERT_GE(tone, 0) << "no capture device named \"" << ToneDevice() << "\"";
  }

  test::TTempDir dir;
  std::unique_ptr<IAudioLayer> layer;
  int tone = -1;
};

} // namespace

TEST_F(WasapiLayer, ListsEndpointsDefaultFirstInAStableOrder)
{
  std::vector<TAudioDeviceInfo> first, second;
  TAudioDeviceInfo info;
  for (int i = 0; layer->RecordGetDeviceInfo(i, info); ++i)
    first.push_back(info);
  EXPECT_EQ(layer->ErrorGetCode(), kErrDevice) << "past the last index";
  ASSERT_GE(first.size(), 3u);
  EXPECT_TRUE(first[0].Flags & kDeviceDefault);
  EXPECT_EQ(std::count_if(first.begin(), first.end(),
                          [](const auto &d) { return (d.Flags & kDeviceDefault) != 0; }),
            1);
  for (const auto &d : first) {
    EXPECT_FALSE(d.Name.empty());
    EXPECT_TRUE(d.Flags & kDeviceEnabled) << d.Name;
  }
  // a second layer reads the list afresh: the system's order may differ, ours may not
  auto other = CreateSystemAudioLayer();
  for (int i = 0; other->RecordGetDeviceInfo(i, info); ++i)
    second.push_back(info);
  ASSERT_EQ(second.size(), first.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(second[i].Name, first[i].Name) << i;
    EXPECT_EQ(second[i].Driver, first[i].Driver) << i;
  }
  // nothing changes meanwhile: the serial stays, also across its periodic look
  const std::uint32_t serial = layer->DeviceListSerial();
  SleepMs(2200);
  EXPECT_EQ(layer->DeviceListSerial(), serial);

  EXPECT_FALSE(layer->RecordInit(static_cast<int>(first.size())));
  EXPECT_EQ(layer->ErrorGetCode(), kErrDevice);
  ASSERT_TRUE(layer->RecordInit(tone));
  EXPECT_FALSE(layer->RecordInit(tone));
  EXPECT_EQ(layer->ErrorGetCode(), kErrAlready);
  ASSERT_TRUE(layer->RecordGetDeviceInfo(tone, info));
  EXPECT_TRUE(info.Flags & kDeviceInit);
}

struct TCollected {
  std::vector<std::int16_t> Samples;
  int Calls = 0;
};

bool Collect(THandle, const void *buffer, std::uint32_t length, void *user) noexcept
{
  auto *c = static_cast<TCollected *>(user);
  const auto *p = static_cast<const std::int16_t *>(buffer);
  c->Samples.insert(c->Samples.end(), p, p + length / 2);
  ++c->Calls;
  return true;
}

class WasapiCapture
    : public WasapiLayer,
      public ::testing::WithParamInterface<std::tuple<std::uint32_t, std::uint32_t>> {};

TEST_P(WasapiCapture, DeliversTheToneInRealTimeAfterPlayOnly)
{
  const auto [rate, chans] = GetParam();
  ASSERT_TRUE(layer->RecordInit(tone));
  TCollected got;
  const THandle ch = layer->RecordStart(rate, chans, Collect, &got);
  ASSERT_NE(ch, 0u) << layer->ErrorGetCode();
  EXPECT_EQ(layer->ChannelIsActive(ch), kActivePaused);
  SleepMs(300);
  EXPECT_EQ(got.Calls, 0) << "nothing before ChannelPlay";
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(layer->ChannelPlay(ch, false));
  SleepMs(1500);
  layer->ChannelStop(ch);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(layer->ChannelIsActive(ch), kActiveStopped);
  const double captured = double(got.Samples.size()) / chans / rate;
  EXPECT_NEAR(captured, seconds, 0.25);
  EXPECT_GT(got.Calls, 15);
  for (std::uint32_t c = 0; c < chans; ++c) {
    const auto [freq, peak] = Tone(got.Samples, int(chans), int(c), int(rate), rate / 10);
    EXPECT_NEAR(freq, 440.0, 1.5) << "channel " << c;
    EXPECT_GT(peak, 2000) << "channel " << c;
  }
  TChannelInfo info;
  ASSERT_TRUE(layer->ChannelGetInfo(ch, info));
  EXPECT_EQ(info.Freq, rate);
  EXPECT_EQ(info.Chans, chans);
}

INSTANTIATE_TEST_SUITE_P(EveryRateAndChannelCount, WasapiCapture,
                         ::testing::Combine(::testing::Values(44100u, 48000u, 96000u),
                                            ::testing::Values(1u, 2u)));

// Takes through the engine, into a folder with a non-ASCII name.
TEST_F(WasapiLayer, WaveAndMp3TakesFromTheToneUnderANonAsciiName)
{
  const fs::path folder = dir.Path() / fs::path(u8"één");
  fs::create_directory(folder);
  TBassRecorder rec(*layer);
  for (const auto format : {rfWave, rfMP3}) {
    const fs::path take = folder / (format == rfWave ? "Koor-1.wav" : "Koor-1.mp3");
    rec.Start(tone, 48000, 2, 192, format, take);
    SleepMs(1500);
    std::string why;
    EXPECT_FALSE(rec.CaptureEndedByItself(why)) << why;
    EXPECT_TRUE(rec.Stop());
    const TDecoded d = Decode(take);
    ASSERT_TRUE(d.Ok) << take;
    EXPECT_EQ(d.Rate, 48000);
    EXPECT_EQ(d.Channels, 2);
    EXPECT_NEAR(d.Frames / 48000.0, 1.5, 0.3);
    EXPECT_EQ(std::int64_t(d.Samples.size() / 2), d.Frames);
    EXPECT_NEAR(Tone(d.Samples, 2, 0, 48000, 4800).first, 440.0, 1.5);
    if (format == rfWave) {
      const auto bytes = test::ReadBytes(take);
      EXPECT_EQ(test::Le32(bytes, 40), bytes.size() - 44) << "the header's data size";
    } else {
      EXPECT_NEAR(double(fs::file_size(take)), d.Frames / 48000.0 * 192000 / 8, 6000);
    }
    // a take is a new file: an existing one is never written through
    EXPECT_THROW(rec.Start(tone, 48000, 2, 192, format, take), EPraatkistError);
    EXPECT_FALSE(rec.Recording());
  }
}

// Wine reads the endpoints once per process and tells of no loss: a channel whose
// endpoint goes away gets nothing more and ends by itself. The script offers the tone
// once more as "Praatkist-weg", which this test unloads (and loads again after).
TEST_F(WasapiLayer, LostEndpointEndsTheChannelWithinASecond)
{
  const int lost = FindByName(*layer, "Praatkist-weg");
  ASSERT_GE(lost, 0) << "no endpoint Praatkist-weg";
  ASSERT_TRUE(layer->RecordInit(lost));
  TCollected got;
  const THandle ch = layer->RecordStart(48000, 2, Collect, &got);
  ASSERT_NE(ch, 0u);
  ASSERT_TRUE(layer->ChannelPlay(ch, false));
  SleepMs(500);
  EXPECT_EQ(layer->ChannelIsActive(ch), kActivePlaying);
  HostShell("pactl unload-module $(pactl list short modules | grep praatkist_weg | cut -f1)");
  const auto t0 = std::chrono::steady_clock::now();
  while (layer->ChannelIsActive(ch) == kActivePlaying &&
         std::chrono::steady_clock::now() - t0 < std::chrono::seconds(3))
    SleepMs(20);
  EXPECT_EQ(layer->ChannelIsActive(ch), kActiveStopped) << "the channel outlived its device";
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 1.5);
  EXPECT_FALSE(layer->ChannelDataLost(ch));
  EXPECT_GT(got.Samples.size(), 48000u / 2) << "what came before the loss was handed on";
  layer->ChannelStop(ch);
  HostShell("pactl load-module module-remap-source master=tonesink.monitor "
            "source_name=praatkist_weg source_properties=device.description=Praatkist-weg");
}

TEST_F(WasapiLayer, PlaybackRunsInRealTimeWithItsLevelAndEnds)
{
  const fs::path file = dir.Path() / fs::path(u8"één.wav");
  WriteWav(file, 48000, 2, Sine(48000, 2, 1.0, 16384));
  EXPECT_EQ(layer->StreamCreateFile(file, false), 0u);
  EXPECT_EQ(layer->ErrorGetCode(), kErrInit);
  ASSERT_TRUE(layer->Init());
  const THandle s = layer->StreamCreateFile(file, false);
  ASSERT_NE(s, 0u) << layer->ErrorGetCode();
  EXPECT_EQ(layer->ChannelGetLength(s), 48000u * 4);
  ASSERT_TRUE(layer->ChannelPlay(s, false));
  SleepMs(500);
  const double at = layer->ChannelBytes2Seconds(s, layer->ChannelGetPosition(s));
  EXPECT_NEAR(at, 0.5, 0.2);
  float levels[2] = {};
  ASSERT_TRUE(layer->ChannelGetLevelEx(s, levels, 0.05f));
  EXPECT_NEAR(levels[0], 0.5, 0.05);
  EXPECT_NEAR(levels[1], 0.5, 0.05);
  const auto t0 = std::chrono::steady_clock::now();
  while (layer->ChannelIsActive(s) == kActivePlaying &&
         std::chrono::steady_clock::now() - t0 < std::chrono::seconds(3))
    SleepMs(10);
  EXPECT_EQ(layer->ChannelIsActive(s), kActiveStopped) << "ended after its second";
  EXPECT_EQ(layer->ChannelGetPosition(s), 48000u * 4);
  // played again from its start
  ASSERT_TRUE(layer->ChannelPlay(s, true));
  SleepMs(200);
  EXPECT_LT(layer->ChannelBytes2Seconds(s, layer->ChannelGetPosition(s)), 0.5);
  layer->StreamFree(s);
  EXPECT_FALSE(layer->ChannelPlay(s, false));
  EXPECT_EQ(layer->ErrorGetCode(), kErrHandle);
}

// Analysis, trimming and its undo through the real decoder and encoder, with the
// Win32 file steps (hard link or copy, replacing rename, flushes).
TEST_F(WasapiLayer, AnalysisTrimAndUndoOfWaveAndMp3)
{
  TBassRecorder rec(*layer);
  const fs::path wav = dir.Path() / fs::path(u8"Koor-één.wav");
  WriteWav(wav, 48000, 2, Sine(48000, 2, 2.0, 16384, 48000, 48000));
  const fs::path mp3 = dir.Path() / fs::path(u8"Koor-één.mp3");
  {
    const THandle d = layer->StreamCreateFile(wav, true);
    ASSERT_NE(d, 0u);
    const THandle e = layer->EncodeMp3Start(d, 192, mp3, true);
    ASSERT_NE(e, 0u) << layer->ErrorGetCode();
    std::vector<std::uint8_t> buffer(65536);
    while (layer->ChannelGetData(d, buffer.data(), std::uint32_t(buffer.size())) != kDataError) {
    }
    EXPECT_TRUE(layer->EncodeStop(e));
    layer->StreamFree(d);
  }
  for (const auto &[take, format] : {std::pair{wav, rfWave}, std::pair{mp3, rfMP3}}) {
    const auto recorded = test::ReadBytes(take);
    std::vector<std::int32_t> left, right;
    double seconds = 0;
    int channels = 0;
    rec.AnalyzeFile(take, 400, left, right, seconds, channels);
    EXPECT_EQ(channels, 2);
    EXPECT_NEAR(seconds, 4.0, 0.01) << take;
    ASSERT_EQ(left.size(), 400u);
    EXPECT_LT(left[10], 100) << "silence";
    EXPECT_NEAR(left[200], 16384, 1000) << "tone (MP3 is lossy)";
    double start = 0, end = 0;
    ASSERT_TRUE(rec.TrimSilence(take, format, 192, start, end)) << take;
    EXPECT_NEAR(start, 0.9, 0.01);
    EXPECT_NEAR(end, 0.9, 0.01);
    EXPECT_NEAR(Decode(take).Frames / 48000.0, 2.2, 0.01);
    EXPECT_TRUE(fs::exists(BackupPath(take)));
    ASSERT_TRUE(rec.UndoTrim(take));
    EXPECT_EQ(test::ReadBytes(take), recorded) << take;
    EXPECT_FALSE(fs::exists(BackupPath(take)));
    EXPECT_FALSE(fs::exists(TrimRecordPath(take)));
  }
}

TEST(WasapiFiles, NewFilesAreCreatedExclusivelyAndFileIdentityTellsLinks)
{
  test::TTempDir dir;
  const fs::path a = dir.Path() / fs::path(u8"één.bin");
  {
    platform::TNewFile f(a);
    f.Write("abc", 3);
    f.Sync();
    f.Close();
  }
  EXPECT_THROW(platform::TNewFile again(a), EFileError);
  EXPECT_EQ(test::ReadBytes(a).size(), 3u);
  const fs::path b = dir.Path() / fs::path(u8"twee.bin");
  platform::SnapshotFileOrRaise(a, b);
  EXPECT_TRUE(platform::SameFile(a, b)) << "a hard link where the file system has them";
  platform::TFileIdentity ia, ib;
  ASSERT_TRUE(platform::GetFileIdentity(a, ia));
  ASSERT_TRUE(platform::GetFileIdentity(b, ib));
  EXPECT_EQ(ia, ib);
  EXPECT_EQ(ia.Size, 3u);
  const fs::path c = dir.Path() / "c.bin";
  test::WriteBytes(c, "wxyz", 4);
  platform::ReplaceFileOrRaise(c, a);
  EXPECT_FALSE(fs::exists(c));
  EXPECT_EQ(test::ReadBytes(a).size(), 4u);
  EXPECT_EQ(test::ReadBytes(b).size(), 3u) << "the other name keeps the old file";
  EXPECT_FALSE(platform::SameFile(a, b));
  platform::TReadFile r(a);
  char got[2] = {};
  EXPECT_EQ(r.ReadAt(2, got, 2), 2u);
  EXPECT_EQ(std::string(got, 2), "yz");
  EXPECT_EQ(r.ReadAt(4, got, 2), 0u);
  EXPECT_NO_THROW(platform::SyncFolderOrRaise(dir.Path()));
  EXPECT_THROW(platform::SyncFolderOrRaise(dir.Path() / "nergens"), EFileError);
}
