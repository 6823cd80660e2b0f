#include "support/TestTakes.h"

#include "audio/AudioLayer.h"
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
