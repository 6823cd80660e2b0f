#pragma once
// Names of the companion files that lie beside a take while it is trimmed or can be
// untrimmed. Interview-3.wav has:
//   Interview-3.wav.untrimmed   the take as it was before the last trim (backup)
//   Interview-3.wav.triminfo    how much the last trim cut at each end (trim record)
//   Interview-3.wav.markers.txt the take's markers, one label line each (label file);
//                               never removed but with the take
//   Interview-3.wav.markers.txt.untrimmed   the label file as it was before the last
//                               trim, for its undo (removed with the trim backups)
// and, only while a trim runs (or after a crash in one), files ending in ".trimtmp":
//   Interview-3.wav.trimtmp              the trimmed take being written
//   Interview-3.wav.untrimmed.trimtmp    the backup being made
//   Interview-3.wav.triminfo.trimtmp     the trim record being written
// None of them ends in a take's extension, so they are never listed as takes nor
// counted when the next take is numbered.

#include <filesystem>
#include <functional>
#include <vector>

namespace praatkist::audio {

class TWorkControl;

// The ending of every temporary file of a trim (with its dot).
inline constexpr const char *kTrimTempSuffix = ".trimtmp";

std::filesystem::path BackupPath(const std::filesystem::path &take);
std::filesystem::path TrimRecordPath(const std::filesystem::path &take);
std::filesystem::path TrimTempPath(const std::filesystem::path &take);
std::filesystem::path MarkersPath(const std::filesystem::path &take);
std::filesystem::path MarkersBackupPath(const std::filesystem::path &take);
std::filesystem::path BackupTempPath(const std::filesystem::path &take);
std::filesystem::path RecordTempPath(const std::filesystem::path &take);

// Deletes the take and then its backup, trim record and label files. Raises EFileError "Het bestand
// kon niet worden gewist." when the take is still there afterwards (its companions are
// then left as they are); a companion that cannot be deleted is let be.
void DeleteTakeWithCompanions(const std::filesystem::path &take);

// Every trim record under Root, in its sub-folders at any depth, then every backup, then
// every temporary file a trim interrupted by a crash left behind (names matched without
// regard to case). Empty when Root is no folder.
std::vector<std::filesystem::path> FindTrimLeftovers(const std::filesystem::path &root);

// Removes the temporary files of trims that no running trim holds (a trim holds each of
// its own from the moment it exists until it is renamed into place or deleted, in
// whichever process it runs): what a trim ended by a crash or a kill left in
// SessionFolder. Takes, backups and records are never touched. Returns how many were
// removed.
int RemoveAbandonedTrimTemps(const std::filesystem::path &sessionFolder);
// The same in every session folder under Root.
int RemoveAbandonedTrimTempsUnder(const std::filesystem::path &root);

// Takes a crash or a kill ended: a WAV take keeps the provisional header its writer
// put at its start (sizes 0xFFFFFFFF), which sox and libsndfile read but tools that
// trust the sizes do not. Mending gives it its true sizes and the cue chunk of the
// markers its label file holds. A take still being written is claimed by its writer,
// in this process or another, and left alone.
//
// Mends every such take in SessionFolder (files ending in ".wav", any case): how many
// were mended. Tell hears of each take once it is mended; Control (may be null) ends
// the search before the next file once it is cancelled. Never raises; a take that
// cannot be mended now is left as it is.
int MendCrashedTakes(const std::filesystem::path &sessionFolder,
                     const std::function<void(const std::filesystem::path &)> &tell = {},
                     const TWorkControl *control = nullptr) noexcept;

// Deletes each of Files in order; returns how many could not be deleted.
int DeleteFilesCounted(const std::vector<std::filesystem::path> &files);

} // namespace praatkist::audio
