#pragma once
// A take's markers through a trim and its undo, and a marker added to a take that is
// closed (one set while it plays).
//
// A trim keeps the label file as it was beside the backup (MarkersBackupPath) and gives
// the take its markers moved by what was cut at the start (a marker in a cut stretch at
// the nearest kept end), in the label file and, for a WAV, in the new take's cue chunk;
// the backup keeps its own. An undo puts the label file back as it was with the backup.

#include "audio/codec/TakeMarkers.h"

#include <cstdint>
#include <filesystem>

namespace praatkist::audio {

// Before a trim changes anything: the label file of Take as it is now beside the
// backup, in place of an older one (none when the take has no label file). Raises.
void BackUpMarkers(const std::filesystem::path &take);
// After an undo put the backup back: its label file back too (none when it had none).
void RestoreMarkers(const std::filesystem::path &take);

// A marker at Frame of the closed take Take at Rate: into its label file and, for a
// WAV take, its cue chunk; a trimmed take's record is made to name the take as it is
// then, and its backup gets the marker too, at its own place. Its number. Raises.
std::size_t AddMarkerToTake(const std::filesystem::path &take, std::uint64_t frame,
                            std::uint32_t rate);

} // namespace praatkist::audio
