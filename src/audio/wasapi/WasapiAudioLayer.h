#pragma once
// The Windows audio layer: WASAPI (shared mode, event-driven) for the device list,
// capture and playback; libsndfile for decoding; libmp3lame for MP3 encoding.
//
// One file per concern beside this thin class: DeviceList (the capture endpoints and
// their change serial), CaptureThread (capture channels), Playback, and the decoding
// streams and encoders shared with the Linux layer (audio/DecodeEncode).
//
// Threads: the caller's threads (any, usually the window's); per capture channel a
// device thread, which only moves the client's packets into a lock-free ring, and a
// capture thread, which hands buffers to the record callback and feeds the channel's
// encoders; per playback stream a device thread, which fills the client's buffer from
// a ring, and a reader thread, which decodes the file ahead into that ring.

#include "audio/AudioLayer.h"

#include <cstdint>
#include <memory>

namespace praatkist::audio {

class TWasapiAudioLayer final : public IAudioLayer {
public:
  TWasapiAudioLayer();
  ~TWasapiAudioLayer() override;
  TWasapiAudioLayer(const TWasapiAudioLayer &) = delete;
  TWasapiAudioLayer &operator=(const TWasapiAudioLayer &) = delete;

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

  THandle EncodeMp3Start(THandle channel, int kbps, const std::filesystem::path &file,
                         bool autoFree) override;
  bool EncodeIsActive(THandle encoder) override;
  bool EncodeStop(THandle encoder) override;

  // Diagnostics of a capture channel (not part of the audio layer): captured
  // chunks lost because the capture thread fell behind, and the size of the
  // largest buffer handed to the record callback so far.
  std::uint64_t CaptureDroppedChunks(THandle channel);
  std::uint32_t CaptureLargestBuffer(THandle channel);

  struct TImpl;

private:
  std::unique_ptr<TImpl> F;
};

} // namespace praatkist::audio
