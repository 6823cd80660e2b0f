#include "audio/capture/SpeechWatch.h"

#include "audio/TakeFormat.h"

#include <cmath>

namespace praatkist::audio {

void TSpeechWatch::Listen(const TSpeechRules &ARules) noexcept
{
  const TSpeechRules rules = ARules.Clamped();
  FThresholdCentiDb.store(static_cast<int>(std::lround(rules.ThresholdDb * 100)),
                          std::memory_order_relaxed);
  FSilenceMs.store(rules.SilenceMs, std::memory_order_relaxed);
  const std::uint32_t serial = (FRequest.load(std::memory_order_relaxed) >> 1) + 1;
  FRequest.store((serial << 1) | 1u, std::memory_order_release);
}

void TSpeechWatch::StopListening() noexcept
{
  const std::uint32_t serial = (FRequest.load(std::memory_order_relaxed) >> 1) + 1;
  FRequest.store(serial << 1, std::memory_order_release);
}

TSpeechEvents TSpeechWatch::Poll() noexcept
{
  TSpeechEvents events;
  const std::uint32_t began = FBeganSerial.load(std::memory_order_acquire);
  if (began != FSeenBegan) {
    FSeenBegan = began;
    events.Began = true;
    events.BeganAt = FBeganAt.load(std::memory_order_relaxed);
  }
  const std::uint32_t ended = FEndedSerial.load(std::memory_order_acquire);
  if (ended != FSeenEnded) {
    FSeenEnded = ended;
    events.Ended = true;
    events.EndedAt = FEndedAt.load(std::memory_order_relaxed);
    events.SpeechSeconds =
        static_cast<double>(FSpeechFrames.load(std::memory_order_relaxed)) / FRate;
  }
  return events;
}

void TSpeechWatch::Reset(std::uint32_t ARate, std::uint16_t AChannels) noexcept
{
  FRate = ARate;
  FChannels = AChannels;
  FDetector.Reset(ARate, AChannels, TSpeechRules{});
  // A wish to listen holds on into the new input.
  FApplied = 0;
}

void TSpeechWatch::Feed(const std::uint8_t *AData, std::uint32_t ALength) noexcept
{
  const std::uint32_t request = FRequest.load(std::memory_order_acquire);
  if (request != FApplied) {
    FApplied = request;
    if (request & 1u) {
      TSpeechRules rules;
      rules.ThresholdDb = FThresholdCentiDb.load(std::memory_order_relaxed) / 100.0;
      rules.SilenceMs = FSilenceMs.load(std::memory_order_relaxed);
      FDetector.Arm(rules);
    } else {
      FDetector.Disarm();
    }
  }
  const TSpeechFound found = FDetector.Feed(AData, ALength / PcmFrameBytes(FChannels),
                                            FHeld.load(std::memory_order_acquire));
  if (found.Began) {
    FBeganAt.store(found.BeganAt, std::memory_order_relaxed);
    FBeganSerial.fetch_add(1, std::memory_order_release);
  }
  if (found.Ended) {
    FEndedAt.store(found.EndedAt, std::memory_order_relaxed);
    FSpeechFrames.store(found.SpeechFrames, std::memory_order_relaxed);
    FEndedSerial.fetch_add(1, std::memory_order_release);
  }
}

} // namespace praatkist::audio
