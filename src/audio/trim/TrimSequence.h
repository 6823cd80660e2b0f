#pragma once
// A trim from start to end, as the engine's TrimSilence runs it: the scan for the loud
// ends (TrimScan), the backup (TrimCommit), the new take written beside the old one
// (TrimRewrite), the record and the renames (TrimRecord, TrimCommit). And the reading
// of a take's trim record.

#include "audio/AudioLayer.h"
#include "audio/TakeFormat.h"
#include "audio/TakeResults.h"
#include "audio/WorkControl.h"

#include <cstdint>
#include <filesystem>

namespace praatkist::audio {

// Nothing is rewritten unless at least one end would lose this much (seconds).
inline constexpr double kMinimumTrimSeconds = 0.05;

// As TBassRecorder::TrimSilence; WaveDataLimit bounds a WAV's data as the capture does.
TTrimCut TrimTake(IAudioLayer &layer, const std::filesystem::path &file, TRecordingFormat format,
                  int bitrate, std::uint32_t waveDataLimit, TWorkControl *control);

// As TBassRecorder::ReadTrimInfo.
TTrimCut ReadTrimCut(const std::filesystem::path &file);

} // namespace praatkist::audio
