#pragma once
// The reduction of a take to waveform peaks, on one decoding stream read from its start
// or on several streams of the same file read side by side, one stretch each.

#include "audio/AudioLayer.h"
#include "audio/TakeFormat.h"
#include "audio/analysis/PointLayout.h"
#include "audio/analysis/FigureMeter.h"
#include "audio/WorkControl.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace praatkist::audio {

// What one analysis reduces: the take's channel count and reported length, and how
// its frames spread over the points. Frames past Points x FramesPerPoint are not read.
struct TPeakJob {
  std::uint32_t Channels = 1;
  std::uint32_t Rate = 0;        // Hz, for the figures
  std::uint64_t LengthBytes = 0; // as the layer reports it (0 when it cannot tell)
  std::uint64_t Frames = 0;      // LengthBytes in whole frames
  TPointLayout Layout;
  bool Figures = false; // the take's figures from the same frames

  std::uint64_t FrameBytes() const noexcept { return PcmFrameBytes(Channels); }
  std::uint64_t WantedFrames() const noexcept
  {
    return static_cast<std::uint64_t>(Layout.Points) * Layout.FramesPerPoint;
  }
};

// What an analysis reduced a take to: Layout.Points peaks of each side (zeros where
// nothing was read) and, where the job asked for them, the take's figures.
struct TPeakResult {
  std::vector<std::int32_t> Left, Right;
  TTakeFigures Figures;
};

// Reads Stream from where it stands (its start) until the last point is filled or the
// stream ends. Raises EWorkCancelled once Control is cancelled.
TPeakResult SequentialPeaks(IAudioLayer &layer, THandle stream, const TPeakJob &job,
                            TWorkControl *control);

// The same result from Chunks threads, each on a decoding stream of File of its own
// (the first on Stream, standing at its start) positioned at the start of its stretch.
// The layer's positioning must deliver from there exactly what a reading from the
// start does. A stretch that ends early ends the analysis there, as one reading would.
// Raises what a thread raised (the first stretch's error first) after every thread has
// ended, and EWorkCancelled when Control was cancelled. None when the work cannot be
// shared out this way (no thread could be started, or a stream could not be positioned
// or describes the file otherwise): then read it in one go. With figures the stretches
// meet on the loudness blocks' grid (fewer of them where the take is short) and each
// reads the few frames past it that its meter hears.
std::optional<TPeakResult> ParallelPeaks(IAudioLayer &layer, const std::filesystem::path &file,
                                         THandle stream, const TPeakJob &job, unsigned chunks,
                                         TWorkControl *control);

} // namespace praatkist::audio
