#pragma once
// The 44-byte header of the WAV files the program writes itself: one "fmt " chunk
// for 16-bit integer PCM, then the "data" chunk. No other chunk before the data; after
// it only the markers' chunks of a take that has markers (WavCues).

#include <array>
#include <cstddef>
#include <cstdint>

namespace praatkist::audio {

inline constexpr std::size_t kWaveHeaderSize = 44;
using TWaveHeader = std::array<std::uint8_t, kWaveHeaderSize>;

// Largest data size whose RIFF size (data + 36) still fits in 32 bits.
inline constexpr std::uint32_t kMaxWaveDataBytes = 0xFFFFFFFFu - 36u;

// Size fields of a header written while a take is still growing: decoders then
// read up to the end of the file, so a take whose process died is still readable.
inline constexpr std::uint32_t kProvisionalSize = 0xFFFFFFFFu;

// Header for DataBytes of 16-bit PCM. The RIFF size is DataBytes + 36 modulo 2^32, and
// covers Trailing bytes of chunks after the data as well.
TWaveHeader BuildWaveHeader(std::uint32_t dataBytes, std::uint32_t sampleRate,
                            std::uint16_t channels, std::uint32_t trailing = 0);

// Header with both size fields at kProvisionalSize.
TWaveHeader BuildProvisionalWaveHeader(std::uint32_t sampleRate, std::uint16_t channels);

// Where the samples of a WAV file lie, as its header tells.
struct TWaveLayout {
  std::uint16_t FormatTag = 0; // 1: integer PCM (also when given as an extensible format)
  std::uint16_t Channels = 0;
  std::uint32_t SampleRate = 0;
  std::uint16_t BitsPerSample = 0;
  std::uint64_t DataOffset = 0; // file offset of the first sample
  std::uint32_t DataBytes = 0;  // the data chunk's size field
};

// Samples of 16-bit integer PCM, in one channel or more.
constexpr bool IsPcm16(const TWaveLayout &layout) noexcept
{
  return layout.FormatTag == 1 && layout.BitsPerSample == 16 && layout.Channels != 0;
}

// Walks the RIFF chunks in Head (the first Size bytes of a file): true when they are a
// RIFF WAVE file whose "fmt " chunk and the start of whose "data" chunk lie in Head.
bool ParseWaveLayout(const std::uint8_t *head, std::size_t size, TWaveLayout &layout) noexcept;

} // namespace praatkist::audio
