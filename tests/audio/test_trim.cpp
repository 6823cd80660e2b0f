// Trimming of silence, the trim record and undo, on the scripted audio layer (which
// decodes the real WAV files the tests write) and the real file system.

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "audio/WavHeader.h"
#include "platform/Errors.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sys/stat.h>

using namespace praatkist;
using praatkist::audio::BackupPath;
using praatkist::audio::TrimRecordPath;
using praatkist::audio::TrimTempPath;
using praatkist::test::Le32;
using praatkist::test::ReadBytes;
using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;
namespace fs = std::filesystem;

// A trim that succeeds hands back the amounts as its record holds them: 15 digits.
#define EXPECT_SECONDS(actual, expected) EXPECT_NEAR(actual, expected, 1e-13)

namespace {

// Frames of silence with sound (value Loud) on frames [From, To); stereo puts the
// sound in the channel Channel only.
std::vector<std::int16_t> Burst(std::int64_t frames, std::int64_t from, std::int64_t to,
                                int channels = 1, std::int16_t loud = 1000, int channel = 0,
                                std::int16_t quiet = 0)
{
  std::vector<std::int16_t> s(static_cast<std::size_t>(frames * channels), quiet);
  for (std::int64_t f = from; f < to; ++f)
    s[static_cast<std::size_t>(f * channels + channel)] = loud;
  return s;
}

void WriteWave(const fs::path& path, std::uint32_t rate, std::uint16_t channels,
               const std::vector<std::int16_t>& samples)
{
  const auto header =
      audio::BuildWaveHeader(static_cast<std::uint32_t>(samples.size() * 2), rate, channels);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(header.data()), 44);
  out.write(reinterpret_cast<const char*>(samples.data()),
            static_cast<std::streamsize>(samples.size() * 2));
}

std::string Text(const fs::path& path)
{
  const auto b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}

class TrimTest : public ::testing::Test {
protected:
  TTempDir dir;
  TScriptedAudioLayer layer;
  TBassRecorder rec{layer};
  fs::path take = dir / "Koor-1.wav";
  double start = -1, end = -1;

  bool Trim(TRecordingFormat format = rfWave, int bitrate = 192)
  {
    return rec.TrimSilence(take, format, bitrate, start, end);
  }

  // Only the take lies in the folder.
  void ExpectNoCompanions()
  {
    EXPECT_FALSE(fs::exists(BackupPath(take)));
    EXPECT_FALSE(fs::exists(TrimRecordPath(take)));
    EXPECT_FALSE(fs::exists(TrimTempPath(take)));
  }
};

} // namespace

TEST(TakeFiles, CompanionNames)
{
  EXPECT_EQ(BackupPath("/s/Interview-3.wav"), fs::path("/s/Interview-3.wav.untrimmed"));
  EXPECT_EQ(TrimRecordPath("/s/Interview-3.wav"), fs::path("/s/Interview-3.wav.triminfo"));
  EXPECT_EQ(TrimTempPath("/s/Interview-3.wav"), fs::path("/s/Interview-3.trimtmp.wav"));
  EXPECT_EQ(TrimTempPath("/s/a.b/Koor-1.mp3"), fs::path("/s/a.b/Koor-1.trimtmp.mp3"));
  EXPECT_EQ(TrimTempPath("/s/naamloos"), fs::path("/s/naamloos.trimtmp"));
}

TEST_F(TrimTest, LoudnessThreshold)
{
  // 184 in magnitude is silence, everywhere
  WriteWave(take, 48000, 1, Burst(48000, 0, 0, 1, 0, 0, 184));
  auto original = ReadBytes(take);
  EXPECT_FALSE(Trim());
  EXPECT_SECONDS(start, 0.0);
  EXPECT_SECONDS(end, 0.0);
  ExpectNoCompanions();
  WriteWave(take, 48000, 1, Burst(48000, 0, 0, 1, 0, 0, -184));
  EXPECT_FALSE(Trim());
  ExpectNoCompanions();

  // 185 and -32768 are sound
  for (std::int16_t loud : {std::int16_t{185}, std::int16_t{-185}, std::int16_t{-32768}}) {
    WriteWave(take, 48000, 1, Burst(48000, 24000, 24001, 1, loud, 0, 184));
    ASSERT_TRUE(Trim()) << loud;
    EXPECT_SECONDS(start, 19200.0 / 48000.0);
    EXPECT_SECONDS(end, (48000.0 - 28801.0) / 48000.0);
    const auto trimmed = ReadBytes(take);
    ASSERT_EQ(trimmed.size(), 44u + 9601u * 2u);
    std::int16_t middle;
    std::memcpy(&middle, trimmed.data() + 44 + 4800 * 2, 2);
    EXPECT_EQ(middle, loud);
  }
}

TEST_F(TrimTest, FiftyMillisecondsIsEnoughAndLessIsNot)
{
  // first loud frame at 7200: start 2400 frames, exactly 0.05 s
  WriteWave(take, 48000, 2, Burst(96000, 7200, 96000, 2));
  ASSERT_TRUE(Trim());
  EXPECT_SECONDS(start, 0.05);
  EXPECT_SECONDS(end, 0.0);
  EXPECT_EQ(ReadBytes(take).size(), 44u + (96000u - 2400u) * 4u);

  // first loud frame at 7199: 2399 frames is not enough, and the end loses nothing
  fs::remove(BackupPath(take));
  fs::remove(TrimRecordPath(take));
  WriteWave(take, 48000, 2, Burst(96000, 7199, 96000, 2));
  const auto original = ReadBytes(take);
  EXPECT_FALSE(Trim());
  EXPECT_EQ(start, 2399.0 / 48000.0) << "a refused trim hands back the amounts unrounded";
  EXPECT_SECONDS(end, 0.0);
  EXPECT_EQ(ReadBytes(take), original);
  ExpectNoCompanions();
}

TEST_F(TrimTest, MarginIsATenthOfTheRateInWholeFrames)
{
  for (std::uint32_t rate : {44100u, 48000u, 96000u, 11025u}) {
    const std::int64_t frames = rate * 2, loud = rate;  // one loud frame after 1 s
    WriteWave(take, rate, 1, Burst(frames, loud, loud + 1));
    ASSERT_TRUE(Trim()) << rate;
    const std::int64_t margin = rate / 10;  // 11025 gives 1102
    EXPECT_SECONDS(start, static_cast<double>(loud - margin) / rate) << rate;
    EXPECT_SECONDS(end, static_cast<double>(frames - (loud + margin + 1)) / rate) << rate;
    EXPECT_EQ(ReadBytes(take).size(), 44u + (2u * margin + 1u) * 2u) << rate;
  }
}

TEST_F(TrimTest, OneEndWithSilenceCutsBothEnds)
{
  // sound from the first frame, 1 s of silence at the end
  WriteWave(take, 48000, 1, Burst(96000, 0, 48000));
  ASSERT_TRUE(Trim());
  EXPECT_SECONDS(start, 0.0);
  EXPECT_SECONDS(end, (96000.0 - 52800.0) / 48000.0);

  // sound in the very last frame: nothing goes at the end
  WriteWave(take, 48000, 1, Burst(96000, 48000, 96000));
  ASSERT_TRUE(Trim());
  EXPECT_SECONDS(start, 43200.0 / 48000.0);
  EXPECT_SECONDS(end, 0.0);

  // sound from the first to the last frame: nothing to do
  fs::remove(BackupPath(take));
  fs::remove(TrimRecordPath(take));
  WriteWave(take, 48000, 1, Burst(96000, 0, 96000));
  EXPECT_FALSE(Trim());
  EXPECT_SECONDS(start, 0.0);
  EXPECT_SECONDS(end, 0.0);
  ExpectNoCompanions();
}

TEST_F(TrimTest, StereoCutsOnFrameBoundariesAndKeepsTheExactBytes)
{
  // a loud right sample alone marks its frame
  auto samples = Burst(48000, 20000, 20001, 2, -9000, 1);
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (samples[i] == 0)
      samples[i] = static_cast<std::int16_t>(i % 150);  // quiet noise below the threshold
  WriteWave(take, 48000, 2, samples);
  const auto original = ReadBytes(take);
  ASSERT_TRUE(Trim());
  EXPECT_SECONDS(start, 15200.0 / 48000.0);
  EXPECT_SECONDS(end, (48000.0 - 24801.0) / 48000.0);

  const auto trimmed = ReadBytes(take);
  const std::size_t kept = (24801 - 15200) * 4;
  ASSERT_EQ(trimmed.size(), 44 + kept);
  EXPECT_EQ(Le32(trimmed, 4), kept + 36);
  EXPECT_EQ(Le32(trimmed, 40), kept);
  EXPECT_EQ(Le32(trimmed, 24), 48000u);
  EXPECT_EQ(Le32(trimmed, 28), 192000u);
  EXPECT_EQ(0, std::memcmp(trimmed.data() + 44, original.data() + 44 + 15200 * 4, kept));
  // the backup is the take as it was, byte for byte
  EXPECT_EQ(ReadBytes(BackupPath(take)), original);
  EXPECT_FALSE(fs::exists(TrimTempPath(take)));
}

TEST_F(TrimTest, RecordHoldsTheAmountsReturned)
{
  WriteWave(take, 48000, 1, Burst(144000, 60000, 84000));
  ASSERT_TRUE(Trim());
  EXPECT_EQ(Text(TrimRecordPath(take)), "[Trim]\r\nStartSeconds=1.15\r\nEndSeconds=1.15\r\n");
  double s = -1, e = -1;
  ASSERT_TRUE(rec.ReadTrimInfo(take, s, e));
  EXPECT_DOUBLE_EQ(s, start);
  EXPECT_DOUBLE_EQ(e, end);

  // a second trim of the same name replaces backup and amounts, keeping other lines
  {
    std::ofstream out(TrimRecordPath(take), std::ios::app | std::ios::binary);
    out << "[Notitie]\r\nTekst=eerste versie\r\n";
  }
  WriteWave(take, 48000, 1, Burst(96000, 24000, 48000));
  const auto second = ReadBytes(take);
  ASSERT_TRUE(Trim());
  EXPECT_EQ(ReadBytes(BackupPath(take)), second);
  EXPECT_EQ(Text(TrimRecordPath(take)),
            "[Trim]\r\nStartSeconds=0.4\r\nEndSeconds=0.9\r\n"
            "[Notitie]\r\nTekst=eerste versie\r\n");
}

TEST_F(TrimTest, EmptyAndMissingTakes)
{
  WriteWave(take, 48000, 2, {});
  EXPECT_FALSE(Trim());
  ExpectNoCompanions();

  try {
    rec.TrimSilence(dir / "weg.wav", rfWave, 192, start, end);
    FAIL();
  } catch (const EAudioError& e) {
    EXPECT_STREQ(e.what(), "Zoeken naar stiltes mislukt (BASS-fout 2).");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST_F(TrimTest, Mp3IsEncodedAnewFromTheKeptRange)
{
  // The scripted encoder writes the PCM that passes through it.
  take = dir / "Koor-1.mp3";
  const auto samples = Burst(96000, 30000, 50000, 2, 3000);
  WriteWave(take, 48000, 2, samples);
  ASSERT_TRUE(Trim(rfMP3, 256));
  EXPECT_EQ(layer.EncoderKbps, 256);
  EXPECT_FALSE(layer.EncoderAutoFree);
  const auto written = ReadBytes(take);
  const std::size_t kept = (54800 - 25200) * 4;
  ASSERT_EQ(written.size(), kept);
  EXPECT_EQ(0, std::memcmp(written.data(), samples.data() + 25200 * 2, kept));
  EXPECT_TRUE(layer.Called("EncodeStop"));
}

// ---- failures: after each, the take is what the table of failures says ----

namespace {

struct TrimFailure {
  const char* Call;
  int Skip;
  int Code;
  TRecordingFormat Format;
  const char* Message;
  bool BackupLeft;
};

class TrimFailureTest : public TrimTest, public ::testing::WithParamInterface<TrimFailure> {};

} // namespace

TEST_P(TrimFailureTest, TakeIsBackUnchanged)
{
  const TrimFailure f = GetParam();
  WriteWave(take, 48000, 2, Burst(96000, 30000, 50000, 2));
  const auto original = ReadBytes(take);
  layer.FailNext(f.Call, f.Code, f.Skip);
  try {
    Trim(f.Format);
    FAIL() << "the trim must fail";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), f.Message);
  }
  EXPECT_EQ(ReadBytes(take), original);
  EXPECT_EQ(fs::exists(BackupPath(take)), f.BackupLeft);
  if (f.BackupLeft) {
    EXPECT_EQ(ReadBytes(BackupPath(take)), original);
  }
  EXPECT_FALSE(fs::exists(TrimTempPath(take)));
  EXPECT_FALSE(fs::exists(TrimRecordPath(take)));
  EXPECT_TRUE(layer.OpenStreams.empty()) << "every stream is freed";
  EXPECT_FALSE(layer.EncoderActive);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, TrimFailureTest,
    ::testing::Values(
        TrimFailure{"StreamCreateFile", 0, 41, rfWave, "Zoeken naar stiltes mislukt (BASS-fout 41).",
                    false},
        TrimFailure{"ChannelGetInfo", 0, 6, rfWave, "Lezen van audioformaat mislukt (BASS-fout 6).",
                    false},
        TrimFailure{"StreamCreateFile", 1, 2, rfWave,
                    "Openen van herstelkopie mislukt (BASS-fout 2).", true},
        TrimFailure{"ChannelSetPosition", 0, 7, rfWave,
                    "Positioneren voor trimmen mislukt (BASS-fout 7).", true},
        TrimFailure{"EncodeMp3Start", 0, 44, rfMP3,
                    "Starten van MP3-trimmer mislukt (BASS-fout 44).", true},
        // the scan makes 7 reads (6 blocks of 64 KiB, then the end); the copy's first read fails
        TrimFailure{"ChannelGetData", 7, -1, rfWave, "De opname kon niet volledig worden getrimd.",
                    true},
        TrimFailure{"ChannelGetData", 7, -1, rfMP3, "De opname kon niet volledig worden getrimd.",
                    true}));

TEST_F(TrimTest, ReadErrorDuringTheScanEndsItLikeTheEnd)
{
  WriteWave(take, 48000, 2, Burst(96000, 30000, 50000, 2));
  layer.FailNext("ChannelGetData", -1, 1);  // sound starts in the third block
  EXPECT_FALSE(Trim());
  ExpectNoCompanions();
}

TEST_F(TrimTest, WaveTooLargeToDescribeIsRefused)
{
  WriteWave(take, 48000, 2, Burst(96000, 30000, 50000, 2));
  const auto original = ReadBytes(take);
  rec.SetWaveDataLimit(1000);
  try {
    Trim();
    FAIL();
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "De WAV-opname is te groot om te trimmen.");
  }
  EXPECT_EQ(ReadBytes(take), original);
  EXPECT_TRUE(fs::exists(BackupPath(take)));
  EXPECT_FALSE(fs::exists(TrimTempPath(take)));
}

TEST_F(TrimTest, LeftOverTemporaryFileIsReplaced)
{
  WriteWave(take, 48000, 1, Burst(96000, 30000, 50000));
  test::WriteBytes(TrimTempPath(take), "oud", 3);
  ASSERT_TRUE(Trim());
  EXPECT_FALSE(fs::exists(TrimTempPath(take)));
  EXPECT_EQ(ReadBytes(take).size(), 44u + (54800u - 25200u) * 2u);
}

TEST_F(TrimTest, BackupThatCannotBeReplacedLeavesTheTake)
{
  WriteWave(take, 48000, 1, Burst(96000, 30000, 50000));
  const auto original = ReadBytes(take);
  // a folder with content where the backup should go cannot be replaced by a file
  fs::create_directories(BackupPath(take) / "inhoud");
  EXPECT_THROW(Trim(), EFileError);
  EXPECT_EQ(ReadBytes(take), original);
  EXPECT_FALSE(fs::exists(TrimTempPath(take)));
  EXPECT_FALSE(fs::exists(TrimRecordPath(take)));

  // the same for a temporary file that cannot be cleared away
  fs::remove_all(BackupPath(take));
  fs::create_directories(TrimTempPath(take) / "inhoud");
  EXPECT_THROW(Trim(), EFileError);
  EXPECT_EQ(ReadBytes(take), original);
  EXPECT_EQ(ReadBytes(BackupPath(take)), original);
}

TEST_F(TrimTest, ReadOnlyFolderLeavesTheTake)
{
  if (test::IgnoresPermissions())
    GTEST_SKIP() << "permissions do not bind this user";
  WriteWave(take, 48000, 1, Burst(96000, 30000, 50000));
  const auto original = ReadBytes(take);
  ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);
  EXPECT_THROW(Trim(), EFileError);
  chmod(dir.Path().c_str(), 0755);
  EXPECT_EQ(ReadBytes(take), original);
  ExpectNoCompanions();
}

TEST_F(TrimTest, RecordThatCannotBeWrittenLeavesTheTrimmedTake)
{
  WriteWave(take, 48000, 1, Burst(96000, 30000, 50000));
  const auto original = ReadBytes(take);
  fs::create_directories(TrimRecordPath(take) / "inhoud");
  EXPECT_THROW(Trim(), EFileError);
  EXPECT_EQ(ReadBytes(take).size(), 44u + (54800u - 25200u) * 2u);
  EXPECT_EQ(ReadBytes(BackupPath(take)), original);
  double s = -1, e = -1;
  EXPECT_FALSE(rec.ReadTrimInfo(take, s, e));
  EXPECT_EQ(s, 0.0);
}

// ---- trim record and undo ----

TEST_F(TrimTest, UndoGivesBackTheOriginalBytes)
{
  WriteWave(take, 48000, 2, Burst(96000, 30000, 50000, 2));
  const auto original = ReadBytes(take);
  ASSERT_TRUE(Trim());
  ASSERT_NE(ReadBytes(take), original);
  ASSERT_TRUE(rec.UndoTrim(take));
  EXPECT_EQ(ReadBytes(take), original);
  ExpectNoCompanions();
  double s = -1, e = -1;
  EXPECT_FALSE(rec.ReadTrimInfo(take, s, e));
  EXPECT_FALSE(rec.UndoTrim(take));
  EXPECT_EQ(ReadBytes(take), original);
}

TEST_F(TrimTest, BackupAndRecordTable)
{
  const auto record = TrimRecordPath(take), backup = BackupPath(take);
  const char* text = "[Trim]\r\nStartSeconds=0.5\r\nEndSeconds=0.25\r\n";
  double s = -1, e = -1;

  // both present
  test::WriteBytes(take, "trimmed", 7);
  test::WriteBytes(backup, "original", 8);
  test::WriteBytes(record, text, std::strlen(text));
  ASSERT_TRUE(rec.ReadTrimInfo(take, s, e));
  EXPECT_EQ(s, 0.5);
  EXPECT_EQ(e, 0.25);
  ASSERT_TRUE(rec.UndoTrim(take));
  EXPECT_EQ(Text(take), "original");
  EXPECT_FALSE(fs::exists(backup));
  EXPECT_FALSE(fs::exists(record));

  // backup without record: no marks, but undo still restores
  test::WriteBytes(take, "trimmed", 7);
  test::WriteBytes(backup, "original", 8);
  EXPECT_FALSE(rec.ReadTrimInfo(take, s, e));
  EXPECT_EQ(s, 0.0);
  EXPECT_EQ(e, 0.0);
  ASSERT_TRUE(rec.UndoTrim(take));
  EXPECT_EQ(Text(take), "original");

  // record without backup: ignored, nothing changes
  test::WriteBytes(record, text, std::strlen(text));
  EXPECT_FALSE(rec.ReadTrimInfo(take, s, e));
  EXPECT_EQ(s, 0.0);
  EXPECT_FALSE(rec.UndoTrim(take));
  EXPECT_EQ(Text(take), "original");
  EXPECT_TRUE(fs::exists(record));

  // neither
  fs::remove(record);
  EXPECT_FALSE(rec.ReadTrimInfo(take, s, e));
  EXPECT_FALSE(rec.UndoTrim(take));

  // the take itself has gone: the backup takes its place
  fs::remove(take);
  test::WriteBytes(backup, "original", 8);
  ASSERT_TRUE(rec.UndoTrim(take));
  EXPECT_EQ(Text(take), "original");
}

TEST_F(TrimTest, RecordIsReadLeniently)
{
  test::WriteBytes(BackupPath(take), "x", 1);
  double s = -1, e = -1;
  const auto record = [&](const std::string& text) {
    test::WriteBytes(TrimRecordPath(take), text.data(), text.size());
    EXPECT_TRUE(rec.ReadTrimInfo(take, s, e)) << text;
  };
  record("[trim]\r\nstartseconds=1,25\r\nENDSECONDS=6,25E-5\r\n");
  EXPECT_EQ(s, 1.25);
  EXPECT_EQ(e, 6.25e-5);
  record("[Trim]\nStartSeconds=0.8\n");
  EXPECT_EQ(s, 0.8);
  EXPECT_EQ(e, 0.0);
  record("[Anders]\r\nStartSeconds=3\r\n");
  EXPECT_EQ(s, 0.0);
  record("[Trim]\r\nStartSeconds=veel\r\nEndSeconds=\r\n");
  EXPECT_EQ(s, 0.0);
  EXPECT_EQ(e, 0.0);
  record("");
  EXPECT_EQ(s, 0.0);
}

TEST_F(TrimTest, BackupStaysTheOriginalAfterTheTakeIsReplaced)
{
  // The backup may share the take's data until the trim replaces the take; from then on
  // the two must be independent files.
  WriteWave(take, 48000, 1, Burst(96000, 30000, 50000));
  const auto original = ReadBytes(take);
  ASSERT_TRUE(Trim());
  struct stat a{}, b{};
  ASSERT_EQ(stat(take.c_str(), &a), 0);
  ASSERT_EQ(stat(BackupPath(take).c_str(), &b), 0);
  EXPECT_NE(a.st_ino, b.st_ino);
  EXPECT_EQ(b.st_nlink, 1u);
  EXPECT_EQ(ReadBytes(BackupPath(take)), original);
  // trimming again (nothing more to cut) leaves the first backup alone
  EXPECT_FALSE(Trim());
  EXPECT_EQ(ReadBytes(BackupPath(take)), original);
}
