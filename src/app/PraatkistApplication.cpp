#include "app/PraatkistApplication.h"

#include <exception>

#include "ui/dialogs/DarkDialogs.h"

namespace praatkist::app {

TPraatkistApplication::TPraatkistApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TPraatkistApplication::notify(QObject *receiver, QEvent *event)
{
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &e) {
    ui::ShowGeneralError(QString::fromUtf8(e.what()));
  } catch (...) {
    ui::ShowGeneralError(QStringLiteral("Onbekende fout."));
  }
  return false;
}

} // namespace praatkist::app
