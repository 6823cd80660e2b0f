#include "audio/codec/WavCues.h"

#include "audio/codec/WavHeader.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <cstring>

namespace praatkist::audio {

namespace {

void Put32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutId(std::vector<std::uint8_t> &out, const char *id)
{
  out.insert(out.end(), id, id + 4);
}

std::uint32_t Get32(const std::uint8_t *p) noexcept
{
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

std::vector<std::uint8_t> BuildCueChunks(const TMarkers &markers)
{
  std::vector<std::uint8_t> out;
  if (markers.empty())
    return out;
  const auto count = static_cast<std::uint32_t>(markers.size());
  PutId(out, "cue ");
  Put32(out, 4u + 24u * count);
  Put32(out, count);
  for (std::uint32_t i = 0; i < count; ++i) {
    // a cue beyond what 32 bits can say stands at the last place they can
    const auto frame = static_cast<std::uint32_t>(std::min<std::uint64_t>(markers[i], 0xFFFFFFFFu));
    Put32(out, i + 1); // its name, for the label
    Put32(out, frame); // its position in play order
    PutId(out, "data");
    Put32(out, 0); // chunk start: the one data chunk
    Put32(out, 0); // block start: PCM
    Put32(out, frame);
  }

  std::vector<std::uint8_t> list;
  PutId(list, "adtl");
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string name = MarkerName(i + 1);
    const auto size = static_cast<std::uint32_t>(4 + name.size() + 1);
    PutId(list, "labl");
    Put32(list, size);
    Put32(list, i + 1);
    list.insert(list.end(), name.begin(), name.end());
    list.push_back(0);
    if (size % 2 != 0)
      list.push_back(0); // chunks are padded to even sizes
  }
  PutId(out, "LIST");
  Put32(out, static_cast<std::uint32_t>(list.size()));
  out.insert(out.end(), list.begin(), list.end());
  return out;
}

TMarkers ParseCueChunks(const std::uint8_t *head, std::size_t size)
{
  TMarkers markers;
  if (size < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
    return markers;
  std::uint64_t at = 12;
  while (at + 8 <= size) {
    const std::uint8_t *chunk = head + at;
    const std::uint32_t length = Get32(chunk + 4);
    if (std::memcmp(chunk, "cue ", 4) == 0 && at + 12 <= size) {
      const std::uint32_t count = Get32(chunk + 8);
      for (std::uint32_t i = 0; i < count && at + 12 + 24ull * (i + 1) <= size; ++i)
        markers.push_back(Get32(chunk + 12 + 24ull * i + 20));
      break;
    }
    at += 8 + std::uint64_t{length} + (length & 1u);
  }
  std::sort(markers.begin(), markers.end());
  return markers;
}

void RewriteWaveTail(const std::filesystem::path &file, const TMarkers &markers)
{
  TWaveHeader head{};
  std::uint64_t size = 0;
  std::size_t got = 0;
  {
    platform::TReadFile in(file);
    got = in.ReadAt(0, head.data(), head.size());
    size = in.Size();
  }
  TWaveLayout layout;
  if (got < kWaveHeaderSize || !ParseWaveLayout(head.data(), got, layout) ||
      layout.DataOffset != kWaveHeaderSize || layout.FormatTag != 1 || layout.BitsPerSample != 16 ||
      layout.Channels == 0)
    throw EInvalidOperation("Dit is geen WAV-opname van Praatkist: " + platform::PathText(file));

  const std::uint64_t frameBytes = 2ull * layout.Channels;
  std::uint64_t data = size - kWaveHeaderSize;
  if (layout.DataBytes != kProvisionalSize)
    data = std::min<std::uint64_t>(data, layout.DataBytes);
  data = std::min<std::uint64_t>(data, kMaxWaveDataBytes);
  data -= data % frameBytes;
  std::vector<std::uint8_t> chunks = BuildCueChunks(markers);
  if (kWaveHeaderSize - 8 + data + chunks.size() > 0xFFFFFFFFull)
    chunks.clear(); // no room for them in the RIFF size: the label file keeps them

  const auto dataBytes = static_cast<std::uint32_t>(data);
  platform::TWriteFile out(file, platform::TWriteFile::cfExisting);
  const auto fail = [&file] { throw EFileError(platform::SystemErrorText(file)); };
  if (size != kWaveHeaderSize + data && !out.TryTruncate(kWaveHeaderSize + data))
    fail();
  const TWaveHeader plain = BuildWaveHeader(dataBytes, layout.SampleRate, layout.Channels);
  if (!out.TryWriteAt(0, plain.data(), plain.size()))
    fail();
  if (!chunks.empty()) {
    out.Write(chunks.data(), chunks.size());
    const TWaveHeader covering = BuildWaveHeader(dataBytes, layout.SampleRate, layout.Channels,
                                                 static_cast<std::uint32_t>(chunks.size()));
    if (!out.TryWriteAt(0, covering.data(), covering.size()))
      fail();
  }
  out.Sync();
  out.Close();
}

} // namespace praatkist::audio
