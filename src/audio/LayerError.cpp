#include "audio/LayerError.h"

#include "audio/AudioLayer.h"

namespace praatkist::audio {

namespace {
thread_local int tLastError = kErrOk;
} // namespace

int LastError() noexcept
{
  return tLastError;
}

bool Fail(int code) noexcept
{
  tLastError = code;
  return false;
}

void Succeed() noexcept
{
  tLastError = kErrOk;
}

} // namespace praatkist::audio
