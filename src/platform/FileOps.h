#pragma once
// File operations on single files that raise EFileError ("<system text>: <path>") on
// failure, and quiet variants for clean-up paths that must not raise. Besides them: the
// few pieces a careful rewrite of a file needs (an exclusively created new file, copies
// of a byte range done by the kernel, pushing files and folders to the disk, telling
// two files apart) and the one file type the program writes with (TWriteFile). What differs between systems lies in posix/FileOpsPosix.cpp and
// win32/FileOpsWin32.cpp (FileOpsSystem.h).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace praatkist::platform {

// A regular file (not a folder) exists at Path.
bool FileExists(const std::filesystem::path &path) noexcept;
// Deletes the file at Path.
void DeleteFileOrRaise(const std::filesystem::path &path);
// Makes To an unchanging copy of From as it is now, for a caller that will only ever
// replace From by renaming another file over it (never write into it): a second name
// for the same data where the file system has hard links (instant, no space), else a
// byte-for-byte copy pushed to the disk. To must not exist; a copy that fails part-way
// is removed again.
void SnapshotFileOrRaise(const std::filesystem::path &from, const std::filesystem::path &to);
// Renames From to To in one step, replacing To if it exists (atomic within one file
// system): there is no moment without a file at To.
void ReplaceFileOrRaise(const std::filesystem::path &from, const std::filesystem::path &to);
// Pushes a file that another writer has closed (data and size) to the disk.
void SyncFileOrRaise(const std::filesystem::path &path);
// Pushes the names in Folder (created, renamed, deleted entries) to the disk.
void SyncFolderOrRaise(const std::filesystem::path &folder);

// Raises EFileError "<the system's text for Error>: <Path>".
[[noreturn]] void RaiseFileError(const std::error_code &error, const std::filesystem::path &path);

// Clean-up helpers: they try and say whether it worked.
bool DeleteFileQuietly(const std::filesystem::path &path) noexcept;
bool SyncFolderQuietly(const std::filesystem::path &folder) noexcept;

// What tells one state of a file from another without reading it: its size, the time
// of its last change of content, the time of its last change of any kind (content,
// names, attributes) and its number on its volume (inode, file index).
struct TFileIdentity {
  std::uint64_t Size = 0;
  std::int64_t ModifiedNs = 0; // nanoseconds since 1970-01-01 UTC
  std::int64_t ChangedNs = 0;  // as ModifiedNs
  std::uint64_t FileId = 0;
  bool operator==(const TFileIdentity &) const = default;
};
// False when Path is not a regular file.
bool GetFileIdentity(const std::filesystem::path &path, TFileIdentity &identity) noexcept;
// Both names lead to the very same file (one file under two names).
bool SameFile(const std::filesystem::path &a, const std::filesystem::path &b) noexcept;

// A file opened for reading at any offset.
class TReadFile {
public:
  explicit TReadFile(const std::filesystem::path &path); // raises EFileError
  ~TReadFile();
  TReadFile(const TReadFile &) = delete;
  TReadFile &operator=(const TReadFile &) = delete;
  // Up to Size bytes from Offset; fewer only at the end of the file. Raises on errors.
  std::size_t ReadAt(std::uint64_t offset, void *data, std::size_t size);
  std::uint64_t Size() const;
  // The system's handle: a descriptor, or a HANDLE on Windows (-1: none).
  std::intptr_t Handle() const noexcept { return FHandle; }
  const std::filesystem::path &Path() const noexcept { return FPath; }

private:
  std::filesystem::path FPath;
  std::intptr_t FHandle = -1;
};

// A file opened for writing, with no buffering of its own: what a write reports as
// written has reached the system. Created exclusively by default: an entry of that name
// (a file, a link, anything) makes the creation fail, so nothing else is ever written
// through. The plain calls raise EFileError on failure; the Try calls never throw and
// answer whether they worked, so that a capture thread may use them. Not closed by
// Close: the destructor closes it without a check.
class TWriteFile {
public:
  enum TCreate {
    cfExclusive, // create a new file only: fail on any existing entry, links not followed
    cfReplace,   // create, or empty an existing file
    cfExisting,  // open an existing regular file as it is, appending at its end
  };
  // Creates Path for writing; others may read it meanwhile. Raises EFileError.
  explicit TWriteFile(const std::filesystem::path &path, TCreate mode = cfExclusive);
  ~TWriteFile();
  TWriteFile(const TWriteFile &) = delete;
  TWriteFile &operator=(const TWriteFile &) = delete;

  void Write(const void *data, std::size_t size);
  // Appends Length bytes of Source from Offset, copied inside the kernel where the file
  // systems allow it and through Buffer (BufferSize bytes) where they refuse. Returns
  // the bytes copied: fewer than Length only when Source ends first. The copy is sent
  // on its way to the disk as it goes, so that a Sync after a long copy finds little
  // left to do.
  std::uint64_t CopyFrom(TReadFile &source, std::uint64_t offset, std::uint64_t length,
                         void *buffer, std::size_t bufferSize);
  // Data and size on the disk.
  void Sync();
  void Close();

  // Appends Size bytes; false when not all of them could be written (the file may then
  // hold part of them: see TryTruncate).
  bool TryWrite(const void *data, std::size_t size) noexcept;
  // Writes at Offset without moving the append position.
  bool TryWriteAt(std::uint64_t offset, const void *data, std::size_t size) noexcept;
  // Cuts the file to Size bytes and moves the append position there.
  bool TryTruncate(std::uint64_t size) noexcept;

  const std::filesystem::path &Path() const noexcept { return FPath; }

private:
  bool WriteAll(const void *data, std::size_t size, std::error_code &ec) noexcept;
  void WriteBehind() noexcept;
  std::filesystem::path FPath;
  std::intptr_t FHandle = -1; // as TReadFile::Handle
  bool FKernelCopy = true;
  std::uint64_t FCopied = 0; // by CopyFrom, since the last WriteBehind
};

// "<system text>: <path>" for the last failing C library call on this thread (errno).
std::string SystemErrorText(const std::filesystem::path &path);
// A path as UTF-8 text, for messages.
std::string PathText(const std::filesystem::path &path);

// ---- fault seam ------------------------------------------------------------------
// Every step above that changes the disk (and the MP3 encoder's creation, writes and
// final flush) asks the hook first, naming the step: "link", "create", "write",
// "copyrange", "sync", "close", "rename", "delete", "syncdir", "flush". An answer of 0
// goes on; any other answer is taken as the system error the step failed with. A hook
// may also end the process on the spot: that is how tests play a crash between two
// steps. No hook in the program.
using TFileFaultHook = int (*)(const char *step, const std::filesystem::path &path);
void SetFileFaultHook(TFileFaultHook hook) noexcept;
// The hook's answer for Step on Path (0 without a hook).
int FileFault(const char *step, const std::filesystem::path &path) noexcept;

} // namespace praatkist::platform
