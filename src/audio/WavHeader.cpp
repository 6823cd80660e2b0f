#include "audio/WavHeader.h"

#include <cstring>

namespace praatkist::audio {
namespace {

void Put32(TWaveHeader& h, std::size_t at, std::uint32_t v)
{
  h[at] = static_cast<std::uint8_t>(v);
  h[at + 1] = static_cast<std::uint8_t>(v >> 8);
  h[at + 2] = static_cast<std::uint8_t>(v >> 16);
  h[at + 3] = static_cast<std::uint8_t>(v >> 24);
}

void Put16(TWaveHeader& h, std::size_t at, std::uint16_t v)
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
  const std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * 2u);
  Put32(h, 28, sampleRate * blockAlign);
  Put16(h, 32, blockAlign);
  Put16(h, 34, 16);
  std::memcpy(&h[36], "data", 4);
  Put32(h, 40, dataSize);
  return h;
}

} // namespace

TWaveHeader BuildWaveHeader(std::uint32_t dataBytes, std::uint32_t sampleRate,
                            std::uint16_t channels)
{
  return Build(dataBytes + 36u, dataBytes, sampleRate, channels);
}

TWaveHeader BuildProvisionalWaveHeader(std::uint32_t sampleRate, std::uint16_t channels)
{
  return Build(kProvisionalSize, kProvisionalSize, sampleRate, channels);
}

} // namespace praatkist::audio
