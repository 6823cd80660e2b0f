// The take list of a large session, kept take by take: after a take's end, a delete and
// an undo it is what a fresh listing of the session gives, and the takes a crash left
// are mended on a worker after the choice.

#include <QAccessible>
#include <QListView>
#include <QtTest>

#include <string>
#include <vector>

#include "audio/TakeFiles.h"
#include "platform/FileClaim.h"
#include "support/WindowKit.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/TakeList.h"

using namespace praatkist;
using namespace praatkist::ui;
using namespace praatkist::test::window;

class TestTakeList : public QObject {
  Q_OBJECT

private slots:
  void listKeptTakeByTakeIsAFreshListing();
  void crashedTakesAreMendedAfterTheChoice();
};

namespace {

constexpr int kTakes = 1500;

// Session "Koor" with kTakes short takes, a text for each and every take bound to its
// text; every seventh take rejected, every eleventh chosen over a later one.
fs::path BigSession(TWindowKit &AKit)
{
  const fs::path folder = AKit.Session("Koor");
  std::string list, bindings = "opname\tid\tstatus\n";
  for (int i = 1; i <= kTakes; ++i) {
    const std::string name = "Koor-" + std::to_string(i) + ".wav";
    const std::string id = "z" + std::to_string(i);
    WriteWave(folder / name, Level(0.01, 3000));
    list += id + "\tZin nummer " + std::to_string(i) + ".\n";
    bindings += name + "\t" + id + (i % 7 == 0 ? "\tafgekeurd\n" : "\t\n");
  }
  Touch(folder / "tekstlijst.txt", list);
  Touch(folder / "opnames.tsv", bindings);
  return folder;
}

// Each row as it is shown, heard by a screen reader and greyed.
QStringList Rows(const TfrmMain &AWindow)
{
  QListView *list = AWindow.Controls().lbRecordings;
  // Offscreen no bridge tells the reader's cached rows of a new listing: it starts
  // afresh, as a screen reader started now would.
  QAccessible::deleteAccessibleInterface(
      QAccessible::uniqueId(QAccessible::queryAccessibleInterface(list)));
  QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(list);
  QStringList rows;
  for (int i = 0; i < list->model()->rowCount(); ++i) {
    const QModelIndex row = list->model()->index(i, 0);
    rows << row.data().toString() + QLatin1Char('|') +
                heard->child(i)->text(QAccessible::Name) + QLatin1Char('|') +
                QString::number(row.data(Qt::ForegroundRole).isValid());
  }
  return rows;
}

// What a fresh listing shows: the session chosen again.
QStringList Fresh(TWindowKit &AKit)
{
  AKit.Pick(QStringLiteral("Koor"));
  return Rows(*AKit.Win);
}

void ClickEntry(TfrmMain &AWindow, const QString &AName)
{
  const QAbstractItemModel *rows = AWindow.Controls().lbRecordings->model();
  for (int i = 0; i < rows->rowCount(); ++i)
    if (rows->index(i, 0).data(Qt::UserRole).toString() == AName) {
      ClickRow(AWindow.Controls().lbRecordings, i);
      return;
    }
  QFAIL(qPrintable(AName));
}

} // namespace

void TestTakeList::listKeptTakeByTakeIsAFreshListing()
{
  TWindowKit kit("[Opname]\r\nStiltesTrimmen=1\r\n");
  const fs::path folder = BigSession(kit);
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  const QStringList listed = Rows(w);
  QCOMPARE(listed.size(), kTakes);
  QCOMPARE(listed.first(), QStringLiteral("Koor-1.wav  z1 \u2713|Koor-1.wav, tekst z1, gekozen|0"));
  QVERIFY(listed.contains(QStringLiteral("Koor-7.wav  z7 \u2717|Koor-7.wav, tekst z7, afgekeurd|1")));

  // A take of the first text: listed where the order puts it ("Koor-1501.wav" after
  // "Koor-1500.wav"), selected, and now its text's chosen take instead of Koor-1.wav.
  kit.Record(TrimmableTake());
  kit.Stop();
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1501.wav  z1 \u2713"));
  QStringList kept = Rows(w);
  QCOMPARE(kept.size(), kTakes + 1);
  QCOMPARE(kept, Fresh(kit));
  QCOMPARE(kept.first(), QStringLiteral("Koor-1.wav  z1|Koor-1.wav, tekst z1|0"));

  // A take another program writes between two takes shows at the next choice.
  WriteWave(folder / "Koor-1600.wav", Level(0.01, 3000));
  kit.Record(TrimmableTake());
  kit.Stop();
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1601.wav  z1 \u2713"));
  kept = Rows(w);
  const QStringList fresh = Fresh(kit);
  QCOMPARE(fresh.size(), kept.size() + 1);
  QVERIFY(fresh.contains(QStringLiteral("Koor-1600.wav|Koor-1600.wav|0")));
  kept.insert(static_cast<qsizetype>(fresh.indexOf(QStringLiteral("Koor-1600.wav|Koor-1600.wav|0"))),
              QStringLiteral("Koor-1600.wav|Koor-1600.wav|0"));
  QCOMPARE(kept, fresh);

  // The trim of Koor-1601.wav undone: the list stays as it is.
  TDialogs dialogs;
  ClickEntry(w, QStringLiteral("Koor-1601.wav"));
  QVERIFY(w.Controls().btnUndoTrim->isEnabled());
  dialogs.Click(QStringLiteral("Wissen"));
  QTest::mouseClick(w.Controls().btnUndoTrim->Text, Qt::LeftButton);
  kit.Settle();
  QVERIFY(!fs::exists(folder / "Koor-1601.wav.untrimmed"));
  kept = Rows(w);
  QCOMPARE(kept, Fresh(kit));

  // Deleting the first text's chosen take gives the choice back to its latest take,
  // and the last entry is selected.
  ClickEntry(w, QStringLiteral("Koor-1601.wav"));
  dialogs.Click(QStringLiteral("Wissen"));
  QTest::mouseClick(w.Controls().btnDelete->Text, Qt::LeftButton);
  kit.Settle();
  QVERIFY(!fs::exists(folder / "Koor-1601.wav"));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-999.wav  z999 \u2713"));
  kept = Rows(w);
  QCOMPARE(kept.size(), kTakes + 2);
  QVERIFY(kept.contains(QStringLiteral("Koor-1501.wav  z1 \u2713|Koor-1501.wav, tekst z1, gekozen|0")));
  QCOMPARE(kept, Fresh(kit));
}

// The shown take (the last entry) and another were left by a kill; a third is still
// being written by another program. After the choice the two are mended on the worker
// and the shown one drawn again; the third stays as it is.
void TestTakeList::crashedTakesAreMendedAfterTheChoice()
{
  TWindowKit kit;
  const fs::path folder = BigSession(kit);
  const auto crash = [](const fs::path &ATake) {
    std::vector<std::uint8_t> bytes = test::ReadBytes(ATake);
    for (const int at : {4, 40})
      for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(at + i)] = 0xFF;
    test::WriteBytes(ATake, bytes.data(), bytes.size());
    return bytes;
  };
  const fs::path shown = folder / "Koor-999.wav", other = folder / "Koor-3.wav",
                 writing = folder / "Koor-500.wav";
  crash(shown);
  crash(other);
  const std::vector<std::uint8_t> held = crash(writing);
  platform::TFileClaim writer;
  writer.Claim(writing);

  auto &w = kit.Open();
  QStringList events;
  connect(&w.TakeList(), &TTakeList::Mended, &w,
          [&](const QString &APath) { events << QStringLiteral("mended ") + APath; });
  connect(&w.Flow(), &TTakeFlow::TakeLoaded, &w,
          [&](const TAnalysisResult &AResult) { events << QStringLiteral("drawn ") + AResult.Path; });
  kit.Pick(QStringLiteral("Koor"));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-999.wav  z999 \u2713"));

  for (const fs::path &take : {shown, other}) {
    const std::vector<std::uint8_t> mended = test::ReadBytes(take);
    QCOMPARE(test::Le32(mended, 4), static_cast<std::uint32_t>(mended.size() - 8));
    QCOMPARE(test::Le32(mended, 40), static_cast<std::uint32_t>(mended.size() - 44));
  }
  QCOMPARE(test::ReadBytes(writing), held);
  const QString mended = QStringLiteral("mended ") + Q(shown);
  QVERIFY2(events.contains(mended), qPrintable(events.join(u'\n')));
  QVERIFY2(events.indexOf(QStringLiteral("drawn ") + Q(shown), events.indexOf(mended)) > 0,
           qPrintable(events.join(u'\n')));
  QVERIFY(!w.PeaksLeft().empty());
}

int main(int argc, char **argv)
{
  TestTakeList tests;
  return RunWindowTests(argc, argv, tests);
}

#include "test_take_list.moc"
