#pragma once
// TTakeList: the session list (cbSession) and the take list (lbRecordings) over the
// session store: filled, refreshed, told of a take made or deleted, and the take they
// point at. Choosing a session lists its takes once; the takes a crash left unfinished
// are mended meanwhile on a worker (TMendWork). It tells the window what it now lists
// (Listed, TakeAdded, TakeRemoved), which take is to be shown (TakeChosen) and which
// take was mended (Mended).

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

#include "ui/window/TakeListModel.h"

class QComboBox;
class QListView;

namespace praatkist {
class TSessionManager;
}

namespace praatkist::ui {

class TMendWork;

class TTakeList : public QObject {
  Q_OBJECT

public:
  TTakeList(QComboBox *ASessions, QListView *ATakes, TSessionManager &AStore,
            QObject *AParent = nullptr);
  ~TTakeList() override;

  // Lists the root's sessions with none chosen. Raises what the store raises.
  void RefreshSessions();
  // The session chosen in the list becomes the store's, its takes are listed and its
  // crashed takes mended. A session that has gone is reported through the general error
  // box after the lists show what is there.
  void SessionChange();
  // Lists the session's takes again and selects the entry whose take is at ASelect
  // (else the last). AShow: the selected take is to be shown (TakeChosen).
  void Reload(const QString &ASelect = QString(), bool AShow = true);
  // Chooses the session named AName (trimmed of blanks) and lists its takes.
  void ChooseSession(const QString &AName);

  // The take at APath was made: it is listed where the order puts it (where it is not
  // listed yet) and selected; TakeChosen does not follow.
  void Add(const QString &APath);
  // The take at APath was deleted: its entry goes, and the last entry is selected and
  // shown (TakeChosen).
  void Remove(const QString &APath);
  // The marks have changed: the entries are drawn anew, and the entry of ASelect's
  // take is selected (empty: none); TakeChosen does not follow.
  void MarksChanged(const QString &ASelect);

  // Selects the entry of the take at APath, or none where it is not listed (empty:
  // none); TakeChosen follows (not by the user).
  void Select(const QString &APath);

  // The marks of a take by its file name; none: the entries are the bare names.
  std::function<TTakeMark(const QString &AName)> Marks;

  // The selected entry's take's file name, and the take it names; empty when none is
  // selected.
  QString SelectedEntry() const;
  QString SelectedTakePath() const;
  // The crashed takes of the session chosen are still being looked for and mended.
  bool Mending() const;

signals:
  // The take list now holds AEntries (a listing of the whole session).
  void Listed(const QStringList &AEntries);
  // The marks of the takes listed may have changed (a choice, a rejection).
  void Remarked();
  // The take AName was added to the list, or removed from it.
  void TakeAdded(const QString &AName);
  void TakeRemoved(const QString &AName);
  // The take at APath is to be shown (empty: none); AByUser when the user chose it.
  void TakeChosen(const QString &APath, bool AByUser);
  // The take at APath, which a crash had left unfinished, has its true sizes now.
  void Mended(const QString &APath);
  // The session's crashed takes have all been looked at.
  void MendDone();

private:
  void Empty();
  // The row of the take at APath, -1 when it is not listed.
  int RowOf(const QString &APath) const;
  // Makes ARow the selected entry (-1: none) without telling TakeChosen.
  void SelectRow(int ARow);

  QComboBox *FSessions;
  QListView *FTakes;
  TSessionManager &FStore;
  TTakeListModel *FModel;
  TMendWork *FMend;
  // Set while the list changes its own selection: not the user's choice.
  bool FQuiet = false;
};

} // namespace praatkist::ui
