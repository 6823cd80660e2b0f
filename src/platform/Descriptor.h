#pragma once
// The C library's file descriptors, for the codecs that read and write through them
// (libsndfile reads a descriptor, the MP3 encoder writes one): a wide path on Windows,
// the same calls everywhere. Never throws; -1 or false on failure. The system parts lie
// in posix/DescriptorPosix.cpp and win32/DescriptorWin32.cpp.

#include <cstddef>
#include <filesystem>

namespace praatkist::platform::fd {

// Opened for reading.
int OpenForReading(const std::filesystem::path &file) noexcept;
// Created or emptied for writing, after asking the fault hook ("create"). A link put in
// the file's place is not followed, and a pipe is refused rather than blocked on or
// written through; on Windows only a regular file is taken.
int CreateForWriting(const std::filesystem::path &file) noexcept;
bool IsRegularFile(int fd) noexcept;
int Duplicate(int fd) noexcept;
// 0 when closed.
int Close(int fd) noexcept;
bool Rewind(int fd) noexcept;
// What the file holds now, -1 when it cannot tell.
long long FileSize(int fd) noexcept;
// A read from At on; it may move the descriptor (Windows).
long long ReadFrom(int fd, void *buffer, std::size_t size, long long at) noexcept;
// Writes up to Size bytes at the end of what was written.
long long WriteSome(int fd, const void *data, std::size_t size) noexcept;
// Writes up to Size bytes at At; on Windows only after the last write at the end, as
// the position is not put back.
long long WriteSomeAt(int fd, const void *data, std::size_t size, long long at) noexcept;

} // namespace praatkist::platform::fd
