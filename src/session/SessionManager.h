#pragma once
// The session store: a root folder with one sub-folder per session, each holding that
// session's takes ("Koor-1.wav", "Koor-2.mp3", ...). Only the root and the current
// session's name are kept; everything else is read from disk on every call.

#include <QString>
#include <QStringList>

namespace praatkist {

class TSessionManager {
public:
  // Default root "AudioSessies" in the documents folder, created if missing; no session.
  TSessionManager();

  const QString &RootPath() const noexcept { return FRootPath; }
  // Empty while no session is selected.
  const QString &SessionName() const noexcept { return FSessionName; }

  // Creates APath if needed, stores it absolute without trailing separator and clears
  // the session. A blank APath changes nothing.
  void SetRootPath(const QString &APath);
  // Changes the root all or nothing: creates APath if needed and lists its session
  // folders into ASessions; only when that worked does APath (absolute, no trailing
  // separator) become the root, with no session. Raises, leaving root, session and
  // ASessions unchanged, when the folder cannot be made or read, and
  // EInvalidArgument for a path holding a line break or another control character.
  void ChangeRoot(const QString &APath, QStringList &ASessions);
  // No root at all (when not even the default one can be used): no sessions are listed
  // and none can be created or selected until a root is set.
  void ClearRoot();
  // Where the root lies when none is chosen: "AudioSessies" in the documents folder.
  static QString DefaultRootPath();

  // Replaces AItems with the names of the session folders under the root.
  void LoadSessions(QStringList &AItems);
  // Makes the existing session AName current; raises ENotFound otherwise.
  void SelectSession(const QString &AName);
  // Creates the session folder of AName (trimmed) and makes it current. Raises
  // EInvalidArgument for an invalid name or one that exists already, EFileError when
  // the folder could not be made; the current session is then unchanged.
  void CreateSession(const QString &AName);
  // Replaces AItems with the current session's .wav and .mp3 file names, sorted; empty
  // when no session is selected or its folder is gone.
  void LoadRecordings(QStringList &AItems) const;
  // Full path of the next take with AExtension (".wav", ".mp3"); creates nothing.
  // Raises EInvalidOperation when no session is selected.
  QString NextFileName(const QString &AExtension) const;
  // Full path of the current session's take AFileName (as LoadRecordings lists it),
  // joined the way NextFileName makes it; empty when no session is selected.
  QString TakePath(const QString &AFileName) const;

  // True when AName, trimmed, can name a session folder (also: at most 255 bytes as a
  // file name on this system).
  static bool ValidSessionName(const QString &AName);
  // AName without the blanks and control characters at its ends, as a session is named.
  static QString TrimmedName(const QString &AName);
  // The folder of session AName under the root.
  QString SessionFolder(const QString &AName) const;

private:
  static QString AbsoluteRoot(const QString &APath);

  QString FRootPath;
  QString FSessionName;
};

} // namespace praatkist
