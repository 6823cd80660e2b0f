#include "audio/layer/LayerCore.h"

#include "audio/layer/CaptureChannel.h"
#include "audio/layer/DecodingStream.h"
#include "audio/layer/LayerError.h"
#include "audio/layer/PlayStream.h"

namespace praatkist::audio {

TLayerCore::TLayerCore(std::unique_ptr<ISoundSystem> system) : FSystem(std::move(system)) {}

TLayerCore::~TLayerCore()
{
  Free();
}

int TLayerCore::ErrorGetCode()
{
  return LastError();
}

std::shared_ptr<TChannel> TLayerCore::Find(THandle h)
{
  std::lock_guard lock(FApi);
  auto it = FChannels.find(h);
  return it == FChannels.end() ? nullptr : it->second;
}

template <class T, class TCall> T TLayerCore::OnChannel(THandle h, T failed, TCall call)
{
  return Guarded(failed, [&] {
    auto c = Find(h);
    return c ? call(*c) : (Fail(kErrHandle), failed);
  });
}

std::shared_ptr<TCaptureChannel> TLayerCore::FindCapture(THandle h)
{
  return std::dynamic_pointer_cast<TCaptureChannel>(Find(h));
}

THandle TLayerCore::NewHandle()
{
  for (;;) {
    const THandle h = FNextHandle++;
    if (h != 0 && !FChannels.count(h))
      return h;
  }
}

template <class TPick> void TLayerCore::CloseChannels(TPick pick)
{
  std::vector<std::shared_ptr<TChannel>> closing;
  {
    std::lock_guard lock(FApi);
    for (auto it = FChannels.begin(); it != FChannels.end();) {
      if (pick(*it->second)) {
        closing.push_back(std::move(it->second));
        it = FChannels.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto &c : closing)
    c->Close();
}

// ---- library ---------------------------------------------------------------------

bool TLayerCore::Init()
{
  return Guarded(false, [&] {
    std::lock_guard lock(FApi);
    if (FInitialised)
      return Fail(kErrAlready);
    if (const int code = FSystem->OpenOutput(); code != kErrOk)
      return Fail(code);
    FInitialised = true;
    return Succeed(), true;
  });
}

void TLayerCore::Free()
{
  Guarded([&] {
    CloseChannels([](TChannel &) { return true; });
    std::lock_guard lock(FApi);
    FInitialised = false;
    FRecordOpen = false;
    FRecordDevice.clear();
    FSystem->Close();
    FDevices.clear();
    FDevicesRead = false;
    Succeed();
  });
}

// ---- capture devices -------------------------------------------------------------

int TLayerCore::ReadDevices()
{
  std::vector<TAudioDeviceInfo> list;
  const int code = FSystem->ReadDevices(list);
  FDevicesRead = code == kErrOk;
  if (FDevicesRead)
    FDevices = std::move(list);
  return code;
}

bool TLayerCore::RecordGetDeviceInfo(int index, TAudioDeviceInfo &info)
{
  return Guarded(false, [&] {
    std::lock_guard lock(FApi);
    if (index < 0)
      return Fail(kErrDevice);
    if (index == 0 || !FDevicesRead) {
      if (const int code = ReadDevices(); code != kErrOk)
        return Fail(code);
    }
    if (static_cast<std::size_t>(index) >= FDevices.size())
      return Fail(kErrDevice);
    info = FDevices[static_cast<std::size_t>(index)];
    if (FRecordOpen && info.Driver == FRecordDevice)
      info.Flags |= kDeviceInit;
    return Succeed(), true;
  });
}

std::uint32_t TLayerCore::DeviceListSerial()
{
  Guarded([&] {
    // Never waits: while another call holds the lock, the serial as it is.
    std::unique_lock lock(FApi, std::try_to_lock);
    if (lock.owns_lock())
      FSystem->Watch();
  });
  return FSystem->Serial();
}

bool TLayerCore::RecordInit(int index)
{
  return Guarded(false, [&] {
    std::lock_guard lock(FApi);
    if (FRecordOpen)
      return Fail(kErrAlready);
    if (index < -1)
      return Fail(kErrDevice);
    std::string id;
    if (index == -1) {
      if (const int code = FSystem->DefaultInput(id); code != kErrOk)
        return Fail(code);
    } else {
      if (!FDevicesRead) {
        if (const int code = ReadDevices(); code != kErrOk)
          return Fail(code);
      }
      if (static_cast<std::size_t>(index) >= FDevices.size())
        return Fail(kErrDevice);
      id = FDevices[static_cast<std::size_t>(index)].Driver;
    }
    const int code = id.empty() ? kErrDevice : FSystem->CheckInput(id);
    if (code != kErrOk)
      return Fail(code);
    FRecordDevice = id;
    FRecordOpen = true;
    return Succeed(), true;
  });
}

void TLayerCore::RecordFree()
{
  Guarded([&] {
    CloseChannels([](TChannel &c) { return c.IsCapture(); });
    std::lock_guard lock(FApi);
    FRecordOpen = false;
    FRecordDevice.clear();
    Succeed();
  });
}

THandle TLayerCore::RecordStart(std::uint32_t rate, std::uint32_t channels, TRecordProc proc,
                                void *user)
{
  return Guarded(THandle{0}, [&]() -> THandle {
    std::lock_guard lock(FApi);
    if (!FRecordOpen)
      return Fail(kErrInit), 0;
    if (!proc)
      return Fail(kErrIllegalParam), 0;
    if (channels < 1 || channels > 2 || rate < 8000 || rate > 192000)
      return Fail(kErrFormat), 0;
    const THandle h = NewHandle();
    auto c = std::make_shared<TCaptureChannel>(rate, channels, proc, user, h);
    if (const int code = c->Open(*FSystem, FRecordDevice); code != kErrOk)
      return Fail(code), 0;
    FChannels[h] = std::move(c);
    return Succeed(), h;
  });
}

// ---- channels --------------------------------------------------------------------

bool TLayerCore::ChannelPlay(THandle channel, bool restart)
{
  return OnChannel(channel, false, [&](TChannel &c) { return c.Play(restart); });
}

void TLayerCore::ChannelStop(THandle channel)
{
  OnChannel(channel, 0, [](TChannel &c) { return c.Stop(), 0; });
}

int TLayerCore::ChannelIsActive(THandle channel)
{
  return OnChannel(channel, int{kActiveStopped}, [](TChannel &c) { return Succeed(), c.Active(); });
}

bool TLayerCore::ChannelDataLost(THandle channel)
{
  return Guarded(false, [&] {
    auto c = FindCapture(channel);
    return c ? (Succeed(), c->DataLost.load()) : Fail(kErrHandle);
  });
}

bool TLayerCore::ChannelGetInfo(THandle channel, TChannelInfo &info)
{
  return OnChannel(channel, false, [&](TChannel &c) { return c.Info(info), Succeed(), true; });
}

std::uint64_t TLayerCore::ChannelGetLength(THandle channel)
{
  return OnChannel(channel, kPositionError, [](TChannel &c) { return c.Length(); });
}

std::uint64_t TLayerCore::ChannelGetPosition(THandle channel)
{
  return OnChannel(channel, kPositionError, [](TChannel &c) { return c.Position(); });
}

bool TLayerCore::ChannelSetPosition(THandle channel, std::uint64_t bytes)
{
  return OnChannel(channel, false, [&](TChannel &c) { return c.SetPosition(bytes); });
}

double TLayerCore::ChannelBytes2Seconds(THandle channel, std::uint64_t bytes)
{
  TChannelInfo info;
  if (!ChannelGetInfo(channel, info) || info.Freq == 0 || info.Chans == 0)
    return -1.0;
  return static_cast<double>(bytes / (info.Chans * 2)) / info.Freq;
}

bool TLayerCore::ChannelGetLevelEx(THandle channel, float levels[2], float seconds)
{
  return OnChannel(channel, false, [&](TChannel &c) { return c.Level(levels, seconds); });
}

std::uint32_t TLayerCore::ChannelGetData(THandle channel, void *buffer, std::uint32_t length)
{
  return OnChannel(channel, kDataError, [&](TChannel &c) { return c.GetData(buffer, length); });
}

// ---- streams -----------------------------------------------------------------------

THandle TLayerCore::StreamCreateFile(const std::filesystem::path &file, bool decode)
{
  return Guarded(THandle{0}, [&]() -> THandle {
    std::shared_ptr<TChannel> c;
    if (decode) {
      auto d = std::make_shared<TDecodeStream>();
      if (const int code = d->Open(file); code != kErrOk)
        return Fail(code), 0;
      c = std::move(d);
    } else {
      {
        std::lock_guard lock(FApi);
        if (!FInitialised)
          return Fail(kErrInit), 0;
      }
      auto p = std::make_shared<TPlayStream>(*FSystem, FApi);
      if (const int code = p->Open(file); code != kErrOk)
        return Fail(code), 0;
      c = std::move(p);
    }
    std::lock_guard lock(FApi);
    const THandle h = NewHandle();
    FChannels[h] = std::move(c);
    return Succeed(), h;
  });
}

void TLayerCore::StreamFree(THandle stream)
{
  Guarded([&] {
    std::shared_ptr<TChannel> c;
    {
      std::lock_guard lock(FApi);
      auto it = FChannels.find(stream);
      if (it != FChannels.end() && !it->second->IsCapture()) {
        c = std::move(it->second);
        FChannels.erase(it);
      }
    }
    if (!c)
      return (void)Fail(kErrHandle);
    c->Close();
    Succeed();
  });
}

// ---- diagnostics -----------------------------------------------------------------------

std::uint64_t TLayerCore::CaptureDroppedChunks(THandle channel)
{
  auto c = FindCapture(channel);
  return c ? c->Dropped.load() : 0;
}

std::uint32_t TLayerCore::CaptureLargestBuffer(THandle channel)
{
  auto c = FindCapture(channel);
  return c ? c->Largest.load() : 0;
}

} // namespace praatkist::audio
