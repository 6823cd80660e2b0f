#include "audio/capture/PreRollRing.h"

#include <algorithm>
#include <cstring>

namespace praatkist::audio {

void TPreRollRing::Allocate(std::size_t bytes)
{
  FData = bytes > 0 ? std::make_unique<std::uint8_t[]>(bytes) : nullptr;
  FCapacity = bytes;
  FStart = 0;
  FSize = 0;
}

void TPreRollRing::Release() noexcept
{
  FData.reset();
  FCapacity = FStart = FSize = 0;
}

void TPreRollRing::Append(const std::uint8_t *data, std::size_t n) noexcept
{
  if (FCapacity == 0 || n == 0)
    return;
  if (n >= FCapacity) { // only the newest bytes of this piece stay
    std::memcpy(FData.get(), data + (n - FCapacity), FCapacity);
    FStart = 0;
    FSize = FCapacity;
    return;
  }
  std::size_t end = (FStart + FSize) % FCapacity;
  const std::size_t first = std::min(n, FCapacity - end);
  std::memcpy(FData.get() + end, data, first);
  std::memcpy(FData.get(), data + first, n - first);
  const std::size_t size = FSize + n;
  if (size > FCapacity) { // the oldest bytes make way
    FStart = (FStart + size - FCapacity) % FCapacity;
    FSize = FCapacity;
  } else {
    FSize = size;
  }
}

TPreRollRing::TSpans TPreRollRing::Spans() const noexcept
{
  if (FSize == 0)
    return {};
  const std::size_t first = std::min(FSize, FCapacity - FStart);
  return {{FData.get() + FStart, first}, {FData.get(), FSize - first}};
}

} // namespace praatkist::audio
