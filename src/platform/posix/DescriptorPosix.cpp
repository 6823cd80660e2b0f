// Descriptor on Linux and other POSIX systems.

#include "platform/Descriptor.h"

#include "platform/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace praatkist::platform::fd {

int OpenForReading(const std::filesystem::path &file) noexcept
{
  return ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
}

// Non-blocking open, then the type checked before anything is written.
int CreateForWriting(const std::filesystem::path &file) noexcept
{
  if (const int fault = FileFault("create", file); fault != 0) {
    errno = fault;
    return -1;
  }
  const int fd = ::open(file.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool IsRegularFile(int fd) noexcept
{
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

int Duplicate(int fd) noexcept
{
  return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

int Close(int fd) noexcept
{
  return ::close(fd);
}

bool Rewind(int fd) noexcept
{
  return ::lseek(fd, 0, SEEK_SET) == 0;
}

long long FileSize(int fd) noexcept
{
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

long long ReadFrom(int fd, void *buffer, std::size_t size, long long at) noexcept
{
  return ::pread(fd, buffer, std::min<std::size_t>(size, 1u << 30), static_cast<off_t>(at));
}

long long WriteSome(int fd, const void *data, std::size_t size) noexcept
{
  return ::write(fd, data, size);
}

long long WriteSomeAt(int fd, const void *data, std::size_t size, long long at) noexcept
{
  return ::pwrite(fd, data, size, static_cast<off_t>(at));
}

} // namespace praatkist::platform::fd
