#pragma once
// A lock-free byte ring for exactly one producer thread and one consumer thread,
// and a wake word to let one of them sleep until the other has done something.
//
// Both are safe to use from libpulse's real-time callbacks: no lock, no
// allocation, no system call other than a futex wake.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace praatkist::audio {

class TSpscByteRing {
public:
  // Capacity is rounded up to a power of two.
  explicit TSpscByteRing(std::size_t capacity)
  {
    std::size_t c = 1024;
    while (c < capacity)
      c <<= 1;
    FBuffer = std::make_unique<std::uint8_t[]>(c);
    FMask = c - 1;
  }

  std::size_t Capacity() const noexcept { return FMask + 1; }

  // ---- producer side -----------------------------------------------------
  std::size_t FreeBytes() const noexcept
  {
    const std::uint64_t head = FHead.load(std::memory_order_relaxed);
    const std::uint64_t tail = FTail.load(std::memory_order_acquire);
    return Capacity() - static_cast<std::size_t>(head - tail);
  }

  // Writes all N bytes or nothing. Data may be null: N zero bytes then.
  bool Write(const void *data, std::size_t n) noexcept
  {
    if (n > FreeBytes())
      return false;
    const std::uint64_t head = FHead.load(std::memory_order_relaxed);
    CopyIn(head, data, n);
    FHead.store(head + n, std::memory_order_release);
    return true;
  }

  // A record: a 32-bit header followed by N bytes, written as one piece or not
  // at all (then the whole record is lost, never a part of it). Mark is one bit
  // the consumer gets back with the record (say, "something was lost before").
  static constexpr std::uint32_t kMaxRecord = 0x7FFFFFFFu;
  bool WriteRecord(const void *data, std::uint32_t n, bool mark = false) noexcept
  {
    if (n > kMaxRecord || sizeof n + std::size_t{n} > FreeBytes())
      return false;
    const std::uint64_t head = FHead.load(std::memory_order_relaxed);
    const std::uint32_t header = n | (mark ? 0x80000000u : 0u);
    CopyIn(head, &header, sizeof header);
    CopyIn(head + sizeof header, data, n);
    FHead.store(head + sizeof n + n, std::memory_order_release);
    return true;
  }

  // ---- consumer side -----------------------------------------------------
  std::size_t ReadableBytes() const noexcept
  {
    const std::uint64_t head = FHead.load(std::memory_order_acquire);
    const std::uint64_t tail = FTail.load(std::memory_order_relaxed);
    return static_cast<std::size_t>(head - tail);
  }

  // Reads up to N bytes; returns how many were read.
  std::size_t Read(void *dst, std::size_t n) noexcept
  {
    const std::size_t avail = ReadableBytes();
    if (n > avail)
      n = avail;
    const std::uint64_t tail = FTail.load(std::memory_order_relaxed);
    CopyOut(tail, dst, n);
    FTail.store(tail + n, std::memory_order_release);
    return n;
  }

  // Length of the next record (0 when there is none) and its mark.
  std::uint32_t NextRecordSize(bool *mark = nullptr) const noexcept
  {
    std::uint32_t header = 0;
    if (ReadableBytes() < sizeof header)
      return 0;
    CopyOut(FTail.load(std::memory_order_relaxed), &header, sizeof header);
    if (mark)
      *mark = (header & 0x80000000u) != 0;
    return header & kMaxRecord;
  }

  // Reads the next record into Dst (room for Capacity bytes); returns its
  // length, or 0 when there is no record. A record longer than Capacity is
  // skipped (the caller asks NextRecordSize first to avoid that).
  std::uint32_t ReadRecord(void *dst, std::size_t capacity) noexcept
  {
    for (;;) {
      std::uint32_t header = 0;
      if (ReadableBytes() < sizeof header)
        return 0;
      const std::uint64_t tail = FTail.load(std::memory_order_relaxed);
      CopyOut(tail, &header, sizeof header);
      const std::uint32_t n = header & kMaxRecord;
      if (n <= capacity)
        CopyOut(tail + sizeof header, dst, n);
      FTail.store(tail + sizeof header + n, std::memory_order_release);
      if (n > 0 && n <= capacity)
        return n;
    }
  }

  // Empties the ring. Only while neither side is using it.
  void Reset() noexcept
  {
    FHead.store(0, std::memory_order_relaxed);
    FTail.store(0, std::memory_order_relaxed);
  }

private:
  void CopyIn(std::uint64_t at, const void *src, std::size_t n) noexcept
  {
    const std::size_t pos = static_cast<std::size_t>(at) & FMask;
    const std::size_t first = n < Capacity() - pos ? n : Capacity() - pos;
    if (src) {
      std::memcpy(FBuffer.get() + pos, src, first);
      std::memcpy(FBuffer.get(), static_cast<const std::uint8_t *>(src) + first, n - first);
    } else {
      std::memset(FBuffer.get() + pos, 0, first);
      std::memset(FBuffer.get(), 0, n - first);
    }
  }
  void CopyOut(std::uint64_t at, void *dst, std::size_t n) const noexcept
  {
    const std::size_t pos = static_cast<std::size_t>(at) & FMask;
    const std::size_t first = n < Capacity() - pos ? n : Capacity() - pos;
    std::memcpy(dst, FBuffer.get() + pos, first);
    std::memcpy(static_cast<std::uint8_t *>(dst) + first, FBuffer.get(), n - first);
  }

  std::unique_ptr<std::uint8_t[]> FBuffer;
  std::size_t FMask = 0;
  alignas(64) std::atomic<std::uint64_t> FHead{0}; // written by the producer
  alignas(64) std::atomic<std::uint64_t> FTail{0}; // written by the consumer
};

// A counter that a sleeping thread waits on and another thread bumps to wake it
// (a futex under the hood). Typical use:
//   auto seen = w.Snapshot(); if (nothing to do) w.Wait(seen, 100);
// A Wake between Snapshot and Wait makes Wait return at once.
class TWakeWord {
public:
  std::uint32_t Snapshot() const noexcept { return FWord.load(std::memory_order_acquire); }
  void Wake() noexcept;
  // Sleeps until woken or TimeoutMs have passed (spurious returns are possible).
  void Wait(std::uint32_t seen, int timeoutMs) noexcept;

private:
  std::atomic<std::uint32_t> FWord{0};
  std::atomic<std::uint32_t> FSleepers{0};
};

} // namespace praatkist::audio
