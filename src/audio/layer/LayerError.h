#pragma once
// The error code of the audio layer's last call on the calling thread (ErrorGetCode),
// and the one guard every call of the layer runs in: no exception leaves the layer.

#include "audio/AudioLayer.h"

#include <new>

namespace praatkist::audio {

inline thread_local int tLastError = kErrOk;

inline int LastError() noexcept
{
  return tLastError;
}

inline bool Fail(int code) noexcept // always false
{
  tLastError = code;
  return false;
}

inline void Succeed() noexcept
{
  tLastError = kErrOk;
}

// Runs Call and returns what it returns; an exception leaving it becomes the error code
// kErrMemory (out of memory) or kErrUnknown, and the call answers Failed.
template <class T, class TCall> T Guarded(T failed, TCall &&call) noexcept
{
  try {
    return call();
  } catch (const std::bad_alloc &) {
    Fail(kErrMemory);
  } catch (...) {
    Fail(kErrUnknown);
  }
  return failed;
}

template <class TCall> void Guarded(TCall &&call) noexcept
{
  Guarded(0, [&] {
    call();
    return 0;
  });
}

} // namespace praatkist::audio
