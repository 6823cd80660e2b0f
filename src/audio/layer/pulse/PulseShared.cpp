#include "audio/layer/pulse/PulseShared.h"

namespace praatkist::audio::pulse {

void TimeoutCallback(pa_mainloop_api *, pa_time_event *, const struct timeval *,
                     void *user) noexcept
{
  auto *t = static_cast<TTimeout *>(user);
  t->Fired = true;
  pa_threaded_mainloop_signal(t->Ml, 0);
}

bool WaitOperation(pa_threaded_mainloop *ml, pa_operation *op)
{
  if (!op)
    return false;
  const bool done =
      WaitFor(ml, [op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
  const bool ok = done && pa_operation_get_state(op) == PA_OPERATION_DONE;
  if (!done)
    pa_operation_cancel(op);
  pa_operation_unref(op);
  return ok;
}

void StreamSuccessCallback(pa_stream *, int success, void *user) noexcept
{
  auto *s = static_cast<TSuccess *>(user);
  s->Result = success;
  pa_threaded_mainloop_signal(s->Ml, 0);
}

void ReleaseStream(pa_stream *&s) noexcept
{
  if (!s)
    return;
  pa_stream_set_read_callback(s, nullptr, nullptr);
  pa_stream_set_write_callback(s, nullptr, nullptr);
  pa_stream_set_state_callback(s, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
    pa_stream_disconnect(s);
  pa_stream_unref(s);
  s = nullptr;
}

bool CorkAndWait(pa_threaded_mainloop *ml, pa_stream *s, bool cork)
{
  TSuccess result;
  result.Ml = ml;
  return WaitOperation(ml, pa_stream_cork(s, cork ? 1 : 0, StreamSuccessCallback, &result)) &&
         result.Result;
}

} // namespace praatkist::audio::pulse
