#include "ui/widgets/LevelMeter.h"

#include "audio/TakeFormat.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

#include "ui/style/Fonts.h"
#include "ui/widgets/PaintMath.h"
#include "ui/style/Palette.h"
#include "ui/widgets/PixelPaint.h"

namespace praatkist::ui {

namespace {

constexpr double kFullLevel = kFullScale; // 0 dB
constexpr double kFloorDb = -60.0;     // left end of the bar
constexpr double kRangeDb = 66.0;      // -60 dB .. +6 dB
constexpr int kSegments = 36;
constexpr int kMargin = 18; // bar left, and distance of bar right from W
constexpr int kBarTop = 20;
constexpr int kGap = 3;
constexpr std::uint64_t kHoldMs = 1200;
constexpr double kAttack = 0.38;
constexpr double kRelease = 0.08;
constexpr double kPeakFall = 0.94;

constexpr std::array<int, 9> kScaleMarks{-60, -48, -36, -24, -12, -6, 0, 3, 6};

const QColor kBackground = palette::Colour(palette::Background);
const QColor kTrack = palette::Colour(palette::FieldBackground);
const QColor kScaleText = palette::Colour(palette::MeterScaleText);
const QColor kScaleLine = palette::Colour(palette::MeterScaleLine);
const QColor kUnlit = palette::Colour(palette::MeterUnlit);
const QColor kGreen = palette::Colour(palette::MeterGreen);
const QColor kYellow = palette::Colour(palette::MeterYellow);
const QColor kRed = palette::Colour(palette::MeterRed);
const QColor kMarker = palette::Colour(palette::MeterPeakMarker);

// Segment I (0 .. 35) when lit: the top tenth or so red, the next band yellow.
const QColor &LitColor(int i)
{
  const double f = static_cast<double>(i + 1) / kSegments;
  if (f > 0.91)
    return kRed;
  if (f > 0.73)
    return kYellow;
  return kGreen;
}

} // namespace

std::int64_t UpdateVuBallistics(TVuBallistics &state, int level, std::uint64_t nowMs)
{
  const double x = level;
  // Fast rise, slow fall, both as a share of the remaining distance per call.
  if (x > state.DisplayLevel)
    state.DisplayLevel += (x - state.DisplayLevel) * kAttack;
  else
    state.DisplayLevel += (x - state.DisplayLevel) * kRelease;
  // Reaching the held peak (equality included) starts the hold afresh.
  if (x >= state.PeakLevel) {
    state.PeakLevel = x;
    state.PeakHoldUntil = nowMs + kHoldMs;
  } else if (nowMs > state.PeakHoldUntil) {
    state.PeakLevel *= kPeakFall;
  }
  return RoundHalfEven(state.DisplayLevel);
}

int VuLitSegments(double level)
{
  const double db = level > 0.0 ? 20.0 * std::log10(level / kFullLevel) : kFloorDb;
  const double fraction = std::clamp((db - kFloorDb) / kRangeDb, 0.0, 1.0);
  return static_cast<int>(std::ceil(fraction * kSegments));
}

int VuScaleMarkX(int markDb, int width)
{
  const int barWidth = width - 2 * kMargin;
  return kMargin + RoundToPixel((markDb - kFloorDb) / kRangeDb * barWidth);
}

int VuScaleLabelLeft(int markDb, int labelWidth, int width)
{
  return ClampLabelLeft(VuScaleMarkX(markDb, width), labelWidth, width);
}

QFont VuScaleFont()
{
  // 8 pt at 96 dpi is 10.67 px, which Windows rounds to an 11-pixel em. A pixel size
  // keeps the fixed-size meter's scale the same whatever the screen's dpi.
  return DesignFontPx(SegoeUI, 11);
}

QImage RenderLevelMeter(int width, int height, std::int64_t tag, double peakLevel, qreal dpr)
{
  if (width <= 0 || height <= 0)
    return QImage();
  TPixelPainter p(width, height, dpr, kBackground);
  if (p.IsNull())
    return QImage();

  const int barRight = width - kMargin;
  const int barWidth = width - 2 * kMargin;

  // Scale: label over each mark, then the mark's tick from y 16 to the bar top + 4.
  p.SetFont(VuScaleFont());
  const QFontMetrics fm = p.FontMetrics();
  for (const int mark : kScaleMarks) {
    const QString label = QString::number(mark);
    const int x = VuScaleMarkX(mark, width);
    p.OpaqueText(ClampLabelLeft(x, fm.horizontalAdvance(label), width), 0, label, kScaleText,
                 kBackground);
    p.VLine(x, 16, kBarTop + 4, 1, kScaleLine);
  }

  // Track: covers the ticks from the bar top on, except the last one just right of it.
  p.FillBox(kMargin, kBarTop, barRight, height, kTrack);

  // Segments. Widths truncate towards zero, as C++ integer division does.
  const int segWidth = (barWidth - (kSegments - 1) * kGap) / kSegments;
  const int pitch = segWidth + kGap;
  const int lit = VuLitSegments(static_cast<double>(tag));
  for (int i = 0; i < kSegments; ++i) {
    const int left = kMargin + i * pitch;
    p.FillBox(left, 23, left + segWidth, height - 2, i < lit ? LitColor(i) : kUnlit);
  }

  // Peak marker: a 2-pixel white line over the middle of the peak's segment, from
  // y 21 down to H - 1 (left out), at columns x - 1 and x (see PixelPaint.h). A peak
  // too small for the scale still sits on the first segment.
  if (peakLevel > 0.0) {
    const int k = std::clamp(VuLitSegments(peakLevel) - 1, 0, kSegments - 1);
    const int x = kMargin + k * pitch + segWidth / 2;
    p.VLine(x, 21, height - 1, 2, kMarker);
  }
  return p.Picture();
}

} // namespace praatkist::ui
