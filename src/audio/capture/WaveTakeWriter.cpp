#include "audio/capture/WaveTakeWriter.h"

namespace praatkist::audio {

TWaveTakeWriter::TWaveTakeWriter(const std::filesystem::path &path, TPcmFormat format,
                                 std::uint32_t dataLimit)
    : FWave(path, format, nullptr, dataLimit)
{
}

bool TWaveTakeWriter::Write(const void *pcm, std::uint32_t length) noexcept
{
  if (FStopped != TCaptureEnd::None || FDone)
    return false;
  switch (FWave.TryAppend(pcm, length)) {
  case TWaveWriter::waWritten:
    return true;
  case TWaveWriter::waFull:
    FStopped = TCaptureEnd::SizeLimit;
    return false;
  case TWaveWriter::waFailed:
    break;
  }
  FStopped = TCaptureEnd::WriteFailed;
  return false;
}

bool TWaveTakeWriter::Finish() noexcept
{
  if (FDone)
    return true;
  FDone = true;
  const bool written = FWave.TryFinish(FMarkers);
  FWave.Close();
  return written;
}

} // namespace praatkist::audio
