// Where an installed program keeps its settings on Windows: in the user's
// application-data folder, never in the folder a setup installed it into.

#include <QDir>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include "platform/SettingsLocation.h"
#include "support/TestFiles.h"

#ifdef Q_OS_WIN
#include <shlobj.h>
#include <windows.h>
#endif

using praatkist::platform::SettingsFilePath;
using praatkist::test::TTempDir;

namespace {

#ifdef Q_OS_WIN
QString KnownFolder(const KNOWNFOLDERID &AId)
{
  PWSTR path = nullptr;
  QString result;
  if (SUCCEEDED(::SHGetKnownFolderPath(AId, KF_FLAG_CREATE, nullptr, &path)))
    result = QDir::cleanPath(QString::fromWCharArray(path));
  ::CoTaskMemFree(path);
  return result;
}

// The settings path of a Praatkist.exe in a folder of its own under FOLDER, made for
// the test (so that it can be written: the folder's place alone decides) and removed
// again
QString SettingsOfProgramIn(const QString &AFolder)
{
  const QString folder = AFolder + QStringLiteral("/Praatkist-settings-test");
  QDir().mkpath(folder);
  const QString settings =
      QDir::fromNativeSeparators(SettingsFilePath(folder + QStringLiteral("/Praatkist.exe")));
  QDir(folder).removeRecursively();
  return settings;
}
#endif

} // namespace

TEST(SettingsLocation, ProgramInProgramFilesKeepsItsSettingsInTheUsersAppData)
{
#ifndef Q_OS_WIN
  GTEST_SKIP() << "Program Files and the application-data folder are Windows' own";
#else
  const QString programs = KnownFolder(FOLDERID_ProgramFiles);
  ASSERT_FALSE(programs.isEmpty());
  EXPECT_EQ(SettingsOfProgramIn(programs).toStdString(),
            (KnownFolder(FOLDERID_RoamingAppData) + QStringLiteral("/Praatkist/Praatkist.ini"))
                .toStdString());
#endif
}

TEST(SettingsLocation, ProgramInstalledForOneUserKeepsItsSettingsInTheUsersAppData)
{
#ifndef Q_OS_WIN
  GTEST_SKIP() << "the user's programs folder (%LOCALAPPDATA%\\Programs) is Windows' own";
#else
  // where the setup installs for one user: the known folder, or on a system that does
  // not know it (wine 8) its default place
  QString programs = KnownFolder(FOLDERID_UserProgramFiles);
  if (programs.isEmpty())
    programs = KnownFolder(FOLDERID_LocalAppData) + QStringLiteral("/Programs");
  ASSERT_NE(programs, QStringLiteral("/Programs"));
  EXPECT_EQ(SettingsOfProgramIn(programs).toStdString(),
            (KnownFolder(FOLDERID_RoamingAppData) + QStringLiteral("/Praatkist/Praatkist.ini"))
                .toStdString());
#endif
}

TEST(SettingsLocation, ProgramInAFolderOfItsOwnKeepsItsSettingsBesideIt)
{
  TTempDir dir;
  const QString folder = QString::fromStdWString(dir.Path().wstring());
  const QString program = QDir(folder).filePath(QStringLiteral("Praatkist.exe"));
  ASSERT_TRUE(QFile(program).open(QIODevice::WriteOnly));
  EXPECT_EQ(QDir::cleanPath(QDir::fromNativeSeparators(SettingsFilePath(program))).toStdString(),
            QDir::cleanPath(QDir(folder).filePath(QStringLiteral("Praatkist.ini"))).toStdString());
}
