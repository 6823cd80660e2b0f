#pragma once
// The system's request to end the program: SIGTERM (logout, a service manager), SIGINT
// and SIGHUP on POSIX systems; on Windows the console's Ctrl+C, Ctrl+Break and close,
// logoff and shutdown. The window's own end-session message reaches the program through
// Qt (commitDataRequest, aboutToQuit), not through here.

#include <QObject>

#include <functional>
#include <memory>

namespace praatkist::platform {

// While it lives, OnEnd runs on Receiver's thread (through its event loop) each time the
// system asks the program to end. On Windows the system ends the process soon after a
// close, logoff or shutdown event has been answered: the answer waits (up to a few
// seconds) until OnEnd has returned, so that what it saves is saved.
class TSystemEndWatch {
public:
  TSystemEndWatch(QObject *receiver, std::function<void()> onEnd);
  ~TSystemEndWatch();
  TSystemEndWatch(const TSystemEndWatch &) = delete;
  TSystemEndWatch &operator=(const TSystemEndWatch &) = delete;
  // False when the system refused to install the watch.
  bool Active() const noexcept { return FActive; }

  struct TState; // what the system's handler reaches

private:
  std::unique_ptr<TState> FState;
  bool FActive = false;
};

} // namespace praatkist::platform
