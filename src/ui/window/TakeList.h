#pragma once
// TTakeList: the session list (cbSession) and the take list (lbRecordings) over the
// session store: filled, refreshed and reloaded, and the take they point at. It tells
// the window what it now lists (Listed) and which take is to be shown (TakeChosen).

#include <QObject>
#include <QString>
#include <QStringList>

class QComboBox;
class QListWidget;

namespace praatkist {
class TSessionManager;
}

namespace praatkist::ui {

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

  // The selected entry's text, and the take it names; empty when none is selected.
  QString SelectedEntry() const;
  QString SelectedTakePath() const;

signals:
  // The take list now holds AEntries.
  void Listed(const QStringList &AEntries);
  // The take at APath is to be shown (empty: none); AByUser when the user chose it.
  void TakeChosen(const QString &APath, bool AByUser);

private:
  void Empty();

  QComboBox *FSessions;
  QListWidget *FTakes;
  TSessionManager &FStore;
};

} // namespace praatkist::ui
