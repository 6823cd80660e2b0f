#include "platform/SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <shlobj.h>
#include <windows.h>
#endif

namespace praatkist::platform {

namespace {

#ifdef Q_OS_WIN
QString KnownFolder(const KNOWNFOLDERID &AId, DWORD AFlags = KF_FLAG_DEFAULT)
{
  PWSTR path = nullptr;
  QString result;
  if (SUCCEEDED(::SHGetKnownFolderPath(AId, AFlags, nullptr, &path)))
    result = QDir::cleanPath(QString::fromWCharArray(path));
  ::CoTaskMemFree(path);
  return result;
}
#endif

bool FolderWritable(const QString &AFolder)
{
  if (!QFileInfo(AFolder).isDir())
    return false;
  QTemporaryFile probe(QDir(AFolder).filePath(QStringLiteral(".praatkist-probe-XXXXXX")));
  return probe.open();
}

// A folder of the system's own programs (/usr/bin, /usr/local/bin, /opt/...): nothing
// is written there at run time, even by root, whose writes it would otherwise take.
bool InSystemProgramFolder(const QString &AFolder)
{
#ifdef Q_OS_WIN
  // Program Files, the user's own programs folder (%LOCALAPPDATA%\Programs, where a
  // setup installs for one user) and Windows are written by installers only.
  const QString folder = QDir::cleanPath(QFileInfo(AFolder).absoluteFilePath()) + QLatin1Char('/');
  QStringList roots;
  for (const KNOWNFOLDERID *id :
       {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_Windows})
    roots << KnownFolder(*id);
  // (a system that does not know the user's programs folder has it in its default place,
  // where the setup puts it then)
  QString userPrograms = KnownFolder(FOLDERID_UserProgramFiles);
  if (userPrograms.isEmpty() && !KnownFolder(FOLDERID_LocalAppData).isEmpty())
    userPrograms = KnownFolder(FOLDERID_LocalAppData) + QStringLiteral("/Programs");
  roots << userPrograms;
  for (const QString &root : roots)
    if (!root.isEmpty() && folder.startsWith(root + QLatin1Char('/'), Qt::CaseInsensitive))
      return true;
  return false;
#else
  const QString folder = QFileInfo(AFolder).canonicalFilePath() + QLatin1Char('/');
  for (const char *prefix : {"/usr/", "/bin/", "/sbin/", "/opt/"})
    if (folder.startsWith(QLatin1String(prefix)))
      return true;
  return false;
#endif
}

} // namespace

QString SettingsFilePath(const QString &AExecutable)
{
  const QFileInfo program(AExecutable);
  const QString name = program.completeBaseName() + QStringLiteral(".ini");
  const QString besideProgram = QDir(program.absolutePath()).filePath(name);
  const QFileInfo existing(besideProgram);
  if (!InSystemProgramFolder(program.absolutePath()) && FolderWritable(program.absolutePath()) &&
      (!existing.exists() || existing.isWritable()))
    return QDir::toNativeSeparators(besideProgram);

    // A read-only or system-wide install: the user's own configuration folder
    // (%APPDATA%\Praatkist on Windows).
#ifdef Q_OS_WIN
  QString folder = KnownFolder(FOLDERID_RoamingAppData, KF_FLAG_CREATE);
  if (!folder.isEmpty())
    folder = QDir(folder).filePath(QStringLiteral("Praatkist"));
#else
  QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
#endif
  if (folder.isEmpty())
    folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                 .filePath(QStringLiteral("Praatkist"));
  QDir().mkpath(folder);
  const QString personal = QDir(folder).filePath(name);
  // Settings lying beside a read-only program (from an earlier, writable install or
  // put there for every user) are where this user's own file starts from.
  if (!QFileInfo::exists(personal) && existing.isFile() && existing.isReadable())
    QFile::copy(besideProgram, personal);
  return QDir::toNativeSeparators(personal);
}

QString DefaultSettingsPath()
{
  return SettingsFilePath(QCoreApplication::applicationFilePath());
}

} // namespace praatkist::platform
