#include "platform/FileStream.h"

#include "platform/Errors.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace praatkist::platform {

std::string PathText(const std::filesystem::path &path)
{
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string SystemErrorText(const std::filesystem::path &path)
{
  return std::string(std::strerror(errno)) + ": " + PathText(path);
}

#ifdef _WIN32

TFileStream::TFileStream(const std::filesystem::path &path, TCreate mode) : FPath(path)
{
  const int how = mode == cfExclusive ? _O_EXCL : _O_TRUNC;
  if (_wsopen_s(&FHandle, path.c_str(), _O_WRONLY | _O_CREAT | how | _O_BINARY, _SH_DENYWR,
                _S_IREAD | _S_IWRITE) != 0)
    throw EFileError(SystemErrorText(path));
}

TFileStream::~TFileStream()
{
  if (FHandle >= 0)
    _close(FHandle);
}

bool TFileStream::Write(const void *data, std::size_t size) noexcept
{
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
    const int n = _write(FHandle, p, chunk);
    if (n <= 0)
      return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool TFileStream::WriteAt(std::uint64_t offset, const void *data, std::size_t size) noexcept
{
  const __int64 here = _lseeki64(FHandle, 0, SEEK_CUR);
  if (here < 0 || _lseeki64(FHandle, static_cast<__int64>(offset), SEEK_SET) < 0)
    return false;
  const bool ok = Write(data, size);
  return _lseeki64(FHandle, here, SEEK_SET) >= 0 && ok;
}

bool TFileStream::Truncate(std::uint64_t size) noexcept
{
  return _chsize_s(FHandle, static_cast<__int64>(size)) == 0 &&
         _lseeki64(FHandle, static_cast<__int64>(size), SEEK_SET) >= 0;
}

bool TFileStream::Flush() noexcept
{
  return _commit(FHandle) == 0;
}

#else

TFileStream::TFileStream(const std::filesystem::path &path, TCreate mode) : FPath(path)
{
  const int how = mode == cfExclusive ? O_EXCL | O_NOFOLLOW : O_TRUNC;
  FHandle = ::open(path.c_str(), O_WRONLY | O_CREAT | how | O_CLOEXEC, 0644);
  if (FHandle < 0)
    throw EFileError(SystemErrorText(path));
}

TFileStream::~TFileStream()
{
  if (FHandle >= 0)
    ::close(FHandle);
}

bool TFileStream::Write(const void *data, std::size_t size) noexcept
{
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t n = ::write(FHandle, p, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool TFileStream::WriteAt(std::uint64_t offset, const void *data, std::size_t size) noexcept
{
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(FHandle, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    p += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool TFileStream::Truncate(std::uint64_t size) noexcept
{
  return ::ftruncate(FHandle, static_cast<off_t>(size)) == 0 &&
         ::lseek(FHandle, static_cast<off_t>(size), SEEK_SET) >= 0;
}

bool TFileStream::Flush() noexcept
{
  return ::fsync(FHandle) == 0;
}

#endif

} // namespace praatkist::platform
