// FileOps on Linux and other POSIX systems with copy_file_range.

#include "platform/FileOps.h"
#include "platform/FileOpsSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace praatkist::platform {
namespace fs = std::filesystem;

namespace sys {

std::error_code LastError() noexcept
{
  return {errno, std::generic_category()};
}

std::string ErrorText(const std::error_code &error)
{
  return error.message();
}

bool NoLinksHere(const std::error_code &error) noexcept
{
  if (error.category() != std::generic_category())
    return false;
  const int e = error.value();
  return e == EPERM || e == EXDEV || e == EMLINK || e == EOPNOTSUPP || e == ENOSYS;
}

bool LinkFile(const fs::path &from, const fs::path &to) noexcept
{
  return ::link(from.c_str(), to.c_str()) == 0;
}

bool RenameOver(const fs::path &from, const fs::path &to) noexcept
{
  return ::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

// Opens Path with Flags and fsyncs it.
bool OpenAndSync(const fs::path &path, int flags) noexcept
{
  const int handle = ::open(path.c_str(), flags | O_CLOEXEC);
  if (handle < 0)
    return false;
  const bool ok = ::fsync(handle) == 0;
  const int error = errno;
  ::close(handle);
  errno = error;
  return ok;
}

} // namespace

bool SyncClosedFile(const fs::path &path) noexcept
{
  return OpenAndSync(path, O_RDONLY);
}

bool SyncFolder(const fs::path &folder) noexcept
{
  return OpenAndSync(folder, O_RDONLY | O_DIRECTORY);
}

std::intptr_t CreateFileForWriting(const fs::path &path, bool exclusive) noexcept
{
  // O_EXCL with O_NOFOLLOW: any entry of that name, a link too, makes the creation fail
  const int how = exclusive ? O_EXCL | O_NOFOLLOW : O_TRUNC;
  return ::open(path.c_str(), O_WRONLY | O_CREAT | how | O_CLOEXEC, 0644);
}

std::intptr_t OpenFileForUpdate(const fs::path &path) noexcept
{
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

bool CloseFile(std::intptr_t handle) noexcept
{
  return ::close(static_cast<int>(handle)) == 0;
}

bool WriteSome(std::intptr_t handle, const void *data, std::size_t size,
               std::size_t &written) noexcept
{
  ssize_t n;
  do
    n = ::write(static_cast<int>(handle), data, size);
  while (n < 0 && errno == EINTR);
  written = n > 0 ? static_cast<std::size_t>(n) : 0;
  return n >= 0;
}

bool WriteSomeAt(std::intptr_t handle, const void *data, std::size_t size, std::uint64_t offset,
                 std::size_t &written) noexcept
{
  ssize_t n;
  do
    n = ::pwrite(static_cast<int>(handle), data, size, static_cast<off_t>(offset));
  while (n < 0 && errno == EINTR);
  written = n > 0 ? static_cast<std::size_t>(n) : 0;
  return n >= 0;
}

bool TruncateFile(std::intptr_t handle, std::uint64_t size) noexcept
{
  return ::ftruncate(static_cast<int>(handle), static_cast<off_t>(size)) == 0 &&
         ::lseek(static_cast<int>(handle), static_cast<off_t>(size), SEEK_SET) >= 0;
}

bool FlushFile(std::intptr_t handle) noexcept
{
  return ::fsync(static_cast<int>(handle)) == 0;
}

bool HasKernelCopy() noexcept
{
  return true;
}

std::int64_t KernelCopy(std::intptr_t source, std::uint64_t offset, std::intptr_t target,
                        std::uint64_t length) noexcept
{
  loff_t from = static_cast<loff_t>(offset);
  return ::copy_file_range(static_cast<int>(source), &from, static_cast<int>(target), nullptr,
                           static_cast<std::size_t>(length), 0);
}

bool KernelCopyRefused(const std::error_code &error) noexcept
{
  const int e = error.value();
  return error.category() == std::generic_category() &&
         (e == EXDEV || e == EOPNOTSUPP || e == ENOSYS || e == EINVAL || e == EBADF);
}

void StartWriteBehind([[maybe_unused]] std::intptr_t handle) noexcept
{
#ifdef SYNC_FILE_RANGE_WRITE
  ::sync_file_range(static_cast<int>(handle), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

} // namespace sys

namespace {

std::int64_t Nanoseconds(const timespec &t)
{
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

bool GetFileIdentity(const fs::path &path, TFileIdentity &identity) noexcept
{
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  identity.Size = static_cast<std::uint64_t>(st.st_size);
  identity.ModifiedNs = Nanoseconds(st.st_mtim);
  identity.ChangedNs = Nanoseconds(st.st_ctim);
  identity.FileId = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

bool SameFile(const fs::path &a, const fs::path &b) noexcept
{
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// ---- TReadFile ----

TReadFile::TReadFile(const fs::path &path) : FPath(path)
{
  FHandle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (FHandle < 0)
    RaiseFileError(sys::LastError(), path);
}

TReadFile::~TReadFile()
{
  if (FHandle >= 0)
    ::close(static_cast<int>(FHandle));
}

std::size_t TReadFile::ReadAt(std::uint64_t offset, void *data, std::size_t size)
{
  auto *p = static_cast<char *>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(static_cast<int>(FHandle), p + done, size - done,
                              static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      RaiseFileError(sys::LastError(), FPath);
    if (n == 0)
      break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::uint64_t TReadFile::Size() const
{
  struct stat st {};
  if (::fstat(static_cast<int>(FHandle), &st) != 0)
    RaiseFileError(sys::LastError(), FPath);
  return static_cast<std::uint64_t>(st.st_size);
}

} // namespace praatkist::platform
