// The clean-up of a trim's temporary files against a trim that runs in another
// process: what that trim holds stays, what nobody holds goes, and once the other
// process has been killed its leftovers go too.

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "platform/FileOps.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace praatkist;
namespace fs = std::filesystem;

namespace {

// The trim in the other process stops when its new take lies complete in the
// temporary file, tells the test so and waits there to be killed.
#ifdef _WIN32
const wchar_t *gReadyEvent = nullptr;
#else
int gReadyPipe = -1;
#endif

int StopAtTheNewTake(const char *step, const fs::path &path)
{
  if (std::strcmp(step, "sync") != 0 || !path.string().ends_with(".wav.trimtmp"))
    return 0;
#ifdef _WIN32
  SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, gReadyEvent));
  Sleep(INFINITE);
#else
  const char ready = 1;
  if (write(gReadyPipe, &ready, 1) == 1)
    for (;;)
      pause();
#endif
  return EIO;
}

[[noreturn]] void TrimAndStop(const fs::path &take)
{
  test::TScriptedAudioLayer layer;
  TBassRecorder rec(layer);
  platform::SetFileFaultHook(StopAtTheNewTake);
  try {
    rec.TrimSilence(take, rfWave, 192);
  } catch (...) {
  }
  _exit(1); // it should never get here
}

std::vector<std::int16_t> SoundBetweenSilences()
{
  std::vector<std::int16_t> s(2 * 96000, 0);
  for (std::size_t i = 2 * 24000; i < 2 * 72000; ++i)
    s[i] = 12000;
  return s;
}

int TemporaryFiles(const fs::path &folder)
{
  int n = 0;
  for (const auto &e : fs::directory_iterator(folder))
    n += e.path().filename().string().ends_with(audio::kTrimTempSuffix);
  return n;
}

} // namespace

TEST(TrimClaims, AnotherProcessesRunningTrimKeepsItsFilesUntilItIsGone)
{
#ifdef _WIN32
  if (const wchar_t *take = _wgetenv(L"PRAATKIST_CLAIM_TAKE")) {
    gReadyEvent = _wgetenv(L"PRAATKIST_CLAIM_READY");
    TrimAndStop(take);
  }
#endif
  test::TTempDir root;
  const fs::path session = root / "Koor";
  fs::create_directories(session);
  const fs::path take = session / "Koor-1.wav";
  test::WriteWave(take, 48000, 2, SoundBetweenSilences());
  const auto original = test::ReadBytes(take);
  // what a trim killed long ago left beside another take
  const fs::path abandoned = session / "Koor-2.wav.trimtmp";
  test::WriteBytes(abandoned, "RIFF", 4);

  // ---- the other process: a trim that stops with its new take written ----
#ifdef _WIN32
  const std::wstring ready = L"praatkist-claim-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE readyEvent = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
  std::wstring exe(MAX_PATH, L'\0');
  exe.resize(GetModuleFileNameW(nullptr, exe.data(), MAX_PATH));
  std::wstring command = L"\"" + exe +
                         L"\" --gtest_brief=1 "
                         L"--gtest_filter=TrimClaims.AnotherProcessesRunningTrimKeepsItsFilesUntilItIsGone";
  SetEnvironmentVariableW(L"PRAATKIST_CLAIM_TAKE", take.wstring().c_str());
  SetEnvironmentVariableW(L"PRAATKIST_CLAIM_READY", ready.c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const bool started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                      nullptr, nullptr, &startup, &child);
  SetEnvironmentVariableW(L"PRAATKIST_CLAIM_TAKE", nullptr);
  SetEnvironmentVariableW(L"PRAATKIST_CLAIM_READY", nullptr);
  ASSERT_TRUE(started) << "error " << GetLastError();
  const HANDLE either[2] = {readyEvent, child.hProcess};
  ASSERT_EQ(WaitForMultipleObjects(2, either, FALSE, INFINITE), WAIT_OBJECT_0)
      << "the trim ended before its new take was written";
#else
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeEnds[0]);
    gReadyPipe = pipeEnds[1];
    TrimAndStop(take);
  }
  close(pipeEnds[1]);
  char ready = 0;
  ASSERT_EQ(read(pipeEnds[0], &ready, 1), 1) << "the trim ended before its new take was written";
  close(pipeEnds[0]);
#endif
  const fs::path running = audio::TrimTempPath(take);
  ASSERT_TRUE(fs::exists(running));

  EXPECT_EQ(audio::RemoveAbandonedTrimTempsUnder(root.Path()), 1);
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_TRUE(fs::exists(running)) << "the running trim's new take was taken from it";
  EXPECT_EQ(audio::RemoveAbandonedTrimTemps(session), 0);
  EXPECT_TRUE(fs::exists(running));

  // ---- killed: its leftover goes, the take and its backup stay ----
#ifdef _WIN32
  TerminateProcess(child.hProcess, 9);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  CloseHandle(readyEvent);
#else
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
#endif
  EXPECT_EQ(audio::RemoveAbandonedTrimTemps(session), 1);
  EXPECT_EQ(TemporaryFiles(session), 0);
  EXPECT_EQ(test::ReadBytes(take), original);
  EXPECT_EQ(test::ReadBytes(audio::BackupPath(take)), original);
}
