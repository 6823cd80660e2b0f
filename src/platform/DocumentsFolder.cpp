#include "platform/DocumentsFolder.h"

#include <QDir>

#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>
#else
#include <QStandardPaths>
#endif

namespace praatkist::platform {

QString DocumentsFolder()
{
  // Asked afresh each time: the user may have moved the folder since the last call.
#ifdef _WIN32
  PWSTR path = nullptr;
  QString result;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &path)))
    result = QString::fromWCharArray(path);
  ::CoTaskMemFree(path);
#else
  const QString result = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
#endif
  return result.isEmpty() ? QString() : QDir::toNativeSeparators(result);
}

} // namespace praatkist::platform
