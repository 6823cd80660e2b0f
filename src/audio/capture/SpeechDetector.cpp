#include "audio/capture/SpeechDetector.h"

#include "audio/TakeFormat.h"

#include <algorithm>
#include <cmath>

namespace praatkist::audio {

namespace {

constexpr int kFrameMs = 20;
// Below this no frame is loud, however quiet the room: digital silence has no floor.
constexpr double kQuietestSpeechDb = -60.0;
constexpr double kLowestLevelDb = -100.0;
// The floor follows a quieter room within about 100 ms, a louder one within seconds,
// and under a voice it rises by half a decibel a second only, so that a fan switched
// on during a sentence is learnt in the end and a long sentence is not.
constexpr double kFallShare = 0.2;
constexpr double kRiseShare = 0.01;
constexpr double kRiseUnderVoiceDb = 0.5 * kFrameMs / 1000.0;
// A start in the making survives gaps of this many quiet frames (a stop consonant).
constexpr std::uint32_t kCandidateGapFrames = 2;

std::uint32_t FramesOf(int ms) noexcept
{
  return static_cast<std::uint32_t>(std::max(ms, 0) + kFrameMs - 1) / kFrameMs;
}

} // namespace

void TSpeechDetector::Reset(std::uint32_t rate, std::uint16_t channels,
                            const TSpeechRules &rules) noexcept
{
  *this = TSpeechDetector();
  FRules = rules.Clamped();
  FChannels = std::max<std::uint16_t>(channels, 1);
  FFrameLength = std::max<std::uint32_t>(rate * kFrameMs / 1000u, 1u);
}

void TSpeechDetector::Arm(const TSpeechRules &rules) noexcept
{
  FRules = rules.Clamped();
  if (FState == dsSpeaking)
    return;
  FState = dsArming;
  FQuietFrames = 0;
}

TSpeechFound TSpeechDetector::Feed(const std::uint8_t *data, std::size_t frames, bool held) noexcept
{
  TSpeechFound found;
  if (held) {
    // Nothing is judged: a start in the making is dropped, a speech holds as it is.
    FFrames += frames;
    FSum = 0;
    FInFrame = 0;
    if (FState == dsListening || FState == dsArming) {
      FState = dsArming;
      FQuietFrames = 0;
    }
    return found;
  }
  const std::size_t samples = frames * FChannels;
  std::uint32_t inFrameSamples = FInFrame * FChannels;
  for (std::size_t i = 0; i < samples; ++i) {
    const auto v = static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    FSum += static_cast<double>(v) * v;
    if (++inFrameSamples == FFrameLength * FChannels) {
      const double meanSquare = FSum / (static_cast<double>(inFrameSamples) * kFullScale * kFullScale);
      const double levelDb =
          meanSquare > 0 ? std::max(10.0 * std::log10(meanSquare), kLowestLevelDb) : kLowestLevelDb;
      const std::uint64_t end = FFrames + (i / FChannels) + 1;
      Judge(levelDb, end, found);
      FSum = 0;
      inFrameSamples = 0;
    }
  }
  FInFrame = inFrameSamples / FChannels;
  FFrames += frames;
  return found;
}

void TSpeechDetector::Judge(double levelDb, std::uint64_t end, TSpeechFound &found) noexcept
{
  if (!FHaveFloor) {
    FHaveFloor = true;
    FFloorDb = levelDb;
  }
  const bool loud = levelDb >= std::max(FFloorDb + FRules.ThresholdDb, kQuietestSpeechDb);
  if (levelDb < FFloorDb)
    FFloorDb += (levelDb - FFloorDb) * kFallShare;
  else if (!loud)
    FFloorDb += (levelDb - FFloorDb) * kRiseShare;
  else
    FFloorDb = std::min(FFloorDb + kRiseUnderVoiceDb, levelDb);
  FFloorDb = std::max(FFloorDb, kLowestLevelDb);

  const std::uint64_t start = end - FFrameLength;
  switch (FState) {
  case dsOff:
    break;
  case dsArming:
    FQuietFrames = loud ? 0 : FQuietFrames + 1;
    if (FQuietFrames >= FramesOf(FRules.QuietBeforeMs)) {
      FState = dsListening;
      FCandidateLoud = 0;
    }
    break;
  case dsListening:
    if (loud) {
      if (FCandidateLoud == 0)
        FCandidateAt = start;
      ++FCandidateLoud;
      FCandidateGap = 0;
      if (FCandidateLoud >= FramesOf(FRules.MinSpeechMs) && !found.Began) {
        FState = dsSpeaking;
        FSpeechAt = FCandidateAt;
        FLastLoudEnd = end;
        FQuietFrames = 0;
        found.Began = true;
        found.BeganAt = FSpeechAt;
      }
    } else if (FCandidateLoud > 0 && ++FCandidateGap > kCandidateGapFrames) {
      FCandidateLoud = 0;
    }
    break;
  case dsSpeaking:
    if (loud) {
      FLastLoudEnd = end;
      FQuietFrames = 0;
    } else if (++FQuietFrames >= FramesOf(FRules.SilenceMs) && !found.Ended) {
      FState = dsOff;
      found.Ended = true;
      found.EndedAt = end;
      found.SpeechFrames = FLastLoudEnd - FSpeechAt;
    }
    break;
  }
}

} // namespace praatkist::audio
