#include "ui/widgets/WaveformWidget.h"

#include <QPainter>

#include "ui/flow/ClockText.h"
#include "ui/widgets/WaveformView.h"

namespace praatkist::ui {

TWaveformWidget::TWaveformWidget(QWidget *AOwner) : QWidget(AOwner)
{
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAccessibleName(QStringLiteral("Golfvorm"));
  Describe();
}

void TWaveformWidget::Describe()
{
  if (FTakeName.isEmpty()) {
    setAccessibleDescription(QStringLiteral("Geen opname"));
    return;
  }
  const QString trim = FTrimActive
                           ? QStringLiteral("getrimd: %1 s begin / %2 s einde")
                                 .arg(TwoDecimals(FTrimStartSeconds), TwoDecimals(FTrimEndSeconds))
                           : QStringLiteral("niet getrimd");
  QString text = QStringLiteral("%1, lengte %2, %3").arg(FTakeName, FormatSeconds(FDuration), trim);
  if (FMarkers.size() == 1)
    text += QStringLiteral(", 1 markering");
  else if (!FMarkers.empty())
    text += QStringLiteral(", %1 markeringen").arg(FMarkers.size());
  if (!FSpokenFigures.isEmpty())
    text += QStringLiteral(", ") + FSpokenFigures;
  setAccessibleDescription(text);
}

void TWaveformWidget::SetSpokenFigures(const QString &AText)
{
  FSpokenFigures = AText;
  Describe();
}

void TWaveformWidget::ShowPicture(const TWavePicture &APicture)
{
  FDuration = APicture.Duration;
  FChannels = APicture.Channels == 1 ? 1 : 2;
  FPeaksLeft = APicture.PeaksLeft;
  FPeaksRight = APicture.PeaksRight;
  FTrimActive = APicture.TrimActive;
  FTrimStartSeconds = APicture.TrimStartSeconds;
  FTrimEndSeconds = APicture.TrimEndSeconds;
  FTakeName = APicture.TakeName;
  FMarkers = APicture.Markers;
  Describe();
  update();
}

void TWaveformWidget::SetMarkers(const std::vector<double> &AMarkers)
{
  FMarkers = AMarkers;
  Describe();
  update();
}

void TWaveformWidget::Clear()
{
  FMarkers.clear();
  FPeaksLeft.clear();
  FPeaksRight.clear();
  FTrimActive = false;
  FTrimStartSeconds = 0.0;
  FTrimEndSeconds = 0.0;
  FTakeName.clear();
  FSpokenFigures.clear();
  Describe();
  update();
}

void TWaveformWidget::ClearPeaks()
{
  FMarkers.clear();
  FPeaksLeft.clear();
  FPeaksRight.clear();
  FDuration = 0.0;
  FTakeName.clear();
  Describe();
  update();
}

void TWaveformWidget::ClearTrim()
{
  FTrimActive = false;
  Describe();
}

void TWaveformWidget::SetDuration(double ASeconds)
{
  FDuration = ASeconds;
}

void TWaveformWidget::SetCursor(double AFraction, bool AVisible)
{
  FPlaybackFraction = AFraction;
  FCursorVisible = AVisible;
  update();
}

void TWaveformWidget::paintEvent(QPaintEvent *)
{
  TWaveScene scene;
  scene.PeaksLeft = &FPeaksLeft;
  scene.PeaksRight = &FPeaksRight;
  scene.Duration = FDuration;
  scene.Channels = FChannels;
  scene.PlaybackFraction = FPlaybackFraction;
  scene.CursorVisible = FCursorVisible;
  scene.TrimActive = FTrimActive;
  scene.Markers = &FMarkers;
  QPainter painter(this);
  painter.drawImage(0, 0, RenderWaveform(width(), height(), scene, devicePixelRatioF()));
}

} // namespace praatkist::ui
