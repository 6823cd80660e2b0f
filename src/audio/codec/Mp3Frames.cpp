#include "audio/codec/Mp3Frames.h"

#include "platform/FileOps.h"

#include <array>
#include <cstring>

namespace praatkist::audio {

namespace {

constexpr std::uint32_t kKbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                     112, 128, 160, 192, 224, 256, 320, 0};
constexpr std::uint32_t kRates[4] = {44100, 48000, 32000, 0};

std::uint32_t Be32(const std::uint8_t *p) noexcept
{
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

constexpr std::array<std::uint16_t, 256> MakeCrcTable() noexcept
{
  std::array<std::uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int k = 0; k < 8; ++k)
      c = c & 1 ? (c >> 1) ^ 0xA001u : c >> 1;
    t[i] = static_cast<std::uint16_t>(c);
  }
  return t;
}
constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

// What is read of the file in one go while walking its frames.
constexpr std::size_t kChunk = 1u << 20;

} // namespace

std::uint32_t Mp3FrameBytes(std::uint32_t kbps, std::uint32_t rate, bool padding) noexcept
{
  return rate == 0 ? 0 : 144000u * kbps / rate + (padding ? 1 : 0);
}

unsigned Mp3BitrateIndex(std::uint32_t kbps) noexcept
{
  for (unsigned i = 1; i < 15; ++i)
    if (kKbps[i] == kbps)
      return i;
  return 0;
}

bool ParseMp3Header(const std::uint8_t *p, TMp3Header &h) noexcept
{
  const std::uint32_t bits = Be32(p);
  // sync, MPEG-1 (version 11), Layer III (01)
  if ((bits & 0xFFFE0000u) != 0xFFFA0000u)
    return false;
  h.Bits = bits;
  h.Crc = (bits >> 16 & 1) == 0;
  h.BitrateIndex = bits >> 12 & 0xF;
  h.Kbps = kKbps[h.BitrateIndex];
  h.SampleRate = kRates[bits >> 10 & 3];
  h.Padding = (bits >> 9 & 1) != 0;
  h.Mode = bits >> 6 & 3;
  if (h.Kbps == 0 || h.SampleRate == 0)
    return false;
  h.FrameBytes = Mp3FrameBytes(h.Kbps, h.SampleRate, h.Padding);
  h.SideInfoBytes = h.Mode == 3 ? 17 : 32;
  return true;
}

std::uint16_t Mp3Crc16(const std::uint8_t *data, std::size_t size, std::uint16_t crc) noexcept
{
  for (std::size_t i = 0; i < size; ++i)
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
  return crc;
}

bool FindMp3Tag(const std::uint8_t *frame, std::size_t size, TMp3TagLayout &layout) noexcept
{
  TMp3Header h;
  if (size < 4 || !ParseMp3Header(frame, h))
    return false;
  const std::size_t x = h.PayloadAt();
  if (x + 8 > size ||
      (std::memcmp(frame + x, "Info", 4) != 0 && std::memcmp(frame + x, "Xing", 4) != 0))
    return false;
  const std::uint32_t flags = Be32(frame + x + 4);
  const std::size_t lame = x + 8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) +
                           (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
  if (lame + 36 > size || lame + 36 > h.FrameBytes || std::memcmp(frame + lame, "LAME", 4) != 0)
    return false;
  layout.Xing = x;
  layout.Lame = lame;
  layout.Flags = flags;
  return true;
}

std::uint64_t TMp3Take::Samples() const noexcept
{
  const std::uint64_t all = std::uint64_t{kMp3FrameSamples} * Frames.size();
  return all > Delay + Padding ? all - Delay - Padding : 0;
}

bool StartsWithLameTag(const std::filesystem::path &file) noexcept
{
  try {
    platform::TReadFile f(file);
    std::uint8_t b[2048];
    const std::size_t n = f.ReadAt(0, b, sizeof b);
    TMp3TagLayout layout;
    return FindMp3Tag(b, n, layout);
  } catch (...) {
    return false;
  }
}

bool ReadMp3Take(const std::filesystem::path &file, TMp3Take &take)
{
  take = TMp3Take{};
  try {
    platform::TReadFile f(file);
    take.FileBytes = f.Size();
    std::vector<std::uint8_t> buf(kChunk);
    std::uint64_t bufAt = 0;
    std::size_t have = f.ReadAt(0, buf.data(), buf.size());
    // The bytes [At, At + Need) in the buffer, reading on as needed; null past the end.
    const auto view = [&](std::uint64_t at, std::size_t need) -> const std::uint8_t * {
      if (at < bufAt || at + need > bufAt + have) {
        bufAt = at;
        have = f.ReadAt(at, buf.data(), buf.size());
      }
      return at + need <= bufAt + have ? buf.data() + (at - bufAt) : nullptr;
    };

    TMp3Header tag;
    const std::uint8_t *p = view(0, 4);
    if (p == nullptr || !ParseMp3Header(p, tag) || tag.Crc)
      return false;
    p = view(0, tag.FrameBytes);
    // Frame and byte counts are needed; the seek table and the quality may be absent.
    if (p == nullptr || !FindMp3Tag(p, tag.FrameBytes, take.Tag) || (take.Tag.Flags & 3) != 3)
      return false;
    take.TagFrame.assign(p, p + tag.FrameBytes);
    const std::uint8_t *lame = take.TagFrame.data() + take.Tag.Lame;
    take.Delay = std::uint32_t{lame[21]} << 4 | lame[22] >> 4;
    take.Padding = std::uint32_t{lame[22] & 0xFu} << 8 | lame[23];
    const std::uint32_t taggedFrames = Be32(take.TagFrame.data() + take.Tag.Xing + 8);
    const std::uint32_t taggedBytes = Be32(take.TagFrame.data() + take.Tag.Xing + 12);

    std::uint64_t at = tag.FrameBytes;
    take.Frames.reserve(taggedFrames);
    while (at < take.FileBytes) {
      p = view(at, 6);
      TMp3Header h;
      if (p == nullptr || !ParseMp3Header(p, h) || h.Crc || h.SampleRate != tag.SampleRate ||
          h.Mode != tag.Mode || at + h.FrameBytes > take.FileBytes)
        return false;
      if (take.Frames.empty())
        take.First = h;
      TMp3Frame fr;
      fr.Offset = at;
      fr.Bytes = h.FrameBytes;
      fr.MainDataBegin = static_cast<std::uint16_t>(p[4] << 1 | p[5] >> 7);
      fr.PayloadAt = static_cast<std::uint16_t>(h.PayloadAt());
      take.Frames.push_back(fr);
      at += h.FrameBytes;
    }
    return !take.Frames.empty() && take.Frames.size() == taggedFrames &&
           taggedBytes == take.FileBytes &&
           std::uint64_t{kMp3FrameSamples} * taggedFrames > take.Delay + take.Padding;
  } catch (...) {
    return false;
  }
}

} // namespace praatkist::audio
