#include "platform/FileOps.h"

#include "platform/Errors.h"
#include "platform/FileStream.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace praatkist::platform {
namespace fs = std::filesystem;

namespace {

std::atomic<TFileFaultHook> GFaultHook{nullptr};

[[noreturn]] void Raise(const std::error_code &ec, const fs::path &path)
{
  throw EFileError(ec.message() + ": " + PathText(path));
}

[[noreturn]] void RaiseErrno(int error, const fs::path &path)
{
  throw EFileError(std::string(std::strerror(error)) + ": " + PathText(path));
}

// Runs a system call returning -1 on failure, after asking the fault hook; a fault
// answer looks to the caller like the system's own failure (errno set).
template <typename Call>
auto Step(const char *step, const fs::path &path, Call call) -> decltype(call())
{
  if (const int fault = FileFault(step, path); fault != 0) {
    errno = fault;
    return -1;
  }
  return call();
}

// The file system cannot make hard links (FAT, some network shares) or not this one.
bool NoLinksHere(int error) noexcept
{
  return error == EPERM || error == EXDEV || error == EMLINK || error == EOPNOTSUPP ||
         error == ENOSYS;
}

// The kernel will not copy between these two files; a plain copy may.
bool KernelCopyRefused(int error) noexcept
{
  return error == EXDEV || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL ||
         error == EBADF;
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
  if (Step("link", to, [&] { return ::link(from.c_str(), to.c_str()); }) == 0)
    return;
  if (!NoLinksHere(errno))
    RaiseErrno(errno, to);
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
    ::unlink(to.c_str());
    throw;
  }
}

void ReplaceFileOrRaise(const fs::path &from, const fs::path &to)
{
  std::error_code ec;
  if (fs::is_directory(to, ec))
    Raise(std::make_error_code(std::errc::is_a_directory), to);
  if (Step("rename", to, [&] { return ::rename(from.c_str(), to.c_str()); }) != 0)
    RaiseErrno(errno, from);
}

namespace {

// Opens Path with Flags and fsyncs it, as the step Step.
void SyncOrRaise(const fs::path &path, int flags, const char *step)
{
  const int handle = ::open(path.c_str(), flags | O_CLOEXEC);
  if (handle < 0)
    RaiseErrno(errno, path);
  const int result = Step(step, path, [&] { return ::fsync(handle); });
  const int error = errno;
  ::close(handle);
  if (result != 0)
    RaiseErrno(error, path);
}

} // namespace

void SyncFileOrRaise(const fs::path &path)
{
  SyncOrRaise(path, O_RDONLY, "sync");
}

void SyncFolderOrRaise(const fs::path &folder)
{
  SyncOrRaise(folder.empty() ? fs::path(".") : folder, O_RDONLY | O_DIRECTORY, "syncdir");
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

// ---- TReadFile ----

TReadFile::TReadFile(const fs::path &path) : FPath(path)
{
  FHandle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (FHandle < 0)
    RaiseErrno(errno, path);
}

TReadFile::~TReadFile()
{
  if (FHandle >= 0)
    ::close(FHandle);
}

std::size_t TReadFile::ReadAt(std::uint64_t offset, void *data, std::size_t size)
{
  auto *p = static_cast<char *>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(FHandle, p + done, size - done, static_cast<off_t>(offset + done));
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
  if (::fstat(FHandle, &st) != 0)
    RaiseErrno(errno, FPath);
  return static_cast<std::uint64_t>(st.st_size);
}

// ---- TNewFile ----

TNewFile::TNewFile(const fs::path &path) : FPath(path)
{
  FHandle = Step("create", path, [&] {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  });
  if (FHandle < 0)
    Raise();
}

TNewFile::~TNewFile()
{
  if (FHandle >= 0)
    ::close(FHandle);
}

void TNewFile::Raise() const
{
  RaiseErrno(errno, FPath);
}

void TNewFile::Write(const void *data, std::size_t size)
{
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t n = Step("write", FPath, [&] { return ::write(FHandle, p, size); });
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      if (n == 0)
        errno = EIO;
      Raise();
    }
    p += n;
    size -= static_cast<std::size_t>(n);
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
    if (FKernelCopy) {
      loff_t from = static_cast<loff_t>(offset + done);
      const ssize_t n = Step("copyrange", FPath, [&] {
        return ::copy_file_range(source.Handle(), &from, FHandle, nullptr,
                                 static_cast<std::size_t>(want), 0);
      });
      if (n > 0) {
        done += static_cast<std::uint64_t>(n);
        FCopied += static_cast<std::uint64_t>(n);
        continue;
      }
      if (n == 0)
        break; // the source has ended
      if (errno == EINTR)
        continue;
      if (!KernelCopyRefused(errno))
        Raise();
      FKernelCopy = false; // the rest goes through the buffer
    }
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
// throttles the copy or a Sync pushes them all at once. A hint, so a refusal is fine.
void TNewFile::WriteBehind() noexcept
{
  FCopied = 0;
#ifdef SYNC_FILE_RANGE_WRITE
  ::sync_file_range(FHandle, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void TNewFile::Sync()
{
  if (Step("sync", FPath, [&] { return ::fsync(FHandle); }) != 0)
    Raise();
}

void TNewFile::Close()
{
  const int handle = FHandle;
  FHandle = -1;
  const int fault = FileFault("close", FPath);
  const int result = ::close(handle);
  if (fault != 0)
    errno = fault;
  if (fault != 0 || result != 0)
    Raise();
}

} // namespace praatkist::platform
