#pragma once
// TTextCommands: the session's text list in the window. It reads the list of the
// session shown, shows the current text in the text column, moves through the list,
// binds each take started to the text shown, rejects a take for its retake, makes the
// selected take its text's chosen one, and tells the take list what to show beside
// each take. A session without a list shows no column and gets no file of it.

#include <QObject>
#include <QString>

#include <functional>

#include "session/SessionText.h"
#include "ui/window/TakeList.h"

namespace praatkist {
class TSessionManager;
}

class QCheckBox;
class QComboBox;
class QWidget;

namespace praatkist::ui {

class TStatusLine;
class TTextItemPanel;

class TTextCommands : public QObject {
  Q_OBJECT

public:
  // The controls the text part draws and reads, and the page's text column.
  struct TControls {
    QWidget *Page = nullptr;            // the dialogs' owner
    QComboBox *Sessions = nullptr;      // a session is chosen
    TTextItemPanel *Panel = nullptr;    // the text shown
    QCheckBox *NextAfterTake = nullptr; // "Na opname volgende tekst"
    std::function<bool()> ColumnShown;
    std::function<void(bool AShow)> ShowColumn;
  };

  TTextCommands(TControls AControls, TSessionManager &AStore, TStatusLine &AStatus,
                TTakeList &ATakes, QObject *AParent = nullptr);

  // Asks for the text file to load (empty: cancelled); the system's file dialog by
  // default.
  std::function<QString()> AskTextFile;

  // The session shown has changed (or none is shown): its list is read, if it has one.
  void SessionShown();
  // The takes are listed again: the bindings are read again (another program may have
  // changed them).
  void Listed();
  // The take AName was deleted: it is no take of its text any more.
  void TakeRemoved(const QString &AName);

  // Loads a text file as the session's list (asking first where it has one).
  void Load();
  // The next, the previous text, and the next one without a chosen take; each selects
  // the text's latest take.
  void Next();
  void Previous();
  // False when every other text has its chosen take (said in the status line).
  bool NextWithoutChoice();

  // The take at APath has started: it belongs to the text shown.
  void TakeStarted(const QString &APath);
  // The running take at APath is rejected for its retake: true when it belongs to a
  // text (which is then shown); false, and nothing changed, otherwise.
  bool RejectForRetake(const QString &APath);
  // The take at APath becomes its text's chosen take.
  void Choose(const QString &APath);
  // The take at APath is rejected (it stays on disk); its text's latest take that is not
  // rejected becomes the chosen one, unless another is chosen.
  void Reject(const QString &APath);
  // Shows text AIndex in the column and selects the take at ATakePath (empty: the
  // text's latest take).
  void ShowItem(int AIndex, const QString &ATakePath);
  // The take at APath has ended (stopped, and trimmed where asked): where the option
  // says so and it was a take of the text shown, the next text is shown (the take
  // stays selected).
  void TakeEnded(const QString &APath);

  bool HasList() const noexcept { return FText.HasList(); }
  const TSessionText &Text() const noexcept { return FText; }
  // What the take list shows beside the take AName of the session.
  TTakeMark MarkOf(const QString &AName) const;

signals:
  // The text column comes or goes.
  void ColumnChanged(bool AShown);
  // The text shown has changed: another text, another list, or none (Text() says which).
  void ItemShown();

private:
  // The file name of the take at APath and (AId) its text's id; empty, after saying
  // why, without a list or when the take belongs to no text.
  QString BoundTake(const QString &APath, QString &AId);
  QString Folder() const;
  QString NameOf(const QString &APath) const;
  // Shows the current text; ASelectTake: and selects its latest take.
  void ShowCurrent(bool ASelectTake);
  void ShowColumn();
  // Runs AChange on the bindings; a failure to write them is said.
  bool Change(const std::function<void()> &AChange, const QString &AWhat);

  const TControls C;
  TSessionManager &FStore;
  TStatusLine &FStatus;
  TTakeList &FTakes;
  TSessionText FText;
  QString FOpenFolder;
};

} // namespace praatkist::ui
