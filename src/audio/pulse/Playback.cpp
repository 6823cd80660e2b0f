#include "audio/pulse/Playback.h"

#include "audio/pulse/Connection.h"
#include "audio/pulse/PulseShared.h"

#include <algorithm>
#include <cmath>

namespace praatkist::audio::pulse {

namespace {

void PlayDrainCallback(pa_stream *, int success, void *user) noexcept
{
  auto *p = static_cast<TPlayStream *>(user);
  if (success)
    p->Finished.store(true);
  pa_threaded_mainloop_signal(p->Ml, 0);
}

void PlayWriteCallback(pa_stream *, std::size_t nbytes, void *user) noexcept
{
  static_cast<TPlayStream *>(user)->Pump(nbytes);
}

void PlayStateCallback(pa_stream *s, void *user) noexcept
{
  auto *p = static_cast<TPlayStream *>(user);
  const pa_stream_state_t st = pa_stream_get_state(s);
  if (st == PA_STREAM_FAILED || st == PA_STREAM_TERMINATED) {
    p->Failed.store(true);
    p->ReaderWake.Wake();
  }
  pa_threaded_mainloop_signal(p->Ml, 0);
}

} // namespace

// Copies what the ring holds into pulse; with the main loop locked (pulse's
// write callback, or the reader thread after it found pulse starved).
void TPlayStream::Pump(std::size_t want) noexcept
{
  if (!Stream || pa_stream_get_state(Stream) != PA_STREAM_READY)
    return;
  while (want >= FrameBytes) {
    std::size_t n = std::min(want, Ring->ReadableBytes());
    n -= n % FrameBytes;
    if (n == 0)
      break;
    void *dst = nullptr;
    std::size_t room = n;
    if (pa_stream_begin_write(Stream, &dst, &room) < 0 || !dst)
      break;
    n = std::min(n, room);
    n -= n % FrameBytes;
    if (n == 0) {
      pa_stream_cancel_write(Stream);
      break;
    }
    Ring->Read(dst, n);
    if (pa_stream_write(Stream, dst, n, nullptr, 0, PA_SEEK_RELATIVE) < 0)
      break;
    Written.fetch_add(n);
    want -= n;
  }
  ReaderWake.Wake();
  if (want >= FrameBytes && Ring->ReadableBytes() < FrameBytes) {
    if (Eof.load()) {
      if (!DrainOp)
        DrainOp = pa_stream_drain(Stream, PlayDrainCallback, this);
    } else {
      Starved.store(true);
    }
  }
}

void TPlayStream::PumpLocked() noexcept
{
  TLoopLock lock(Ml);
  if (!Stream || pa_stream_get_state(Stream) != PA_STREAM_READY)
    return;
  const std::size_t want = pa_stream_writable_size(Stream);
  if (want != static_cast<std::size_t>(-1))
    Pump(want);
}

void TPlayStream::RecordLevels(const std::int16_t *s, std::size_t frames) noexcept
{
  for (std::size_t i = 0; i < frames; ++i, s += Chans, ++ReaderFrame) {
    if (ReaderFrame % kLevelBlockFrames == 0)
      BlockPeak = 0;
    const std::uint32_t l = static_cast<std::uint32_t>(std::abs(static_cast<int>(s[0])));
    const std::uint32_t r =
        Chans > 1 ? static_cast<std::uint32_t>(std::abs(static_cast<int>(s[1]))) : l;
    const std::uint32_t bl = std::max(BlockPeak >> 16, l);
    const std::uint32_t br = std::max(BlockPeak & 0xFFFFu, r);
    BlockPeak = (bl << 16) | br;
    if ((ReaderFrame + 1) % kLevelBlockFrames == 0 || i + 1 == frames)
      Levels[(ReaderFrame / kLevelBlockFrames) % kLevelBlocks].store(BlockPeak,
                                                                     std::memory_order_relaxed);
  }
}

void TPlayStream::ReaderLoop() noexcept
{
  const std::size_t bufFrames = ReadBuf.size() / Chans;
  const std::size_t minFrames = std::min(bufFrames, Ring->Capacity() / FrameBytes / 4);
  for (;;) {
    const std::uint32_t seen = ReaderWake.Snapshot();
    if (ReaderStop.load() || Failed.load())
      return;
    const std::size_t space = Ring->FreeBytes() / FrameBytes;
    if (space >= minFrames) {
      const std::size_t got = Dec.ReadFrames(ReadBuf.data(), std::min(space, bufFrames));
      if (got == 0) {
        Eof.store(true);
        PumpLocked();
        return;
      }
      RecordLevels(ReadBuf.data(), got);
      Ring->Write(ReadBuf.data(), got * FrameBytes);
      if (Starved.exchange(false))
        PumpLocked();
      continue;
    }
    ReaderWake.Wait(seen, 50);
  }
}

void TPlayStream::StopReader() noexcept
{
  ReaderStop.store(true);
  ReaderWake.Wake();
  if (Reader.joinable())
    Reader.join();
}

void TPlayStream::Disconnect() noexcept
{
  if (!Ml)
    return;
  TLoopLock lock(Ml);
  if (DrainOp) {
    pa_operation_cancel(DrainOp);
    pa_operation_unref(DrainOp);
    DrainOp = nullptr;
  }
  if (Stream) {
    pa_stream_set_write_callback(Stream, nullptr, nullptr);
    pa_stream_set_state_callback(Stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(Stream)))
      pa_stream_disconnect(Stream);
    pa_stream_unref(Stream);
    Stream = nullptr;
  }
}

TPlayStream::~TPlayStream()
{
  StopReader();
  Disconnect();
}

int TPlayStream::Open(const std::filesystem::path &file, std::mutex &api, TPulseConnection &conn)
{
  const int code = Dec.Open(file);
  if (code != kErrOk)
    return code;
  if (Dec.Chans() > PA_CHANNELS_MAX)
    return kErrFormat;
  Rate = Dec.Rate();
  Chans = Dec.Chans();
  FrameBytes = Dec.FrameBytes();
  LengthBytes = Dec.Frames() * FrameBytes;
  Spec = pa_sample_spec{PA_SAMPLE_S16LE, Rate, static_cast<std::uint8_t>(Chans)};
  if (!pa_sample_spec_valid(&Spec))
    return kErrFormat;
  Ring = std::make_unique<TSpscByteRing>(
      static_cast<std::size_t>(UsecToBytes(kPlaybackRingMs * 1000ull, Rate, FrameBytes)));
  ReadBuf.assign(std::size_t{4096} * Chans, 0);
  Levels = std::make_unique<std::atomic<std::uint32_t>[]>(kLevelBlocks);
  std::lock_guard op(OpMutex);
  const int started = Start(0, api, conn);
  if (started != kErrOk) {
    StopReader();
    Disconnect();
  }
  return started;
}

int TPlayStream::Start(std::uint64_t startFrame, std::mutex &api, TPulseConnection &conn)
{
  StopReader();
  Disconnect();
  if (!Dec.Seek(startFrame))
    return kErrPosition;
  Ring->Reset();
  ReaderFrame = startFrame;
  BlockPeak = 0;
  ReaderStop.store(false);
  Eof.store(false);
  Starved.store(false);
  Finished.store(false);
  Failed.store(false);
  Playing.store(false);
  BaseBytes.store(startFrame * FrameBytes);
  Written.store(0);
  LastPosition.store(startFrame * FrameBytes);

  std::lock_guard lock(api);
  if (!conn.EnsureConnected())
    return kErrDriver;
  Ml = conn.Ml;
  {
    TLoopLock ml(Ml);
    pa_channel_map map;
    pa_channel_map_init_extend(&map, Chans, PA_CHANNEL_MAP_DEFAULT);
    pa_stream *s = pa_stream_new(conn.Ctx, "Weergave", &Spec, &map);
    if (!s)
      return kErrFormat;
    Stream = s;
    pa_stream_set_state_callback(s, PlayStateCallback, this);
    pa_stream_set_write_callback(s, PlayWriteCallback, this);
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = UsecToBytes(kPlaybackTargetMs * 1000ull, Rate, FrameBytes);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                       PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(s, nullptr, &attr, flags, nullptr, nullptr) < 0)
      return kErrDevice;
    WaitFor(Ml, [s] { return pa_stream_get_state(s) != PA_STREAM_CREATING; });
    if (pa_stream_get_state(s) != PA_STREAM_READY)
      return ContextReady(conn.Ctx) ? kErrDevice : kErrDriver;
  }
  try {
    Reader = std::thread([this] { ReaderLoop(); });
  } catch (...) {
    return kErrUnknown;
  }
  return kErrOk;
}

void TPlayStream::Free() noexcept
{
  std::lock_guard lock(OpMutex);
  StopReader();
  Disconnect();
  Playing.store(false);
  Dec.Close();
}

// What has been heard: written minus what pulse still holds, never more than
// the time since ChannelPlay allows (pulse's first timing answers after an
// uncork can run ahead by tens of milliseconds), never going back. With
// OpMutex held.
std::uint64_t TPlayStream::PlayedBytes() noexcept
{
  std::uint64_t pos = LastPosition.load();
  if (Finished.load()) {
    pos = BaseBytes.load() + Written.load();
  } else if (Playing.load() && !Failed.load() && Ml) {
    const auto since = std::chrono::steady_clock::now() - UncorkedAt;
    const std::uint64_t bound =
        PosAtUncork +
        UsecToBytes(static_cast<std::uint64_t>(
                        std::chrono::duration_cast<std::chrono::microseconds>(since).count()),
                    Rate, FrameBytes);
    TLoopLock lock(Ml);
    pa_usec_t latency = 0;
    int negative = 0;
    if (Stream && pa_stream_get_state(Stream) == PA_STREAM_READY &&
        pa_stream_get_latency(Stream, &latency, &negative) == 0) {
      const std::uint64_t written = Written.load();
      std::uint64_t late = negative ? 0 : UsecToBytes(latency, Rate, FrameBytes);
      if (late > written)
        late = written;
      // The clock may step back by a few frames between two timing updates.
      pos = std::max(pos, std::min(bound, BaseBytes.load() + written - late));
    }
  }
  pos = std::min(pos, LengthBytes);
  LastPosition.store(pos);
  return pos;
}

bool TPlayStream::Play(bool restart, std::mutex &api, TPulseConnection &conn)
{
  std::lock_guard op(OpMutex);
  if (!Stream && !Failed.load())
    return Fail(kErrHandle);
  const bool rebuild = Failed.load() || Finished.load() || (restart && EverStarted);
  if (rebuild) {
    const std::uint64_t from = restart || Finished.load() ? 0 : LastPosition.load() / FrameBytes;
    const int code = Start(from, api, conn);
    if (code != kErrOk)
      return Fail(code);
  }
  TLoopLock ml(Ml);
  if (!Stream || pa_stream_get_state(Stream) != PA_STREAM_READY)
    return Fail(kErrEnded);
  if (!CorkAndWait(Ml, Stream, false))
    return Fail(kErrEnded);
  EverStarted = true;
  PosAtUncork = LastPosition.load();
  UncorkedAt = std::chrono::steady_clock::now();
  Playing.store(true);
  return Succeed(), true;
}

void TPlayStream::Stop()
{
  std::lock_guard op(OpMutex);
  PlayedBytes(); // the position stays where it was stopped
  Playing.store(false);
  if (Ml) {
    TLoopLock ml(Ml);
    if (Stream && pa_stream_get_state(Stream) == PA_STREAM_READY) {
      if (pa_operation *o = pa_stream_cork(Stream, 1, nullptr, nullptr))
        pa_operation_unref(o);
    }
  }
  Succeed();
}

bool TPlayStream::SetPosition(std::uint64_t bytes, std::mutex &api, TPulseConnection &conn)
{
  std::lock_guard op(OpMutex);
  const std::uint64_t frame = bytes / FrameBytes;
  if (frame * FrameBytes > LengthBytes)
    return Fail(kErrPosition);
  const bool wasPlaying = Playing.load() && !Finished.load() && !Failed.load();
  const int code = Start(frame, api, conn);
  if (code != kErrOk)
    return Fail(code);
  if (wasPlaying) {
    TLoopLock ml(Ml);
    TSuccess result;
    result.Ml = Ml;
    if (!WaitOperation(Ml, pa_stream_cork(Stream, 0, StreamSuccessCallback, &result)))
      return Fail(kErrEnded);
    PosAtUncork = LastPosition.load();
    UncorkedAt = std::chrono::steady_clock::now();
    Playing.store(true);
  }
  return Succeed(), true;
}

std::uint64_t TPlayStream::Position()
{
  std::lock_guard op(OpMutex);
  return Succeed(), PlayedBytes();
}

bool TPlayStream::Level(float levels[2], float seconds)
{
  if (!(seconds > 0.0f) || seconds > 1.0f)
    return Fail(kErrIllegalParam);
  std::lock_guard op(OpMutex);
  if (!Playing.load() || Finished.load() || Failed.load())
    return Fail(kErrNotAvailable);
  const std::uint64_t pos = PlayedBytes() / FrameBytes;
  const std::uint64_t span = std::max<std::uint64_t>(
      1, static_cast<std::uint64_t>(std::lround(seconds * static_cast<float>(Rate))));
  const std::uint64_t from = pos > span ? pos - span : 0;
  std::uint32_t left = 0, right = 0;
  if (pos > from) {
    for (std::uint64_t b = from / kLevelBlockFrames; b <= (pos - 1) / kLevelBlockFrames; ++b) {
      const std::uint32_t v = Levels[b % kLevelBlocks].load(std::memory_order_relaxed);
      left = std::max(left, v >> 16);
      right = std::max(right, v & 0xFFFFu);
    }
  }
  levels[0] = std::min(1.0f, static_cast<float>(left) / 32768.0f);
  levels[1] = std::min(1.0f, static_cast<float>(right) / 32768.0f);
  return Succeed(), true;
}

} // namespace praatkist::audio::pulse
