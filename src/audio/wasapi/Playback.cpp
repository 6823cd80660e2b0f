#include "audio/wasapi/Playback.h"

#include <algorithm>
#include <cmath>

namespace praatkist::audio::wasapi {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

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
        Command.Set();
        return;
      }
      RecordLevels(ReadBuf.data(), got);
      Ring->Write(ReadBuf.data(), got * FrameBytes);
      continue;
    }
    ReaderWake.Wait(seen, 50);
  }
}

// The device thread: opens the default output, then fills the client's buffer from the
// ring whenever it asks, starts and pauses the client as asked, and reads the client's
// clock into Heard. A client that fails, or a clock that stands still for kNoDataMs while
// playing (a vanished device or server may just go quiet), fails the stream.
void TPlayStream::DeviceLoop() noexcept
{
  TComScope com;
  TEvent due;
  TCom<IAudioClient> client;
  TCom<IAudioRenderClient> render;
  TCom<IAudioClock> clock;
  UINT32 bufferFrames = 0;
  int code =
      com.Ok() && due.Get() ? OpenClient({}, eRender, Rate, Chans, due.Get(), client) : kErrDriver;
  if (code == kErrOk &&
      (FAILED(client->GetService(__uuidof(IAudioRenderClient), render.PutVoid())) ||
       FAILED(client->GetService(__uuidof(IAudioClock), clock.PutVoid())) ||
       FAILED(client->GetBufferSize(&bufferFrames))))
    code = kErrDevice;
  UINT64 frequency = 0;
  if (code == kErrOk && (FAILED(clock->GetFrequency(&frequency)) || frequency == 0))
    code = kErrDevice;
  OpenResult.store(code);
  if (code != kErrOk)
    return;

  const HANDLE waits[2] = {due.Get(), Command.Get()};
  bool failed = false;
  UINT64 lastClock = 0;
  auto clockMovedAt = Clock::now();
  while (!DeviceStop.load() && !failed) {
    if (WantRunning.load() != Running.load()) {
      const bool run = WantRunning.load();
      failed = FAILED(run ? client->Start() : client->Stop());
      Running.store(run && !failed);
      clockMovedAt = Clock::now();
    }
    // Top up the buffer: the first fill goes in before the client starts.
    UINT32 padding = 0;
    if (FAILED(client->GetCurrentPadding(&padding))) {
      failed = true;
      break;
    }
    const std::size_t room = bufferFrames > padding ? bufferFrames - padding : 0;
    const std::size_t frames = std::min(room, Ring->ReadableBytes() / FrameBytes);
    if (frames > 0) {
      BYTE *data = nullptr;
      if (FAILED(render->GetBuffer(static_cast<UINT32>(frames), &data))) {
        failed = true;
        break;
      }
      Ring->Read(data, frames * FrameBytes);
      render->ReleaseBuffer(static_cast<UINT32>(frames), 0);
      Written.fetch_add(frames * FrameBytes);
      ReaderWake.Wake();
    }
    // The clock counts frames, or bytes (wine): either way position / frequency is
    // seconds heard.
    UINT64 position = 0;
    if (SUCCEEDED(clock->GetPosition(&position, nullptr))) {
      const std::uint64_t heard =
          static_cast<std::uint64_t>(static_cast<double>(position) / frequency * Rate) * FrameBytes;
      Heard.store(std::min(heard, Written.load()));
      if (position != lastClock) {
        lastClock = position;
        clockMovedAt = Clock::now();
      }
    }
    if (Eof.load() && Ring->ReadableBytes() < FrameBytes && padding == 0 && frames == 0 &&
        Running.load()) {
      Heard.store(Written.load());
      Finished.store(true);
    }
    if (Running.load() && !Finished.load() && Clock::now() - clockMovedAt > milliseconds(kNoDataMs))
      failed = true;
    ::WaitForMultipleObjects(2, waits, FALSE, Running.load() ? 20 : 100);
  }
  if (failed) {
    Failed.store(true);
    ReaderWake.Wake();
  }
  if (Running.load())
    client->Stop();
  Running.store(false);
}

void TPlayStream::StopThreads() noexcept
{
  ReaderStop.store(true);
  ReaderWake.Wake();
  if (Reader.joinable())
    Reader.join();
  DeviceStop.store(true);
  Command.Set();
  if (Device.joinable())
    Device.join();
}

TPlayStream::~TPlayStream()
{
  StopThreads();
}

int TPlayStream::Open(const std::filesystem::path &file)
{
  const int code = Dec.Open(file);
  if (code != kErrOk)
    return code;
  Rate = Dec.Rate();
  Chans = Dec.Chans();
  FrameBytes = Dec.FrameBytes();
  if (Chans > 8)
    return kErrFormat;
  LengthBytes = Dec.Frames() * FrameBytes;
  if (!Command.Get())
    return kErrMemory;
  Ring = std::make_unique<TSpscByteRing>(
      static_cast<std::size_t>(MsToBytes(kPlaybackRingMs, Rate, FrameBytes)));
  ReadBuf.assign(std::size_t{4096} * Chans, 0);
  Levels = std::make_unique<std::atomic<std::uint32_t>[]>(kLevelBlocks);
  std::lock_guard op(OpMutex);
  const int started = Start(0);
  if (started != kErrOk)
    StopThreads();
  return started;
}

int TPlayStream::Start(std::uint64_t startFrame)
{
  StopThreads();
  if (!Dec.Seek(startFrame))
    return kErrPosition;
  Ring->Reset();
  ReaderFrame = startFrame;
  BlockPeak = 0;
  ReaderStop.store(false);
  DeviceStop.store(false);
  WantRunning.store(false);
  Running.store(false);
  Eof.store(false);
  Finished.store(false);
  Failed.store(false);
  Playing.store(false);
  OpenResult.store(-2);
  BaseBytes.store(startFrame * FrameBytes);
  Written.store(0);
  Heard.store(0);
  LastPosition.store(startFrame * FrameBytes);
  try {
    Device = std::thread([this] { DeviceLoop(); });
  } catch (...) {
    return kErrUnknown;
  }
  const auto deadline = Clock::now() + milliseconds(kOpenWaitMs);
  while (OpenResult.load() == -2 && Clock::now() < deadline)
    std::this_thread::sleep_for(milliseconds(2));
  const int code = OpenResult.load() == -2 ? kErrDevice : OpenResult.load();
  if (code != kErrOk)
    return code;
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
  StopThreads();
  Playing.store(false);
  Dec.Close();
}

// What has been heard, by the client's clock, never more than the time since
// ChannelPlay allows and never going back. With OpMutex held.
std::uint64_t TPlayStream::PlayedBytes() noexcept
{
  std::uint64_t pos = LastPosition.load();
  if (Finished.load()) {
    pos = BaseBytes.load() + Written.load();
  } else if (Playing.load() && !Failed.load()) {
    const auto since = Clock::now() - StartedAt;
    const std::uint64_t bound =
        PosAtStart + MsToBytes(static_cast<std::uint64_t>(
                                   std::chrono::duration_cast<milliseconds>(since).count()),
                               Rate, FrameBytes);
    pos = std::max(pos, std::min(bound, BaseBytes.load() + Heard.load()));
  }
  pos = std::min(pos, LengthBytes);
  LastPosition.store(pos);
  return pos;
}

bool TPlayStream::Resume()
{
  WantRunning.store(true);
  Command.Set();
  const auto deadline = Clock::now() + milliseconds(kOpenWaitMs);
  while (!Running.load() && !Failed.load() && !Finished.load() && Clock::now() < deadline)
    std::this_thread::sleep_for(milliseconds(1));
  if (!Running.load() && !Finished.load())
    return Fail(kErrEnded);
  EverStarted = true;
  PosAtStart = LastPosition.load();
  StartedAt = Clock::now();
  Playing.store(true);
  return true;
}

bool TPlayStream::Play(bool restart)
{
  std::lock_guard op(OpMutex);
  if (!Device.joinable() && !Failed.load())
    return Fail(kErrHandle);
  const bool rebuild = Failed.load() || Finished.load() || (restart && EverStarted);
  if (rebuild) {
    const std::uint64_t from = restart || Finished.load() ? 0 : LastPosition.load() / FrameBytes;
    const int code = Start(from);
    if (code != kErrOk)
      return Fail(code);
  }
  if (!Resume())
    return false;
  return Succeed(), true;
}

void TPlayStream::Stop()
{
  std::lock_guard op(OpMutex);
  PlayedBytes(); // the position stays where it was stopped
  Playing.store(false);
  WantRunning.store(false);
  Command.Set();
  Succeed();
}

bool TPlayStream::SetPosition(std::uint64_t bytes)
{
  std::lock_guard op(OpMutex);
  const std::uint64_t frame = bytes / FrameBytes;
  if (frame * FrameBytes > LengthBytes)
    return Fail(kErrPosition);
  const bool wasPlaying = Playing.load() && !Finished.load() && !Failed.load();
  const int code = Start(frame);
  if (code != kErrOk)
    return Fail(code);
  if (wasPlaying && !Resume())
    return false;
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

} // namespace praatkist::audio::wasapi
