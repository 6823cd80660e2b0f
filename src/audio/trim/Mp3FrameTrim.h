#pragma once
// A trimmed MP3 made of the take's own frames: the frames that cover the kept samples,
// a few before them so that the decoder reaches the first kept sample in the state it
// had there, the bytes of the bit reservoir the first of those needs, and a new LAME
// tag frame whose delay and padding make a gapless decoder deliver exactly the kept
// samples, no more and no fewer.
//
// The numbers are those of libmpg123 (and libsndfile, which decodes with it): it skips
// the tag's delay plus 529 samples at the start and stops at the frames' samples less
// the padding plus 529; a frame decodes to its exact samples once the frame before it
// had all of its main data; the samples of a mono take also follow whether the decoder
// has decoded an odd or even number of frames, so that count keeps its parity here.

#include "audio/codec/Mp3Frames.h"
#include "platform/FileClaim.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace praatkist::platform {
class TReadFile;
}

namespace praatkist::audio {

struct TFrameTrim {
  std::size_t First = 0, End = 0; // the take's audio frames copied: [First, End)
  std::vector<std::uint8_t> Lead; // a frame made to carry the bit reservoir, or none
  std::uint32_t Delay = 0, Padding = 0;
  std::uint64_t CopyOffset = 0, CopyBytes = 0; // those frames' bytes in the take
};

// Plans the file for the kept samples [Start, End) of the decoder's output of Take
// (File: Take's bytes). False when no plan decodes exactly within the tag's limits.
bool PlanFrameTrim(const TMp3Take &take, platform::TReadFile &file, std::uint64_t start,
                   std::uint64_t end, TFrameTrim &plan);

// The new tag frame: Take's own with the counts, seek table, delay, padding and CRCs of
// the planned file. MusicCrc: the CRC of everything after the tag frame.
std::vector<std::uint8_t> BuildTagFrame(const TMp3Take &take, const TFrameTrim &plan,
                                        std::uint16_t musicCrc);

// Writes the planned file to Target (a new file), complete and synced. Progress gets
// the fraction done (0 .. 1) and may raise to end the work; a short read raises "De
// opname kon niet volledig worden getrimd.". Buffer: BufferSize bytes to work in. A
// Claim given takes Target the moment it exists.
void WriteFrameTrim(const TMp3Take &take, const TFrameTrim &plan, platform::TReadFile &source,
                    const std::filesystem::path &target, void *buffer, std::size_t bufferSize,
                    const std::function<void(double)> &progress,
                    platform::TFileClaim *claim = nullptr);

} // namespace praatkist::audio
