// The Windows sound system under the layer core: WASAPI in shared, event-driven mode,
// each client run by a device thread of its own.

#include "audio/layer/LayerCore.h"
#include "audio/layer/wasapi/DeviceList.h"
#include "audio/layer/wasapi/Streams.h"

namespace praatkist::audio {

namespace {

class TWasapiSystem final : public ISoundSystem {
  wasapi::TDeviceList FEndpoints;

public:
  std::uint32_t Serial() const noexcept override { return FEndpoints.Serial.load(); }
  void Watch() override { FEndpoints.Watch(); }
  int OpenOutput() override { return FEndpoints.CheckOutput(); }
  void Close() override {} // nothing stays connected

  int ReadDevices(std::vector<TAudioDeviceInfo> &list) override
  {
    return FEndpoints.ReadDevices(list);
  }
  int DefaultInput(std::string &id) override { return FEndpoints.DefaultCapture(id); }
  int CheckInput(const std::string &id) override
  {
    return FEndpoints.Exists(id) ? kErrOk : kErrDevice;
  }
  std::unique_ptr<IPlaybackSink> OpenPlayback(TPlaybackOutput &output, int &code) override
  {
    return wasapi::OpenPlayback(output, code);
  }
  std::unique_ptr<ICaptureSource> OpenCapture(const std::string &id, TCaptureInput &input,
                                              int &code) override
  {
    return wasapi::OpenCapture(id, input, code);
  }
};

} // namespace

std::unique_ptr<IAudioLayer> CreateSystemAudioLayer()
{
  return std::make_unique<TLayerCore>(std::make_unique<TWasapiSystem>());
}

} // namespace praatkist::audio
