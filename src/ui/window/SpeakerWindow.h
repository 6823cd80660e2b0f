#pragma once
// TSpeakerWindow: the speaker's view of the text to read, on a screen of its own. A
// frameless window that fills its screen: the text in the largest size at which it fits
// there (word-wrapped), its id and its place in the list ("12 / 340") above it, and on
// the right a lamp (red OPNAME while a take runs, PAUZE while it is paused, "Luistert"
// while the program waits for the speaker's voice) with the take's running clock.
// It shows what it is given; TSpeakerCommand decides when and where.

#include <QString>
#include <QWidget>

#include <functional>

class QKeyEvent;
class QLabel;
class QScreen;

namespace praatkist::ui {

enum class TSpeakerLamp { Off, Recording, Listening, Paused };

class TSpeakerWindow : public QWidget {
  Q_OBJECT

public:
  // The text's sizes in points: as large as fits, within these.
  static constexpr int LargestPt = 200;
  static constexpr int SmallestPt = 12;

  // A window of its own: no parent, so that it never sits above or beside the main
  // window as its dialog would.
  TSpeakerWindow();

  // Fills AScreen and shows there (the window the user works in keeps the keyboard).
  void ShowOn(QScreen *AScreen);

  // Item AIndex (0-based) of ACount, with its id and text.
  void ShowItem(int AIndex, int ACount, const QString &AId, const QString &AText);
  void ShowLamp(TSpeakerLamp ALamp);
  // The take's clock as the main window shows it ("01:23"); shown beside the lamp while
  // a take runs or is paused.
  void ShowClock(const QString &AText);

  TSpeakerLamp Lamp() const noexcept { return FLampShown; }
  QString PlaceText() const;
  QString ItemText() const;
  QString LampText() const;
  QString ClockText() const;
  int TextPointSize() const;

  // A key pressed here that nothing here takes is handed to this: true when it was
  // used (the main window's keys work here as there).
  std::function<bool(const QKeyEvent &)> ForwardKey;

protected:
  void resizeEvent(QResizeEvent *AEvent) override;
  void keyPressEvent(QKeyEvent *AEvent) override;

private:
  // Sizes the lines to the screen and the text to what is left below them.
  void Place();

  QLabel *FPlace;
  QLabel *FLamp;
  QLabel *FClock;
  QLabel *FText;
  TSpeakerLamp FLampShown = TSpeakerLamp::Off;
};

} // namespace praatkist::ui
