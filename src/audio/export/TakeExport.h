#pragma once
// One take of a data set: the take decoded (WAV or MP3), brought to the data set's rate
// (libsoxr at its high quality) and channels (mono: the mean of the take's channels),
// and written as a 16-bit PCM WAV file with the program's own 44-byte header.

#include "audio/AudioLayer.h"
#include "audio/WorkControl.h"

#include <cstdint>
#include <filesystem>

namespace praatkist::audio {

struct TExportFormat {
  int SampleRate = 0; // 0: the take's own
  bool Mono = false;  // false: the take's own channels
};

struct TExportedTake {
  std::uint32_t SampleRate = 0;
  std::uint16_t Channels = 0;
  std::uint64_t Frames = 0; // in the written file
  double Seconds = 0.0;     // of the take as read
};

// Writes the take at Take into Target, a new file (an entry of that name makes it
// fail), complete and on the disk when this returns. Raises on failure or when Control
// is cancelled, with no Target left behind.
TExportedTake ExportTake(IAudioLayer &layer, const std::filesystem::path &take,
                         const std::filesystem::path &target, const TExportFormat &format,
                         TWorkControl *control = nullptr);

} // namespace praatkist::audio
