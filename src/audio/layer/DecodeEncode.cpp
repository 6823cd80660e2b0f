#include "audio/layer/DecodeEncode.h"

#include "audio/layer/LayerError.h"

#include <cstring>

namespace praatkist::audio {

void TEncoderEntry::Feed(const void *data, std::size_t bytes) noexcept
{
  if (Paused.load())
    return;
  std::lock_guard lock(M);
  if (Active.load() && !Enc.Encode(data, bytes))
    Active.store(false);
}

bool TEncoderEntry::Write(const void *data, std::size_t bytes) noexcept
{
  std::lock_guard lock(M);
  if (Active.load() && bytes > 0 && !Enc.Encode(data, bytes))
    Active.store(false);
  return Active.load();
}

bool TEncoderEntry::Stop() noexcept
{
  std::lock_guard lock(M);
  const bool finished = Enc.Finish();
  Active.store(false);
  return finished;
}

void TEncodeTarget::Attach(const std::shared_ptr<TEncoderEntry> &e)
{
  std::lock_guard lock(EncMutex);
  std::erase_if(Encoders, [](const auto &x) { return !x->Active.load(); });
  Encoders.push_back(e);
}

void TEncodeTarget::Feed(const void *data, std::size_t bytes) noexcept
{
  std::lock_guard lock(EncMutex);
  for (auto &e : Encoders)
    e->Feed(data, bytes);
}

void TEncodeTarget::StopEncoders(bool autoFreeOnly) noexcept
{
  std::lock_guard lock(EncMutex);
  for (auto &e : Encoders)
    if (!autoFreeOnly || e->AutoFree)
      e->Stop();
}

std::shared_ptr<TEncoderEntry> OpenEncoder(const std::filesystem::path &file, std::uint32_t rate,
                                           std::uint32_t chans, int kbps, bool autoFree, int &code)
{
  auto e = std::make_shared<TEncoderEntry>();
  code = e->Enc.Open(file, rate, chans, kbps);
  if (code != kErrOk)
    return nullptr;
  e->AutoFree = autoFree;
  e->Active.store(true);
  return e;
}

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
  const auto bytes = static_cast<std::uint32_t>(got * frameBytes);
  Feed(buffer, bytes);
  return Succeed(), bytes;
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
