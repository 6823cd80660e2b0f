#pragma once
// The segmented level meter: its ballistics and its picture, apart from any window so
// that both can be tested alone. The meter widget (LevelMeterWidget) keeps the state and
// the tag and paints the picture this module composes.
//
// Levels are peak magnitudes of 16-bit audio: kFullScale is full scale (0 dB); playback
// levels reach 65535. The meter shows -60 dB to +6 dB over 36 segments.

#include <QFont>
#include <QImage>

#include <cstdint>

namespace praatkist::ui {

struct TVuBallistics {
  double DisplayLevel = 0.0;       // smoothed level the bar shows
  double PeakLevel = 0.0;          // held peak; the marker shows while above 0
  std::uint64_t PeakHoldUntil = 0; // tick count (ms) until which the peak is held
};

// One step of the ballistics for a new Level at tick count NowMs: 38 % of the way up,
// 8 % of the way down, the peak held 1200 ms after the level last reached it, then
// lowered by 6 % per step. Returns the new tag: DisplayLevel rounded, ties to even.
std::int64_t UpdateVuBallistics(TVuBallistics &state, int level, std::uint64_t nowMs);

// Segments lit for a level (0 .. 36): ceil(36 x (dB + 60) / 66), dB clamped to the scale.
int VuLitSegments(double level);

// Left x of a scale mark (dB) on a meter Width pixels wide.
int VuScaleMarkX(int markDb, int width);

// Left edge of the scale label for MarkDb, LabelWidth pixels wide, on a meter Width
// pixels wide: centred on its mark, pushed inwards where it would cross an edge.
int VuScaleLabelLeft(int markDb, int labelWidth, int width);

// The scale labels' font: "Segoe UI" 8 pt as the design's 96 dpi makes it (11 px).
QFont VuScaleFont();

// The whole meter, Width x Height, for the bar's Tag and the held PeakLevel. On a
// screen that shows Dpr device pixels per pixel the picture has Width x Dpr by
// Height x Dpr device pixels (and that pixel ratio), its geometry scaled and its text
// drawn at the device's resolution; at Dpr 1 it is the plain picture.
QImage RenderLevelMeter(int width, int height, std::int64_t tag, double peakLevel, qreal dpr = 1.0);

} // namespace praatkist::ui
