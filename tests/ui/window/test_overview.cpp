// The overview (Ctrl+O) as a speaker uses it with the keyboard: the session's texts with
// their chosen takes' figures and remarks, sorted, filtered, played, chosen, rejected and
// shown in the main window; and the overview following the main window's takes.

#include <QAccessible>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QtTest>

#include <fstream>
#include <sstream>

#include "support/TestSpeech.h"
#include "support/WindowKit.h"
#include "ui/flow/OverviewModel.h"
#include "ui/flow/TakeFlow.h"
#include "ui/style/Palette.h"
#include "ui/widgets/TextItemPanel.h"
#include "ui/window/OverviewCommand.h"
#include "ui/window/OverviewForm.h"
#include "ui/window/TextCommands.h"

using namespace praatkist;
using namespace praatkist::ui;
using namespace praatkist::test::window;

namespace {

std::string FileText(const fs::path &APath)
{
  std::ifstream in(APath, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// The clear take of the checks' tests, and the same 16.5 dB quieter ("te zacht").
std::vector<std::int16_t> Speech(double APeakDb = -3.5)
{
  test::TSpeechTake take;
  take.PeakDb = APeakDb;
  return test::SpeechSamples(take);
}

// A key to the widget with the focus in AWindow, as the user types it while that window
// is the active one.
void Key(QWidget *AWindow, Qt::Key AKey, Qt::KeyboardModifiers AMods = Qt::NoModifier)
{
  QApplication::setActiveWindow(AWindow);
  QWidget *target = AWindow->focusWidget() ? AWindow->focusWidget() : AWindow;
  QTest::keyClick(target, AKey, AMods);
}

struct TOverviewKit : TWindowKit {
  fs::path Folder;

  explicit TOverviewKit(const std::string &ASettings = "[Opname]\r\n") : TWindowKit(ASettings)
  {
    Folder = Session("Koor");
  }

  // Ctrl+O in the main window, and the overview until its figures are all measured.
  void OpenOverview()
  {
    Key(Win.get(), Qt::Key_O, Qt::ControlModifier);
    TOverviewForm *form = Win->Overview().Form();
    QVERIFY(form != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(form->isVisible(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(form->lblProgress->text(), QStringLiteral("Alle cijfers gemeten"),
                              20000);
    QTRY_VERIFY_WITH_TIMEOUT(!Win->Overview().Measuring(), 10000);
  }

  const TOverviewModel &Model() const { return Win->Overview().Model(); }

  // The table's cells of column AColumn, top to bottom.
  static QStringList Shown(const TOverviewForm &AForm, int AColumn = TOverviewModel::ColId)
  {
    QStringList cells;
    const QAbstractItemModel *m = AForm.tblOverview->model();
    for (int r = 0; r < m->rowCount(); ++r)
      cells << m->index(r, AColumn).data().toString();
    return cells;
  }

  static QString Cell(const TOverviewForm &AForm, const QString &AId, int AColumn)
  {
    const QAbstractItemModel *m = AForm.tblOverview->model();
    for (int r = 0; r < m->rowCount(); ++r)
      if (m->index(r, TOverviewModel::ColId).data().toString() == AId)
        return m->index(r, AColumn).data().toString();
    return QStringLiteral("<none>");
  }

  // Down (or up) the table by keys to the row of AId.
  static void GoTo(TOverviewForm &AForm, const QString &AId)
  {
    QTableView *t = AForm.tblOverview;
    t->setFocus();
    QTest::keyClick(t, Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < t->model()->rowCount() &&
                    t->currentIndex().siblingAtColumn(0).data().toString() != AId;
         ++i)
      QTest::keyClick(t, Qt::Key_Down);
    QCOMPARE(t->currentIndex().siblingAtColumn(0).data().toString(), AId);
  }
};

void ClickHeader(QTableView *ATable, int AColumn)
{
  QHeaderView *h = ATable->horizontalHeader();
  const QPoint at(h->sectionViewportPosition(AColumn) + h->sectionSize(AColumn) / 2,
                  h->height() / 2);
  QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class TestOverview : public QObject {
  Q_OBJECT

private slots:
  void overviewByKeys();
  void followsTakesMadeUntrimmedAndDeleted();
};

// Text a has a clear take and then a quiet one (its chosen take), b a clear one, c none.
void TestOverview::overviewByKeys()
{
  const auto clear = Speech();
  const auto quiet = Speech(-20.0);
  TOverviewKit kit;
  WriteWave(kit.Folder / "Koor-1.wav", clear);
  WriteWave(kit.Folder / "Koor-2.wav", quiet);
  WriteWave(kit.Folder / "Koor-3.wav", clear);
  Touch(kit.Folder / "tekstlijst.txt", "a\tEen zin.\nb\tNog een zin.\nc\tDe derde.\n");
  Touch(kit.Folder / "opnames.tsv",
        "opname\tid\tstatus\nKoor-1.wav\ta\t\nKoor-2.wav\ta\t\nKoor-3.wav\tb\t\n");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QVERIFY(w.Controls().btnOverview->isVisible() && w.Controls().btnOverview->isEnabled());
  kit.OpenOverview();
  TOverviewForm &o = *w.Overview().Form();
  QVERIFY(o.isWindow() && o.tblOverview->hasFocus());
  QCOMPARE(kit.Shown(o), (QStringList{"a", "b", "c"}));
  QCOMPARE(kit.Shown(o, TOverviewModel::ColChosen), (QStringList{"Koor-2.wav", "Koor-3.wav", ""}));
  QCOMPARE(kit.Shown(o, TOverviewModel::ColTakeCount), (QStringList{"2", "1", "0"}));
  QCOMPARE(kit.Shown(o, TOverviewModel::ColRemarks), (QStringList{"te zacht", "", ""}));
  QVERIFY(fs::exists(kit.Folder / "cijfers.tsv"));
  // The quiet take's voice level in orange, written as the figures line writes it.
  const QModelIndex rmsA = o.tblOverview->model()->index(0, TOverviewModel::ColVoiceRms);
  QCOMPARE(rmsA.data(Qt::ForegroundRole).value<QBrush>().color(),
           palette::Colour(palette::TrimOrange));
  QVERIFY2(QRegularExpression(QStringLiteral("^\u2212[34]\\d,\\d$")).match(rmsA.data().toString()).hasMatch(),
           qPrintable(rmsA.data().toString()));
  QVERIFY(!o.tblOverview->model()->index(1, TOverviewModel::ColVoiceRms).data(Qt::ForegroundRole).isValid());
  QVERIFY(!o.tblOverview->model()->index(0, TOverviewModel::ColRms).data(Qt::ForegroundRole).isValid());
  // A screen reader reads a row as its id, text and remarks, whichever cell has the focus.
  QAccessibleTableInterface *table =
      QAccessible::queryAccessibleInterface(o.tblOverview)->tableInterface();
  QVERIFY(table != nullptr);
  QCOMPARE(table->cellAt(0, TOverviewModel::ColVoiceRms)->text(QAccessible::Name),
           QStringLiteral("a, Een zin., te zacht"));
  QCOMPARE(table->cellAt(1, TOverviewModel::ColId)->text(QAccessible::Name),
           QStringLiteral("b, Nog een zin., geen opmerkingen"));

  // Sorted by RMS as numbers (as text "−20" would come before "−44"), descending next.
  ClickHeader(o.tblOverview, TOverviewModel::ColRms);
  QCOMPARE(kit.Shown(o), (QStringList{"a", "b", "c"}));
  ClickHeader(o.tblOverview, TOverviewModel::ColRms);
  QCOMPARE(kit.Shown(o).mid(1), (QStringList{"b", "a"}));
  ClickHeader(o.tblOverview, TOverviewModel::ColId);
  QCOMPARE(kit.Shown(o), (QStringList{"a", "b", "c"}));
  // Alt+S: by the current cell's column (the id), the other way now
  Key(&o, Qt::Key_S, Qt::AltModifier);
  QCOMPARE(kit.Shown(o), (QStringList{"c", "b", "a"}));
  Key(&o, Qt::Key_S, Qt::AltModifier);

  // The filters: by mouse, by key, both (the rows that are either).
  QTest::mouseClick(o.chkRemarksOnly, Qt::LeftButton, {}, QPoint(8, o.chkRemarksOnly->height() / 2));
  QCOMPARE(kit.Shown(o), QStringList{"a"});
  Key(&o, Qt::Key_Z, Qt::AltModifier);
  QCOMPARE(kit.Shown(o), (QStringList{"a", "c"}));
  Key(&o, Qt::Key_M, Qt::AltModifier);
  QCOMPARE(kit.Shown(o), QStringList{"c"});
  Key(&o, Qt::Key_Z, Qt::AltModifier);
  QCOMPARE(kit.Shown(o), (QStringList{"a", "b", "c"}));

  // Space plays the row's chosen take through the main window, and stops it.
  Key(&o, Qt::Key_L, Qt::AltModifier);
  kit.GoTo(o, QStringLiteral("b"));
  Key(&o, Qt::Key_Space);
  QTRY_COMPARE_WITH_TIMEOUT(w.Flow().State(), TTakeState::Playing, 10000);
  QCOMPARE(w.Flow().TakePath(), NativeTakePath(kit.Folder / "Koor-3.wav"));
  QCOMPARE(w.SelectedTakePath(), NativeTakePath(kit.Folder / "Koor-3.wav"));
  Key(&o, Qt::Key_Space);
  QTRY_COMPARE_WITH_TIMEOUT(w.Flow().State(), TTakeState::Idle, 10000);

  // Ctrl+K: a's next take becomes its chosen one; Ctrl+Shift+A rejects it again.
  kit.GoTo(o, QStringLiteral("a"));
  Key(&o, Qt::Key_K, Qt::ControlModifier);
  QCOMPARE(FileText(kit.Folder / "opnames.tsv"),
           std::string("opname\tid\tstatus\nKoor-1.wav\ta\tgekozen\nKoor-2.wav\ta\t\n"
                       "Koor-3.wav\tb\t\n"));
  QCOMPARE(kit.Cell(o, "a", TOverviewModel::ColChosen), QStringLiteral("Koor-1.wav"));
  QCOMPARE(kit.Cell(o, "a", TOverviewModel::ColRemarks), QString());
  Key(&o, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(FileText(kit.Folder / "opnames.tsv"),
           std::string("opname\tid\tstatus\nKoor-1.wav\ta\tafgekeurd\nKoor-2.wav\ta\t\n"
                       "Koor-3.wav\tb\t\n"));
  QCOMPARE(kit.Cell(o, "a", TOverviewModel::ColChosen), QStringLiteral("Koor-2.wav"));
  QCOMPARE(kit.Entries().first(), QStringLiteral("Koor-1.wav  a \u2717"));
  QCOMPARE(o.tblOverview->currentIndex().siblingAtColumn(0).data().toString(), QStringLiteral("a"));

  // Return shows the row's text in the main window, with its chosen take selected.
  kit.GoTo(o, QStringLiteral("c"));
  Key(&o, Qt::Key_Return);
  QCOMPARE(w.Controls().pnlText->PlaceText(), QStringLiteral("c \u00B7 3 / 3"));
  kit.GoTo(o, QStringLiteral("b"));
  Key(&o, Qt::Key_Return);
  QCOMPARE(w.Controls().pnlText->PlaceText(), QStringLiteral("b \u00B7 2 / 3"));
  QCOMPARE(w.SelectedTakePath(), NativeTakePath(kit.Folder / "Koor-3.wav"));

  // Escape closes it; the program's close with it open ends its work.
  Key(&o, Qt::Key_Escape);
  QTRY_VERIFY(!o.isVisible());
}

// While the overview is open: a take made (and trimmed) in the main window gets its row
// and figures, its trim undone gets them anew, a deleted take loses its row.
void TestOverview::followsTakesMadeUntrimmedAndDeleted()
{
  const auto clear = Speech();
  TOverviewKit kit("[Opname]\r\nStiltesTrimmen=1\r\n");
  WriteWave(kit.Folder / "Koor-1.wav", clear);
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  kit.OpenOverview();
  TOverviewForm &o = *w.Overview().Form();
  QCOMPARE(kit.Shown(o, TOverviewModel::ColChosen), QStringList{"Koor-1.wav"});

  // A take with a second of silence before and after the speech: trimmed at its end.
  QApplication::setActiveWindow(&w);
  kit.Record(Join({Level(1.0, 0), clear, Level(1.0, 0)}));
  kit.Stop();
  QVERIFY(w.TrimActive());
  QTRY_VERIFY_WITH_TIMEOUT(!w.Overview().Measuring(), 20000);
  const auto seconds = [&kit] {
    const TOverviewTake *take = kit.Model().Take(QStringLiteral("Koor-2.wav"));
    return take != nullptr && take->Stored.Figures.Measured ? take->Stored.Seconds : -1.0;
  };
  const double whole = static_cast<double>(clear.size()) / 2 / Rate + 2.0;
  QTRY_VERIFY_WITH_TIMEOUT(seconds() > 0.0, 10000);
  QVERIFY2(seconds() < whole - 1.5, qPrintable(QString::number(seconds())));
  QCOMPARE(kit.Shown(o, TOverviewModel::ColChosen), (QStringList{"Koor-1.wav", "Koor-2.wav"}));

  // Ctrl+Z undoes the trim (after the question): measured again, whole.
  TDialogs dialogs;
  dialogs.Click(QStringLiteral("Wissen"));
  Key(&w, Qt::Key_Z, Qt::ControlModifier);
  QTRY_VERIFY2_WITH_TIMEOUT(std::abs(seconds() - whole) < 0.05,
                            qPrintable(QString::number(seconds())), 10000);

  // Deleted (Delete in the take list, after the question): its row goes.
  dialogs.Click(QStringLiteral("Wissen"));
  ClickRow(w.Controls().lbRecordings, 0);
  QApplication::setActiveWindow(&w);
  QTest::keyClick(w.Controls().lbRecordings, Qt::Key_Delete);
  QTRY_COMPARE_WITH_TIMEOUT(kit.Shown(o, TOverviewModel::ColChosen), QStringList{"Koor-2.wav"},
                            10000);
  QVERIFY(!fs::exists(kit.Folder / "Koor-1.wav"));

  // The program closed while takes are being measured: the survey ends before the
  // engine goes, and cijfers.tsv stays whole.
  Key(&o, Qt::Key_Escape);
  for (int i = 3; i <= 8; ++i)
    WriteWave(kit.Folder / ("Koor-" + std::to_string(i) + ".wav"), clear);
  kit.Pick(QStringLiteral("Koor"));
  kit.Layer.ReadDelayMs = 20;
  Key(&w, Qt::Key_O, Qt::ControlModifier);
  QTRY_VERIFY_WITH_TIMEOUT(o.lblProgress->text().startsWith(QStringLiteral("Cijfers meten: ")),
                           10000);
  QVERIFY(w.Overview().Measuring());
  kit.Win.reset();
  const std::string figures = FileText(kit.Folder / "cijfers.tsv");
  QVERIFY2(figures.rfind("opname\t", 0) == 0 && figures.find("\nKoor-2.wav\t") != std::string::npos,
           figures.c_str());
}

int main(int argc, char **argv)
{
  TestOverview tests;
  return RunWindowTests(argc, argv, tests);
}

#include "test_overview.moc"
