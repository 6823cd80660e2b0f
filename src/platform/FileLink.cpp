#include "platform/FileLink.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace praatkist::platform {

#ifdef _WIN32

TFileLink::TFileLink(const std::filesystem::path &path) noexcept
{
  try {
    FPath = path;
  } catch (...) {
    return;
  }
  _wsopen_s(&FHandle, path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, 0);
}

TFileLink::~TFileLink()
{
  if (FHandle >= 0)
    _close(FHandle);
}

// Windows keeps a file that is open here from being deleted: it always has its name.
bool TFileLink::Removed() const noexcept
{
  return false;
}

// Flushing needs write access, which the writer's own handle may deny to others while
// it is open: a handle of its own, asking for nothing the writer refuses. The name
// still leads to this file, since Windows lets no one delete or replace it while the
// link holds it open.
bool TFileLink::Sync() const noexcept
{
  if (FHandle < 0)
    return false;
  const HANDLE h = ::CreateFileW(FPath.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  const bool flushed = ::FlushFileBuffers(h) != 0;
  ::CloseHandle(h);
  return flushed;
}

#else

TFileLink::TFileLink(const std::filesystem::path &path) noexcept
{
  FHandle = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
}

TFileLink::~TFileLink()
{
  if (FHandle >= 0)
    ::close(FHandle);
}

bool TFileLink::Removed() const noexcept
{
  struct stat st {};
  return FHandle >= 0 && ::fstat(FHandle, &st) == 0 && st.st_nlink == 0;
}

bool TFileLink::Sync() const noexcept
{
  return FHandle >= 0 && ::fsync(FHandle) == 0;
}

#endif

} // namespace praatkist::platform
