#pragma once
// An audio layer driven by the test: it lists chosen devices, delivers chosen
// capture buffers when told to, serves decoding and playback streams from PCM held
// in memory, and fails a chosen call with a chosen error code. Every call is logged.
// Calls may come from several threads; the public fields are for the test to read
// and write while no engine work runs.

#include "audio/AudioLayer.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace praatkist::test {

class TScriptedAudioLayer : public audio::IAudioLayer {
public:
  // A stream the layer "decodes": StreamCreateFile on Path serves these samples.
  struct TScriptedStream {
    std::uint32_t Freq = 48000;
    std::uint32_t Chans = 2;
    std::vector<std::int16_t> Samples;
    // Length reported by ChannelGetLength; kPositionError to fail; default: the samples.
    std::uint64_t ReportedLength = ~std::uint64_t{0} - 1;
  };

  TScriptedAudioLayer();

  // ---- script ----
  std::vector<audio::TAudioDeviceInfo> Devices;
  // Fails the next call named Call ("Init", "RecordInit", "RecordStart", "ChannelPlay",
  // "StreamCreateFile", "ChannelGetInfo", ...) with Code.
  // With Skip, the call succeeds Skip more times before it fails.
  void FailNext(const std::string &call, int code, int skip = 0);
  // Calls made so far, in order, by name.
  std::vector<std::string> Log;
  bool Called(const std::string &call) const;

  // Hands one buffer to the running capture channel's callback (as the capture thread
  // would). Returns the callback's answer; false also when no channel is playing.
  bool Deliver(const std::vector<std::int16_t> &samples);
  bool DeliverBytes(const void *data, std::uint32_t length);
  // The capture device vanishes: the channel stops by itself.
  void LoseDevice();
  // The capture thread fell too far behind: audio was lost and the channel ended.
  void LoseData();

  // StreamCreateFile serves these; a path not added here is read from disk when it
  // holds a 16-bit PCM WAV (any header with "fmt " and "data" chunks), or anything else
  // the real layer decodes (an MP3: decoded whole by libsndfile, as the real layer does).
  void AddStream(const std::filesystem::path &path, TScriptedStream stream);

  // State seen by tests.
  bool Initialised = false;
  int RecordDevice = -1;
  std::uint32_t RecordRate = 0, RecordChans = 0;
  audio::THandle RecordHandle = 0;
  int RecordState = audio::kActiveStopped;
  bool RecordDataLost = false;
  // Playback level answered by ChannelGetLevelEx, and whether it fails.
  float Level[2] = {0, 0};

  // ---- the layer ----
  bool Init() override;
  void Free() override;
  int ErrorGetCode() override;
  bool RecordGetDeviceInfo(int index, audio::TAudioDeviceInfo &info) override;
  // Tests bump DeviceSerial after changing Devices, as the system reports a change.
  std::uint32_t DeviceSerial = 0;
  std::uint32_t DeviceListSerial() override { return DeviceSerial; }
  bool RecordInit(int index) override;
  void RecordFree() override;
  audio::THandle RecordStart(std::uint32_t rate, std::uint32_t channels, audio::TRecordProc proc,
                             void *user) override;
  bool ChannelPlay(audio::THandle channel, bool restart) override;
  void ChannelStop(audio::THandle channel) override;
  int ChannelIsActive(audio::THandle channel) override;
  bool ChannelDataLost(audio::THandle channel) override;
  bool ChannelGetInfo(audio::THandle channel, audio::TChannelInfo &info) override;
  std::uint64_t ChannelGetLength(audio::THandle channel) override;
  std::uint64_t ChannelGetPosition(audio::THandle channel) override;
  bool ChannelSetPosition(audio::THandle channel, std::uint64_t bytes) override;
  double ChannelBytes2Seconds(audio::THandle channel, std::uint64_t bytes) override;
  bool ChannelGetLevelEx(audio::THandle channel, float levels[2], float seconds) override;
  std::uint32_t ChannelGetData(audio::THandle channel, void *buffer, std::uint32_t length) override;
  audio::THandle StreamCreateFile(const std::filesystem::path &file, bool decode) override;
  void StreamFree(audio::THandle stream) override;

  struct TOpenStream {
    TScriptedStream Data;
    bool Decode = false;
    std::uint64_t Position = 0; // bytes
    int State = audio::kActiveStopped;
    std::filesystem::path Path;
  };
  std::map<audio::THandle, TOpenStream> OpenStreams;
  // Playback: the test moves the position of a playing stream and ends it.
  void SetPlaybackPosition(audio::THandle stream, std::uint64_t bytes, bool ended);

private:
  bool Fails(const std::string &call);
  bool Fail(int code);
  bool Ok();

  struct TFailure {
    int Code;
    int Skip;
  };
  std::map<std::string, TFailure> FFailures;
  std::map<std::filesystem::path, TScriptedStream> FFiles;
  // Every call holds this, so engine work on other threads (analysis, trimming) can
  // use the layer beside the window's thread. Recursive: the layer calls itself.
  mutable std::recursive_mutex FLock;
  audio::THandle FNextHandle = 100;
  audio::TRecordProc FProc = nullptr;
  void *FUser = nullptr;
};

} // namespace praatkist::test
