// The engine's capture of takes, driven through the scripted audio layer.

#include "audio/BassRecorder.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>

#include "audio/TakeFiles.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using namespace praatkist;
using praatkist::test::Le16;
using praatkist::test::Le32;
using praatkist::test::ReadBytes;
using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;

namespace {

// Every fsync of this program, by the path of what was synced.
std::mutex gSyncedLock;
std::vector<std::filesystem::path> gSynced;

} // namespace

#ifndef _WIN32
// (POSIX only: Windows has no interposing of the C library)
extern "C" int fsync(int fd)
{
  char target[4096];
  const ssize_t n =
      ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
  if (n > 0) {
    std::lock_guard lock(gSyncedLock);
    gSynced.emplace_back(std::string(target, static_cast<std::size_t>(n)));
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}
#endif

namespace {

// The file steps of the running test fail here: Step on the Nth time it is asked for
// (0: every time) on a path ending in Ending.
struct TFileFault {
  const char *Step = "";
  int Nth = 0;
  const char *Ending = "";
  int Seen = 0;
};
TFileFault gFault;

int ScriptedFault(const char *step, const std::filesystem::path &path)
{
  if (std::strcmp(step, gFault.Step) != 0 || !path.string().ends_with(gFault.Ending))
    return 0;
  ++gFault.Seen;
  return gFault.Nth == 0 || gFault.Seen == gFault.Nth ? ENOSPC : 0;
}

// Installs one failing file step for its lifetime.
struct TFaultScope {
  TFaultScope(const char *step, int nth, const char *ending)
  {
    gFault = {step, nth, ending, 0};
    platform::SetFileFaultHook(ScriptedFault);
  }
  ~TFaultScope() { platform::SetFileFaultHook(nullptr); }
};

// What the MP3 writer makes of these samples, as the file's bytes.
std::vector<std::uint8_t> Mp3Of(const std::filesystem::path &scratch, std::uint32_t rate,
                                std::uint16_t channels, int kbps,
                                const std::vector<std::int16_t> &samples)
{
  EXPECT_TRUE(test::WriteMp3(scratch, rate, channels, kbps, samples));
  auto bytes = ReadBytes(scratch);
  std::filesystem::remove(scratch);
  return bytes;
}

class CaptureTest : public ::testing::Test {
protected:
  TTempDir dir;
  TScriptedAudioLayer layer;
  std::unique_ptr<TBassRecorder> rec = std::make_unique<TBassRecorder>(layer);

  std::filesystem::path Take(const char *name = "Koor-1.wav") { return dir / name; }

  void StartWave(int rate = 48000, int channels = 2)
  {
    rec->Start({{0, rate, channels}, rfWave, 192}, Take());
  }

  std::pair<int, int> Peaks()
  {
    const TEngineStatus now = rec->Status();
    return {now.LeftPeak, now.RightPeak};
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

  rec->Start({{0, 48000, 2}, rfWave, 192}, Take("Koor-2.wav"));
  // left between -500 and 500, right down to -20000
  ASSERT_TRUE(layer.Deliver({-500, 3, 500, -20000, 12, 19999}));
  EXPECT_EQ(Peaks(), std::make_pair(500, 20000));
  // full scale negative counts as 32768
  ASSERT_TRUE(layer.Deliver({0, -32768}));
  EXPECT_EQ(rec->Status().Level(), 32768);
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
  EXPECT_EQ(rec->Status().Level(), 0);
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
    rec->Start({{0, 44100, 1}, rfWave, 128}, dir / "ander.wav");
    FAIL() << "a second start must fail";
  } catch (const EInvalidOperation &e) {
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
  std::optional<TBassDeviceInfo> info = TBassRecorder::DeviceInfo(layer, 1);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Name, "Monitor of Speakers");
  EXPECT_EQ(info->Driver, "speakers.monitor");
  EXPECT_EQ(info->Flags, audio::kDeviceEnabled | audio::kDeviceLoopback);
  EXPECT_FALSE(TBassRecorder::DeviceInfo(layer, 3));
}

TEST(CaptureCreate, FailingOutputGivesNoEngineAndFreesTheLayer)
{
  TScriptedAudioLayer layer;
  layer.FailNext("Init", audio::kErrDriver);
  try {
    TBassRecorder rec(layer);
    FAIL() << "construction must fail";
  } catch (const EAudioError &e) {
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
  const char *Call;
  int Code;
  TRecordingFormat Format;
  const char *Message;
};

class StartFailureTest : public CaptureTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailureTest, ReportsTheStepAndCleansUp)
{
  const StartFailure f = GetParam();
  const auto path = Take(f.Format == rfWave ? "Koor-1.wav" : "Koor-1.mp3");
  // the encoder cannot open the file: its second creation, after the claim of its name
  std::optional<TFaultScope> fault;
  if (std::strcmp(f.Call, "Mp3EncoderOpen") == 0)
    fault.emplace("create", 2, ".mp3");
  else
    layer.FailNext(f.Call, f.Code);
  try {
    rec->Start({{0, 48000, 2}, f.Format, 192}, path);
    FAIL() << "start must fail";
  } catch (const EAudioError &e) {
    EXPECT_STREQ(e.what(), f.Message);
    EXPECT_EQ(e.Code(), f.Code);
  }
  EXPECT_FALSE(rec->Recording());
  EXPECT_EQ(layer.RecordDevice, -1) << "the input must be closed again";
  EXPECT_NE(layer.RecordState, audio::kActivePlaying);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "no empty take is left to be listed";
  // the engine is ready for the next take
  rec->Start({{0, 48000, 2}, rfWave, 192}, Take("Koor-2.wav"));
  EXPECT_TRUE(layer.Deliver({1, 1}));
  rec->Stop();
  EXPECT_EQ(ReadBytes(Take("Koor-2.wav")).size(), 48u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StartFailureTest,
    ::testing::Values(
        StartFailure{"RecordInit", 23, rfWave, "Openen van audio-ingang mislukt (BASS-fout 23)."},
        StartFailure{"RecordInit", 23, rfMP3, "Openen van audio-ingang mislukt (BASS-fout 23)."},
        StartFailure{"RecordStart", 6, rfWave, "Starten van opname mislukt (BASS-fout 6)."},
        StartFailure{"RecordStart", 6, rfMP3, "Starten van opname mislukt (BASS-fout 6)."},
        StartFailure{"Mp3EncoderOpen", 33, rfMP3,
                     "Starten van MP3-encoder mislukt (BASS-fout 33)."},
        StartFailure{"ChannelPlay", -1, rfWave, "Activeren van opname mislukt (BASS-fout -1)."},
        StartFailure{"ChannelPlay", -1, rfMP3, "Activeren van opname mislukt (BASS-fout -1)."}));

TEST_F(CaptureTest, WaveFileThatCannotBeCreatedLeavesNothingRunning)
{
  EXPECT_THROW(rec->Start({{0, 48000, 2}, rfWave, 192}, dir / "geen-map" / "Koor-1.wav"), EFileError);
  EXPECT_FALSE(rec->Recording());
  EXPECT_EQ(layer.RecordDevice, -1);
  EXPECT_FALSE(layer.Called("RecordStart"));
}

TEST_F(CaptureTest, Mp3TakeIsWrittenByTheEncoderAlone)
{
  const auto path = Take("Koor-1.mp3");
  rec->Start({{0, 44100, 1}, rfMP3, 320}, path);
  EXPECT_EQ(layer.RecordChans, 1u);
  EXPECT_EQ(layer.RecordRate, 44100u);
  const std::vector<std::int16_t> buf = {100, -200, 300};
  ASSERT_TRUE(layer.Deliver(buf));
  EXPECT_EQ(rec->Status().Level(), 300);
  EXPECT_TRUE(rec->Stop());
  // the encoder's own bytes at 320 kbit/s: nothing else touched the file
  EXPECT_EQ(ReadBytes(path), Mp3Of(dir / "verwacht.mp3", 44100, 1, 320, buf));
  // the channel stopped first (it hands on what is still on its way), the input closed
  // last
  const auto &log = layer.Log;
  const auto at = [&](const char *c) { return std::find(log.begin(), log.end(), c) - log.begin(); };
  EXPECT_LT(at("ChannelStop"), at("RecordFree"));
}

// A take is byte for byte what the engine has always written: the 44-byte header of a
// 16-bit PCM WAV with its sizes, then the samples as they came; an MP3 take is the
// encoder's bytes of the same frames, however the buffers came.
TEST_F(CaptureTest, TakesHoldExactlyTheBytesOfTheirFormat)
{
  const std::vector<std::int16_t> a = Ramp(4800, -3000), b = Ramp(2400, 500);
  std::vector<std::int16_t> all = a;
  all.insert(all.end(), b.begin(), b.end());

  rec->Start({{0, 48000, 2}, rfWave, 192}, Take("Koor-1.wav"));
  ASSERT_TRUE(layer.Deliver(a));
  ASSERT_TRUE(layer.Deliver(b));
  ASSERT_TRUE(rec->Stop());
  std::vector<std::uint8_t> wave = {'R', 'I', 'F', 'F'};
  const auto le = [&](std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
      wave.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  const auto data = static_cast<std::uint32_t>(all.size() * 2);
  le(36 + data, 4);
  for (const char c : std::string("WAVEfmt "))
    wave.push_back(static_cast<std::uint8_t>(c));
  le(16, 4);         // the format chunk's size
  le(1, 2);          // PCM
  le(2, 2);          // channels
  le(48000, 4);      // rate
  le(48000 * 4, 4);  // bytes a second
  le(4, 2);          // bytes a frame
  le(16, 2);         // bits a sample
  for (const char c : std::string("data"))
    wave.push_back(static_cast<std::uint8_t>(c));
  le(data, 4);
  const auto *pcm = reinterpret_cast<const std::uint8_t *>(all.data());
  wave.insert(wave.end(), pcm, pcm + data);
  EXPECT_EQ(ReadBytes(Take("Koor-1.wav")), wave);

  rec->Start({{0, 48000, 2}, rfMP3, 192}, Take("Koor-1.mp3"));
  ASSERT_TRUE(layer.Deliver(a));
  ASSERT_TRUE(layer.Deliver(b));
  ASSERT_TRUE(rec->Stop());
  EXPECT_EQ(ReadBytes(Take("Koor-1.mp3")), Mp3Of(dir / "verwacht.mp3", 48000, 2, 192, all));
}

TEST_F(CaptureTest, StopSaysWhenTheFileCouldNotBeCompleted)
{
  const auto path = Take("Koor-1.mp3");
  rec->Start({{0, 48000, 2}, rfMP3, 192}, path);
  ASSERT_TRUE(layer.Deliver({100, -200, 300, 400}));
  {
    const TFaultScope fault("flush", 0, ".mp3"); // the last bytes, the tag or the close
    EXPECT_FALSE(rec->Stop());
  }
  EXPECT_FALSE(rec->Recording());
  EXPECT_TRUE(std::filesystem::exists(path)); // what there is stays the user's
  EXPECT_TRUE(rec->Stop());                   // nothing runs any more
}

// How a take ends by itself, for both formats: the input gone, audio lost while the
// file could not be written fast enough, the file or its folder removed.
struct SelfEnd {
  const char *Name;
  TRecordingFormat Format;
  void (*Cause)(TScriptedAudioLayer &, const std::filesystem::path &take);
  TCaptureEnd End;
};

class SelfEndTest : public CaptureTest, public ::testing::WithParamInterface<SelfEnd> {};

TEST_P(SelfEndTest, EndsTheTakeWithItsReason)
{
  const SelfEnd e = GetParam();
  const auto take = dir / "Sessie" / (e.Format == rfWave ? "Koor-1.wav" : "Koor-1.mp3");
  std::filesystem::create_directory(dir / "Sessie");
  rec->Start({{0, 48000, 2}, e.Format, 192}, take);
  ASSERT_TRUE(layer.Deliver(Ramp(100, 0)));
  EXPECT_EQ(rec->Status().End, TCaptureEnd::None);
  e.Cause(layer, take);
  ASSERT_EQ(rec->Status().End, e.End);
  EXPECT_FALSE(layer.Deliver(Ramp(100, 0))) << "nothing more is taken in";
  rec->Stop();
  EXPECT_FALSE(rec->Recording());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, SelfEndTest, ::testing::ValuesIn([] {
      const auto lose = [](TScriptedAudioLayer &l, const std::filesystem::path &) {
        l.LoseDevice();
      };
      const auto slow = [](TScriptedAudioLayer &l, const std::filesystem::path &) { l.LoseData(); };
      const auto file = [](TScriptedAudioLayer &, const std::filesystem::path &t) {
        std::filesystem::remove(t);
      };
      const auto folder = [](TScriptedAudioLayer &, const std::filesystem::path &t) {
        std::filesystem::remove_all(t.parent_path());
      };
      const TCaptureEnd gone = TCaptureEnd::DeviceLost;
      const TCaptureEnd tooSlow = TCaptureEnd::TooSlow;
      const TCaptureEnd unwritable = TCaptureEnd::WriteFailed;
      std::vector<SelfEnd> rows;
      for (const TRecordingFormat f : {rfWave, rfMP3}) {
        rows.push_back({"InputGone", f, lose, gone});
        rows.push_back({"AudioLost", f, slow, tooSlow});
#ifndef _WIN32 // Windows keeps a file that is open, and its folder, from being removed
        rows.push_back({"FileRemoved", f, file, unwritable});
        rows.push_back({"FolderRemoved", f, folder, unwritable});
#else
        (void)file;
        (void)folder;
        (void)unwritable;
#endif
      }
      return rows;
    }()),
    [](const ::testing::TestParamInfo<SelfEnd> &i) {
      return std::string(i.param.Name) + (i.param.Format == rfWave ? "Wave" : "Mp3");
    });

TEST_F(CaptureTest, VanishedInputEndsTheTakeAndTheFileStaysValid)
{
  StartWave();
  EXPECT_EQ(rec->Status().End, TCaptureEnd::None);
  ASSERT_TRUE(layer.Deliver(Ramp(100, 0)));
  layer.LoseDevice();
  ASSERT_EQ(rec->Status().End, TCaptureEnd::DeviceLost);
  rec->Stop();
  EXPECT_EQ(rec->Status().End, TCaptureEnd::None);
  const auto bytes = ReadBytes(Take());
  EXPECT_EQ(bytes.size(), 244u);
  EXPECT_EQ(Le32(bytes, 40), 200u);
}

TEST_F(CaptureTest, FailingEncoderEndsAnMp3Take)
{
  rec->Start({{0, 48000, 2}, rfMP3, 192}, Take("Koor-1.mp3"));
  {
    const TFaultScope fault("write", 0, ".mp3");
    // a second of audio: the encoder has frames to write
    EXPECT_FALSE(layer.Deliver(Ramp(96000, 0))) << "the capture ends at the failed write";
  }
  ASSERT_EQ(rec->Status().End, TCaptureEnd::WriteFailed);
  EXPECT_FALSE(rec->Stop()) << "the encoder stopped short of its file's end";
}

TEST_F(CaptureTest, WaveSizeLimitEndsTheTakeOnAFrameBoundary)
{
  rec.reset();
  rec = std::make_unique<TBassRecorder>(layer, TEngineTuning{.WaveDataLimit = 1002});
  StartWave(48000, 2);                       // room for 250 frames and 2 bytes
  ASSERT_TRUE(layer.Deliver(Ramp(400, 0)));  // 800 bytes
  EXPECT_FALSE(layer.Deliver(Ramp(400, 0))); // would pass the limit: capture ends
  ASSERT_EQ(rec->Status().End, TCaptureEnd::SizeLimit);
  rec->Stop();
  const auto bytes = ReadBytes(Take());
  EXPECT_EQ(Le32(bytes, 40), 1000u);
  EXPECT_EQ(Le32(bytes, 4), 1036u);
  EXPECT_EQ(bytes.size(), 1044u);
}

TEST_F(CaptureTest, WriteFailureKeepsTheHeaderTrue)
{
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no file size limit to play a full disk with";
#else
  // Let the file grow to 44 + 1000 bytes only, as a full disk would.
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  StartWave(48000, 2);
  struct rlimit small = old;
  small.rlim_cur = 1044;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool first = layer.Deliver(Ramp(300, 0));  // 600 bytes: fits
  const bool second = layer.Deliver(Ramp(300, 0)); // 600 more: only 400 fit
  const bool third = layer.Deliver(Ramp(2, 0));
  const TCaptureEnd end = rec->Status().End;
  rec->Stop();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_TRUE(first);
  EXPECT_FALSE(second);
  EXPECT_FALSE(third) << "nothing more may be appended after a failed write";
  EXPECT_EQ(end, TCaptureEnd::WriteFailed);
  const auto bytes = ReadBytes(Take());
  ASSERT_EQ(bytes.size(), 644u) << "the partly written buffer is cut off again";
  EXPECT_EQ(Le32(bytes, 40), 600u);
  EXPECT_EQ(Le32(bytes, 4), 636u);
#endif
}

// An entry already under the take's name is never written through, replaced or
// removed: a file, a pipe, a link (dangling or not), a folder.
TEST_F(CaptureTest, StartClaimsOnlyANameThatNothingHolds)
{
  const auto elsewhere = dir / "elders.wav";
  test::WriteBytes(elsewhere, "keep", 4);
  struct Row {
    const char *Name;
    std::function<void(const std::filesystem::path &)> Make;
  };
  const std::vector<Row> rows = {
      {"Koor-1.wav", [](const auto &p) { test::WriteBytes(p, "take", 4); }},
#ifndef _WIN32 // pipes and links are POSIX matters
      {"Koor-2.wav", [](const auto &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
      {"Koor-3.wav", [](const auto &p) { std::filesystem::create_symlink("nergens.wav", p); }},
      {"Koor-4.wav", [&](const auto &p) { std::filesystem::create_symlink(elsewhere, p); }},
#endif
      {"Koor-5.wav", [](const auto &p) { std::filesystem::create_directory(p); }},
      {"Koor-6.mp3", [](const auto &p) { test::WriteBytes(p, "take", 4); }},
  };
  for (const Row &row : rows) {
    const auto path = dir / row.Name;
    row.Make(path);
    const auto before = std::filesystem::symlink_status(path).type();
#ifndef _WIN32
    // a reader on the pipe, so that a wrong open would not block but write into it
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
#endif
    const auto format = path.extension() == ".mp3" ? rfMP3 : rfWave;
    EXPECT_THROW(rec->Start({{0, 48000, 2}, format, 192}, path), EFileError) << row.Name;
    EXPECT_FALSE(rec->Recording());
    EXPECT_EQ(layer.RecordDevice, -1);
    EXPECT_EQ(std::filesystem::symlink_status(path).type(), before) << row.Name;
#ifndef _WIN32
    if (before == std::filesystem::file_type::fifo) {
      char b[4];
      EXPECT_LE(::read(reader, b, sizeof b), 0) << "nothing was written into the pipe";
    }
    if (reader >= 0)
      ::close(reader);
#endif
  }
  EXPECT_EQ(ReadBytes(dir / "Koor-1.wav"), std::vector<std::uint8_t>({'t', 'a', 'k', 'e'}));
  EXPECT_EQ(ReadBytes(dir / "Koor-6.mp3"), std::vector<std::uint8_t>({'t', 'a', 'k', 'e'}));
  EXPECT_EQ(ReadBytes(elsewhere), std::vector<std::uint8_t>({'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(std::filesystem::exists(dir / "nergens.wav"));
}

// Companions beside a new take's name belong to an earlier take of that name that
// was removed outside the program: they go, those of other takes stay.
TEST_F(CaptureTest, StartRemovesTheCompanionsOfADeadTake)
{
  for (const char *name : {"Koor-1.wav", "Koor-1.mp3"}) {
    const auto take = dir / name;
    const auto other = dir / (std::string("Koor-2") + take.extension().string());
    for (const auto &t : {take, other})
      for (const auto &c : {audio::BackupPath(t), audio::TrimRecordPath(t), audio::TrimTempPath(t)})
        test::WriteBytes(c, "old", 3);
    rec->Start({{0, 48000, 1}, take.extension() == ".mp3" ? rfMP3 : rfWave, 192}, take);
    ASSERT_TRUE(layer.Deliver({1, 2, 3}));
    rec->Stop();
    for (const auto &c :
         {audio::BackupPath(take), audio::TrimRecordPath(take), audio::TrimTempPath(take)})
      EXPECT_FALSE(std::filesystem::exists(c)) << c;
    for (const auto &c :
         {audio::BackupPath(other), audio::TrimRecordPath(other), audio::TrimTempPath(other)})
      EXPECT_TRUE(std::filesystem::exists(c)) << c;
    EXPECT_FALSE(rec->ReadTrimInfo(take).Trimmed);
  }
}

namespace {

std::int64_t SteadyMs()
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Asks InputFrozen from now on until it says so (for at most 20 s): the milliseconds
// from Since to the first yes, or -1. However late a busy machine lets it ask, a yes
// before the limit has passed since the input's last audio is a fault.
std::int64_t MsUntilFrozen(TBassRecorder &rec, std::int64_t since)
{
  while (SteadyMs() - since < 20000) {
    if (rec.Status().Frozen)
      return SteadyMs() - since;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return -1;
}

} // namespace

TEST_F(CaptureTest, InputThatDeliversNothingIsReportedUntilAudioArrives)
{
  rec.reset();
  rec = std::make_unique<TBassRecorder>(layer, TEngineTuning{.InputFrozenAfterMs = 300});
  EXPECT_FALSE(rec->Status().Frozen) << "no take";
  std::int64_t since = SteadyMs();
  StartWave();
  // not frozen at first (the first question comes at once), frozen once the limit passed
  EXPECT_GE(MsUntilFrozen(*rec, since), 300);
  EXPECT_TRUE(rec->Status().Frozen);
  since = SteadyMs();
  ASSERT_TRUE(layer.Deliver({0, 0})); // silence is input too
  EXPECT_GE(MsUntilFrozen(*rec, since), 300);
  EXPECT_TRUE(rec->Status().Frozen);
  rec->Stop();
  EXPECT_FALSE(rec->Status().Frozen);
}

// A stopped take is on the disk before it is listed: its data and its name.
TEST_F(CaptureTest, StopMakesTheTakeAndItsFolderDurable)
{
#ifdef _WIN32
  GTEST_SKIP() << "the syncs are counted by interposing the C library's fsync: POSIX only";
#else
  for (const char *name : {"Koor-1.wav", "Koor-1.mp3"}) {
    const auto take = dir / name;
    const auto synced = [&](const std::filesystem::path &p) {
      std::lock_guard lock(gSyncedLock);
      return std::count(gSynced.begin(), gSynced.end(), std::filesystem::canonical(p));
    };
    rec->Start({{0, 48000, 2}, take.extension() == ".mp3" ? rfMP3 : rfWave, 192}, take);
    ASSERT_TRUE(layer.Deliver(Ramp(100, 0)));
    const auto takeBefore = synced(take), folderBefore = synced(dir.Path());
    rec->Stop();
    EXPECT_GT(synced(take), takeBefore) << name;
    EXPECT_GT(synced(dir.Path()), folderBefore) << name;
  }
#endif
}

namespace {

// Between takes the input stays open: its peaks go on, a start that fails leaves it
// open with what it kept, and the next take begins on it at once with that audio, its
// file getting it before the take's first buffer.
TEST_F(CaptureTest, OpenInputOutlivesAFailedStartAndOpensTheNextTake)
{
  rec->OpenInput({0, 48000, 1, 1000});
  ASSERT_TRUE(rec->InputOpen());
  ASSERT_TRUE(layer.Deliver({100, -200, 300}));
  EXPECT_EQ(rec->Status().Level(), 300);

  test::WriteBytes(Take("Koor-1.mp3"), "take", 4);
  EXPECT_THROW(rec->Start({{0, 48000, 1}, rfMP3, 192}, Take("Koor-1.mp3")), EFileError);
  {
    const TFaultScope fault("create", 2, "Koor-2.mp3"); // the encoder cannot open it
    EXPECT_THROW(rec->Start({{0, 48000, 1}, rfMP3, 192}, Take("Koor-2.mp3")), EAudioError);
  }
  EXPECT_FALSE(std::filesystem::exists(Take("Koor-2.mp3")));
  EXPECT_TRUE(rec->InputOpen());
  EXPECT_FALSE(rec->Recording());
  ASSERT_TRUE(layer.Deliver({400}));

  rec->Start({{0, 48000, 1}, rfMP3, 192}, Take("Koor-2.mp3"));
  EXPECT_EQ(std::count(layer.Log.begin(), layer.Log.end(), "RecordInit"), 1) << "no device to open";
  ASSERT_TRUE(layer.Deliver({500, 600}));
  EXPECT_TRUE(rec->Stop());
  const std::vector<std::int16_t> all = {100, -200, 300, 400, 500, 600};
  EXPECT_EQ(ReadBytes(Take("Koor-2.mp3")), Mp3Of(dir / "verwacht.mp3", 48000, 1, 192, all));
  EXPECT_DOUBLE_EQ(rec->Status().PreRollSeconds(), 4.0 / 48000);
  EXPECT_TRUE(rec->InputOpen()) << "the stop gives the channel back to the input";
  EXPECT_EQ(std::count(layer.Log.begin(), layer.Log.end(), "RecordFree"), 0);
  ASSERT_TRUE(layer.Deliver({650}));
  EXPECT_EQ(rec->Status().Level(), 650) << "the input's level after the take";

  // a take on another device opens its own input, with nothing before it
  rec->OpenInput({0, 48000, 1, 1000});
  ASSERT_TRUE(layer.Deliver({700}));
  rec->Start({{1, 48000, 1}, rfWave, 192}, Take("Koor-3.wav"));
  EXPECT_EQ(layer.RecordDevice, 1);
  ASSERT_TRUE(layer.Deliver({800}));
  EXPECT_TRUE(rec->Stop());
  EXPECT_EQ(std::filesystem::file_size(Take("Koor-3.wav")), 44u + 2u);
}

} // namespace
