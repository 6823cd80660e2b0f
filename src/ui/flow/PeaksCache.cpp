#include "ui/flow/PeaksCache.h"

#include "platform/FileOps.h"

namespace praatkist::ui {

namespace fs = std::filesystem;

bool TFileStamp::Of(const fs::path &APath, TFileStamp &AStamp)
{
  AStamp = TFileStamp{};
  platform::TFileIdentity identity;
  if (!platform::GetFileIdentity(APath, identity))
    return false;
  AStamp.Size = identity.Size;
  AStamp.ModifiedNs = identity.ModifiedNs;
  AStamp.ChangedNs = identity.ChangedNs;
  AStamp.Inode = identity.FileId;
  return true;
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
