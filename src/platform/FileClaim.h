#pragma once
// Claims on files by the writer that makes them. A claim is an advisory lock that every
// process sees, and the system drops it when its holder ends, however it ends (a
// crash, a kill): a file that no process claims is not being written by anyone.
//
// A writer claims a file it has just made and holds the claim until it has renamed the
// file into place or deleted it. A clean-up removes only files it can claim itself
// (RemoveUnclaimedFile), so it never takes a file from a running writer, in this
// process or in another.
//
// POSIX: flock on a descriptor of the file. Windows: a byte-range lock far beyond any
// data (LockFileEx), on a handle that shares everything, so the file can still be read,
// written and renamed by its writer.

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace praatkist::platform {

class TFileClaim {
public:
  TFileClaim() noexcept = default;
  ~TFileClaim() { Release(); }
  TFileClaim(const TFileClaim &) = delete;
  TFileClaim &operator=(const TFileClaim &) = delete;

  // Claims the file at Path, which this process has just made; an earlier claim is
  // released first. Raises EFileError when another process holds the file, or when
  // Path no longer leads to it (a clean-up took it away in between).
  void Claim(const std::filesystem::path &path);
  void Release() noexcept;
  bool Held() const noexcept { return FHandle != -1; }

private:
  std::intptr_t FHandle = -1; // a descriptor, or a HANDLE on Windows
};

// Removes the regular file at Path if no process claims it. False when it is claimed
// (Error: device_or_resource_busy) or cannot be opened or removed (Error says why).
bool RemoveUnclaimedFile(const std::filesystem::path &path, std::error_code &error) noexcept;

} // namespace praatkist::platform
