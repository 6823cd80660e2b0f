#include "audio/analysis/TakeAnalysis.h"

#include "audio/AudioErrors.h"
#include "audio/codec/DecodeStream.h"
#include "audio/analysis/ParallelAnalysis.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace praatkist::audio {

namespace {

// How many stretches to decode side by side: one per core where decoding or measuring
// is the work (a compressed file, or any take whose figures are measured, long enough
// to be worth the threads), else one. A file that decodes to hardly more bytes than it
// holds (WAV) is read as fast as the disk gives it, and for its peaks alone more
// threads only get in each other's way.
unsigned AnalysisChunks(const TAnalysisSplit &split, const std::filesystem::path &file,
                        std::uint64_t bytes, std::uint64_t frames, bool measuring)
{
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned chunks = split.Chunks != 0 ? split.Chunks : cores;
  if (chunks < 2 || frames < split.MinFrames)
    return 1;
  if (split.CompressedOnly && !measuring) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec || size == 0 || bytes / 2 < size)
      return 1;
  }
  return chunks;
}

} // namespace

TWaveAnalysis AnalyzeTake(IAudioLayer &layer, const TAnalysisSplit &split,
                          const std::filesystem::path &FileName, int MaxPoints,
                          TWorkControl *Control, bool MeasureFigures)
{
  const THandle stream = layer.StreamCreateFile(FileName, true);
  CheckBass(layer, stream != 0, "Analyseren van opname");
  TStreamGuard guard(layer, stream);

  TChannelInfo info;
  CheckBass(layer, layer.ChannelGetInfo(stream, info), "Lezen van audioformaat");
  TPeakJob job;
  job.Channels = info.Chans == 0 ? 1 : info.Chans;
  job.Rate = info.Freq;

  // A length the layer cannot tell counts as none: the take then shows no waveform
  // rather than a made-up one.
  const std::uint64_t length = layer.ChannelGetLength(stream);
  job.LengthBytes = length == kPositionError ? 0 : length;
  job.Frames = job.LengthBytes / job.FrameBytes();
  job.Layout = ComputePointLayout(job.Frames, MaxPoints);

  TWaveAnalysis wave;
  wave.Duration = BytesToSeconds(layer, stream, job.LengthBytes);
  wave.ChannelCount = static_cast<int>(std::min<std::uint32_t>(job.Channels, 0x7FFFFFFF));
  job.Figures = MeasureFigures;
  const unsigned chunks =
      AnalysisChunks(split, FileName, job.LengthBytes, job.Frames, MeasureFigures);
  std::optional<TPeakResult> peaks;
  if (chunks >= 2) {
    peaks = ParallelPeaks(layer, FileName, stream, job, chunks, Control);
    if (!peaks) {
      // The first stream has been read from: start on a fresh one.
      guard.Release();
      const THandle again = layer.StreamCreateFile(FileName, true);
      CheckBass(layer, again != 0, "Analyseren van opname");
      guard.Reset(again);
    }
  }
  if (!peaks)
    peaks = SequentialPeaks(layer, guard.Stream(), job, Control);
  wave.LeftPeaks = std::move(peaks->Left);
  wave.RightPeaks = std::move(peaks->Right);
  if (MeasureFigures)
    wave.Figures = peaks->Figures;
  return wave;
}

} // namespace praatkist::audio
