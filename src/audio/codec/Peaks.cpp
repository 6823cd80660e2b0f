#include "audio/codec/Peaks.h"

#include <algorithm>
#include <cstring>

namespace praatkist::audio {

// Largest magnitude per channel of one buffer of interleaved 16-bit samples. Mono
// copies the left peak to the right; a third channel and beyond are not looked at.
// For one and two channels the loop keeps each channel's highest and lowest sample
// in 16 bits, which the compiler turns into vector code; the lowest sample becomes
// full scale only at the end. Where the processor has AVX2, a copy built for it does twice the work
// per instruction.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void BufferPeaks(const std::uint8_t* data, std::uint32_t length, std::uint16_t channels,
                 std::int32_t& left, std::int32_t& right) noexcept
{
  const std::size_t count = length / 2;
  std::int16_t a, b;
  if (channels < 2) {
    std::int16_t hi = 0, lo = 0;
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(&a, data + 2 * i, 2);
      hi = std::max(hi, a);
      lo = std::min(lo, a);
    }
    left = right = std::max<std::int32_t>(hi, -std::int32_t{lo});
  } else if (channels == 2) {
    std::int16_t hiL = 0, loL = 0, hiR = 0, loR = 0;
    std::size_t i = 0;
    for (; i + 1 < count; i += 2) {
      std::memcpy(&a, data + 2 * i, 2);
      std::memcpy(&b, data + 2 * i + 2, 2);
      hiL = std::max(hiL, a);
      loL = std::min(loL, a);
      hiR = std::max(hiR, b);
      loR = std::min(loR, b);
    }
    if (i < count) { // a buffer cut inside a frame: its last sample is a left one
      std::memcpy(&a, data + 2 * i, 2);
      hiL = std::max(hiL, a);
      loL = std::min(loL, a);
    }
    left = std::max<std::int32_t>(hiL, -std::int32_t{loL});
    right = std::max<std::int32_t>(hiR, -std::int32_t{loR});
  } else {
    std::int32_t peak[2] = {0, 0};
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(&a, data + 2 * i, 2);
      const std::size_t ch = i % channels;
      if (ch < 2)
        peak[ch] = std::max(peak[ch], Magnitude(a));
    }
    left = peak[0];
    right = peak[1];
  }
}

} // namespace praatkist::audio
