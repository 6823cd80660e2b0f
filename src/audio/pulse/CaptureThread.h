#pragma once
// A capture channel: a pulse record stream whose real-time callback only moves
// the captured bytes into a lock-free ring, and the capture thread that gathers
// them into buffers, feeds the channel's encoders and calls the record callback.

#include "audio/AudioLayer.h"
#include "audio/DecodeEncode.h"
#include "audio/SpscRing.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace praatkist::audio::pulse {

struct TCapture : TEncodeTarget {
  pa_threaded_mainloop *Ml = nullptr;
  THandle Handle = 0;
  std::uint32_t Rate = 0, Chans = 0, FrameBytes = 0, MaxChunk = 0, TargetChunk = 0;
  TRecordProc Proc = nullptr;
  void *User = nullptr;

  pa_stream *Stream = nullptr; // main loop lock
  std::unique_ptr<TSpscByteRing> Ring;
  std::vector<std::uint8_t> Buffer; // the capture thread's
  TWakeWord Wake;
  bool GapPending = false; // pulse's thread only

  std::atomic<bool> Started{false};       // ChannelPlay done
  std::atomic<bool> Ended{false};         // stream gone, callback said stop, or stopped
  std::atomic<bool> StopRequested{false}; // deliver nothing more
  std::atomic<bool> Closing{false};       // take nothing more from pulse
  std::atomic<bool> Draining{false};      // hand on what the ring holds, then end
  std::atomic<bool> DataLost{false};      // ended at a loss of captured audio
  std::atomic<std::uint64_t> Received{0}; // bytes taken from pulse since ChannelPlay
  std::atomic<std::uint64_t> Dropped{0};
  std::atomic<std::uint64_t> Delivered{0};
  std::atomic<std::uint32_t> Largest{0};

  std::mutex ThreadMutex;
  std::thread Thread;
  std::thread::id ThreadId;

  TCapture() = default;
  TCapture(const TCapture &) = delete;
  TCapture &operator=(const TCapture &) = delete;
  ~TCapture();

  // Sizes the buffers for Rate and Chans, connects a corked record stream to
  // Source on Ctx and starts the capture thread. Returns an error code.
  int Open(pa_threaded_mainloop *ml, pa_context *ctx, const std::string &source);
  // ChannelPlay: uncorks the stream. Sets the layer's error code.
  bool Play();
  void Loop() noexcept;
  // ChannelStop: waits until pulse has handed over what the source captured up
  // to now, then lets the capture thread deliver all of it and end.
  void Drain() noexcept;
  // Ends the thread and the stream, with the main loop lock free.
  void Shut() noexcept;
};

} // namespace praatkist::audio::pulse
