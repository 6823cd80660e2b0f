#include "audio/layer/PlayStream.h"

#include "audio/TakeFormat.h"

#include <algorithm>
#include <cmath>

namespace praatkist::audio {

using Clock = std::chrono::steady_clock;

TPlayStream::TPlayStream(ISoundSystem &system, std::mutex &api) : FSystem(system), FApi(api) {}

TPlayStream::~TPlayStream()
{
  StopReader();
  FSink.reset();
}

int TPlayStream::Open(const std::filesystem::path &file)
{
  const int code = FDec.Open(file);
  if (code != kErrOk)
    return code;
  Rate = FDec.Rate();
  Chans = FDec.Chans();
  FrameBytes = FDec.FrameBytes();
  FLengthBytes = FDec.Frames() * FrameBytes;
  Ring = std::make_unique<TSpscByteRing>(MsToBytes(kPlaybackRingMs, Rate, FrameBytes));
  FReadBuf.assign(std::size_t{4096} * Chans, 0);
  FLevels = std::make_unique<std::atomic<std::uint32_t>[]>(kLevelBlocks);
  std::lock_guard op(FOp);
  const int started = Start(0);
  if (started != kErrOk) {
    StopReader();
    FSink.reset();
  }
  return started;
}

int TPlayStream::Start(std::uint64_t startFrame)
{
  StopReader();
  FSink.reset();
  if (!FDec.Seek(startFrame))
    return kErrPosition;
  Ring->Reset();
  FReaderFrame = startFrame;
  FBlockPeak = 0;
  FReaderStop.store(false);
  Eof.store(false);
  Finished.store(false);
  Failed.store(false);
  FPlaying.store(false);
  FBaseBytes = startFrame * FrameBytes;
  Written.store(0);
  FLastPosition.store(FBaseBytes);
  int code = kErrOk;
  {
    std::lock_guard lock(FApi);
    FSink = FSystem.OpenPlayback(*this, code);
  }
  if (!FSink)
    return code == kErrOk ? kErrUnknown : code;
  try {
    FReader = std::thread([this] { ReaderLoop(); });
  } catch (...) {
    return kErrUnknown;
  }
  return kErrOk;
}

void TPlayStream::RecordLevels(const std::int16_t *s, std::size_t frames) noexcept
{
  for (std::size_t i = 0; i < frames; ++i, s += Chans, ++FReaderFrame) {
    if (FReaderFrame % kLevelBlockFrames == 0)
      FBlockPeak = 0;
    const std::uint32_t l = static_cast<std::uint32_t>(std::abs(static_cast<int>(s[0])));
    const std::uint32_t r =
        Chans > 1 ? static_cast<std::uint32_t>(std::abs(static_cast<int>(s[1]))) : l;
    const std::uint32_t bl = std::max(FBlockPeak >> 16, l);
    const std::uint32_t br = std::max(FBlockPeak & 0xFFFFu, r);
    FBlockPeak = (bl << 16) | br;
    if ((FReaderFrame + 1) % kLevelBlockFrames == 0 || i + 1 == frames)
      FLevels[(FReaderFrame / kLevelBlockFrames) % kLevelBlocks].store(FBlockPeak,
                                                                       std::memory_order_relaxed);
  }
}

void TPlayStream::ReaderLoop() noexcept
{
  const std::size_t bufFrames = FReadBuf.size() / Chans;
  const std::size_t minFrames = std::min(bufFrames, Ring->Capacity() / FrameBytes / 4);
  for (;;) {
    const std::uint32_t seen = ReaderWake.Snapshot();
    if (FReaderStop.load() || Failed.load())
      return;
    const std::size_t space = Ring->FreeBytes() / FrameBytes;
    if (space >= minFrames) {
      const std::size_t got = FDec.ReadFrames(FReadBuf.data(), std::min(space, bufFrames));
      if (got == 0) {
        Eof.store(true);
        FSink->Fed(true);
        return;
      }
      RecordLevels(FReadBuf.data(), got);
      Ring->Write(FReadBuf.data(), got * FrameBytes);
      FSink->Fed(false);
      continue;
    }
    ReaderWake.Wait(seen, 50);
  }
}

void TPlayStream::StopReader() noexcept
{
  FReaderStop.store(true);
  ReaderWake.Wake();
  if (FReader.joinable())
    FReader.join();
}

void TPlayStream::Close() noexcept
{
  std::lock_guard lock(FOp);
  StopReader();
  FSink.reset();
  FPlaying.store(false);
  FDec.Close();
}

std::uint64_t TPlayStream::PlayedBytes() noexcept
{
  std::uint64_t pos = FLastPosition.load();
  if (Finished.load()) {
    pos = FBaseBytes + Written.load();
  } else if (FPlaying.load() && !Failed.load() && FSink) {
    const auto since =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - FStartedAt);
    const std::uint64_t bound =
        FPosAtStart + UsecToBytes(static_cast<std::uint64_t>(since.count()), Rate, FrameBytes);
    // The sink's clock may step back by a few frames between two of its updates.
    std::uint64_t heard = 0;
    if (FSink->Heard(heard))
      pos = std::max(pos, std::min(bound, FBaseBytes + heard));
  }
  pos = std::min(pos, FLengthBytes);
  FLastPosition.store(pos);
  return pos;
}

bool TPlayStream::Resume()
{
  if (!FSink->Resume())
    return Fail(kErrEnded);
  FEverStarted = true;
  FPosAtStart = FLastPosition.load();
  FStartedAt = Clock::now();
  FPlaying.store(true);
  return Succeed(), true;
}

bool TPlayStream::Play(bool restart)
{
  std::lock_guard op(FOp);
  if (!FSink && !Failed.load())
    return Fail(kErrHandle);
  const bool rebuild = Failed.load() || Finished.load() || (restart && FEverStarted);
  if (rebuild) {
    const std::uint64_t from = restart || Finished.load() ? 0 : FLastPosition.load() / FrameBytes;
    const int code = Start(from);
    if (code != kErrOk)
      return Fail(code);
  }
  return Resume();
}

void TPlayStream::Stop()
{
  std::lock_guard op(FOp);
  PlayedBytes(); // the position stays where it was stopped
  FPlaying.store(false);
  if (FSink)
    FSink->Pause();
  Succeed();
}

bool TPlayStream::SetPosition(std::uint64_t bytes)
{
  std::lock_guard op(FOp);
  const std::uint64_t frame = bytes / FrameBytes;
  if (frame * FrameBytes > FLengthBytes)
    return Fail(kErrPosition);
  const bool wasPlaying = FPlaying.load() && !Finished.load() && !Failed.load();
  const int code = Start(frame);
  if (code != kErrOk)
    return Fail(code);
  if (wasPlaying)
    return Resume();
  return Succeed(), true;
}

int TPlayStream::Active()
{
  const bool playing = FPlaying.load() && !Finished.load() && !Failed.load();
  return playing ? kActivePlaying : kActiveStopped;
}

void TPlayStream::Info(TChannelInfo &info)
{
  info.Freq = Rate;
  info.Chans = Chans;
}

std::uint64_t TPlayStream::Length()
{
  return Succeed(), FLengthBytes;
}

std::uint64_t TPlayStream::Position()
{
  std::lock_guard op(FOp);
  return Succeed(), PlayedBytes();
}

bool TPlayStream::Level(float levels[2], float seconds)
{
  if (!(seconds > 0.0f) || seconds > 1.0f)
    return Fail(kErrIllegalParam);
  std::lock_guard op(FOp);
  if (!FPlaying.load() || Finished.load() || Failed.load())
    return Fail(kErrNotAvailable);
  const std::uint64_t pos = PlayedBytes() / FrameBytes;
  const std::uint64_t span = std::max<std::uint64_t>(
      1, static_cast<std::uint64_t>(std::lround(seconds * static_cast<float>(Rate))));
  const std::uint64_t from = pos > span ? pos - span : 0;
  std::uint32_t left = 0, right = 0;
  if (pos > from) {
    for (std::uint64_t b = from / kLevelBlockFrames; b <= (pos - 1) / kLevelBlockFrames; ++b) {
      const std::uint32_t v = FLevels[b % kLevelBlocks].load(std::memory_order_relaxed);
      left = std::max(left, v >> 16);
      right = std::max(right, v & 0xFFFFu);
    }
  }
  levels[0] = std::min(1.0f, static_cast<float>(left) / kFullScale);
  levels[1] = std::min(1.0f, static_cast<float>(right) / kFullScale);
  return Succeed(), true;
}

} // namespace praatkist::audio
