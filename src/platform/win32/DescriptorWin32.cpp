// Descriptor on Windows: the C runtime's descriptors on wide paths.

#include "platform/Descriptor.h"

#include "platform/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace praatkist::platform::fd {

int OpenForReading(const std::filesystem::path &file) noexcept
{
  return ::_wopen(file.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int CreateForWriting(const std::filesystem::path &file) noexcept
{
  if (const int fault = FileFault("create", file); fault != 0) {
    errno = fault;
    return -1;
  }
  const int fd = ::_wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
  struct _stat64 st {};
  if (fd >= 0 && (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)) {
    ::_close(fd);
    return -1;
  }
  return fd;
}

bool IsRegularFile(int fd) noexcept
{
  struct _stat64 st {};
  return ::_fstat64(fd, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}

int Duplicate(int fd) noexcept
{
  return ::_dup(fd);
}

int Close(int fd) noexcept
{
  return ::_close(fd);
}

bool Rewind(int fd) noexcept
{
  return ::_lseeki64(fd, 0, SEEK_SET) == 0;
}

long long FileSize(int fd) noexcept
{
  struct _stat64 st {};
  return ::_fstat64(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// It moves the descriptor, whose position nothing else relies on: libsndfile reads
// through the decoder's own reader.
long long ReadFrom(int fd, void *buffer, std::size_t size, long long at) noexcept
{
  if (::_lseeki64(fd, at, SEEK_SET) != at)
    return -1;
  return ::_read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

long long WriteSome(int fd, const void *data, std::size_t size) noexcept
{
  return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

long long WriteSomeAt(int fd, const void *data, std::size_t size, long long at) noexcept
{
  return ::_lseeki64(fd, at, SEEK_SET) == at ? WriteSome(fd, data, size) : -1;
}

} // namespace praatkist::platform::fd
