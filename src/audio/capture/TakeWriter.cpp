#include "audio/capture/TakeWriter.h"

#include "audio/capture/Mp3TakeWriter.h"
#include "audio/capture/WaveTakeWriter.h"

namespace praatkist::audio {

std::unique_ptr<ITakeWriter> CreateTakeWriter(TRecordingFormat format, int bitrate, TPcmFormat pcm,
                                              const std::filesystem::path &path,
                                              std::uint32_t waveDataLimit)
{
  if (format == rfMP3)
    return std::make_unique<TMp3TakeWriter>(path, pcm, bitrate);
  return std::make_unique<TWaveTakeWriter>(path, pcm, waveDataLimit);
}

} // namespace praatkist::audio
