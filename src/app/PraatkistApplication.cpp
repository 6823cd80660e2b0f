#include "app/PraatkistApplication.h"

#include <exception>

#include "ui/dialogs/DarkDialogs.h"
#include "ui/flow/ErrorText.h"

namespace praatkist::app {

TPraatkistApplication::TPraatkistApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TPraatkistApplication::notify(QObject *receiver, QEvent *event)
{
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &e) {
    ui::ShowGeneralError(ui::ErrorText(e));
  } catch (...) {
    ui::ShowGeneralError(QStringLiteral("Onbekende fout."));
  }
  return false;
}

} // namespace praatkist::app
