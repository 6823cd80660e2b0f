#pragma once
// A capture channel. The sound system's capture source pushes what the device captures
// into the channel's lock-free ring (TCaptureInput, the one part its real-time thread
// touches); the channel's capture thread gathers the ring's records into buffers and
// hands them to the record callback. A stop hands on everything captured up to it;
// audio lost to a full ring ends the channel there.

#include "audio/AudioLayer.h"
#include "audio/layer/SpscRing.h"
#include "audio/layer/Channel.h"
#include "audio/layer/SoundSystem.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace praatkist::audio {

constexpr std::uint32_t kCaptureTargetMs = 30; // buffers handed to the record callback: at
constexpr std::uint32_t kCaptureChunkMs = 50;  // least this long (unless data pause), at most this
constexpr std::uint32_t kCaptureRingMs = 4000; // what the capture thread may fall behind

struct TCaptureInput {
  TCaptureInput(std::uint32_t rate, std::uint32_t chans);

  const std::uint32_t Rate, Chans, FrameBytes;
  const std::uint32_t MaxChunk, TargetChunk; // a record's most, a buffer's least
  TSpscByteRing Ring;
  TWakeWord Wake;                         // wakes the capture thread
  std::atomic<bool> Started{false};       // ChannelPlay done
  std::atomic<bool> Ended{false};         // device gone, callback said stop, or stopped
  std::atomic<bool> StopRequested{false}; // deliver nothing more
  std::atomic<bool> Closing{false};       // take nothing more from the source
  std::atomic<std::uint64_t> Received{0}; // bytes taken from the source since ChannelPlay
  std::atomic<std::uint64_t> Dropped{0};  // records lost to a full ring

  // The source's thread; no lock, no allocation. Takes N captured bytes (Data null: N
  // bytes of silence, for a hole the system reports) while the channel takes any.
  void Push(const void *data, std::size_t n) noexcept;
  // The device or the audio server is gone: the channel ends once it has handed on what
  // it holds.
  void End() noexcept;
  bool Taking() const noexcept { return !Closing.load() && !StopRequested.load(); }

private:
  bool FGapPending = false; // the source's thread only
};

class TCaptureChannel final : public TChannel, public TCaptureInput {
public:
  TCaptureChannel(std::uint32_t rate, std::uint32_t chans, TRecordProc proc, void *user,
                  THandle handle);
  ~TCaptureChannel() override;

  // Opens input Device of System, paused, and starts the capture thread; an error code.
  int Open(ISoundSystem &system, const std::string &device);

  bool IsCapture() const noexcept override { return true; }
  bool Play(bool restart) override;
  // ChannelStop: everything captured up to the call is handed on, then the channel ends.
  void Stop() override;
  int Active() override;
  void Info(TChannelInfo &info) override;
  std::uint64_t Position() override;
  void Close() noexcept override;

  std::atomic<bool> DataLost{false}; // ended at a loss of captured audio
  std::atomic<std::uint64_t> Delivered{0};
  std::atomic<std::uint32_t> Largest{0};

private:
  void Loop() noexcept;
  // Waits until the source has handed over what it captured up to now, then lets the
  // capture thread deliver all of it and end.
  void Drain() noexcept;
  // Ends the capture thread and the source.
  void Shut() noexcept;

  const THandle FHandle;
  const TRecordProc FProc;
  void *const FUser;
  std::unique_ptr<ICaptureSource> FSource;
  std::vector<std::uint8_t> FBuffer;  // the capture thread's
  std::atomic<bool> FDraining{false}; // hand on what the ring holds, then end
  std::mutex FThreadMutex;
  std::thread FThread;
  std::thread::id FThreadId;
};

} // namespace praatkist::audio
