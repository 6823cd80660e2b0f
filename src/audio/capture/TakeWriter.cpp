#include "audio/capture/TakeWriter.h"

#include "audio/capture/Mp3TakeWriter.h"
#include "audio/capture/WaveTakeWriter.h"

namespace praatkist::audio {

std::unique_ptr<ITakeWriter> CreateTakeWriter(TRecordingFormat format, int bitrate,
                                              std::uint32_t rate, std::uint16_t channels,
                                              const std::filesystem::path &path,
                                              const std::uint32_t &waveDataLimit)
{
  if (format == rfMP3)
    return std::make_unique<TMp3TakeWriter>(path, rate, channels, bitrate);
  return std::make_unique<TWaveTakeWriter>(path, rate, channels, waveDataLimit);
}

} // namespace praatkist::audio
