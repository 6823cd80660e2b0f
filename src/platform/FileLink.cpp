#include "platform/FileLink.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace praatkist::platform {

#ifdef _WIN32

TFileLink::TFileLink(const std::filesystem::path &path) noexcept
{
  FHandle = _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
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

bool TFileLink::Sync() const noexcept
{
  return FHandle >= 0 && _commit(FHandle) == 0;
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
