#pragma once
// Playback of one take at a time through the layer's default output, with the
// position, length and level the window polls.

#include "audio/AudioLayer.h"

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

private:
  IAudioLayer &FLayer;
  THandle FHandle = 0;
};

} // namespace praatkist::audio
