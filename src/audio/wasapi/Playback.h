#pragma once
// A playback stream: a reader thread decodes the file ahead into a lock-free ring that
// the device thread plays from through the default output, noting the peaks of what
// it decoded so that the level of what is heard can be told.

#include "audio/AudioLayer.h"
#include "audio/SndfileDecoder.h"
#include "audio/SpscRing.h"
#include "audio/wasapi/WasapiShared.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace praatkist::audio::wasapi {

struct TPlayStream {
  THandle Handle = 0;
  std::mutex OpMutex; // one public operation on this stream at a time

  TSndfileDecoder Dec; // the reader thread's while it runs
  std::uint32_t Rate = 0, Chans = 0, FrameBytes = 0;
  std::uint64_t LengthBytes = 0;

  std::unique_ptr<TSpscByteRing> Ring; // reader thread -> device thread
  std::vector<std::int16_t> ReadBuf;   // the reader thread's
  TWakeWord ReaderWake;
  std::thread Reader;
  std::uint64_t ReaderFrame = 0; // the reader thread's
  std::uint32_t BlockPeak = 0;   // the reader thread's
  TEvent Command;                // wakes the device thread: play, pause or close
  std::thread Device;

  std::atomic<int> OpenResult{-2}; // the device thread's answer; -2 while opening
  std::atomic<bool> ReaderStop{false};
  std::atomic<bool> DeviceStop{false};
  std::atomic<bool> WantRunning{false}; // the device thread starts or pauses the client
  std::atomic<bool> Running{false};     // as the device thread has it
  std::atomic<bool> Eof{false};
  std::atomic<bool> Finished{false};                 // everything has been played
  std::atomic<bool> Failed{false};                   // the device or the audio server went away
  std::atomic<bool> Playing{false};                  // started and not stopped
  bool EverStarted = false;                          // OpMutex
  std::chrono::steady_clock::time_point StartedAt{}; // OpMutex
  std::uint64_t PosAtStart = 0;                      // OpMutex

  std::atomic<std::uint64_t> BaseBytes{0}; // file position where this client began
  std::atomic<std::uint64_t> Written{0};   // bytes handed to this client
  std::atomic<std::uint64_t> Heard{0};     // bytes this client has played, by its clock
  std::atomic<std::uint64_t> LastPosition{0};
  // Peaks per block of kLevelBlockFrames frames, by frame position in the file: left in
  // the high half, right in the low half.
  std::unique_ptr<std::atomic<std::uint32_t>[]> Levels;

  TPlayStream() = default;
  TPlayStream(const TPlayStream &) = delete;
  TPlayStream &operator=(const TPlayStream &) = delete;
  ~TPlayStream();

  // Opens File and makes the stream, paused at its start. Returns an error code.
  int Open(const std::filesystem::path &file);
  // (Re)opens the output, paused, with the file positioned at StartFrame, and starts
  // the reader and device threads. With OpMutex held.
  int Start(std::uint64_t startFrame);
  // The layer's calls on a playback stream; each sets the layer's error code.
  bool Play(bool restart);
  void Stop();
  bool SetPosition(std::uint64_t bytes);
  std::uint64_t Position();
  bool Level(float levels[2], float seconds);
  // Ends both threads and closes the file.
  void Free() noexcept;

  bool Resume(); // with OpMutex held
  void StopThreads() noexcept;
  void DeviceLoop() noexcept;
  void ReaderLoop() noexcept;
  void RecordLevels(const std::int16_t *samples, std::size_t frames) noexcept;
  std::uint64_t PlayedBytes() noexcept;
};

} // namespace praatkist::audio::wasapi
