#include "audio/codec/WavHeader.h"

#include "audio/TakeFormat.h"

#include <cstring>

namespace praatkist::audio {
namespace {

void Put32(TWaveHeader &h, std::size_t at, std::uint32_t v)
{
  h[at] = static_cast<std::uint8_t>(v);
  h[at + 1] = static_cast<std::uint8_t>(v >> 8);
  h[at + 2] = static_cast<std::uint8_t>(v >> 16);
  h[at + 3] = static_cast<std::uint8_t>(v >> 24);
}

void Put16(TWaveHeader &h, std::size_t at, std::uint16_t v)
{
  h[at] = static_cast<std::uint8_t>(v);
  h[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

TWaveHeader Build(std::uint32_t riffSize, std::uint32_t dataSize, std::uint32_t sampleRate,
                  std::uint16_t channels)
{
  TWaveHeader h{};
  std::memcpy(&h[0], "RIFF", 4);
  Put32(h, 4, riffSize);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  Put32(h, 16, 16);
  Put16(h, 20, 1);
  Put16(h, 22, channels);
  Put32(h, 24, sampleRate);
  const auto blockAlign = static_cast<std::uint16_t>(TPcmFormat{sampleRate, channels}.FrameBytes());
  Put32(h, 28, sampleRate * blockAlign);
  Put16(h, 32, blockAlign);
  Put16(h, 34, static_cast<std::uint16_t>(8 * kSampleBytes));
  std::memcpy(&h[36], "data", 4);
  Put32(h, 40, dataSize);
  return h;
}

} // namespace

TWaveHeader BuildWaveHeader(std::uint32_t dataBytes, std::uint32_t sampleRate,
                            std::uint16_t channels, std::uint32_t trailing)
{
  return Build(dataBytes + 36u + trailing, dataBytes, sampleRate, channels);
}

TWaveHeader BuildProvisionalWaveHeader(std::uint32_t sampleRate, std::uint16_t channels)
{
  return Build(kProvisionalSize, kProvisionalSize, sampleRate, channels);
}

namespace {

std::uint32_t Get32(const std::uint8_t *p) noexcept
{
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t Get16(const std::uint8_t *p) noexcept
{
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

} // namespace

bool ParseWaveLayout(const std::uint8_t *head, std::size_t size, TWaveLayout &layout) noexcept
{
  layout = TWaveLayout{};
  if (size < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
    return false;
  bool haveFormat = false;
  std::uint64_t at = 12;
  while (at + 8 <= size) {
    const std::uint8_t *chunk = head + at;
    const std::uint32_t length = Get32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (length < 16 || at + 8 + 16 > size)
        return false;
      const std::uint8_t *f = chunk + 8;
      layout.FormatTag = Get16(f);
      layout.Channels = Get16(f + 2);
      layout.SampleRate = Get32(f + 4);
      layout.BitsPerSample = Get16(f + 14);
      // WAVE_FORMAT_EXTENSIBLE: the sub-format's first two bytes are the plain tag.
      if (layout.FormatTag == 0xFFFE && length >= 40 && at + 8 + 26 <= size)
        layout.FormatTag = Get16(f + 24);
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      layout.DataOffset = at + 8;
      layout.DataBytes = length;
      return haveFormat;
    }
    at += 8 + std::uint64_t{length} + (length & 1u); // chunks are padded to even sizes
  }
  return false;
}

} // namespace praatkist::audio
