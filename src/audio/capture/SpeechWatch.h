#pragma once
// The speech detector of an open input, between the window's thread, which asks it to
// listen and reads what it found, and the capture thread, which feeds it every buffer
// the input delivers. Only atomics pass between the two.

#include "audio/TakeFormat.h"
#include "audio/capture/SpeechDetector.h"

#include <atomic>
#include <cstdint>

namespace praatkist::audio {

// What the detector found since the window last looked: frames of the open input,
// counted from its opening.
struct TSpeechEvents {
  bool Began = false;
  std::uint64_t BeganAt = 0;
  bool Ended = false;
  std::uint64_t EndedAt = 0;
  double SpeechSeconds = 0; // from the start to the end of the last loud frame
};

class TSpeechWatch {
public:
  // ---- the window's thread ----
  // Listens for speech (after a quiet moment), by ARules; also while a take runs.
  void Listen(const TSpeechRules &ARules) noexcept;
  void StopListening() noexcept;
  // Nothing is judged while held (a pause).
  void Hold(bool AHeld) noexcept { FHeld.store(AHeld, std::memory_order_release); }
  TSpeechEvents Poll() noexcept;

  // ---- before the capture starts, and then the capture thread ----
  // A new input: everything learnt goes, nothing is listened for.
  void Reset(std::uint32_t ARate, std::uint16_t AChannels) noexcept;
  void Feed(const std::uint8_t *AData, std::uint32_t ALength) noexcept;

private:
  TSpeechDetector FDetector;   // the capture thread's
  std::uint32_t FRate = kDefaultSampleRate; // set before the capture starts
  std::uint16_t FChannels = 2;
  // The window's latest wish: a serial number, and (lowest bit) listen or not.
  std::atomic<std::uint32_t> FRequest{0};
  std::uint32_t FApplied = 0; // the capture thread's
  std::atomic<int> FThresholdCentiDb{0};
  std::atomic<int> FSilenceMs{0};
  std::atomic<bool> FHeld{false};
  // Found: the fields, then their serial number (released).
  std::atomic<std::uint64_t> FBeganAt{0};
  std::atomic<std::uint32_t> FBeganSerial{0};
  std::atomic<std::uint64_t> FEndedAt{0};
  std::atomic<std::uint64_t> FSpeechFrames{0};
  std::atomic<std::uint32_t> FEndedSerial{0};
  std::uint32_t FSeenBegan = 0, FSeenEnded = 0; // the window's
};

} // namespace praatkist::audio
