#pragma once
// What every part of the Linux audio layer shares: the main loop lock, waiting for the server's
// answers, and the layer's timing figures.

#include "audio/AudioLayer.h"
#include "audio/layer/LayerError.h"
#include "audio/layer/SoundSystem.h"

#include <pulse/pulseaudio.h>

#include <cstdint>

namespace praatkist::audio::pulse {

constexpr int kServerWaitMs = 5000;              // longest wait for an answer of the server
constexpr std::uint32_t kCaptureFragmentMs = 30; // pulse's capture fragment
constexpr std::uint32_t kPlaybackTargetMs = 100; // pulse's playback buffer

class TLoopLock {
public:
  explicit TLoopLock(pa_threaded_mainloop *ml) : FMl(ml) { pa_threaded_mainloop_lock(FMl); }
  ~TLoopLock() { pa_threaded_mainloop_unlock(FMl); }
  TLoopLock(const TLoopLock &) = delete;
  TLoopLock &operator=(const TLoopLock &) = delete;

private:
  pa_threaded_mainloop *FMl;
};

struct TTimeout {
  pa_threaded_mainloop *Ml = nullptr;
  bool Fired = false;
};

void TimeoutCallback(pa_mainloop_api *, pa_time_event *, const struct timeval *,
                     void *user) noexcept;

// Waits, with the main loop locked, until Done() holds or the server has been
// silent for kServerWaitMs. Every callback that changes what Done() looks at
// signals the main loop.
template <class TDone> bool WaitFor(pa_threaded_mainloop *ml, TDone done)
{
  if (done())
    return true;
  TTimeout timeout;
  timeout.Ml = ml;
  pa_mainloop_api *api = pa_threaded_mainloop_get_api(ml);
  struct timeval tv {};
  pa_gettimeofday(&tv);
  pa_timeval_add(&tv, static_cast<pa_usec_t>(kServerWaitMs) * PA_USEC_PER_MSEC);
  pa_time_event *ev = api->time_new(api, &tv, TimeoutCallback, &timeout);
  while (!done() && !timeout.Fired)
    pa_threaded_mainloop_wait(ml);
  if (ev)
    api->time_free(ev);
  return done();
}

// Waits for an operation and drops it; true when it completed.
bool WaitOperation(pa_threaded_mainloop *ml, pa_operation *op);

struct TSuccess {
  pa_threaded_mainloop *Ml = nullptr;
  int Result = 0;
};

void StreamSuccessCallback(pa_stream *, int success, void *user) noexcept;

// Detaches the callbacks from S (none runs while the main loop is locked), disconnects
// it and lets go of it; with the main loop locked.
void ReleaseStream(pa_stream *&s) noexcept;

// Corks or uncorks S and waits for the server's answer; with the main loop locked.
bool CorkAndWait(pa_threaded_mainloop *ml, pa_stream *s, bool cork);

inline bool ContextReady(pa_context *c)
{
  return c && pa_context_get_state(c) == PA_CONTEXT_READY;
}

} // namespace praatkist::audio::pulse
