// The engine on the Windows audio layer under wine, against the audio test server that
// scripts/test-windows.sh starts: takes, analysis, trimming and undo through the real
// decoder and encoder, and the Win32 file steps. The layer's own contract is checked by
// the suite in tests/audio_layer, which runs here too.

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "audio/layer/contract/LayerKit.h"
#include "platform/FileOps.h"
#include "support/AudioTestKit.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>

using namespace praatkist;
using namespace praatkist::audio;
using namespace praatkist::test;
namespace fs = std::filesystem;

namespace {

class WasapiEngine : public AudioLayer {
protected:
  void SetUp() override
  {
    AudioLayer::SetUp();
    if (IsSkipped())
      return;
    tone = ToneDevice(*Layer);
    ASSERT_GE(tone, 0) << "no tone input (PRAATKIST_TONE_DEVICE)";
  }
  int tone = -1;
};

// A tone of 440 Hz at Amplitude with silence before and after, stereo at 48 kHz.
std::vector<std::int16_t> ToneBetweenSilences(double seconds, double amplitude, std::size_t before,
                                              std::size_t after)
{
  const auto tone = Sine(48000, 2, seconds, 440, amplitude);
  std::vector<std::int16_t> s((before + after) * 2 + tone.size(), 0);
  std::copy(tone.begin(), tone.end(), s.begin() + static_cast<std::ptrdiff_t>(before * 2));
  return s;
}

} // namespace

// Takes through the engine, into a folder with a non-ASCII name.
TEST_F(WasapiEngine, WaveAndMp3TakesFromTheToneUnderANonAsciiName)
{
  const fs::path folder = Dir.Path() / fs::path(u8"één");
  fs::create_directory(folder);
  TBassRecorder rec(*Layer);
  for (const auto format : {rfWave, rfMP3}) {
    const fs::path take = folder / (format == rfWave ? "Koor-1.wav" : "Koor-1.mp3");
    rec.Start({{tone, 48000, 2}, format, 192}, take);
    SleepMs(1500);
    EXPECT_EQ(rec.Status().End, TCaptureEnd::None);
    EXPECT_TRUE(rec.Stop());
    const TDecoded d = Decode(take);
    ASSERT_TRUE(d.Ok) << take;
    EXPECT_EQ(d.Rate, 48000);
    EXPECT_EQ(d.Channels, 2);
    EXPECT_NEAR(d.Frames / 48000.0, 1.5, 0.3);
    EXPECT_EQ(std::int64_t(d.Samples.size() / 2), d.Frames);
    EXPECT_NEAR(AnalyseTone(d.Samples, 2, 0, 48000, 4800).Frequency, 440.0, 1.5);
    if (format == rfWave) {
      const auto bytes = test::ReadBytes(take);
      EXPECT_EQ(test::Le32(bytes, 40), bytes.size() - 44) << "the header's data size";
    } else {
      EXPECT_NEAR(double(fs::file_size(take)), d.Frames / 48000.0 * 192000 / 8, 6000);
    }
    // a take is a new file: an existing one is never written through
    EXPECT_THROW(rec.Start({{tone, 48000, 2}, format, 192}, take), EPraatkistError);
    EXPECT_FALSE(rec.Recording());
  }
}

// Analysis, trimming and its undo through the real decoder and encoder, with the
// Win32 file steps (hard link or copy, replacing rename, flushes).
TEST_F(WasapiEngine, AnalysisTrimAndUndoOfWaveAndMp3)
{
  TBassRecorder rec(*Layer);
  const fs::path wav = Dir.Path() / fs::path(u8"Koor-één.wav");
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2,
             ToneBetweenSilences(2.0, 16384, 48000, 48000));
  const fs::path mp3 = Dir.Path() / fs::path(u8"Koor-één.mp3");
  ASSERT_GT(test::TranscodeToMp3(*Layer, wav, mp3, 192), 0u);
  for (const auto &[take, format] : {std::pair{wav, rfWave}, std::pair{mp3, rfMP3}}) {
    const auto recorded = test::ReadBytes(take);
    std::vector<std::int32_t> left, right;
    double seconds = 0;
    int channels = 0;
    {
      TWaveAnalysis wave = rec.AnalyzeFile(take, 400);
      left = std::move(wave.LeftPeaks);
      right = std::move(wave.RightPeaks);
      seconds = wave.Duration;
      channels = wave.ChannelCount;
    }
    EXPECT_EQ(channels, 2);
    EXPECT_NEAR(seconds, 4.0, 0.01) << take;
    ASSERT_EQ(left.size(), 400u);
    EXPECT_LT(left[10], 100) << "silence";
    EXPECT_NEAR(left[200], 16384, 1000) << "tone (MP3 is lossy)";
    double start = 0, end = 0;
    const TTrimCut cut = rec.TrimSilence(take, format, 192);
    start = cut.StartSeconds;
    end = cut.EndSeconds;
    ASSERT_TRUE(cut.Trimmed) << take;
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
  test::TTempDir Dir;
  const fs::path a = Dir.Path() / fs::path(u8"één.bin");
  {
    platform::TWriteFile f(a);
    f.Write("abc", 3);
    f.Sync();
    f.Close();
  }
  EXPECT_THROW(platform::TWriteFile again(a), EFileError);
  EXPECT_EQ(test::ReadBytes(a).size(), 3u);
  const fs::path b = Dir.Path() / fs::path(u8"twee.bin");
  platform::SnapshotFileOrRaise(a, b);
  EXPECT_TRUE(platform::SameFile(a, b)) << "a hard link where the file system has them";
  platform::TFileIdentity ia, ib;
  ASSERT_TRUE(platform::GetFileIdentity(a, ia));
  ASSERT_TRUE(platform::GetFileIdentity(b, ib));
  EXPECT_EQ(ia, ib);
  EXPECT_EQ(ia.Size, 3u);
  const fs::path c = Dir.Path() / "c.bin";
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
  EXPECT_NO_THROW(platform::SyncFolderOrRaise(Dir.Path()));
  EXPECT_THROW(platform::SyncFolderOrRaise(Dir.Path() / "nergens"), EFileError);
}
