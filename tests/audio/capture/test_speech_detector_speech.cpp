// The speech detector on spoken sentences, room noise, a click and a cough-like burst,
// fed in the 10 ms pieces an input delivers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "audio/capture/SpeechDetector.h"
#include "support/TestSpeech.h"

namespace praatkist::audio {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint16_t kChannels = 2;

class TStream {
public:
  // Room noise as the test speech has it under its voice.
  void Room(double seconds)
  {
    const auto frames = static_cast<std::size_t>(seconds * kRate);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const double gain = std::pow(10.0, -68.0 / 20.0) * 32767.0;
    for (std::size_t i = 0; i < frames * kChannels; ++i)
      Samples.push_back(static_cast<std::int16_t>(std::lround(noise(FRandom) * gain)));
  }
  // A burst of noise at a voice's level (a click, a cough).
  void Burst(double seconds)
  {
    const auto frames = static_cast<std::size_t>(seconds * kRate);
    std::normal_distribution<double> noise(0.0, 0.1 * 32767.0);
    for (std::size_t i = 0; i < frames * kChannels; ++i)
      Samples.push_back(static_cast<std::int16_t>(std::clamp(noise(FRandom), -32767.0, 32767.0)));
  }
  // A sentence: where its voice begins and ends (seconds in the stream).
  std::pair<double, double> Say(const std::string &text)
  {
    test::TSpeechTake take;
    take.Text = text;
    const std::vector<std::int16_t> spoken = test::SpeechSamples(take);
    const double at = Seconds();
    Samples.insert(Samples.end(), spoken.begin(), spoken.end());
    return {at + take.LeadSeconds, Seconds() - take.TailSeconds};
  }
  double Seconds() const { return static_cast<double>(Samples.size()) / kChannels / kRate; }

  std::vector<std::int16_t> Samples;

private:
  std::mt19937 FRandom{7};
};

struct THeard {
  std::vector<double> Starts, Ends, SpeechSeconds;
};

// Feeds the stream from AFrom to ATo seconds in 10 ms pieces.
void Feed(TSpeechDetector &detector, const TStream &stream, double from, double to, THeard &heard)
{
  constexpr std::size_t piece = kRate / 100;
  auto frame = static_cast<std::size_t>(from * kRate);
  const auto end = std::min(static_cast<std::size_t>(to * kRate), stream.Samples.size() / kChannels);
  for (; frame < end; frame += piece) {
    const std::size_t n = std::min(piece, end - frame);
    const TSpeechFound found = detector.Feed(
        reinterpret_cast<const std::uint8_t *>(stream.Samples.data() + frame * kChannels), n);
    if (found.Began)
      heard.Starts.push_back(static_cast<double>(found.BeganAt) / kRate);
    if (found.Ended) {
      heard.Ends.push_back(static_cast<double>(found.EndedAt) / kRate);
      heard.SpeechSeconds.push_back(static_cast<double>(found.SpeechFrames) / kRate);
    }
  }
}

TEST(SpeechDetector, StartsAtTheVoiceAndEndsAfterItsSilenceWithoutSplittingIt)
{
  TStream stream;
  stream.Room(1.5);
  const auto [begins, ends] = stream.Say("De kat krabt de krullen van de trap, en de hond kijkt toe.");
  stream.Room(2.0);
  TSpeechDetector detector;
  detector.Reset(kRate, kChannels, {});
  detector.Arm({});
  THeard heard;
  Feed(detector, stream, 0, stream.Seconds(), heard);
  ASSERT_EQ(heard.Starts.size(), 1u) << "the pauses between words end nothing";
  EXPECT_NEAR(heard.Starts[0], begins, 0.06);
  ASSERT_EQ(heard.Ends.size(), 1u);
  // the end comes once the silence after the last loud frame has lasted 1.2 s
  EXPECT_GT(heard.Ends[0], ends + 1.1);
  EXPECT_LT(heard.Ends[0], ends + 1.4);
  EXPECT_NEAR(heard.SpeechSeconds[0], ends - begins, 0.25);
  EXPECT_LT(detector.FloorDb(), -60.0) << "the floor is the room's, not the voice's";
}

TEST(SpeechDetector, AClickStartsNothingAndABurstOnlyAShortSpeech)
{
  TStream stream;
  stream.Room(1.0);
  const double click = stream.Seconds();
  stream.Burst(0.06);
  stream.Room(1.0);
  const double burst = stream.Seconds();
  stream.Burst(0.2);
  stream.Room(2.0);
  TSpeechDetector detector;
  detector.Reset(kRate, kChannels, {});
  detector.Arm({});
  THeard heard;
  Feed(detector, stream, 0, burst, heard);
  EXPECT_TRUE(heard.Starts.empty()) << "a click at " << click << " s";
  Feed(detector, stream, burst, stream.Seconds(), heard);
  ASSERT_EQ(heard.Starts.size(), 1u);
  EXPECT_NEAR(heard.Starts[0], burst, 0.03);
  ASSERT_EQ(heard.Ends.size(), 1u);
  EXPECT_LT(heard.SpeechSeconds[0], 0.3) << "too short to be a sentence";
}

TEST(SpeechDetector, ArmedDuringASentenceWaitsForQuietBeforeTheNext)
{
  TStream stream;
  stream.Room(1.0);
  const auto first = stream.Say("De zon schijnt op het water.");
  stream.Room(0.8);
  const auto second = stream.Say("Morgen gaan we naar de markt.");
  stream.Room(1.5);
  TSpeechDetector detector;
  detector.Reset(kRate, kChannels, {});
  THeard heard;
  // Armed half a second before the first sentence's end: its tail starts nothing.
  Feed(detector, stream, 0, first.second - 0.5, heard);
  detector.Arm({});
  Feed(detector, stream, first.second - 0.5, stream.Seconds(), heard);
  ASSERT_EQ(heard.Starts.size(), 1u);
  EXPECT_NEAR(heard.Starts[0], second.first, 0.06);
  // A pause holds it: nothing is heard, and listening waits for quiet again after it.
  TSpeechDetector held;
  held.Reset(kRate, kChannels, {});
  held.Arm({});
  const std::size_t frames = stream.Samples.size() / kChannels;
  EXPECT_FALSE(held.Feed(reinterpret_cast<const std::uint8_t *>(stream.Samples.data()), frames,
                         true)
                   .Began);
  EXPECT_EQ(held.State(), TSpeechDetector::dsArming);
}

} // namespace
} // namespace praatkist::audio
