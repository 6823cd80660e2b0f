#include "audio/TakeFiles.h"

#include "platform/Errors.h"
#include "platform/FileClaim.h"
#include "platform/FileOps.h"

#include <string>
#include <system_error>

namespace praatkist::audio {

namespace {

std::filesystem::path Appended(const std::filesystem::path &take, const char *suffix)
{
  std::filesystem::path p = take;
  p += suffix;
  return p;
}

// ASCII letters compared without case, everything else byte for byte.
bool EndsWithNoCase(const std::string &name, const std::string &suffix)
{
  if (name.size() < suffix.size())
    return false;
  const std::size_t at = name.size() - suffix.size();
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char a = name[at + i];
    char b = suffix[i];
    if (a >= 'A' && a <= 'Z')
      a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z')
      b = static_cast<char>(b - 'A' + 'a');
    if (a != b)
      return false;
  }
  return true;
}

void CollectEndingIn(const std::filesystem::path &root, const std::string &suffix,
                     std::vector<std::filesystem::path> &files)
{
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code kindError;
    // files of every kind, not folders (a link to a folder is neither listed nor entered)
    if (it->is_directory(kindError))
      continue;
    const std::u8string name = it->path().filename().u8string();
    if (EndsWithNoCase(std::string(name.begin(), name.end()), suffix))
      files.push_back(it->path());
  }
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

std::filesystem::path MarkersPath(const std::filesystem::path &take)
{
  return Appended(take, ".markers.txt");
}

std::filesystem::path MarkersBackupPath(const std::filesystem::path &take)
{
  return BackupPath(MarkersPath(take));
}

std::filesystem::path BackupTempPath(const std::filesystem::path &take)
{
  return Appended(BackupPath(take), kTrimTempSuffix);
}

std::filesystem::path RecordTempPath(const std::filesystem::path &take)
{
  return Appended(TrimRecordPath(take), kTrimTempSuffix);
}

void DeleteTakeWithCompanions(const std::filesystem::path &take)
{
  platform::DeleteFileQuietly(take);
  if (platform::FileExists(take))
    throw EFileError("Het bestand kon niet worden gewist.");
  for (const auto &companion :
       {BackupPath(take), TrimRecordPath(take), MarkersPath(take), MarkersBackupPath(take)})
    if (platform::FileExists(companion))
      platform::DeleteFileQuietly(companion);
}

std::vector<std::filesystem::path> FindTrimLeftovers(const std::filesystem::path &root)
{
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  if (root.empty() || !std::filesystem::is_directory(root, ec))
    return files;
  for (const char *suffix : {".triminfo", ".untrimmed", kTrimTempSuffix})
    CollectEndingIn(root, suffix, files);
  return files;
}

int RemoveAbandonedTrimTemps(const std::filesystem::path &sessionFolder)
{
  namespace fs = std::filesystem;
  int removed = 0;
  std::error_code ec;
  fs::directory_iterator it(sessionFolder, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code kindError;
    // UTF-8: the narrow name of a path on Windows cannot hold every name a user gives
    const std::u8string name = it->path().filename().u8string();
    if (!it->is_regular_file(kindError) ||
        !EndsWithNoCase(std::string(name.begin(), name.end()), kTrimTempSuffix))
      continue;
    std::error_code notRemoved; // held by a running trim, or gone meanwhile
    removed += platform::RemoveUnclaimedFile(it->path(), notRemoved);
  }
  return removed;
}

int RemoveAbandonedTrimTempsUnder(const std::filesystem::path &root)
{
  namespace fs = std::filesystem;
  int removed = 0;
  std::error_code ec;
  fs::directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code kindError;
    if (it->is_directory(kindError)) // as the store lists sessions: links to folders too
      removed += RemoveAbandonedTrimTemps(it->path());
  }
  return removed;
}

int DeleteFilesCounted(const std::vector<std::filesystem::path> &files)
{
  int failed = 0;
  for (const auto &file : files)
    if (!platform::DeleteFileQuietly(file))
      ++failed;
  return failed;
}

} // namespace praatkist::audio
