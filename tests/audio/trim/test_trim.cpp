// Trimming of silence, the trim record and undo, on the scripted audio layer (which
// decodes the real WAV files the tests write) and the real file system.

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "audio/codec/WavHeader.h"
#include "audio/trim/TrimSequence.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "session/SessionManager.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace praatkist;
using praatkist::audio::BackupPath;
using praatkist::audio::TrimRecordPath;
using praatkist::audio::TrimTempPath;
using praatkist::test::Le32;
using praatkist::test::ReadBytes;
using praatkist::test::TrimRecordText;
using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;
using praatkist::test::WriteTrimRecord;
using praatkist::test::WriteWave;
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

std::string Text(const fs::path &path)
{
  const auto b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}

// The lines by which a trim record names the trimmed take: its size and change time.
std::string IdentityLines(const fs::path &take)
{
#ifdef _WIN32
  platform::TFileIdentity id;
  EXPECT_TRUE(platform::GetFileIdentity(take, id));
  const auto size = id.Size;
  const long long ns = id.ModifiedNs;
#else
  struct stat st {};
  EXPECT_EQ(stat(take.c_str(), &st), 0);
  const auto size = st.st_size;
  const long long ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
  return "TakeSize=" + std::to_string(size) + "\r\nTakeModified=" + std::to_string(ns) + "\r\n";
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
    const TTrimCut cut = rec.TrimSilence(take, format, bitrate);
    start = cut.StartSeconds;
    end = cut.EndSeconds;
    return cut.Trimmed;
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
  // temporary files never end in a take's extension
  EXPECT_EQ(TrimTempPath("/s/Interview-3.wav"), fs::path("/s/Interview-3.wav.trimtmp"));
  EXPECT_EQ(audio::BackupTempPath("/s/a.b/Koor-1.mp3"),
            fs::path("/s/a.b/Koor-1.mp3.untrimmed.trimtmp"));
  EXPECT_EQ(audio::RecordTempPath("/s/naamloos"), fs::path("/s/naamloos.triminfo.trimtmp"));
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
    const std::int64_t frames = rate * 2, loud = rate; // one loud frame after 1 s
    WriteWave(take, rate, 1, Burst(frames, loud, loud + 1));
    ASSERT_TRUE(Trim()) << rate;
    const std::int64_t margin = rate / 10; // 11025 gives 1102
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
      samples[i] = static_cast<std::int16_t>(i % 150); // quiet noise below the threshold
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
  EXPECT_EQ(Text(TrimRecordPath(take)), TrimRecordText("1.15", "1.15", IdentityLines(take)));
  double s = -1, e = -1;
  const TTrimCut info = rec.ReadTrimInfo(take);
  s = info.StartSeconds;
  e = info.EndSeconds;
  ASSERT_TRUE(info.Trimmed);
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
  EXPECT_EQ(
      Text(TrimRecordPath(take)),
      TrimRecordText("0.4", "0.9", IdentityLines(take) + "[Notitie]\r\nTekst=eerste versie\r\n"));
}

TEST_F(TrimTest, EmptyAndMissingTakes)
{
  WriteWave(take, 48000, 2, {});
  EXPECT_FALSE(Trim());
  ExpectNoCompanions();

  try {
    {
      const TTrimCut cut = rec.TrimSilence(dir / "weg.wav", rfWave, 192);
      start = cut.StartSeconds;
      end = cut.EndSeconds;
    }
    FAIL();
  } catch (const EAudioError &e) {
    EXPECT_STREQ(e.what(), "Zoeken naar stiltes mislukt (BASS-fout 2).");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST_F(TrimTest, Mp3IsEncodedAnewFromTheKeptRange)
{
  // The new take is what the MP3 writer makes of the kept frames, at the bit rate asked.
  take = dir / "Koor-1.mp3";
  const auto samples = Burst(96000, 30000, 50000, 2, 3000);
  WriteWave(take, 48000, 2, samples);
  ASSERT_TRUE(Trim(rfMP3, 256));
  const fs::path expected = dir / "verwacht.mp3";
  ASSERT_TRUE(test::WriteMp3(expected, 48000, 2, 256,
                             {samples.begin() + 25200 * 2, samples.begin() + 54800 * 2}));
  EXPECT_EQ(ReadBytes(take), ReadBytes(expected));
}

// ---- failures: after each, the take is what the table of failures says ----

namespace {

struct TrimFailure {
  const char *Call;
  int Skip;
  int Code;
  TRecordingFormat Format;
  const char *Message;
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
  } catch (const std::exception &e) {
    EXPECT_EQ(std::string(e.what()).rfind(f.Message, 0), 0u) << e.what();
  }
  EXPECT_EQ(ReadBytes(take), original);
  EXPECT_EQ(fs::exists(BackupPath(take)), f.BackupLeft);
  if (f.BackupLeft) {
    EXPECT_EQ(ReadBytes(BackupPath(take)), original);
  }
  EXPECT_FALSE(fs::exists(TrimTempPath(take)));
  EXPECT_FALSE(fs::exists(TrimRecordPath(take)));
  EXPECT_TRUE(layer.OpenStreams.empty()) << "every stream is freed";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, TrimFailureTest,
    ::testing::Values(TrimFailure{"StreamCreateFile", 0, 41, rfWave,
                                  "Zoeken naar stiltes mislukt (BASS-fout 41).", false},
                      TrimFailure{"ChannelGetInfo", 0, 6, rfWave,
                                  "Lezen van audioformaat mislukt (BASS-fout 6).", false},
                      TrimFailure{"StreamCreateFile", 1, 2, rfWave,
                                  "Openen van herstelkopie mislukt (BASS-fout 2).", true},
                      // the scan seeks three times to read the end back to the last sound
                      TrimFailure{"ChannelSetPosition", 3, 7, rfWave,
                                  "Positioneren voor trimmen mislukt (BASS-fout 7).", true},
                      // the scan reads 2 blocks from the start and 3 from the end; the copy's first
                      // read fails (a WAV's samples are copied from the file: see FileFaults)
                      TrimFailure{"ChannelGetData", 5, -1, rfMP3,
                                  "De opname kon niet volledig worden getrimd.", true}));

TEST_F(TrimTest, ReadErrorDuringTheScanEndsItLikeTheEnd)
{
  WriteWave(take, 48000, 2, Burst(96000, 30000, 50000, 2));
  layer.FailNext("ChannelGetData", -1, 1); // sound starts in the third block
  EXPECT_FALSE(Trim());
  ExpectNoCompanions();
}

TEST_F(TrimTest, WaveTooLargeToDescribeIsRefused)
{
  WriteWave(take, 48000, 2, Burst(96000, 30000, 50000, 2));
  const auto original = ReadBytes(take);
  try {
    // the trim as the engine runs it, under a limit of 1000 bytes (its tuning)
    audio::TrimTake(layer, take, rfWave, 192, 1000, nullptr);
    FAIL();
  } catch (const EInvalidOperation &e) {
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
#ifndef _WIN32
  WriteWave(take, 48000, 1, Burst(96000, 30000, 50000));
  const auto original = ReadBytes(take);
  ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);
  EXPECT_THROW(Trim(), EFileError);
  chmod(dir.Path().c_str(), 0755);
  EXPECT_EQ(ReadBytes(take), original);
  ExpectNoCompanions();
#endif
}

TEST_F(TrimTest, RecordThatCannotBeWrittenLeavesTheTakeAsRecorded)
{
  // the take is replaced only once its record lies ready beside it
  WriteWave(take, 48000, 1, Burst(96000, 30000, 50000));
  const auto original = ReadBytes(take);
  fs::create_directories(TrimRecordPath(take) / "inhoud");
  EXPECT_THROW(Trim(), EFileError);
  EXPECT_EQ(ReadBytes(take), original);
  EXPECT_EQ(ReadBytes(BackupPath(take)), original);
  EXPECT_FALSE(fs::exists(TrimTempPath(take)));
  EXPECT_FALSE(fs::exists(audio::RecordTempPath(take)));
  const TTrimCut info = rec.ReadTrimInfo(take);
  EXPECT_FALSE(info.Trimmed);
  EXPECT_EQ(info.StartSeconds, 0.0);
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
  EXPECT_FALSE(rec.ReadTrimInfo(take).Trimmed);
  EXPECT_FALSE(rec.UndoTrim(take));
  EXPECT_EQ(ReadBytes(take), original);
}

TEST_F(TrimTest, BackupAndRecordTable)
{
  const auto record = TrimRecordPath(take), backup = BackupPath(take);
  double s = -1, e = -1;

  // both present
  test::WriteBytes(take, "trimmed", 7);
  test::WriteBytes(backup, "original", 8);
  WriteTrimRecord(take, "0.5", "0.25");
  const TTrimCut info3 = rec.ReadTrimInfo(take);
  s = info3.StartSeconds;
  e = info3.EndSeconds;
  ASSERT_TRUE(info3.Trimmed);
  EXPECT_EQ(s, 0.5);
  EXPECT_EQ(e, 0.25);
  ASSERT_TRUE(rec.UndoTrim(take));
  EXPECT_EQ(Text(take), "original");
  EXPECT_FALSE(fs::exists(backup));
  EXPECT_FALSE(fs::exists(record));

  // backup without record: no marks, but undo still restores
  test::WriteBytes(take, "trimmed", 7);
  test::WriteBytes(backup, "original", 8);
  const TTrimCut info4 = rec.ReadTrimInfo(take);
  s = info4.StartSeconds;
  e = info4.EndSeconds;
  EXPECT_FALSE(info4.Trimmed);
  EXPECT_EQ(s, 0.0);
  EXPECT_EQ(e, 0.0);
  ASSERT_TRUE(rec.UndoTrim(take));
  EXPECT_EQ(Text(take), "original");

  // record without backup: ignored, nothing changes
  WriteTrimRecord(take, "0.5", "0.25");
  const TTrimCut info5 = rec.ReadTrimInfo(take);
  s = info5.StartSeconds;
  e = info5.EndSeconds;
  EXPECT_FALSE(info5.Trimmed);
  EXPECT_EQ(s, 0.0);
  EXPECT_FALSE(rec.UndoTrim(take));
  EXPECT_EQ(Text(take), "original");
  EXPECT_TRUE(fs::exists(record));

  // neither
  fs::remove(record);
  const TTrimCut info = rec.ReadTrimInfo(take);
  s = info.StartSeconds;
  e = info.EndSeconds;
  EXPECT_FALSE(info.Trimmed);
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
  const auto record = [&](const std::string &text) {
    test::WriteBytes(TrimRecordPath(take), text.data(), text.size());
    const TTrimCut info2 = rec.ReadTrimInfo(take);
    s = info2.StartSeconds;
    e = info2.EndSeconds;
    EXPECT_TRUE(info2.Trimmed) << text;
  };
  record("[trim]\r\nstartseconds=1,25\r\nENDSECONDS=6,25E-5\r\n");
  EXPECT_EQ(s, 1.25);
  EXPECT_EQ(e, 6.25e-5);
  record("[Trim]\nStartSeconds=0.8\n");
  EXPECT_EQ(s, 0.8);
  EXPECT_EQ(e, 0.0);
  record("[Anders]\r\nStartSeconds=3\r\n");
  EXPECT_EQ(s, 0.0);
  record(TrimRecordText("veel", ""));
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
#ifdef _WIN32
  EXPECT_FALSE(platform::SameFile(take, BackupPath(take)));
#else
  struct stat a {
  }, b{};
  ASSERT_EQ(stat(take.c_str(), &a), 0);
  ASSERT_EQ(stat(BackupPath(take).c_str(), &b), 0);
  EXPECT_NE(a.st_ino, b.st_ino);
  EXPECT_EQ(b.st_nlink, 1u);
#endif
  EXPECT_EQ(ReadBytes(BackupPath(take)), original);
  // trimming again (nothing more to cut) leaves the first backup alone
  EXPECT_FALSE(Trim());
  EXPECT_EQ(ReadBytes(BackupPath(take)), original);
}

// ---- faults in the file layer, crashes between steps, companions of other takes ----

namespace {

// One scripted answer of the file layer's fault hook: the Nth call of Step (0: every
// call) fails with Error, or runs Action and goes on; with Ending, only on paths that
// end so.
struct TFault {
  const char *Step;
  int Nth;
  int Error;
  void (*Action)() = nullptr;
  const char *Ending = nullptr;
};

struct THookScript {
  std::vector<TFault> Faults;
  bool RefuseLinks = false; // a file system without hard links
  int CrashAt = 0;          // the process ends before this step (counting every step)
  int Steps = 0;
  std::map<std::string, int> Seen;
};
THookScript gScript;
fs::path gTake;
audio::TWorkControl *gControl = nullptr;

int ScriptedFault(const char *step, const fs::path &path)
{
  if (++gScript.Steps == gScript.CrashAt) {
    // a crash: nothing after this point runs, no clean-up
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 0);
#endif
    _exit(0);
  }
  const int nth = ++gScript.Seen[step];
  if (gScript.RefuseLinks && std::strcmp(step, "link") == 0)
    return EPERM;
  for (const TFault &f : gScript.Faults)
    if (std::strcmp(f.Step, step) == 0 && (f.Nth == 0 || f.Nth == nth) &&
        (f.Ending == nullptr || path.string().ends_with(f.Ending))) {
      if (f.Action != nullptr) {
        f.Action();
        return 0;
      }
      return f.Error;
    }
  return 0;
}

struct THook {
  explicit THook(std::vector<TFault> faults = {}, bool refuseLinks = false, int crashAt = 0)
  {
    gScript = THookScript{};
    gScript.Faults = std::move(faults);
    gScript.RefuseLinks = refuseLinks;
    gScript.CrashAt = crashAt;
    platform::SetFileFaultHook(ScriptedFault);
  }
  ~THook() { platform::SetFileFaultHook(nullptr); }
};

// The MP3 writer of a trim fails: its encoder cannot open the new file (the second
// creation of it, after the claim of its name), or its last bytes, tag or close fail.
TEST_F(TrimTest, Mp3WriterFailuresLeaveTheTakeAsItWas)
{
  struct Row {
    TFault Fault;
    const char *Message;
  };
  for (const Row &row :
       {Row{{"create", 2, EACCES}, "Starten van MP3-trimmer mislukt (BASS-fout 33)."},
        Row{{"flush", 1, ENOSPC}, "Het MP3-bestand kon niet worden geschreven: "}}) {
    SCOPED_TRACE(row.Message);
    WriteWave(take, 48000, 2, Burst(96000, 30000, 50000, 2));
    const auto original = ReadBytes(take);
    {
      THook hook({row.Fault});
      try {
        Trim(rfMP3);
        ADD_FAILURE() << "the trim must fail";
      } catch (const std::exception &e) {
        EXPECT_EQ(std::string(e.what()).rfind(row.Message, 0), 0u) << e.what();
      }
    }
    EXPECT_EQ(ReadBytes(take), original);
    EXPECT_EQ(ReadBytes(BackupPath(take)), original);
    EXPECT_FALSE(fs::exists(TrimTempPath(take)));
    EXPECT_FALSE(fs::exists(TrimRecordPath(take)));
    EXPECT_TRUE(layer.OpenStreams.empty()) << "every stream is freed";
    fs::remove(BackupPath(take));
  }
}

// Files of the folder whose names end in the temporary ending of a trim.
int TemporaryFiles(const fs::path &folder)
{
  int n = 0;
  for (const auto &e : fs::directory_iterator(folder))
    n += e.path().filename().string().ends_with(audio::kTrimTempSuffix);
  return n;
}

// A stereo take with 0.525 s to cut at the start and 0.858 s at the end, and what a
// trim makes of it in either format (the MP3 as the writer encodes the kept frames).
class TrimFilesTest : public TrimTest {
protected:
  void SetUp() override
  {
    gTake = take;
    WriteWave(take, 48000, 2, Burst(96000, 30000, 50000, 2));
    original = ReadBytes(take);
    const auto kept = std::vector<std::uint8_t>(original.begin() + 44 + 25200 * 4,
                                                original.begin() + 44 + 54800 * 4);
    const auto header = audio::BuildWaveHeader(static_cast<std::uint32_t>(kept.size()), 48000, 2);
    trimmedWave.assign(header.begin(), header.end());
    trimmedWave.insert(trimmedWave.end(), kept.begin(), kept.end());
    const std::vector<std::int16_t> keptSamples(
        reinterpret_cast<const std::int16_t *>(kept.data()),
        reinterpret_cast<const std::int16_t *>(kept.data() + kept.size()));
    const fs::path expected = dir / "verwacht.mp3";
    ASSERT_TRUE(test::WriteMp3(expected, 48000, 2, 192, keptSamples));
    trimmedMp3 = ReadBytes(expected);
    fs::remove(expected);
  }
  const std::vector<std::uint8_t> &Trimmed(TRecordingFormat format) const
  {
    return format == rfWave ? trimmedWave : trimmedMp3;
  }
  // Undo after anything leaves the take as recorded, and nothing to undo a second time.
  void ExpectUndoEndsAtTheRecording()
  {
    rec.UndoTrim(take);
    EXPECT_EQ(ReadBytes(take), original);
    EXPECT_FALSE(rec.UndoTrim(take)) << "a second undo finds nothing";
    EXPECT_EQ(ReadBytes(take), original);
  }
  std::vector<std::uint8_t> original, trimmedWave, trimmedMp3;
};

struct TFileFaultRow {
  const char *Name;
  TRecordingFormat Format;
  std::vector<TFault> Faults;
  bool RefuseLinks;
  bool Trims;                 // the trim still succeeds
  bool BackupLeft;            // after a failure
  bool BackupDamaged = false; // by someone else: undo would put the damage back
};

class FileFaults : public TrimFilesTest, public ::testing::WithParamInterface<TFileFaultRow> {};

void HalveTheBackup()
{
  fs::resize_file(BackupPath(gTake), 44 + 30000 * 4);
}

} // namespace

TEST_P(FileFaults, TrimIsWholeOrLeavesTheTakeAsRecorded)
{
  const TFileFaultRow &row = GetParam();
#ifdef _WIN32
  for (const TFault &f : row.Faults)
    if (std::strcmp(f.Step, "copyrange") == 0 && f.Error != EXDEV)
      GTEST_SKIP() << "Windows copies through the buffer only: there is no kernel copy to fail";
#endif
  bool trimmed = false;
  {
    THook hook(row.Faults, row.RefuseLinks);
    try {
      trimmed = Trim(row.Format);
    } catch (const EPraatkistError &e) {
      EXPECT_FALSE(row.Trims) << e.what();
    }
  }
  EXPECT_EQ(trimmed, row.Trims);
  EXPECT_EQ(TemporaryFiles(dir.Path()), 0);
  if (row.Trims) {
    EXPECT_EQ(ReadBytes(take), Trimmed(row.Format));
    EXPECT_EQ(ReadBytes(BackupPath(take)), original);
    EXPECT_FALSE(platform::SameFile(take, BackupPath(take)));
    const TTrimCut info = rec.ReadTrimInfo(take);
    EXPECT_TRUE(info.Trimmed);
    EXPECT_SECONDS(info.StartSeconds, 25200 / 48000.0);
  } else {
    EXPECT_EQ(ReadBytes(take), original);
    EXPECT_EQ(fs::exists(BackupPath(take)), row.BackupLeft);
    if (row.BackupLeft && !row.BackupDamaged) {
      EXPECT_EQ(ReadBytes(BackupPath(take)), original);
    }
    EXPECT_FALSE(fs::exists(TrimRecordPath(take)));
    EXPECT_FALSE(rec.ReadTrimInfo(take).Trimmed);
  }
  if (row.BackupDamaged)
    return;
  ExpectUndoEndsAtTheRecording();
  EXPECT_FALSE(fs::exists(BackupPath(take)));
  EXPECT_FALSE(fs::exists(TrimRecordPath(take)));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FileFaults,
    ::testing::Values(
        TFileFaultRow{"NoHardLinksTheBackupIsACompleteCopy", rfWave, {}, true, true, false},
        TFileFaultRow{"KernelRefusesTheCopyReadAndWriteDoIt",
                      rfWave,
                      {{"copyrange", 0, EXDEV}},
                      false,
                      true,
                      false},
        TFileFaultRow{"BackupCopyFails", rfWave, {{"copyrange", 1, ENOSPC}}, true, false, false},
        TFileFaultRow{
            "BackupCannotTakeItsPlace", rfWave, {{"rename", 1, EIO}}, false, false, false},
        TFileFaultRow{"HeaderCannotBeWritten", rfWave, {{"write", 1, ENOSPC}}, false, false, true},
        TFileFaultRow{"KernelCopyFails", rfWave, {{"copyrange", 1, ENOSPC}}, false, false, true},
        // (a copied backup: shrinking a second name would shrink the take too)
        TFileFaultRow{"BackupShrinksDuringTheCopy",
                      rfWave,
                      {{"copyrange", 2, 0, HalveTheBackup}},
                      true,
                      false,
                      true,
                      true},
        TFileFaultRow{"NewWaveCannotBeSynced",
                      rfWave,
                      {{"sync", 0, EIO, nullptr, ".wav.trimtmp"}},
                      false,
                      false,
                      true},
        TFileFaultRow{"NewWaveCannotBeClosed", rfWave, {{"close", 1, EIO}}, false, false, true},
        TFileFaultRow{"NewMp3CannotBeSynced",
                      rfMP3,
                      {{"sync", 0, EIO, nullptr, ".wav.trimtmp"}},
                      false,
                      false,
                      true},
        TFileFaultRow{"RecordCannotBeCreated", rfWave, {{"create", 2, EACCES}}, false, false, true},
        TFileFaultRow{"RecordCannotBeWritten",
                      rfMP3,
                      {{"write", 0, ENOSPC, nullptr, ".triminfo.trimtmp"}},
                      false,
                      false,
                      true},
        TFileFaultRow{"RecordCannotTakeItsPlace", rfMP3, {{"rename", 2, EIO}}, false, false, true},
        TFileFaultRow{"FolderCannotBeSynced", rfWave, {{"syncdir", 1, EIO}}, false, false, true},
        TFileFaultRow{
            "NewTakeCannotTakeItsPlace", rfWave, {{"rename", 3, EIO}}, false, false, true},
        TFileFaultRow{"NewMp3CannotTakeItsPlace", rfMP3, {{"rename", 3, EIO}}, false, false, true}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(TrimFilesTest, FileSizeLimitLeavesTheTakeAndAnOlderBackup)
{
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no file size limit to play a full disk with";
#else
  // A limit below the new take's size fails the copy; with no hard links, a limit below
  // the take's own size fails the backup copy, and the backup of an earlier trim stays.
  struct Row {
    bool RefuseLinks;
    rlim_t Limit;
  };
  for (const Row row : {Row{false, 44 + 20000 * 4}, Row{true, 200000}}) {
    fs::remove(BackupPath(take)); // after the first row a second name of the take
    test::WriteBytes(BackupPath(take), "eerder", 6);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = row.Limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    {
      THook hook({}, row.RefuseLinks);
      EXPECT_THROW(Trim(), EFileError) << row.RefuseLinks;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ReadBytes(take), original);
    EXPECT_EQ(Text(BackupPath(take)), row.RefuseLinks ? "eerder" : Text(take));
    EXPECT_EQ(TemporaryFiles(dir.Path()), 0);
    EXPECT_FALSE(fs::exists(TrimRecordPath(take)));
  }
#endif
}

TEST_F(TrimFilesTest, FolderRemovedDuringTheTrimFailsAndBringsNothingBack)
{
  fs::create_directories(dir / "Koor");
  take = gTake = dir / "Koor" / "Koor-1.wav";
  test::WriteBytes(take, original.data(), original.size());
  THook hook({TFault{"create", 1, 0, [] { fs::remove_all(gTake.parent_path()); }}});
  EXPECT_THROW(Trim(), EFileError);
  EXPECT_FALSE(fs::exists(take.parent_path()));
}

TEST_F(TrimFilesTest, CancelIsHonouredOnlyWhileTheTakeIsWhole)
{
  const auto cancel = [] { gControl->Cancel(); };
  struct Row {
    const char *Step; // where the cancel comes; nullptr: before the trim starts
    int Nth;
    bool Honoured;
  };
  for (const Row row : {Row{nullptr, 0, true}, Row{"link", 1, true}, Row{"sync", 1, true},
                        Row{"create", 2, false}}) {
    audio::TWorkControl control;
    gControl = &control;
    fs::remove(BackupPath(take));
    fs::remove(TrimRecordPath(take));
    WriteWave(take, 48000, 2, Burst(96000, 30000, 50000, 2));
    if (row.Step == nullptr)
      control.Cancel();
    THook hook({TFault{row.Step ? row.Step : "-", row.Nth, 0, +cancel}});
    if (row.Honoured) {
      EXPECT_THROW(rec.TrimSilence(take, rfWave, 192, &control), audio::EWorkCancelled);
      EXPECT_EQ(ReadBytes(take), original);
      EXPECT_FALSE(fs::exists(BackupPath(take))) << "a cancelled trim takes its backup away";
      EXPECT_FALSE(fs::exists(TrimRecordPath(take)));
    } else {
      const TTrimCut cut = rec.TrimSilence(take, rfWave, 192, &control);
      start = cut.StartSeconds;
      end = cut.EndSeconds;
      EXPECT_TRUE(cut.Trimmed);
      EXPECT_EQ(ReadBytes(take), trimmedWave);
      EXPECT_EQ(control.Percent(), 100);
    }
    EXPECT_EQ(TemporaryFiles(dir.Path()), 0) << (row.Step ? row.Step : "before");
  }
  gControl = nullptr;
}

TEST_F(TrimFilesTest, CompanionsOfAnotherTakeAreRefused)
{
  struct Row {
    const char *Name;
    void (*Change)(const fs::path &take);
    bool Fits;
  };
  const Row rows[] = {
      {"unchanged", [](const fs::path &) {}, true},
      {"record from before records named their take",
       [](const fs::path &t) { WriteTrimRecord(t, "0.525", "0.85833"); }, true},
      {"take removed and a new one recorded under its name",
       [](const fs::path &t) {
         fs::remove(t);
         WriteWave(t, 48000, 2, Burst(48000, 1000, 2000, 2));
       },
       false},
      {"same size, recorded later",
       [](const fs::path &t) {
         std::this_thread::sleep_for(std::chrono::milliseconds(20));
         auto b = ReadBytes(t);
         b[100] ^= 1;
         fs::remove(t);
         test::WriteBytes(t, b.data(), b.size());
       },
       false},
      {"touched",
       [](const fs::path &t) {
         fs::last_write_time(t, fs::last_write_time(t) - std::chrono::hours(1000));
       },
       false},
      {"damaged name",
       [](const fs::path &t) {
         WriteTrimRecord(t, "1", {}, "TakeSize=veel\r\nTakeModified=1\r\n");
       },
       false},
  };
  for (const Row &row : rows) {
    fs::remove(BackupPath(take));
    fs::remove(TrimRecordPath(take));
    test::WriteBytes(take, original.data(), original.size());
    ASSERT_TRUE(Trim()) << row.Name;
    row.Change(take);
    const auto before = ReadBytes(take);
    const TTrimCut info = rec.ReadTrimInfo(take);
    EXPECT_EQ(info.Trimmed, row.Fits) << row.Name;
    EXPECT_EQ(info.StartSeconds, row.Fits ? 0.525 : 0.0) << row.Name;
    EXPECT_EQ(rec.UndoTrim(take), row.Fits) << row.Name;
    if (row.Fits) {
      EXPECT_EQ(ReadBytes(take), original) << row.Name;
    } else {
      EXPECT_EQ(ReadBytes(take), before) << row.Name;
      EXPECT_EQ(ReadBytes(BackupPath(take)), original) << row.Name;
      EXPECT_TRUE(fs::exists(TrimRecordPath(take))) << row.Name;
    }
  }
}

TEST_F(TrimFilesTest, ScanReadsTheEndsOnlyAndAgreesWithOnePass)
{
  // 10 s with sound from 1 s to 9 s: one pass would read 30 blocks
  WriteWave(take, 48000, 2, Burst(480000, 48000, 432000, 2));
  const auto whole = ReadBytes(take);
  ASSERT_TRUE(Trim());
  const auto reads = std::count(layer.Log.begin(), layer.Log.end(), "ChannelGetData");
  EXPECT_LE(reads, 6);
  const auto trimmed = ReadBytes(take);
  const double s = start, e = end;
  EXPECT_SECONDS(s, 43200 / 48000.0);
  EXPECT_SECONDS(e, 43200 / 48000.0);

  // a decoder that cannot seek to the end: one pass, the same result
  // (the first seek to the end, or the first read there)
  for (const auto &[call, skip] : {std::pair{"ChannelSetPosition", 0}, {"ChannelGetData", 3}}) {
    ASSERT_TRUE(rec.UndoTrim(take));
    ASSERT_EQ(ReadBytes(take), whole);
    layer.FailNext(call, -1, skip);
    layer.Log.clear();
    ASSERT_TRUE(Trim()) << call;
    EXPECT_GT(std::count(layer.Log.begin(), layer.Log.end(), "ChannelGetData"), 29) << call;
    EXPECT_EQ(ReadBytes(take), trimmed) << call;
    EXPECT_EQ(start, s);
    EXPECT_EQ(end, e);
  }
}

// Ends the process at every step of a trim and of an undo in turn, then looks at the
// folder as the next start of the program does: one take, listed alone, either as
// recorded with nothing to undo, or trimmed with the record and backup that undo it.
struct TCrashRow {
  TRecordingFormat Format;
  bool NoLinks;
  bool RealMp3 = false; // an MP3 take from the program's encoder, trimmed by copying frames
};

class TrimCrashTest : public TrimFilesTest, public ::testing::WithParamInterface<TCrashRow> {
protected:
  void SetUp() override
  {
    TrimFilesTest::SetUp();
    if (!GetParam().RealMp3)
      return;
    // A sine burst from 0.5 to 1.5 s of 2 s; what its trim gives, made once beside.
    std::vector<std::int16_t> s(2 * 96000, 0);
    for (std::size_t f = 24000; f < 72000; ++f)
      s[2 * f] = s[2 * f + 1] = static_cast<std::int16_t>(8000 * std::sin(f / 7.0));
    const fs::path scratch = dir / "Koor-9.mp3";
    ASSERT_TRUE(test::WriteMp3(scratch, 48000, 2, 128, s));
    original = ReadBytes(scratch);
    const TTrimCut cut = rec.TrimSilence(scratch, rfMP3, 192);
    cutAtStart = cut.StartSeconds;
    end = cut.EndSeconds;
    ASSERT_TRUE(cut.Trimmed);
    ASSERT_EQ(std::count(layer.Log.begin(), layer.Log.end(), "StreamCreateFile"), 1)
        << "the frames were copied: nothing decoded to encode anew";
    trimmedMp3 = ReadBytes(scratch);
    ASSERT_TRUE(rec.UndoTrim(scratch));
    fs::remove(scratch);
  }
  std::string TakeName() const { return GetParam().RealMp3 ? "Koor-1.mp3" : "Koor-1.wav"; }
  double cutAtStart = 25200 / 48000.0;

  // The works a crash is played in, by name. A child process started for one of them
  // (on Windows, where there is no fork) does only that work here and ends.
  void Works(std::map<std::string, std::function<void()>> named)
  {
    works = std::move(named);
#ifdef _WIN32
    if (const char *at = std::getenv("PRAATKIST_CRASH_AT")) {
      fs::remove_all(dir.Path()); // its own folder: the child never gets to clean up
      RunToCrash(std::atoi(at), works.at(std::getenv("PRAATKIST_CRASH_WORK")));
    }
#endif
  }
  // The folder the take lies in: a child process works on its parent's.
  fs::path Folder() const
  {
#ifdef _WIN32
    if (const wchar_t *parent = _wgetenv(L"PRAATKIST_CRASH_DIR"))
      return parent;
#endif
    return dir.Path();
  }

  // Runs the work Name in a child process that ends before step CrashAt; false when the
  // work finished before reaching it.
  bool CrashedAt(int crashAt, const char *name)
  {
#ifdef _WIN32
    const int code = RunChild(crashAt, name);
#else
    const pid_t pid = fork();
    if (pid == 0)
      RunToCrash(crashAt, works.at(name));
    int status = 0;
    waitpid(pid, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    EXPECT_GE(code, 0) << "the child ends by an exit of its own";
    EXPECT_NE(code, 2) << "no step fails on its own";
    return code == 0;
  }

  // In the child: 0 when it ended at the step, 1 when the work finished before it, 2
  // when a step failed on its own.
  [[noreturn]] void RunToCrash(int crashAt, const std::function<void()> &work)
  {
    THook hook({}, GetParam().NoLinks, crashAt);
    try {
      work();
    } catch (...) {
      _exit(2);
    }
    _exit(1);
  }

#ifdef _WIN32
  // This test alone, run by the test program once more, told by its environment which
  // work to do, where, and before which step to end; its exit code, -1 for an end by
  // an exception.
  int RunChild(int crashAt, const char *name)
  {
    std::wstring exe(MAX_PATH, L'\0');
    exe.resize(GetModuleFileNameW(nullptr, exe.data(), MAX_PATH));
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring command = L"\"" + exe + L"\" --gtest_brief=1 --gtest_filter=" +
                           std::wstring(filter.begin(), filter.end());
    const std::pair<const wchar_t *, std::wstring> vars[] = {
        {L"PRAATKIST_CRASH_AT", std::to_wstring(crashAt)},
        {L"PRAATKIST_CRASH_WORK", fs::path(name).wstring()},
        { L"PRAATKIST_CRASH_DIR",
          dir.Path().wstring() }};
    for (const auto &[var, value] : vars)
      SetEnvironmentVariableW(var, value.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const bool started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &child);
    for (const auto &[var, value] : vars)
      SetEnvironmentVariableW(var, nullptr);
    EXPECT_TRUE(started) << "error " << GetLastError();
    if (!started)
      return -1;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return code <= 255 ? static_cast<int>(code) : -1;
  }
#endif
  std::map<std::string, std::function<void()>> works;

  void ExpectOneState(const char *what, int step)
  {
    SCOPED_TRACE(std::string(what) + " ended before step " + std::to_string(step));
    // what the ended process left is nobody's: the start's clean-up takes it all
    const int left = TemporaryFiles(take.parent_path());
    EXPECT_EQ(audio::RemoveAbandonedTrimTempsUnder(dir.Path()), left);
    EXPECT_EQ(TemporaryFiles(take.parent_path()), 0);
    TSessionManager store;
    store.SetRootPath(QString::fromStdString(dir.Path().string()));
    store.SelectSession(QStringLiteral("Koor"));
    QStringList listed;
    store.LoadRecordings(listed);
    const QString ext = QString::fromStdString(take.extension().string());
    EXPECT_EQ(listed, QStringList{QString::fromStdString(TakeName())});
    EXPECT_TRUE(store.NextFileName(ext).endsWith(QStringLiteral("Koor-2") + ext));

    test::TScriptedAudioLayer freshLayer;
    TBassRecorder fresh(freshLayer);
    const TRecordingFormat format = GetParam().Format;
    const auto bytes = ReadBytes(take);
    const bool trimmed = bytes == Trimmed(format);
    EXPECT_TRUE(trimmed || bytes == original);
    const TTrimCut info = fresh.ReadTrimInfo(take);
    EXPECT_EQ(info.Trimmed, trimmed);
    if (trimmed) {
      EXPECT_SECONDS(info.StartSeconds, cutAtStart);
      EXPECT_TRUE(fresh.UndoTrim(take));
      EXPECT_FALSE(fs::exists(BackupPath(take)));
    } else {
      fresh.UndoTrim(take);
    }
    EXPECT_EQ(ReadBytes(take), original);
    // and a trim now runs through, whatever an interrupted one left
    EXPECT_TRUE(fresh.TrimSilence(take, format, 192).Trimmed);
    EXPECT_EQ(ReadBytes(take), Trimmed(format));
    EXPECT_EQ(TemporaryFiles(take.parent_path()), 0);
  }
};

TEST_P(TrimCrashTest, EveryStepLeavesOneConsistentState)
{
  take = Folder() / "Koor" / TakeName();
  const TRecordingFormat format = GetParam().Format;
  Works({{"trim", [&] { rec.TrimSilence(take, format, 192); }},
         {"undo", [&] { rec.UndoTrim(take); }}});
  int step = 1;
  for (;; ++step) {
    fs::remove_all(take.parent_path());
    fs::create_directories(take.parent_path());
    test::WriteBytes(take, original.data(), original.size());
    if (!CrashedAt(step, "trim"))
      break;
    ExpectOneState("trim", step);
  }
  EXPECT_GE(step, 10);

  for (step = 1;; ++step) {
    fs::remove_all(take.parent_path());
    fs::create_directories(take.parent_path());
    test::WriteBytes(take, original.data(), original.size());
    const TTrimCut cut2 = rec.TrimSilence(take, format, 192);
    start = cut2.StartSeconds;
    end = cut2.EndSeconds;
    ASSERT_TRUE(cut2.Trimmed);
    if (!CrashedAt(step, "undo"))
      break;
    ExpectOneState("undo", step);
  }
  EXPECT_GE(step, 3);
}

INSTANTIATE_TEST_SUITE_P(Formats, TrimCrashTest,
                         ::testing::Values(TCrashRow{rfWave, false}, TCrashRow{rfWave, true},
                                           TCrashRow{rfMP3, false}, TCrashRow{rfMP3, false, true}),
                         [](const auto &info) {
                           return std::string(info.param.Format == rfWave ? "Wave" : "Mp3") +
                                  (info.param.NoLinks ? "WithoutHardLinks" : "") +
                                  (info.param.RealMp3 ? "CopyingFrames" : "");
                         });
