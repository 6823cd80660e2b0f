// The overview's table without a window: which cells a remark colours, the session's
// pace from all rows, numbers sorted as numbers, what a screen reader hears of a row,
// and rows that stay rows when only their figures or choices change.

#include <QSignalSpy>
#include <QtTest>

#include "ui/flow/OverviewModel.h"

using namespace praatkist;
using namespace praatkist::ui;
using M = TOverviewModel;

namespace {

// A clear take: 2 s of speech inside 3 s, at the spoken-word level, a quiet room.
TOverviewTake Take(const std::string &AName, double ASpeech = 2.0)
{
  TOverviewTake t;
  t.Stored.Take = AName;
  t.Stored.Seconds = 3.0;
  audio::TTakeFigures &f = t.Stored.Figures;
  f.Measured = true;
  f.LoudnessLufs = -19.0;
  f.RmsDb = -20.0;
  f.PeakDb = -4.0;
  f.NoiseFloorDb = -70.0;
  f.HasSpeech = true;
  f.SpeechStartSeconds = 0.5;
  f.SpeechEndSeconds = 0.5 + ASpeech;
  f.SpeechRmsDb = -18.0;
  return t;
}

// Texts of 30 spoken characters, one take each.
std::vector<TOverviewRow> Rows(int ACount)
{
  std::vector<TOverviewRow> rows;
  for (int i = 0; i < ACount; ++i) {
    const QString take = QStringLiteral("Koor-%1.wav").arg(i + 1);
    rows.push_back({QString::number(i + 1), QStringLiteral("Dertig letters in deze zin, echt waar"),
                    30, {take}, take});
  }
  return rows;
}

} // namespace

class TestOverviewModel : public QObject {
  Q_OBJECT

private slots:
  void remarksColourTheFiguresTheyJudge_data();
  void remarksColourTheFiguresTheyJudge();
  void sortsNumbersAndSpeaksRows();
};

void TestOverviewModel::remarksColourTheFiguresTheyJudge_data()
{
  QTest::addColumn<int>("field"); // what the fourth row's take has
  QTest::addColumn<QString>("remarks");
  QTest::addColumn<QList<int>>("judged");
  QTest::addColumn<int>("clipped"); // the column in red, -1: none
  QTest::newRow("clear") << 0 << QString() << QList<int>{} << -1;
  QTest::newRow("quiet") << 1 << "te zacht" << QList<int>{M::ColVoiceRms} << -1;
  QTest::newRow("clipped") << 2 << "overstuurd, piek te hoog" << QList<int>{M::ColPeak}
                           << int(M::ColClipped);
  QTest::newRow("room") << 3 << "ruisvloer te hoog, ruis" << QList<int>{M::ColFloor} << -1;
  // 30 characters in 0.7 s against the others' 15 a second
  QTest::newRow("hurried") << 4 << "te kort, tempo" << QList<int>{M::ColSpeech, M::ColPace} << -1;
}

void TestOverviewModel::remarksColourTheFiguresTheyJudge()
{
  QFETCH(int, field);
  QFETCH(QString, remarks);
  QFETCH(QList<int>, judged);
  QFETCH(int, clipped);
  M model;
  model.SetRows(Rows(4));
  TOverviewTake odd = Take("Koor-4.wav", field == 4 ? 0.7 : 2.0);
  audio::TTakeFigures &f = odd.Stored.Figures;
  if (field == 1) // the voice, not the silence around it
    f.SpeechRmsDb = -30.0;
  if (field == 2) {
    f.PeakDb = 0.0;
    f.ClippedSamples = 12;
  }
  if (field == 3)
    f.NoiseFloorDb = -45.0;
  model.SetTakes({Take("Koor-1.wav"), Take("Koor-2.wav"), Take("Koor-3.wav"), odd});
  QCOMPARE(model.MedianPace(), 15.0);
  QCOMPARE(model.index(3, M::ColRemarks).data().toString(), remarks);
  for (int c = 0; c < M::ColumnCount; ++c) {
    const int mark = model.index(3, c).data(M::MarkRole).toInt();
    const int want = c == clipped ? int(TCellMark::Clipped)
                                  : (judged.contains(c) ? int(TCellMark::Judged) : 0);
    QVERIFY2(mark == want, qPrintable(QStringLiteral("column %1: %2").arg(c).arg(mark)));
    QCOMPARE(model.index(0, c).data(M::MarkRole).toInt(), 0);
  }
}

void TestOverviewModel::sortsNumbersAndSpeaksRows()
{
  M model;
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  model.SetRows(Rows(3));
  TOverviewTake loud = Take("Koor-2.wav");
  loud.Stored.Figures.RmsDb = -9.5;
  loud.Stored.Figures.SpeechRmsDb = -9.0;
  model.SetTakes({Take("Koor-1.wav"), loud});
  QCOMPARE(model.index(0, M::ColRms).data(M::SortRole), QVariant(-20.0));
  QCOMPARE(model.index(1, M::ColRms).data(M::SortRole), QVariant(-9.5));
  // a row without figures has nothing to sort by, and no remarks yet
  QVERIFY(!model.index(2, M::ColRms).data(M::SortRole).isValid());
  QCOMPARE(model.index(2, M::ColRemarks).data().toString(), QString());
  QCOMPARE(model.index(1, M::ColRms).data(Qt::AccessibleTextRole).toString(),
           QStringLiteral("2, Dertig letters in deze zin, echt waar, te luid"));
  QCOMPARE(model.index(0, M::ColFloor).data(Qt::AccessibleTextRole).toString(),
           QStringLiteral("1, Dertig letters in deze zin, echt waar, geen opmerkingen"));
  // another choice for a text: the same rows, only their cells change
  std::vector<TOverviewRow> rows = Rows(3);
  rows[0].Takes << QStringLiteral("Koor-2.wav");
  rows[0].Chosen = QStringLiteral("Koor-2.wav");
  model.SetRows(rows);
  QCOMPARE(resets.size(), 1);
  QCOMPARE(model.index(0, M::ColRemarks).data().toString(), QStringLiteral("te luid"));
  model.SetRows(Rows(2));
  QCOMPARE(resets.size(), 2);
}

QTEST_GUILESS_MAIN(TestOverviewModel)

#include "test_overview_model.moc"
