#include "ui/window/TakeView.h"

#include <QLabel>

#include "platform/FileOps.h"
#include "ui/style/ClockText.h"
#include "ui/flow/PathText.h"
#include "ui/widgets/TakeFiguresLine.h"
#include "ui/flow/TakeFlow.h"
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
  FFlow.SetTrimmed(AActive);
}

void TTakeView::ShowWave()
{
  FWave->show();
  FHeading->show();
}

void TTakeView::Show(const QString &APath, bool ALoad)
{
  FWanted = APath;
  FShown.clear();
  FFlow.SetSelected(!APath.isEmpty());
  if (APath.isEmpty()) {
    FWave->Clear();
    FFigures->Clear();
    ShowTrimNote(false, 0.0, 0.0);
    FFlow.CancelLoad();
    return;
  }
  if (!FFlow.HasEngine() || FFlow.State() == TTakeState::Recording) {
    // The trim state described the take shown so far.
    ClearTrim();
    return;
  }
  // Nothing of the take shown so far stays while this one loads: not its peaks, not
  // its trim, not a cursor over it.
  FWave->Clear();
  FFigures->Clear();
  FWave->SetDuration(0.0);
  FWave->SetCursor(0.0, false);
  ShowTrimNote(false, 0.0, 0.0);
  if (!platform::FileExists(ToPath(APath))) {
    // a take that is gone shows as nothing, never as the take shown before
    FFlow.CancelLoad();
    ShowWave();
    return;
  }
  if (ALoad)
    FFlow.Load(APath);
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
  FFigures->ShowResult(AResult);
  if (AResult.Ok) {
    FWave->ShowAnalysis(AResult);
    FWave->SetSpokenFigures(FFigures->Shown().Spoken);
    ShowTrimNote(FWave->TrimActive(), FWave->TrimStartSeconds(), FWave->TrimEndSeconds());
    ShowWave();
  } else {
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

void TTakeView::RestCursor()
{
  FWave->SetCursor(0.0, false);
}

} // namespace praatkist::ui
