#pragma once
// MPEG-1 Layer III frames as LAME writes them: the four header bytes, the start of
// the side information, and the Info tag frame with LAME's extension that opens the
// file (frame count, byte count, seek table, encoder delay and padding, CRCs).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace praatkist::audio {

inline constexpr std::uint32_t kMp3FrameSamples = 1152; // MPEG-1 Layer III
// The samples a decoder's filter bank delays its output by, beyond the encoder's delay.
inline constexpr std::uint32_t kMp3DecoderDelay = 529;
// The largest encoder delay and padding the LAME tag's 12-bit fields hold.
inline constexpr std::uint32_t kMp3MaxTagDelay = 4095;

struct TMp3Header {
  std::uint32_t Bits = 0; // the four bytes, first byte highest
  unsigned BitrateIndex = 0;
  std::uint32_t Kbps = 0;
  std::uint32_t SampleRate = 0;
  unsigned Mode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  bool Padding = false;
  bool Crc = false; // a 16-bit CRC follows the header
  std::uint32_t FrameBytes = 0;
  std::uint32_t SideInfoBytes = 0; // 17 mono, 32 otherwise
  std::uint32_t Channels() const noexcept { return Mode == 3 ? 1 : 2; }
  // Where the main data area begins within the frame.
  std::uint32_t PayloadAt() const noexcept { return 4 + (Crc ? 2 : 0) + SideInfoBytes; }
};

// The header at P as an MPEG-1 Layer III frame with a bit rate of its own (not free
// format) and a valid sample rate; false for anything else.
bool ParseMp3Header(const std::uint8_t *p, TMp3Header &header) noexcept;
// Bytes of a frame at Kbps and Rate, with or without the padding byte.
std::uint32_t Mp3FrameBytes(std::uint32_t kbps, std::uint32_t rate, bool padding) noexcept;
// The bit-rate index of Kbps in MPEG-1 Layer III, 0 when there is none.
unsigned Mp3BitrateIndex(std::uint32_t kbps) noexcept;

// One audio frame of a take.
struct TMp3Frame {
  std::uint64_t Offset = 0;
  std::uint32_t Bytes = 0;
  std::uint16_t MainDataBegin = 0; // bytes of its main data in the frames before it
  std::uint16_t PayloadAt = 0;     // where its main data area begins within the frame
  std::uint32_t PayloadBytes() const noexcept { return Bytes - PayloadAt; }
};

// Where the fields of the tag frame lie, as offsets within that frame.
struct TMp3TagLayout {
  std::size_t Xing = 0;    // "Info" or "Xing", then the flags and the fields they name
  std::size_t Lame = 0;    // "LAME", 36 bytes of extension from here
  std::uint32_t Flags = 0; // 1 frame count, 2 byte count, 4 seek table, 8 quality
  bool HasToc() const noexcept { return (Flags & 4) != 0; }
};

// A take that is one LAME tag frame followed by MPEG-1 Layer III frames of one sample
// rate and channel mode, without CRCs, nothing before, between or after them.
struct TMp3Take {
  std::vector<std::uint8_t> TagFrame;
  TMp3TagLayout Tag;
  TMp3Header First; // of the first audio frame
  std::uint32_t Delay = 0, Padding = 0;
  std::vector<TMp3Frame> Frames; // the audio frames, after the tag frame
  std::uint64_t FileBytes = 0;

  // The samples a gapless decoder delivers: every frame's, less delay and padding.
  std::uint64_t Samples() const noexcept;
};

// Reads File as such a take. False for anything else, a file that cannot be read
// included: a tag whose counts disagree with the frames, a frame that is damaged,
// free-format, MPEG-2 or 2.5, another layer, rate or channel mode, trailing bytes.
bool ReadMp3Take(const std::filesystem::path &file, TMp3Take &take);
// Only a look at the start: the file opens with a LAME tag frame.
bool StartsWithLameTag(const std::filesystem::path &file) noexcept;

// The tag frame's fields, found in the first Size bytes of Frame (at least up to the
// end of LAME's extension); false when it is no MPEG-1 Layer III tag frame with it.
bool FindMp3Tag(const std::uint8_t *frame, std::size_t size, TMp3TagLayout &layout) noexcept;

// LAME's CRC-16 (polynomial 0x8005, reflected, as for its tag and music CRCs).
std::uint16_t Mp3Crc16(const std::uint8_t *data, std::size_t size, std::uint16_t crc = 0) noexcept;

} // namespace praatkist::audio
