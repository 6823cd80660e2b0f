#pragma once
// The markers of a WAV take inside the file, after its data: a "cue " chunk with one
// cue point per marker (its frame, in the "data" chunk), then a "LIST" chunk of type
// "adtl" naming each cue point with a "labl" chunk ("Markering 1", ...). Editors that
// read markers from the file (REAPER, Ocenaudio, Audition, libsndfile) find them there.
// The 44-byte header at the front stays as it is; only its RIFF size grows to cover the
// chunks.

#include "audio/codec/TakeMarkers.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace praatkist::audio {

// The two chunks for Markers, numbered from 1 in their order; empty for no markers.
std::vector<std::uint8_t> BuildCueChunks(const TMarkers &markers);

// Gives the closed WAV take File, with the program's 44-byte header, the true sizes of
// its samples and the cue chunks of Markers after them (anything that lay after the
// data before is replaced; no markers leave the data as the file's end). A provisional
// header (a take a crash ended) counts every whole frame up to the file's end.
// Every step leaves a file whose data chunk is right: the data first cut free of what
// followed, the chunks appended, then the RIFF size that covers them (TWaveWriter's
// Reopen and Finish). Synced. Raises EFileError; EInvalidOperation when the file is no
// such WAV.
void RewriteWaveTail(const std::filesystem::path &file, const TMarkers &markers);

} // namespace praatkist::audio
