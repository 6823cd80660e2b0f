#include "support/TestTakes.h"

#include "audio/AudioLayer.h"
#include "audio/capture/Mp3TakeWriter.h"
#include "audio/codec/Mp3Encoder.h"
#include "audio/TakeFiles.h"
#include "audio/codec/WavHeader.h"
#include "support/TestFiles.h"

#include <fstream>

namespace praatkist::test {

void WriteWave(const std::filesystem::path &path, std::uint32_t rate, std::uint16_t channels,
               const std::vector<std::int16_t> &samples)
{
  const auto header =
      audio::BuildWaveHeader(static_cast<std::uint32_t>(samples.size() * 2), rate, channels);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(header.data()), 44);
  out.write(reinterpret_cast<const char *>(samples.data()),
            static_cast<std::streamsize>(samples.size() * 2));
}

bool WriteMp3(const std::filesystem::path &path, std::uint32_t rate, std::uint16_t channels,
              int kbps, const std::vector<std::int16_t> &samples)
{
  audio::TMp3Encoder enc;
  return enc.Open(path, rate, channels, kbps) == audio::kErrOk &&
         enc.Encode(samples.data(), samples.size() * 2) && enc.Finish();
}

std::uint64_t TranscodeToMp3(audio::IAudioLayer &layer, const std::filesystem::path &from,
                             const std::filesystem::path &to, int kbps)
{
  const audio::THandle stream = layer.StreamCreateFile(from, true);
  audio::TChannelInfo info;
  if (stream == 0 || !layer.ChannelGetInfo(stream, info))
    return 0;
  std::uint64_t bytes = 0;
  bool ok = false;
  try {
    audio::TMp3TakeWriter writer(to, {info.Freq, static_cast<std::uint16_t>(info.Chans)}, kbps);
    writer.Begin();
    std::vector<char> buf(65536);
    ok = true;
    for (;;) {
      const std::uint32_t got = layer.ChannelGetData(stream, buf.data(), 65536);
      if (got == 0 || got == audio::kDataError)
        break;
      ok = writer.Write(buf.data(), got) && ok;
      bytes += got;
    }
    ok = writer.Finish() && ok;
  } catch (...) {
    ok = false;
  }
  layer.StreamFree(stream);
  return ok ? bytes : 0;
}

std::string TrimRecordText(const std::string &start, const std::optional<std::string> &end,
                           const std::string &more)
{
  std::string text = "[Trim]\r\nStartSeconds=" + start + "\r\n";
  if (end)
    text += "EndSeconds=" + *end + "\r\n";
  return text + more;
}

void WriteTrimRecord(const std::filesystem::path &take, const std::string &start,
                     const std::optional<std::string> &end, const std::string &more)
{
  const std::string text = TrimRecordText(start, end, more);
  WriteBytes(audio::TrimRecordPath(take), text.data(), text.size());
}

} // namespace praatkist::test
