#pragma once
// A playback stream. A reader thread decodes the file ahead into a lock-free ring and
// notes the peaks of what it decoded; the sound system's playback sink drains the ring
// (TPlaybackOutput, the one part its thread touches). The position is what the sink
// says has been heard, never more than the time since ChannelPlay allows and never
// going back; the level is the peak of the decoded blocks around that position.

#include "audio/AudioLayer.h"
#include "audio/codec/SndfileDecoder.h"
#include "audio/layer/SpscRing.h"
#include "audio/layer/Channel.h"
#include "audio/layer/SoundSystem.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace praatkist::audio {

constexpr std::uint32_t kPlaybackRingMs = 500; // decoded ahead of the output
constexpr std::uint32_t kLevelBlockFrames = 128;
constexpr std::size_t kLevelBlocks = std::size_t{1} << 15; // about 80 s at 48 kHz

struct TPlaybackOutput {
  std::uint32_t Rate = 0, Chans = 0, FrameBytes = 0;
  std::unique_ptr<TSpscByteRing> Ring; // reader thread -> sink
  TWakeWord ReaderWake;
  std::atomic<bool> Eof{false};          // the last of the file is in the ring
  std::atomic<bool> Finished{false};     // everything has been played
  std::atomic<bool> Failed{false};       // the output or the audio server went away
  std::atomic<std::uint64_t> Written{0}; // bytes the sink has taken since it opened

  // The sink's side: takes N bytes (whole frames, at most what the ring holds) into Dst.
  void Take(void *dst, std::size_t n) noexcept
  {
    Ring->Read(dst, n);
    Written.fetch_add(n);
    ReaderWake.Wake();
  }
  void SetFailed() noexcept
  {
    Failed.store(true);
    ReaderWake.Wake();
  }
};

class TPlayStream final : public TChannel, public TPlaybackOutput {
public:
  // System makes the sinks, with Api (the core's lock) held.
  TPlayStream(ISoundSystem &system, std::mutex &api);
  ~TPlayStream() override;

  // Opens File and makes the stream, paused at its start; an error code.
  int Open(const std::filesystem::path &file);

  bool Play(bool restart) override;
  void Stop() override;
  int Active() override;
  void Info(TChannelInfo &info) override;
  std::uint64_t Length() override;
  std::uint64_t Position() override;
  bool SetPosition(std::uint64_t bytes) override;
  bool Level(float levels[2], float seconds) override;
  // Ends the reader and the sink and closes the file.
  void Close() noexcept override;

private:
  // (Re)makes the sink, paused, with the file at StartFrame, and starts the reader. With
  // FOp held.
  int Start(std::uint64_t startFrame);
  bool Resume(); // with FOp held
  void StopReader() noexcept;
  void ReaderLoop() noexcept;
  void RecordLevels(const std::int16_t *samples, std::size_t frames) noexcept;
  std::uint64_t PlayedBytes() noexcept; // with FOp held

  ISoundSystem &FSystem;
  std::mutex &FApi;
  std::mutex FOp;       // one public operation on this stream at a time
  TSndfileDecoder FDec; // the reader thread's while it runs
  std::uint64_t FLengthBytes = 0;
  std::unique_ptr<IPlaybackSink> FSink;
  std::vector<std::int16_t> FReadBuf; // the reader thread's
  std::thread FReader;
  std::uint64_t FReaderFrame = 0; // the reader thread's
  std::uint32_t FBlockPeak = 0;   // the reader thread's
  std::atomic<bool> FReaderStop{false};
  std::atomic<bool> FPlaying{false}; // started and not stopped
  bool FEverStarted = false;
  std::chrono::steady_clock::time_point FStartedAt{};
  std::uint64_t FPosAtStart = 0;
  std::uint64_t FBaseBytes = 0; // file position where this sink began
  std::atomic<std::uint64_t> FLastPosition{0};
  // Peaks per block of kLevelBlockFrames frames, by frame position in the file: left in
  // the high half, right in the low half.
  std::unique_ptr<std::atomic<std::uint32_t>[]> FLevels;
};

} // namespace praatkist::audio
