// Program entry: the application object with its general error handler, the font
// stand-ins, the audio layer and the main window.

#include <QApplication>
#include <QSessionManager>
#include <QStyleFactory>

#include <exception>
#include <memory>

#include "app/PraatkistApplication.h"
#include "audio/AudioLayer.h"
#include "platform/SettingsLocation.h"
#include "platform/SystemEnd.h"
#include "ui/style/Fonts.h"
#include "ui/window/MainForm.h"

int main(int argc, char *argv[])
{
  praatkist::app::TPraatkistApplication app(argc, argv);
  // No display name: the platform would append it to every dialog's caption.
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  praatkist::ui::InstallFontSubstitutes(); // before the first widget
  // One style on every system: the native Windows style draws drop-down lists and
  // check boxes in its own light colours, whatever the window's palette says.
  if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
    QApplication::setStyle(fusion);

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

    // The system's request to end (a signal, the console's close) saves and ends.
    praatkist::platform::TSystemEndWatch endWatch(&window, [&window] { window.EndBySystem(); });
    // Logout: the session manager asks to save; no questions may be asked then.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.EndBySystem(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] {
      if (window.isVisible())
        window.EndBySystem();
    });

    window.show();
    result = app.exec();
  }
  return result;
}
