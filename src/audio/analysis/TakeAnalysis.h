#pragma once
// The reduction of a take to waveform peaks, with its duration and channel count: the
// engine's AnalyzeFile. The decoding itself is shared out by ParallelAnalysis.

#include "audio/AudioLayer.h"
#include "audio/TakeResults.h"
#include "audio/WorkControl.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace praatkist::audio {

// How an analysis shares out its decoding: Chunks stretches side by side (0: one per
// core) for takes of at least MinFrames frames, and (CompressedOnly) only for files
// that decode to at least twice their size, unless the take's figures are measured.
struct TAnalysisSplit {
  unsigned Chunks = 0;
  std::uint64_t MinFrames = 1u << 18; // about 5 s at 48 kHz
  bool CompressedOnly = true;
};

// As TBassRecorder::AnalyzeFile.
TWaveAnalysis AnalyzeTake(IAudioLayer &layer, const TAnalysisSplit &split,
                          const std::filesystem::path &file, int maxPoints,
                          TWorkControl *control = nullptr, bool measureFigures = false);

} // namespace praatkist::audio
