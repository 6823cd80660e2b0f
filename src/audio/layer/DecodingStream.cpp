#include "audio/layer/DecodingStream.h"

#include "audio/layer/LayerError.h"

#include <cstring>

namespace praatkist::audio {

int TDecodeStream::Active()
{
  std::lock_guard lock(FM);
  return FAtEnd ? kActiveStopped : kActivePlaying;
}

void TDecodeStream::Info(TChannelInfo &info)
{
  std::lock_guard lock(FM);
  info.Freq = FDec.Rate();
  info.Chans = FDec.Chans();
}

std::uint64_t TDecodeStream::Length()
{
  std::lock_guard lock(FM);
  return Succeed(), FDec.Frames() * FDec.FrameBytes();
}

std::uint64_t TDecodeStream::Position()
{
  std::lock_guard lock(FM);
  return Succeed(), FDec.Position() * FDec.FrameBytes();
}

std::uint32_t TDecodeStream::GetData(void *buffer, std::uint32_t length)
{
  if (!buffer && length > 0)
    return Fail(kErrIllegalParam), kDataError;
  std::lock_guard lock(FM);
  const std::uint32_t frameBytes = FDec.FrameBytes();
  const std::size_t frames = length / frameBytes;
  if (frames == 0)
    return Succeed(), 0;
  std::size_t got;
  if (reinterpret_cast<std::uintptr_t>(buffer) % alignof(std::int16_t) == 0) {
    got = FDec.ReadFrames(static_cast<std::int16_t *>(buffer), frames);
  } else {
    FBounce.resize(frames * FDec.Chans());
    got = FDec.ReadFrames(FBounce.data(), frames);
    std::memcpy(buffer, FBounce.data(), got * frameBytes);
  }
  if (got == 0) {
    FAtEnd = true;
    return Fail(kErrEnded), kDataError;
  }
  return Succeed(), static_cast<std::uint32_t>(got * frameBytes);
}

bool TDecodeStream::SetPosition(std::uint64_t bytes)
{
  std::lock_guard lock(FM);
  const std::uint64_t frame = bytes / FDec.FrameBytes();
  if (frame > FDec.Frames() || !FDec.Seek(frame))
    return Fail(kErrPosition);
  FAtEnd = false;
  return Succeed(), true;
}

} // namespace praatkist::audio
