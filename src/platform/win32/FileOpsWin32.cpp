// FileOps on Windows.

#include "platform/FileOps.h"
#include "platform/FileOpsSystem.h"

#include <algorithm>
#include <cerrno>
#include <windows.h>

namespace praatkist::platform {
namespace fs = std::filesystem;

namespace {

HANDLE H(std::intptr_t handle) noexcept
{
  return reinterpret_cast<HANDLE>(handle);
}
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FILETIME and LARGE_INTEGER times count 100 ns steps since 1601-01-01.
std::int64_t UnixNanoseconds(std::uint64_t ticks) noexcept
{
  return (static_cast<std::int64_t>(ticks) - 116444736000000000LL) * 100;
}

} // namespace

namespace sys {

std::error_code LastError() noexcept
{
  return {static_cast<int>(::GetLastError()), std::system_category()};
}

std::string ErrorText(const std::error_code &error)
{
  if (error.category() == std::system_category()) {
    wchar_t *text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error.value()), 0, reinterpret_cast<wchar_t *>(&text), 0,
        nullptr);
    std::wstring wide(text != nullptr ? text : L"", n);
    ::LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.'))
      wide.pop_back();
    if (!wide.empty())
      return PathText(fs::path(wide));
  }
  return error.message();
}

bool NoLinksHere(const std::error_code &error) noexcept
{
  if (error.category() == std::system_category())
    return error.value() == ERROR_NOT_SAME_DEVICE || error.value() == ERROR_INVALID_FUNCTION ||
           error.value() == ERROR_NOT_SUPPORTED || error.value() == ERROR_TOO_MANY_LINKS;
  // as a fault answer
  const int e = error.value();
  return error.category() == std::generic_category() &&
         (e == EPERM || e == EXDEV || e == EMLINK || e == EOPNOTSUPP || e == ENOSYS);
}

bool LinkFile(const fs::path &from, const fs::path &to) noexcept
{
  return ::CreateHardLinkW(to.c_str(), from.c_str(), nullptr) != 0;
}

bool RenameOver(const fs::path &from, const fs::path &to) noexcept
{
  return ::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool SyncClosedFile(const fs::path &path) noexcept
{
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return false;
  const bool ok = ::FlushFileBuffers(handle) != 0;
  const DWORD error = ::GetLastError();
  ::CloseHandle(handle);
  ::SetLastError(error);
  return ok;
}

// Windows gives no handle on a folder's entries to flush: NTFS logs the creation of
// names, and every rename here is written through (MOVEFILE_WRITE_THROUGH) before it
// returns. What is left to check is that the folder is there.
bool SyncFolder(const fs::path &folder) noexcept
{
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::SetLastError(ERROR_DIRECTORY);
    return false;
  }
  return true;
}

std::intptr_t CreateFileForWriting(const fs::path &path, bool exclusive) noexcept
{
  // CREATE_NEW: any entry of that name, a link too, makes the creation fail
  const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, exclusive ? CREATE_NEW : CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

std::intptr_t OpenFileForUpdate(const fs::path &path) noexcept
{
  // shares everything: a playback may be reading the take meanwhile
  const HANDLE h = ::CreateFileW(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return -1;
  LARGE_INTEGER zero{};
  if (::GetFileType(h) != FILE_TYPE_DISK || !::SetFilePointerEx(h, zero, nullptr, FILE_END)) {
    ::CloseHandle(h);
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return reinterpret_cast<std::intptr_t>(h);
}

bool CloseFile(std::intptr_t handle) noexcept
{
  return ::CloseHandle(H(handle)) != 0;
}

bool WriteSome(std::intptr_t handle, const void *data, std::size_t size,
               std::size_t &written) noexcept
{
  DWORD n = 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  const bool done = ::WriteFile(H(handle), data, want, &n, nullptr) != 0;
  written = n;
  return done;
}

// A write at an offset moves a synchronous handle's position: it is put back after.
bool WriteSomeAt(std::intptr_t handle, const void *data, std::size_t size, std::uint64_t offset,
                 std::size_t &written) noexcept
{
  written = 0;
  LARGE_INTEGER here{}, zero{};
  if (!::SetFilePointerEx(H(handle), zero, &here, FILE_CURRENT))
    return false;
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD n = 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  const bool done = ::WriteFile(H(handle), data, want, &n, &where) != 0;
  written = n;
  const DWORD error = ::GetLastError();
  const bool back = ::SetFilePointerEx(H(handle), here, nullptr, FILE_BEGIN) != 0;
  if (!done)
    ::SetLastError(error);
  return done && back;
}

bool TruncateFile(std::intptr_t handle, std::uint64_t size) noexcept
{
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(H(handle), at, nullptr, FILE_BEGIN) != 0 &&
         ::SetEndOfFile(H(handle)) != 0;
}

bool FlushFile(std::intptr_t handle) noexcept
{
  return ::FlushFileBuffers(H(handle)) != 0;
}

// Windows has no copy of a byte range between two open files; its cache manager also
// writes behind by itself.
bool HasKernelCopy() noexcept
{
  return false;
}

std::int64_t KernelCopy(std::intptr_t, std::uint64_t, std::intptr_t, std::uint64_t) noexcept
{
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}

bool KernelCopyRefused(const std::error_code &) noexcept
{
  return true;
}

void StartWriteBehind(std::intptr_t) noexcept {}

} // namespace sys

bool GetFileIdentity(const fs::path &path, TFileIdentity &identity) noexcept
{
  // attributes only: open whatever share mode others hold it with
  const HANDLE h = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  const bool ok = ::GetFileInformationByHandle(h, &info) != 0 &&
                  (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                  ::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0;
  ::CloseHandle(h);
  if (!ok)
    return false;
  identity.Size = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  identity.ModifiedNs = UnixNanoseconds(std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                        info.ftLastWriteTime.dwLowDateTime);
  identity.ChangedNs = UnixNanoseconds(static_cast<std::uint64_t>(basic.ChangeTime.QuadPart));
  identity.FileId = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  return true;
}

bool SameFile(const fs::path &a, const fs::path &b) noexcept
{
  BY_HANDLE_FILE_INFORMATION info[2]{};
  const fs::path *paths[2] = {&a, &b};
  for (int k = 0; k < 2; ++k) {
    const HANDLE h = ::CreateFileW(paths[k]->c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return false;
    const bool ok = ::GetFileInformationByHandle(h, &info[k]) != 0;
    ::CloseHandle(h);
    if (!ok)
      return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// ---- TReadFile ----

TReadFile::TReadFile(const fs::path &path) : FPath(path)
{
  const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    RaiseFileError(sys::LastError(), path);
  FHandle = reinterpret_cast<std::intptr_t>(h);
}

TReadFile::~TReadFile()
{
  if (FHandle != -1)
    ::CloseHandle(H(FHandle));
}

std::size_t TReadFile::ReadAt(std::uint64_t offset, void *data, std::size_t size)
{
  auto *p = static_cast<char *>(data);
  std::size_t done = 0;
  while (done < size) {
    const std::uint64_t at = offset + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(H(FHandle), p + done, want, &got, &where)) {
      if (::GetLastError() == ERROR_HANDLE_EOF)
        break;
      RaiseFileError(sys::LastError(), FPath);
    }
    if (got == 0)
      break;
    done += got;
  }
  return done;
}

std::uint64_t TReadFile::Size() const
{
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(H(FHandle), &size))
    RaiseFileError(sys::LastError(), FPath);
  return static_cast<std::uint64_t>(size.QuadPart);
}

} // namespace praatkist::platform
