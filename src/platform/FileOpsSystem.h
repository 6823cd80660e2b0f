#pragma once
// What each system gives FileOps.cpp: the calls that differ between POSIX
// (posix/FileOpsPosix.cpp) and Windows (win32/FileOpsWin32.cpp). Handles are those of
// TReadFile and TWriteFile: a descriptor, or a HANDLE on Windows (-1: none). Every call
// that returns false or -1 leaves the reason for LastError. Only the platform layer
// includes this.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace praatkist::platform {

namespace sys {

// Why the last system call on this thread failed: errno, or GetLastError() on Windows.
std::error_code LastError() noexcept;
// The system's own text for Error.
std::string ErrorText(const std::error_code &error);
// The file system cannot make hard links (FAT, some network shares), or not this one.
bool NoLinksHere(const std::error_code &error) noexcept;

// A second name To for the file From.
bool LinkFile(const std::filesystem::path &from, const std::filesystem::path &to) noexcept;
// Renames From over To in one step; on Windows written through to the disk before it
// returns.
bool RenameOver(const std::filesystem::path &from, const std::filesystem::path &to) noexcept;
// Opens the closed file Path again and pushes it to the disk.
bool SyncClosedFile(const std::filesystem::path &path) noexcept;
// Pushes the names in Folder to the disk.
bool SyncFolder(const std::filesystem::path &folder) noexcept;

// A file for writing: created exclusively (-1 when any entry of that name exists), or
// created or emptied.
std::intptr_t CreateFileForWriting(const std::filesystem::path &path, bool exclusive) noexcept;
// An existing regular file opened for writing (never through a link), its position at
// its end; -1 when there is none.
std::intptr_t OpenFileForUpdate(const std::filesystem::path &path) noexcept;
bool CloseFile(std::intptr_t handle) noexcept;
// Writes up to Size bytes; Written says how many.
bool WriteSome(std::intptr_t handle, const void *data, std::size_t size,
               std::size_t &written) noexcept;
// Writes up to Size bytes at Offset without moving the append position.
bool WriteSomeAt(std::intptr_t handle, const void *data, std::size_t size, std::uint64_t offset,
                 std::size_t &written) noexcept;
// Cuts the file to Size bytes and moves the append position there.
bool TruncateFile(std::intptr_t handle, std::uint64_t size) noexcept;
// Data and size of an open file on the disk.
bool FlushFile(std::intptr_t handle) noexcept;
// The kernel can copy a byte range between two open files.
bool HasKernelCopy() noexcept;
// Appends up to Length bytes of Source from Offset to Target inside the kernel: the
// bytes copied, 0 where Source ends, -1 on failure.
std::int64_t KernelCopy(std::intptr_t source, std::uint64_t offset, std::intptr_t target,
                        std::uint64_t length) noexcept;
// The kernel will not copy between these two files (a plain copy may).
bool KernelCopyRefused(const std::error_code &error) noexcept;
// Starts the writing of what was written to Handle so far without waiting for it (a
// hint: the system may ignore it).
void StartWriteBehind(std::intptr_t handle) noexcept;

} // namespace sys
} // namespace praatkist::platform
