#include "audio/capture/Mp3TakeWriter.h"

#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <system_error>

namespace praatkist::audio {

// The take claims its name with a new file, which the encoder then opens as its own.
TMp3TakeWriter::TMp3TakeWriter(const std::filesystem::path &path, TPcmFormat format, int kbps,
                               std::string step)
    : FPath(path), FFormat(format), FKbps(kbps), FStep(std::move(step))
{
  platform::TWriteFile claim(path);
}

void TMp3TakeWriter::Begin()
{
  if (const int code = FEncoder.Open(FPath, FFormat.Rate, FFormat.Channels, FKbps); code != 0)
    throw EAudioError(FStep, code);
}

bool TMp3TakeWriter::Write(const void *pcm, std::uint32_t length) noexcept
{
  if (FStopped != TCaptureEnd::None)
    return false;
  if (!FEncoder.Encode(pcm, length)) {
    FStopped = TCaptureEnd::WriteFailed;
    return false;
  }
  FFrames += length / FFormat.FrameBytes();
  return true;
}

bool TMp3TakeWriter::Finish() noexcept
{
  return FEncoder.Finish();
}

void TMp3TakeWriter::Abandon() noexcept
{
  FEncoder.Finish();
  std::error_code ec;
  std::filesystem::remove(FPath, ec);
}

} // namespace praatkist::audio
