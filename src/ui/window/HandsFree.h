#pragma once
// THandsFree: reading a text list without a key. While it is on and no take runs, the
// open input is listened to; a speech's start begins a take of the text shown (reaching
// back by the pre-roll, so its first syllable is whole), and its end after the silence
// stops it. The next text without a chosen take is then shown and listened for, once the
// input has been quiet for a moment. A take whose speech was too short to be a sentence
// is kept, rejected, and its text listened for again. Its state shows on a lamp and in
// the status line ("Luistert", "Neemt op", "Pauze").

#include <QObject>
#include <QString>

#include <cstdint>

#include "audio/SpeechRules.h"
#include "audio/TakeFormat.h"

class QCheckBox;
class QLabel;

namespace praatkist::ui {

struct TTakeEnd;
class TTakeFlow;
class TTextCommands;
class TTakeCommands;
class TStatusLine;

// What the lamp shows.
enum class THandsFreeLamp { Off, Listening, Recording, Paused };

class THandsFree : public QObject {
  Q_OBJECT

public:
  // A speech shorter than this makes a rejected take.
  static constexpr double kShortestSpeechSeconds = 0.3;

  // The controls it draws and sets: its check box ("Handsfree"), its lamp, and
  // Vooropname, which it turns on (nothing is listened to without it).
  struct TControls {
    QCheckBox *Check = nullptr;
    QLabel *Lamp = nullptr;
    QCheckBox *PreRoll = nullptr;
  };

  // A take it starts is started by ACommands, with the options they read.
  THandsFree(const TControls &AControls, TTakeFlow &AFlow, TTextCommands &AText,
             TTakeCommands &ACommands, TStatusLine &AStatus, QObject *AParent = nullptr);

  // How speech is heard, and the pre-roll a take reaches back by.
  void SetRules(const audio::TSpeechRules &ARules, int APreRollMs);
  bool On() const noexcept { return FOn; }
  bool Paused() const noexcept { return FPaused; }
  THandsFreeLamp Lamp() const noexcept { return FLamp; }

  // The check box was clicked (or its key pressed).
  void Toggle(bool AOn);
  // Hands-free ends; a take running stops as a stop does. AWhy: said in the status line
  // (unless not ASay: another message says why).
  void End(const QString &AWhy = QString(), bool ASay = true);
  // The record button while on: listening, or the running take, pauses or goes on.
  void TogglePause();
  // Ctrl+Shift+R while on: the running take, or else the last one made, is rejected
  // and its text listened for again.
  void Retake();
  // A take's end: true when it was a hands-free take and the list has moved on (or
  // stayed) already.
  bool TakeEnded(const TTakeEnd &AEnd);
  // The input went away: hands-free ends (the loss itself is said by the flow).
  void InputLost();

signals:
  // On or off: the open input's wish changes (it is listened to while on).
  void WishChanged();
  void LampChanged(praatkist::ui::THandsFreeLamp ALamp);

private:
  void SpeechBegan(qint64 AFromFrame);
  void SpeechEnded(double ASpeechSeconds);
  void ListenAgain();
  void ShowLamp(THandsFreeLamp ALamp);
  bool TakeRuns() const;

  TControls C;
  TTakeFlow &FFlow;
  TTextCommands &FText;
  TTakeCommands &FCommands;
  TStatusLine &FStatus;
  audio::TSpeechRules FRules;
  int FPreRollMs = kDefaultPreRollMs;
  bool FOn = false;
  bool FPaused = false;
  THandsFreeLamp FLamp = THandsFreeLamp::Off;
  // The take hands-free started and runs (until its end is told), the speech it held,
  // and whether it was rejected for its retake.
  QString FTake;
  double FSpeechSeconds = 1e9;
  bool FRetake = false;
  QString FLastTake; // the last take made, for a retake while listening
};

} // namespace praatkist::ui
