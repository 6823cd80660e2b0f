#pragma once
// A read-only handle on a file that is being written elsewhere (by this program's
// own stream or by an encoder): it tells whether the file still has a name, and
// pushes the file's data to the disk. Never throws; safe on any thread.

#include <filesystem>

namespace praatkist::platform {

class TFileLink {
public:
  // Opens Path for reading without following a link; where that fails, Removed stays
  // false and Sync fails.
  explicit TFileLink(const std::filesystem::path &path) noexcept;
  ~TFileLink();
  TFileLink(const TFileLink &) = delete;
  TFileLink &operator=(const TFileLink &) = delete;

  // True once the file has no name left (it, or its folder, was removed).
  bool Removed() const noexcept;
  // fsync: the file's data and size are on the disk.
  bool Sync() const noexcept;

private:
  int FHandle = -1;
#ifdef _WIN32
  std::filesystem::path FPath; // flushed through a handle of its own (see Sync)
#endif
};

} // namespace praatkist::platform
