#pragma once
// One take of a data set: the take decoded (WAV or MP3), brought to the data set's rate
// (libsoxr at its high quality) and channels (mono: the mean of the take's channels) and
// held in memory (takes are sentences); then, where asked, cut or padded to a fixed
// margin of silence around its speech and brought to a loudness; written as 16-bit PCM,
// a WAV file with the program's own 44-byte header or a FLAC file through libsndfile.

#include "audio/AudioLayer.h"
#include "audio/TakeResults.h"
#include "audio/WorkControl.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace praatkist::audio {

enum class TExportFile { Wav, Flac };

struct TExportFormat {
  int SampleRate = 0; // 0: the take's own
  bool Mono = false;  // false: the take's own channels
  TExportFile File = TExportFile::Wav;
  // Milliseconds of silence before the first and after the last speech of each file
  // (the take's speech bounds): cut where the take has more, digital silence added
  // where it has less. None: the take's own ends.
  std::optional<int> MarginMs = std::nullopt;
  // Integrated loudness (EBU R128) of each file as written: a gain to it, limited so
  // that no sample peaks above kCeilingDb. None: the take's own level.
  std::optional<double> LoudnessLufs = std::nullopt;
};

// No exported sample goes above this when the loudness is set.
inline constexpr double kCeilingDb = -1.0;

// ".wav" or ".flac".
const char *FileExtension(TExportFile file) noexcept;

// Whether this libsndfile writes 16-bit FLAC (the Windows build's has no external
// codecs): asked once, by sf_format_check and a trial in memory.
bool FlacWritable() noexcept;

struct TExportedTake {
  std::uint32_t SampleRate = 0;
  std::uint16_t Channels = 0;
  std::uint64_t Frames = 0; // in the written file
  double Seconds = 0.0;     // of the take as read
  double GainDb = 0.0;      // the gain applied for the loudness (0: none)
};

// Writes the take at Take into Target, a new file (an entry of that name makes it
// fail), complete and on the disk when this returns. Speech (the take's figures, of the
// take as read) gives the bounds the margin is kept around; without it, or without
// speech, the take keeps its ends. Raises on failure or when Control is cancelled, with
// no Target left behind.
TExportedTake ExportTake(IAudioLayer &layer, const std::filesystem::path &take,
                         const std::filesystem::path &target, const TExportFormat &format,
                         TWorkControl *control = nullptr, const TTakeFigures *speech = nullptr);

} // namespace praatkist::audio
