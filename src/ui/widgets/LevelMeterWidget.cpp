#include "ui/widgets/LevelMeterWidget.h"

#include <QAccessible>
#include <QPainter>

namespace praatkist::ui {

TLevelMeterWidget::TLevelMeterWidget(QWidget *AOwner) : QWidget(AOwner)
{
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAccessibleName(QStringLiteral("Opnameniveau"));
}

void TLevelMeterWidget::Feed(int ALevel, std::uint64_t ANowMs)
{
  Tag = UpdateVuBallistics(FState, ALevel, ANowMs);
  update();
}

void TLevelMeterWidget::Reset()
{
  FState.DisplayLevel = 0.0;
  FState.PeakLevel = 0.0;
  Tag = 0;
  update();
}

void TLevelMeterWidget::SetClipped(bool AClipped)
{
  if (FClipped == AClipped)
    return;
  FClipped = AClipped;
  QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
  QAccessible::updateAccessibility(&changed);
}

void TLevelMeterWidget::BlankBar()
{
  Tag = 0;
  update();
}

void TLevelMeterWidget::paintEvent(QPaintEvent *)
{
  QPainter painter(this);
  painter.drawImage(
      0, 0, RenderLevelMeter(width(), height(), Tag, FState.PeakLevel, devicePixelRatioF()));
}

} // namespace praatkist::ui
