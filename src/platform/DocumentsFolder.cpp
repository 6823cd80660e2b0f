#include "platform/DocumentsFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace praatkist::platform {

QString DocumentsFolder()
{
  // Asked afresh each time: the user may have moved the folder since the last call.
  const QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return path.isEmpty() ? QString() : QDir::toNativeSeparators(path);
}

} // namespace praatkist::platform
