#pragma once
// How a voice is told from the room on an open input: the rules of the speech detector
// (capture/SpeechDetector), handed from the window through the flow to the engine.

#include <algorithm>
#include <cmath>

namespace praatkist::audio {

inline constexpr double kDefaultSpeechThresholdDb = 12.0;
inline constexpr double kMinSpeechThresholdDb = 3.0;
inline constexpr double kMaxSpeechThresholdDb = 40.0;
inline constexpr int kDefaultSpeechSilenceMs = 1200;
inline constexpr int kMinSpeechSilenceMs = 300;
inline constexpr int kMaxSpeechSilenceMs = 5000;

struct TSpeechRules {
  double ThresholdDb = kDefaultSpeechThresholdDb; // a loud frame: this far above the floor
  int SilenceMs = kDefaultSpeechSilenceMs;        // this long without a loud frame ends it
  int MinSpeechMs = 120;                          // loud frames it takes to start
  int QuietBeforeMs = 300;                        // quiet needed before it listens

  TSpeechRules Clamped() const noexcept
  {
    TSpeechRules r = *this;
    r.ThresholdDb = std::isfinite(ThresholdDb)
                        ? std::clamp(ThresholdDb, kMinSpeechThresholdDb, kMaxSpeechThresholdDb)
                        : kDefaultSpeechThresholdDb;
    r.SilenceMs = std::clamp(SilenceMs, kMinSpeechSilenceMs, kMaxSpeechSilenceMs);
    r.MinSpeechMs = std::clamp(MinSpeechMs, 20, 2000);
    r.QuietBeforeMs = std::clamp(QuietBeforeMs, 0, 5000);
    return r;
  }
  bool operator==(const TSpeechRules &) const = default;
};

} // namespace praatkist::audio
