#pragma once
// A file opened for writing, with the few operations the engine needs and no
// buffering of its own: what Write reports as written has reached the system.
// Write, WriteAt and Truncate never throw, so they may be used on a capture thread.

#include <cstdint>
#include <filesystem>
#include <string>

namespace praatkist::platform {

class TFileStream {
public:
  enum TCreate {
    cfReplace,   // create, or empty an existing file
    cfExclusive, // create a new file only: fail on any existing entry, links not followed
  };
  // Creates Path for writing; others may read it meanwhile.
  // Raises EFileError with the system's text and the path on failure.
  explicit TFileStream(const std::filesystem::path &path, TCreate mode = cfReplace);
  ~TFileStream();
  TFileStream(const TFileStream &) = delete;
  TFileStream &operator=(const TFileStream &) = delete;

  // Appends Size bytes at the current position; false when not all of them could be
  // written (the file may then hold part of them: see Truncate).
  bool Write(const void *data, std::size_t size) noexcept;
  // Writes at Offset without moving the append position.
  bool WriteAt(std::uint64_t offset, const void *data, std::size_t size) noexcept;
  // Cuts the file to Size bytes and moves the append position there.
  bool Truncate(std::uint64_t size) noexcept;
  // Pushes the written data to the disk.
  bool Flush() noexcept;

  const std::filesystem::path &Path() const noexcept { return FPath; }

private:
  std::filesystem::path FPath;
  int FHandle = -1;
};

// "<system text>: <path>" for the last failing system call on this thread.
std::string SystemErrorText(const std::filesystem::path &path);

// A path as UTF-8 text, for messages.
std::string PathText(const std::filesystem::path &path);

} // namespace praatkist::platform
