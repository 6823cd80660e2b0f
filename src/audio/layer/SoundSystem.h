#pragma once
// What a sound system gives the layer core: its connection, its list of capture
// devices, a capture source that fills a capture channel's ring, and a playback sink
// that drains a playback stream's ring. Handles, the capture thread, the playback's
// reader and decoding are the core's (LayerCore), written once for all.

#include "audio/AudioLayer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace praatkist::audio {

struct TCaptureInput;   // CaptureChannel.h
struct TPlaybackOutput; // PlayStream.h

inline std::uint32_t UsecToBytes(std::uint64_t usec, std::uint32_t rate, std::uint32_t frameBytes)
{
  return static_cast<std::uint32_t>(usec * rate / 1000000u) * frameBytes;
}

inline std::uint32_t MsToBytes(std::uint64_t ms, std::uint32_t rate, std::uint32_t frameBytes)
{
  return UsecToBytes(ms * 1000u, rate, frameBytes);
}

// How a capture source hands over, at a stop, what it captured up to then: as much as
// its latency is still on its way, in whole fragments. The core waits until that much
// more has come in, at least Earliest and at most Earliest + latency + Slack.
struct TDrainTiming {
  std::uint64_t LatencyUs = 0;
  std::uint32_t EarliestMs = 0;
  std::uint32_t SlackMs = 0;
};

// A device's capture, made paused; it pushes what it captures into its TCaptureInput.
class ICaptureSource {
public:
  virtual ~ICaptureSource() = default;
  // Starts the capture (ChannelPlay); false when the device is gone.
  virtual bool Start() = 0;
  virtual TDrainTiming DrainTiming() = 0;
  // From its return on nothing more reaches the input. Harmless when repeated.
  virtual void Stop() noexcept = 0;
};

// The default output playing one stream, made paused; it takes what it plays from its
// TPlaybackOutput, and its destruction ends the playing.
class IPlaybackSink {
public:
  virtual ~IPlaybackSink() = default;
  // Plays, waiting until it does; false when the output is gone.
  virtual bool Resume() = 0;
  virtual void Pause() noexcept = 0;
  // Bytes of what this sink took that have been heard; false while that is not known.
  virtual bool Heard(std::uint64_t &bytes) noexcept = 0;
  // The reader has put more into the ring; AtEnd: the last of the file.
  virtual void Fed(bool atEnd) noexcept = 0;
};

// The sound system. The core calls it with its own lock held, one call at a time
// (Serial excepted). Every int result is an error code of AudioLayer.h.
class ISoundSystem {
public:
  virtual ~ISoundSystem() = default;
  virtual int OpenOutput() = 0; // Init: there is an output to play through
  virtual void Close() = 0;     // Free: the connection goes
  virtual int ReadDevices(std::vector<TAudioDeviceInfo> &list) = 0;
  virtual int DefaultInput(std::string &id) = 0;
  virtual int CheckInput(const std::string &id) = 0; // the input Id is there
  // Cheap, asked on a timer: looks whether the device list may have changed.
  virtual void Watch() = 0;
  virtual std::uint32_t Serial() const noexcept = 0;
  // A paused capture of input Id into Input; null with Code set when it cannot be made.
  virtual std::unique_ptr<ICaptureSource> OpenCapture(const std::string &id, TCaptureInput &input,
                                                      int &code) = 0;
  virtual std::unique_ptr<IPlaybackSink> OpenPlayback(TPlaybackOutput &output, int &code) = 0;
};

} // namespace praatkist::audio
