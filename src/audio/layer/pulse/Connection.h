#pragma once
// The connection to the PulseAudio server (a threaded main loop and a context,
// made on first need and again after the server went away) and the queries of
// its device list.

#include "audio/AudioLayer.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace praatkist::audio::pulse {

// Not thread-safe: the layer guards it with its own lock.
struct TPulseConnection {
  std::string Server; // empty: the user's default server
  pa_threaded_mainloop *Ml = nullptr;
  pa_context *Ctx = nullptr;
  // Bumped by the main loop thread whenever a source comes, goes or changes, the
  // server's defaults change, and when the connection is made or lost.
  std::atomic<std::uint32_t> Serial{0};
  std::atomic<bool> Up{false}; // the context has been ready and not yet lost
  std::chrono::steady_clock::time_point LastAttempt{};

  TPulseConnection() = default;
  TPulseConnection(const TPulseConnection &) = delete;
  TPulseConnection &operator=(const TPulseConnection &) = delete;

  // A ready context, connecting (again) when there is none.
  bool EnsureConnected();
  // Ends the context and the main loop.
  void Disconnect();
  // Cheap: when there is no usable connection, begins one in the background, at
  // most once a second, so that a returning server bumps Serial.
  void Watch();

private:
  bool StartMainLoop();
  bool BeginConnect(); // with the main loop locked; no waiting
  void DropContext();  // with the main loop locked
public:
  // Reads the source list afresh.
  bool ReadDevices(std::vector<TAudioDeviceInfo> &list);
  bool ServerDefaults(std::string &source, std::string &sink);
  bool SourceExists(const std::string &name);
};

} // namespace praatkist::audio::pulse
