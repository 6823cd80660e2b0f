#pragma once
// Peak magnitudes of 16-bit PCM on the level scale: 0 is silence, kFullScale full
// scale (audio/TakeFormat.h; the lowest sample counts as full scale).

#include <cstdint>

namespace praatkist::audio {

inline std::int32_t Magnitude(std::int16_t s) noexcept
{
  const std::int32_t v = s;
  return v < 0 ? -v : v;
}

// Largest magnitude of the first and second channel in Length bytes of interleaved
// samples with Channels channels (the first sample is a first-channel one). Mono
// gives the same value for both; a third channel and beyond are not looked at.
void BufferPeaks(const std::uint8_t *data, std::uint32_t length, std::uint16_t channels,
                 std::int32_t &left, std::int32_t &right) noexcept;

} // namespace praatkist::audio
