#include "audio/layer/PlayStream.h"
#include "audio/layer/pulse/PulseShared.h"
#include "audio/layer/pulse/Streams.h"

#include <algorithm>
#include <atomic>

namespace praatkist::audio::pulse {

namespace {

class TPulsePlayback final : public IPlaybackSink {
public:
  TPulsePlayback(pa_threaded_mainloop *ml, TPlaybackOutput &output) : FMl(ml), FOut(output) {}
  ~TPulsePlayback() override;

  int Open(pa_context *ctx);
  bool Resume() override
  {
    TLoopLock lock(FMl);
    return FStream && pa_stream_get_state(FStream) == PA_STREAM_READY &&
           CorkAndWait(FMl, FStream, false);
  }
  void Pause() noexcept override
  {
    TLoopLock lock(FMl);
    if (FStream && pa_stream_get_state(FStream) == PA_STREAM_READY) {
      if (pa_operation *o = pa_stream_cork(FStream, 1, nullptr, nullptr))
        pa_operation_unref(o);
    }
  }
  // Written minus what pulse still holds.
  bool Heard(std::uint64_t &bytes) noexcept override
  {
    TLoopLock lock(FMl);
    pa_usec_t latency = 0;
    int negative = 0;
    if (!FStream || pa_stream_get_state(FStream) != PA_STREAM_READY ||
        pa_stream_get_latency(FStream, &latency, &negative) != 0)
      return false;
    const std::uint64_t written = FOut.Written.load();
    const std::uint64_t late = negative ? 0 : UsecToBytes(latency, FOut.Rate, FOut.FrameBytes);
    bytes = written - std::min(late, written);
    return true;
  }
  void Fed(bool atEnd) noexcept override
  {
    if (FStarved.exchange(false) || atEnd)
      PumpLocked();
  }

private:
  static void WriteCallback(pa_stream *, std::size_t nbytes, void *user) noexcept
  {
    static_cast<TPulsePlayback *>(user)->Pump(nbytes);
  }
  static void StateCallback(pa_stream *s, void *user) noexcept
  {
    auto *p = static_cast<TPulsePlayback *>(user);
    const pa_stream_state_t st = pa_stream_get_state(s);
    if (st == PA_STREAM_FAILED || st == PA_STREAM_TERMINATED)
      p->FOut.SetFailed();
    pa_threaded_mainloop_signal(p->FMl, 0);
  }
  static void DrainCallback(pa_stream *, int success, void *user) noexcept
  {
    auto *p = static_cast<TPulsePlayback *>(user);
    if (success)
      p->FOut.Finished.store(true);
    pa_threaded_mainloop_signal(p->FMl, 0);
  }
  void Pump(std::size_t want) noexcept;
  void PumpLocked() noexcept
  {
    TLoopLock lock(FMl);
    if (!FStream || pa_stream_get_state(FStream) != PA_STREAM_READY)
      return;
    const std::size_t want = pa_stream_writable_size(FStream);
    if (want != static_cast<std::size_t>(-1))
      Pump(want);
  }

  pa_threaded_mainloop *const FMl;
  TPlaybackOutput &FOut;
  pa_stream *FStream = nullptr;      // main loop lock
  pa_operation *FDrainOp = nullptr;  // main loop lock
  std::atomic<bool> FStarved{false}; // pulse wanted data the ring did not have
};

// Copies what the ring holds into pulse; with the main loop locked (pulse's write
// callback, or the reader thread after it found pulse starved).
void TPulsePlayback::Pump(std::size_t want) noexcept
{
  if (!FStream || pa_stream_get_state(FStream) != PA_STREAM_READY)
    return;
  const std::size_t frame = FOut.FrameBytes;
  while (want >= frame) {
    std::size_t n = std::min(want, FOut.Ring->ReadableBytes());
    n -= n % frame;
    if (n == 0)
      break;
    void *dst = nullptr;
    std::size_t room = n;
    if (pa_stream_begin_write(FStream, &dst, &room) < 0 || !dst)
      break;
    n = std::min(n, room);
    n -= n % frame;
    if (n == 0) {
      pa_stream_cancel_write(FStream);
      break;
    }
    FOut.Take(dst, n);
    if (pa_stream_write(FStream, dst, n, nullptr, 0, PA_SEEK_RELATIVE) < 0)
      break;
    want -= n;
  }
  FOut.ReaderWake.Wake();
  if (want >= frame && FOut.Ring->ReadableBytes() < frame) {
    if (!FOut.Eof.load())
      FStarved.store(true);
    else if (!FDrainOp)
      FDrainOp = pa_stream_drain(FStream, DrainCallback, this);
  }
}

int TPulsePlayback::Open(pa_context *ctx)
{
  if (FOut.Chans > PA_CHANNELS_MAX)
    return kErrFormat;
  const pa_sample_spec spec{PA_SAMPLE_S16LE, FOut.Rate, static_cast<std::uint8_t>(FOut.Chans)};
  if (!pa_sample_spec_valid(&spec))
    return kErrFormat;
  TLoopLock lock(FMl);
  pa_channel_map map;
  pa_channel_map_init_extend(&map, FOut.Chans, PA_CHANNEL_MAP_DEFAULT);
  pa_stream *s = pa_stream_new(ctx, "Weergave", &spec, &map);
  if (!s)
    return kErrFormat;
  FStream = s;
  pa_stream_set_state_callback(s, StateCallback, this);
  pa_stream_set_write_callback(s, WriteCallback, this);
  pa_buffer_attr attr;
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = MsToBytes(kPlaybackTargetMs, FOut.Rate, FOut.FrameBytes);
  attr.prebuf = attr.minreq = attr.fragsize = static_cast<std::uint32_t>(-1);
  const auto flags =
      static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                     PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
  if (pa_stream_connect_playback(s, nullptr, &attr, flags, nullptr, nullptr) < 0)
    return kErrDevice;
  WaitFor(FMl, [s] { return pa_stream_get_state(s) != PA_STREAM_CREATING; });
  if (pa_stream_get_state(s) != PA_STREAM_READY)
    return ContextReady(ctx) ? kErrDevice : kErrDriver;
  return kErrOk;
}

TPulsePlayback::~TPulsePlayback()
{
  TLoopLock lock(FMl);
  if (FDrainOp) {
    pa_operation_cancel(FDrainOp);
    pa_operation_unref(FDrainOp);
  }
  ReleaseStream(FStream);
}

} // namespace

std::unique_ptr<IPlaybackSink> OpenPlayback(TPulseConnection &conn, TPlaybackOutput &output,
                                            int &code)
{
  if (!conn.EnsureConnected()) {
    code = kErrDriver;
    return nullptr;
  }
  auto playback = std::make_unique<TPulsePlayback>(conn.Ml, output);
  code = playback->Open(conn.Ctx);
  if (code != kErrOk)
    return nullptr;
  return playback;
}

} // namespace praatkist::audio::pulse
