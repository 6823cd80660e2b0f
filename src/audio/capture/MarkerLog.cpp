#include "audio/capture/MarkerLog.h"

#include "audio/TakeFiles.h"

namespace praatkist::audio {

void TMarkerLog::Begin(const std::filesystem::path &take, std::uint32_t rate)
{
  Close();
  FTake = take;
  FRate = rate;
  FMarkers.clear();
  FFailed = false;
  FInOrder = true;
}

std::size_t TMarkerLog::Add(std::uint64_t frame) noexcept
{
  std::size_t number = 0;
  try {
    // Markers come in the order of the key presses, which is the order of their frames.
    number = InsertMarker(FMarkers, frame);
  } catch (...) {
    return 0;
  }
  FInOrder = FInOrder && number == FMarkers.size();
  if (FFailed)
    return number;
  try {
    if (!FFile)
      FFile = std::make_unique<platform::TWriteFile>(MarkersPath(FTake));
    const std::string line = LabelLine(frame, FRate, number);
    FFile->Write(line.data(), line.size());
  } catch (...) {
    FFailed = true;
  }
  return number;
}

bool TMarkerLog::Close() noexcept
{
  bool ok = !FFailed;
  if (FFile) {
    try {
      FFile->Sync();
      FFile->Close();
    } catch (...) {
      ok = false;
    }
  }
  FFile.reset();
  if (!FInOrder || FFailed) {
    // Lines out of order or missing: the whole file once more, in order.
    try {
      WriteMarkers(FTake, FMarkers, FRate);
      ok = true;
    } catch (...) {
      ok = false;
    }
  }
  return ok;
}

} // namespace praatkist::audio
