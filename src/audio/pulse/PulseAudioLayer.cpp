#include "audio/pulse/PulseAudioLayer.h"

#include "audio/DecodeEncode.h"
#include "audio/pulse/CaptureThread.h"
#include "audio/pulse/Connection.h"
#include "audio/pulse/Playback.h"
#include "audio/pulse/PulseShared.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <string>

namespace praatkist::audio {

using namespace pulse;

struct TPulseAudioLayer::TImpl {
  std::mutex Api; // handle tables, connection, device list, open flags
  TPulseConnection Conn;
  bool Initialised = false;
  bool RecordOpen = false;
  std::string RecordSource;
  THandle NextHandle = 1;
  std::map<THandle, std::shared_ptr<TCapture>> Captures;
  std::map<THandle, std::shared_ptr<TDecodeStream>> Decoders;
  std::map<THandle, std::shared_ptr<TPlayStream>> Players;
  std::map<THandle, std::shared_ptr<TEncoderEntry>> Encoders;

  // With Api held.
  THandle NewHandle()
  {
    for (;;) {
      const THandle h = NextHandle++;
      if (h != 0 && !Captures.count(h) && !Decoders.count(h) && !Players.count(h) &&
          !Encoders.count(h))
        return h;
    }
  }

  template <class T> std::shared_ptr<T> Find(std::map<THandle, std::shared_ptr<T>> &m, THandle h)
  {
    std::lock_guard lock(Api);
    auto it = m.find(h);
    return it == m.end() ? nullptr : it->second;
  }

  // Without Api held.
  static void StopCapture(TCapture &c) noexcept
  {
    c.Shut();
    c.StopEncoders(true);
  }
};

TPulseAudioLayer::TPulseAudioLayer() : F(std::make_unique<TImpl>())
{
  // The server is the one the environment names now (PULSE_SERVER), or the
  // user's default socket: later changes of the environment do not move the layer.
  if (const char *s = std::getenv("PULSE_SERVER"))
    F->Conn.Server = s;
}

TPulseAudioLayer::~TPulseAudioLayer()
{
  Free();
}

int TPulseAudioLayer::ErrorGetCode()
{
  return LastError();
}

// ---- library ---------------------------------------------------------------------

bool TPulseAudioLayer::Init()
{
  try {
    std::lock_guard lock(F->Api);
    if (F->Initialised)
      return Fail(kErrAlready);
    if (!F->Conn.EnsureConnected())
      return Fail(kErrDriver);
    std::string source, sink;
    if (!F->Conn.ServerDefaults(source, sink))
      return Fail(kErrDriver);
    if (sink.empty())
      return Fail(kErrDevice);
    F->Initialised = true;
    Succeed();
    return true;
  } catch (const std::bad_alloc &) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

void TPulseAudioLayer::Free()
{
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
    for (auto &[h, c] : captures) {
      TImpl::StopCapture(*c);
      c->StopEncoders(false);
    }
    for (auto &[h, p] : players)
      p->Free();
    for (auto &[h, d] : decoders)
      d->StopEncoders(false);
    for (auto &[h, e] : encoders)
      e->Stop();
    std::lock_guard lock(F->Api);
    F->Conn.Disconnect();
    F->Conn.Devices.clear();
    F->Conn.DevicesRead = false;
    Succeed();
  } catch (...) {
    Fail(kErrUnknown);
  }
}

// ---- capture devices -------------------------------------------------------------

bool TPulseAudioLayer::RecordGetDeviceInfo(int index, TAudioDeviceInfo &info)
{
  try {
    std::lock_guard lock(F->Api);
    if (index < 0)
      return Fail(kErrDevice);
    if (index == 0 || !F->Conn.DevicesRead) {
      if (!F->Conn.EnsureConnected() || !F->Conn.ReadDevices())
        return Fail(kErrDriver);
    }
    if (static_cast<std::size_t>(index) >= F->Conn.Devices.size())
      return Fail(kErrDevice);
    info = F->Conn.Devices[static_cast<std::size_t>(index)];
    if (F->RecordOpen && info.Driver == F->RecordSource)
      info.Flags |= kDeviceInit;
    Succeed();
    return true;
  } catch (const std::bad_alloc &) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

std::uint32_t TPulseAudioLayer::DeviceListSerial()
{
  try {
    // Never waits: while another call holds the connection, the serial as it is.
    std::unique_lock lock(F->Api, std::try_to_lock);
    if (lock.owns_lock())
      F->Conn.Watch();
  } catch (...) {
  }
  return F->Conn.Serial.load();
}

bool TPulseAudioLayer::RecordInit(int index)
{
  try {
    std::lock_guard lock(F->Api);
    if (F->RecordOpen)
      return Fail(kErrAlready);
    if (index < -1)
      return Fail(kErrDevice);
    if (!F->Conn.EnsureConnected())
      return Fail(kErrDriver);
    std::string name;
    if (index == -1) {
      std::string sink;
      if (!F->Conn.ServerDefaults(name, sink))
        return Fail(kErrDriver);
    } else {
      if (!F->Conn.DevicesRead && !F->Conn.ReadDevices())
        return Fail(kErrDriver);
      if (static_cast<std::size_t>(index) >= F->Conn.Devices.size())
        return Fail(kErrDevice);
      name = F->Conn.Devices[static_cast<std::size_t>(index)].Driver;
    }
    if (name.empty() || !F->Conn.SourceExists(name))
      return Fail(ContextReady(F->Conn.Ctx) ? kErrDevice : kErrDriver);
    F->RecordSource = name;
    F->RecordOpen = true;
    Succeed();
    return true;
  } catch (const std::bad_alloc &) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

void TPulseAudioLayer::RecordFree()
{
  try {
    std::map<THandle, std::shared_ptr<TCapture>> captures;
    {
      std::lock_guard lock(F->Api);
      captures.swap(F->Captures);
      F->RecordOpen = false;
      F->RecordSource.clear();
    }
    for (auto &[h, c] : captures) {
      TImpl::StopCapture(*c);
      c->StopEncoders(false);
    }
    Succeed();
  } catch (...) {
    Fail(kErrUnknown);
  }
}

THandle TPulseAudioLayer::RecordStart(std::uint32_t rate, std::uint32_t channels, TRecordProc proc,
                                      void *user)
{
  try {
    std::lock_guard lock(F->Api);
    if (!F->RecordOpen)
      return Fail(kErrInit), 0;
    if (!proc)
      return Fail(kErrIllegalParam), 0;
    if (channels < 1 || channels > 2 || rate < 8000 || rate > 192000)
      return Fail(kErrFormat), 0;
    if (!F->Conn.EnsureConnected())
      return Fail(kErrDriver), 0;

    auto c = std::make_shared<TCapture>();
    c->Rate = rate;
    c->Chans = channels;
    c->Proc = proc;
    c->User = user;
    c->Handle = F->NewHandle();
    const int code = c->Open(F->Conn.Ml, F->Conn.Ctx, F->RecordSource);
    if (code != kErrOk)
      return Fail(code), 0;
    F->Captures[c->Handle] = c;
    Succeed();
    return c->Handle;
  } catch (const std::bad_alloc &) {
    return Fail(kErrMemory), 0;
  } catch (...) {
    return Fail(kErrUnknown), 0;
  }
}

// ---- channels --------------------------------------------------------------------

bool TPulseAudioLayer::ChannelPlay(THandle channel, bool restart)
{
  try {
    if (auto c = F->Find(F->Captures, channel))
      return c->Play();
    if (auto p = F->Find(F->Players, channel))
      return p->Play(restart, F->Api, F->Conn);
    if (F->Find(F->Decoders, channel))
      return Fail(kErrNotAvailable);
    return Fail(kErrHandle);
  } catch (const std::bad_alloc &) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

void TPulseAudioLayer::ChannelStop(THandle channel)
{
  try {
    if (auto c = F->Find(F->Captures, channel)) {
      c->Drain();
      TImpl::StopCapture(*c);
      Succeed();
      return;
    }
    if (auto p = F->Find(F->Players, channel)) {
      p->Stop();
      return;
    }
    Fail(F->Find(F->Decoders, channel) ? kErrOk : kErrHandle);
  } catch (...) {
    Fail(kErrUnknown);
  }
}

int TPulseAudioLayer::ChannelIsActive(THandle channel)
{
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

bool TPulseAudioLayer::ChannelDataLost(THandle channel)
{
  if (auto c = F->Find(F->Captures, channel))
    return Succeed(), c->DataLost.load();
  return Fail(kErrHandle);
}

bool TPulseAudioLayer::ChannelGetInfo(THandle channel, TChannelInfo &info)
{
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

std::uint64_t TPulseAudioLayer::ChannelGetLength(THandle channel)
{
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

std::uint64_t TPulseAudioLayer::ChannelGetPosition(THandle channel)
{
  try {
    if (auto p = F->Find(F->Players, channel))
      return p->Position();
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

bool TPulseAudioLayer::ChannelSetPosition(THandle channel, std::uint64_t bytes)
{
  try {
    if (auto d = F->Find(F->Decoders, channel))
      return d->SetPosition(bytes);
    if (auto p = F->Find(F->Players, channel))
      return p->SetPosition(bytes, F->Api, F->Conn);
    if (F->Find(F->Captures, channel))
      return Fail(kErrNotAvailable);
    return Fail(kErrHandle);
  } catch (const std::bad_alloc &) {
    return Fail(kErrMemory);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

double TPulseAudioLayer::ChannelBytes2Seconds(THandle channel, std::uint64_t bytes)
{
  TChannelInfo info;
  if (!ChannelGetInfo(channel, info) || info.Freq == 0 || info.Chans == 0)
    return -1.0;
  return static_cast<double>(bytes / (info.Chans * 2)) / info.Freq;
}

bool TPulseAudioLayer::ChannelGetLevelEx(THandle channel, float levels[2], float seconds)
{
  try {
    auto p = F->Find(F->Players, channel);
    if (!p) {
      if (F->Find(F->Captures, channel) || F->Find(F->Decoders, channel))
        return Fail(kErrNotAvailable);
      return Fail(kErrHandle);
    }
    return p->Level(levels, seconds);
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

std::uint32_t TPulseAudioLayer::ChannelGetData(THandle channel, void *buffer, std::uint32_t length)
{
  try {
    auto d = F->Find(F->Decoders, channel);
    if (!d) {
      if (F->Find(F->Captures, channel) || F->Find(F->Players, channel))
        return Fail(kErrNotAvailable), kDataError;
      return Fail(kErrHandle), kDataError;
    }
    return d->GetData(buffer, length);
  } catch (const std::bad_alloc &) {
    return Fail(kErrMemory), kDataError;
  } catch (...) {
    return Fail(kErrUnknown), kDataError;
  }
}

// ---- streams -----------------------------------------------------------------------

THandle TPulseAudioLayer::StreamCreateFile(const std::filesystem::path &file, bool decode)
{
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
    const int code = p->Open(file, F->Api, F->Conn);
    if (code != kErrOk)
      return Fail(code), 0;
    std::lock_guard lock(F->Api);
    const THandle h = F->NewHandle();
    p->Handle = h;
    F->Players[h] = p;
    return Succeed(), h;
  } catch (const std::bad_alloc &) {
    return Fail(kErrMemory), 0;
  } catch (...) {
    return Fail(kErrUnknown), 0;
  }
}

void TPulseAudioLayer::StreamFree(THandle stream)
{
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
      p->Free();
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

// ---- MP3 encoder ---------------------------------------------------------------------

THandle TPulseAudioLayer::EncodeMp3Start(THandle channel, int kbps,
                                         const std::filesystem::path &file, bool autoFree)
{
  try {
    TEncodeTarget *target = nullptr;
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
    int code = kErrOk;
    auto e = OpenEncoder(file, rate, chans, kbps, autoFree, code);
    if (!e)
      return Fail(code), 0;
    THandle h;
    {
      std::lock_guard lock(F->Api);
      std::erase_if(F->Encoders, [](const auto &kv) { return !kv.second->Active.load(); });
      h = F->NewHandle();
      F->Encoders[h] = e;
    }
    target->Attach(e);
    return Succeed(), h;
  } catch (const std::bad_alloc &) {
    return Fail(kErrMemory), 0;
  } catch (...) {
    return Fail(kErrUnknown), 0;
  }
}

bool TPulseAudioLayer::EncodeIsActive(THandle encoder)
{
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

bool TPulseAudioLayer::EncodeStop(THandle encoder)
{
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
    if (!e->Stop())
      return Fail(kErrCreate);
    Succeed();
    return true;
  } catch (...) {
    return Fail(kErrUnknown);
  }
}

// ---- diagnostics -----------------------------------------------------------------------

std::uint64_t TPulseAudioLayer::CaptureDroppedChunks(THandle channel)
{
  auto c = F->Find(F->Captures, channel);
  return c ? c->Dropped.load() : 0;
}

std::uint32_t TPulseAudioLayer::CaptureLargestBuffer(THandle channel)
{
  auto c = F->Find(F->Captures, channel);
  return c ? c->Largest.load() : 0;
}

std::unique_ptr<IAudioLayer> CreateSystemAudioLayer()
{
  return std::make_unique<TPulseAudioLayer>();
}

} // namespace praatkist::audio
