#include "audio/layer/wasapi/WasapiShared.h"

#include <chrono>
#include <thread>

namespace praatkist::audio::wasapi {

std::string Utf8(const wchar_t *text)
{
  if (!text || !*text)
    return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1)
    return {};
  std::string result(static_cast<std::size_t>(n - 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), n, nullptr, nullptr);
  return result;
}

std::wstring Wide(const std::string &utf8)
{
  if (utf8.empty())
    return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(), n);
  return result;
}

int AwaitOpen(const std::atomic<int> &result) noexcept
{
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kOpenWaitMs);
  while (result.load() == -2 && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const int code = result.load();
  return code == -2 ? kErrDevice : code;
}

int CodeOf(HRESULT hr) noexcept
{
  switch (hr) {
  case E_OUTOFMEMORY:
    return kErrMemory;
  case AUDCLNT_E_UNSUPPORTED_FORMAT:
    return kErrFormat;
  case AUDCLNT_E_SERVICE_NOT_RUNNING:
  case REGDB_E_CLASSNOTREG:
    return kErrDriver;
  case AUDCLNT_E_DEVICE_INVALIDATED:
  case AUDCLNT_E_DEVICE_IN_USE:
  case AUDCLNT_E_ENDPOINT_CREATE_FAILED:
  case E_NOTFOUND:
    return kErrDevice;
  default:
    return kErrUnknown;
  }
}

bool MakeEnumerator(TCom<IMMDeviceEnumerator> &enumerator) noexcept
{
  return SUCCEEDED(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                      __uuidof(IMMDeviceEnumerator), enumerator.PutVoid()));
}

int OpenClient(const std::wstring &id, EDataFlow flow, std::uint32_t rate, std::uint32_t chans,
               HANDLE event, TCom<IAudioClient> &client) noexcept
{
  TCom<IMMDeviceEnumerator> enumerator;
  if (!MakeEnumerator(enumerator))
    return kErrDriver;
  TCom<IMMDevice> device;
  HRESULT hr = id.empty() ? enumerator->GetDefaultAudioEndpoint(flow, eConsole, device.Put())
                          : enumerator->GetDevice(id.c_str(), device.Put());
  if (FAILED(hr))
    return hr == E_NOTFOUND ? kErrDevice : CodeOf(hr);
  DWORD state = 0;
  if (FAILED(device->GetState(&state)) || state != DEVICE_STATE_ACTIVE)
    return kErrDevice;
  hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.PutVoid());
  if (FAILED(hr))
    return CodeOf(hr);
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(chans);
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(chans * 2);
  format.nAvgBytesPerSec = rate * chans * 2;
  const REFERENCE_TIME duration = REFERENCE_TIME{kClientBufferMs} * 10000;
  hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                          AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                              AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY,
                          duration, 0, &format, nullptr);
  if (SUCCEEDED(hr))
    hr = client->SetEventHandle(event);
  if (FAILED(hr)) {
    client.Reset();
    return CodeOf(hr) == kErrUnknown ? kErrDevice : CodeOf(hr);
  }
  return kErrOk;
}

} // namespace praatkist::audio::wasapi
