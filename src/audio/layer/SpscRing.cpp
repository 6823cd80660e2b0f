#include "audio/layer/SpscRing.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <climits>
#include <ctime>

namespace praatkist::audio {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
                  std::atomic<std::uint32_t>::is_always_lock_free,
              "the wake word must be a plain 32-bit word for the futex");

namespace {

// The two system calls: wake everyone sleeping on Word, or sleep while Word still
// holds Seen (at most TimeoutMs; waking early is fine).
#ifdef _WIN32
void WakeAll(std::uint32_t *word) noexcept
{
  ::WakeByAddressAll(word);
}

void SleepWhile(std::uint32_t *word, std::uint32_t seen, int timeoutMs) noexcept
{
  ::WaitOnAddress(word, &seen, sizeof seen, static_cast<DWORD>(timeoutMs));
}
#else
void WakeAll(std::uint32_t *word) noexcept
{
  syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

void SleepWhile(std::uint32_t *word, std::uint32_t seen, int timeoutMs) noexcept
{
  timespec ts{};
  ts.tv_sec = timeoutMs / 1000;
  ts.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
  syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, seen, &ts, nullptr, 0);
}
#endif

std::uint32_t *Addr(std::atomic<std::uint32_t> &word) noexcept
{
  return reinterpret_cast<std::uint32_t *>(&word);
}

} // namespace

void TWakeWord::Wake() noexcept
{
  FWord.fetch_add(1);
  if (FSleepers.load() != 0)
    WakeAll(Addr(FWord));
}

void TWakeWord::Wait(std::uint32_t seen, int timeoutMs) noexcept
{
  FSleepers.fetch_add(1);
  if (FWord.load() == seen)
    SleepWhile(Addr(FWord), seen, timeoutMs);
  FSleepers.fetch_sub(1);
}

} // namespace praatkist::audio
