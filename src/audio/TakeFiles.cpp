#include "audio/TakeFiles.h"

namespace praatkist::audio {

namespace {

std::filesystem::path Appended(const std::filesystem::path &take, const char *suffix)
{
  std::filesystem::path p = take;
  p += suffix;
  return p;
}

} // namespace

std::filesystem::path BackupPath(const std::filesystem::path &take)
{
  return Appended(take, ".untrimmed");
}

std::filesystem::path TrimRecordPath(const std::filesystem::path &take)
{
  return Appended(take, ".triminfo");
}

std::filesystem::path TrimTempPath(const std::filesystem::path &take)
{
  return Appended(take, kTrimTempSuffix);
}

std::filesystem::path BackupTempPath(const std::filesystem::path &take)
{
  return Appended(BackupPath(take), kTrimTempSuffix);
}

std::filesystem::path RecordTempPath(const std::filesystem::path &take)
{
  return Appended(TrimRecordPath(take), kTrimTempSuffix);
}

} // namespace praatkist::audio
