#include "audio/layer/CaptureChannel.h"
#include "audio/layer/pulse/PulseShared.h"
#include "audio/layer/pulse/Streams.h"

#include <algorithm>

namespace praatkist::audio::pulse {

namespace {

class TPulseCapture final : public ICaptureSource {
public:
  TPulseCapture(pa_threaded_mainloop *ml, TCaptureInput &input) : FMl(ml), FIn(input) {}
  ~TPulseCapture() override { Stop(); }

  int Open(pa_context *ctx, const std::string &source);
  // Uncorks the stream.
  bool Start() override
  {
    TLoopLock lock(FMl);
    return FStream && pa_stream_get_state(FStream) == PA_STREAM_READY &&
           CorkAndWait(FMl, FStream, false);
  }
  TDrainTiming DrainTiming() override
  {
    // What the source captured up to now is still in its buffer and on its way: as much
    // as the stream's latency, in whole fragments (two at least).
    TDrainTiming timing;
    timing.EarliestMs = 2 * kCaptureFragmentMs;
    TLoopLock lock(FMl);
    if (FStream && pa_stream_get_state(FStream) == PA_STREAM_READY) {
      TSuccess done;
      done.Ml = FMl;
      WaitOperation(FMl, pa_stream_update_timing_info(FStream, StreamSuccessCallback, &done));
      pa_usec_t latency = 0;
      int negative = 0;
      if (pa_stream_get_latency(FStream, &latency, &negative) == 0 && !negative)
        timing.LatencyUs = latency;
    }
    return timing;
  }
  void Stop() noexcept override
  {
    TLoopLock lock(FMl);
    ReleaseStream(FStream);
  }

private:
  static void ReadCallback(pa_stream *s, std::size_t, void *user) noexcept
  {
    auto *c = static_cast<TPulseCapture *>(user);
    for (;;) {
      const void *data = nullptr;
      std::size_t n = 0;
      if (pa_stream_peek(s, &data, &n) < 0 || n == 0)
        break;
      c->FIn.Push(data, n); // null: a hole, filled with silence
      pa_stream_drop(s);
    }
  }
  static void StateCallback(pa_stream *s, void *user) noexcept
  {
    auto *c = static_cast<TPulseCapture *>(user);
    const pa_stream_state_t st = pa_stream_get_state(s);
    if (st == PA_STREAM_FAILED || st == PA_STREAM_TERMINATED)
      c->FIn.End();
    pa_threaded_mainloop_signal(c->FMl, 0);
  }

  pa_threaded_mainloop *const FMl;
  TCaptureInput &FIn;
  pa_stream *FStream = nullptr; // main loop lock
};

int TPulseCapture::Open(pa_context *ctx, const std::string &source)
{
  TLoopLock lock(FMl);
  pa_sample_spec spec{PA_SAMPLE_S16LE, FIn.Rate, static_cast<std::uint8_t>(FIn.Chans)};
  pa_channel_map map;
  pa_channel_map_init_extend(&map, FIn.Chans, PA_CHANNEL_MAP_DEFAULT);
  pa_stream *s = pa_stream_new(ctx, "Opname", &spec, &map);
  if (!s)
    return kErrFormat;
  FStream = s;
  pa_stream_set_state_callback(s, StateCallback, this);
  pa_stream_set_read_callback(s, ReadCallback, this);
  pa_buffer_attr attr;
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
  attr.fragsize = MsToBytes(kCaptureFragmentMs, FIn.Rate, FIn.FrameBytes);
  // Corked until ChannelPlay; a vanished source ends the stream instead of moving it
  // silently to another one.
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE |
                                                    PA_STREAM_ADJUST_LATENCY);
  bool ok = pa_stream_connect_record(s, source.c_str(), &attr, flags) >= 0;
  if (ok) {
    WaitFor(FMl, [s] { return pa_stream_get_state(s) != PA_STREAM_CREATING; });
    ok = pa_stream_get_state(s) == PA_STREAM_READY;
  }
  return ok ? kErrOk : ContextReady(ctx) ? kErrDevice : kErrDriver;
}

} // namespace

std::unique_ptr<ICaptureSource> OpenCapture(TPulseConnection &conn, const std::string &source,
                                            TCaptureInput &input, int &code)
{
  if (!conn.EnsureConnected()) {
    code = kErrDriver;
    return nullptr;
  }
  auto capture = std::make_unique<TPulseCapture>(conn.Ml, input);
  code = capture->Open(conn.Ctx, source);
  if (code != kErrOk)
    return nullptr;
  return capture;
}

} // namespace praatkist::audio::pulse
