#include "audio/codec/DecodeStream.h"

namespace praatkist::audio {

double BytesToSeconds(IAudioLayer &layer, THandle stream, std::uint64_t bytes)
{
  if (bytes == kPositionError)
    return 0.0;
  const double seconds = layer.ChannelBytes2Seconds(stream, bytes);
  return seconds > 0.0 ? seconds : 0.0;
}

} // namespace praatkist::audio
