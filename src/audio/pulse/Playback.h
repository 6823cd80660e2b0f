#pragma once
// A playback stream: a reader thread decodes the file ahead into a lock-free ring
// that pulse's real-time write callback plays from, noting the peaks of what it
// decoded so that the level of what is heard can be told.

#include "audio/AudioLayer.h"
#include "audio/SndfileDecoder.h"
#include "audio/SpscRing.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace praatkist::audio::pulse {

struct TPulseConnection;

struct TPlayStream {
  pa_threaded_mainloop *Ml = nullptr;
  THandle Handle = 0;
  std::mutex OpMutex; // one public operation on this stream at a time

  TSndfileDecoder Dec; // the reader thread's while it runs
  std::uint32_t Rate = 0, Chans = 0, FrameBytes = 0;
  std::uint64_t LengthBytes = 0;
  pa_sample_spec Spec{};

  pa_stream *Stream = nullptr;         // main loop lock
  pa_operation *DrainOp = nullptr;     // main loop lock
  std::unique_ptr<TSpscByteRing> Ring; // reader thread -> pulse
  std::vector<std::int16_t> ReadBuf;   // the reader thread's
  TWakeWord ReaderWake;
  std::thread Reader;
  std::uint64_t ReaderFrame = 0; // the reader thread's
  std::uint32_t BlockPeak = 0;   // the reader thread's

  std::atomic<bool> ReaderStop{false};
  std::atomic<bool> Eof{false};
  std::atomic<bool> Starved{false};                   // pulse wanted data the ring did not have
  std::atomic<bool> Finished{false};                  // drained: everything has been played
  std::atomic<bool> Failed{false};                    // the stream or the server went away
  std::atomic<bool> Playing{false};                   // started and not stopped
  bool EverStarted = false;                           // OpMutex
  std::chrono::steady_clock::time_point UncorkedAt{}; // OpMutex
  std::uint64_t PosAtUncork = 0;                      // OpMutex

  std::atomic<std::uint64_t> BaseBytes{0}; // file position where this pulse stream began
  std::atomic<std::uint64_t> Written{0};   // bytes handed to this pulse stream
  std::atomic<std::uint64_t> LastPosition{0};
  // Peaks per block of kLevelBlockFrames frames, by frame position in the file:
  // left in the high half, right in the low half.
  std::unique_ptr<std::atomic<std::uint32_t>[]> Levels;

  TPlayStream() = default;
  TPlayStream(const TPlayStream &) = delete;
  TPlayStream &operator=(const TPlayStream &) = delete;
  ~TPlayStream();

  // Opens File and makes the stream, corked at its start. Api guards Conn.
  // Returns an error code.
  int Open(const std::filesystem::path &file, std::mutex &api, TPulseConnection &conn);
  // (Re)creates the pulse stream, corked, with the file positioned at StartFrame,
  // and starts the reader thread. With OpMutex held, Api not held.
  int Start(std::uint64_t startFrame, std::mutex &api, TPulseConnection &conn);
  // The layer's calls on a playback stream; each sets the layer's error code.
  bool Play(bool restart, std::mutex &api, TPulseConnection &conn);
  void Stop();
  bool SetPosition(std::uint64_t bytes, std::mutex &api, TPulseConnection &conn);
  std::uint64_t Position();
  bool Level(float levels[2], float seconds);
  // Ends the reader and the pulse stream and closes the file.
  void Free() noexcept;

  void StopReader() noexcept;
  void Disconnect() noexcept;
  void Pump(std::size_t want) noexcept;
  void PumpLocked() noexcept;
  void ReaderLoop() noexcept;
  void RecordLevels(const std::int16_t *samples, std::size_t frames) noexcept;
  std::uint64_t PlayedBytes() noexcept;
};

} // namespace praatkist::audio::pulse
