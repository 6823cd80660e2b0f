#include "ui/window/StatusLine.h"

#include <QLabel>

#include "ui/flow/TakeWork.h"

namespace praatkist::ui {

void TStatusLine::Set(const QString &AText)
{
  if (FProgressShown)
    FBeneath = AText;
  else
    FLabel->setText(AText);
}

QString TStatusLine::Text() const
{
  return FProgressShown ? FBeneath : FLabel->text();
}

void TStatusLine::SetNow(const QString &AText)
{
  FProgressShown = false;
  FLabel->setText(AText);
}

void TStatusLine::Restore()
{
  if (FProgressShown) {
    FProgressShown = false;
    FLabel->setText(FBeneath);
  }
}

void TStatusLine::Progress(TWorkKind AKind, int APercent)
{
  if (AKind == TWorkKind::None)
    return;
  if (!FProgressShown) {
    FBeneath = FLabel->text();
    FProgressShown = true;
  }
  const QString what = AKind == TWorkKind::Trim ? QStringLiteral("Stiltes trimmen... ")
                                                : QStringLiteral("Golfvorm laden... ");
  FLabel->setText(what + QString::number(APercent) + QLatin1Char('%'));
}

void TStatusLine::RateNote(bool AMp3At96000)
{
  const QString note = QStringLiteral("MP3 wordt opgeslagen met 48000 Hz.");
  if (AMp3At96000 && Text() != note) {
    FBeforeRateNote = Text();
    Set(note);
  } else if (!AMp3At96000 && Text() == note) {
    Set(FBeforeRateNote);
  }
}

} // namespace praatkist::ui
