#include "ui/PeaksCache.h"

#include <chrono>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/stat.h>
#endif

namespace praatkist::ui {

namespace fs = std::filesystem;

bool TFileStamp::Of(const fs::path &APath, TFileStamp &AStamp)
{
  AStamp = TFileStamp{};
#if defined(__unix__) || defined(__APPLE__)
  struct stat st {};
  if (::stat(APath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  AStamp.Size = static_cast<std::uintmax_t>(st.st_size);
#if defined(__APPLE__)
  const timespec modified = st.st_mtimespec;
  const timespec changed = st.st_ctimespec;
#else
  const timespec modified = st.st_mtim;
  const timespec changed = st.st_ctim;
#endif
  AStamp.ModifiedNs = static_cast<std::int64_t>(modified.tv_sec) * 1000000000 + modified.tv_nsec;
  AStamp.ChangedNs = static_cast<std::int64_t>(changed.tv_sec) * 1000000000 + changed.tv_nsec;
  AStamp.Inode = static_cast<std::uint64_t>(st.st_ino);
  return true;
#else
  std::error_code ec;
  if (!fs::is_regular_file(APath, ec))
    return false;
  AStamp.Size = fs::file_size(APath, ec);
  if (ec)
    return false;
  const auto modified = fs::last_write_time(APath, ec);
  if (ec)
    return false;
  AStamp.ModifiedNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count();
  return true;
#endif
}

TPeaksCache::TPeaksCache(std::size_t AMaxValues) : FMaxValues(AMaxValues) {}

bool TPeaksCache::Find(const fs::path &APath, int AMaxPoints, TCachedPeaks &APeaks)
{
  const auto found = FIndex.find(APath.native());
  if (found == FIndex.end())
    return false;
  TFileStamp now;
  if (!TFileStamp::Of(APath, now) || !(now == found->second->Stamp)) {
    Drop(found->second);
    return false;
  }
  if (found->second->Peaks.MaxPoints != AMaxPoints)
    return false;
  FEntries.splice(FEntries.begin(), FEntries, found->second);
  APeaks = found->second->Peaks;
  return true;
}

void TPeaksCache::Store(const fs::path &APath, const TFileStamp &AStamp, TCachedPeaks APeaks)
{
  Forget(APath);
  const std::size_t weight = Weight(APeaks);
  if (weight > FMaxValues)
    return;
  while (!FEntries.empty() && FValues + weight > FMaxValues)
    Drop(std::prev(FEntries.end()));
  FEntries.push_front(TEntry{APath.native(), AStamp, std::move(APeaks)});
  FIndex.emplace(FEntries.front().Key, FEntries.begin());
  FValues += weight;
}

void TPeaksCache::Forget(const fs::path &APath)
{
  const auto found = FIndex.find(APath.native());
  if (found != FIndex.end())
    Drop(found->second);
}

void TPeaksCache::Clear()
{
  FIndex.clear();
  FEntries.clear();
  FValues = 0;
}

void TPeaksCache::Drop(TList::iterator AEntry)
{
  FValues -= Weight(AEntry->Peaks);
  FIndex.erase(AEntry->Key);
  FEntries.erase(AEntry);
}

} // namespace praatkist::ui
