#pragma once
// Small file-system helpers: joining paths, listing a folder, matching file names.
// Paths come back with the platform's separators.

#include <QString>
#include <QStringList>

namespace praatkist::platform {

// APath and AName joined with exactly one separator between them. An empty APath gives
// AName alone.
QString CombinePath(const QString &APath, const QString &AName);

// True when AName matches APattern as a whole, ignoring case. Only "*" is special
// (any run of characters, also none); every other character, "?", "[" and "]" included,
// stands for itself.
bool MatchesWildcard(const QString &AName, const QString &APattern);

// Bare names of the folders directly inside AFolder (hidden ones too, never "." or "..").
// Raises EFileError when AFolder does not exist or cannot be read.
QStringList ListSubFolders(const QString &AFolder);

// Bare names of the regular files directly inside AFolder whose names match APattern
// (see MatchesWildcard; "*" lists them all). Raises EFileError like ListSubFolders.
QStringList ListFiles(const QString &AFolder, const QString &APattern = QStringLiteral("*"));

// Bare names of all the regular files directly inside AFolder, in no particular order
// (one pass over the folder). Raises EFileError like ListSubFolders.
QStringList ListFilesUnsorted(const QString &AFolder);

// Sorts names the way an NTFS folder enumerates them: by their upper-case form, compared
// code unit by code unit. Names that differ only in case keep a fixed order too.
void SortLikeFolderEnumeration(QStringList &ANames);
// The order SortLikeFolderEnumeration gives: true when A comes before B.
bool FolderEnumerationBefore(const QString &A, const QString &B);

} // namespace praatkist::platform
