#include "audio/AudioErrors.h"

#include "platform/Errors.h"

namespace praatkist {

void CheckBass(audio::IAudioLayer &layer, bool ok, const char *step)
{
  if (!ok)
    throw EAudioError(step, layer.ErrorGetCode());
}

} // namespace praatkist
