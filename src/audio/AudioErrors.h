#pragma once
// How a failed call into the audio layer reaches the user: as the error
// "<Step> mislukt (BASS-fout <code>)." with the layer's code of the failure.

#include "audio/AudioLayer.h"

namespace praatkist {

// Raises EAudioError with the step's Dutch name and the layer's error code when Ok is
// false.
void CheckBass(audio::IAudioLayer &layer, bool ok, const char *step);

} // namespace praatkist
