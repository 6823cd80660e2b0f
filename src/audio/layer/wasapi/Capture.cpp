#include "audio/layer/CaptureChannel.h"
#include "audio/layer/wasapi/Streams.h"
#include "audio/layer/wasapi/WasapiShared.h"

#include <chrono>
#include <thread>

namespace praatkist::audio::wasapi {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class TWasapiCapture final : public ICaptureSource {
public:
  explicit TWasapiCapture(TCaptureInput &input) : FIn(input) {}
  ~TWasapiCapture() override { Stop(); }

  // Opens the endpoint on the device thread; an error code.
  int Open(const std::string &id)
  {
    if (!FCommand.Get())
      return kErrMemory;
    FDevice = std::thread([this, wide = Wide(id)] { DeviceLoop(wide); });
    return AwaitOpen(FOpenResult);
  }
  bool Start() override
  {
    FCommand.Set();
    const auto deadline = Clock::now() + milliseconds(kOpenWaitMs);
    while (!FRunning.load() && !FIn.Ended.load() && Clock::now() < deadline)
      std::this_thread::sleep_for(milliseconds(1));
    return FRunning.load();
  }
  // The client's stream latency, in packets of about 10 ms.
  TDrainTiming DrainTiming() override { return {std::uint64_t{FLatencyMs.load()} * 1000u, 20, 20}; }
  void Stop() noexcept override
  {
    FQuit.store(true);
    FCommand.Set();
    if (FDevice.joinable())
      FDevice.join();
  }

private:
  void DeviceLoop(const std::wstring &id) noexcept;

  TCaptureInput &FIn;
  TEvent FCommand; // wakes the device thread: play or quit
  std::thread FDevice;
  std::atomic<int> FOpenResult{-2};         // the device thread's answer; -2 while opening
  std::atomic<bool> FRunning{false};        // the device thread has started the client
  std::atomic<bool> FQuit{false};           // take nothing more from the device
  std::atomic<std::uint32_t> FLatencyMs{0}; // the client's stream latency
};

// The device thread: opens the client, starts it at ChannelPlay and pushes every packet
// into the channel's ring. A client that fails, or a device that has delivered nothing
// for kNoDataMs (a vanished device or audio server may just go quiet), ends the channel.
void TWasapiCapture::DeviceLoop(const std::wstring &id) noexcept
{
  TComScope com;
  TEvent due;
  TCom<IAudioClient> client;
  TCom<IAudioCaptureClient> capture;
  int code = com.Ok() && due.Get()
                 ? OpenClient(id, eCapture, FIn.Rate, FIn.Chans, due.Get(), client)
                 : kErrDriver;
  if (code == kErrOk &&
      FAILED(client->GetService(__uuidof(IAudioCaptureClient), capture.PutVoid())))
    code = kErrDevice;
  REFERENCE_TIME latency = 0;
  if (code == kErrOk && SUCCEEDED(client->GetStreamLatency(&latency)))
    FLatencyMs.store(static_cast<std::uint32_t>(latency / 10000));
  FOpenResult.store(code);
  if (code != kErrOk)
    return;

  const HANDLE waits[2] = {due.Get(), FCommand.Get()};
  auto lastData = Clock::now();
  bool failed = false;
  while (!FQuit.load() && FIn.Taking() && !failed) {
    if (FIn.Started.load() && !FRunning.load()) {
      failed = FAILED(client->Start());
      FRunning.store(!failed);
      lastData = Clock::now();
    }
    ::WaitForMultipleObjects(2, waits, FALSE, 100);
    if (!FRunning.load() || FQuit.load())
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
      const std::size_t n = std::size_t{frames} * FIn.FrameBytes;
      got = got || n > 0;
      FIn.Push((flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : data, n); // null: silence
      capture->ReleaseBuffer(frames);
    }
    if (got)
      lastData = Clock::now();
    else if (Clock::now() - lastData > milliseconds(kNoDataMs))
      failed = true;
  }
  if (failed)
    FIn.End();
  if (FRunning.load())
    client->Stop();
}

} // namespace

std::unique_ptr<ICaptureSource> OpenCapture(const std::string &id, TCaptureInput &input, int &code)
{
  auto capture = std::make_unique<TWasapiCapture>(input);
  code = capture->Open(id);
  return code == kErrOk ? std::move(capture) : nullptr;
}

} // namespace praatkist::audio::wasapi
