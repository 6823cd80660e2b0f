#include "audio/TakeFiles.h"

namespace praatkist::audio {

std::filesystem::path BackupPath(const std::filesystem::path& take)
{
  std::filesystem::path p = take;
  p += ".untrimmed";
  return p;
}

std::filesystem::path TrimRecordPath(const std::filesystem::path& take)
{
  std::filesystem::path p = take;
  p += ".triminfo";
  return p;
}

std::filesystem::path TrimTempPath(const std::filesystem::path& take)
{
  std::filesystem::path p = take;
  const std::filesystem::path ext = take.extension();
  if (ext.empty()) {
    p += ".trimtmp";
    return p;
  }
  p.replace_extension(".trimtmp" + ext.string());
  return p;
}

} // namespace praatkist::audio
