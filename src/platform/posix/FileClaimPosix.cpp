// FileClaim on POSIX systems: flock, which belongs to the open file and ends with it.

#include "platform/FileClaim.h"
#include "platform/FileOps.h"
#include "platform/FileOpsSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace praatkist::platform {
namespace fs = std::filesystem;

namespace {

// Opens the regular file at Path (never through a link, never waiting on a pipe) and
// locks it without waiting: its descriptor, or -1 with Error set.
int OpenLocked(const fs::path &path, std::error_code &error) noexcept
{
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = sys::LastError();
    return -1;
  }
  struct stat held {
  }, now{};
  if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
    error = std::make_error_code(std::errc::invalid_argument);
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? std::make_error_code(std::errc::device_or_resource_busy)
                                 : sys::LastError();
  } else if (::lstat(path.c_str(), &now) != 0 || now.st_dev != held.st_dev ||
             now.st_ino != held.st_ino) {
    // removed or replaced between the open and the lock
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  } else {
    return fd;
  }
  ::close(fd);
  return -1;
}

} // namespace

void TFileClaim::Claim(const fs::path &path)
{
  Release();
  std::error_code error;
  const int fd = OpenLocked(path, error);
  if (fd < 0)
    RaiseFileError(error, path);
  FHandle = fd;
}

void TFileClaim::Release() noexcept
{
  if (FHandle != -1)
    ::close(static_cast<int>(FHandle));
  FHandle = -1;
}

bool RemoveUnclaimedFile(const fs::path &path, std::error_code &error) noexcept
{
  error.clear();
  if (const int fault = FileFault("delete", path); fault != 0) {
    error = {fault, std::generic_category()};
    return false;
  }
  const int fd = OpenLocked(path, error);
  if (fd < 0)
    return false;
  // Every writer and every clean-up removes or renames a claimed file only while it
  // holds the claim: locked and still under Path, it stays there until this unlink.
  const bool removed = ::unlink(path.c_str()) == 0;
  if (!removed)
    error = sys::LastError();
  ::close(fd);
  return removed;
}

} // namespace praatkist::platform
