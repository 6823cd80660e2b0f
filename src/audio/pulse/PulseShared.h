#pragma once
// What every part of the Linux audio layer shares: the main loop lock, waiting for the server's
// answers, and the layer's timing figures.

#include "audio/AudioLayer.h"
#include "audio/LayerError.h"

#include <pulse/pulseaudio.h>

#include <cstdint>

namespace praatkist::audio::pulse {

constexpr int kServerWaitMs = 5000;              // longest wait for an answer of the server
constexpr std::uint32_t kCaptureFragmentMs = 30; // pulse's capture fragment
constexpr std::uint32_t kCaptureTargetMs = 30;   // buffers handed to the record callback:
constexpr std::uint32_t kCaptureChunkMs =
    50; // at least this long (unless data pause), at most this
constexpr std::uint32_t kCaptureRingMs = 4000;   // what the capture thread may fall behind
constexpr std::uint32_t kPlaybackTargetMs = 100; // pulse's playback buffer
constexpr std::uint32_t kPlaybackRingMs = 500;   // decoded ahead of pulse
constexpr std::uint32_t kLevelBlockFrames = 128;
constexpr std::size_t kLevelBlocks = std::size_t{1} << 15; // about 80 s at 48 kHz

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

// Corks or uncorks S and waits for the server's answer; with the main loop locked.
bool CorkAndWait(pa_threaded_mainloop *ml, pa_stream *s, bool cork);

inline std::uint32_t UsecToBytes(std::uint64_t usec, std::uint32_t rate, std::uint32_t frameBytes)
{
  return static_cast<std::uint32_t>(usec * rate / 1000000u) * frameBytes;
}

inline bool ContextReady(pa_context *c)
{
  return c && pa_context_get_state(c) == PA_CONTEXT_READY;
}

} // namespace praatkist::audio::pulse
