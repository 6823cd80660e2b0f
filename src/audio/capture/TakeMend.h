#pragma once
// Takes a crash or a kill ended: a WAV take keeps the provisional header its writer
// put at its start (sizes 0xFFFFFFFF), which sox and libsndfile read but tools that
// trust the sizes do not. Mending gives it its true sizes and the cue chunk of the
// markers its label file holds. A take still being written is claimed by its writer
// (TWaveTakeWriter), in this process or another, and left alone.

#include <filesystem>

namespace praatkist::audio {

// Mends every such take in SessionFolder (files ending in ".wav", any case): how many
// were mended. Never raises; a take that cannot be mended now is left as it is.
int MendCrashedTakes(const std::filesystem::path &sessionFolder) noexcept;

} // namespace praatkist::audio
