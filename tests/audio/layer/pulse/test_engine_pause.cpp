// Pause, the clip warning and the open input on the real Linux audio layer, with
// frame-numbered audio from the test server's fifo source: what a paused take keeps,
// where a full-scale sample is noted, and how a take on the open input begins with the
// audio captured before the command.

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

  // The open input has been handed every frame written so far.
  void WaitForInput(std::int64_t frames)
  {
    const auto want = static_cast<std::uint64_t>(frames);
    ASSERT_GE(WaitUntil([&] { return rec->InputFrames() >= want; }, 10.0), 0.0);
    EXPECT_EQ(rec->InputFrames(), want);
  }

  // The take (WAV) runs from stream frame First on without a gap or a repeat.
  static void ExpectFramesFrom(const TDecoded &d, std::int64_t first)
  {
    ASSERT_EQ(static_cast<std::int64_t>(d.Samples.size()) / 2, d.Frames);
    ASSERT_GT(d.Frames, 0);
    EXPECT_EQ(FrameNumber(d.Samples, 0), first);
    std::int64_t breaks = 0;
    for (std::size_t i = 1; i < static_cast<std::size_t>(d.Frames); ++i)
      breaks += FrameNumber(d.Samples, i) != FrameNumber(d.Samples, i - 1) + 1;
    EXPECT_EQ(breaks, 0);
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
  rec->Start({{fifo, kRate, 2}, GetParam(), 192}, take);
  const std::int64_t before = kRate / 2, paused = kRate, after = kRate / 2;
  Write(0, before);
  ASSERT_GE(WaitUntil([&] { return std::llround(rec->TakeSeconds() * kRate) >= before; }, 10.0),
            0.0);
  rec->SetPaused(true);
  // Frame 32767 is the first at full scale: once it is noted, it came while paused.
  Write(before, paused);
  ASSERT_GE(WaitUntil([&] { return rec->Status().Clipped; }, 10.0), 0.0);
  EXPECT_DOUBLE_EQ(rec->Status().ClipSeconds(), 0.5);
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
  rec->Start({{fifo, kRate, 2}, GetParam(), 192}, Take("Luid-1"));
  {
    TFifoWriter writer(sound);
    ASSERT_GE(WaitUntil([&] { return writer.Done(); }, 20.0), 0.0);
  }
  rec->Stop();
  EXPECT_TRUE(rec->Status().Clipped);
  EXPECT_DOUBLE_EQ(rec->Status().ClipSeconds(), 0.5);

  rec->Start({{fifo, kRate, 2}, GetParam(), 192}, Take("Luid-2"));
  EXPECT_FALSE(rec->Status().Clipped);
  Write(0, kRate / 4); // the frame numbers stay far below full scale
  rec->Stop();
  EXPECT_FALSE(rec->Status().Clipped);
}

// Two seconds reach the open input before the command; the take holds the last second
// of them and everything after, as one run. A full-scale sample in that second is noted
// at its place in the take; one before it is forgotten at the command.
TEST_P(EnginePause, PreRollTakeBeginsWithTheSecondBeforeTheCommand)
{
  rec->OpenInput({fifo, kRate, 2, 1000});
  ASSERT_TRUE(rec->InputOpen());
  Write(0, 2 * kRate);
  WaitForInput(2 * kRate);
  EXPECT_TRUE(rec->Status().Clipped) << "frame 32767 is at full scale";

  const auto take = Take("Voor-1");
  rec->Start({{fifo, kRate, 2}, GetParam(), 192}, take);
  EXPECT_FALSE(rec->InputOpen()) << "the take has it now";
  Write(2 * kRate, kRate / 2);
  ASSERT_GE(
      WaitUntil([&] { return std::llround(rec->TakeSeconds() * kRate) >= 3 * kRate / 2; }, 10.0),
      0.0);
  EXPECT_TRUE(rec->Stop());
  EXPECT_DOUBLE_EQ(rec->Status().PreRollSeconds(), 1.0);
  // frame 65535 (full scale on the left) is the pre-roll's frame 65535 - 48000
  EXPECT_DOUBLE_EQ(rec->Status().ClipSeconds(), static_cast<double>(65535 - kRate) / kRate);
  EXPECT_TRUE(rec->InputOpen()) << "the stop gives the channel back to the input";

  const TDecoded d = Decode(take);
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Frames, 3 * kRate / 2);
  if (GetParam() == rfWave)
    ExpectFramesFrom(d, kRate);
}

// Takes back to back on the open input: the input never closes between them, so a take
// begun 0.3 s after the last one stopped still holds the whole second before its
// command, and that second reaches back into the take before: nothing said between the
// two is lost.
TEST_P(EnginePause, BackToBackTakesOverlapWithNothingLostBetweenThem)
{
  rec->OpenInput({fifo, kRate, 2, 1000});
  Write(0, 2 * kRate);
  WaitForInput(2 * kRate);
  const auto first = Take("Na-1");
  rec->Start({{fifo, kRate, 2}, GetParam(), 192}, first);
  Write(2 * kRate, kRate);
  ASSERT_GE(WaitUntil([&] { return std::llround(rec->TakeSeconds() * kRate) >= 2 * kRate; }, 10.0),
            0.0);
  EXPECT_TRUE(rec->Stop());
  EXPECT_TRUE(rec->InputOpen());
  const std::uint64_t atStop = rec->InputFrames();

  Write(3 * kRate, 3 * kRate / 10); // 0.3 s between the stop and the next command
  ASSERT_GE(WaitUntil([&] { return rec->InputFrames() >= atStop + 3 * kRate / 10; }, 10.0), 0.0);
  const auto second = Take("Na-2");
  rec->Start({{fifo, kRate, 2}, GetParam(), 192}, second);
  Write(3 * kRate + 3 * kRate / 10, kRate / 2);
  ASSERT_GE(
      WaitUntil([&] { return std::llround(rec->TakeSeconds() * kRate) >= 3 * kRate / 2; }, 10.0),
      0.0);
  EXPECT_TRUE(rec->Stop());
  EXPECT_DOUBLE_EQ(rec->Status().PreRollSeconds(), 1.0) << "the whole second before the command";

  const TDecoded a = Decode(first);
  const TDecoded b = Decode(second);
  ASSERT_TRUE(a.Ok && b.Ok);
  EXPECT_EQ(a.Frames, 2 * kRate);
  EXPECT_EQ(b.Frames, 3 * kRate / 2);
  if (GetParam() != rfWave)
    return;
  ExpectFramesFrom(a, kRate);
  ExpectFramesFrom(b, 3 * kRate + 3 * kRate / 10 - kRate);
  // the second begins at or before the first's last frame: no frame between them is lost
  EXPECT_LE(FrameNumber(b.Samples, 0),
            FrameNumber(a.Samples, static_cast<std::size_t>(a.Frames - 1)));
}

// An input open for less than the pre-roll gives what it has.
TEST_P(EnginePause, PreRollOfAShortInputIsWhatItHas)
{
  rec->OpenInput({fifo, kRate, 2, 3000});
  Write(0, kRate / 4);
  WaitForInput(kRate / 4);
  EXPECT_FALSE(rec->Status().Clipped);
  const auto take = Take("Kort-1");
  rec->Start({{fifo, kRate, 2}, GetParam(), 192}, take);
  Write(kRate / 4, kRate / 4);
  ASSERT_GE(WaitUntil([&] { return std::llround(rec->TakeSeconds() * kRate) >= kRate / 2; }, 10.0),
            0.0);
  EXPECT_TRUE(rec->Stop());
  EXPECT_DOUBLE_EQ(rec->Status().PreRollSeconds(), 0.25);
  const TDecoded d = Decode(take);
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Frames, kRate / 2);
  if (GetParam() == rfWave)
    ExpectFramesFrom(d, 0);
}

// The open input ends with its server, and opens again once the server is back.
TEST(EngineInput, EndsWithItsServerAndOpensWhenItIsBack)
{
  REQUIRE_PULSE();
  TPrivateServer server;
  ASSERT_FALSE(server.Server().empty());
  auto privateLayer = LayerOn(server.Server());
  TBassRecorder rec(*privateLayer);
  rec.OpenInput({FindDevice(*privateLayer, "sine"), 48000, 1, 1000});
  const auto heard = [&] { return rec.Status().LeftPeak > 0; };
  ASSERT_GE(WaitUntil(heard, 10.0), 0.0) << "the meter sees the input";
  EXPECT_FALSE(rec.Status().InputLost);
  ASSERT_TRUE(server.Kill());
  EXPECT_GE(WaitUntil([&] { return rec.Status().InputLost; }, 5.0), 0.0);
  rec.CloseInput();
  EXPECT_FALSE(rec.InputOpen());

  ASSERT_TRUE(server.Start());
  const auto reopened = [&] {
    try {
      rec.OpenInput({FindDevice(*privateLayer, "sine"), 48000, 1, 1000});
      return true;
    } catch (const std::exception &) {
      return false;
    }
  };
  ASSERT_GE(WaitUntil(reopened, 10.0), 0.0);
  EXPECT_GE(WaitUntil([&] { return rec.InputFrames() > 0; }, 10.0), 0.0);
}

} // namespace
