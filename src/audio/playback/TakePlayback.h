#pragma once
// Playback of one take at a time through the layer's default output, with the
// position, length and level the window polls.

#include "audio/AudioLayer.h"

#include <cstdint>
#include <filesystem>

namespace praatkist::audio {

class TTakePlayback {
public:
  explicit TTakePlayback(IAudioLayer &layer) noexcept : FLayer(layer) {}
  TTakePlayback(const TTakePlayback &) = delete;
  TTakePlayback &operator=(const TTakePlayback &) = delete;

  void Play(const std::filesystem::path &file);
  void Stop() noexcept;
  bool Active();
  double PositionSeconds();
  double LengthSeconds();
  int PeakLevel();
  // The playing take, and the frame it plays now with its rate: false when none plays.
  const std::filesystem::path &File() const noexcept { return FFile; }
  bool PlayingFrame(std::uint64_t &frame, std::uint32_t &rate);
  // Plays on from Frame; false when none plays or the position cannot be set.
  bool SeekFrame(std::uint64_t frame);

private:
  IAudioLayer &FLayer;
  THandle FHandle = 0;
  std::filesystem::path FFile;
};

} // namespace praatkist::audio
