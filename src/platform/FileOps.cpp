#include "platform/FileOps.h"

#include "platform/Errors.h"
#include "platform/FileStream.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace praatkist::platform {
namespace fs = std::filesystem;

namespace {

std::atomic<TFileFaultHook> GFaultHook{nullptr};

// Why the last system call on this thread failed: errno, or GetLastError() on Windows.
std::error_code LastError() noexcept
{
#ifdef _WIN32
  return {static_cast<int>(::GetLastError()), std::system_category()};
#else
  return {errno, std::generic_category()};
#endif
}

std::string ErrorText(const std::error_code &ec)
{
#ifdef _WIN32
  if (ec.category() == std::system_category()) {
    wchar_t *text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(ec.value()), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring wide(text != nullptr ? text : L"", n);
    ::LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.'))
      wide.pop_back();
    if (!wide.empty())
      return PathText(fs::path(wide));
  }
#endif
  return ec.message();
}

[[noreturn]] void Raise(const std::error_code &ec, const fs::path &path)
{
  throw EFileError(ErrorText(ec) + ": " + PathText(path));
}

[[noreturn]] void RaiseErrno(int error, const fs::path &path)
{
  throw EFileError(std::string(std::strerror(error)) + ": " + PathText(path));
}

// Runs one step that changes the disk, after asking the fault hook: true when it
// worked, else Error says why. A fault answer looks like the system's own failure.
template <typename Call>
bool Step(const char *step, const fs::path &path, std::error_code &error, Call call)
{
  if (const int fault = FileFault(step, path); fault != 0) {
    error = {fault, std::generic_category()};
    return false;
  }
  if (call())
    return true;
  error = LastError();
  return false;
}

// The file system cannot make hard links (FAT, some network shares) or not this one.
bool NoLinksHere(const std::error_code &ec) noexcept
{
#ifdef _WIN32
  if (ec.category() == std::system_category())
    return ec.value() == ERROR_NOT_SAME_DEVICE || ec.value() == ERROR_INVALID_FUNCTION ||
           ec.value() == ERROR_NOT_SUPPORTED || ec.value() == ERROR_TOO_MANY_LINKS;
#endif
  if (ec.category() != std::generic_category())
    return false;
  const int error = ec.value();
  return error == EPERM || error == EXDEV || error == EMLINK || error == EOPNOTSUPP ||
         error == ENOSYS;
}

#ifndef _WIN32
// The kernel will not copy between these two files; a plain copy may.
bool KernelCopyRefused(int error) noexcept
{
  return error == EXDEV || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL ||
         error == EBADF;
}
#endif

#ifdef _WIN32
HANDLE H(std::intptr_t handle) noexcept
{
  return reinterpret_cast<HANDLE>(handle);
}
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
#endif

// A second name To for the file From.
bool LinkFile(const fs::path &from, const fs::path &to) noexcept
{
#ifdef _WIN32
  return ::CreateHardLinkW(to.c_str(), from.c_str(), nullptr) != 0;
#else
  return ::link(from.c_str(), to.c_str()) == 0;
#endif
}

// Renames From over To in one step; on Windows written through to the disk before
// it returns.
bool RenameOver(const fs::path &from, const fs::path &to) noexcept
{
#ifdef _WIN32
  return ::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return ::rename(from.c_str(), to.c_str()) == 0;
#endif
}

} // namespace

void SetFileFaultHook(TFileFaultHook hook) noexcept
{
  GFaultHook.store(hook);
}

int FileFault(const char *step, const fs::path &path) noexcept
{
  const TFileFaultHook hook = GFaultHook.load();
  return hook != nullptr ? hook(step, path) : 0;
}

bool FileExists(const fs::path &path) noexcept
{
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

void DeleteFileOrRaise(const fs::path &path)
{
  std::error_code ec;
  // remove() would also take an empty folder; only files are deleted here.
  if (fs::is_directory(path, ec))
    Raise(std::make_error_code(std::errc::is_a_directory), path);
  if (const int fault = FileFault("delete", path); fault != 0)
    RaiseErrno(fault, path);
  if (!fs::remove(path, ec) && !ec)
    ec = std::make_error_code(std::errc::no_such_file_or_directory);
  if (ec)
    Raise(ec, path);
}

void CopyFileOrRaise(const fs::path &from, const fs::path &to)
{
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec)
    Raise(ec, fs::exists(from) ? to : from);
}

void SnapshotFileOrRaise(const fs::path &from, const fs::path &to)
{
  std::error_code ec;
  if (!fs::is_regular_file(from, ec))
    Raise(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory), from);
  if (Step("link", to, ec, [&] { return LinkFile(from, to); }))
    return;
  if (!NoLinksHere(ec))
    Raise(ec, to);
  // A copy, complete and on the disk, or nothing.
  try {
    TReadFile source(from);
    TNewFile copy(to);
    std::vector<std::uint8_t> buffer(65536);
    const std::uint64_t size = source.Size();
    if (copy.CopyFrom(source, 0, size, buffer.data(), buffer.size()) != size)
      RaiseErrno(EIO, from);
    copy.Sync();
    copy.Close();
  } catch (...) {
    fs::remove(to, ec);
    throw;
  }
}

void ReplaceFileOrRaise(const fs::path &from, const fs::path &to)
{
  std::error_code ec;
  if (fs::is_directory(to, ec))
    Raise(std::make_error_code(std::errc::is_a_directory), to);
  if (!Step("rename", to, ec, [&] { return RenameOver(from, to); }))
    Raise(ec, from);
}

namespace {

#ifdef _WIN32

// Opens the closed file Path again and flushes it, as the step Step.
void SyncFileAt(const fs::path &path, const char *step)
{
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    Raise(LastError(), path);
  std::error_code ec;
  const bool ok = Step(step, path, ec, [&] { return ::FlushFileBuffers(handle) != 0; });
  ::CloseHandle(handle);
  if (!ok)
    Raise(ec, path);
}

// Windows gives no handle on a folder's entries to flush: NTFS logs the creation of
// names, and every rename here is written through (MOVEFILE_WRITE_THROUGH) before it
// returns. What is left to check is that the folder is there.
void SyncFolderAt(const fs::path &folder, const char *step)
{
  std::error_code ec;
  if (!Step(step, folder, ec, [&] {
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
          ::SetLastError(ERROR_DIRECTORY);
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      }))
    Raise(ec, folder);
}

#else

// Opens Path with Flags and fsyncs it, as the step Step.
void SyncOrRaise(const fs::path &path, int flags, const char *step)
{
  const int handle = ::open(path.c_str(), flags | O_CLOEXEC);
  if (handle < 0)
    RaiseErrno(errno, path);
  std::error_code ec;
  const bool ok = Step(step, path, ec, [&] { return ::fsync(handle) == 0; });
  ::close(handle);
  if (!ok)
    Raise(ec, path);
}

void SyncFileAt(const fs::path &path, const char *step)
{
  SyncOrRaise(path, O_RDONLY, step);
}

void SyncFolderAt(const fs::path &folder, const char *step)
{
  SyncOrRaise(folder, O_RDONLY | O_DIRECTORY, step);
}

#endif

} // namespace

void SyncFileOrRaise(const fs::path &path)
{
  SyncFileAt(path, "sync");
}

void SyncFolderOrRaise(const fs::path &folder)
{
  SyncFolderAt(folder.empty() ? fs::path(".") : folder, "syncdir");
}

bool DeleteFileQuietly(const fs::path &path) noexcept
{
  std::error_code ec;
  return !fs::is_directory(path, ec) && fs::remove(path, ec);
}

bool CopyFileQuietly(const fs::path &from, const fs::path &to) noexcept
{
  std::error_code ec;
  return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
}

bool SyncFolderQuietly(const fs::path &folder) noexcept
{
  try {
    SyncFolderOrRaise(folder);
    return true;
  } catch (...) {
    return false;
  }
}

#ifdef _WIN32

bool GetFileIdentity(const fs::path &path, TFileIdentity &identity) noexcept
{
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  identity.Size = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
  // FILETIME counts 100 ns steps since 1601-01-01
  const std::int64_t ticks =
      static_cast<std::int64_t>(std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 |
                                data.ftLastWriteTime.dwLowDateTime);
  identity.ModifiedNs = (ticks - 116444736000000000LL) * 100;
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

#else

bool GetFileIdentity(const fs::path &path, TFileIdentity &identity) noexcept
{
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  identity.Size = static_cast<std::uint64_t>(st.st_size);
  identity.ModifiedNs =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

bool SameFile(const fs::path &a, const fs::path &b) noexcept
{
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

#endif

// ---- TReadFile ----

#ifdef _WIN32

TReadFile::TReadFile(const fs::path &path) : FPath(path)
{
  const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    Raise(LastError(), path);
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
      Raise(LastError(), FPath);
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
    Raise(LastError(), FPath);
  return static_cast<std::uint64_t>(size.QuadPart);
}

#else

TReadFile::TReadFile(const fs::path &path) : FPath(path)
{
  FHandle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (FHandle < 0)
    RaiseErrno(errno, path);
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
      RaiseErrno(errno, FPath);
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
    RaiseErrno(errno, FPath);
  return static_cast<std::uint64_t>(st.st_size);
}

#endif

// ---- TNewFile ----

TNewFile::TNewFile(const fs::path &path) : FPath(path)
{
  std::error_code ec;
  const bool ok = Step("create", path, ec, [&] {
#ifdef _WIN32
    // CREATE_NEW: any entry of that name, a link too, makes the creation fail
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                   nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    FHandle = h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
#else
    FHandle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
#endif
    return FHandle != -1;
  });
  if (!ok)
    platform::Raise(ec, FPath);
}

namespace {

bool CloseHandleOf(std::intptr_t handle) noexcept
{
#ifdef _WIN32
  return ::CloseHandle(H(handle)) != 0;
#else
  return ::close(static_cast<int>(handle)) == 0;
#endif
}

} // namespace

TNewFile::~TNewFile()
{
  if (FHandle != -1)
    CloseHandleOf(FHandle);
}

void TNewFile::Raise() const
{
  platform::Raise(LastError(), FPath);
}

void TNewFile::Write(const void *data, std::size_t size)
{
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    std::size_t written = 0;
    std::error_code ec;
    const bool ok = Step("write", FPath, ec, [&] {
#ifdef _WIN32
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      const bool done = ::WriteFile(H(FHandle), p, want, &n, nullptr) != 0;
      written = n;
      return done;
#else
      ssize_t n;
      do
        n = ::write(static_cast<int>(FHandle), p, size);
      while (n < 0 && errno == EINTR);
      written = n > 0 ? static_cast<std::size_t>(n) : 0;
      return n >= 0;
#endif
    });
    if (ok && written == 0)
      ec = std::make_error_code(std::errc::io_error);
    if (!ok || written == 0)
      platform::Raise(ec, FPath);
    p += written;
    size -= written;
  }
}

// Copies start the disk's writing in steps of this many bytes.
constexpr std::uint64_t kWriteBehindStep = 32u << 20;

std::uint64_t TNewFile::CopyFrom(TReadFile &source, std::uint64_t offset, std::uint64_t length,
                                 void *buffer, std::size_t bufferSize)
{
  std::uint64_t done = 0;
  while (done < length) {
    if (FCopied >= kWriteBehindStep)
      WriteBehind();
    const std::uint64_t want = std::min<std::uint64_t>(length - done, kWriteBehindStep);
#ifndef _WIN32
    if (FKernelCopy) {
      loff_t from = static_cast<loff_t>(offset + done);
      ssize_t n = -1;
      std::error_code ec;
      const bool ok = Step("copyrange", FPath, ec, [&] {
        n = ::copy_file_range(static_cast<int>(source.Handle()), &from, static_cast<int>(FHandle),
                              nullptr, static_cast<std::size_t>(want), 0);
        return n >= 0;
      });
      if (ok && n > 0) {
        done += static_cast<std::uint64_t>(n);
        FCopied += static_cast<std::uint64_t>(n);
        continue;
      }
      if (ok)
        break; // the source has ended
      if (ec.value() == EINTR)
        continue;
      if (!KernelCopyRefused(ec.value()))
        platform::Raise(ec, FPath);
      FKernelCopy = false; // the rest goes through the buffer
    }
#endif
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(want, bufferSize));
    const std::size_t got = source.ReadAt(offset + done, buffer, chunk);
    if (got == 0)
      break;
    Write(buffer, got);
    done += got;
    FCopied += got;
  }
  return done;
}

// Starts the writing of everything written so far without waiting for it: the disk
// works while the copy goes on, instead of the dirty pages piling up until the kernel
// throttles the copy or a Sync pushes them all at once. A hint, so a refusal is fine
// (Windows has none: its cache manager writes behind by itself).
void TNewFile::WriteBehind() noexcept
{
  FCopied = 0;
#ifdef SYNC_FILE_RANGE_WRITE
  ::sync_file_range(static_cast<int>(FHandle), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void TNewFile::Sync()
{
  std::error_code ec;
  if (!Step("sync", FPath, ec, [&] {
#ifdef _WIN32
        return ::FlushFileBuffers(H(FHandle)) != 0;
#else
        return ::fsync(static_cast<int>(FHandle)) == 0;
#endif
      }))
    platform::Raise(ec, FPath);
}

void TNewFile::Close()
{
  const std::intptr_t handle = FHandle;
  FHandle = -1;
  const int fault = FileFault("close", FPath);
  const bool closed = CloseHandleOf(handle);
  std::error_code ec = closed ? std::error_code() : LastError();
  if (fault != 0)
    ec = {fault, std::generic_category()};
  if (ec)
    platform::Raise(ec, FPath);
}

} // namespace praatkist::platform
