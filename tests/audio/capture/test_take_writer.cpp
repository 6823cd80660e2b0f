// The take writer's contract, on its WAV and its MP3 form alike: pieces in, a pause by
// not writing, a finish that leaves a file libsndfile reads back, a failed write that
// stops it with what came before kept; and the WAV's size limit.

#include "audio/capture/Mp3TakeWriter.h"
#include "audio/capture/TakeWriter.h"
#include "audio/codec/WavHeader.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "support/AudioTestKit.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

using namespace praatkist;
using praatkist::test::ReadBytes;
using praatkist::test::TTempDir;
namespace fs = std::filesystem;

namespace {

struct TWave {
  static constexpr TRecordingFormat Format = rfWave;
  static constexpr const char *Name = "take.wav";
  static constexpr std::int64_t Slack = 0; // frames a decoder may read more or less
  static constexpr bool FinishAfterFailure = true; // the header describes what is there
};
struct TMp3 {
  static constexpr TRecordingFormat Format = rfMP3;
  static constexpr const char *Name = "take.mp3";
  static constexpr std::int64_t Slack = 1152; // one MP3 frame
  static constexpr bool FinishAfterFailure = false; // no flush, no tag: the file ends short
};

// While set, every write of the disk fails as on a full one.
std::atomic<bool> gDiskFull{false};

int FullDisk(const char *step, const fs::path &)
{
  return gDiskFull.load() && std::strcmp(step, "write") == 0 ? ENOSPC : 0;
}

template <class TForm> class TakeWriterContract : public ::testing::Test {
protected:
  TTempDir dir;
  fs::path path = dir / TForm::Name;
  std::uint32_t limit = audio::kMaxWaveDataBytes;

  std::unique_ptr<audio::ITakeWriter> Open()
  {
    auto writer = audio::CreateTakeWriter(TForm::Format, 192, {48000, 2}, path, limit);
    writer->Begin();
    return writer;
  }
  static bool Write(audio::ITakeWriter &w, const std::vector<std::int16_t> &pcm)
  {
    return w.Write(pcm.data(), static_cast<std::uint32_t>(pcm.size() * 2));
  }
};

using Forms = ::testing::Types<TWave, TMp3>;
TYPED_TEST_SUITE(TakeWriterContract, Forms);

TYPED_TEST(TakeWriterContract, PiecesJoinAndAPauseWritesNothing)
{
  const auto a = test::Sine(48000, 2, 0.5, 440, 12000);
  const auto b = test::Sine(48000, 2, 0.25, 440, 12000);
  auto w = this->Open();
  ASSERT_TRUE(this->Write(*w, a));
  // a pause here: the capture writes nothing of what comes meanwhile
  ASSERT_TRUE(this->Write(*w, b));
  EXPECT_EQ(w->Frames(), (a.size() + b.size()) / 2);
  EXPECT_EQ(w->Stopped(), TCaptureEnd::None);
  EXPECT_TRUE(w->Finish());

  const test::TDecoded d = test::Decode(this->path);
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Rate, 48000);
  EXPECT_EQ(d.Channels, 2);
  const auto frames = static_cast<std::int64_t>((a.size() + b.size()) / 2);
  EXPECT_LE(std::llabs(d.Frames - frames), TypeParam::Slack);
  if (TypeParam::Slack == 0) { // frame for frame
    std::vector<std::int16_t> all = a;
    all.insert(all.end(), b.begin(), b.end());
    EXPECT_EQ(d.Samples, all);
  }
}

TYPED_TEST(TakeWriterContract, FailedWriteStopsItAndWhatCameBeforeStays)
{
  const auto a = test::Sine(48000, 2, 1.0, 440, 12000);
  auto w = this->Open();
  ASSERT_TRUE(this->Write(*w, a));
  platform::SetFileFaultHook(FullDisk);
  gDiskFull = true;
  EXPECT_FALSE(this->Write(*w, a));
  gDiskFull = false;
  EXPECT_EQ(w->Stopped(), TCaptureEnd::WriteFailed);
  EXPECT_FALSE(this->Write(*w, a)) << "nothing more after a failed write";
  EXPECT_EQ(w->Frames(), a.size() / 2);
  EXPECT_EQ(w->Finish(), TypeParam::FinishAfterFailure);
  platform::SetFileFaultHook(nullptr);

  const test::TDecoded d = test::Decode(this->path);
  ASSERT_TRUE(d.Ok);
  EXPECT_GT(d.Frames, 0);
  EXPECT_LE(d.Frames, static_cast<std::int64_t>(a.size() / 2) + TypeParam::Slack);
  if (TypeParam::Slack == 0) {
    EXPECT_EQ(d.Samples, a);
  }
}

TYPED_TEST(TakeWriterContract, ClaimsOnlyANewNameAndAbandonRemovesTheFile)
{
  test::WriteBytes(this->path, "take", 4);
  EXPECT_THROW(this->Open(), EFileError);
  EXPECT_EQ(ReadBytes(this->path), std::vector<std::uint8_t>({'t', 'a', 'k', 'e'}));
  fs::remove(this->path);
  auto w = this->Open();
  ASSERT_TRUE(this->Write(*w, test::Sine(48000, 2, 0.1, 440, 12000)));
  w->Abandon();
  EXPECT_FALSE(fs::exists(this->path));
}

// The WAV never holds more than its limit, in whole frames, and says so.
TEST(WaveTakeWriter, SizeLimitEndsOnAFrameBoundary)
{
  TTempDir dir;
  const std::uint32_t limit = 1002; // room for 250 frames and 2 bytes
  auto w = audio::CreateTakeWriter(rfWave, 192, {48000, 2}, dir / "take.wav", limit);
  w->Begin();
  const std::vector<std::int16_t> piece(400, 7);
  EXPECT_TRUE(w->Write(piece.data(), 800));
  EXPECT_FALSE(w->Write(piece.data(), 800));
  EXPECT_EQ(w->Stopped(), TCaptureEnd::SizeLimit);
  EXPECT_EQ(w->Frames(), 250u);
  EXPECT_TRUE(w->Finish());
  const auto bytes = ReadBytes(dir / "take.wav");
  EXPECT_EQ(bytes.size(), 1044u);
  EXPECT_EQ(test::Le32(bytes, 40), 1000u);
  EXPECT_EQ(test::Le32(bytes, 4), 1036u);
}

// Decoded through a layer and encoded by the MP3 writer, as a trim encodes anew: the
// length stays within a frame, twice over; what MP3 cannot hold is said.
TEST(Mp3TakeWriter, DecodeAndEncodeKeepsTheLength)
{
  TTempDir dir;
  test::TScriptedAudioLayer layer;
  const auto pcm = test::Sine(48000, 2, 10.0, 440, 16000);
  const fs::path wav = dir / "ten.wav";
  test::WriteWave(wav, 48000, 2, pcm);
  EXPECT_EQ(test::TranscodeToMp3(layer, wav, dir / "first.mp3", 192), pcm.size() * 2);
  const test::TDecoded first = test::Decode(dir / "first.mp3");
  ASSERT_TRUE(first.Ok);
  EXPECT_LE(std::llabs(first.Frames - 480000), 1152);
  EXPECT_GT(test::TranscodeToMp3(layer, dir / "first.mp3", dir / "second.mp3", 192), 0u);
  const test::TDecoded second = test::Decode(dir / "second.mp3");
  ASSERT_TRUE(second.Ok);
  EXPECT_LE(std::llabs(second.Frames - first.Frames), 1152);
  EXPECT_EQ(second.Samples.size(), static_cast<std::size_t>(second.Frames) * 2);
  const test::TMp3Frames frames = test::ParseMp3(ReadBytes(dir / "second.mp3"));
  EXPECT_TRUE(frames.InfoTag);
  EXPECT_EQ(std::count(frames.Kbps.begin(), frames.Kbps.end(), 192),
            static_cast<long>(frames.Kbps.size()));

  // MP3 has no 96 kHz: the encoder halves the rate, the length in time stays.
  test::WriteWave(dir / "hi.wav", 96000, 1, test::Sine(96000, 1, 1.0, 440, 16000));
  EXPECT_GT(test::TranscodeToMp3(layer, dir / "hi.wav", dir / "hi.mp3", 192), 0u);
  const test::TDecoded half = test::Decode(dir / "hi.mp3");
  ASSERT_TRUE(half.Ok);
  EXPECT_EQ(half.Rate, 48000);
  EXPECT_LE(std::llabs(half.Frames - 48000), 1152);

  // More than two channels cannot go into an MP3.
  audio::TMp3TakeWriter six(dir / "six.mp3", {48000, 6}, 192);
  try {
    six.Begin();
    ADD_FAILURE() << "six channels were taken";
  } catch (const EAudioError &e) {
    EXPECT_EQ(e.Code(), audio::kErrFormat);
  }
  six.Abandon();
}

} // namespace
