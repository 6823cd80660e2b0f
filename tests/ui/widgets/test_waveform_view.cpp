// The waveform view: lane geometry, time axis, peak heights, and the picture it
// composes (peaks, cursor and trim marks in their stacking order), read pixel by pixel
// away from the labels.

#include <QFontMetrics>
#include <QPainter>
#include <QtTest>

#include "ui/flow/ClockText.h"
#include "ui/style/Fonts.h"
#include "ui/widgets/PaintMath.h"
#include "ui/widgets/WaveformView.h"

using namespace praatkist::ui;

namespace {

constexpr QRgb Background = 0x111111;
constexpr QRgb Divider = 0x333333;
constexpr QRgb AxisTick = 0x444444;
constexpr QRgb AxisText = 0xB0B0B0;
constexpr QRgb Peak = 0x3BDF25;
constexpr QRgb White = 0xFFFFFF;
constexpr QRgb Orange = 0xFFA045;
constexpr QRgb Yellow = 0xFFDF45;

constexpr int W = 610;
constexpr int H = 180;

QRgb Rgb(const QImage &image, int x, int y)
{
  return image.pixel(x, y) & 0xFFFFFF;
}

// Rows of column X in colour C, top to bottom, as [first, last] runs.
QList<QPair<int, int>> Runs(const QImage &image, int x, QRgb c)
{
  QList<QPair<int, int>> runs;
  for (int y = 0; y < image.height(); ++y) {
    if (Rgb(image, x, y) != c)
      continue;
    if (!runs.isEmpty() && runs.last().second == y - 1)
      runs.last().second = y;
    else
      runs.append({y, y});
  }
  return runs;
}

// Columns of row Y in colour C.
QList<int> Columns(const QImage &image, int y, QRgb c)
{
  QList<int> xs;
  for (int x = 0; x < image.width(); ++x)
    if (Rgb(image, x, y) == c)
      xs << x;
  return xs;
}

// An axis tick at X: rows 15 to 19, the label's cell above it ends sooner.
bool IsTick(const QImage &image, int x)
{
  for (int y = 15; y < 20; ++y)
    if (Rgb(image, x, y) != AxisTick)
      return false;
  return Rgb(image, x, 14) != AxisTick && Rgb(image, x, 20) != AxisTick;
}

// A text on its opaque cell, drawn as the view draws its labels.
QImage TextAlone(const QString &text, QRgb ink)
{
  const QFont font = WaveLabelFont();
  const QFontMetrics fm(font);
  QImage image(fm.horizontalAdvance(text), fm.height(), QImage::Format_RGB32);
  image.fill(Background);
  QPainter p(&image);
  p.setFont(font);
  p.setPen(QColor::fromRgb(ink));
  p.drawText(QPoint(0, fm.ascent()), text);
  p.end();
  return image;
}

struct TScene {
  std::vector<std::int32_t> Left;
  std::vector<std::int32_t> Right;
  TWaveScene Scene;

  TScene(int points, std::int32_t left, std::int32_t right, int channels = 2)
      : Left(static_cast<std::size_t>(points), left), Right(static_cast<std::size_t>(points), right)
  {
    Scene.PeaksLeft = &Left;
    Scene.PeaksRight = &Right;
    Scene.Channels = channels;
    Scene.Duration = 0;
  }
  QImage Render(int width = W, int height = H) const
  {
    return RenderWaveform(width, height, Scene);
  }
};

} // namespace

class TestWaveformView : public QObject {
  Q_OBJECT
private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  void LanesForTheLayoutHeight()
  {
    const TWaveLanes mono = ComputeWaveLanes(180, 1);
    QVERIFY(!mono.Stereo);
    QCOMPARE(mono.LaneHeight, 158);
    QCOMPARE(mono.CentreLeft, 99);
    const TWaveLanes stereo = ComputeWaveLanes(180, 2);
    QVERIFY(stereo.Stereo);
    QCOMPARE(stereo.LaneHeight, 79);
    QCOMPARE(stereo.CentreLeft, 59);
    QCOMPARE(stereo.CentreRight, 138);
    QCOMPARE(stereo.DividerY, 99);
    // Anything but one channel is drawn as stereo.
    QVERIFY(ComputeWaveLanes(180, 6).Stereo);
    QVERIFY(ComputeWaveLanes(180, 0).Stereo);
    // An odd lane height: 181 - 22 = 159, lanes of 79 and the rest unused.
    QCOMPARE(ComputeWaveLanes(181, 2).CentreRight, 138);
    QCOMPARE(ComputeWaveLanes(181, 1).CentreLeft, 99);
  }

  void AxisIntervalsAndTicks()
  {
    QCOMPARE(WaveAxisInterval(60), 10);
    QCOMPARE(WaveAxisInterval(61), 30);
    QCOMPARE(WaveAxisInterval(300), 30);
    QCOMPARE(WaveAxisInterval(301), 60);
    QCOMPARE(WaveAxisInterval(0), 10);
    QCOMPARE(WaveAxisInterval(-4), 10);

    const auto seconds = [](const std::vector<TWaveAxisTick> &ticks) {
      QList<qint64> s;
      for (const auto &t : ticks)
        s << t.Seconds;
      return s;
    };
    QCOMPARE(seconds(WaveAxisTicks(61, W)), (QList<qint64>{0, 30, 60}));
    QCOMPARE(seconds(WaveAxisTicks(300, W)).size(), 11);
    QCOMPARE(seconds(WaveAxisTicks(301, W)), (QList<qint64>{0, 60, 120, 180, 240, 300}));
    QCOMPARE(seconds(WaveAxisTicks(3600, W)).last(), qint64(3600));

    // No duration: one tick, at the left edge.
    const auto none = WaveAxisTicks(0, W);
    QCOMPARE(none.size(), std::size_t(1));
    QCOMPARE(none[0].X, 0);
    QCOMPARE(WaveAxisTicks(std::numeric_limits<double>::quiet_NaN(), W).size(), std::size_t(1));

    // 19.5 s: ceil gives 20, whose tick falls beyond the right edge.
    const auto late = WaveAxisTicks(19.5, W);
    QCOMPARE(seconds(late), (QList<qint64>{0, 10, 20}));
    QCOMPARE(late[1].X, 312); // 10 / 19.5 x 609 = 312.3
    QCOMPARE(late[2].X, 625); // 624.6
    // Its label is pushed back to end at the right edge.
    const int w = QFontMetrics(WaveLabelFont()).horizontalAdvance(QStringLiteral("00:20"));
    QCOMPARE(ClampLabelLeft(late[2].X, w, W), W - w);
    // Exactly 60 s: the last tick lands on the last column.
    QCOMPARE(WaveAxisTicks(60, W).back().X, W - 1);
  }

  // Long takes: up to 20 minutes the minute stays; beyond, labels never touch.
  void LongTakesKeepTheirLabelsApart_data()
  {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("interval");
    QTest::newRow("20 min") << 1200.0 << 60;
    QTest::newRow("30 min") << 1800.0 << -1;
    QTest::newRow("1 h") << 3600.0 << -1;
    QTest::newRow("10 h") << 36000.0 << -1;
    QTest::newRow("100 days") << 8640000.0 << -1;
  }

  void LongTakesKeepTheirLabelsApart()
  {
    QFETCH(double, seconds);
    QFETCH(int, interval);
    const int every = WaveAxisInterval(seconds, W);
    if (interval > 0) {
      QCOMPARE(every, interval);
      return;
    }
    QVERIFY(every > 60);
    const auto ticks = WaveAxisTicks(seconds, W);
    QVERIFY2(ticks.size() >= 3, "the axis still marks the take");
    const QFontMetrics fm(WaveLabelFont());
    int end = -1;
    for (const auto &tick : ticks) {
      const int width = fm.horizontalAdvance(FormatSeconds(static_cast<double>(tick.Seconds)));
      const int left = ClampLabelLeft(tick.X, width, W);
      QVERIFY2(left > end, qPrintable(QStringLiteral("label at %1 s").arg(tick.Seconds)));
      end = left + width;
    }
    // the next shorter step would have let two labels touch
    const QList<int> steps{60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    QVERIFY(steps.contains(every) || every % 86400 == 0);
  }

  void AxisInThePicture()
  {
    TScene s(0, 0, 0);
    s.Scene.Duration = 19.5;
    const QImage image = s.Render();
    // Ticks from y 15 to 19 at 0 and 312; none for 20 s inside the picture.
    for (const int x : {0, 312})
      QVERIFY(IsTick(image, x));
    for (int x = 313; x < W; ++x)
      QVERIFY(Rgb(image, x, 17) != AxisTick);
    // The clamped "00:20" ends at the right edge, drawn there in full.
    const QImage label = TextAlone(QStringLiteral("00:20"), AxisText);
    QCOMPARE(image.copy(QRect(QPoint(W - label.width(), 0), label.size())), label);

    // A take of an hour and more is labelled with hours.
    s.Scene.Duration = 3600;
    const QImage hours = s.Render();
    const QImage hourLabel = TextAlone(FormatSeconds(3600), AxisText);
    QCOMPARE(FormatSeconds(3660), QStringLiteral("01:01:00"));
    QCOMPARE(hours.copy(QRect(QPoint(W - hourLabel.width(), 0), hourLabel.size())), hourLabel);
  }

  void PeakGeometry()
  {
    QCOMPARE(WavePeakHalfHeight(32768, 79), 37);
    QCOMPARE(WavePeakHalfHeight(32768, 158), 77);
    QCOMPARE(WavePeakHalfHeight(0, 158), 0);
    QCOMPARE(WavePeakHalfHeight(16384, 79), 18);  // 18.5 goes to the even 18
    QCOMPARE(WavePeakHalfHeight(16384, 158), 38); // 38.5 to 38

    QCOMPARE(WavePointX(0, 1, W), 0);
    QCOMPARE(WavePointX(0, 0, W), 0);
    QCOMPARE(WavePointX(0, 2000, W), 0);
    QCOMPARE(WavePointX(1999, 2000, W), W - 1);
    QCOMPARE(WavePointX(1, 3, W), 304);   // 304.5 to the even 304
    QCOMPARE(WavePointX(1, 3, 612), 306); // 305.5 to 306
  }

  void FullScalePeaksReachTheirExtent()
  {
    // Stereo: 37 pixels each way from the centres 59 and 138; the end point is left out,
    // so 37 rows above the centre, the centre, and 36 below.
    TScene stereo(2000, 32768, 32768);
    const QImage s = stereo.Render();
    for (const int x : {0, 100, W - 1})
      QCOMPARE(Runs(s, x, Peak), (QList<QPair<int, int>>{{22, 95}, {101, 174}}));
    // The divider is untouched between the lanes, and the background around.
    QCOMPARE(Columns(s, 99, Divider).size(), W);
    QCOMPARE(Rgb(s, 300, 98), Background);
    QCOMPARE(Rgb(s, 300, 21), Background);
    QCOMPARE(Rgb(s, 300, 175), Background);

    // Mono: 77 pixels from the centre 99, no divider, the right list ignored.
    TScene mono(2000, 32768, 0, 1);
    const QImage m = mono.Render();
    for (const int x : {0, 100, W - 1})
      QCOMPARE(Runs(m, x, Peak), (QList<QPair<int, int>>{{22, 175}}));
    QCOMPARE(Columns(m, 99, Divider).size(), 0);
  }

  void PeaksFollowTheirLists()
  {
    // One point sits at x = 0 alone.
    TScene one(1, 32768, 16384);
    const QImage image = one.Render();
    QCOMPARE(Runs(image, 0, Peak), (QList<QPair<int, int>>{{22, 95}, {120, 155}}));
    for (int x = 1; x < W; ++x)
      QVERIFY2(Runs(image, x, Peak).isEmpty(), qPrintable(QString::number(x)));

    // Three points at 0, 304 and 609; a zero peak draws nothing.
    TScene three(3, 0, 0);
    three.Left = {32768, 0, 16384};
    three.Right = {0, 16384}; // shorter: the last point repeats the left value
    const QImage t = three.Render();
    QCOMPARE(Runs(t, 0, Peak), (QList<QPair<int, int>>{{22, 95}}));
    QCOMPARE(Runs(t, 304, Peak), (QList<QPair<int, int>>{{120, 155}}));
    QCOMPARE(Runs(t, W - 1, Peak), (QList<QPair<int, int>>{{41, 76}, {120, 155}}));

    // Several points in one column: the longest shows.
    TScene dense(2000, 1000, 1000);
    dense.Left[4] = 32768; // 4 x 609 / 1999 = 1.2: column 1
    const QImage d = dense.Render();
    QCOMPARE(Runs(d, 1, Peak).first(), (QPair<int, int>{22, 95}));
    QCOMPARE(Runs(d, 2, Peak).first(), (QPair<int, int>{58, 59})); // 1000 -> 1 pixel each way

    // No lists at all: an empty view.
    TWaveScene empty;
    const QImage e = RenderWaveform(W, H, empty);
    QCOMPARE(Columns(e, 60, Peak).size(), 0);
    QCOMPARE(Rgb(e, 300, 60), Background);
  }

  void CursorWithItsTriangle()
  {
    TScene s(2000, 32768, 32768);
    s.Scene.CursorVisible = true;
    s.Scene.PlaybackFraction = 0.5; // 304.5 -> 304
    const QImage image = s.Render();
    // The line: columns 303 and 304 over the whole height, over the peaks.
    for (const int x : {303, 304})
      QCOMPARE(Runs(image, x, White), (QList<QPair<int, int>>{{0, H - 1}}));
    QCOMPARE(Rgb(image, 302, 60), Peak);
    QCOMPARE(Rgb(image, 305, 60), Peak);
    QCOMPARE(Rgb(image, 302, 99), Divider);
    // The triangle: a white head from 299 to 309 at the top narrowing to the line.
    const QList<int> top = Columns(image, 1, White);
    QVERIFY(top.first() >= 297 && top.first() <= 299);
    QVERIFY(top.last() >= 308 && top.last() <= 310);
    QCOMPARE(Columns(image, 5, White).size() < top.size(), true);
    for (int y = 10; y < 20; ++y)
      QCOMPARE(Columns(image, y, White), (QList<int>{303, 304}));

    // At either end the line keeps to the picture.
    s.Scene.PlaybackFraction = 0;
    QCOMPARE(Columns(s.Render(), 50, White), QList<int>{0});
    s.Scene.PlaybackFraction = 1;
    QCOMPARE(Columns(s.Render(), 50, White), (QList<int>{W - 2, W - 1}));
    // Hidden: no white anywhere.
    s.Scene.CursorVisible = false;
    const QImage hidden = s.Render();
    for (int y = 0; y < H; y += 7)
      QCOMPARE(Columns(hidden, y, White).size(), 0);
  }

  void TrimMarksOnTop()
  {
    TScene s(2000, 32768, 32768);
    s.Scene.TrimActive = true;
    s.Scene.CursorVisible = true;
    s.Scene.PlaybackFraction = 2.0 / (W - 1); // cursor at x = 2: columns 1 and 2
    const QImage image = s.Render();
    // Lines 3 pixels wide one pixel in from each edge, from y 20 to H - 2.
    for (const int x : {1, 2, 3, W - 4, W - 3, W - 2}) {
      QCOMPARE(Rgb(image, x, H - 2), Orange);
      QVERIFY(Rgb(image, x, H - 1) != Orange);
    }
    for (const int x : {1, 2, 3, W - 4, W - 3, W - 2})
      QCOMPARE(Rgb(image, x, 80), Orange);
    QCOMPARE(Rgb(image, 0, 80), Peak);
    QCOMPARE(Rgb(image, W - 1, 80), Peak);
    QCOMPARE(Rgb(image, 4, 80), Peak);
    QCOMPARE(Rgb(image, W - 5, 80), Peak);
    QCOMPARE(Rgb(image, 2, H - 1), White); // the cursor below the mark's end
    // Over the cursor from y 20 on; the cursor shows above.
    QCOMPARE(Rgb(image, 2, 10), White);
    QCOMPARE(Rgb(image, 1, 50), Orange);
    // The flags point inwards at the top of each mark.
    QCOMPARE(Rgb(image, 7, 22), Orange);
    QCOMPARE(Rgb(image, W - 8, 22), Orange);
    QCOMPARE(Rgb(image, 4, 28), Orange);
    QCOMPARE(Rgb(image, 11, 28), Peak); // beyond the flag's slanted edge
    QCOMPARE(Rgb(image, W - 12, 28), Peak);

    // Without a trim record there are no marks, whatever else is shown.
    s.Scene.TrimActive = false;
    const QImage plain = s.Render();
    for (int y = 0; y < H; ++y)
      QCOMPARE(Columns(plain, y, Orange).size(), 0);
    QCOMPARE(Rgb(plain, 2, 50), White);
    QCOMPARE(Rgb(plain, 3, 50), Peak);
  }

  void MarkersWithTheirNumbers()
  {
    TScene s(2000, 32768, 32768);
    s.Scene.Duration = 10.0;
    const std::vector<double> markers{2.5, 7.5};
    s.Scene.Markers = &markers;
    const QImage image = s.Render();
    // 2.5 of 10 s: x = 0.25 * 609 = 152.25 -> 152; 7.5 s: 456.75 -> 457
    for (const int x : {152, 457}) {
      QCOMPARE(Rgb(image, x, H - 1), Yellow);
      QCOMPARE(Rgb(image, x, 60), Yellow);     // over the peaks
      QCOMPARE(Rgb(image, x, 10), Background); // not over the axis
      QCOMPARE(Rgb(image, x - 1, 60), Peak);
      QCOMPARE(Rgb(image, x + 1, 60) != Yellow || Rgb(image, x + 1, 25) == Yellow, true);
    }
    // the number at the top right of each line: yellowish text pixels beside it
    for (const int x : {152, 457}) {
      int text = 0;
      for (int y = 21; y < 34; ++y)
        for (int dx = 2; dx < 10; ++dx) {
          const QColor c = QColor::fromRgb(Rgb(image, x + dx, y));
          text += c.red() > 0x60 && c.green() > 0x50 && c.blue() < 0x40;
        }
      QVERIFY2(text > 3, qPrintable(QString::number(text)));
    }
    s.Scene.Markers = nullptr;
    for (int y = 0; y < H; y += 5)
      QCOMPARE(Columns(s.Render(), y, Yellow).size(), 0);
  }

  void BackgroundAndSize()
  {
    TScene s(0, 0, 0);
    const QImage image = s.Render();
    QCOMPARE(image.size(), QSize(W, H));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(Rgb(image, 300, 60), Background);
    QCOMPARE(Rgb(image, W - 1, H - 1), Background);
    QCOMPARE(Rgb(image, 300, 10), Background); // no axis label there at 0 s
    QVERIFY(IsTick(image, 0));
    // A narrower, shorter view keeps its lanes proportional.
    const QImage small = TScene(50, 32768, 32768).Render(200, 100);
    const TWaveLanes lanes = ComputeWaveLanes(100, 2);
    const int a = WavePeakHalfHeight(32768, lanes.LaneHeight);
    QCOMPARE(Runs(small, 199, Peak),
             (QList<QPair<int, int>>{{lanes.CentreLeft - a, lanes.CentreLeft + a - 1},
                                     {lanes.CentreRight - a, lanes.CentreRight + a - 1}}));
    QVERIFY(RenderWaveform(0, H, TWaveScene{}).isNull());
    QCOMPARE(RenderWaveform(3, 2, s.Scene).size(), QSize(3, 2));
  }
};

QTEST_MAIN(TestWaveformView)
#include "test_waveform_view.moc"
