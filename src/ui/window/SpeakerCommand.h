#pragma once
// TSpeakerCommand: "Tekst op tweede scherm". While the box is ticked, the session has a
// text list and the main window shows, the speaker's window (TSpeakerWindow) fills a
// screen other than the main window's and shows the text shown in the text column as
// it moves through the list. The box can be ticked only while there is such a screen;
// a screen unplugged closes the window and leaves the box as it was, so that plugging
// one in again brings the window back. The take's flow lights its lamp.

#include <QObject>

#include <memory>
#include <optional>

#include "ui/window/SpeakerWindow.h"

class QCheckBox;
class QKeyEvent;
class QScreen;
class QWidget;

namespace praatkist::ui {

class TTextCommands;
class TTakeFlow;
enum class TTakeState;
struct TFlowFacts;

class TSpeakerCommand : public QObject {
  Q_OBJECT

public:
  // AMain: the main window, whose keys work in the speaker's window too; ABox: its
  // "Tekst op tweede scherm".
  TSpeakerCommand(QWidget *AMain, QCheckBox *ABox, const TTextCommands &ATexts);
  ~TSpeakerCommand() override;

  // The speaker's window, made once and kept for the main window's life (hidden while
  // it is not wanted).
  TSpeakerWindow *Window() const noexcept { return FWindow.get(); }

  // The lamp: OPNAME (and the take's clock) while the flow records, PAUZE while the
  // take is paused, off once it stops. Between takes others may light it (Listening).
  void Follow(const TTakeFlow &AFlow);
  void ShowLamp(TSpeakerLamp ALamp);

  // "TekstOpTweedeScherm": as read from the settings file (absent: never set), and as
  // the user sets it.
  void ApplySetting(std::optional<bool> AOn);
  std::optional<bool> Setting() const noexcept { return FSetting; }

  static QString OneScreenHint();

protected:
  // The main window shown, hidden and moved to another screen.
  bool eventFilter(QObject *AWatched, QEvent *AEvent) override;

private:
  // The screen for the speaker's window: one other than the main window's; null where
  // there is none.
  QScreen *OtherScreen() const;
  // Enables the box and shows, moves or hides the window as things stand now.
  void Update();
  void TakeState(TTakeState AState);
  void TakeFacts(const TFlowFacts &AFacts);
  // The main window's key for APress: a shortcut of the window, or a mnemonic of one of
  // its buttons and boxes. True when one was run.
  bool RunMainKey(const QKeyEvent &APress) const;

  QWidget *FMain;
  QCheckBox *FBox;
  const TTextCommands &FTexts;
  std::unique_ptr<TSpeakerWindow> FWindow;
  std::optional<bool> FSetting;
  bool FTakeRuns = false;
  bool FPaused = false;
};

} // namespace praatkist::ui
