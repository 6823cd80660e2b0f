#include "audio/layer/PlayStream.h"
#include "audio/layer/wasapi/Streams.h"
#include "audio/layer/wasapi/WasapiShared.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace praatkist::audio::wasapi {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class TWasapiPlayback final : public IPlaybackSink {
public:
  explicit TWasapiPlayback(TPlaybackOutput &output) : FOut(output) {}
  ~TWasapiPlayback() override
  {
    FQuit.store(true);
    FCommand.Set();
    if (FDevice.joinable())
      FDevice.join();
  }

  // Opens the default output on the device thread; an error code.
  int Open()
  {
    if (FOut.Chans > 8)
      return kErrFormat;
    if (!FCommand.Get())
      return kErrMemory;
    FDevice = std::thread([this] { DeviceLoop(); });
    return AwaitOpen(FOpenResult);
  }
  bool Resume() override
  {
    FWantRunning.store(true);
    FCommand.Set();
    const auto deadline = Clock::now() + milliseconds(kOpenWaitMs);
    while (!FRunning.load() && !FOut.Failed.load() && !FOut.Finished.load() &&
           Clock::now() < deadline)
      std::this_thread::sleep_for(milliseconds(1));
    return FRunning.load() || FOut.Finished.load();
  }
  void Pause() noexcept override
  {
    FWantRunning.store(false);
    FCommand.Set();
  }
  // By the client's clock.
  bool Heard(std::uint64_t &bytes) noexcept override
  {
    bytes = FHeard.load();
    return true;
  }
  void Fed(bool atEnd) noexcept override
  {
    if (atEnd)
      FCommand.Set();
  }

private:
  void DeviceLoop() noexcept;

  TPlaybackOutput &FOut;
  TEvent FCommand; // wakes the device thread: play, pause or quit
  std::thread FDevice;
  std::atomic<int> FOpenResult{-2}; // the device thread's answer; -2 while opening
  std::atomic<bool> FQuit{false};
  std::atomic<bool> FWantRunning{false}; // the device thread starts or pauses the client
  std::atomic<bool> FRunning{false};     // as the device thread has it
  std::atomic<std::uint64_t> FHeard{0};  // bytes this client has played, by its clock
};

// The device thread: opens the default output, then fills the client's buffer from the
// ring whenever it asks, starts and pauses the client as asked, and reads the client's
// clock into FHeard. A client that fails, or a clock that stands still for kNoDataMs
// while playing (a vanished device or server may just go quiet), fails the stream.
void TWasapiPlayback::DeviceLoop() noexcept
{
  TComScope com;
  TEvent due;
  TCom<IAudioClient> client;
  TCom<IAudioRenderClient> render;
  TCom<IAudioClock> clock;
  UINT32 bufferFrames = 0;
  int code = com.Ok() && due.Get()
                 ? OpenClient({}, eRender, FOut.Rate, FOut.Chans, due.Get(), client)
                 : kErrDriver;
  if (code == kErrOk &&
      (FAILED(client->GetService(__uuidof(IAudioRenderClient), render.PutVoid())) ||
       FAILED(client->GetService(__uuidof(IAudioClock), clock.PutVoid())) ||
       FAILED(client->GetBufferSize(&bufferFrames))))
    code = kErrDevice;
  UINT64 frequency = 0;
  if (code == kErrOk && (FAILED(clock->GetFrequency(&frequency)) || frequency == 0))
    code = kErrDevice;
  FOpenResult.store(code);
  if (code != kErrOk)
    return;

  const std::size_t frameBytes = FOut.FrameBytes;
  const HANDLE waits[2] = {due.Get(), FCommand.Get()};
  bool failed = false;
  UINT64 lastClock = 0;
  auto clockMovedAt = Clock::now();
  while (!FQuit.load() && !failed) {
    if (FWantRunning.load() != FRunning.load()) {
      const bool run = FWantRunning.load();
      failed = FAILED(run ? client->Start() : client->Stop());
      FRunning.store(run && !failed);
      clockMovedAt = Clock::now();
    }
    // Top up the buffer: the first fill goes in before the client starts.
    UINT32 padding = 0;
    if (FAILED(client->GetCurrentPadding(&padding))) {
      failed = true;
      break;
    }
    const std::size_t room = bufferFrames > padding ? bufferFrames - padding : 0;
    const std::size_t frames = std::min(room, FOut.Ring->ReadableBytes() / frameBytes);
    if (frames > 0) {
      BYTE *data = nullptr;
      if (FAILED(render->GetBuffer(static_cast<UINT32>(frames), &data))) {
        failed = true;
        break;
      }
      FOut.Take(data, frames * frameBytes);
      render->ReleaseBuffer(static_cast<UINT32>(frames), 0);
    }
    // The clock counts frames, or bytes (wine): either way position / frequency is
    // seconds heard.
    UINT64 position = 0;
    if (SUCCEEDED(clock->GetPosition(&position, nullptr))) {
      const auto heard =
          static_cast<std::uint64_t>(static_cast<double>(position) / frequency * FOut.Rate) *
          frameBytes;
      FHeard.store(std::min(heard, FOut.Written.load()));
      if (position != lastClock) {
        lastClock = position;
        clockMovedAt = Clock::now();
      }
    }
    if (FOut.Eof.load() && FOut.Ring->ReadableBytes() < frameBytes && padding == 0 && frames == 0 &&
        FRunning.load()) {
      FHeard.store(FOut.Written.load());
      FOut.Finished.store(true);
    }
    if (FRunning.load() && !FOut.Finished.load() &&
        Clock::now() - clockMovedAt > milliseconds(kNoDataMs))
      failed = true;
    ::WaitForMultipleObjects(2, waits, FALSE, FRunning.load() ? 20 : 100);
  }
  if (failed)
    FOut.SetFailed();
  if (FRunning.load())
    client->Stop();
  FRunning.store(false);
}

} // namespace

std::unique_ptr<IPlaybackSink> OpenPlayback(TPlaybackOutput &output, int &code)
{
  auto playback = std::make_unique<TWasapiPlayback>(output);
  code = playback->Open();
  return code == kErrOk ? std::move(playback) : nullptr;
}

} // namespace praatkist::audio::wasapi
