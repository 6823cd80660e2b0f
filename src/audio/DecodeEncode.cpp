#include "audio/DecodeEncode.h"

#include "audio/LayerError.h"

#include <cstring>

namespace praatkist::audio {

void TEncoderEntry::Feed(const void *data, std::size_t bytes) noexcept
{
  std::lock_guard lock(M);
  if (Active.load() && !Enc.Encode(data, bytes))
    Active.store(false);
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

std::uint32_t TDecodeStream::GetData(void *buffer, std::uint32_t length)
{
  if (!buffer && length > 0)
    return Fail(kErrIllegalParam), kDataError;
  std::lock_guard lock(M);
  const std::uint32_t frameBytes = Dec.FrameBytes();
  const std::size_t frames = length / frameBytes;
  if (frames == 0)
    return Succeed(), 0;
  std::size_t got;
  if (reinterpret_cast<std::uintptr_t>(buffer) % alignof(std::int16_t) == 0) {
    got = Dec.ReadFrames(static_cast<std::int16_t *>(buffer), frames);
  } else {
    Bounce.resize(frames * Dec.Chans());
    got = Dec.ReadFrames(Bounce.data(), frames);
    std::memcpy(buffer, Bounce.data(), got * frameBytes);
  }
  if (got == 0) {
    AtEnd = true;
    return Fail(kErrEnded), kDataError;
  }
  const auto bytes = static_cast<std::uint32_t>(got * frameBytes);
  Feed(buffer, bytes);
  return Succeed(), bytes;
}

bool TDecodeStream::SetPosition(std::uint64_t bytes)
{
  std::lock_guard lock(M);
  const std::uint64_t frame = bytes / Dec.FrameBytes();
  if (frame > Dec.Frames() || !Dec.Seek(frame))
    return Fail(kErrPosition);
  AtEnd = false;
  return Succeed(), true;
}

} // namespace praatkist::audio
