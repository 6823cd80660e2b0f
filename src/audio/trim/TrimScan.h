#pragma once
// The first half of a trim: the scan of a take for its first and last loud frame, and
// the cut points that leave 100 ms of room around them.

#include "audio/AudioLayer.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace praatkist::audio {

// What the scan learnt of a take.
struct TTrimScan {
  TChannelInfo Info;
  std::uint32_t Rate = 0;
  std::uint32_t Channels = 1;               // never 0
  std::uint64_t Length = kPositionError;    // decoded bytes, as the layer reports them
  std::optional<std::uint64_t> PlainOffset; // where the file's bytes are its samples (WAV)
  std::int64_t TotalFrames = 0;
  std::int64_t FirstLoud = -1, LastLoud = -1; // frames; -1 when no sound was found
};

// Progress of the whole trim, 0 .. 1; raises EWorkCancelled once cancelled.
using TTrimStep = std::function<void(double)>;

// Decodes File once (or, where its bytes are its samples, only its two ends) for the
// frames that carry sound. Block (kReadBlock bytes) is the buffer the trim reads into.
// Raises "Zoeken naar stiltes ..." or "Lezen van audioformaat ..." when the take
// cannot be opened or described; a read error ends the scan like the end of the data.
TTrimScan ScanForSound(IAudioLayer &layer, const std::filesystem::path &file,
                       std::vector<std::int16_t> &block, const TTrimStep &step);

// The kept frames [Start, End).
struct TCutPoints {
  std::int64_t Start = 0, End = 0;
};

// False when there is nothing to cut to: no sound, no frames, no rate, or sound only
// past the reported length.
bool CutPoints(const TTrimScan &scan, TCutPoints &cut) noexcept;

// The offset in File from which its bytes are exactly the samples the decoder delivers:
// a 16-bit integer PCM WAV whose header agrees with the decoder on rate, channels and
// length. None for anything else (MP3, other sample formats, a header that disagrees).
std::optional<std::uint64_t> PlainSampleOffset(const std::filesystem::path &file,
                                               const TChannelInfo &info, std::uint64_t length,
                                               void *scratch, std::size_t scratchSize) noexcept;

} // namespace praatkist::audio
