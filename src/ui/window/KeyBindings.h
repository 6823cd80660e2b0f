#pragma once
// The window's keys at work: a shortcut for every command (CommandKeys) in the main
// window and in every other top-level window that attaches itself, wherever the focus
// is in that window. A focused control does not keep a command's key for itself (its
// shortcut override is refused while the key is a command's). Each key tells which
// command it runs (Activated); the marker's key tells when it went down (Marked). New
// keys bind every attached window again at once.
//
// The delete command is the take list's alone (Delete elsewhere edits text, or does
// nothing): its key works only while the main window's take list has the focus.

#include <QKeySequence>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/window/CommandKeys.h"
#include "ui/window/MarkKey.h"

class QShortcut;
class QWidget;

namespace praatkist::ui {

class TKeyBindings : public QObject {
  Q_OBJECT

public:
  // The keys in AMain (which owns this), the delete command's in ATakeList; ANowNs is
  // the steady clock the engine counts by. Every command has its default key.
  TKeyBindings(QWidget *AMain, QWidget *ATakeList, std::function<std::int64_t()> ANowNs);
  ~TKeyBindings() override;

  // The same keys in AWindow (a top-level window), until it is detached or destroyed.
  // Attaching a window twice binds it once.
  void AttachWindow(QWidget *AWindow);
  void DetachWindow(QWidget *AWindow);

  const TCommandKeys &Keys() const { return FKeys; }
  // The keys every attached window answers to from now on.
  void SetKeys(const TCommandKeys &AKeys);

signals:
  // A command's key was pressed in an attached window (the marker's tells Marked).
  void Activated(TCommand ACommand);
  // The marker's key went down at APressNs (the steady clock given).
  void Marked(std::int64_t APressNs);
  // After SetKeys.
  void KeysChanged();

protected:
  bool eventFilter(QObject *AWatched, QEvent *AEvent) override;

private:
  struct TWindow {
    QPointer<QWidget> Window;
    std::vector<QPointer<QShortcut>> Shortcuts;
  };

  void Bind(TWindow &AWindow);
  void Unbind(TWindow &AWindow);
  void Fire(TCommand ACommand);
  // The key event would run a command in the window of AReceiver.
  bool RunsCommand(QObject *AReceiver, const QKeyEvent &AEvent) const;

  QWidget *FMain;
  QPointer<QWidget> FTakeList;
  TCommandKeys FKeys;
  TMarkKey FMark;
  std::vector<TWindow> FWindows;
};

} // namespace praatkist::ui
