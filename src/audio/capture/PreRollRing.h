#pragma once
// The last stretch of audio from an open input, kept for the take that may follow: a
// fixed ring of bytes, taken when the input opens and never while audio runs. One
// thread (the capture thread) appends and reads it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace praatkist::audio {

class TPreRollRing {
public:
  // Room for Bytes; what was kept is gone. Zero bytes keep nothing.
  void Allocate(std::size_t bytes);
  void Release() noexcept;
  std::size_t Capacity() const noexcept { return FCapacity; }
  // Bytes kept (at most the capacity).
  std::size_t Size() const noexcept { return FSize; }

  // Keeps the newest Capacity bytes of what came so far and Data.
  void Append(const std::uint8_t *data, std::size_t n) noexcept;

  // The kept bytes, oldest first: First, then Second (empty unless the ring wrapped).
  struct TSpans {
    std::span<const std::uint8_t> First, Second;
  };
  TSpans Spans() const noexcept;

private:
  std::unique_ptr<std::uint8_t[]> FData;
  std::size_t FCapacity = 0;
  std::size_t FStart = 0; // the oldest kept byte
  std::size_t FSize = 0;
};

} // namespace praatkist::audio
