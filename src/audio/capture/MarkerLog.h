#pragma once
// The markers of the running take, and its label file: each marker is written to the
// file the moment it is set, one label line reaching the system at once, so that a
// crash or a kill keeps every marker set before it. The file is made at the first
// marker: a take without markers has none. The window's thread only.

#include "audio/codec/TakeMarkers.h"
#include "platform/FileOps.h"

#include <filesystem>
#include <memory>

namespace praatkist::audio {

class TMarkerLog {
public:
  // A new take at Take, of Rate frames a second: no markers yet.
  void Begin(const std::filesystem::path &take, std::uint32_t rate);
  // A marker at Frame: its number. A label file that cannot be written loses only the
  // file's copy; the marker stays (and goes into a WAV take's cue chunk at the stop).
  std::size_t Add(std::uint64_t frame) noexcept;
  const TMarkers &Markers() const noexcept { return FMarkers; }
  // The take has ended: the label file to the disk and closed. False when some line
  // could not be written.
  bool Close() noexcept;

private:
  std::filesystem::path FTake;
  std::uint32_t FRate = 0;
  TMarkers FMarkers;
  std::unique_ptr<platform::TWriteFile> FFile;
  bool FFailed = false;
  bool FInOrder = true; // every marker was the last in the file when it was written
};

} // namespace praatkist::audio
