#pragma once
// TTakeList: the session list (cbSession) and the take list (lbRecordings) over the
// session store: filled, refreshed and reloaded, and the take they point at. It tells
// the window what it now lists (Listed) and which take is to be shown (TakeChosen).

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QListWidget;
class QListWidgetItem;

namespace praatkist {
class TSessionManager;
}

namespace praatkist::ui {

// What the list says of a take beside its name: the id of its text, and whether it is
// that text's chosen take or a rejected one.
struct TTakeMark {
  QString ItemId;
  bool Chosen = false;
  bool Rejected = false;
};

class TTakeList : public QObject {
  Q_OBJECT

public:
  TTakeList(QComboBox *ASessions, QListWidget *ATakes, TSessionManager &AStore,
            QObject *AParent = nullptr);

  // Lists the root's sessions with none chosen. Raises what the store raises.
  void RefreshSessions();
  // The session chosen in the list becomes the store's, and its takes are listed. A
  // session that has gone is reported through the general error box after the lists
  // show what is there.
  void SessionChange();
  // Lists the session's takes again and selects the entry whose take is at ASelect
  // (else the last). AShow: the selected take is to be shown (TakeChosen).
  void Reload(const QString &ASelect = QString(), bool AShow = true);
  // Chooses the session named AName (trimmed of blanks) and lists its takes.
  void ChooseSession(const QString &AName);

  // Selects the entry of the take at APath, or none where it is not listed (empty:
  // none); TakeChosen follows (not by the user).
  void Select(const QString &APath);

  // The marks of the session's takes by file name, asked at each listing; none: the
  // entries are the bare names.
  std::function<QHash<QString, TTakeMark>()> Marks;

  // The selected entry's take's file name, and the take it names; empty when none is
  // selected.
  QString SelectedEntry() const;
  QString SelectedTakePath() const;

signals:
  // The take list now holds AEntries.
  void Listed(const QStringList &AEntries);
  // The take at APath is to be shown (empty: none); AByUser when the user chose it.
  void TakeChosen(const QString &APath, bool AByUser);

private:
  void Empty();
  // The file name of the take a row names.
  static QString NameOf(const QListWidgetItem *AItem);

  QComboBox *FSessions;
  QListWidget *FTakes;
  TSessionManager &FStore;
};

} // namespace praatkist::ui
