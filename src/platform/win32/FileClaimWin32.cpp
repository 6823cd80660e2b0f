// FileClaim on Windows: a byte-range lock, which the system drops with the handle.

#include "platform/FileClaim.h"
#include "platform/FileOps.h"
#include "platform/FileOpsSystem.h"

#include <windows.h>

namespace praatkist::platform {
namespace fs = std::filesystem;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The locked byte lies far beyond any data: a byte-range lock on Windows also stops
// reads and writes of that range.
bool LockFar(HANDLE h) noexcept
{
  OVERLAPPED at{};
  at.OffsetHigh = 0x40000000u; // 2^62
  return ::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

// Opens the regular file at Path (not through a link) with Access and locks it
// without waiting: its handle, or INVALID_HANDLE_VALUE with Error set.
HANDLE OpenLocked(const fs::path &path, DWORD access, std::error_code &error) noexcept
{
  const HANDLE h = ::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = sys::LastError();
    return h;
  }
  FILE_ATTRIBUTE_TAG_INFO kind{};
  FILE_STANDARD_INFO standard{};
  if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &kind, sizeof kind) ||
      (kind.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    error = std::make_error_code(std::errc::invalid_argument);
  } else if (!LockFar(h)) {
    const DWORD code = ::GetLastError();
    error = code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING
                ? std::make_error_code(std::errc::device_or_resource_busy)
                : std::error_code(static_cast<int>(code), std::system_category());
  } else if (!::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) ||
             standard.DeletePending) {
    // a clean-up removed it between the open and the lock
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  } else {
    return h;
  }
  ::CloseHandle(h);
  return INVALID_HANDLE_VALUE;
}

} // namespace

void TFileClaim::Claim(const fs::path &path)
{
  Release();
  std::error_code error;
  const HANDLE h = OpenLocked(path, GENERIC_READ, error);
  if (h == INVALID_HANDLE_VALUE)
    RaiseFileError(error, path);
  FHandle = reinterpret_cast<std::intptr_t>(h);
}

void TFileClaim::Release() noexcept
{
  if (FHandle != -1)
    ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = -1;
}

bool RemoveUnclaimedFile(const fs::path &path, std::error_code &error) noexcept
{
  error.clear();
  if (const int fault = FileFault("delete", path); fault != 0) {
    error = {fault, std::generic_category()};
    return false;
  }
  // A writer that shares no deletion (the MP3 encoder's file) keeps this open from
  // succeeding: that file is in use as well.
  const HANDLE h = OpenLocked(path, GENERIC_READ | DELETE, error);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  // Removed through this handle: exactly the file that was locked, whatever its name
  // leads to by now.
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  const bool removed =
      ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
  if (!removed)
    error = sys::LastError();
  ::CloseHandle(h);
  return removed;
}

} // namespace praatkist::platform
