#include "audio/PulseAudioLayer.h"

#include "audio/Mp3Encoder.h"
#include "audio/SndfileDecoder.h"
#include "audio/SpscRing.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace praatkist::audio {

namespace {

thread_local int tLastError = kErrOk;

bool Fail(int code) noexcept {
  tLastError = code;
  return false;
}
void Succeed() noexcept {
  tLastError = kErrOk;
}

constexpr int kServerWaitMs = 5000;             // longest wait for an answer of the server
constexpr std::uint32_t kCaptureFragmentMs = 30; // pulse's capture fragment
constexpr std::uint32_t kCaptureTargetMs = 30;   // buffers handed to the record callback:
constexpr std::uint32_t kCaptureChunkMs = 50;    // at least this long (unless data pause), at most this
constexpr std::uint32_t kCaptureRingMs = 4000;   // what the capture thread may fall behind
constexpr std::uint32_t kPlaybackTargetMs = 100; // pulse's playback buffer
constexpr std::uint32_t kPlaybackRingMs = 500;   // decoded ahead of pulse
constexpr std::uint32_t kLevelBlockFrames = 128;
constexpr std::size_t kLevelBlocks = std::size_t{1} << 15;  // about 80 s at 48 kHz

class TLoopLock {
public:
  explicit TLoopLock(pa_threaded_mainloop* ml) : FMl(ml) { pa_threaded_mainloop_lock(FMl); }
  ~TLoopLock() { pa_threaded_mainloop_unlock(FMl); }
  TLoopLock(const TLoopLock&) = delete;
  TLoopLock& operator=(const TLoopLock&) = delete;

private:
  pa_threaded_mainloop* FMl;
};

struct TTimeout {
  pa_threaded_mainloop* Ml = nullptr;
  bool Fired = false;
};

void TimeoutCallback(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* user) noexcept {
  auto* t = static_cast<TTimeout*>(user);
  t->Fired = true;
  pa_threaded_mainloop_signal(t->Ml, 0);
}

// Waits, with the main loop locked, until Done() holds or the server has been
// silent for kServerWaitMs. Every callback that changes what Done() looks at
// signals the main loop.
template <class TDone>
bool WaitFor(pa_threaded_mainloop* ml, TDone done) {
  if (done())
    return true;
  TTimeout timeout;
  timeout.Ml = ml;
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(ml);
  struct timeval tv {};
  pa_gettimeofday(&tv);
  pa_timeval_add(&tv, static_cast<pa_usec_t>(kServerWaitMs) * PA_USEC_PER_MSEC);
  pa_time_event* ev = api->time_new(api, &tv, TimeoutCallback, &timeout);
  while (!done() && !timeout.Fired)
    pa_threaded_mainloop_wait(ml);
  if (ev)
    api->time_free(ev);
  return done();
}

// Waits for an operation and drops it; true when it completed.
bool WaitOperation(pa_threaded_mainloop* ml, pa_operation* op) {
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

struct TSuccess {
  pa_threaded_mainloop* Ml = nullptr;
  int Result = 0;
};

void StreamSuccessCallback(pa_stream*, int success, void* user) noexcept {
  auto* s = static_cast<TSuccess*>(user);
  s->Result = success;
  pa_threaded_mainloop_signal(s->Ml, 0);
}

std::uint32_t UsecToBytes(std::uint64_t usec, std::uint32_t rate, std::uint32_t frameBytes) {
  return static_cast<std::uint32_t>(usec * rate / 1000000u) * frameBytes;
}

// ---- encoders ----------------------------------------------------------------

struct TEncoderEntry {
  std::mutex M;
  TMp3Encoder Enc;
  bool AutoFree = false;
  std::atomic<bool> Active{false};

  void Feed(const void* data, std::size_t bytes) noexcept {
    std::lock_guard lock(M);
    if (Active.load() && !Enc.Encode(data, bytes))
      Active.store(false);
  }
  void Stop() noexcept {
    std::lock_guard lock(M);
    Enc.Finish();
    Active.store(false);
  }
};

// Something an encoder can sit on: a capture channel or a decoding stream.
struct TEncodeTarget {
  std::mutex EncMutex;
  std::vector<std::shared_ptr<TEncoderEntry>> Encoders;

  void Attach(const std::shared_ptr<TEncoderEntry>& e) {
    std::lock_guard lock(EncMutex);
    std::erase_if(Encoders, [](const auto& x) { return !x->Active.load(); });
    Encoders.push_back(e);
  }
  void Feed(const void* data, std::size_t bytes) noexcept {
    std::lock_guard lock(EncMutex);
    for (auto& e : Encoders)
      e->Feed(data, bytes);
  }
  // Ends the encoders that end with their channel (or all of them).
  void StopEncoders(bool autoFreeOnly) noexcept {
    std::lock_guard lock(EncMutex);
    for (auto& e : Encoders)
      if (!autoFreeOnly || e->AutoFree)
        e->Stop();
  }
};

// ---- channels ------------------------------------------------------------------

struct TCapture : TEncodeTarget {
  pa_threaded_mainloop* Ml = nullptr;
  THandle Handle = 0;
  std::uint32_t Rate = 0, Chans = 0, FrameBytes = 0, MaxChunk = 0, TargetChunk = 0;
  TRecordProc Proc = nullptr;
  void* User = nullptr;

  pa_stream* Stream = nullptr;  // main loop lock
  std::unique_ptr<TSpscByteRing> Ring;
  std::vector<std::uint8_t> Buffer;  // the capture thread's
  TWakeWord Wake;
  bool GapPending = false;  // pulse's thread only

  std::atomic<bool> Started{false};        // ChannelPlay done
  std::atomic<bool> Ended{false};          // stream gone, callback said stop, or stopped
  std::atomic<bool> StopRequested{false};  // ChannelStop: deliver nothing more
  std::atomic<std::uint64_t> Dropped{0};
  std::atomic<std::uint64_t> Delivered{0};
  std::atomic<std::uint32_t> Largest{0};

  std::mutex ThreadMutex;
  std::thread Thread;
  std::thread::id ThreadId;

  TCapture() = default;
  TCapture(const TCapture&) = delete;
  TCapture& operator=(const TCapture&) = delete;
  ~TCapture();
  void Loop() noexcept;
  // Ends the thread and the stream, with the main loop lock free.
  void Shut() noexcept;
};

void CaptureReadCallback(pa_stream* s, std::size_t, void* user) noexcept {
  auto* c = static_cast<TCapture*>(user);
  for (;;) {
    const void* data = nullptr;
    std::size_t n = 0;
    if (pa_stream_peek(s, &data, &n) < 0 || n == 0)
      break;
    if (c->Started.load(std::memory_order_relaxed) &&
        !c->StopRequested.load(std::memory_order_relaxed)) {
      const auto* p = static_cast<const std::uint8_t*>(data);  // null: a hole, filled with silence
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

void CaptureStateCallback(pa_stream* s, void* user) noexcept {
  auto* c = static_cast<TCapture*>(user);
  const pa_stream_state_t st = pa_stream_get_state(s);
  if (st == PA_STREAM_FAILED || st == PA_STREAM_TERMINATED) {
    c->Ended.store(true);
    c->Wake.Wake();
  }
  pa_threaded_mainloop_signal(c->Ml, 0);
}

// Gathers the pulse fragments into buffers of kCaptureTargetMs to kCaptureChunkMs
// (a monitor of a busy sink hands out 10 ms pieces) and hands them on in order.
void TCapture::Loop() noexcept {
  std::size_t filled = 0;
  auto firstAt = std::chrono::steady_clock::now();
  auto deliver = [&]() noexcept {
    const auto n = static_cast<std::uint32_t>(filled);
    filled = 0;
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
  for (;;) {
    const std::uint32_t seen = Wake.Snapshot();
    if (StopRequested.load())
      break;
    bool afterGap = false;
    const std::uint32_t next = Ring->NextRecordSize(&afterGap);
    if (next > 0 && filled + next <= Buffer.size() && !(afterGap && filled > 0)) {
      if (filled == 0)
        firstAt = std::chrono::steady_clock::now();
      filled += Ring->ReadRecord(Buffer.data() + filled, Buffer.size() - filled);
      if (filled >= TargetChunk && !deliver())
        break;
      continue;
    }
    if (next > 0) {  // does not fit, or follows lost data: hand on what is there first
      if (!deliver())
        break;
      continue;
    }
    const bool ended = Ended.load();
    if (filled > 0 && (ended || std::chrono::steady_clock::now() - firstAt >=
                                    std::chrono::milliseconds(kCaptureChunkMs))) {
      if (!deliver())
        break;
      continue;
    }
    if (ended)
      break;  // the stream is gone and everything it gave has been handed on
    Wake.Wait(seen, filled > 0 ? 10 : 200);
  }
  StopEncoders(true);
}

struct TDecodeStream : TEncodeTarget {
  std::mutex M;
  TSndfileDecoder Dec;
  bool AtEnd = false;
  std::vector<std::int16_t> Bounce;  // for callers' buffers at odd addresses
};

struct TPlayStream {
  pa_threaded_mainloop* Ml = nullptr;
  THandle Handle = 0;
  std::mutex OpMutex;  // one public operation on this stream at a time

  TSndfileDecoder Dec;  // the reader thread's while it runs
  std::uint32_t Rate = 0, Chans = 0, FrameBytes = 0;
  std::uint64_t LengthBytes = 0;
  pa_sample_spec Spec{};

  pa_stream* Stream = nullptr;         // main loop lock
  pa_operation* DrainOp = nullptr;     // main loop lock
  std::unique_ptr<TSpscByteRing> Ring; // reader thread -> pulse
  std::vector<std::int16_t> ReadBuf;   // the reader thread's
  TWakeWord ReaderWake;
  std::thread Reader;
  std::uint64_t ReaderFrame = 0;       // the reader thread's
  std::uint32_t BlockPeak = 0;         // the reader thread's

  std::atomic<bool> ReaderStop{false};
  std::atomic<bool> Eof{false};
  std::atomic<bool> Starved{false};   // pulse wanted data the ring did not have
  std::atomic<bool> Finished{false};  // drained: everything has been played
  std::atomic<bool> Failed{false};    // the stream or the server went away
  std::atomic<bool> Playing{false};   // started and not stopped
  bool EverStarted = false;           // OpMutex
  std::chrono::steady_clock::time_point UncorkedAt{};  // OpMutex
  std::uint64_t PosAtUncork = 0;                        // OpMutex

  std::atomic<std::uint64_t> BaseBytes{0};  // file position where this pulse stream began
  std::atomic<std::uint64_t> Written{0};    // bytes handed to this pulse stream
  std::atomic<std::uint64_t> LastPosition{0};
  // Peaks per block of kLevelBlockFrames frames, by frame position in the file:
  // left in the high half, right in the low half.
  std::unique_ptr<std::atomic<std::uint32_t>[]> Levels;

  TPlayStream() = default;
  TPlayStream(const TPlayStream&) = delete;
  TPlayStream& operator=(const TPlayStream&) = delete;
  ~TPlayStream();
  void StopReader() noexcept;
  void Disconnect() noexcept;
  void Pump(std::size_t want) noexcept;
  void PumpLocked() noexcept;
  void ReaderLoop() noexcept;
  void RecordLevels(const std::int16_t* samples, std::size_t frames) noexcept;
};

void PlayDrainCallback(pa_stream*, int success, void* user) noexcept {
  auto* p = static_cast<TPlayStream*>(user);
  if (success)
    p->Finished.store(true);
  pa_threaded_mainloop_signal(p->Ml, 0);
}

// Copies what the ring holds into pulse; with the main loop locked (pulse's
// write callback, or the reader thread after it found pulse starved).
void TPlayStream::Pump(std::size_t want) noexcept {
  if (!Stream || pa_stream_get_state(Stream) != PA_STREAM_READY)
    return;
  while (want >= FrameBytes) {
    std::size_t n = std::min(want, Ring->ReadableBytes());
    n -= n % FrameBytes;
    if (n == 0)
      break;
    void* dst = nullptr;
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

void PlayWriteCallback(pa_stream*, std::size_t nbytes, void* user) noexcept {
  static_cast<TPlayStream*>(user)->Pump(nbytes);
}

void PlayStateCallback(pa_stream* s, void* user) noexcept {
  auto* p = static_cast<TPlayStream*>(user);
  const pa_stream_state_t st = pa_stream_get_state(s);
  if (st == PA_STREAM_FAILED || st == PA_STREAM_TERMINATED) {
    p->Failed.store(true);
    p->ReaderWake.Wake();
  }
  pa_threaded_mainloop_signal(p->Ml, 0);
}

void TPlayStream::PumpLocked() noexcept {
  TLoopLock lock(Ml);
  if (!Stream || pa_stream_get_state(Stream) != PA_STREAM_READY)
    return;
  const std::size_t want = pa_stream_writable_size(Stream);
  if (want != static_cast<std::size_t>(-1))
    Pump(want);
}

void TPlayStream::RecordLevels(const std::int16_t* s, std::size_t frames) noexcept {
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

void TPlayStream::ReaderLoop() noexcept {
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

void TCapture::Shut() noexcept {
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
      pa_stream_set_read_callback(Stream, nullptr, nullptr);
      pa_stream_set_state_callback(Stream, nullptr, nullptr);
      if (PA_STREAM_IS_GOOD(pa_stream_get_state(Stream)))
        pa_stream_disconnect(Stream);
      pa_stream_unref(Stream);
      Stream = nullptr;
    }
  }
}

TCapture::~TCapture() {
  Shut();
  if (Thread.joinable())
    Thread.detach();  // only a callback that freed its own layer gets here
}

void TPlayStream::StopReader() noexcept {
  ReaderStop.store(true);
  ReaderWake.Wake();
  if (Reader.joinable())
    Reader.join();
}

void TPlayStream::Disconnect() noexcept {
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

TPlayStream::~TPlayStream() {
  StopReader();
  Disconnect();
}

} // namespace

// ---- the layer -------------------------------------------------------------------

struct TPulseAudioLayer::TImpl {
  std::mutex Api;  // handle tables, connection, device list, open flags
  std::string Server;
  pa_threaded_mainloop* Ml = nullptr;
  pa_context* Ctx = nullptr;
  bool Initialised = false;
  bool RecordOpen = false;
  std::string RecordSource;
  std::vector<TAudioDeviceInfo> Devices;
  bool DevicesRead = false;
  THandle NextHandle = 1;
  std::map<THandle, std::shared_ptr<TCapture>> Captures;
  std::map<THandle, std::shared_ptr<TDecodeStream>> Decoders;
  std::map<THandle, std::shared_ptr<TPlayStream>> Players;
  std::map<THandle, std::shared_ptr<TEncoderEntry>> Encoders;

  // All with Api held.
  THandle NewHandle();
  bool EnsureConnected();
  bool ReadDevices();
  bool ServerDefaults(std::string& source, std::string& sink);
  bool SourceExists(const std::string& name);
  void Disconnect();

  // Without Api held.
  void StopCapture(TCapture& c) noexcept;
  void DisconnectPlayback(TPlayStream& p) noexcept;
  void StopReader(TPlayStream& p) noexcept;
  int StartPlayback(TPlayStream& p, std::uint64_t startFrame);
  void FreePlayback(TPlayStream& p) noexcept;
  std::uint64_t PlayedBytes(TPlayStream& p) noexcept;

  template <class T>
  std::shared_ptr<T> Find(std::map<THandle, std::shared_ptr<T>>& m, THandle h) {
    std::lock_guard lock(Api);
    auto it = m.find(h);
    return it == m.end() ? nullptr : it->second;
  }
};

namespace {

void ContextStateCallback(pa_context*, void* user) noexcept {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(user), 0);
}

bool ContextReady(pa_context* c) {
  return c && pa_context_get_state(c) == PA_CONTEXT_READY;
}

} // namespace

THandle TPulseAudioLayer::TImpl::NewHandle() {
  for (;;) {
    const THandle h = NextHandle++;
    if (h != 0 && !Captures.count(h) && !Decoders.count(h) && !Players.count(h) &&
        !Encoders.count(h))
      return h;
  }
}

bool TPulseAudioLayer::TImpl::EnsureConnected() {
  if (!Ml) {
    Ml = pa_threaded_mainloop_new();
    if (!Ml)
      return false;
    if (pa_threaded_mainloop_start(Ml) < 0) {
      pa_threaded_mainloop_free(Ml);
      Ml = nullptr;
      return false;
    }
  }
  TLoopLock lock(Ml);
  if (Ctx) {
    WaitFor(Ml, [this] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(Ctx)) ||
                                pa_context_get_state(Ctx) == PA_CONTEXT_READY; });
    if (ContextReady(Ctx))
      return true;
    // The server went away: start afresh. Streams of the old context keep their
    // own reference to it.
    pa_context_set_state_callback(Ctx, nullptr, nullptr);
    pa_context_disconnect(Ctx);
    pa_context_unref(Ctx);
    Ctx = nullptr;
  }
  Ctx = pa_context_new(pa_threaded_mainloop_get_api(Ml), "Praatkist");
  if (!Ctx)
    return false;
  pa_context_set_state_callback(Ctx, ContextStateCallback, Ml);
  if (pa_context_connect(Ctx, Server.empty() ? nullptr : Server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                         nullptr) >= 0) {
    WaitFor(Ml, [this] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(Ctx)) ||
                                pa_context_get_state(Ctx) == PA_CONTEXT_READY; });
  }
  if (ContextReady(Ctx))
    return true;
  pa_context_set_state_callback(Ctx, nullptr, nullptr);
  pa_context_disconnect(Ctx);
  pa_context_unref(Ctx);
  Ctx = nullptr;
  return false;
}

void TPulseAudioLayer::TImpl::Disconnect() {
  if (!Ml)
    return;
  {
    TLoopLock lock(Ml);
    if (Ctx) {
      pa_context_set_state_callback(Ctx, nullptr, nullptr);
      pa_context_disconnect(Ctx);
      pa_context_unref(Ctx);
      Ctx = nullptr;
    }
  }
  pa_threaded_mainloop_stop(Ml);
  pa_threaded_mainloop_free(Ml);
  Ml = nullptr;
}

namespace {

struct TServerQuery {
  pa_threaded_mainloop* Ml = nullptr;
  bool Done = false;
  std::string Source, Sink;
};

void ServerInfoCallback(pa_context*, const pa_server_info* i, void* user) noexcept {
  auto* q = static_cast<TServerQuery*>(user);
  try {
    if (i && i->default_source_name)
      q->Source = i->default_source_name;
    if (i && i->default_sink_name)
      q->Sink = i->default_sink_name;
  } catch (...) {
  }
  q->Done = true;
  pa_threaded_mainloop_signal(q->Ml, 0);
}

struct TSourceQuery {
  pa_threaded_mainloop* Ml = nullptr;
  bool Done = false;
  bool Failed = false;
  std::vector<TAudioDeviceInfo> List;
};

void SourceInfoCallback(pa_context*, const pa_source_info* i, int eol, void* user) noexcept {
  auto* q = static_cast<TSourceQuery*>(user);
  if (eol != 0 || !i) {
    q->Done = true;
    q->Failed = eol < 0;
    pa_threaded_mainloop_signal(q->Ml, 0);
    return;
  }
  try {
    TAudioDeviceInfo d;
    d.Name = i->description ? i->description : (i->name ? i->name : "");
    d.Driver = i->name ? i->name : "";
    bool usable = true;
    if (i->n_ports > 0) {
      usable = false;
      for (std::uint32_t k = 0; k < i->n_ports; ++k)
        if (i->ports[k] && i->ports[k]->available != PA_PORT_AVAILABLE_NO)
          usable = true;
    }
    if (usable)
      d.Flags |= kDeviceEnabled;
    if (i->monitor_of_sink != PA_INVALID_INDEX)
      d.Flags |= kDeviceLoopback;
    q->List.push_back(std::move(d));
  } catch (...) {
    q->Failed = true;
  }
}

} // namespace

bool TPulseAudioLayer::TImpl::ServerDefaults(std::string& source, std::string& sink) {
  TLoopLock lock(Ml);
  TServerQuery q;
  q.Ml = Ml;
  if (!WaitOperation(Ml, pa_context_get_server_info(Ctx, ServerInfoCallback, &q)) || !q.Done)
    return false;
  source = q.Source;
  sink = q.Sink;
  return true;
}

bool TPulseAudioLayer::TImpl::ReadDevices() {
  std::string defSource, defSink;
  if (!ServerDefaults(defSource, defSink))
    return false;
  TSourceQuery q;
  q.Ml = Ml;
  {
    TLoopLock lock(Ml);
    if (!WaitOperation(Ml, pa_context_get_source_info_list(Ctx, SourceInfoCallback, &q)) ||
        !q.Done || q.Failed)
      return false;
  }
  for (auto& d : q.List)
    if (d.Driver == defSource)
      d.Flags |= kDeviceDefault;
  Devices = std::move(q.List);
  DevicesRead = true;
  return true;
}

bool TPulseAudioLayer::TImpl::SourceExists(const std::string& name) {
  TLoopLock lock(Ml);
  struct TQ {
    pa_threaded_mainloop* Ml;
    bool Found = false;
  } q{Ml};
  auto cb = [](pa_context*, const pa_source_info* i, int eol, void* user) noexcept {
    auto* qq = static_cast<TQ*>(user);
    if (eol == 0 && i)
      qq->Found = true;
    pa_threaded_mainloop_signal(qq->Ml, 0);
  };
  WaitOperation(Ml, pa_context_get_source_info_by_name(Ctx, name.c_str(), cb, &q));
  return q.Found;
}

// ---- capture helpers -------------------------------------------------------------

void TPulseAudioLayer::TImpl::StopCapture(TCapture& c) noexcept {
  c.Shut();
  c.StopEncoders(true);
}

// ---- playback helpers ----------------------------------------------------------------

void TPulseAudioLayer::TImpl::StopReader(TPlayStream& p) noexcept {
  p.StopReader();
}

void TPulseAudioLayer::TImpl::DisconnectPlayback(TPlayStream& p) noexcept {
  p.Disconnect();
}

// (Re)creates the pulse stream of P, corked, with the file positioned at
// StartFrame, and starts its reader thread. With P.OpMutex held, Api not held.
int TPulseAudioLayer::TImpl::StartPlayback(TPlayStream& p, std::uint64_t startFrame) {
  StopReader(p);
  DisconnectPlayback(p);
  if (!p.Dec.Seek(startFrame))
    return kErrPosition;
  p.Ring->Reset();
  p.ReaderFrame = startFrame;
  p.BlockPeak = 0;
  p.ReaderStop.store(false);
  p.Eof.store(false);
  p.Starved.store(false);
  p.Finished.store(false);
  p.Failed.store(false);
  p.Playing.store(false);
  p.BaseBytes.store(startFrame * p.FrameBytes);
  p.Written.store(0);
  p.LastPosition.store(startFrame * p.FrameBytes);

  std::lock_guard api(Api);
  if (!EnsureConnected())
    return kErrDriver;
  p.Ml = Ml;
  {
    TLoopLock lock(Ml);
    pa_channel_map map;
    pa_channel_map_init_extend(&map, p.Chans, PA_CHANNEL_MAP_DEFAULT);
    pa_stream* s = pa_stream_new(Ctx, "Weergave", &p.Spec, &map);
    if (!s)
      return kErrFormat;
    p.Stream = s;
    pa_stream_set_state_callback(s, PlayStateCallback, &p);
    pa_stream_set_write_callback(s, PlayWriteCallback, &p);
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = UsecToBytes(kPlaybackTargetMs * 1000ull, p.Rate, p.FrameBytes);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
        PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(s, nullptr, &attr, flags, nullptr, nullptr) < 0)
      return kErrDevice;
    WaitFor(Ml, [s] { return pa_stream_get_state(s) != PA_STREAM_CREATING; });
    if (pa_stream_get_state(s) != PA_STREAM_READY)
      return ContextReady(Ctx) ? kErrDevice : kErrDriver;
  }
  try {
    p.Reader = std::thread([&p] { p.ReaderLoop(); });
  } catch (...) {
    return kErrUnknown;
  }
  return kErrOk;
}

void TPulseAudioLayer::TImpl::FreePlayback(TPlayStream& p) noexcept {
  std::lock_guard lock(p.OpMutex);
  StopReader(p);
  DisconnectPlayback(p);
  p.Playing.store(false);
  p.Dec.Close();
}

// What has been heard: written minus what pulse still holds, never more than
// the time since ChannelPlay allows (pulse's first timing answers after an
// uncork can run ahead by tens of milliseconds), never going back. With
// P.OpMutex held.
std::uint64_t TPulseAudioLayer::TImpl::PlayedBytes(TPlayStream& p) noexcept {
  std::uint64_t pos = p.LastPosition.load();
  if (p.Finished.load()) {
    pos = p.BaseBytes.load() + p.Written.load();
  } else if (p.Playing.load() && !p.Failed.load() && p.Ml) {
    const auto since = std::chrono::steady_clock::now() - p.UncorkedAt;
    const std::uint64_t bound =
        p.PosAtUncork +
        UsecToBytes(static_cast<std::uint64_t>(
                        std::chrono::duration_cast<std::chrono::microseconds>(since).count()),
                    p.Rate, p.FrameBytes);
    TLoopLock lock(p.Ml);
    pa_usec_t latency = 0;
    int negative = 0;
    if (p.Stream && pa_stream_get_state(p.Stream) == PA_STREAM_READY &&
        pa_stream_get_latency(p.Stream, &latency, &negative) == 0) {
      const std::uint64_t written = p.Written.load();
      std::uint64_t late = negative ? 0 : UsecToBytes(latency, p.Rate, p.FrameBytes);
      if (late > written)
        late = written;
      // The clock may step back by a few frames between two timing updates.
      pos = std::max(pos, std::min(bound, p.BaseBytes.load() + written - late));
    }
  }
  pos = std::min(pos, p.LengthBytes);
  p.LastPosition.store(pos);
  return pos;
}

// ---- public calls ----------------------------------------------------------------------

TPulseAudioLayer::TPulseAudioLayer() : F(std::make_unique<TImpl>()) {
  // The server is the one the environment names now (PULSE_SERVER), or the
  // user's default socket: later changes of the environment do not move the layer.
  if (const char* s = std::getenv("PULSE_SERVER"))
    F->Server = s;
}

TPulseAudioLayer::~TPulseAudioLayer() {
  Free();
}

int TPulseAudioLayer::ErrorGetCode() {
  return tLastError;
}

bool TPulseAudioLayer::Init() {
  try {
    std::lock_guard lock(F->Api);
    if (F->Initialised)
      return Fail(kErrAlready);
    if (!F->EnsureConnected())
      return Fail(kErrDriver);
    std::string source, sink;
    if (!F->ServerDefaults(source, sink))
      return Fail(kErrDriver);
    if (sink.empty())
      return Fail(kErrDevice);
    F->Initialised = true;
    Succeed();
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

void TPulseAudioLayer::Free() {
  try {
    std::map<THandle, std::shared_ptr<TCapture>> captures;
    std::map<THandle, std::shared_ptr<TDecodeStream>> decoders;
    std::map<THandle, std::shared_ptr<TPlayStream>> players;
    std::map<THandle, std::shared_ptr<TEncoderEntry>> encoders;
    {
      std::lock_guard lock(F->Api);
      captures.swap(F->Captures);
      decoders.swap(F->Decoders);
      players.swap(F->Players);
      encoders.swap(F->Encoders);
      F->Initialised = false;
      F->RecordOpen = false;
      F->RecordSource.clear();
    }
    for (auto& [h, c] : captures) {
      F->StopCapture(*c);
      c->StopEncoders(false);
    }
    for (auto& [h, p] : players)
      F->FreePlayback(*p);
    for (auto& [h, d] : decoders)
      d->StopEncoders(false);
    for (auto& [h, e] : encoders)
      e->Stop();
    std::lock_guard lock(F->Api);
    F->Disconnect();
    F->Devices.clear();
    F->DevicesRead = false;
    Succeed();
  } catch (...) {
    Fail(kErrUnknown);
  }
}

bool TPulseAudioLayer::RecordGetDeviceInfo(int index, TAudioDeviceInfo& info) {
  try {
    std::lock_guard lock(F->Api);
    if (index < 0)
      return Fail(kErrDevice);
    if (index == 0 || !F->DevicesRead) {
      if (!F->EnsureConnected() || !F->ReadDevices())
        return Fail(kErrDriver);
    }
    if (static_cast<std::size_t>(index) >= F->Devices.size())
      return Fail(kErrDevice);
    info = F->Devices[static_cast<std::size_t>(index)];
    if (F->RecordOpen && info.Driver == F->RecordSource)
      info.Flags |= kDeviceInit;
    Succeed();
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

std::uint32_t TPulseAudioLayer::DeviceListSerial() {
  // Not yet watched: the list is read afresh only when index 0 is asked for.
  return 0;
}

bool TPulseAudioLayer::RecordInit(int index) {
  try {
    std::lock_guard lock(F->Api);
    if (F->RecordOpen)
      return Fail(kErrAlready);
    if (index < -1)
      return Fail(kErrDevice);
    if (!F->EnsureConnected())
      return Fail(kErrDriver);
    std::string name;
    if (index == -1) {
      std::string sink;
      if (!F->ServerDefaults(name, sink))
        return Fail(kErrDriver);
    } else {
      if (!F->DevicesRead && !F->ReadDevices())
        return Fail(kErrDriver);
      if (static_cast<std::size_t>(index) >= F->Devices.size())
        return Fail(kErrDevice);
      name = F->Devices[static_cast<std::size_t>(index)].Driver;
    }
    if (name.empty() || !F->SourceExists(name))
      return Fail(ContextReady(F->Ctx) ? kErrDevice : kErrDriver);
    F->RecordSource = name;
    F->RecordOpen = true;
    Succeed();
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

void TPulseAudioLayer::RecordFree() {
  try {
    std::map<THandle, std::shared_ptr<TCapture>> captures;
    {
      std::lock_guard lock(F->Api);
      captures.swap(F->Captures);
      F->RecordOpen = false;
      F->RecordSource.clear();
    }
    for (auto& [h, c] : captures) {
      F->StopCapture(*c);
      c->StopEncoders(false);
    }
    Succeed();
  } catch (...) {
    Fail(kErrUnknown);
  }
}

THandle TPulseAudioLayer::RecordStart(std::uint32_t rate, std::uint32_t channels, TRecordProc proc,
                                      void* user) {
  try {
    std::lock_guard lock(F->Api);
    if (!F->RecordOpen)
      return Fail(kErrInit), 0;
    if (!proc)
      return Fail(kErrIllegalParam), 0;
    if (channels < 1 || channels > 2 || rate < 8000 || rate > 192000)
      return Fail(kErrFormat), 0;
    if (!F->EnsureConnected())
      return Fail(kErrDriver), 0;

    auto c = std::make_shared<TCapture>();
    c->Ml = F->Ml;
    c->Rate = rate;
    c->Chans = channels;
    c->FrameBytes = channels * 2;
    c->Proc = proc;
    c->User = user;
    c->MaxChunk = std::max(c->FrameBytes, UsecToBytes(kCaptureChunkMs * 1000ull, rate, c->FrameBytes));
    c->TargetChunk = std::min(c->MaxChunk, UsecToBytes(kCaptureTargetMs * 1000ull, rate, c->FrameBytes));
    c->Ring = std::make_unique<TSpscByteRing>(
        static_cast<std::size_t>(UsecToBytes(kCaptureRingMs * 1000ull, rate, c->FrameBytes)));
    c->Buffer.assign(c->MaxChunk, 0);
    c->Handle = F->NewHandle();

    {
      TLoopLock ml(F->Ml);
      pa_sample_spec spec{PA_SAMPLE_S16LE, rate, static_cast<std::uint8_t>(channels)};
      pa_channel_map map;
      pa_channel_map_init_extend(&map, channels, PA_CHANNEL_MAP_DEFAULT);
      pa_stream* s = pa_stream_new(F->Ctx, "Opname", &spec, &map);
      if (!s)
        return Fail(kErrFormat), 0;
      c->Stream = s;
      pa_stream_set_state_callback(s, CaptureStateCallback, c.get());
      pa_stream_set_read_callback(s, CaptureReadCallback, c.get());
      pa_buffer_attr attr;
      attr.maxlength = static_cast<std::uint32_t>(-1);
      attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
      attr.fragsize = UsecToBytes(kCaptureFragmentMs * 1000ull, rate, c->FrameBytes);
      // Corked until ChannelPlay; a vanished source ends the stream instead of
      // moving it silently to another one.
      const auto flags = static_cast<pa_stream_flags_t>(
          PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE | PA_STREAM_ADJUST_LATENCY);
      bool ok = pa_stream_connect_record(s, F->RecordSource.c_str(), &attr, flags) >= 0;
      if (ok) {
        WaitFor(F->Ml, [s] { return pa_stream_get_state(s) != PA_STREAM_CREATING; });
        ok = pa_stream_get_state(s) == PA_STREAM_READY;
      }
      if (!ok) {
        const int code = ContextReady(F->Ctx) ? kErrDevice : kErrDriver;
        pa_stream_set_read_callback(s, nullptr, nullptr);
        pa_stream_set_state_callback(s, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
          pa_stream_disconnect(s);
        pa_stream_unref(s);
        c->Stream = nullptr;
        return Fail(code), 0;
      }
    }
    {
      std::lock_guard tl(c->ThreadMutex);
      TCapture* raw = c.get();
      c->Thread = std::thread([raw] { raw->Loop(); });
      c->ThreadId = c->Thread.get_id();
    }
    F->Captures[c->Handle] = c;
    Succeed();
    return c->Handle;
  } catch (const std::bad_alloc&) {
    return Fail(kErrMemory), 0;
  } catch (...) {
    return Fail(kErrUnknown), 0;
  }
}

bool TPulseAudioLayer::ChannelPlay(THandle channel, bool restart) {
  try {
    if (auto c = F->Find(F->Captures, channel)) {
      if (c->Ended.load())
        return Fail(kErrEnded);
      if (c->Started.load())
        return Succeed(), true;
      TLoopLock ml(c->Ml);
      if (!c->Stream || pa_stream_get_state(c->Stream) != PA_STREAM_READY)
        return Fail(kErrEnded);
      c->Started.store(true);
      TSuccess result;
      result.Ml = c->Ml;
      if (!WaitOperation(c->Ml, pa_stream_cork(c->Stream, 0, StreamSuccessCallback, &result)) ||
          !result.Result) {
        c->Started.store(false);
        return Fail(kErrEnded);
      }
      return Succeed(), true;
    }
    if (auto p = F->Find(F->Players, channel)) {
      std::lock_guard op(p->OpMutex);
      if (!p->Stream && !p->Failed.load())
        return Fail(kErrHandle);
      const bool rebuild = p->Failed.load() || p->Finished.load() || (restart && p->EverStarted);
      if (rebuild) {
        const std::uint64_t from = restart || p->Finished.load() ? 0 : p->LastPosition.load() / p->FrameBytes;
        const int code = F->StartPlayback(*p, from);
        if (code != kErrOk)
          return Fail(code);
      }
      TLoopLock ml(p->Ml);
      if (!p->Stream || pa_stream_get_state(p->Stream) != PA_STREAM_READY)
        return Fail(kErrEnded);
      TSuccess result;
      result.Ml = p->Ml;
      if (!WaitOperation(p->Ml, pa_stream_cork(p->Stream, 0, StreamSuccessCallback, &result)) ||
          !result.Result)
        return Fail(kErrEnded);
      p->EverStarted = true;
      p->PosAtUncork = p->LastPosition.load();
      p->UncorkedAt = std::chrono::steady_clock::now();
      p->Playing.store(true);
      return Succeed(), true;
    }
    if (F->Find(F->Decoders, channel))
      return Fail(kErrNotAvailable);
    return Fail(kErrHandle);
  } catch (const std::bad_alloc&) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

void TPulseAudioLayer::ChannelStop(THandle channel) {
  try {
    if (auto c = F->Find(F->Captures, channel)) {
      F->StopCapture(*c);
      Succeed();
      return;
    }
    if (auto p = F->Find(F->Players, channel)) {
      std::lock_guard op(p->OpMutex);
      F->PlayedBytes(*p);  // the position stays where it was stopped
      p->Playing.store(false);
      if (p->Ml) {
        TLoopLock ml(p->Ml);
        if (p->Stream && pa_stream_get_state(p->Stream) == PA_STREAM_READY) {
          if (pa_operation* o = pa_stream_cork(p->Stream, 1, nullptr, nullptr))
            pa_operation_unref(o);
        }
      }
      Succeed();
      return;
    }
    Fail(F->Find(F->Decoders, channel) ? kErrOk : kErrHandle);
  } catch (...) {
    Fail(kErrUnknown);
  }
}

int TPulseAudioLayer::ChannelIsActive(THandle channel) {
  try {
    Succeed();
    if (auto c = F->Find(F->Captures, channel)) {
      if (c->Ended.load())
        return kActiveStopped;
      return c->Started.load() ? kActivePlaying : kActivePaused;
    }
    if (auto p = F->Find(F->Players, channel)) {
      if (!p->Playing.load() || p->Finished.load() || p->Failed.load())
        return kActiveStopped;
      return kActivePlaying;
    }
    if (auto d = F->Find(F->Decoders, channel)) {
      std::lock_guard lock(d->M);
      return d->AtEnd ? kActiveStopped : kActivePlaying;
    }
    Fail(kErrHandle);
    return kActiveStopped;
  } catch (...) {
    Fail(kErrUnknown);
    return kActiveStopped;
  }
}

bool TPulseAudioLayer::ChannelGetInfo(THandle channel, TChannelInfo& info) {
  try {
    if (auto c = F->Find(F->Captures, channel)) {
      info.Freq = c->Rate;
      info.Chans = c->Chans;
      return Succeed(), true;
    }
    if (auto p = F->Find(F->Players, channel)) {
      info.Freq = p->Rate;
      info.Chans = p->Chans;
      return Succeed(), true;
    }
    if (auto d = F->Find(F->Decoders, channel)) {
      std::lock_guard lock(d->M);
      info.Freq = d->Dec.Rate();
      info.Chans = d->Dec.Chans();
      return Succeed(), true;
    }
    return Fail(kErrHandle);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

std::uint64_t TPulseAudioLayer::ChannelGetLength(THandle channel) {
  try {
    if (auto p = F->Find(F->Players, channel))
      return Succeed(), p->LengthBytes;
    if (auto d = F->Find(F->Decoders, channel)) {
      std::lock_guard lock(d->M);
      return Succeed(), d->Dec.Frames() * d->Dec.FrameBytes();
    }
    if (F->Find(F->Captures, channel))
      return Fail(kErrNotAvailable), kPositionError;
    return Fail(kErrHandle), kPositionError;
  } catch (...) {
    return Fail(kErrUnknown), kPositionError;
  }
}

std::uint64_t TPulseAudioLayer::ChannelGetPosition(THandle channel) {
  try {
    if (auto p = F->Find(F->Players, channel)) {
      std::lock_guard op(p->OpMutex);
      return Succeed(), F->PlayedBytes(*p);
    }
    if (auto d = F->Find(F->Decoders, channel)) {
      std::lock_guard lock(d->M);
      return Succeed(), d->Dec.Position() * d->Dec.FrameBytes();
    }
    if (auto c = F->Find(F->Captures, channel))
      return Succeed(), c->Delivered.load();
    return Fail(kErrHandle), kPositionError;
  } catch (...) {
    return Fail(kErrUnknown), kPositionError;
  }
}

bool TPulseAudioLayer::ChannelSetPosition(THandle channel, std::uint64_t bytes) {
  try {
    if (auto d = F->Find(F->Decoders, channel)) {
      std::lock_guard lock(d->M);
      const std::uint64_t frame = bytes / d->Dec.FrameBytes();
      if (frame > d->Dec.Frames() || !d->Dec.Seek(frame))
        return Fail(kErrPosition);
      d->AtEnd = false;
      return Succeed(), true;
    }
    if (auto p = F->Find(F->Players, channel)) {
      std::lock_guard op(p->OpMutex);
      const std::uint64_t frame = bytes / p->FrameBytes;
      if (frame * p->FrameBytes > p->LengthBytes)
        return Fail(kErrPosition);
      const bool wasPlaying = p->Playing.load() && !p->Finished.load() && !p->Failed.load();
      const int code = F->StartPlayback(*p, frame);
      if (code != kErrOk)
        return Fail(code);
      if (wasPlaying) {
        TLoopLock ml(p->Ml);
        TSuccess result;
        result.Ml = p->Ml;
        if (!WaitOperation(p->Ml, pa_stream_cork(p->Stream, 0, StreamSuccessCallback, &result)))
          return Fail(kErrEnded);
        p->PosAtUncork = p->LastPosition.load();
        p->UncorkedAt = std::chrono::steady_clock::now();
        p->Playing.store(true);
      }
      return Succeed(), true;
    }
    if (F->Find(F->Captures, channel))
      return Fail(kErrNotAvailable);
    return Fail(kErrHandle);
  } catch (const std::bad_alloc&) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

double TPulseAudioLayer::ChannelBytes2Seconds(THandle channel, std::uint64_t bytes) {
  TChannelInfo info;
  if (!ChannelGetInfo(channel, info) || info.Freq == 0 || info.Chans == 0)
    return -1.0;
  return static_cast<double>(bytes / (info.Chans * 2)) / info.Freq;
}

bool TPulseAudioLayer::ChannelGetLevelEx(THandle channel, float levels[2], float seconds) {
  try {
    auto p = F->Find(F->Players, channel);
    if (!p) {
      if (F->Find(F->Captures, channel) || F->Find(F->Decoders, channel))
        return Fail(kErrNotAvailable);
      return Fail(kErrHandle);
    }
    if (!(seconds > 0.0f) || seconds > 1.0f)
      return Fail(kErrIllegalParam);
    std::lock_guard op(p->OpMutex);
    if (!p->Playing.load() || p->Finished.load() || p->Failed.load())
      return Fail(kErrNotAvailable);
    const std::uint64_t pos = F->PlayedBytes(*p) / p->FrameBytes;
    const std::uint64_t span = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::lround(seconds * static_cast<float>(p->Rate))));
    const std::uint64_t from = pos > span ? pos - span : 0;
    std::uint32_t left = 0, right = 0;
    if (pos > from) {
      for (std::uint64_t b = from / kLevelBlockFrames; b <= (pos - 1) / kLevelBlockFrames; ++b) {
        const std::uint32_t v = p->Levels[b % kLevelBlocks].load(std::memory_order_relaxed);
        left = std::max(left, v >> 16);
        right = std::max(right, v & 0xFFFFu);
      }
    }
    levels[0] = std::min(1.0f, static_cast<float>(left) / 32768.0f);
    levels[1] = std::min(1.0f, static_cast<float>(right) / 32768.0f);
    return Succeed(), true;
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

std::uint32_t TPulseAudioLayer::ChannelGetData(THandle channel, void* buffer, std::uint32_t length) {
  try {
    auto d = F->Find(F->Decoders, channel);
    if (!d) {
      if (F->Find(F->Captures, channel) || F->Find(F->Players, channel))
        return Fail(kErrNotAvailable), kDataError;
      return Fail(kErrHandle), kDataError;
    }
    if (!buffer && length > 0)
      return Fail(kErrIllegalParam), kDataError;
    std::lock_guard lock(d->M);
    const std::uint32_t frameBytes = d->Dec.FrameBytes();
    const std::size_t frames = length / frameBytes;
    if (frames == 0)
      return Succeed(), 0;
    std::size_t got;
    if (reinterpret_cast<std::uintptr_t>(buffer) % alignof(std::int16_t) == 0) {
      got = d->Dec.ReadFrames(static_cast<std::int16_t*>(buffer), frames);
    } else {
      d->Bounce.resize(frames * d->Dec.Chans());
      got = d->Dec.ReadFrames(d->Bounce.data(), frames);
      std::memcpy(buffer, d->Bounce.data(), got * frameBytes);
    }
    if (got == 0) {
      d->AtEnd = true;
      return Fail(kErrEnded), kDataError;
    }
    const auto bytes = static_cast<std::uint32_t>(got * frameBytes);
    d->Feed(buffer, bytes);
    return Succeed(), bytes;
  } catch (const std::bad_alloc&) {
    return Fail(kErrMemory), kDataError;
  } catch (...) {
    return Fail(kErrUnknown), kDataError;
  }
}

THandle TPulseAudioLayer::StreamCreateFile(const std::filesystem::path& file, bool decode) {
  try {
    if (decode) {
      auto d = std::make_shared<TDecodeStream>();
      const int code = d->Dec.Open(file);
      if (code != kErrOk)
        return Fail(code), 0;
      std::lock_guard lock(F->Api);
      const THandle h = F->NewHandle();
      F->Decoders[h] = d;
      return Succeed(), h;
    }

    {
      std::lock_guard lock(F->Api);
      if (!F->Initialised)
        return Fail(kErrInit), 0;
    }
    auto p = std::make_shared<TPlayStream>();
    const int code = p->Dec.Open(file);
    if (code != kErrOk)
      return Fail(code), 0;
    if (p->Dec.Chans() > PA_CHANNELS_MAX)
      return Fail(kErrFormat), 0;
    p->Rate = p->Dec.Rate();
    p->Chans = p->Dec.Chans();
    p->FrameBytes = p->Dec.FrameBytes();
    p->LengthBytes = p->Dec.Frames() * p->FrameBytes;
    p->Spec = pa_sample_spec{PA_SAMPLE_S16LE, p->Rate, static_cast<std::uint8_t>(p->Chans)};
    if (!pa_sample_spec_valid(&p->Spec))
      return Fail(kErrFormat), 0;
    p->Ring = std::make_unique<TSpscByteRing>(
        static_cast<std::size_t>(UsecToBytes(kPlaybackRingMs * 1000ull, p->Rate, p->FrameBytes)));
    p->ReadBuf.assign(std::size_t{4096} * p->Chans, 0);
    p->Levels = std::make_unique<std::atomic<std::uint32_t>[]>(kLevelBlocks);
    {
      std::lock_guard op(p->OpMutex);
      const int started = F->StartPlayback(*p, 0);
      if (started != kErrOk) {
        F->StopReader(*p);
        F->DisconnectPlayback(*p);
        return Fail(started), 0;
      }
    }
    std::lock_guard lock(F->Api);
    const THandle h = F->NewHandle();
    p->Handle = h;
    F->Players[h] = p;
    return Succeed(), h;
  } catch (const std::bad_alloc&) {
    return Fail(kErrMemory), 0;
  } catch (...) {
    return Fail(kErrUnknown), 0;
  }
}

void TPulseAudioLayer::StreamFree(THandle stream) {
  try {
    std::shared_ptr<TPlayStream> p;
    std::shared_ptr<TDecodeStream> d;
    {
      std::lock_guard lock(F->Api);
      if (auto it = F->Players.find(stream); it != F->Players.end()) {
        p = it->second;
        F->Players.erase(it);
      } else if (auto jt = F->Decoders.find(stream); jt != F->Decoders.end()) {
        d = jt->second;
        F->Decoders.erase(jt);
      }
    }
    if (p)
      F->FreePlayback(*p);
    if (d)
      d->StopEncoders(false);
    if (p || d)
      Succeed();
    else
      Fail(kErrHandle);
  } catch (...) {
    Fail(kErrUnknown);
  }
}

THandle TPulseAudioLayer::EncodeMp3Start(THandle channel, int kbps, const std::filesystem::path& file,
                                         bool autoFree) {
  try {
    TEncodeTarget* target = nullptr;
    std::shared_ptr<TCapture> c = F->Find(F->Captures, channel);
    std::shared_ptr<TDecodeStream> d;
    std::uint32_t rate = 0, chans = 0;
    if (c) {
      if (c->Ended.load())
        return Fail(kErrEnded), 0;
      target = c.get();
      rate = c->Rate;
      chans = c->Chans;
    } else if ((d = F->Find(F->Decoders, channel))) {
      std::lock_guard lock(d->M);
      target = d.get();
      rate = d->Dec.Rate();
      chans = d->Dec.Chans();
    } else if (F->Find(F->Players, channel)) {
      return Fail(kErrNotAvailable), 0;
    } else {
      return Fail(kErrHandle), 0;
    }
    if (kbps < 8 || kbps > 320)
      return Fail(kErrIllegalParam), 0;
    auto e = std::make_shared<TEncoderEntry>();
    const int code = e->Enc.Open(file, rate, chans, kbps);
    if (code != kErrOk)
      return Fail(code), 0;
    e->AutoFree = autoFree;
    e->Active.store(true);
    THandle h;
    {
      std::lock_guard lock(F->Api);
      std::erase_if(F->Encoders, [](const auto& kv) { return !kv.second->Active.load(); });
      h = F->NewHandle();
      F->Encoders[h] = e;
    }
    target->Attach(e);
    return Succeed(), h;
  } catch (const std::bad_alloc&) {
    return Fail(kErrMemory), 0;
  } catch (...) {
    return Fail(kErrUnknown), 0;
  }
}

bool TPulseAudioLayer::EncodeIsActive(THandle encoder) {
  try {
    auto e = F->Find(F->Encoders, encoder);
    if (!e)
      return Fail(kErrHandle);
    Succeed();
    return e->Active.load();
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

bool TPulseAudioLayer::EncodeStop(THandle encoder) {
  try {
    std::shared_ptr<TEncoderEntry> e;
    {
      std::lock_guard lock(F->Api);
      if (auto it = F->Encoders.find(encoder); it != F->Encoders.end()) {
        e = it->second;
        F->Encoders.erase(it);
      }
    }
    if (!e)
      return Fail(kErrHandle);
    bool finished;
    {
      std::lock_guard lock(e->M);
      finished = e->Enc.Finish();
      e->Active.store(false);
    }
    if (!finished)
      return Fail(kErrCreate);
    Succeed();
    return true;
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

std::uint64_t TPulseAudioLayer::CaptureDroppedChunks(THandle channel) {
  auto c = F->Find(F->Captures, channel);
  return c ? c->Dropped.load() : 0;
}

std::uint32_t TPulseAudioLayer::CaptureLargestBuffer(THandle channel) {
  auto c = F->Find(F->Captures, channel);
  return c ? c->Largest.load() : 0;
}

std::unique_ptr<IAudioLayer> CreateSystemAudioLayer() {
  return std::make_unique<TPulseAudioLayer>();
}

} // namespace praatkist::audio
