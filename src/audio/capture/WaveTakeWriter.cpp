#include "audio/capture/WaveTakeWriter.h"

#include "audio/codec/WavCues.h"
#include "audio/codec/WavHeader.h"

#include <algorithm>
#include <system_error>

namespace praatkist::audio {

TWaveTakeWriter::TWaveTakeWriter(const std::filesystem::path &path, std::uint32_t rate,
                                 std::uint16_t channels, const std::uint32_t &dataLimit)
    : FPath(path), FFile(std::make_unique<platform::TWriteFile>(path)), FRate(rate),
      FChannels(channels), FFrameBytes(std::max<std::uint32_t>(2u * channels, 2u)),
      FDataLimit(dataLimit)
{
  try {
    FClaim.Claim(path);
  } catch (...) {
    FFile.reset();
    std::error_code ec;
    std::filesystem::remove(path, ec);
    throw;
  }
}

// Sizes unknown yet: a provisional header lets any decoder read what has been written
// so far should the program die before the take is stopped.
void TWaveTakeWriter::Begin()
{
  const TWaveHeader header = BuildProvisionalWaveHeader(FRate, FChannels);
  FFile->Write(header.data(), header.size());
}

bool TWaveTakeWriter::Write(const void *pcm, std::uint32_t length) noexcept
{
  if (FStopped != TCaptureEnd::None || !FFile)
    return false;

  const std::uint32_t room = FDataLimit - std::min(FDataBytes, FDataLimit);
  bool full = false;
  if (length > room) {
    // Keep whole frames only, so that the header's sizes stay a multiple of a frame.
    length = room - room % FFrameBytes;
    full = true;
  }

  if (length > 0 && !FFile->TryWrite(pcm, length)) {
    // Cut back to what was fully written, so that the header written at the finish
    // describes exactly the audio on disk.
    FFile->TryTruncate(kWaveHeaderSize + std::uint64_t{FDataBytes});
    FStopped = TCaptureEnd::WriteFailed;
    return false;
  }
  FDataBytes += length;

  if (full) {
    FStopped = TCaptureEnd::SizeLimit;
    return false;
  }
  return true;
}

bool TWaveTakeWriter::Finish() noexcept
{
  if (!FFile)
    return true;
  // The markers' chunks after the data, where the RIFF size can cover them.
  std::vector<std::uint8_t> cues;
  try {
    cues = BuildCueChunks(FMarkers);
  } catch (...) {
    cues.clear();
  }
  if (kWaveHeaderSize - 8 + std::uint64_t{FDataBytes} + cues.size() > 0xFFFFFFFFull)
    cues.clear();
  if (!cues.empty() && !FFile->TryWrite(cues.data(), cues.size())) {
    FFile->TryTruncate(kWaveHeaderSize + std::uint64_t{FDataBytes});
    cues.clear();
  }
  const TWaveHeader header =
      BuildWaveHeader(FDataBytes, FRate, FChannels, static_cast<std::uint32_t>(cues.size()));
  const bool written = FFile->TryWriteAt(0, header.data(), header.size());
  FFile.reset();
  FClaim.Release();
  return written;
}

void TWaveTakeWriter::Abandon() noexcept
{
  FFile.reset();
  std::error_code ec;
  std::filesystem::remove(FPath, ec);
  FClaim.Release();
}

} // namespace praatkist::audio
