#include "ui/window/HandsFree.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QTimer>

#include <algorithm>

#include "ui/flow/TakeFlow.h"
#include "ui/style/Palette.h"
#include "ui/window/StatusLine.h"
#include "ui/window/TakeCommands.h"
#include "ui/window/TextCommands.h"

namespace praatkist::ui {

THandsFree::THandsFree(const TControls &AControls, TTakeFlow &AFlow, TTextCommands &AText,
                       TTakeCommands &ACommands, TStatusLine &AStatus, QObject *AParent)
    : QObject(AParent), C(AControls), FFlow(AFlow), FText(AText), FCommands(ACommands),
      FStatus(AStatus)
{
  connect(&FFlow, &TTakeFlow::SpeechBegan, this, &THandsFree::SpeechBegan);
  connect(&FFlow, &TTakeFlow::SpeechEnded, this, &THandsFree::SpeechEnded);
  connect(&FFlow, &TTakeFlow::InputLost, this, &THandsFree::InputLost);
  connect(&FFlow, &TTakeFlow::StateChanged, this, [this](TTakeState AState) {
    if (FOn && AState == TTakeState::Recording)
      ShowLamp(FPaused ? THandsFreeLamp::Paused : THandsFreeLamp::Recording);
  });
}

void THandsFree::SetRules(const audio::TSpeechRules &ARules, int APreRollMs)
{
  FRules = ARules.Clamped();
  FPreRollMs = std::clamp(APreRollMs, 0, kMaxPreRollMs);
}

bool THandsFree::TakeRuns() const
{
  return !FTake.isEmpty() && FFlow.State() == TTakeState::Recording &&
         FFlow.TakePath() == FTake;
}

void THandsFree::Toggle(bool AOn)
{
  if (AOn == FOn)
    return;
  if (!AOn) {
    End();
    return;
  }
  if (!FText.HasList() || !FFlow.HasEngine()) {
    C.Check->setChecked(false);
    FStatus.Set(QStringLiteral("Handsfree werkt alleen met een tekstlijst."));
    return;
  }
  FOn = true;
  FPaused = false;
  FTake.clear();
  FLastTake.clear();
  C.Check->setChecked(true);
  // The input stays open between takes, as with Vooropname, which it switches on.
  if (!C.PreRoll->isChecked())
    C.PreRoll->setChecked(true);
  emit WishChanged();
  if (FFlow.State() == TTakeState::Recording) {
    // A take started by hand runs on; its end is the user's, the listening follows it.
    ShowLamp(THandsFreeLamp::Recording);
    return;
  }
  ListenAgain();
}

void THandsFree::End(const QString &AWhy, bool ASay)
{
  if (!FOn)
    return;
  FOn = false;
  FPaused = false;
  FFlow.StopListening();
  C.Check->setChecked(false);
  // A take running ends as a stop would: the text part moves on as it does then.
  if (TakeRuns()) {
    FTake.clear();
    FCommands.Stop();
  }
  FTake.clear();
  emit WishChanged();
  ShowLamp(THandsFreeLamp::Off);
  if (!ASay)
    return;
  // After what a take's end says of itself.
  const QString said = AWhy.isEmpty() ? QStringLiteral("Handsfree uit.") : AWhy;
  QTimer::singleShot(0, this, [this, said] { FStatus.Set(said); });
}

void THandsFree::ListenAgain()
{
  if (!FOn)
    return;
  if (FPaused) {
    ShowLamp(THandsFreeLamp::Paused);
    return;
  }
  FFlow.Listen(FRules);
  ShowLamp(THandsFreeLamp::Listening);
  // After what the take's end says of itself.
  QTimer::singleShot(0, this, [this] {
    if (FLamp == THandsFreeLamp::Listening)
      FStatus.Set(QStringLiteral("Luistert: lees de tekst voor."));
  });
}

void THandsFree::SpeechBegan(qint64 AFromFrame)
{
  if (!FOn || FPaused || FFlow.State() != TTakeState::Idle || !FText.HasList())
    return; // heard while the list cannot take a take: its end listens again
  const qint64 rate = std::max(FCommands.Options().SampleRate, 1);
  const qint64 back = static_cast<qint64>(FPreRollMs) * rate / 1000;
  FSpeechSeconds = 1e9;
  FRetake = false;
  FCommands.Record(std::max<qint64>(AFromFrame - back, 0));
  if (FFlow.State() != TTakeState::Recording) {
    End(QStringLiteral("Handsfree gestopt: de opname kon niet beginnen."));
    return;
  }
  FTake = FFlow.TakePath();
}

void THandsFree::SpeechEnded(double ASpeechSeconds)
{
  if (!FOn)
    return;
  if (!TakeRuns()) {
    if (FFlow.State() == TTakeState::Idle)
      ListenAgain();
    return;
  }
  FSpeechSeconds = ASpeechSeconds;
  FCommands.Stop();
}

bool THandsFree::TakeEnded(const TTakeEnd &AEnd)
{
  if (FTake.isEmpty() || AEnd.Path != FTake) {
    // A take of the user's own (started by hand): listening follows its end.
    if (FOn && FFlow.State() == TTakeState::Idle)
      ListenAgain();
    return false;
  }
  FTake.clear();
  FLastTake = AEnd.Path;
  if (!FOn)
    return false;
  if (AEnd.ByItself) {
    // A full disk, a lost input: why is said by the flow after this.
    End(QString(), false);
    return true;
  }
  if (std::exchange(FRetake, false)) {
    // rejected already, its text shown again
  } else if (FSpeechSeconds < kShortestSpeechSeconds) {
    FText.Reject(AEnd.Path);
    FStatus.Set(QStringLiteral("Te kort om een zin te zijn: afgekeurd. Lees de tekst opnieuw."));
  } else if (!FText.NextWithoutChoice()) {
    End(QStringLiteral("Handsfree klaar: elke tekst heeft een gekozen opname."));
    return true;
  }
  ListenAgain();
  return true;
}

void THandsFree::TogglePause()
{
  if (!FOn)
    return;
  if (FFlow.State() == TTakeState::Recording) {
    FFlow.TogglePause();
    FPaused = FFlow.Facts().Paused;
    FFlow.HoldListening(FPaused);
    ShowLamp(FPaused ? THandsFreeLamp::Paused : THandsFreeLamp::Recording);
    return;
  }
  FPaused = !FPaused;
  if (FPaused) {
    FFlow.HoldListening(true);
    ShowLamp(THandsFreeLamp::Paused);
    FStatus.Set(QStringLiteral("Pauze: handsfree luistert niet."));
  } else {
    ListenAgain();
  }
}

void THandsFree::Retake()
{
  if (!FOn)
    return;
  if (TakeRuns()) {
    if (FText.RejectForRetake(FTake)) {
      FRetake = true;
      FCommands.Stop();
    }
    return;
  }
  if (FFlow.State() != TTakeState::Idle || FLastTake.isEmpty())
    return;
  if (FText.RejectForRetake(FLastTake)) {
    FStatus.Set(QStringLiteral("Afgekeurd. Luistert opnieuw naar deze tekst."));
    FLastTake.clear();
    if (!FPaused)
      FFlow.Listen(FRules); // the quiet wait begins anew
  }
}

void THandsFree::InputLost()
{
  // Between takes (a take running ends by itself, and is kept): the flow has said it.
  End(QString(), false);
}

void THandsFree::ShowLamp(THandsFreeLamp ALamp)
{
  if (ALamp == FLamp)
    return;
  FLamp = ALamp;
  QLabel *lamp = C.Lamp;
  QString text;
  QRgb fill = palette::Background;
  QRgb ink = palette::DialogText;
  switch (ALamp) {
  case THandsFreeLamp::Off:
    break;
  case THandsFreeLamp::Listening:
    text = QStringLiteral("Luistert");
    fill = palette::BlueAccent;
    break;
  case THandsFreeLamp::Recording:
    text = QStringLiteral("Neemt op");
    fill = palette::RedAccent;
    break;
  case THandsFreeLamp::Paused:
    text = QStringLiteral("Pauze");
    fill = palette::GreyAccent;
    break;
  }
  QPalette colours = lamp->palette();
  colours.setColor(QPalette::Window, palette::Colour(fill));
  colours.setColor(QPalette::WindowText, palette::Colour(ink));
  lamp->setPalette(colours);
  lamp->setAutoFillBackground(ALamp != THandsFreeLamp::Off);
  lamp->setText(text);
  lamp->setVisible(ALamp != THandsFreeLamp::Off);
  lamp->setAccessibleName(text.isEmpty() ? QStringLiteral("Handsfree uit")
                                         : QStringLiteral("Handsfree: ") + text);
  QAccessibleEvent changed(lamp, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
  emit LampChanged(ALamp);
}

} // namespace praatkist::ui
