#include "support/ScriptedAudioLayer.h"

#include "audio/codec/SndfileDecoder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

namespace praatkist::test {

using namespace audio;

namespace {

// Like a real layer, the last error is the calling thread's own.
thread_local int tError = kErrOk;

std::uint32_t Get32(const std::vector<std::uint8_t> &b, std::size_t at)
{
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
         std::uint32_t{b[at + 3]} << 24;
}

// A 16-bit PCM WAV: its rate, channels and samples (sizes past the end are cut).
bool ParseWave(const std::vector<std::uint8_t> &b, TScriptedAudioLayer::TScriptedStream &out)
{
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
      std::memcmp(b.data() + 8, "WAVE", 4) != 0)
    return false;
  bool haveFormat = false;
  std::size_t at = 12;
  while (at + 8 <= b.size()) {
    const std::uint32_t size = Get32(b, at + 4);
    const std::size_t body = at + 8;
    if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && body + 16 <= b.size()) {
      if ((b[body] | b[body + 1] << 8) != 1 || (b[body + 14] | b[body + 15] << 8) != 16)
        return false;
      out.Chans = b[body + 2] | b[body + 3] << 8;
      out.Freq = Get32(b, body + 4);
      haveFormat = true;
    } else if (std::memcmp(b.data() + at, "data", 4) == 0 && haveFormat) {
      const std::size_t n = std::min<std::size_t>(size, b.size() - body) / 2;
      out.Samples.resize(n);
      if (n > 0)
        std::memcpy(out.Samples.data(), b.data() + body, n * 2);
      return true;
    }
    at = body + size + (size & 1);
  }
  return false;
}

} // namespace

TScriptedAudioLayer::TScriptedAudioLayer()
{
  Devices = {
      {"Microfoon", "mic", kDeviceEnabled | kDeviceDefault},
      {"Monitor of Speakers", "speakers.monitor", kDeviceEnabled | kDeviceLoopback},
      {"Line in", "line", kDeviceEnabled},
  };
}

void TScriptedAudioLayer::FailNext(const std::string &call, int code, int skip)
{
  std::lock_guard lock(FLock);
  FFailures[call] = {code, skip};
}

bool TScriptedAudioLayer::Called(const std::string &call) const
{
  std::lock_guard lock(FLock);
  return std::find(Log.begin(), Log.end(), call) != Log.end();
}

bool TScriptedAudioLayer::Fails(const std::string &call)
{
  Log.push_back(call);
  auto it = FFailures.find(call);
  if (it == FFailures.end())
    return false;
  if (it->second.Skip > 0) {
    --it->second.Skip;
    return false;
  }
  tError = it->second.Code;
  FFailures.erase(it);
  return true;
}

bool TScriptedAudioLayer::Fail(int code)
{
  tError = code;
  return false;
}

bool TScriptedAudioLayer::Ok()
{
  tError = kErrOk;
  return true;
}

int TScriptedAudioLayer::ErrorGetCode()
{
  return tError;
}

bool TScriptedAudioLayer::Init()
{
  std::lock_guard lock(FLock);
  if (Fails("Init"))
    return false;
  if (Initialised)
    return Fail(kErrAlready);
  Initialised = true;
  return Ok();
}

void TScriptedAudioLayer::Free()
{
  std::lock_guard lock(FLock);
  Log.push_back("Free");
  Initialised = false;
  OpenStreams.clear();
}

bool TScriptedAudioLayer::RecordGetDeviceInfo(int index, TAudioDeviceInfo &info)
{
  std::lock_guard lock(FLock);
  if (index < 0 || index >= static_cast<int>(Devices.size()))
    return Fail(kErrDevice);
  info = Devices[static_cast<std::size_t>(index)];
  if (index == RecordDevice)
    info.Flags |= kDeviceInit;
  return Ok();
}

bool TScriptedAudioLayer::RecordInit(int index)
{
  std::lock_guard lock(FLock);
  if (Fails("RecordInit"))
    return false;
  if (index < 0 || index >= static_cast<int>(Devices.size()))
    return Fail(kErrDevice);
  if (RecordDevice >= 0)
    return Fail(kErrAlready);
  RecordDevice = index;
  return Ok();
}

void TScriptedAudioLayer::RecordFree()
{
  std::lock_guard lock(FLock);
  Log.push_back("RecordFree");
  if (RecordHandle != 0)
    ChannelStop(RecordHandle);
  RecordDevice = -1;
}

THandle TScriptedAudioLayer::RecordStart(std::uint32_t rate, std::uint32_t channels,
                                         TRecordProc proc, void *user)
{
  std::lock_guard lock(FLock);
  if (Fails("RecordStart"))
    return 0;
  if (RecordDevice < 0)
    return Fail(kErrInit), 0;
  if (channels < 1 || channels > 2 || rate == 0)
    return Fail(kErrFormat), 0;
  RecordRate = rate;
  RecordChans = channels;
  FProc = proc;
  FUser = user;
  RecordHandle = FNextHandle++;
  RecordState = kActivePaused;
  RecordDataLost = false;
  Ok();
  return RecordHandle;
}

bool TScriptedAudioLayer::ChannelPlay(THandle channel, bool restart)
{
  std::lock_guard lock(FLock);
  if (Fails("ChannelPlay"))
    return false;
  if (channel != 0 && channel == RecordHandle) {
    if (RecordState == kActiveStopped)
      return Fail(kErrEnded);
    RecordState = kActivePlaying;
    return Ok();
  }
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end() || it->second.Decode)
    return Fail(kErrHandle);
  if (restart)
    it->second.Position = 0;
  it->second.State = kActivePlaying;
  return Ok();
}

void TScriptedAudioLayer::ChannelStop(THandle channel)
{
  std::lock_guard lock(FLock);
  Log.push_back("ChannelStop");
  if (channel != 0 && channel == RecordHandle) {
    RecordState = kActiveStopped;
    FProc = nullptr;
    return;
  }
  auto it = OpenStreams.find(channel);
  if (it != OpenStreams.end())
    it->second.State = kActiveStopped;
}

int TScriptedAudioLayer::ChannelIsActive(THandle channel)
{
  std::lock_guard lock(FLock);
  if (channel != 0 && channel == RecordHandle)
    return RecordState;
  auto it = OpenStreams.find(channel);
  return it == OpenStreams.end() ? kActiveStopped : it->second.State;
}

bool TScriptedAudioLayer::Deliver(const std::vector<std::int16_t> &samples)
{
  std::lock_guard lock(FLock);
  return DeliverBytes(samples.data(), static_cast<std::uint32_t>(samples.size() * 2));
}

bool TScriptedAudioLayer::DeliverBytes(const void *data, std::uint32_t length)
{
  std::lock_guard lock(FLock);
  if (RecordState != kActivePlaying || FProc == nullptr)
    return false;
  const bool keep = FProc(RecordHandle, data, length, FUser);
  if (!keep)
    RecordState = kActiveStopped;
  return keep;
}

void TScriptedAudioLayer::LoseDevice()
{
  std::lock_guard lock(FLock);
  RecordState = kActiveStopped;
}

void TScriptedAudioLayer::LoseData()
{
  std::lock_guard lock(FLock);
  LoseDevice();
  RecordDataLost = true;
}

bool TScriptedAudioLayer::ChannelDataLost(THandle channel)
{
  std::lock_guard lock(FLock);
  if (channel == 0 || channel != RecordHandle)
    return Fail(kErrHandle);
  Ok();
  return RecordDataLost;
}

void TScriptedAudioLayer::AddStream(const std::filesystem::path &path, TScriptedStream stream)
{
  std::lock_guard lock(FLock);
  FFiles[path] = std::move(stream);
}

namespace {

// Any other file the real layer decodes (an MP3), decoded whole by the same decoder.
bool DecodeWithSndfile(const std::filesystem::path &file, TScriptedAudioLayer::TScriptedStream &out)
{
  audio::TSndfileDecoder dec;
  if (dec.Open(file) != kErrOk)
    return false;
  out.Freq = dec.Rate();
  out.Chans = dec.Chans();
  out.Samples.assign(static_cast<std::size_t>(dec.Frames() * dec.Chans()), 0);
  const std::size_t got =
      dec.ReadFrames(out.Samples.data(), static_cast<std::size_t>(dec.Frames()));
  out.Samples.resize(got * dec.Chans());
  return true;
}

} // namespace

THandle TScriptedAudioLayer::StreamCreateFile(const std::filesystem::path &file, bool decode)
{
  std::lock_guard lock(FLock);
  if (Fails("StreamCreateFile"))
    return 0;
  if (!decode && !Initialised)
    return Fail(kErrInit), 0;
  TOpenStream s;
  auto it = FFiles.find(file);
  if (it != FFiles.end()) {
    s.Data = it->second;
  } else {
    std::ifstream in(file, std::ios::binary);
    if (!in)
      return Fail(kErrFileOpen), 0;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    if (!ParseWave(bytes, s.Data) && !DecodeWithSndfile(file, s.Data))
      return Fail(kErrFileForm), 0;
  }
  s.Decode = decode;
  s.Path = file;
  const THandle h = FNextHandle++;
  OpenStreams[h] = std::move(s);
  Ok();
  return h;
}

void TScriptedAudioLayer::StreamFree(THandle stream)
{
  std::lock_guard lock(FLock);
  Log.push_back("StreamFree");
  OpenStreams.erase(stream);
}

bool TScriptedAudioLayer::ChannelGetInfo(THandle channel, TChannelInfo &info)
{
  std::lock_guard lock(FLock);
  if (Fails("ChannelGetInfo"))
    return false;
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end())
    return Fail(kErrHandle);
  info.Freq = it->second.Data.Freq;
  info.Chans = it->second.Data.Chans;
  return Ok();
}

std::uint64_t TScriptedAudioLayer::ChannelGetLength(THandle channel)
{
  std::lock_guard lock(FLock);
  if (Fails("ChannelGetLength"))
    return kPositionError;
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end())
    return Fail(kErrHandle), kPositionError;
  const auto &d = it->second.Data;
  Ok();
  if (d.ReportedLength != ~std::uint64_t{0} - 1)
    return d.ReportedLength;
  return d.Samples.size() * 2;
}

std::uint64_t TScriptedAudioLayer::ChannelGetPosition(THandle channel)
{
  std::lock_guard lock(FLock);
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end())
    return Fail(kErrHandle), kPositionError;
  Ok();
  return it->second.Position;
}

bool TScriptedAudioLayer::ChannelSetPosition(THandle channel, std::uint64_t bytes)
{
  std::lock_guard lock(FLock);
  if (Fails("ChannelSetPosition"))
    return false;
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end())
    return Fail(kErrHandle);
  if (bytes > it->second.Data.Samples.size() * 2)
    return Fail(kErrPosition);
  it->second.Position = bytes;
  return Ok();
}

double TScriptedAudioLayer::ChannelBytes2Seconds(THandle channel, std::uint64_t bytes)
{
  std::lock_guard lock(FLock);
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end())
    return Fail(kErrHandle), -1.0;
  const auto &d = it->second.Data;
  const std::uint32_t chans = d.Chans == 0 ? 1 : d.Chans;
  Ok();
  return static_cast<double>(bytes) / (static_cast<double>(d.Freq) * chans * 2.0);
}

bool TScriptedAudioLayer::ChannelGetLevelEx(THandle channel, float levels[2], float)
{
  std::lock_guard lock(FLock);
  if (Fails("ChannelGetLevelEx"))
    return false;
  if (OpenStreams.find(channel) == OpenStreams.end())
    return Fail(kErrHandle);
  levels[0] = Level[0];
  levels[1] = Level[1];
  return Ok();
}

std::uint32_t TScriptedAudioLayer::ChannelGetData(THandle channel, void *buffer,
                                                  std::uint32_t length)
{
  std::lock_guard lock(FLock);
  if (Fails("ChannelGetData"))
    return kDataError;
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end() || !it->second.Decode)
    return Fail(kErrHandle), kDataError;
  auto &s = it->second;
  const std::uint64_t total = s.Data.Samples.size() * 2;
  if (s.Position >= total)
    return Fail(kErrEnded), kDataError;
  const std::uint32_t frame = 2 * (s.Data.Chans == 0 ? 1 : s.Data.Chans);
  std::uint64_t n = std::min<std::uint64_t>(length - length % frame, total - s.Position);
  std::memcpy(buffer, reinterpret_cast<const char *>(s.Data.Samples.data()) + s.Position, n);
  s.Position += n;
  Ok();
  return static_cast<std::uint32_t>(n);
}

void TScriptedAudioLayer::SetPlaybackPosition(THandle stream, std::uint64_t bytes, bool ended)
{
  std::lock_guard lock(FLock);
  auto it = OpenStreams.find(stream);
  if (it == OpenStreams.end())
    return;
  it->second.Position = bytes;
  if (ended)
    it->second.State = kActiveStopped;
}

} // namespace praatkist::test
