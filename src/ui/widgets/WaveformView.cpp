#include "ui/widgets/WaveformView.h"

#include "audio/TakeFormat.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

#include "ui/flow/ClockText.h"
#include "ui/style/Fonts.h"
#include "ui/widgets/PaintMath.h"
#include "ui/style/Palette.h"
#include "ui/widgets/PixelPaint.h"

namespace praatkist::ui {

namespace {

constexpr int kAxisHeight = 20; // the time axis above the lanes
constexpr double kFullLevel = kFullScale;
// Far more ticks than any take needs (over 60 days at one per minute); keeps a broken
// duration from stalling the paint.
constexpr std::int64_t kMaxTicks = 100000;

const QColor kBackground = palette::Colour(palette::WaveBackground);
const QColor kDivider = palette::Colour(palette::WaveDivider);
const QColor kLaneText = palette::Colour(palette::WaveLaneText);
const QColor kAxisText = palette::Colour(palette::WaveAxisText);
const QColor kAxisTick = palette::Colour(palette::WaveAxisTick);
const QColor kPeak = palette::Colour(palette::WavePeak);
const QColor kCursor = palette::Colour(palette::WaveCursor);
const QColor kTrim = palette::Colour(palette::TrimOrange);
const QColor kMarker = palette::Colour(palette::WaveMarker);

double EffectiveDuration(double duration)
{
  return duration > 0.0 && std::isfinite(duration) ? duration : 1.0;
}

// Peak lines of one lane. Lines in one column share pen and centre, and a longer one
// covers every shorter one of the same direction, so each column draws only its
// longest line downwards (a > 0) and upwards (a < 0): the same pixels as drawing all
// of them, for at most two lines per column instead of about three per column.
void PaintLane(TPixelPainter &p, int width, int centre, int laneHeight,
               const std::vector<std::int32_t> &peaks, const std::vector<std::int32_t> *other)
{
  const int n = static_cast<int>(peaks.size());
  std::vector<int> down(static_cast<std::size_t>(width), 0);
  std::vector<int> up(static_cast<std::size_t>(width), 0);
  for (int i = 0; i < n; ++i) {
    const int x = WavePointX(i, n, width);
    if (x < 0 || x >= width)
      continue;
    const std::int32_t peak = other && i < static_cast<int>(other->size()) ? (*other)[i] : peaks[i];
    const int a = WavePeakHalfHeight(peak, laneHeight);
    auto &d = down[static_cast<std::size_t>(x)];
    auto &u = up[static_cast<std::size_t>(x)];
    if (a > d)
      d = a;
    else if (a < u)
      u = a;
  }
  for (int x = 0; x < width; ++x) {
    if (const int a = down[static_cast<std::size_t>(x)])
      p.VLine(x, centre - a, centre + a, 1, kPeak);
    if (const int a = up[static_cast<std::size_t>(x)])
      p.VLine(x, centre - a, centre + a, 1, kPeak);
  }
}

} // namespace

TWaveLanes ComputeWaveLanes(int height, int channels)
{
  // Integer divisions truncate towards zero, as the layout's arithmetic does.
  TWaveLanes lanes;
  const int a = height - 22;
  lanes.Stereo = channels != 1;
  if (!lanes.Stereo) {
    lanes.LaneHeight = a;
    lanes.CentreLeft = a / 2 + kAxisHeight;
    return lanes;
  }
  lanes.LaneHeight = a / 2;
  lanes.CentreLeft = lanes.LaneHeight / 2 + kAxisHeight;
  lanes.CentreRight = lanes.LaneHeight + kAxisHeight + lanes.LaneHeight / 2;
  lanes.DividerY = lanes.LaneHeight + kAxisHeight;
  return lanes;
}

namespace {

std::vector<TWaveAxisTick> TicksEvery(double d, std::int64_t interval, int width)
{
  const double last = std::ceil(d);
  std::vector<TWaveAxisTick> ticks;
  for (std::int64_t k = 0; k < kMaxTicks; ++k) {
    const std::int64_t t = k * interval;
    if (static_cast<double>(t) > last)
      break;
    ticks.push_back({t, RoundToPixel(static_cast<double>(t) / d * (width - 1))});
  }
  return ticks;
}

// True when every label of these ticks, placed as the paint places it, keeps a few
// pixels from the next one.
bool LabelsApart(const std::vector<TWaveAxisTick> &ticks, int width)
{
  constexpr int kGap = 4;
  const QFontMetrics fm(WaveLabelFont());
  int previousEnd = -kGap;
  for (const TWaveAxisTick &tick : ticks) {
    const int labelWidth = fm.horizontalAdvance(FormatSeconds(static_cast<double>(tick.Seconds)));
    const int left = ClampLabelLeft(tick.X, labelWidth, width);
    if (left < previousEnd + kGap)
      return false;
    previousEnd = left + labelWidth;
  }
  return true;
}

} // namespace

int WaveAxisInterval(double duration, int width)
{
  const double d = EffectiveDuration(duration);
  if (d <= 60.0)
    return 10;
  if (d <= 300.0)
    return 30;
  if (d <= 1200.0)
    return 60;
  // Longer takes: the first of these steps whose labels stand apart, then whole days.
  static constexpr std::int64_t kSteps[] = {120,  300,  600,   900,   1800,
                                            3600, 7200, 10800, 21600, 43200};
  const auto fits = [&](std::int64_t interval) {
    // more ticks than half the pixels can never be labelled apart: skip the count
    return d / static_cast<double>(interval) <= width / 2.0 &&
           LabelsApart(TicksEvery(d, interval, width), width);
  };
  for (const std::int64_t interval : kSteps)
    if (fits(interval))
      return static_cast<int>(interval);
  std::int64_t interval = 86400;
  while (interval < (std::int64_t{1} << 30) && !fits(interval))
    interval *= 2;
  return static_cast<int>(interval);
}

std::vector<TWaveAxisTick> WaveAxisTicks(double duration, int width)
{
  const double d = EffectiveDuration(duration);
  return TicksEvery(d, WaveAxisInterval(d, width), width);
}

QFont WaveLabelFont()
{
  // 7 pt at 96 dpi is 9.33 px, which Windows rounds to a 9-pixel em; a pixel size
  // keeps the labels the same whatever the screen's dpi.
  return DesignFontPx(SegoeUI, 9);
}

int WavePeakHalfHeight(std::int32_t peak, int laneHeight)
{
  return RoundToPixel(peak / kFullLevel * (laneHeight / 2 - 2));
}

int WavePointX(int i, int n, int width)
{
  if (n <= 1)
    return 0;
  return RoundToPixel(static_cast<double>(i) / (n - 1) * (width - 1));
}

int WaveMarkerX(double seconds, double duration, int width)
{
  const double d = EffectiveDuration(duration);
  return RoundToPixel(std::clamp(seconds / d, 0.0, 1.0) * (width - 1));
}

QImage RenderWaveform(int width, int height, const TWaveScene &scene, qreal dpr)
{
  if (width <= 0 || height <= 0)
    return QImage();
  TPixelPainter p(width, height, dpr, kBackground);
  if (p.IsNull())
    return QImage();

  // Lanes and their labels.
  const TWaveLanes lanes = ComputeWaveLanes(height, scene.Channels);
  if (lanes.Stereo)
    p.HLine(0, width, lanes.DividerY, 1, kDivider);
  p.SetFont(WaveLabelFont());
  const QFontMetrics fm = p.FontMetrics();
  if (lanes.Stereo) {
    p.OpaqueText(4, lanes.CentreLeft - 8, QStringLiteral("L"), kLaneText, kBackground);
    p.OpaqueText(4, lanes.CentreRight - 8, QStringLiteral("R"), kLaneText, kBackground);
  } else {
    p.OpaqueText(4, lanes.CentreLeft - 8, QStringLiteral("MONO"), kLaneText, kBackground);
  }

  // Time axis: a tick from y 15 to the lanes, its clock label centred above it.
  for (const TWaveAxisTick &tick : WaveAxisTicks(scene.Duration, width)) {
    p.VLine(tick.X, 15, kAxisHeight, 1, kAxisTick);
    const QString label = FormatSeconds(static_cast<double>(tick.Seconds));
    p.OpaqueText(ClampLabelLeft(tick.X, fm.horizontalAdvance(label), width), 0, label, kAxisText,
                 kBackground);
  }

  // Peaks.
  if (scene.PeaksLeft && !scene.PeaksLeft->empty()) {
    PaintLane(p, width, lanes.CentreLeft, lanes.LaneHeight, *scene.PeaksLeft, nullptr);
    if (lanes.Stereo) {
      // Where the right list is shorter, its lane repeats the left values.
      static const std::vector<std::int32_t> none;
      PaintLane(p, width, lanes.CentreRight, lanes.LaneHeight, *scene.PeaksLeft,
                scene.PeaksRight ? scene.PeaksRight : &none);
    }
  }

  // Markers: a 1-pixel line over the lanes with the marker's number at its top right.
  if (scene.Markers != nullptr) {
    for (std::size_t i = 0; i < scene.Markers->size(); ++i) {
      const int x = WaveMarkerX((*scene.Markers)[i], scene.Duration, width);
      p.VLine(x, kAxisHeight, height, 1, kMarker);
      p.OpaqueText(x + 2, kAxisHeight + 1, QString::number(i + 1), kMarker, kBackground);
    }
  }

  // Playback cursor: a 2-pixel white line over the whole height at columns x - 1 and
  // x (PixelPaint.h), under a white triangle pointing down at x.
  if (scene.CursorVisible) {
    const int x = RoundToPixel(scene.PlaybackFraction * (width - 1));
    p.VLine(x, 0, height, 2, kCursor);
    QPen pen(kCursor, 2);
    pen.setJoinStyle(Qt::RoundJoin);
    p.Polygon(QPolygon({QPoint(x - 5, 0), QPoint(x + 5, 0), QPoint(x, 7)}), pen, kCursor);
  }

  // Trim marks, over everything else: 3-pixel orange lines one pixel in from either
  // edge (columns 1 .. 3 and W - 4 .. W - 2), from the lanes' top to H - 1 (left out),
  // each with a small flag pointing inwards.
  if (scene.TrimActive) {
    p.VLine(2, kAxisHeight, height - 1, 3, kTrim);
    p.VLine(width - 3, kAxisHeight, height - 1, 3, kTrim);
    QPen pen(kTrim, 3);
    pen.setJoinStyle(Qt::RoundJoin);
    p.Polygon(QPolygon({QPoint(2, 20), QPoint(12, 20), QPoint(2, 30)}), pen, kTrim);
    p.Polygon(QPolygon({QPoint(width - 3, 20), QPoint(width - 13, 20), QPoint(width - 3, 30)}), pen,
              kTrim);
  }
  return p.Picture();
}

} // namespace praatkist::ui
