#include "platform/FileOps.h"

#include "platform/Errors.h"
#include "platform/FileStream.h"

#include <system_error>

namespace praatkist::platform {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Raise(const std::error_code& ec, const fs::path& path)
{
  throw EFileError(ec.message() + ": " + PathText(path));
}

} // namespace

bool FileExists(const fs::path& path) noexcept
{
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

void DeleteFileOrRaise(const fs::path& path)
{
  std::error_code ec;
  // remove() would also take an empty folder; only files are deleted here.
  if (fs::is_directory(path, ec))
    Raise(std::make_error_code(std::errc::is_a_directory), path);
  if (!fs::remove(path, ec) && !ec)
    ec = std::make_error_code(std::errc::no_such_file_or_directory);
  if (ec)
    Raise(ec, path);
}

void CopyFileOrRaise(const fs::path& from, const fs::path& to)
{
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec)
    Raise(ec, fs::exists(from) ? to : from);
}

void SnapshotFileOrRaise(const fs::path& from, const fs::path& to)
{
  std::error_code ec;
  if (!fs::is_regular_file(from, ec))
    Raise(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory), from);
  fs::create_hard_link(from, to, ec);
  if (!ec)
    return;
  // No hard links here (FAT, some network shares), or To is in the way: copy.
  CopyFileOrRaise(from, to);
}

void ReplaceFileOrRaise(const fs::path& from, const fs::path& to)
{
  std::error_code ec;
  if (fs::is_directory(to, ec))
    Raise(std::make_error_code(std::errc::is_a_directory), to);
  fs::rename(from, to, ec);
  if (ec)
    Raise(ec, from);
}

bool DeleteFileQuietly(const fs::path& path) noexcept
{
  std::error_code ec;
  return !fs::is_directory(path, ec) && fs::remove(path, ec);
}

bool CopyFileQuietly(const fs::path& from, const fs::path& to) noexcept
{
  std::error_code ec;
  return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
}

} // namespace praatkist::platform
