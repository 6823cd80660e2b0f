#pragma once
// The figures of a session's takes, measured once: cijfers.tsv in the session folder,
// one line per take (UTF-8, tab-separated, a header line), keyed by the take's name,
// size and modification time, so that a take changed in any way (trimmed, untrimmed,
// replaced from outside) no longer matches its line and is measured again.
//
// A change reads the file again, puts the new lines in and the file in place by a
// rename under a claimed temporary file (platform/ClaimedReplace), so that a crash
// leaves the old file or the new one, and two programs on one session keep each
// other's lines. A line whose take is gone or has changed is dropped at the next write.

#include "audio/TakeResults.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace praatkist::audio {

// What identifies a take's content: its size and modification time (nanoseconds).
struct TFileKey {
  std::uint64_t Size = 0;
  std::int64_t ModifiedNs = 0;
  bool operator==(const TFileKey &) const = default;
};
// The key of the file at Path now; none when it is not a readable file.
std::optional<TFileKey> FileKeyOf(const std::filesystem::path &path);

struct TStoredFigures {
  std::string Take; // the take's file name in the session folder, UTF-8
  TFileKey Key;
  double Seconds = 0.0; // the take's length
  TTakeFigures Figures; // Measured
  bool operator==(const TStoredFigures &) const = default;
};

namespace figure_store {
inline constexpr const char *kFileName = "cijfers.tsv";

std::string Serialize(const std::vector<TStoredFigures> &lines);
// Lines it cannot read are left out; a later line of the same take wins.
std::vector<TStoredFigures> Parse(const std::string &bytes);

// The lines of Folder's file as it is now (none without a file), those whose take is
// still there with the same key alone.
std::vector<TStoredFigures> ReadCurrent(const std::filesystem::path &folder);

// Reads the file afresh, puts Fresh in (a line per take, replacing the take's old one),
// drops what is gone or changed and puts the result in place. Raises EFileError when it
// cannot (the file then stays as it was).
void Merge(const std::filesystem::path &folder, const std::vector<TStoredFigures> &fresh);

// Puts the line of one take just measured in, where Folder has the file already (a
// session whose figures were asked for) and its line of the take is not that one. The
// file is never made here. Never raises: a line not put in is measured again later.
void Keep(const std::filesystem::path &folder, const TStoredFigures &line) noexcept;
} // namespace figure_store

} // namespace praatkist::audio
