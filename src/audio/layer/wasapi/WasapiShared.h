#pragma once
// What every part of the Windows audio layer shares: COM on the calling thread, a
// small owning pointer for COM interfaces, opening an endpoint's audio client in the
// shared event-driven mode, and the layer's timing figures.

#include "audio/AudioLayer.h"
#include "audio/layer/LayerError.h"
#include "audio/layer/SoundSystem.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace praatkist::audio::wasapi {

constexpr std::uint32_t kClientBufferMs = 100; // the audio client's buffer
constexpr std::uint32_t kNoDataMs = 700;       // silence of the device that ends a channel
constexpr std::uint32_t kOpenWaitMs = 5000;    // longest wait for a device thread to open

// Waits (polling) until a device thread has put its error code into Result, which holds
// -2 until then; kErrDevice when no answer comes in time.
int AwaitOpen(const std::atomic<int> &result) noexcept;

// Owns one reference of a COM interface.
template <class T> class TCom {
public:
  TCom() = default;
  ~TCom() { Reset(); }
  TCom(const TCom &) = delete;
  TCom &operator=(const TCom &) = delete;
  T *operator->() const noexcept { return FP; }
  T *Get() const noexcept { return FP; }
  explicit operator bool() const noexcept { return FP != nullptr; }
  // For the out-parameter of a call that hands over a reference.
  T **Put() noexcept
  {
    Reset();
    return &FP;
  }
  void **PutVoid() noexcept { return reinterpret_cast<void **>(Put()); }
  void Reset() noexcept
  {
    if (FP)
      FP->Release();
    FP = nullptr;
  }

private:
  T *FP = nullptr;
};

// COM for the calling thread while it lives (the multithreaded apartment, or whatever
// the thread already has, such as the window's single-threaded one).
class TComScope {
public:
  TComScope() noexcept : FHr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~TComScope()
  {
    if (SUCCEEDED(FHr))
      ::CoUninitialize();
  }
  TComScope(const TComScope &) = delete;
  TComScope &operator=(const TComScope &) = delete;
  bool Ok() const noexcept { return SUCCEEDED(FHr) || FHr == RPC_E_CHANGED_MODE; }

private:
  HRESULT FHr;
};

std::string Utf8(const wchar_t *text);
std::wstring Wide(const std::string &utf8);

// The layer's error code for a failed audio call.
int CodeOf(HRESULT hr) noexcept;

bool MakeEnumerator(TCom<IMMDeviceEnumerator> &enumerator) noexcept;

// Opens the endpoint Id (empty: the default endpoint of Flow) for 16-bit PCM at Rate
// and Chans, shared and event-driven, the system converting to and from the mix
// format; Event is signalled whenever a buffer is due. Returns an error code.
int OpenClient(const std::wstring &id, EDataFlow flow, std::uint32_t rate, std::uint32_t chans,
               HANDLE event, TCom<IAudioClient> &client) noexcept;

// A Win32 event, closed with its owner.
class TEvent {
public:
  explicit TEvent(bool manualReset = false) noexcept
      : FH(::CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr))
  {
  }
  ~TEvent()
  {
    if (FH)
      ::CloseHandle(FH);
  }
  TEvent(const TEvent &) = delete;
  TEvent &operator=(const TEvent &) = delete;
  HANDLE Get() const noexcept { return FH; }
  void Set() const noexcept { ::SetEvent(FH); }

private:
  HANDLE FH;
};

} // namespace praatkist::audio::wasapi
