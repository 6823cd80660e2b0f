// Pause and the clip warning on the real Linux audio layer, with frame-numbered audio
// from the test server's fifo source: what a paused take keeps, and where a full-scale
// sample is noted.

#include "audio/BassRecorder.h"
#include "support/PulseTestKit.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace praatkist;
using namespace praatkist::test;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kRate = 48000;

class EnginePause : public ::testing::TestWithParam<TRecordingFormat> {
protected:
  void SetUp() override
  {
    REQUIRE_PULSE();
    layer = audio::CreateSystemAudioLayer();
    rec = std::make_unique<TBassRecorder>(*layer);
    fifo = FindDevice(*layer, "fifo");
    ASSERT_GE(fifo, 0);
  }

  fs::path Take(const char *stem) const
  {
    return dir / (std::string(stem) + (GetParam() == rfWave ? ".wav" : ".mp3"));
  }

  // Writes the frames First .. First + Count - 1 and waits until the fifo took them.
  static void Write(std::int64_t first, std::int64_t count)
  {
    TFifoWriter writer(NumberedFrames(first, count));
    ASSERT_GE(WaitUntil([&] { return writer.Done(); }, 20.0), 0.0);
  }

  TTempDir dir;
  std::unique_ptr<audio::IAudioLayer> layer;
  std::unique_ptr<TBassRecorder> rec;
  int fifo = -1;
};

// The take holds the frames before the pause and those after the resume, each part
// whole, joined without a repeat; the clock's count is what the file holds.
TEST_P(EnginePause, PausedTakeHoldsBothPartsExactlyJoined)
{
  const auto take = Take("Pauze-1");
  rec->Start(fifo, kRate, 2, 192, GetParam(), take);
  const std::int64_t before = kRate / 2, paused = kRate, after = kRate / 2;
  Write(0, before);
  ASSERT_GE(WaitUntil([&] { return std::llround(rec->TakeSeconds() * kRate) >= before; }, 10.0),
            0.0);
  rec->SetPaused(true);
  // Frame 32767 is the first at full scale: once it is noted, it came while paused.
  Write(before, paused);
  ASSERT_GE(WaitUntil([&] { return rec->Clipped(); }, 10.0), 0.0);
  EXPECT_DOUBLE_EQ(rec->ClipSeconds(), 0.5);
  rec->SetPaused(false);
  Write(before + paused, after);
  EXPECT_TRUE(rec->Stop());
  const std::int64_t counted = std::llround(rec->TakeSeconds() * kRate);

  const TDecoded d = Decode(take);
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Frames, counted);
  EXPECT_LE(d.Frames, before + after + paused - (32768 - before));
  EXPECT_GE(d.Frames, before + after);
  if (GetParam() != rfWave)
    return; // the MP3's samples do not keep their numbers
  ASSERT_EQ(static_cast<std::int64_t>(d.Samples.size()) / 2, d.Frames);
  EXPECT_EQ(FrameNumber(d.Samples, 0), 0);
  int joins = 0;
  for (std::size_t i = 1; i < static_cast<std::size_t>(d.Frames); ++i) {
    const std::int64_t step = FrameNumber(d.Samples, i) - FrameNumber(d.Samples, i - 1);
    if (step == 1)
      continue;
    ++joins;
    EXPECT_EQ(static_cast<std::int64_t>(i), before) << "the pause began at its request";
    EXPECT_GT(FrameNumber(d.Samples, i), 32767) << "what came while paused was written";
    EXPECT_GT(step, 1) << "a repeat at the join";
  }
  EXPECT_EQ(joins, 1);
  EXPECT_EQ(FrameNumber(d.Samples, static_cast<std::size_t>(d.Frames - 1)),
            before + paused + after - 1);
}

INSTANTIATE_TEST_SUITE_P(WaveAndMp3, EnginePause, ::testing::Values(rfWave, rfMP3),
                         [](const auto &info) { return info.param == rfWave ? "Wav" : "Mp3"; });

// A full-scale sample is noted at its place in the take, a quieter one is not, and the
// next take starts without the warning.
TEST_P(EnginePause, FullScaleSampleIsNotedUntilTheNextTake)
{
  std::vector<std::int16_t> sound(static_cast<std::size_t>(2 * kRate), 20000);
  sound[static_cast<std::size_t>(2 * (kRate / 4))] = -32766;
  sound[static_cast<std::size_t>(2 * (kRate / 2) + 1)] = -32767;
  rec->Start(fifo, kRate, 2, 192, GetParam(), Take("Luid-1"));
  {
    TFifoWriter writer(sound);
    ASSERT_GE(WaitUntil([&] { return writer.Done(); }, 20.0), 0.0);
  }
  rec->Stop();
  EXPECT_TRUE(rec->Clipped());
  EXPECT_DOUBLE_EQ(rec->ClipSeconds(), 0.5);

  rec->Start(fifo, kRate, 2, 192, GetParam(), Take("Luid-2"));
  EXPECT_FALSE(rec->Clipped());
  Write(0, kRate / 4); // the frame numbers stay far below full scale
  rec->Stop();
  EXPECT_FALSE(rec->Clipped());
}

} // namespace
