#include "audio/SpscRing.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace praatkist::audio {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
                  std::atomic<std::uint32_t>::is_always_lock_free,
              "the wake word must be a plain 32-bit word for the futex");

namespace {

std::uint32_t *Addr(std::atomic<std::uint32_t> &word) noexcept
{
  return reinterpret_cast<std::uint32_t *>(&word);
}

} // namespace

void TWakeWord::Wake() noexcept
{
  FWord.fetch_add(1);
  if (FSleepers.load() != 0)
    syscall(SYS_futex, Addr(FWord), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

void TWakeWord::Wait(std::uint32_t seen, int timeoutMs) noexcept
{
  FSleepers.fetch_add(1);
  if (FWord.load() == seen) {
    timespec ts{};
    ts.tv_sec = timeoutMs / 1000;
    ts.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
    syscall(SYS_futex, Addr(FWord), FUTEX_WAIT_PRIVATE, seen, &ts, nullptr, 0);
  }
  FSleepers.fetch_sub(1);
}

} // namespace praatkist::audio
