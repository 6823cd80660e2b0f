#include "audio/pulse/CaptureThread.h"

#include "audio/pulse/PulseShared.h"

#include <algorithm>
#include <chrono>

namespace praatkist::audio::pulse {

namespace {

void CaptureReadCallback(pa_stream *s, std::size_t, void *user) noexcept
{
  auto *c = static_cast<TCapture *>(user);
  for (;;) {
    const void *data = nullptr;
    std::size_t n = 0;
    if (pa_stream_peek(s, &data, &n) < 0 || n == 0)
      break;
    if (c->Started.load(std::memory_order_relaxed) && !c->Closing.load(std::memory_order_relaxed) &&
        !c->StopRequested.load(std::memory_order_relaxed)) {
      c->Received.fetch_add(n, std::memory_order_relaxed);
      const auto *p = static_cast<const std::uint8_t *>(data); // null: a hole, filled with silence
      std::size_t left = n;
      while (left > 0) {
        const std::size_t part = left < c->MaxChunk ? left : c->MaxChunk;
        // The record after a lost one is marked, so that the capture thread
        // never joins the two sides of a gap into one buffer.
        if (c->Ring->WriteRecord(p, static_cast<std::uint32_t>(part), c->GapPending)) {
          c->GapPending = false;
        } else {
          c->GapPending = true;
          c->Dropped.fetch_add(1, std::memory_order_relaxed);
        }
        if (p)
          p += part;
        left -= part;
      }
    }
    pa_stream_drop(s);
  }
  c->Wake.Wake();
}

void CaptureStateCallback(pa_stream *s, void *user) noexcept
{
  auto *c = static_cast<TCapture *>(user);
  const pa_stream_state_t st = pa_stream_get_state(s);
  if (st == PA_STREAM_FAILED || st == PA_STREAM_TERMINATED) {
    c->Ended.store(true);
    c->Wake.Wake();
  }
  pa_threaded_mainloop_signal(c->Ml, 0);
}

// Detaches our callbacks, disconnects and lets go of a record stream; under the loop's
// lock.
void ReleaseStream(pa_stream *&s) noexcept
{
  pa_stream_set_read_callback(s, nullptr, nullptr);
  pa_stream_set_state_callback(s, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
    pa_stream_disconnect(s);
  pa_stream_unref(s);
  s = nullptr;
}

} // namespace

int TCapture::Open(pa_threaded_mainloop *ml, pa_context *ctx, const std::string &source)
{
  Ml = ml;
  FrameBytes = Chans * 2;
  MaxChunk = std::max(FrameBytes, UsecToBytes(kCaptureChunkMs * 1000ull, Rate, FrameBytes));
  TargetChunk = std::min(MaxChunk, UsecToBytes(kCaptureTargetMs * 1000ull, Rate, FrameBytes));
  Ring = std::make_unique<TSpscByteRing>(
      static_cast<std::size_t>(UsecToBytes(kCaptureRingMs * 1000ull, Rate, FrameBytes)));
  Buffer.assign(MaxChunk, 0);

  {
    TLoopLock lock(Ml);
    pa_sample_spec spec{PA_SAMPLE_S16LE, Rate, static_cast<std::uint8_t>(Chans)};
    pa_channel_map map;
    pa_channel_map_init_extend(&map, Chans, PA_CHANNEL_MAP_DEFAULT);
    pa_stream *s = pa_stream_new(ctx, "Opname", &spec, &map);
    if (!s)
      return kErrFormat;
    Stream = s;
    pa_stream_set_state_callback(s, CaptureStateCallback, this);
    pa_stream_set_read_callback(s, CaptureReadCallback, this);
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = UsecToBytes(kCaptureFragmentMs * 1000ull, Rate, FrameBytes);
    // Corked until ChannelPlay; a vanished source ends the stream instead of
    // moving it silently to another one.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE |
                                                      PA_STREAM_ADJUST_LATENCY);
    bool ok = pa_stream_connect_record(s, source.c_str(), &attr, flags) >= 0;
    if (ok) {
      WaitFor(Ml, [s] { return pa_stream_get_state(s) != PA_STREAM_CREATING; });
      ok = pa_stream_get_state(s) == PA_STREAM_READY;
    }
    if (!ok) {
      const int code = ContextReady(ctx) ? kErrDevice : kErrDriver;
      ReleaseStream(Stream);
      return code;
    }
  }
  std::lock_guard tl(ThreadMutex);
  Thread = std::thread([this] { Loop(); });
  ThreadId = Thread.get_id();
  return kErrOk;
}

bool TCapture::Play()
{
  if (Ended.load())
    return Fail(kErrEnded);
  if (Started.load())
    return Succeed(), true;
  TLoopLock lock(Ml);
  if (!Stream || pa_stream_get_state(Stream) != PA_STREAM_READY)
    return Fail(kErrEnded);
  Started.store(true);
  if (!CorkAndWait(Ml, Stream, false)) {
    Started.store(false);
    return Fail(kErrEnded);
  }
  return Succeed(), true;
}

// Gathers the pulse fragments into buffers of kCaptureTargetMs to kCaptureChunkMs
// (a monitor of a busy sink hands out 10 ms pieces) and hands them on in order.
// Where captured audio was lost (the record callback fell behind by more than the
// ring holds), it hands on what came before and ends the channel: a take never
// gets a hole that nobody knows of.
void TCapture::Loop() noexcept
{
  std::size_t filled = 0;
  auto firstAt = std::chrono::steady_clock::now();
  auto deliver = [&]() noexcept {
    const auto n = static_cast<std::uint32_t>(filled);
    filled = 0;
    if (n == 0)
      return true;
    Feed(Buffer.data(), n);
    Delivered.fetch_add(n);
    if (n > Largest.load(std::memory_order_relaxed))
      Largest.store(n, std::memory_order_relaxed);
    if (!Proc(Handle, Buffer.data(), n, User)) {
      Ended.store(true);
      StopRequested.store(true);
      return false;
    }
    return true;
  };
  auto endAtLoss = [&]() noexcept {
    if (deliver()) {
      DataLost.store(true);
      StopRequested.store(true);
      Ended.store(true);
    }
  };
  for (;;) {
    const std::uint32_t seen = Wake.Snapshot();
    if (StopRequested.load())
      break;
    bool afterGap = false;
    const std::uint32_t next = Ring->NextRecordSize(&afterGap);
    if (next > 0 && afterGap) {
      endAtLoss();
      break;
    }
    if (next > 0 && filled + next <= Buffer.size()) {
      if (filled == 0)
        firstAt = std::chrono::steady_clock::now();
      filled += Ring->ReadRecord(Buffer.data() + filled, Buffer.size() - filled);
      if (filled >= TargetChunk && !deliver())
        break;
      continue;
    }
    if (next > 0) { // does not fit: hand on what is there first
      if (!deliver())
        break;
      continue;
    }
    if (Dropped.load() > 0) { // the loss follows the last record
      endAtLoss();
      break;
    }
    const bool ended = Ended.load() || Draining.load();
    if (filled > 0 && (ended || std::chrono::steady_clock::now() - firstAt >=
                                    std::chrono::milliseconds(kCaptureChunkMs))) {
      if (!deliver())
        break;
      continue;
    }
    if (ended)
      break; // the stream is gone or stopped, and everything it gave has been handed on
    Wake.Wait(seen, filled > 0 ? 10 : 200);
  }
  StopEncoders(true);
}

void TCapture::Drain() noexcept
{
  if (!Ml || std::this_thread::get_id() == ThreadId)
    return; // a record callback that stops its own channel takes nothing more
  using std::chrono::milliseconds;
  if (Started.load() && !Ended.load()) {
    // What the source captured up to now is still in its buffer and on its way:
    // as much as the stream's latency. Wait until that much more has come in
    // (two fragments at least, since pulse hands over whole fragments).
    const auto t0 = std::chrono::steady_clock::now();
    pa_usec_t latency = 0;
    std::uint64_t target = 0;
    {
      TLoopLock lock(Ml);
      if (Stream && pa_stream_get_state(Stream) == PA_STREAM_READY) {
        TSuccess done;
        done.Ml = Ml;
        WaitOperation(Ml, pa_stream_update_timing_info(Stream, StreamSuccessCallback, &done));
        int negative = 0;
        if (pa_stream_get_latency(Stream, &latency, &negative) != 0 || negative)
          latency = 0;
      }
      latency = std::min<pa_usec_t>(latency, 500 * PA_USEC_PER_MSEC);
      target = Received.load() + UsecToBytes(latency, Rate, FrameBytes);
    }
    const auto earliest = t0 + 2 * milliseconds(kCaptureFragmentMs);
    const auto deadline = earliest + std::chrono::microseconds(latency);
    while (!Ended.load()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline || (now >= earliest && Received.load() >= target))
        break;
      std::this_thread::sleep_for(milliseconds(5));
    }
  }
  {
    TLoopLock lock(Ml); // no read callback runs meanwhile
    Closing.store(true);
  }
  Draining.store(true);
  Wake.Wake();
  std::lock_guard lock(ThreadMutex);
  if (Thread.joinable())
    Thread.join();
}

void TCapture::Shut() noexcept
{
  StopRequested.store(true);
  Ended.store(true);
  Wake.Wake();
  {
    std::lock_guard lock(ThreadMutex);
    // A record callback that stops its own channel cannot wait for itself; its
    // thread ends as soon as the callback returns.
    if (Thread.joinable() && std::this_thread::get_id() != ThreadId)
      Thread.join();
  }
  if (Ml) {
    TLoopLock lock(Ml);
    if (Stream) {
      ReleaseStream(Stream);
    }
  }
}

TCapture::~TCapture()
{
  Shut();
  if (Thread.joinable())
    Thread.detach(); // only a callback that freed its own layer gets here
}

} // namespace praatkist::audio::pulse
