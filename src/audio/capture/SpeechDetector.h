#pragma once
// Where a voice starts and stops in the samples an open input delivers. Each 20 ms
// frame's level is judged against the room's noise floor, which the detector learns
// while nobody speaks and follows slowly. Speech starts after 120 ms of loud frames (a
// click, a cough or a breath shorter than that starts nothing) and ends after a stretch
// of silence. Armed, it first waits for the input to be quiet for a moment, so that the
// tail of one sentence does not start the next. One thread feeds it (the capture
// thread): no allocation, no lock, no exception.

#include "audio/SpeechRules.h"

#include <cstddef>
#include <cstdint>

namespace praatkist::audio {

// What one piece of input held. Frames count from the detector's reset.
struct TSpeechFound {
  bool Began = false;
  std::uint64_t BeganAt = 0; // the first loud frame of the speech
  bool Ended = false;
  std::uint64_t EndedAt = 0;      // where the silence had lasted long enough
  std::uint64_t SpeechFrames = 0; // from its start to the end of its last loud frame
};

class TSpeechDetector {
public:
  enum TState : int { dsOff, dsArming, dsListening, dsSpeaking };

  // Forgets everything (the floor too): a new input of that rate and channel count.
  void Reset(std::uint32_t rate, std::uint16_t channels, const TSpeechRules &rules) noexcept;
  // Listens from now on, after QuietBeforeMs of quiet; a speech under way goes on.
  void Arm(const TSpeechRules &rules) noexcept;
  // Stops listening (the floor is still learnt).
  void Disarm() noexcept { FState = dsOff; }

  // Interleaved 16-bit little-endian samples, whole frames. While Held, the frames
  // pass unjudged: a speech's silence does not count on, and listening waits for
  // quiet again afterwards. At most one start and one end are told per piece (an end
  // needs SilenceMs, far longer than any piece the layer hands on).
  TSpeechFound Feed(const std::uint8_t *data, std::size_t frames, bool held = false) noexcept;

  TState State() const noexcept { return FState; }
  double FloorDb() const noexcept { return FFloorDb; }
  std::uint64_t Frames() const noexcept { return FFrames; }

private:
  void Judge(double levelDb, std::uint64_t end, TSpeechFound &found) noexcept;

  TSpeechRules FRules;
  std::uint16_t FChannels = 1;
  std::uint32_t FFrameLength = 960; // frames in 20 ms
  TState FState = dsOff;
  std::uint64_t FFrames = 0; // fed so far
  // the 20 ms frame being summed
  double FSum = 0;
  std::uint32_t FInFrame = 0;
  bool FHaveFloor = false;
  double FFloorDb = -100.0;
  // arming: quiet so far; listening: a start in the making; speaking: since the last
  // loud frame
  std::uint32_t FQuietFrames = 0;
  std::uint64_t FCandidateAt = 0;
  std::uint32_t FCandidateLoud = 0;
  std::uint32_t FCandidateGap = 0;
  std::uint64_t FSpeechAt = 0;
  std::uint64_t FLastLoudEnd = 0;
};

} // namespace praatkist::audio
