#include "audio/layer/wasapi/DeviceList.h"

#include <propvarutil.h>

#include <algorithm>

namespace praatkist::audio::wasapi {

namespace {

// PKEY_Device_FriendlyName
constexpr PROPERTYKEY kFriendlyName = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

std::string IdOf(IMMDevice *device)
{
  LPWSTR id = nullptr;
  std::string result;
  if (SUCCEEDED(device->GetId(&id)))
    result = Utf8(id);
  ::CoTaskMemFree(id);
  return result;
}

std::string FriendlyName(IMMDevice *device)
{
  TCom<IPropertyStore> store;
  if (FAILED(device->OpenPropertyStore(STGM_READ, store.Put())))
    return {};
  PROPVARIANT value;
  ::PropVariantInit(&value);
  std::string result;
  if (SUCCEEDED(store->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR)
    result = Utf8(value.pwszVal);
  ::PropVariantClear(&value);
  return result;
}

} // namespace

// Bumps the serial on every change the system reports; runs on the system's threads.
struct TDeviceList::TNotifier final : IMMNotificationClient {
  std::atomic<ULONG> Refs{1};
  std::atomic<std::uint32_t> *Serial;

  explicit TNotifier(std::atomic<std::uint32_t> *serial) : Serial(serial) {}
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override
  {
    const ULONG n = --Refs;
    if (n == 0)
      delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override
  {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IMMNotificationClient)) {
      *out = static_cast<IMMNotificationClient *>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT Bump()
  {
    Serial->fetch_add(1);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return Bump(); }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return Bump(); }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return Bump(); }
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole, LPCWSTR) override
  {
    return flow == eRender ? S_OK : Bump();
  }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY key) override
  {
    return key.fmtid == kFriendlyName.fmtid && key.pid == kFriendlyName.pid ? Bump() : S_OK;
  }
};

TDeviceList::TDeviceList() : FCom(std::make_unique<TComScope>())
{
  if (FCom->Ok() && MakeEnumerator(FNotifyEnumerator)) {
    FNotifier = new TNotifier(&Serial);
    if (FAILED(FNotifyEnumerator->RegisterEndpointNotificationCallback(FNotifier))) {
      FNotifier->Release();
      FNotifier = nullptr;
    }
  }
}

TDeviceList::~TDeviceList()
{
  if (FNotifier) {
    FNotifyEnumerator->UnregisterEndpointNotificationCallback(FNotifier);
    FNotifier->Release();
  }
  FNotifyEnumerator.Reset();
}

int TDeviceList::Enumerate(std::vector<TAudioDeviceInfo> &list)
{
  list.clear();
  TComScope com;
  TCom<IMMDeviceEnumerator> enumerator;
  if (!com.Ok() || !MakeEnumerator(enumerator))
    return kErrDriver;
  TCom<IMMDeviceCollection> all;
  if (FAILED(enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, all.Put())))
    return kErrDriver;
  std::string defaultId;
  {
    TCom<IMMDevice> device;
    if (SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, device.Put())))
      defaultId = IdOf(device.Get());
  }
  UINT count = 0;
  all->GetCount(&count);
  for (UINT i = 0; i < count; ++i) {
    TCom<IMMDevice> device;
    if (FAILED(all->Item(i, device.Put())))
      continue;
    TAudioDeviceInfo info;
    info.Driver = IdOf(device.Get());
    info.Name = FriendlyName(device.Get());
    if (info.Name.empty())
      info.Name = info.Driver;
    info.Flags = kDeviceEnabled | (info.Driver == defaultId ? std::uint32_t{kDeviceDefault} : 0u);
    list.push_back(std::move(info));
  }
  // The system's order of endpoints may change from one look to the next: the default
  // first, then by name, then by identifier.
  std::sort(list.begin(), list.end(), [](const TAudioDeviceInfo &a, const TAudioDeviceInfo &b) {
    const bool da = (a.Flags & kDeviceDefault) != 0, db = (b.Flags & kDeviceDefault) != 0;
    if (da != db)
      return da;
    if (a.Name != b.Name)
      return a.Name < b.Name;
    return a.Driver < b.Driver;
  });
  return kErrOk;
}

std::uint64_t TDeviceList::Digest(const std::vector<TAudioDeviceInfo> &list) noexcept
{
  std::uint64_t h = 1469598103934665603ull; // FNV-1a
  auto add = [&h](const std::string &s) {
    for (unsigned char c : s)
      h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0xFF) * 1099511628211ull;
  };
  for (const auto &d : list) {
    add(d.Driver);
    add(d.Name);
    h = (h ^ d.Flags) * 1099511628211ull;
  }
  return h ^ list.size();
}

void TDeviceList::Look(std::uint64_t digest)
{
  if (FLastLook != std::chrono::steady_clock::time_point{} && digest != FSeen)
    Serial.fetch_add(1);
  FSeen = digest;
  FLastLook = std::chrono::steady_clock::now();
}

int TDeviceList::ReadDevices(std::vector<TAudioDeviceInfo> &list)
{
  const int code = Enumerate(list);
  if (code == kErrOk)
    Look(Digest(list));
  return code;
}

void TDeviceList::Watch()
{
  if (std::chrono::steady_clock::now() - FLastLook < std::chrono::seconds(2))
    return;
  std::vector<TAudioDeviceInfo> list;
  Look(Enumerate(list) == kErrOk ? Digest(list) : 0);
}

int TDeviceList::DefaultCapture(std::string &id)
{
  id.clear();
  TComScope com;
  TCom<IMMDeviceEnumerator> enumerator;
  if (!com.Ok() || !MakeEnumerator(enumerator))
    return kErrDriver;
  TCom<IMMDevice> device;
  const HRESULT hr = enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, device.Put());
  if (FAILED(hr))
    return hr == E_NOTFOUND ? kErrDevice : CodeOf(hr);
  id = IdOf(device.Get());
  return id.empty() ? kErrDevice : kErrOk;
}

bool TDeviceList::Exists(const std::string &id)
{
  TComScope com;
  TCom<IMMDeviceEnumerator> enumerator;
  TCom<IMMDevice> device;
  DWORD state = 0;
  return com.Ok() && MakeEnumerator(enumerator) &&
         SUCCEEDED(enumerator->GetDevice(Wide(id).c_str(), device.Put())) &&
         SUCCEEDED(device->GetState(&state)) && state == DEVICE_STATE_ACTIVE;
}

int TDeviceList::CheckOutput()
{
  TComScope com;
  TCom<IMMDeviceEnumerator> enumerator;
  if (!com.Ok() || !MakeEnumerator(enumerator))
    return kErrDriver;
  TCom<IMMDevice> device;
  const HRESULT hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put());
  if (SUCCEEDED(hr))
    return kErrOk;
  // No endpoint at all, in either direction: no audio system to speak of.
  TCom<IMMDeviceCollection> all;
  UINT count = 0;
  if (SUCCEEDED(enumerator->EnumAudioEndpoints(eAll, DEVICE_STATE_ACTIVE, all.Put())))
    all->GetCount(&count);
  return count == 0 ? kErrDriver : kErrDevice;
}

} // namespace praatkist::audio::wasapi
