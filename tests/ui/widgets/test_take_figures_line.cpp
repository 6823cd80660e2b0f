// The line of a take's figures: its text with the user's decimal separator, each
// figure's colour against the spoken-word limits, clipped samples in red, the verdict
// in words for screen readers, and an empty line when there is nothing to show.

#include <QtTest>

#include "ui/style/Palette.h"
#include "ui/widgets/TakeFiguresLine.h"
#include "ui/widgets/TakeFiguresText.h"

using namespace praatkist;
using namespace praatkist::ui;

namespace {

audio::TTakeFigures Figures(double ALufs, double ARms, double APeak, double ANoise,
                            std::uint64_t AClipped = 0)
{
  audio::TTakeFigures f;
  f.Measured = true;
  f.LoudnessLufs = ALufs;
  f.RmsDb = ARms;
  f.PeakDb = APeak;
  f.NoiseFloorDb = ANoise;
  f.ClippedSamples = AClipped;
  return f;
}

QList<QRgb> Colours(const TFiguresText &AText)
{
  QList<QRgb> c;
  for (const TFigurePart &p : AText.Parts)
    c << p.Colour;
  return c;
}

constexpr QRgb Ok = palette::WindowText;
constexpr QRgb Off = palette::TrimOrange;

} // namespace

class TestTakeFiguresLine : public QObject {
  Q_OBJECT

private slots:
  void textColoursAndVerdict_data();
  void textColoursAndVerdict();
  void lineShowsResultsAndEmptiesWithoutOne();
};

void TestTakeFiguresLine::textColoursAndVerdict_data()
{
  QTest::addColumn<audio::TTakeFigures>("figures");
  QTest::addColumn<QChar>("separator");
  QTest::addColumn<QString>("line");
  QTest::addColumn<QList<QRgb>>("colours");
  QTest::addColumn<QString>("verdict");

  // judged as shown: −23,04 is −23,0 and meets, −3,04 is −3,0, −59,6 is −60
  QTest::newRow("meets") << Figures(-19.43, -23.04, -3.04, -59.6) << QChar(',')
                         << QString("−19,4 LUFS · RMS −23,0 dB · piek −3,0 dB · ruisvloer −60 dB")
                         << QList<QRgb>{Ok, Ok, Ok, Ok}
                         << QString("voldoet aan de richtlijnen voor gesproken woord");
  QTest::newRow("too quiet, noisy") << Figures(-30.0, -23.06, -12.5, -59.4) << QChar('.')
                                    << QString("−30.0 LUFS · RMS −23.1 dB · piek −12.5 dB · "
                                               "ruisvloer −59 dB")
                                    << QList<QRgb>{Ok, Off, Ok, Off}
                                    << QString("te zacht, ruis te hoog");
  QTest::newRow("too loud, clipped")
      << Figures(-11.2, -17.94, 0.0, -72.0, 1234) << QChar(',')
      << QString("−11,2 LUFS · RMS −17,9 dB · piek 0,0 dB · ruisvloer −72 dB · "
                 "1234 samples overstuurd")
      << QList<QRgb>{Ok, Off, Off, Ok, palette::RedAccent}
      << QString("te luid, piek te hoog, oversturing");
  const double inf = std::numeric_limits<double>::infinity();
  QTest::newRow("silence") << Figures(-inf, -inf, -inf, -inf) << QChar(',')
                           << QString("−∞ LUFS · RMS −∞ dB · piek −∞ dB · ruisvloer −∞ dB")
                           << QList<QRgb>{Ok, Off, Ok, Ok} << QString("te zacht");
  QTest::newRow("one clipped") << Figures(-19.0, -20.0, -0.04, -65.0, 1) << QChar(',')
                               << QString("−19,0 LUFS · RMS −20,0 dB · piek 0,0 dB · "
                                          "ruisvloer −65 dB · 1 sample overstuurd")
                               << QList<QRgb>{Ok, Ok, Off, Ok, palette::RedAccent}
                               << QString("piek te hoog, oversturing");
}

void TestTakeFiguresLine::textColoursAndVerdict()
{
  QFETCH(audio::TTakeFigures, figures);
  QFETCH(QChar, separator);
  QFETCH(QString, line);
  QFETCH(QList<QRgb>, colours);
  QFETCH(QString, verdict);

  const TFiguresText t = DescribeFigures(figures, separator);
  QCOMPARE(t.Line, line);
  QCOMPARE(Colours(t), colours);
  QCOMPARE(t.Meets, verdict.startsWith("voldoet"));
  QCOMPARE(t.Spoken, "Luidheid " + QString(line).replace(" · ", ", ") + ": " + verdict + ".");
}

void TestTakeFiguresLine::lineShowsResultsAndEmptiesWithoutOne()
{
  TTakeFiguresLine w;
  QVERIFY(w.text().isEmpty());

  w.ShowFigures(Figures(-19.4, -20.1, -2.3, -63.0));
  const TFiguresText t = w.Shown();
  QVERIFY(t.Line.endsWith("ruisvloer −63 dB"));
  QVERIFY(w.text().contains("<span style=\"color:#ffa045\">piek"));
  QVERIFY(w.text().contains("<span style=\"color:#8be5e8\">RMS"));
  QCOMPARE(w.accessibleDescription(), t.Spoken);
  QVERIFY(t.Spoken.endsWith(": piek te hoog."));

  // a failed analysis, and a take loading or none shown: nothing
  w.Clear();
  QVERIFY(w.text().isEmpty());
  QVERIFY(w.accessibleDescription().isEmpty());
  w.ShowFigures(Figures(-19.4, -20.1, -2.3, -63.0));
  QVERIFY(!w.text().isEmpty());
  w.Clear();
  QVERIFY(w.text().isEmpty());
  // an analysis without figures shows none
  w.ShowFigures(audio::TTakeFigures{});
  QVERIFY(w.text().isEmpty());
}

QTEST_MAIN(TestTakeFiguresLine)
#include "test_take_figures_line.moc"
