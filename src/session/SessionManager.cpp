#include "session/SessionManager.h"

#include <algorithm>
#include <limits>
#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "platform/DocumentsFolder.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "session/TakeNames.h"

namespace praatkist {

namespace {

const QString KDefaultRootName = QStringLiteral("AudioSessies");

// Removes blanks and control characters (codes 0 to 32) at both ends.
QString TrimControl(const QString &s)
{
  qsizetype begin = 0, end = s.size();
  while (begin < end && s[begin].unicode() <= 32)
    ++begin;
  while (end > begin && s[end - 1].unicode() <= 32)
    --end;
  return s.mid(begin, end - begin);
}

// The characters a folder name may not hold, besides the control characters.
bool IsForbiddenNameChar(char16_t c)
{
  switch (c) {
  case u'"':
  case u'*':
  case u'/':
  case u':':
  case u'<':
  case u'>':
  case u'?':
  case u'\\':
  case u'|':
    return true;
  default:
    return false;
  }
}

// The extension from the last dot of the file name on, dot included; empty without one.
QString LastExtension(const QString &AFileName)
{
  const qsizetype dot = AFileName.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : AFileName.mid(dot);
}

bool IsRecordingExtension(const QString &AExtension)
{
  // Plain ASCII case folding: ".WAV" counts, look-alike letters do not.
  const auto same = [&](QLatin1StringView wanted) {
    if (AExtension.size() != wanted.size())
      return false;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
      char16_t c = AExtension[i].unicode();
      if (c >= u'A' && c <= u'Z')
        c = c - u'A' + u'a';
      if (c != static_cast<char16_t>(wanted[i].unicode()))
        return false;
    }
    return true;
  };
  return same(QLatin1StringView(".wav")) || same(QLatin1StringView(".mp3"));
}

// A signed 32-bit decimal number: optional sign, at least one digit, nothing else.
std::optional<qint32> ParseInt32(QStringView s)
{
  qsizetype i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
    negative = s[i] == QLatin1Char('-');
    ++i;
  }
  if (i == s.size())
    return std::nullopt;
  const qint64 limit = negative ? -qint64(std::numeric_limits<qint32>::min())
                                : qint64(std::numeric_limits<qint32>::max());
  qint64 value = 0;
  for (; i < s.size(); ++i) {
    const char16_t c = s[i].unicode();
    if (c < u'0' || c > u'9')
      return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > limit)
      return std::nullopt;
  }
  return static_cast<qint32>(negative ? -value : value);
}

} // namespace

TSessionManager::TSessionManager()
{
  FRootPath = DefaultRootPath();
  QDir().mkpath(FRootPath); // a failure shows later, when the root is listed
}

QString TSessionManager::DefaultRootPath()
{
  const QString documents = platform::DocumentsFolder();
  return documents.isEmpty() ? KDefaultRootName
                             : platform::CombinePath(documents, KDefaultRootName);
}

QString TSessionManager::AbsoluteRoot(const QString &APath)
{
  // cleanPath resolves "." and ".." and drops a trailing separator, except on a root
  // ("/", "C:\"; without it "C:" would name the drive's current folder).
  QString full = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(APath).absoluteFilePath()));
  if (full.size() > 1 && full.endsWith(QDir::separator()) && !QDir(full).isRoot())
    full.chop(1);
  return full;
}

void TSessionManager::SetRootPath(const QString &APath)
{
  if (TrimControl(APath).isEmpty())
    return;
  if (APath.contains(QChar(0)))
    throw EFileError(QStringLiteral("Ongeldig pad: \"%1\".").arg(APath).toStdString());
  QDir().mkpath(APath);
  FRootPath = AbsoluteRoot(APath);
  FSessionName.clear();
}

void TSessionManager::ChangeRoot(const QString &APath, QStringList &ASessions)
{
  for (const QChar c : APath)
    if (c.unicode() < 32 || c.unicode() == 127)
      throw EInvalidArgument(
          "Een hoofdmap met een regeleinde of een ander stuurteken in de naam kan niet "
          "worden gebruikt.");
  if (TrimControl(APath).isEmpty())
    throw EInvalidArgument("Geef een map op.");
  QDir().mkpath(APath);
  const QString full = AbsoluteRoot(APath);
  QStringList sessions = platform::ListSubFolders(full);
  FRootPath = full;
  FSessionName.clear();
  ASessions = std::move(sessions);
}

void TSessionManager::ClearRoot()
{
  FRootPath.clear();
  FSessionName.clear();
}

void TSessionManager::LoadSessions(QStringList &AItems)
{
  AItems.clear();
  if (FRootPath.isEmpty())
    return;
  QDir().mkpath(FRootPath);
  AItems = platform::ListSubFolders(FRootPath);
}

void TSessionManager::SelectSession(const QString &AName)
{
  if (FRootPath.isEmpty() || !QFileInfo(SessionFolder(AName)).isDir())
    throw ENotFound(QStringLiteral("Sessie \"%1\" bestaat niet.").arg(AName).toStdString());
  FSessionName = AName;
}

void TSessionManager::CreateSession(const QString &AName)
{
  const QString name = TrimControl(AName);
  if (!ValidSessionName(name))
    throw EInvalidArgument("Geef een geldige sessienaam zonder speciale maptekens op.");
  if (FRootPath.isEmpty())
    throw EInvalidOperation("Kies eerst een hoofdmap voor de sessies.");
  const QString folder = SessionFolder(name);
  if (QFileInfo(folder).isDir())
    throw EInvalidArgument(QStringLiteral("Sessie \"%1\" bestaat al.").arg(name).toStdString());
  if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
    throw EFileError(QStringLiteral("De map van sessie \"%1\" kon niet worden gemaakt in \"%2\".")
                         .arg(name, QDir::toNativeSeparators(FRootPath))
                         .toStdString());
  FSessionName = name;
}

void TSessionManager::LoadRecordings(QStringList &AItems) const
{
  AItems.clear();
  if (FSessionName.isEmpty())
    return;
  const QString folder = SessionFolder(FSessionName);
  if (!QFileInfo(folder).isDir())
    return;
  QStringList names = platform::ListFilesUnsorted(folder);
  names.removeIf([](const QString &name) { return !IsRecordingExtension(LastExtension(name)); });
  // Textual, not numeric: "Koor-10.wav" comes before "Koor-2.wav".
  TTakeNames::Sort(names);
  AItems = std::move(names);
}

QString TSessionManager::NextFileName(const QString &AExtension) const
{
  if (FSessionName.isEmpty())
    throw EInvalidOperation("Kies eerst een sessie.");
  const QString &name = FSessionName;
  const qsizetype length = name.size();
  const QString folder = SessionFolder(name);
  qint32 highest = 0;
  const QString pattern = name + QStringLiteral("-*") + AExtension;
  for (const QString &file : platform::ListFilesUnsorted(folder)) {
    if (!platform::MatchesWildcard(file, pattern))
      continue;
    const QString base = file.left(file.size() - LastExtension(file).size());
    if (base.size() <= length + 1 || base[length] != QLatin1Char('-'))
      continue;
    const std::optional<qint32> number = ParseInt32(QStringView(base).mid(length + 1));
    if (number && *number > highest)
      highest = *number;
  }
  // The next number's name may still be held by an entry that is no take: a
  // folder, a pipe, a link (also one that leads nowhere), or a name that differs
  // only in case. Such a name is never chosen: a take is created new.
  QSet<QString> taken;
  for (const QString &entry : QDir(folder).entryList(
           QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted))
    taken.insert(entry.toCaseFolded());
  qint64 next = qint64(highest) + 1;
  const auto nameOf = [&](qint64 number) {
    return QStringLiteral("%1-%2%3").arg(name, QString::number(number), AExtension);
  };
  while (next <= std::numeric_limits<qint32>::max() && taken.contains(nameOf(next).toCaseFolded()))
    ++next;
  if (next > std::numeric_limits<qint32>::max())
    throw EInvalidOperation(
        QStringLiteral("Sessie \"%1\" heeft geen vrij opnamenummer meer.").arg(name).toStdString());
  return platform::CombinePath(folder, nameOf(next));
}

QString TSessionManager::TakePath(const QString &AFileName) const
{
  if (FSessionName.isEmpty())
    return QString();
  return platform::CombinePath(SessionFolder(FSessionName), AFileName);
}

QString TSessionManager::TrimmedName(const QString &AName)
{
  return TrimControl(AName);
}

bool TSessionManager::ValidSessionName(const QString &AName)
{
  const QString name = TrimControl(AName);
  if (name.isEmpty())
    return false;
  if (name == QLatin1String(".") || name == QLatin1String(".."))
    return false;
  if (name.endsWith(QLatin1Char('.')))
    return false;
  for (const QChar c : name) {
    if (c.unicode() < 32)
      return false;
  }
  for (const QChar c : name) {
    if (c.unicode() <= 255 && IsForbiddenNameChar(c.unicode()))
      return false;
  }
  // A folder name longer than the file system holds (255 bytes on Linux, 255 UTF-16
  // units on NTFS) cannot be made.
#ifdef _WIN32
  if (name.size() > 255)
    return false;
#else
  if (QFile::encodeName(name).size() > 255)
    return false;
#endif
  return true;
}

QString TSessionManager::SessionFolder(const QString &AName) const
{
  return platform::CombinePath(FRootPath, AName);
}

} // namespace praatkist
