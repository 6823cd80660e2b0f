#include "platform/Errors.h"

namespace praatkist {

EAudioError::EAudioError(const std::string &step, int code)
    : EPraatkistError(step + " mislukt (BASS-fout " + std::to_string(code) + ")."), FStep(step),
      FCode(code)
{
}

} // namespace praatkist
