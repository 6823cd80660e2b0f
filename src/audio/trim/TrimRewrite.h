#pragma once
// The middle of a trim: the kept frames of the backup written out as the new take, in
// a temporary file that is complete and on the disk when this returns.

#include "audio/AudioLayer.h"
#include "audio/TakeFormat.h"
#include "audio/codec/TakeMarkers.h"
#include "audio/codec/WavHeader.h"
#include "audio/trim/TrimScan.h"
#include "platform/FileClaim.h"

#include <filesystem>
#include <vector>

namespace praatkist::audio {

struct TRewriteJob {
  std::filesystem::path Source; // the backup: the take as it was
  std::filesystem::path Target; // the temporary file
  platform::TFileClaim *TargetClaim = nullptr; // claims Target the moment it exists
  TRecordingFormat Format = rfWave;
  int Bitrate = 192; // kbit/s of an MP3 encoded anew
  std::uint32_t WaveDataLimit = kMaxWaveDataBytes;
  TMarkers Markers; // a WAV's, as the new take has them: its cue chunk
};

// Writes frames [Cut.Start, Cut.End) of the take Scan describes. A WAV whose bytes are
// its samples is copied by the kernel; anything else goes through the decoder (and, for
// MP3, the take's MP3 writer). A WAV is written by the program's one WAV writer
// (codec/WaveWriter). Raises on any failure with everything it opened released.
void RewriteTake(IAudioLayer &layer, const TRewriteJob &job, const TTrimScan &scan,
                 const TCutPoints &cut, std::vector<std::int16_t> &block, const TTrimStep &step);

} // namespace praatkist::audio
