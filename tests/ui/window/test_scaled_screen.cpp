// Pictures on scaled screens: the meter and the waveform composed at pixel ratios 2 and
// 1.5, and the themed button on a screen scaled by 2.

#include <QApplication>
#include <QtTest>

#include "ui/style/Fonts.h"
#include "ui/widgets/LevelMeter.h"
#include "ui/widgets/ModernButton.h"
#include "ui/widgets/WaveformView.h"

using namespace praatkist::ui;

namespace {

QRgb Rgb(const QImage &image, int x, int y)
{
  return image.pixel(x, y) & 0xFFFFFF;
}

// Aligned 2 x 2 blocks of device pixels in Box that hold more than one colour: a
// picture drawn at half the resolution and doubled has none.
int FineBlocks(const QImage &image, const QRect &box)
{
  int n = 0;
  for (int y = box.top(); y < box.bottom(); y += 2)
    for (int x = box.left(); x < box.right(); x += 2) {
      const QRgb c = Rgb(image, x, y);
      n += Rgb(image, x + 1, y) != c || Rgb(image, x, y + 1) != c || Rgb(image, x + 1, y + 1) != c;
    }
  return n;
}

// Device pixels of Two (pixel ratio 2) in Box (in pixels of the picture) that differ
// from the plain picture One doubled.
int Strays(const QImage &one, const QImage &two, const QRect &box)
{
  int n = 0;
  for (int y = 2 * box.top(); y < 2 * (box.bottom() + 1); ++y)
    for (int x = 2 * box.left(); x < 2 * (box.right() + 1); ++x)
      n += Rgb(two, x, y) != Rgb(one, x / 2, y / 2);
  return n;
}

// Runs of one colour in row Y, other than Gap, as (first column, width).
QList<QPair<int, int>> Runs(const QImage &image, int y, QRgb gap)
{
  QList<QPair<int, int>> runs;
  for (int x = 0; x < image.width(); ++x) {
    if (Rgb(image, x, y) == gap)
      continue;
    if (!runs.isEmpty() && runs.last().first + runs.last().second == x &&
        Rgb(image, runs.last().first, y) == Rgb(image, x, y))
      ++runs.last().second;
    else
      runs.append({x, 1});
  }
  return runs;
}

} // namespace

class TestScaledScreen : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  // At pixel ratio 2 bars, ticks, peaks and lines are the plain picture doubled; text
  // and the cursor's head are drawn at the device's resolution.
  void sharpAtPixelRatioTwo()
  {
    const QImage m1 = RenderLevelMeter(610, 50, 16384, 20000.0);
    const QImage m2 = RenderLevelMeter(610, 50, 16384, 20000.0, 2.0);
    QCOMPARE(m2.size(), QSize(1220, 100));
    QCOMPARE(m2.devicePixelRatio(), 2.0);
    QCOMPARE(Strays(m1, m2, QRect(0, 16, 610, 34)), 0);
    QVERIFY(FineBlocks(m2, QRect(0, 0, 1220, 32)) > 100);

    std::vector<std::int32_t> left(2000, 20000), right(2000, 12000);
    TWaveScene scene{&left, &right, 61.0, 2, 0.4, true, true}; // cursor at x = 244
    const QImage w1 = RenderWaveform(610, 180, scene);
    const QImage w2 = RenderWaveform(610, 180, scene, 2.0);
    QCOMPARE(w2.size(), QSize(1220, 360));
    // Right of the lane labels and the left flag, left of the right flag.
    QCOMPARE(Strays(w1, w2, QRect(20, 32, 574, 148)), 0);
    QVERIFY(FineBlocks(w2, QRect(2 * 234, 0, 40, 16)) > 4);
    QVERIFY(FineBlocks(w2, QRect(0, 0, 1220, 28)) > 50);
  }

  // At 1.5 the pictures are scaled evenly: every segment, tick and peak line of one
  // width has one width in device pixels.
  void evenAtPixelRatioOneAndAHalf()
  {
    const QImage meter = RenderLevelMeter(610, 50, 65535, 0.0, 1.5);
    QCOMPARE(meter.size(), QSize(915, 75));
    auto segments = Runs(meter, 52, 0x282B31);
    segments.removeIf([&](const auto &run) { return Rgb(meter, run.first, 52) == 0x1B1D21; });
    QCOMPARE(segments.size(), 36);
    for (int i = 0; i < 36; ++i)
      QCOMPARE(segments[i], qMakePair(segments[0].first + 24 * i, segments[0].second));
    const auto ticks = Runs(meter, 26, 0x1B1D21);
    QCOMPARE(ticks.size(), 9);
    for (const auto &tick : ticks)
      QCOMPARE(tick.second, 2);

    std::vector<std::int32_t> peaks(11, 30000);
    const QImage wave = RenderWaveform(610, 180, {&peaks, &peaks, 0.0, 2}, 1.5);
    const auto lines = Runs(wave, 60, 0x111111); // above the lane label
    QCOMPARE(lines.size(), 11);
    for (int i = 0; i < 10; ++i) // the last one keeps the one device pixel at the edge
      QCOMPARE(lines[i].second, 2);
  }

  void buttonIsSharpOnAScreenScaledByTwo()
  {
    QWidget window;
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(0x1B1D21));
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    window.resize(200, 80);
    auto *b = new TModernButton(&window);
    b->move(10, 10);
    b->SetCaption(QStringLiteral("Annuleren"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.devicePixelRatioF(), 2.0);
    const QImage img = window.grab(b->geometry()).toImage();
    QCOMPARE(img.size(), QSize(300, 76));
    // Margin and outline are two device pixels each, the fill inside.
    const QRgb accent = b->AccentColor().rgb() & 0xFFFFFF;
    QCOMPARE(Rgb(img, 1, 38), QRgb(0x1B1D21));
    QCOMPARE(Rgb(img, 2, 38), accent);
    QCOMPARE(Rgb(img, 16, 38), accent);
    QVERIFY(FineBlocks(img, QRect(20, 10, 260, 56)) > 100);
  }
};

int main(int argc, char *argv[])
{
  qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  TestScaledScreen test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_scaled_screen.moc"
