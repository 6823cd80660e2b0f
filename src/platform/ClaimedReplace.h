#pragma once
// A small file that several programs rewrite whole (a session's opnames.tsv, its
// cijfers.tsv): one change at a time puts the new file in place by a rename, so that a
// crash leaves the old file or the new one. The temporary file beside it is made and
// claimed by its writer (FileClaim) and serves as the lock; one that a crash left
// behind is taken over; another writer's change is waited for (5 s at most).
//
//   TClaimedReplace change(folder / "opnames.tsv.tmp");   // waits for the lock
//   ... read the file afresh, change it ...
//   change.PlaceAs(bytes, folder / "opnames.tsv");

#include "platform/FileClaim.h"
#include "platform/FileOps.h"

#include <filesystem>
#include <memory>
#include <string>

namespace praatkist::platform {

class TClaimedReplace {
public:
  // Raises EFileError when the temporary file cannot be made or stays another's.
  explicit TClaimedReplace(const std::filesystem::path &temp);
  // Removes the temporary file unless it was put in place.
  ~TClaimedReplace();
  TClaimedReplace(const TClaimedReplace &) = delete;
  TClaimedReplace &operator=(const TClaimedReplace &) = delete;

  // Writes Bytes, puts them on the disk and renames the file over Target.
  void PlaceAs(const std::string &bytes, const std::filesystem::path &target);

private:
  std::string ReadBack() const;

  std::filesystem::path FPath;
  std::unique_ptr<TWriteFile> FFile;
  TFileClaim FClaim;
  bool FPlaced = false;
};

} // namespace praatkist::platform
