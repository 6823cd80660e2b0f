#include "support/ScriptedAudioLayer.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace praatkist::test {

using namespace audio;

TScriptedAudioLayer::TScriptedAudioLayer()
{
  Devices = {
      {"Microfoon", "mic", kDeviceEnabled | kDeviceDefault},
      {"Monitor of Speakers", "speakers.monitor", kDeviceEnabled | kDeviceLoopback},
      {"Line in", "line", kDeviceEnabled},
  };
}

void TScriptedAudioLayer::FailNext(const std::string& call, int code) { FFailures[call] = code; }

bool TScriptedAudioLayer::Called(const std::string& call) const
{
  return std::find(Log.begin(), Log.end(), call) != Log.end();
}

bool TScriptedAudioLayer::Fails(const std::string& call)
{
  Log.push_back(call);
  auto it = FFailures.find(call);
  if (it == FFailures.end())
    return false;
  FError = it->second;
  FFailures.erase(it);
  return true;
}

bool TScriptedAudioLayer::Fail(int code)
{
  FError = code;
  return false;
}

bool TScriptedAudioLayer::Ok()
{
  FError = kErrOk;
  return true;
}

bool TScriptedAudioLayer::Init()
{
  if (Fails("Init"))
    return false;
  if (Initialised)
    return Fail(kErrAlready);
  Initialised = true;
  return Ok();
}

void TScriptedAudioLayer::Free()
{
  Log.push_back("Free");
  Initialised = false;
  OpenStreams.clear();
}

bool TScriptedAudioLayer::RecordGetDeviceInfo(int index, TAudioDeviceInfo& info)
{
  if (index < 0 || index >= static_cast<int>(Devices.size()))
    return Fail(kErrDevice);
  info = Devices[static_cast<std::size_t>(index)];
  if (index == RecordDevice)
    info.Flags |= kDeviceInit;
  return Ok();
}

bool TScriptedAudioLayer::RecordInit(int index)
{
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
  Log.push_back("RecordFree");
  if (RecordHandle != 0)
    ChannelStop(RecordHandle);
  RecordDevice = -1;
}

THandle TScriptedAudioLayer::RecordStart(std::uint32_t rate, std::uint32_t channels,
                                         TRecordProc proc, void* user)
{
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
  Ok();
  return RecordHandle;
}

bool TScriptedAudioLayer::ChannelPlay(THandle channel, bool restart)
{
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
  Log.push_back("ChannelStop");
  if (channel != 0 && channel == RecordHandle) {
    RecordState = kActiveStopped;
    FProc = nullptr;
    if (EncoderHandle != 0 && EncoderAutoFree) {
      EncoderActive = false;
      EncoderHandle = 0;
    }
    return;
  }
  auto it = OpenStreams.find(channel);
  if (it != OpenStreams.end())
    it->second.State = kActiveStopped;
}

int TScriptedAudioLayer::ChannelIsActive(THandle channel)
{
  if (channel != 0 && channel == RecordHandle)
    return RecordState;
  auto it = OpenStreams.find(channel);
  return it == OpenStreams.end() ? kActiveStopped : it->second.State;
}

bool TScriptedAudioLayer::Deliver(const std::vector<std::int16_t>& samples)
{
  return DeliverBytes(samples.data(), static_cast<std::uint32_t>(samples.size() * 2));
}

bool TScriptedAudioLayer::DeliverBytes(const void* data, std::uint32_t length)
{
  if (RecordState != kActivePlaying || FProc == nullptr)
    return false;
  if (EncoderActive && !EncoderFile.empty()) {
    std::ofstream out(EncoderFile, std::ios::binary | std::ios::app);
    out.write(static_cast<const char*>(data), length);
  }
  const bool keep = FProc(RecordHandle, data, length, FUser);
  if (!keep)
    RecordState = kActiveStopped;
  return keep;
}

void TScriptedAudioLayer::LoseDevice() { RecordState = kActiveStopped; }

void TScriptedAudioLayer::FailEncoder() { EncoderActive = false; }

void TScriptedAudioLayer::AddStream(const std::filesystem::path& path, TScriptedStream stream)
{
  FFiles[path] = std::move(stream);
}

THandle TScriptedAudioLayer::StreamCreateFile(const std::filesystem::path& file, bool decode)
{
  if (Fails("StreamCreateFile"))
    return 0;
  if (!decode && !Initialised)
    return Fail(kErrInit), 0;
  auto it = FFiles.find(file);
  if (it == FFiles.end())
    return Fail(kErrFileOpen), 0;
  TOpenStream s;
  s.Data = it->second;
  s.Decode = decode;
  s.Path = file;
  const THandle h = FNextHandle++;
  OpenStreams[h] = std::move(s);
  Ok();
  return h;
}

void TScriptedAudioLayer::StreamFree(THandle stream)
{
  Log.push_back("StreamFree");
  OpenStreams.erase(stream);
}

bool TScriptedAudioLayer::ChannelGetInfo(THandle channel, TChannelInfo& info)
{
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
  if (Fails("ChannelGetLength"))
    return kPositionError;
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end())
    return Fail(kErrHandle), kPositionError;
  const auto& d = it->second.Data;
  Ok();
  if (d.ReportedLength != ~std::uint64_t{0} - 1)
    return d.ReportedLength;
  return d.Samples.size() * 2;
}

std::uint64_t TScriptedAudioLayer::ChannelGetPosition(THandle channel)
{
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end())
    return Fail(kErrHandle), kPositionError;
  Ok();
  return it->second.Position;
}

bool TScriptedAudioLayer::ChannelSetPosition(THandle channel, std::uint64_t bytes)
{
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
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end())
    return Fail(kErrHandle), -1.0;
  const auto& d = it->second.Data;
  const std::uint32_t chans = d.Chans == 0 ? 1 : d.Chans;
  Ok();
  return static_cast<double>(bytes) / (static_cast<double>(d.Freq) * chans * 2.0);
}

bool TScriptedAudioLayer::ChannelGetLevelEx(THandle channel, float levels[2], float)
{
  if (Fails("ChannelGetLevelEx"))
    return false;
  if (OpenStreams.find(channel) == OpenStreams.end())
    return Fail(kErrHandle);
  levels[0] = Level[0];
  levels[1] = Level[1];
  return Ok();
}

std::uint32_t TScriptedAudioLayer::ChannelGetData(THandle channel, void* buffer,
                                                  std::uint32_t length)
{
  if (Fails("ChannelGetData"))
    return kDataError;
  auto it = OpenStreams.find(channel);
  if (it == OpenStreams.end() || !it->second.Decode)
    return Fail(kErrHandle), kDataError;
  auto& s = it->second;
  const std::uint64_t total = s.Data.Samples.size() * 2;
  if (s.Position >= total)
    return Fail(kErrEnded), kDataError;
  const std::uint32_t frame = 2 * (s.Data.Chans == 0 ? 1 : s.Data.Chans);
  std::uint64_t n = std::min<std::uint64_t>(length - length % frame, total - s.Position);
  std::memcpy(buffer, reinterpret_cast<const char*>(s.Data.Samples.data()) + s.Position, n);
  s.Position += n;
  if (EncoderActive && EncoderHandle != 0 && !EncoderFile.empty()) {
    std::ofstream out(EncoderFile, std::ios::binary | std::ios::app);
    out.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(n));
  }
  Ok();
  return static_cast<std::uint32_t>(n);
}

void TScriptedAudioLayer::SetPlaybackPosition(THandle stream, std::uint64_t bytes, bool ended)
{
  auto it = OpenStreams.find(stream);
  if (it == OpenStreams.end())
    return;
  it->second.Position = bytes;
  if (ended)
    it->second.State = kActiveStopped;
}

THandle TScriptedAudioLayer::EncodeMp3Start(THandle channel, int kbps,
                                            const std::filesystem::path& file, bool autoFree)
{
  if (Fails("EncodeMp3Start"))
    return 0;
  if (channel == 0 || (channel != RecordHandle && OpenStreams.find(channel) == OpenStreams.end()))
    return Fail(kErrHandle), 0;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out)
    return Fail(kErrCreate), 0;
  EncoderHandle = FNextHandle++;
  EncoderActive = true;
  EncoderKbps = kbps;
  EncoderFile = file;
  EncoderAutoFree = autoFree;
  Ok();
  return EncoderHandle;
}

bool TScriptedAudioLayer::EncodeIsActive(THandle encoder)
{
  return encoder != 0 && encoder == EncoderHandle && EncoderActive;
}

void TScriptedAudioLayer::EncodeStop(THandle encoder)
{
  Log.push_back("EncodeStop");
  if (encoder != 0 && encoder == EncoderHandle) {
    EncoderActive = false;
    EncoderHandle = 0;
  }
}

} // namespace praatkist::test
