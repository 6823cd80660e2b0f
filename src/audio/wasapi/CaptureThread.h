#pragma once
// A capture channel: a device thread that runs the endpoint's audio client and only
// moves the captured bytes into a lock-free ring, and the capture thread that gathers
// them into buffers, feeds the channel's encoders and calls the record callback.

#include "audio/AudioLayer.h"
#include "audio/DecodeEncode.h"
#include "audio/SpscRing.h"
#include "audio/wasapi/WasapiShared.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace praatkist::audio::wasapi {

struct TCapture : TEncodeTarget {
  THandle Handle = 0;
  std::uint32_t Rate = 0, Chans = 0, FrameBytes = 0, MaxChunk = 0, TargetChunk = 0;
  TRecordProc Proc = nullptr;
  void *User = nullptr;

  std::unique_ptr<TSpscByteRing> Ring;
  std::vector<std::uint8_t> Buffer; // the capture thread's
  TWakeWord Wake;
  TEvent Command; // wakes the device thread: play or close
  std::thread Device;
  bool GapPending = false; // the device thread's

  std::atomic<int> OpenResult{-2};        // the device thread's answer; -2 while opening
  std::atomic<bool> Started{false};       // ChannelPlay done
  std::atomic<bool> Running{false};       // the device thread has started the client
  std::atomic<bool> Ended{false};         // device gone, callback said stop, or stopped
  std::atomic<bool> StopRequested{false}; // deliver nothing more
  std::atomic<bool> Closing{false};       // take nothing more from the device
  std::atomic<bool> Draining{false};      // hand on what the ring holds, then end
  std::atomic<bool> DataLost{false};      // ended at a loss of captured audio
  std::atomic<std::uint64_t> Received{0}; // bytes taken from the device since ChannelPlay
  std::atomic<std::uint64_t> Dropped{0};
  std::atomic<std::uint64_t> Delivered{0};
  std::atomic<std::uint32_t> Largest{0};
  std::atomic<std::uint32_t> LatencyMs{0}; // the client's stream latency

  std::mutex ThreadMutex;
  std::thread Thread;
  std::thread::id ThreadId;

  TCapture() = default;
  TCapture(const TCapture &) = delete;
  TCapture &operator=(const TCapture &) = delete;
  ~TCapture();

  // Sizes the buffers, opens the endpoint Id on the device thread and starts the
  // capture thread. Returns an error code.
  int Open(const std::string &id);
  // ChannelPlay. Sets the layer's error code.
  bool Play();
  void DeviceLoop(std::wstring id) noexcept;
  void Loop() noexcept;
  // ChannelStop: waits until the device has handed over what it captured up to now,
  // then lets the capture thread deliver all of it and end.
  void Drain() noexcept;
  // Ends both threads.
  void Shut() noexcept;
};

} // namespace praatkist::audio::wasapi
