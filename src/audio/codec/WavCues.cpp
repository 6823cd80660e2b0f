#include "audio/codec/WavCues.h"

#include "audio/codec/WaveWriter.h"

#include <algorithm>

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

void RewriteWaveTail(const std::filesystem::path &file, const TMarkers &markers)
{
  TWaveWriter out = TWaveWriter::Reopen(file);
  out.Finish(markers);
  out.SyncAndClose();
}

} // namespace praatkist::audio
