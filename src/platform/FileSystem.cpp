#include "platform/FileSystem.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "platform/Errors.h"

namespace praatkist::platform {

namespace {

bool IsSeparator(QChar c)
{
  return c == QLatin1Char('/') || c == QDir::separator();
}

// Upper case per UTF-16 unit, the way NTFS compares names: "ß" stays one character.
QString UpperPerUnit(const QString &s)
{
  QString result(s);
  for (QChar &c : result)
    c = c.toUpper();
  return result;
}

// Raises when AFolder cannot be listed; a silent empty listing would hide the problem.
void CheckListable(const QString &AFolder)
{
  const QFileInfo info(AFolder);
  const QString shown = QDir::toNativeSeparators(AFolder);
  if (!info.isDir())
    throw EFileError(QStringLiteral("Het pad \"%1\" is niet gevonden.").arg(shown).toStdString());
  if (!info.isReadable())
    throw EFileError(
        QStringLiteral("De map \"%1\" kan niet gelezen worden.").arg(shown).toStdString());
}

QStringList List(const QString &AFolder, QDir::Filters AFilters)
{
  CheckListable(AFolder);
  return QDir(AFolder).entryList(AFilters | QDir::Hidden, QDir::Unsorted);
}

} // namespace

QString CombinePath(const QString &APath, const QString &AName)
{
  if (APath.isEmpty())
    return QDir::toNativeSeparators(AName);
  QString result = QDir::toNativeSeparators(APath);
  if (!IsSeparator(result.back()))
    result += QDir::separator();
  qsizetype start = 0;
  while (start < AName.size() && IsSeparator(AName[start]))
    ++start;
  return result + QDir::toNativeSeparators(AName.mid(start));
}

bool MatchesWildcard(const QString &AName, const QString &APattern)
{
  const QString name = AName.toCaseFolded();
  const QString pattern = APattern.toCaseFolded();
  const QChar star = QLatin1Char('*');
  qsizetype n = 0, p = 0;
  qsizetype lastStar = -1, resumeAt = 0; // where to retry after the last "*" took one more
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == star) {
      lastStar = p++;
      resumeAt = n;
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (lastStar >= 0) {
      p = lastStar + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == star)
    ++p;
  return p == pattern.size();
}

QStringList ListSubFolders(const QString &AFolder)
{
  QStringList names = List(AFolder, QDir::Dirs | QDir::NoDotAndDotDot);
  SortLikeFolderEnumeration(names);
  return names;
}

QStringList ListFilesUnsorted(const QString &AFolder)
{
  return List(AFolder, QDir::Files);
}

QStringList ListFiles(const QString &AFolder, const QString &APattern)
{
  QStringList names = List(AFolder, QDir::Files);
  names.removeIf([&](const QString &name) { return !MatchesWildcard(name, APattern); });
  SortLikeFolderEnumeration(names);
  return names;
}

bool FolderEnumerationBefore(const QString &A, const QString &B)
{
  const int byKey = QString::compare(UpperPerUnit(A), UpperPerUnit(B), Qt::CaseSensitive);
  if (byKey != 0)
    return byKey < 0;
  return QString::compare(A, B, Qt::CaseSensitive) < 0;
}

void SortLikeFolderEnumeration(QStringList &ANames)
{
  std::vector<std::pair<QString, QString>> keyed; // (upper-case key, name)
  keyed.reserve(ANames.size());
  for (const QString &name : ANames)
    keyed.emplace_back(UpperPerUnit(name), name);
  std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
    const int byKey = QString::compare(a.first, b.first, Qt::CaseSensitive);
    if (byKey != 0)
      return byKey < 0;
    return QString::compare(a.second, b.second, Qt::CaseSensitive) < 0;
  });
  ANames.clear();
  for (auto &[key, name] : keyed)
    ANames.append(std::move(name));
}

} // namespace praatkist::platform
