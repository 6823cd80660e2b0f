#include "audio/wasapi/CaptureThread.h"

#include <algorithm>
#include <chrono>

namespace praatkist::audio::wasapi {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// Waits (polling) until the device thread has answered whether it could open.
int AwaitOpen(const std::atomic<int> &result) noexcept
{
  const auto deadline = Clock::now() + milliseconds(kOpenWaitMs);
  while (result.load() == -2 && Clock::now() < deadline)
    std::this_thread::sleep_for(milliseconds(2));
  const int code = result.load();
  return code == -2 ? kErrDevice : code;
}

} // namespace

int TCapture::Open(const std::string &id)
{
  FrameBytes = Chans * 2;
  MaxChunk = std::max(FrameBytes, MsToBytes(kCaptureChunkMs, Rate, FrameBytes));
  TargetChunk = std::min(MaxChunk, MsToBytes(kCaptureTargetMs, Rate, FrameBytes));
  Ring = std::make_unique<TSpscByteRing>(
      static_cast<std::size_t>(MsToBytes(kCaptureRingMs, Rate, FrameBytes)));
  Buffer.assign(MaxChunk, 0);
  if (!Command.Get())
    return kErrMemory;

  Device = std::thread([this, wide = Wide(id)] { DeviceLoop(wide); });
  const int code = AwaitOpen(OpenResult);
  if (code != kErrOk) {
    Closing.store(true);
    Command.Set();
    Device.join();
    return code;
  }
  std::lock_guard tl(ThreadMutex);
  Thread = std::thread([this] { Loop(); });
  ThreadId = Thread.get_id();
  return kErrOk;
}

// The device thread: opens the client, starts it at ChannelPlay and moves every packet
// into the ring. A client that fails, or a device that has delivered nothing for
// kNoDataMs (a vanished device or audio server may just go quiet), ends the channel.
void TCapture::DeviceLoop(std::wstring id) noexcept
{
  TComScope com;
  TEvent due;
  TCom<IAudioClient> client;
  TCom<IAudioCaptureClient> capture;
  int code =
      com.Ok() && due.Get() ? OpenClient(id, eCapture, Rate, Chans, due.Get(), client) : kErrDriver;
  if (code == kErrOk &&
      FAILED(client->GetService(__uuidof(IAudioCaptureClient), capture.PutVoid())))
    code = kErrDevice;
  if (code == kErrOk) {
    REFERENCE_TIME latency = 0;
    if (SUCCEEDED(client->GetStreamLatency(&latency)))
      LatencyMs.store(static_cast<std::uint32_t>(latency / 10000));
  }
  OpenResult.store(code);
  if (code != kErrOk)
    return;

  const HANDLE waits[2] = {due.Get(), Command.Get()};
  auto lastData = Clock::now();
  bool failed = false;
  while (!Closing.load() && !StopRequested.load() && !failed) {
    if (Started.load() && !Running.load()) {
      failed = FAILED(client->Start());
      Running.store(!failed);
      lastData = Clock::now();
    }
    ::WaitForMultipleObjects(2, waits, FALSE, 100);
    if (!Running.load() || Closing.load())
      continue;
    bool got = false;
    for (;;) {
      UINT32 packet = 0;
      if (FAILED(capture->GetNextPacketSize(&packet))) {
        failed = true;
        break;
      }
      if (packet == 0)
        break;
      BYTE *data = nullptr;
      UINT32 frames = 0;
      DWORD flags = 0;
      const HRESULT hr = capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
      if (FAILED(hr)) {
        failed = true;
        break;
      }
      if (hr == AUDCLNT_S_BUFFER_EMPTY)
        break;
      const std::size_t n = std::size_t{frames} * FrameBytes;
      got = got || n > 0;
      Received.fetch_add(n, std::memory_order_relaxed);
      // null: silence; a record after a lost one is marked, so that the capture thread
      // never joins the two sides of a gap into one buffer
      const std::uint8_t *p = (flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : data;
      std::size_t left = n;
      while (left > 0) {
        const std::size_t part = std::min<std::size_t>(left, MaxChunk);
        if (Ring->WriteRecord(p, static_cast<std::uint32_t>(part), GapPending)) {
          GapPending = false;
        } else {
          GapPending = true;
          Dropped.fetch_add(1, std::memory_order_relaxed);
        }
        if (p)
          p += part;
        left -= part;
      }
      capture->ReleaseBuffer(frames);
    }
    if (got)
      lastData = Clock::now();
    else if (Clock::now() - lastData > milliseconds(kNoDataMs))
      failed = true;
    Wake.Wake();
  }
  if (failed)
    Ended.store(true);
  if (Running.load())
    client->Stop();
  Wake.Wake();
}

bool TCapture::Play()
{
  if (Ended.load())
    return Fail(kErrEnded);
  if (Started.load())
    return Succeed(), true;
  Started.store(true);
  Command.Set();
  const auto deadline = Clock::now() + milliseconds(kOpenWaitMs);
  while (!Running.load() && !Ended.load() && Clock::now() < deadline)
    std::this_thread::sleep_for(milliseconds(1));
  if (!Running.load()) {
    Started.store(false);
    return Fail(kErrEnded);
  }
  return Succeed(), true;
}

// Gathers the device's packets (10 ms each, typically) into buffers of kCaptureTargetMs
// to kCaptureChunkMs and hands them on in order. Where captured audio was lost (the
// record callback fell behind by more than the ring holds), it hands on what came
// before and ends the channel: a take never gets a hole that nobody knows of.
void TCapture::Loop() noexcept
{
  std::size_t filled = 0;
  auto firstAt = Clock::now();
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
        firstAt = Clock::now();
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
    if (filled > 0 && (ended || Clock::now() - firstAt >= milliseconds(kCaptureChunkMs))) {
      if (!deliver())
        break;
      continue;
    }
    if (ended)
      break; // the device is gone or stopped, and everything it gave has been handed on
    Wake.Wait(seen, filled > 0 ? 10 : 200);
  }
  StopEncoders(true);
}

void TCapture::Drain() noexcept
{
  if (std::this_thread::get_id() == ThreadId)
    return; // a record callback that stops its own channel takes nothing more
  if (Started.load() && !Ended.load()) {
    // What the device captured up to now is still in its buffer and on its way: as
    // much as the stream's latency, in packets of about 10 ms.
    const auto t0 = Clock::now();
    const std::uint32_t latency = std::min<std::uint32_t>(LatencyMs.load(), 500);
    const std::uint64_t target = Received.load() + MsToBytes(latency, Rate, FrameBytes);
    const auto earliest = t0 + milliseconds(20);
    const auto deadline = earliest + milliseconds(latency + 20);
    while (!Ended.load()) {
      const auto now = Clock::now();
      if (now >= deadline || (now >= earliest && Received.load() >= target))
        break;
      std::this_thread::sleep_for(milliseconds(5));
    }
  }
  Closing.store(true);
  Command.Set();
  if (Device.joinable())
    Device.join(); // nothing more goes into the ring
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
  Closing.store(true);
  Command.Set();
  Wake.Wake();
  if (Device.joinable())
    Device.join();
  std::lock_guard lock(ThreadMutex);
  // A record callback that stops its own channel cannot wait for itself; its thread
  // ends as soon as the callback returns.
  if (Thread.joinable() && std::this_thread::get_id() != ThreadId)
    Thread.join();
}

TCapture::~TCapture()
{
  Shut();
  if (Thread.joinable())
    Thread.detach(); // only a callback that freed its own layer gets here
}

} // namespace praatkist::audio::wasapi
