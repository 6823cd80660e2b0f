#pragma once
// TPeaksCache: waveform peaks of takes already analysed, kept in memory so that
// selecting a take again shows it at once.
//
// An entry is keyed by the take's path and remembers the file's stamp (size,
// modification time, change time and file number) as it was before
// the analysis read it. Find answers only while the file on disk still carries that
// stamp: a take trimmed, restored, re-recorded or otherwise rewritten is a miss (and
// its entry is dropped), so it is analysed afresh.
//
// The cache is bounded by the number of peak values it holds (left and right lists
// together); storing beyond the bound drops the least recently used entries first.
// Find counts as a use.
//
// Not thread-safe: the window's thread alone uses it.

#include "audio/TakeResults.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <unordered_map>
#include <vector>

namespace praatkist::ui {

// What identifies one state of a file on disk.
struct TFileStamp {
  std::uintmax_t Size = 0;
  std::int64_t ModifiedNs = 0; // modification time
  std::int64_t ChangedNs = 0;  // status change time
  std::uint64_t Inode = 0;     // the file's number on its volume

  bool operator==(const TFileStamp &) const = default;

  // The stamp of the regular file at APath now; false when it cannot be read (gone,
  // not a regular file).
  static bool Of(const std::filesystem::path &APath, TFileStamp &AStamp);
};

// Peaks of one take as the engine's analysis gave them, with its figures.
struct TCachedPeaks {
  std::vector<std::int32_t> Left;
  std::vector<std::int32_t> Right;
  double Duration = 0.0;
  int Channels = 0;  // as the engine reported it
  int MaxPoints = 0; // the bound the analysis was asked for
  audio::TTakeFigures Figures; // measured in the same pass
};

class TPeaksCache {
public:
  // 2000 points per channel of some 250 takes: 4 MiB.
  static constexpr std::size_t DefaultMaxValues = 1u << 20;

  explicit TPeaksCache(std::size_t AMaxValues = DefaultMaxValues);

  // The peaks of the take at APath analysed with at most AMaxPoints per channel, when
  // its file still has the stamp they were taken with. False when there are none, the
  // points differ, or the file changed or is gone (the stale entry is then dropped).
  bool Find(const std::filesystem::path &APath, int AMaxPoints, TCachedPeaks &APeaks);

  // Keeps APeaks of the file at APath whose stamp, taken before the analysis read it,
  // was AStamp; replaces an older entry of that path. Evicts least recently used
  // entries until the total fits; peaks larger than the whole bound are not kept.
  void Store(const std::filesystem::path &APath, const TFileStamp &AStamp, TCachedPeaks APeaks);

  void Forget(const std::filesystem::path &APath);
  void Clear();

  std::size_t Count() const noexcept { return FIndex.size(); }
  std::size_t Values() const noexcept { return FValues; }

private:
  struct TEntry {
    std::filesystem::path::string_type Key;
    TFileStamp Stamp;
    TCachedPeaks Peaks;
  };
  using TList = std::list<TEntry>; // most recently used first

  static std::size_t Weight(const TCachedPeaks &APeaks) noexcept
  {
    return APeaks.Left.size() + APeaks.Right.size();
  }
  void Drop(TList::iterator AEntry);

  std::size_t FMaxValues;
  std::size_t FValues = 0;
  TList FEntries;
  std::unordered_map<std::filesystem::path::string_type, TList::iterator> FIndex;
};

} // namespace praatkist::ui
