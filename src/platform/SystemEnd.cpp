#include "platform/SystemEnd.h"

#include <atomic>
#include <cerrno>

#ifdef _WIN32
#include <QMetaObject>
#include <QPointer>
#include <windows.h>
#else
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace praatkist::platform {

#ifdef _WIN32

// The console's handler runs on a thread of its own that the system starts for each
// event; it hands the event to the receiver's thread and waits for it to be handled.
struct TSystemEndWatch::TState {
  QPointer<QObject> Receiver;
  std::function<void()> OnEnd;
  HANDLE Handled = nullptr; // set once OnEnd has returned
};

namespace {

std::atomic<TSystemEndWatch::TState *> GState{nullptr};

BOOL WINAPI OnConsoleEvent(DWORD event)
{
  TSystemEndWatch::TState *state = GState.load();
  if (state == nullptr || state->Receiver.isNull())
    return FALSE;
  ::ResetEvent(state->Handled);
  QMetaObject::invokeMethod(
      state->Receiver.data(),
      [state] {
        if (GState.load() != state) // the watch has ended meanwhile (same thread as this)
          return;
        state->OnEnd();
        ::SetEvent(state->Handled);
      },
      Qt::QueuedConnection);
  // After a close, logoff or shutdown event the process ends when this returns (and
  // at the latest after the system's timeout of about 5 s): wait for the saving.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    ::WaitForSingleObject(state->Handled, 4000);
  return TRUE;
}

} // namespace

TSystemEndWatch::TSystemEndWatch(QObject *receiver, std::function<void()> onEnd)
    : FState(std::make_unique<TState>())
{
  FState->Receiver = receiver;
  FState->OnEnd = std::move(onEnd);
  FState->Handled = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (FState->Handled == nullptr)
    return;
  GState.store(FState.get());
  FActive = ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
}

TSystemEndWatch::~TSystemEndWatch()
{
  if (FActive)
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  GState.store(nullptr);
  if (FState->Handled != nullptr) {
    ::SetEvent(FState->Handled); // a handler still waiting goes on
    ::CloseHandle(FState->Handled);
  }
}

#else

// The signal crosses into the event loop through this pipe: the handler only writes a
// byte, the receiver's thread does the rest.
struct TSystemEndWatch::TState {
  std::unique_ptr<QSocketNotifier> Notifier;
};

namespace {

int EndPipe[2] = {-1, -1};

extern "C" void OnEndSignal(int)
{
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(EndPipe[1], &byte, 1);
  errno = saved;
}

bool InstallEndSignals()
{
  if (EndPipe[0] < 0 && pipe2(EndPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return false;
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    sigaction(signal, &action, nullptr);
  return true;
}

} // namespace

TSystemEndWatch::TSystemEndWatch(QObject *receiver, std::function<void()> onEnd)
    : FState(std::make_unique<TState>())
{
  if (!InstallEndSignals())
    return;
  FState->Notifier = std::make_unique<QSocketNotifier>(EndPipe[0], QSocketNotifier::Read);
  QObject::connect(FState->Notifier.get(), &QSocketNotifier::activated, receiver,
                   [onEnd = std::move(onEnd)] {
                     char bytes[16];
                     while (read(EndPipe[0], bytes, sizeof bytes) > 0) {
                     }
                     onEnd();
                   });
  FActive = true;
}

TSystemEndWatch::~TSystemEndWatch() = default;

#endif

} // namespace praatkist::platform
