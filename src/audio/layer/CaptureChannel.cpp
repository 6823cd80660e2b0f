#include "audio/layer/CaptureChannel.h"

#include <algorithm>
#include <chrono>

namespace praatkist::audio {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TCaptureInput::TCaptureInput(std::uint32_t rate, std::uint32_t chans)
    : Rate(rate), Chans(chans), FrameBytes(chans * 2),
      MaxChunk(std::max(FrameBytes, MsToBytes(kCaptureChunkMs, rate, FrameBytes))),
      TargetChunk(std::min(MaxChunk, MsToBytes(kCaptureTargetMs, rate, FrameBytes))),
      Ring(MsToBytes(kCaptureRingMs, rate, FrameBytes))
{
}

void TCaptureInput::Push(const void *data, std::size_t n) noexcept
{
  if (n == 0 || !Started.load(std::memory_order_relaxed) || !Taking())
    return;
  Received.fetch_add(n, std::memory_order_relaxed);
  const auto *p = static_cast<const std::uint8_t *>(data);
  while (n > 0) {
    const std::size_t part = std::min<std::size_t>(n, MaxChunk);
    // The record after a lost one is marked, so that the capture thread never joins
    // the two sides of a gap into one buffer.
    if (Ring.WriteRecord(p, static_cast<std::uint32_t>(part), FGapPending)) {
      FGapPending = false;
    } else {
      FGapPending = true;
      Dropped.fetch_add(1, std::memory_order_relaxed);
    }
    if (p)
      p += part;
    n -= part;
  }
  Wake.Wake();
}

void TCaptureInput::End() noexcept
{
  Ended.store(true);
  Wake.Wake();
}

TCaptureChannel::TCaptureChannel(std::uint32_t rate, std::uint32_t chans, TRecordProc proc,
                                 void *user, THandle handle)
    : TCaptureInput(rate, chans), FHandle(handle), FProc(proc), FUser(user)
{
}

int TCaptureChannel::Open(ISoundSystem &system, const std::string &device)
{
  FBuffer.assign(MaxChunk, 0);
  int code = kErrOk;
  FSource = system.OpenCapture(device, *this, code);
  if (!FSource)
    return code == kErrOk ? kErrUnknown : code;
  std::lock_guard lock(FThreadMutex);
  FThread = std::thread([this] { Loop(); });
  FThreadId = FThread.get_id();
  return kErrOk;
}

bool TCaptureChannel::Play(bool)
{
  if (Ended.load())
    return Fail(kErrEnded);
  if (Started.load())
    return Succeed(), true;
  Started.store(true);
  if (!FSource->Start()) {
    Started.store(false);
    return Fail(kErrEnded);
  }
  return Succeed(), true;
}

int TCaptureChannel::Active()
{
  if (Ended.load())
    return kActiveStopped;
  return Started.load() ? kActivePlaying : kActivePaused;
}

void TCaptureChannel::Info(TChannelInfo &info)
{
  info.Freq = Rate;
  info.Chans = Chans;
}

std::uint64_t TCaptureChannel::Position()
{
  return Succeed(), Delivered.load();
}

// Gathers the source's pieces (10 ms to 30 ms each, typically) into buffers of
// kCaptureTargetMs to kCaptureChunkMs and hands them on in order. Where captured audio
// was lost (the record callback fell behind by more than the ring holds), it hands on
// what came before and ends the channel: a take never gets a hole that nobody knows of.
void TCaptureChannel::Loop() noexcept
{
  std::size_t filled = 0;
  auto firstAt = Clock::now();
  auto deliver = [&]() noexcept {
    const auto n = static_cast<std::uint32_t>(filled);
    filled = 0;
    if (n == 0)
      return true;
    Delivered.fetch_add(n);
    if (n > Largest.load(std::memory_order_relaxed))
      Largest.store(n, std::memory_order_relaxed);
    const bool more = FProc(FHandle, FBuffer.data(), n, FUser);
    if (!more) {
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
    const std::uint32_t next = Ring.NextRecordSize(&afterGap);
    if (next > 0 && afterGap) {
      endAtLoss();
      break;
    }
    if (next > 0 && filled + next <= FBuffer.size()) {
      if (filled == 0)
        firstAt = Clock::now();
      filled += Ring.ReadRecord(FBuffer.data() + filled, FBuffer.size() - filled);
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
    const bool ended = Ended.load() || FDraining.load();
    if (filled > 0 && (ended || Clock::now() - firstAt >= milliseconds(kCaptureChunkMs))) {
      if (!deliver())
        break;
      continue;
    }
    if (ended)
      break; // the device is gone or stopped, and everything it gave has been handed on
    Wake.Wait(seen, filled > 0 ? 10 : 200);
  }
}

void TCaptureChannel::Drain() noexcept
{
  if (std::this_thread::get_id() == FThreadId)
    return; // a record callback that stops its own channel takes nothing more
  if (Started.load() && !Ended.load()) {
    const auto t0 = Clock::now();
    const TDrainTiming timing = FSource->DrainTiming();
    const std::uint64_t latency = std::min<std::uint64_t>(timing.LatencyUs, 500000);
    const std::uint64_t target = Received.load() + UsecToBytes(latency, Rate, FrameBytes);
    const auto earliest = t0 + milliseconds(timing.EarliestMs);
    const auto deadline =
        earliest + std::chrono::microseconds(latency) + milliseconds(timing.SlackMs);
    while (!Ended.load()) {
      const auto now = Clock::now();
      if (now >= deadline || (now >= earliest && Received.load() >= target))
        break;
      std::this_thread::sleep_for(milliseconds(5));
    }
  }
  Closing.store(true);
  FSource->Stop(); // nothing more goes into the ring
  FDraining.store(true);
  Wake.Wake();
  std::lock_guard lock(FThreadMutex);
  if (FThread.joinable())
    FThread.join();
}

void TCaptureChannel::Shut() noexcept
{
  StopRequested.store(true);
  End();
  {
    std::lock_guard lock(FThreadMutex);
    // A record callback that stops its own channel cannot wait for itself; its thread
    // ends as soon as the callback returns.
    if (FThread.joinable() && std::this_thread::get_id() != FThreadId)
      FThread.join();
  }
  if (FSource)
    FSource->Stop();
}

void TCaptureChannel::Stop()
{
  Drain();
  Shut();
  Succeed();
}

void TCaptureChannel::Close() noexcept
{
  Shut();
}

TCaptureChannel::~TCaptureChannel()
{
  Shut();
  if (FThread.joinable())
    FThread.detach(); // only a callback that freed its own layer gets here
}

} // namespace praatkist::audio
