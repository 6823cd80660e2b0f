#pragma once
// How the engine (TBassRecorder) is tuned at its construction: as the program runs it,
// or otherwise for tests. A header of its own, so that the window can hand it on
// without the whole engine.

#include "audio/analysis/TakeAnalysis.h"
#include "audio/codec/WavHeader.h"

#include <cstdint>

namespace praatkist {

// The engine tuned otherwise than the program runs it, for tests.
struct TEngineTuning {
  // How AnalyzeFile shares out its decoding: Chunks stretches side by side (0: one per
  // core) for takes of at least MinFrames frames, and (CompressedOnly) only for files
  // that decode to at least twice their size (any file when its figures are measured).
  audio::TAnalysisSplit AnalysisSplit{};
  // The most sample bytes a WAV take (and a trim's new take) may hold.
  std::uint32_t WaveDataLimit = audio::kMaxWaveDataBytes;
  // How long a running take's input may stay silent before it counts as frozen.
  std::int64_t InputFrozenAfterMs = 3000;
};

} // namespace praatkist
