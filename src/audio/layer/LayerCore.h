#pragma once
// The audio layer written once for every sound system: the handle tables, the dispatch
// of every call, the device list the indexes refer to, capture channels, playback
// streams and decoding streams (libsndfile). A sound system
// (ISoundSystem: pulse/ on Linux, wasapi/ on Windows) gives only what differs.
//
// Threads: the callers' (any, usually the window's); per capture channel the system's
// capture thread, which only fills the channel's ring, and the channel's capture thread,
// which hands buffers to the record callback; per
// playback stream a reader thread, which decodes the file ahead into the ring that the
// system's output plays from.

#include "audio/AudioLayer.h"
#include "audio/layer/SoundSystem.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace praatkist::audio {

class TChannel;
class TCaptureChannel;

class TLayerCore final : public IAudioLayer {
public:
  explicit TLayerCore(std::unique_ptr<ISoundSystem> system);
  ~TLayerCore() override;
  TLayerCore(const TLayerCore &) = delete;
  TLayerCore &operator=(const TLayerCore &) = delete;

  bool Init() override;
  void Free() override;
  int ErrorGetCode() override;

  bool RecordGetDeviceInfo(int index, TAudioDeviceInfo &info) override;
  std::uint32_t DeviceListSerial() override;
  bool RecordInit(int index) override;
  void RecordFree() override;
  THandle RecordStart(std::uint32_t rate, std::uint32_t channels, TRecordProc proc,
                      void *user) override;

  bool ChannelPlay(THandle channel, bool restart) override;
  void ChannelStop(THandle channel) override;
  int ChannelIsActive(THandle channel) override;
  bool ChannelDataLost(THandle channel) override;
  bool ChannelGetInfo(THandle channel, TChannelInfo &info) override;
  std::uint64_t ChannelGetLength(THandle channel) override;
  std::uint64_t ChannelGetPosition(THandle channel) override;
  bool ChannelSetPosition(THandle channel, std::uint64_t bytes) override;
  double ChannelBytes2Seconds(THandle channel, std::uint64_t bytes) override;
  bool ChannelGetLevelEx(THandle channel, float levels[2], float seconds) override;
  std::uint32_t ChannelGetData(THandle channel, void *buffer, std::uint32_t length) override;

  THandle StreamCreateFile(const std::filesystem::path &file, bool decode) override;
  void StreamFree(THandle stream) override;

  // Diagnostics of a capture channel (not part of the audio layer): captured chunks lost
  // because the capture thread fell behind, and the size of the largest buffer handed to
  // the record callback so far.
  std::uint64_t CaptureDroppedChunks(THandle channel);
  std::uint32_t CaptureLargestBuffer(THandle channel);

private:
  std::shared_ptr<TChannel> Find(THandle h);
  std::shared_ptr<TCaptureChannel> FindCapture(THandle h);
  // Call on the channel H, in the guard; Failed with kErrHandle when there is none.
  template <class T, class TCall> T OnChannel(THandle h, T failed, TCall call);
  THandle NewHandle(); // with FApi held
  int ReadDevices();   // with FApi held
  // Takes the channels that Pick chooses out of the table, and closes them.
  template <class TPick> void CloseChannels(TPick pick);

  std::mutex FApi; // the tables, the device list, the open flags, the sound system
  std::unique_ptr<ISoundSystem> FSystem;
  std::vector<TAudioDeviceInfo> FDevices;
  bool FDevicesRead = false;
  bool FInitialised = false;
  bool FRecordOpen = false;
  std::string FRecordDevice; // the system's identifier of the open capture device
  THandle FNextHandle = 1;
  std::map<THandle, std::shared_ptr<TChannel>> FChannels;
};

} // namespace praatkist::audio
