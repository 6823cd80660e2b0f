#pragma once
// The connection to the PulseAudio server (a threaded main loop and a context,
// made on first need and again after the server went away) and the queries of
// its device list.

#include "audio/AudioLayer.h"

#include <pulse/pulseaudio.h>

#include <string>
#include <vector>

namespace praatkist::audio::pulse {

// Not thread-safe: the layer guards it with its own lock.
struct TPulseConnection {
  std::string Server;  // empty: the user's default server
  pa_threaded_mainloop* Ml = nullptr;
  pa_context* Ctx = nullptr;
  std::vector<TAudioDeviceInfo> Devices;
  bool DevicesRead = false;

  TPulseConnection() = default;
  TPulseConnection(const TPulseConnection&) = delete;
  TPulseConnection& operator=(const TPulseConnection&) = delete;

  // A ready context, connecting (again) when there is none.
  bool EnsureConnected();
  // Ends the context and the main loop.
  void Disconnect();
  // Reads the source list afresh into Devices.
  bool ReadDevices();
  bool ServerDefaults(std::string& source, std::string& sink);
  bool SourceExists(const std::string& name);
};

} // namespace praatkist::audio::pulse
