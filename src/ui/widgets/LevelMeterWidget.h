#pragma once
// TLevelMeterWidget: the main window's level meter "vu". It keeps the meter's
// ballistics and the bar's tag and paints the picture LevelMeter composes.

#include <QWidget>

#include <cstdint>

#include "ui/widgets/LevelMeter.h"

namespace praatkist::ui {

class TLevelMeterWidget : public QWidget {
  Q_OBJECT

public:
  explicit TLevelMeterWidget(QWidget *AOwner);

  // The level the bar paints (the smoothed level rounded); 0 blanks the bar.
  std::int64_t Tag = 0;

  // One step of the ballistics for ALevel at tick count ANowMs, then a repaint.
  void Feed(int ALevel, std::uint64_t ANowMs);
  // Bar and held peak back to nothing (the hold time stays as it was).
  void Reset();
  // Only the bar goes dark; the held peak and the smoothed level stay.
  void BlankBar();

  // The input reached full scale (said to screen readers with the level).
  bool Clipped() const { return FClipped; }
  void SetClipped(bool AClipped);

  double DisplayLevel() const { return FState.DisplayLevel; }
  double PeakLevel() const { return FState.PeakLevel; }

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  TVuBallistics FState;
  bool FClipped = false;
};

} // namespace praatkist::ui
