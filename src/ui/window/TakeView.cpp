#include "ui/window/TakeView.h"

#include <QFileInfo>
#include <QLabel>

#include "platform/FileOps.h"
#include "ui/flow/PathText.h"
#include "ui/flow/TakeFlow.h"
#include "ui/flow/ClockText.h"
#include "ui/widgets/TakeFiguresLine.h"
#include "ui/widgets/WaveformWidget.h"

namespace praatkist::ui {

TTakeView::TTakeView(TWaveformWidget *AWave, QLabel *AHeading, QLabel *ATrimNote,
                     TTakeFiguresLine *AFigures, TTakeFlow &AFlow, QObject *AParent)
    : QObject(AParent), FWave(AWave), FHeading(AHeading), FTrimNote(ATrimNote), FFigures(AFigures),
      FFlow(AFlow)
{
  FFigures->Clear();
  ShowTrimNote(false, 0.0, 0.0);
}

void TTakeView::ShowTrimNote(bool AActive, double AStart, double AEnd)
{
  FTrimNote->setText(AActive ? QStringLiteral("GETRIMD: %1 s begin / %2 s einde")
                                   .arg(TwoDecimals(AStart), TwoDecimals(AEnd))
                             : QString());
  FTrimNote->setVisible(AActive);
  if (FTrimmed != AActive) {
    FTrimmed = AActive;
    emit FactsChanged();
  }
}

void TTakeView::ShowWave()
{
  FWave->show();
  FHeading->show();
}

bool TTakeView::Await(const QString &APath)
{
  // Nothing of the take shown so far stays while this one loads: not its peaks, not
  // its trim, not a cursor over it.
  FWave->Clear();
  FFigures->Clear();
  FWave->SetDuration(0.0);
  FWave->SetCursor(0.0, false);
  ShowTrimNote(false, 0.0, 0.0);
  if (platform::FileExists(ToPath(APath)))
    return true;
  // a take that is gone shows as nothing, never as the take shown before
  ShowWave();
  return false;
}

bool TTakeView::Want(const QString &APath)
{
  const bool wasSelected = Selected();
  FWanted = APath;
  FShown.clear();
  if (Selected() != wasSelected)
    emit FactsChanged();
  if (!APath.isEmpty())
    return true;
  FWave->Clear();
  FFigures->Clear();
  ShowTrimNote(false, 0.0, 0.0);
  return false;
}

void TTakeView::Show(const QString &APath)
{
  if (!Want(APath)) {
    FFlow.CancelLoad();
    return;
  }
  if (!FFlow.HasEngine() || FFlow.State() == TTakeState::Recording) {
    // The trim state described the take shown so far.
    ClearTrim();
    return;
  }
  if (Await(APath))
    FFlow.Load(APath);
  else
    FFlow.CancelLoad();
}

void TTakeView::ShowEnded(const QString &APath, const TAnalysisResult &AResult)
{
  if (Want(APath) && Await(APath))
    ShowResult(AResult);
}

void TTakeView::ClearTrim()
{
  FWave->ClearTrim();
  FWave->update();
  ShowTrimNote(false, 0.0, 0.0);
}

void TTakeView::TakeStarted()
{
  FWave->ClearPeaks();
  FFigures->Clear();
  FWave->hide();
  FHeading->hide();
  FShown.clear();
}

void TTakeView::ShowResult(const TAnalysisResult &AResult)
{
  if (AResult.Path != FWanted || FWanted.isEmpty())
    return;
  FShown = AResult.Path;
  if (AResult.Ok) {
    FFigures->ShowFigures(AResult.Figures);
    TWavePicture picture;
    picture.TakeName = QFileInfo(AResult.Path).fileName();
    picture.PeaksLeft = AResult.PeaksLeft;
    picture.PeaksRight = AResult.PeaksRight;
    picture.Duration = AResult.Duration;
    picture.Channels = AResult.Channels;
    picture.TrimActive = AResult.TrimActive;
    picture.TrimStartSeconds = AResult.TrimStartSeconds;
    picture.TrimEndSeconds = AResult.TrimEndSeconds;
    picture.Markers = AResult.Markers;
    FWave->ShowPicture(picture);
    FWave->SetSpokenFigures(FFigures->Shown().Spoken);
    ShowTrimNote(AResult.TrimActive, AResult.TrimStartSeconds, AResult.TrimEndSeconds);
    ShowWave();
  } else {
    FFigures->Clear();
    FWave->Clear();
    ShowTrimNote(false, 0.0, 0.0);
    FWave->SetDuration(AResult.Duration);
    ShowWave();
    emit Failed(AResult.Error);
  }
}

void TTakeView::MoveCursor(double AFraction)
{
  // Only over the picture of the take that plays.
  if (!FShown.isEmpty() && FShown == FFlow.TakePath())
    FWave->SetCursor(AFraction, true);
}

void TTakeView::ShowMarkers(const QString &APath, const std::vector<double> &AMarkers)
{
  if (!FShown.isEmpty() && FShown == APath)
    FWave->SetMarkers(AMarkers);
}

void TTakeView::RestCursor()
{
  FWave->SetCursor(0.0, false);
}

} // namespace praatkist::ui
