#pragma once
// What one channel handle of the layer core is: a capture channel, a playback stream or
// a decoding stream. Each kind answers the calls that apply to it; the others fail with
// kErrNotAvailable. The core looks a handle up and calls; the channel sets the error
// code.

#include "audio/AudioLayer.h"
#include "audio/layer/LayerError.h"

#include <cstdint>

namespace praatkist::audio {

class TChannel {
public:
  TChannel() = default;
  TChannel(const TChannel &) = delete;
  TChannel &operator=(const TChannel &) = delete;
  virtual ~TChannel() = default;

  virtual bool IsCapture() const noexcept { return false; }
  virtual bool Play(bool) { return Fail(kErrNotAvailable); }
  virtual void Stop() { Succeed(); }
  virtual int Active() = 0;
  virtual void Info(TChannelInfo &info) = 0;
  virtual std::uint64_t Length() { return Fail(kErrNotAvailable), kPositionError; }
  virtual std::uint64_t Position() = 0;
  virtual bool SetPosition(std::uint64_t) { return Fail(kErrNotAvailable); }
  virtual bool Level(float[2], float) { return Fail(kErrNotAvailable); }
  virtual std::uint32_t GetData(void *, std::uint32_t)
  {
    return Fail(kErrNotAvailable), kDataError;
  }
  // The handle is freed: the channel's threads and streams end.
  virtual void Close() noexcept = 0;
};

} // namespace praatkist::audio
