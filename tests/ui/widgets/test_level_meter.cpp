// The level meter: ballistics, level to segments, scale geometry, and the picture it
// composes, read pixel by pixel away from the scale's text.

#include <QFontMetrics>
#include <QPainter>
#include <QtTest>

#include <array>

#include "ui/style/Fonts.h"
#include "ui/widgets/LevelMeter.h"
#include "ui/widgets/PaintMath.h"

using namespace praatkist::ui;

namespace {

constexpr QRgb Background = 0x1B1D21;
constexpr QRgb Track = 0x282B31;
constexpr QRgb Unlit = 0x373A40;
constexpr QRgb Green = 0x6BC968;
constexpr QRgb Yellow = 0xE8C845;
constexpr QRgb Red = 0xE84545;
constexpr QRgb White = 0xFFFFFF;
constexpr QRgb TickLine = 0x565A60;
constexpr QRgb ScaleText = 0x9EA2A8;

constexpr int W = 610;
constexpr int H = 50;
constexpr int SegmentRow = 35; // a row through every segment

constexpr std::array<int, 9> Marks{-60, -48, -36, -24, -12, -6, 0, 3, 6};

QRgb Rgb(const QImage &image, int x, int y)
{
  return image.pixel(x, y) & 0xFFFFFF;
}

// Left column of segment I at the layout's size: 13 pixels wide, 16 apart.
int SegmentLeft(int i)
{
  return 18 + 16 * i;
}

// Colour of each segment, read left of its middle where no peak marker lies.
QList<QRgb> SegmentColours(const QImage &image)
{
  QList<QRgb> colours;
  for (int i = 0; i < 36; ++i)
    colours << Rgb(image, SegmentLeft(i) + 2, SegmentRow);
  return colours;
}

// A text on its opaque cell, drawn as the meter draws its labels.
QImage TextAlone(const QString &text, const QFont &font, QRgb ink, QRgb background)
{
  const QFontMetrics fm(font);
  QImage image(fm.horizontalAdvance(text), fm.height(), QImage::Format_RGB32);
  image.fill(background);
  QPainter p(&image);
  p.setFont(font);
  p.setPen(QColor::fromRgb(ink));
  p.drawText(QPoint(0, fm.ascent()), text);
  p.end();
  return image;
}

int CountWhite(const QImage &image)
{
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      n += Rgb(image, x, y) == White;
  return n;
}

} // namespace

class TestLevelMeter : public QObject {
  Q_OBJECT
private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  void LitSegmentsAcrossTheScale()
  {
    QCOMPARE(VuLitSegments(0), 0);
    QCOMPARE(VuLitSegments(-5), 0);
    QCOMPARE(VuLitSegments(1), 0);
    QCOMPARE(VuLitSegments(32), 0);     // -60.2 dB: below the scale
    QCOMPARE(VuLitSegments(33), 1);     // -59.9 dB
    QCOMPARE(VuLitSegments(16384), 30); // -6 dB
    QCOMPARE(VuLitSegments(32768), 33); // 0 dB
    QCOMPARE(VuLitSegments(65535), 36); // +6.02 dB, held at the top
    QCOMPARE(VuLitSegments(std::numeric_limits<double>::quiet_NaN()), 0);
    // Never fewer segments for a louder level.
    int previous = 0;
    for (int level = 0; level <= 65535; level += 7) {
      const int lit = VuLitSegments(level);
      QVERIFY(lit >= previous && lit <= 36);
      previous = lit;
    }
  }

  void SmoothingSettlesTowardsAConstantLevel()
  {
    TVuBallistics s;
    QList<qint64> tags;
    for (int k = 0; k < 4; ++k)
      tags << UpdateVuBallistics(s, 32768, 1000 + 75 * k);
    QCOMPARE(tags, (QList<qint64>{12452, 20172, 24958, 27926}));
    // Falling back is slower: 8 % of the distance per call.
    const double before = s.DisplayLevel;
    const qint64 tag = UpdateVuBallistics(s, 0, 2000);
    QVERIFY(qFuzzyCompare(s.DisplayLevel, before * 0.92));
    QCOMPARE(tag, RoundHalfEven(before * 0.92));
  }

  void RoundingSendsHalvesToEven()
  {
    QCOMPARE(RoundHalfEven(0.5), qint64(0));
    QCOMPARE(RoundHalfEven(1.5), qint64(2));
    QCOMPARE(RoundHalfEven(2.5), qint64(2));
    QCOMPARE(RoundHalfEven(-2.5), qint64(-2));
    QCOMPARE(RoundHalfEven(2.5000001), qint64(3));
    QCOMPARE(RoundHalfEven(std::numeric_limits<double>::quiet_NaN()), qint64(0));
    QVERIFY(RoundHalfEven(1e300) > 0);
  }

  void PeakHoldsThenFalls()
  {
    TVuBallistics s;
    UpdateVuBallistics(s, 20000, 1000);
    QCOMPARE(s.PeakLevel, 20000.0);
    QCOMPARE(s.PeakHoldUntil, quint64(2200));
    // Quieter calls leave it alone up to and including the hold's last millisecond.
    UpdateVuBallistics(s, 100, 1500);
    UpdateVuBallistics(s, 0, 2200);
    QCOMPARE(s.PeakLevel, 20000.0);
    QCOMPARE(s.PeakHoldUntil, quint64(2200));
    // Then 6 % down per call, whatever the time between calls.
    UpdateVuBallistics(s, 0, 2201);
    QVERIFY(qFuzzyCompare(s.PeakLevel, 18800.0));
    UpdateVuBallistics(s, 0, 9000);
    QVERIFY(qFuzzyCompare(s.PeakLevel, 20000.0 * 0.94 * 0.94));

    // Reaching the held peak exactly starts the hold again.
    TVuBallistics e;
    UpdateVuBallistics(e, 20000, 1000);
    UpdateVuBallistics(e, 20000, 2000);
    QCOMPARE(e.PeakHoldUntil, quint64(3200));
    UpdateVuBallistics(e, 0, 3200);
    QCOMPARE(e.PeakLevel, 20000.0);
    UpdateVuBallistics(e, 0, 3201);
    QVERIFY(e.PeakLevel < 20000.0);

    // Silence against a zero peak is equality too: the hold moves on with the clock.
    TVuBallistics z;
    UpdateVuBallistics(z, 0, 5000);
    QCOMPARE(z.PeakHoldUntil, quint64(6200));
    QCOMPARE(z.PeakLevel, 0.0);

    // A louder level in the middle of a hold takes over at once.
    UpdateVuBallistics(e, 30000, 3300);
    QCOMPARE(e.PeakLevel, 30000.0);
    QCOMPARE(e.PeakHoldUntil, quint64(4500));
  }

  void ScaleGeometryFollowsTheWidth()
  {
    const std::array<int, 9> at610{18, 122, 227, 331, 435, 488, 540, 566, 592};
    for (std::size_t k = 0; k < Marks.size(); ++k)
      QCOMPARE(VuScaleMarkX(Marks[k], W), at610[k]);
    // The ends stay 18 pixels in at any width.
    QCOMPARE(VuScaleMarkX(-60, 300), 18);
    QCOMPARE(VuScaleMarkX(6, 300), 282);
    QCOMPARE(VuScaleMarkX(0, 300), 18 + RoundHalfEven(60.0 / 66.0 * 264));
  }

  void LabelsStayInsideTheMeter()
  {
    const QFontMetrics fm(VuScaleFont());
    // At the layout's width every label is centred on its mark.
    for (const int mark : Marks) {
      const int w = fm.horizontalAdvance(QString::number(mark));
      QCOMPARE(VuScaleLabelLeft(mark, w, W), VuScaleMarkX(mark, W) - w / 2);
    }
    // A meter too narrow for its labels pushes them inwards, never out of the picture.
    const int narrow = 24;
    for (const int mark : Marks) {
      const int w = fm.horizontalAdvance(QString::number(mark));
      const int left = VuScaleLabelLeft(mark, w, narrow);
      QVERIFY2(left >= 0 && left + w <= narrow, qPrintable(QString::number(mark)));
    }
    const int w60 = fm.horizontalAdvance(QStringLiteral("-60"));
    QCOMPARE(VuScaleLabelLeft(-60, w60, narrow), narrow - w60); // would end at 18 + w / 2
    const int w6 = fm.horizontalAdvance(QStringLiteral("6"));
    QCOMPARE(VuScaleLabelLeft(6, w6, 8), 0); // mark at -10: pushed right to the edge
    // Wider than the picture: it ends at the right edge.
    QCOMPARE(ClampLabelLeft(5, 30, 20), -10);

    // And in the picture: on a 12-pixel meter the "6" mark lies at x = -6, so its label,
    // drawn last, would start at -6 - w / 2, out of sight; pushed inwards it starts at 0.
    const QImage image = RenderLevelMeter(12, H, 0, 0);
    const QImage label = TextAlone(QStringLiteral("6"), VuScaleFont(), ScaleText, Background);
    QVERIFY(label.width() <= 12);
    QCOMPARE(image.copy(label.rect()), label);
  }

  void SegmentsLightInTheirColours()
  {
    // All lit: green up to 26, yellow 27 to 32, red from 33 (counted from 1).
    const QList<QRgb> full = SegmentColours(RenderLevelMeter(W, H, 65535, 0));
    for (int i = 0; i < 36; ++i)
      QCOMPARE(full[i], i < 26 ? Green : (i < 32 ? Yellow : Red));

    // 0 dB: 33 lit, the last of them the first red one.
    const QImage zeroDb = RenderLevelMeter(W, H, 32768, 0);
    const QList<QRgb> c = SegmentColours(zeroDb);
    QCOMPARE(c[31], Yellow);
    QCOMPARE(c[32], Red);
    QCOMPARE(c[33], Unlit);
    QCOMPARE(c[35], Unlit);

    // Each segment fills exactly its 13 x 25 box; the 3-pixel gaps, the rows above
    // (20 .. 22) and the two below show the track.
    const int left = SegmentLeft(32);
    for (int y = 23; y < H - 2; ++y) {
      QCOMPARE(Rgb(zeroDb, left, y), Red);
      QCOMPARE(Rgb(zeroDb, left + 12, y), Red);
      QCOMPARE(Rgb(zeroDb, left + 13, y), Track);
      QCOMPARE(Rgb(zeroDb, left - 1, y), Track);
    }
    for (const int y : {20, 22, H - 2, H - 1})
      QCOMPARE(Rgb(zeroDb, left + 6, y), Track);

    // Blank, negative, and below the scale: nothing lit.
    for (const qint64 tag : {qint64(0), qint64(-100), qint64(32)}) {
      const QList<QRgb> none = SegmentColours(RenderLevelMeter(W, H, tag, 0));
      QCOMPARE(none.count(Unlit), 36);
    }
    const QList<QRgb> one = SegmentColours(RenderLevelMeter(W, H, 33, 0));
    QCOMPARE(one[0], Green);
    QCOMPARE(one.count(Unlit), 35);
    QCOMPARE(SegmentColours(RenderLevelMeter(W, H, 16384, 0)).count(Unlit), 6);
  }

  void BackgroundTrackAndTicks()
  {
    const QImage image = RenderLevelMeter(W, H, 0, 0);
    QCOMPARE(image.size(), QSize(W, H));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    // Margins beside the track, and below the labels.
    QCOMPARE(Rgb(image, 5, 30), Background);
    QCOMPARE(Rgb(image, 17, 30), Background);
    QCOMPARE(Rgb(image, W - 18, 30), Background);
    QCOMPARE(Rgb(image, W - 1, H - 1), Background);
    QCOMPARE(Rgb(image, 18, 20), Track);
    QCOMPARE(Rgb(image, W - 19, H - 1), Track);
    // Ticks from y 16; the track covers them from y 20 on, except the last one, which
    // lies just right of it and shows down to y 23.
    for (const int mark : Marks) {
      const int x = VuScaleMarkX(mark, W);
      for (int y = 16; y < 20; ++y)
        QCOMPARE(Rgb(image, x, y), TickLine);
      QCOMPARE(Rgb(image, x + 1, 17), Background);
      QCOMPARE(Rgb(image, x, 15) == TickLine, false);
      QCOMPARE(Rgb(image, x, 20) == TickLine, x == 592);
    }
    QCOMPARE(Rgb(image, 592, 23), TickLine);
    QCOMPARE(Rgb(image, 592, 24), Background);
  }

  void PeakMarkerOverItsSegment()
  {
    // -6 dB holds on segment 30 (index 29): white at its columns 5 and 6, from y 21
    // to H - 2, over the track and the segment alike.
    const QImage image = RenderLevelMeter(W, H, 0, 16384);
    const int x = SegmentLeft(29) + 6;
    for (int y = 21; y <= H - 2; ++y) {
      QCOMPARE(Rgb(image, x - 1, y), White);
      QCOMPARE(Rgb(image, x, y), White);
    }
    QCOMPARE(Rgb(image, x, 20), Track);
    QCOMPARE(Rgb(image, x, H - 1), Track);
    QCOMPARE(Rgb(image, x - 2, SegmentRow), Unlit);
    QCOMPARE(Rgb(image, x + 1, SegmentRow), Unlit);
    QCOMPARE(CountWhite(image), 2 * (H - 22));

    // A tiny peak sits on the first segment; the bar itself can be dark meanwhile.
    const QImage tiny = RenderLevelMeter(W, H, 0, 0.5);
    QCOMPARE(Rgb(tiny, SegmentLeft(0) + 6, SegmentRow), White);
    QCOMPARE(Rgb(tiny, SegmentLeft(0) + 5, SegmentRow), White);
    // Above the scale it stays on the last one, over a lit bar.
    const QImage loud = RenderLevelMeter(W, H, 65535, 65535);
    QCOMPARE(Rgb(loud, SegmentLeft(35) + 6, SegmentRow), White);
    QCOMPARE(Rgb(loud, SegmentLeft(35) + 7, SegmentRow), Red);
    // No peak, no marker.
    QCOMPARE(CountWhite(RenderLevelMeter(W, H, 65535, 0)), 0);
  }

  void NarrowerMeterKeepsItsShape()
  {
    // 300 wide: B = 264, segment width (264 - 105) div 36 = 4, pitch 7.
    const QImage image = RenderLevelMeter(300, 40, 65535, 32768);
    QCOMPARE(image.size(), QSize(300, 40));
    for (int i = 0; i < 36; ++i) {
      const int left = 18 + 7 * i;
      QVERIFY(Rgb(image, left, 30) != Track);
      QVERIFY(Rgb(image, left + 3, 30) != Track);
      QCOMPARE(Rgb(image, left + 4, 30), Track);
    }
    // 0 dB peak: segment 33 (index 32), middle column 18 + 32 x 7 + 2.
    QCOMPARE(Rgb(image, 18 + 32 * 7 + 2, 30), White);
    QCOMPARE(Rgb(image, 18 + 32 * 7 + 1, 30), White);
    QCOMPARE(Rgb(image, 18 + 32 * 7 + 3, 30), Red);
    QCOMPARE(Rgb(image, 18 + 35 * 7 + 3, 30), Red);
    // Degenerate sizes give no picture rather than a crash.
    QVERIFY(RenderLevelMeter(0, 50, 100, 100).isNull());
    QVERIFY(RenderLevelMeter(610, 0, 100, 100).isNull());
    QCOMPARE(RenderLevelMeter(10, 5, 65535, 65535).size(), QSize(10, 5));
  }
};

QTEST_MAIN(TestLevelMeter)
#include "test_level_meter.moc"
