// The Linux sound system under the layer core: a PulseAudio server reached through
// libpulse's asynchronous API on a threaded main loop.

#include "audio/layer/LayerCore.h"
#include "audio/layer/pulse/Connection.h"
#include "audio/layer/pulse/PulseShared.h"
#include "audio/layer/pulse/Streams.h"

#include <cstdlib>

namespace praatkist::audio {

namespace {

class TPulseSystem final : public ISoundSystem {
public:
  // The server is the one the environment names now (PULSE_SERVER), or the user's
  // default socket: later changes of the environment do not move the layer.
  TPulseSystem()
  {
    if (const char *s = std::getenv("PULSE_SERVER"))
      FConn.Server = s;
  }

  int OpenOutput() override
  {
    std::string source, sink;
    if (!FConn.EnsureConnected() || !FConn.ServerDefaults(source, sink))
      return kErrDriver;
    return sink.empty() ? kErrDevice : kErrOk;
  }

  int ReadDevices(std::vector<TAudioDeviceInfo> &list) override
  {
    return FConn.EnsureConnected() && FConn.ReadDevices(list) ? kErrOk : kErrDriver;
  }

  int DefaultInput(std::string &id) override
  {
    std::string sink;
    return FConn.EnsureConnected() && FConn.ServerDefaults(id, sink) ? kErrOk : kErrDriver;
  }

  int CheckInput(const std::string &id) override
  {
    if (!FConn.EnsureConnected())
      return kErrDriver;
    if (FConn.SourceExists(id))
      return kErrOk;
    return pulse::ContextReady(FConn.Ctx) ? kErrDevice : kErrDriver;
  }

  std::unique_ptr<ICaptureSource> OpenCapture(const std::string &id, TCaptureInput &input,
                                              int &code) override
  {
    return pulse::OpenCapture(FConn, id, input, code);
  }

  std::unique_ptr<IPlaybackSink> OpenPlayback(TPlaybackOutput &output, int &code) override
  {
    return pulse::OpenPlayback(FConn, output, code);
  }

  void Watch() override { FConn.Watch(); }
  std::uint32_t Serial() const noexcept override { return FConn.Serial.load(); }
  void Close() override { FConn.Disconnect(); }

private:
  pulse::TPulseConnection FConn;
};

} // namespace

std::unique_ptr<IAudioLayer> CreateSystemAudioLayer()
{
  return std::make_unique<TLayerCore>(std::make_unique<TPulseSystem>());
}

} // namespace praatkist::audio
