#pragma once
// What the engine hands back about a take, as values: why a take ended by itself, the
// figures and waveform of an analysis, the seconds a trim cut.

#include <cstdint>
#include <limits>
#include <vector>

namespace praatkist::audio {

// Loudness (EBU R128 integrated), sample peak, RMS, noise floor (RMS of the quietest
// half second) and clipped samples of a take.
struct TTakeFigures {
  bool Measured = false; // false: the analysis was not asked for figures
  // dB and LUFS; minus infinity for silence (or a take too short for a loudness block).
  double LoudnessLufs = -std::numeric_limits<double>::infinity();
  double PeakDb = -std::numeric_limits<double>::infinity();  // dBFS, kFullScale = 0 dB
  double RmsDb = -std::numeric_limits<double>::infinity();   // all channels together
  double NoiseFloorDb = -std::numeric_limits<double>::infinity();
  std::uint64_t ClippedSamples = 0; // samples at magnitude kClipLevel or more
  // Where the voice is, from the take's 10 ms energies: the first and the last 10 ms
  // that stand out of the room (TakeChecks.h says how far), in seconds from the take's
  // start (the end is where that last 10 ms ends), and the RMS of the 10 ms that stand
  // out. HasSpeech false: nothing stands out (start and end 0).
  bool HasSpeech = false;
  double SpeechStartSeconds = 0.0;
  double SpeechEndSeconds = 0.0;
  double SpeechRmsDb = -std::numeric_limits<double>::infinity();

  double SpeechSeconds() const noexcept
  {
    return HasSpeech ? SpeechEndSeconds - SpeechStartSeconds : 0.0;
  }

  bool operator==(const TTakeFigures &) const = default;
};

// The published limits for spoken word (audiobook platforms), in dB (full scale = 0 dB):
// RMS between -23 and -18 dB, peaks at -3 dB at most, a noise floor of -60 dB or lower,
// and no clipped sample. Each figure is judged as it is shown: RMS and peak to one
// decimal, the noise floor to whole dB.
namespace spoken_word {
inline constexpr double RmsMinDb = -23.0;
inline constexpr double RmsMaxDb = -18.0;
inline constexpr double PeakMaxDb = -3.0;
inline constexpr double NoiseFloorMaxDb = -60.0;

// Value rounded to Decimals places, as it is shown and judged; never -0.
double Shown(double value, int decimals) noexcept;

struct TVerdict {
  bool TooQuiet = false, TooLoud = false, PeakHigh = false, Noisy = false, Clipped = false;
  bool Meets() const noexcept { return !TooQuiet && !TooLoud && !PeakHigh && !Noisy && !Clipped; }
};
TVerdict Judge(const TTakeFigures &figures) noexcept;
} // namespace spoken_word

} // namespace praatkist::audio

namespace praatkist {

// Why a take ended without being stopped.
enum class TCaptureEnd : int {
  None = 0,
  DeviceLost,  // the input or the audio server went away
  WriteFailed, // the file could not be written any further
  SizeLimit,   // the WAV file reached the largest size its header can describe
  TooSlow,     // captured audio was lost because the file could not be written fast enough
};

// A take reduced to waveform peaks: at most the points asked for per channel (the
// first two channels; a mono take gets equal lists), its duration and channel count,
// and its figures where they were asked for.
struct TWaveAnalysis {
  std::vector<std::int32_t> LeftPeaks;
  std::vector<std::int32_t> RightPeaks;
  double Duration = 0.0;
  int ChannelCount = 0;
  audio::TTakeFigures Figures;
};

// The seconds cut off a take's start and end. Trimmed: the take was rewritten (by
// TrimSilence) or its trim record applies to it (ReadTrimInfo).
struct TTrimCut {
  bool Trimmed = false;
  double StartSeconds = 0.0;
  double EndSeconds = 0.0;
};

} // namespace praatkist
