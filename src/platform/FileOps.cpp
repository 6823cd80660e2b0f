#include "platform/FileOps.h"

#include "platform/Errors.h"
#include "platform/FileOpsSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

namespace praatkist::platform {
namespace fs = std::filesystem;

std::string PathText(const fs::path &path)
{
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string SystemErrorText(const fs::path &path)
{
  return std::string(std::strerror(errno)) + ": " + PathText(path);
}

void RaiseFileError(const std::error_code &error, const fs::path &path)
{
  throw EFileError(sys::ErrorText(error) + ": " + PathText(path));
}

namespace {

std::atomic<TFileFaultHook> GFaultHook{nullptr};

[[noreturn]] void RaiseErrno(int error, const fs::path &path)
{
  RaiseFileError({error, std::generic_category()}, path);
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
  error = sys::LastError();
  return false;
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
    RaiseFileError(std::make_error_code(std::errc::is_a_directory), path);
  if (const int fault = FileFault("delete", path); fault != 0)
    RaiseErrno(fault, path);
  if (!fs::remove(path, ec) && !ec)
    ec = std::make_error_code(std::errc::no_such_file_or_directory);
  if (ec)
    RaiseFileError(ec, path);
}

void SnapshotFileOrRaise(const fs::path &from, const fs::path &to)
{
  std::error_code ec;
  if (!fs::is_regular_file(from, ec))
    RaiseFileError(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory), from);
  if (Step("link", to, ec, [&] { return sys::LinkFile(from, to); }))
    return;
  if (!sys::NoLinksHere(ec))
    RaiseFileError(ec, to);
  // A copy, complete and on the disk, or nothing.
  try {
    TReadFile source(from);
    TWriteFile copy(to);
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
    RaiseFileError(std::make_error_code(std::errc::is_a_directory), to);
  if (!Step("rename", to, ec, [&] { return sys::RenameOver(from, to); }))
    RaiseFileError(ec, from);
}

void SyncFileOrRaise(const fs::path &path)
{
  std::error_code ec;
  if (!Step("sync", path, ec, [&] { return sys::SyncClosedFile(path); }))
    RaiseFileError(ec, path);
}

void SyncFolderOrRaise(const fs::path &folder)
{
  const fs::path where = folder.empty() ? fs::path(".") : folder;
  std::error_code ec;
  if (!Step("syncdir", where, ec, [&] { return sys::SyncFolder(where); }))
    RaiseFileError(ec, where);
}

bool DeleteFileQuietly(const fs::path &path) noexcept
{
  std::error_code ec;
  return !fs::is_directory(path, ec) && fs::remove(path, ec);
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

// ---- TWriteFile ----

TWriteFile::TWriteFile(const fs::path &path, TCreate mode)
    : FPath(path), FKernelCopy(sys::HasKernelCopy())
{
  std::error_code ec;
  if (!Step("create", path, ec, [&] {
        FHandle = mode == cfExisting ? sys::OpenFileForUpdate(path)
                                     : sys::CreateFileForWriting(path, mode == cfExclusive);
        return FHandle != -1;
      }))
    RaiseFileError(ec, FPath);
}

TWriteFile::~TWriteFile()
{
  if (FHandle != -1)
    sys::CloseFile(FHandle);
}

bool TWriteFile::WriteAll(const void *data, std::size_t size, std::error_code &ec) noexcept
{
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    std::size_t written = 0;
    const bool ok =
        Step("write", FPath, ec, [&] { return sys::WriteSome(FHandle, p, size, written); });
    if (ok && written == 0)
      ec = std::make_error_code(std::errc::io_error);
    if (!ok || written == 0)
      return false;
    p += written;
    size -= written;
  }
  return true;
}

void TWriteFile::Write(const void *data, std::size_t size)
{
  std::error_code ec;
  if (!WriteAll(data, size, ec))
    RaiseFileError(ec, FPath);
}

bool TWriteFile::TryWrite(const void *data, std::size_t size) noexcept
{
  std::error_code ec;
  return WriteAll(data, size, ec);
}

bool TWriteFile::TryWriteAt(std::uint64_t offset, const void *data, std::size_t size) noexcept
{
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    std::size_t written = 0;
    std::error_code ec;
    if (!Step("write", FPath, ec,
              [&] { return sys::WriteSomeAt(FHandle, p, size, offset, written); }) ||
        written == 0)
      return false;
    p += written;
    offset += written;
    size -= written;
  }
  return true;
}

bool TWriteFile::TryTruncate(std::uint64_t size) noexcept
{
  return sys::TruncateFile(FHandle, size);
}

// Copies start the disk's writing in steps of this many bytes.
constexpr std::uint64_t kWriteBehindStep = 32u << 20;

std::uint64_t TWriteFile::CopyFrom(TReadFile &source, std::uint64_t offset, std::uint64_t length,
                                 void *buffer, std::size_t bufferSize)
{
  std::uint64_t done = 0;
  while (done < length) {
    if (FCopied >= kWriteBehindStep)
      WriteBehind();
    const std::uint64_t want = std::min<std::uint64_t>(length - done, kWriteBehindStep);
    if (FKernelCopy) {
      std::int64_t n = -1;
      std::error_code ec;
      const bool ok = Step("copyrange", FPath, ec, [&] {
        n = sys::KernelCopy(source.Handle(), offset + done, FHandle, want);
        return n >= 0;
      });
      if (ok && n > 0) {
        done += static_cast<std::uint64_t>(n);
        FCopied += static_cast<std::uint64_t>(n);
        continue;
      }
      if (ok)
        break; // the source has ended
      if (ec == std::errc::interrupted)
        continue;
      if (!sys::KernelCopyRefused(ec))
        RaiseFileError(ec, FPath);
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
// throttles the copy or a Sync pushes them all at once.
void TWriteFile::WriteBehind() noexcept
{
  FCopied = 0;
  sys::StartWriteBehind(FHandle);
}

void TWriteFile::Sync()
{
  std::error_code ec;
  if (!Step("sync", FPath, ec, [&] { return sys::FlushFile(FHandle); }))
    RaiseFileError(ec, FPath);
}

void TWriteFile::Close()
{
  const std::intptr_t handle = FHandle;
  FHandle = -1;
  const int fault = FileFault("close", FPath);
  const bool closed = sys::CloseFile(handle);
  std::error_code ec = closed ? std::error_code() : sys::LastError();
  if (fault != 0)
    ec = {fault, std::generic_category()};
  if (ec)
    RaiseFileError(ec, FPath);
}

} // namespace praatkist::platform
