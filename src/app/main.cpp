// Program entry: the application object with its general error handler, the font
// stand-ins, the audio layer and the main window.

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <exception>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "app/PraatkistApplication.h"
#include "audio/AudioLayer.h"
#include "platform/SettingsLocation.h"
#include "ui/Fonts.h"
#include "ui/MainForm.h"

namespace {

// The system's request to end (SIGTERM from a logout or a service manager, SIGINT,
// SIGHUP) crosses into the event loop through this pipe: the handler only writes a
// byte, the window's thread does the rest.
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
  if (pipe2(EndPipe, O_CLOEXEC | O_NONBLOCK) != 0)
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

int main(int argc, char *argv[])
{
  praatkist::app::TPraatkistApplication app(argc, argv);
  // No display name: the platform would append it to every dialog's caption.
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  praatkist::ui::InstallFontSubstitutes(); // before the first widget

  // Without a layer the window still opens: it says why in its status line and
  // keeps the record button disabled.
  std::unique_ptr<praatkist::audio::IAudioLayer> layer;
  try {
    layer = praatkist::audio::CreateSystemAudioLayer();
  } catch (const std::exception &) {
    layer.reset();
  }

  int result = 0;
  {
    // The window goes before the layer it works on.
    praatkist::ui::TfrmMain window(layer.get(), praatkist::platform::DefaultSettingsPath());

    std::unique_ptr<QSocketNotifier> endNotifier;
    if (InstallEndSignals()) {
      endNotifier = std::make_unique<QSocketNotifier>(EndPipe[0], QSocketNotifier::Read);
      QObject::connect(endNotifier.get(), &QSocketNotifier::activated, &window, [&window] {
        char bytes[16];
        while (read(EndPipe[0], bytes, sizeof bytes) > 0) {
        }
        window.EndBySystem();
      });
    }
    // Logout: the session manager asks to save; no questions may be asked then.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.EndBySystem(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] {
      if (window.isVisible())
        window.EndBySystem();
    });

    window.show();
    result = app.exec();
    endNotifier.reset();
  }
  return result;
}
