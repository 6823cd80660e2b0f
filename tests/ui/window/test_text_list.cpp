// Recording from a text list, as a speaker does it with the keyboard: the list loaded
// into a session, its texts shown and walked through, takes bound to their texts across
// a restart, a retake, a choice, and the data set exported; and a session without a
// list as it always was.

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "session/TextList.h"
#include "support/WindowKit.h"
#include "ui/flow/TakeFlow.h"
#include "ui/widgets/TextItemPanel.h"
#include "ui/window/ExportCommand.h"
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

// A key of the window, as the user types it while the window is the active one.
void Key(TfrmMain &AWindow, Qt::Key AKey, Qt::KeyboardModifiers AMods = Qt::ControlModifier)
{
  QApplication::setActiveWindow(&AWindow);
  QTest::keyClick(AWindow.focusWidget() ? AWindow.focusWidget() : &AWindow, AKey, AMods);
  WaitIdle(&AWindow);
}

} // namespace

class TestTextList : public QObject {
  Q_OBJECT

private slots:
  void loadedListIsShownWalkedAndKeepsItsTakesAcrossARestart();
  void badListChangesNothingAndANewOneIsAskedFor();
  void retakeRejectsTheRunningTakeAndChooseTakesItBack();
  void exportWritesTheChosenTakesAndSaysWhatIsMissing();
  void sessionWithoutListIsAsBefore();
  void longTextsFitTheColumn();
};

namespace {

// The kit with a session "Koor" chosen and a text list file beside the root.
struct TListKit : TWindowKit {
  fs::path Folder;
  fs::path ListFile;
  QString Answer; // the file the list dialog answers with

  explicit TListKit(const std::string &ASettings = "[Opname]\r\n") : TWindowKit(ASettings)
  {
    Folder = Session("Koor");
    ListFile = Dir / "lijst.txt";
  }

  TfrmMain &OpenOn()
  {
    auto &w = Open();
    w.Texts().AskTextFile = [this] { return Answer; };
    Pick(QStringLiteral("Koor"));
    return w;
  }

  void WriteList(const std::string &AText)
  {
    std::ofstream(ListFile, std::ios::binary) << AText;
    Answer = Q(ListFile);
  }

  // A take by keys: Ctrl+R, a second of sound, Ctrl+S.
  void Take(std::int16_t ALevel = 9000)
  {
    Key(*Win, Qt::Key_R);
    QCOMPARE(Win->Flow().State(), TTakeState::Recording);
    Feed(Level(1.0, ALevel));
    Key(*Win, Qt::Key_S);
    Settle();
  }

  const TTextItemPanel &Panel() const { return *Win->Controls().pnlText; }
};

} // namespace

// Ctrl+T loads the list; the text column shows the current text with its id and place
// (and a screen reader hears each new one); Ctrl+Right, Ctrl+Left and Ctrl+Down walk
// the list; a take belongs to the text shown at its start, and after a restart the
// take list still names its text and the text selects its take.
void TestTextList::loadedListIsShownWalkedAndKeepsItsTakesAcrossARestart()
{
  TListKit kit;
  auto &w = kit.OpenOn();
  QCOMPARE(w.width(), 924);
  QVERIFY(!w.Controls().pnlText->isVisible());
  kit.WriteList("\xEF\xBB\xBFintro\tGoedemorgen allemaal.\r\n\r\n  tweede|Een tweede zin. \r\n"
                "Zonder id.\r\n");
  Key(w, Qt::Key_T);
  QCOMPARE(FileText(kit.Folder / "tekstlijst.txt"),
           std::string("intro\tGoedemorgen allemaal.\ntweede\tEen tweede zin.\n0003\tZonder id.\n"));
  QVERIFY(w.Controls().pnlText->isVisible());
  QCOMPARE(w.size(), TMainFormControls::TextPageSize);
  QCOMPARE(kit.Panel().PlaceText(), QStringLiteral("intro \u00B7 1 / 3"));
  QCOMPARE(kit.Panel().ItemText(), QStringLiteral("Goedemorgen allemaal."));
  QVERIFY(kit.Panel().findChild<QLabel *>(QStringLiteral("lblTextItem"))->font().pointSizeF() >=
          20.0);

  Key(w, Qt::Key_Right);
  Key(w, Qt::Key_Right);
  QCOMPARE(QAccessible::queryAccessibleInterface(w.Controls().pnlText)->text(QAccessible::Name),
           QStringLiteral("0003: Zonder id."));
  Key(w, Qt::Key_Right); // the end of the list: it stays
  QCOMPARE(kit.Panel().PlaceText(), QStringLiteral("0003 \u00B7 3 / 3"));
  kit.Take();
  QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav  0003 \u2713")});
  QCOMPARE(FileText(kit.Folder / "opnames.tsv"), std::string("opname\tid\tstatus\nKoor-1.wav\t0003\t\n"));
  // Ctrl+Down: the next text without a chosen take, round the end of the list.
  Key(w, Qt::Key_Down);
  QCOMPARE(kit.Panel().PlaceText(), QStringLiteral("intro \u00B7 1 / 3"));
  QVERIFY(kit.Selected().isEmpty());

  // A restart: the list and the binding are read from the session again.
  kit.OpenOn();
  QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav  0003 \u2713")});
  QCOMPARE(kit.Win->Controls().lbRecordings->model()->index(0, 0).data(Qt::AccessibleTextRole).toString(),
           QStringLiteral("Koor-1.wav, tekst 0003, gekozen"));
  Key(*kit.Win, Qt::Key_Left); // already the first text
  Key(*kit.Win, Qt::Key_Right);
  QVERIFY(kit.Selected().isEmpty());
  Key(*kit.Win, Qt::Key_Right);
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav  0003 \u2713"));
  QCOMPARE(kit.Win->SelectedTakePath(), NativeTakePath(kit.Folder / "Koor-1.wav"));
}

// A bad list is refused with its line and changes nothing; a new list for a session
// that has one is asked for first, and keeps the bindings of the ids it still has.
void TestTextList::badListChangesNothingAndANewOneIsAskedFor()
{
  TListKit kit;
  auto &w = kit.OpenOn();
  TDialogs dialogs;
  kit.WriteList("a\tEen\nb\tTwee\na\tNog een\n");
  Key(w, Qt::Key_T);
  QCOMPARE(dialogs.Texts().size(), 1);
  QVERIFY2(dialogs.Texts().first().startsWith(QStringLiteral("Regel 3 van de tekstlijst")),
           qPrintable(dialogs.Texts().first()));
  QVERIFY(!fs::exists(kit.Folder / "tekstlijst.txt"));
  QVERIFY(!w.Controls().pnlText->isVisible());

  kit.WriteList("a\tEen\nb\tTwee\n");
  Key(w, Qt::Key_T);
  kit.Take(); // of "a"
  Key(w, Qt::Key_Right);
  kit.Take(); // of "b"
  const std::string kept = FileText(kit.Folder / "tekstlijst.txt");

  // Asked first: "Annuleren" keeps the old list, "Vervangen" puts the new one in place.
  kit.WriteList("b\tTwee, anders gezegd\nc\tDrie\n");
  dialogs.Click(QStringLiteral("Annuleren"));
  Key(w, Qt::Key_T);
  QCOMPARE(dialogs.Seen.last().Title, QStringLiteral("Bevestigen"));
  QCOMPARE(FileText(kit.Folder / "tekstlijst.txt"), kept);
  dialogs.Click(QStringLiteral("Vervangen"));
  Key(w, Qt::Key_T);
  QCOMPARE(FileText(kit.Folder / "tekstlijst.txt"), std::string("b\tTwee, anders gezegd\nc\tDrie\n"));
  QCOMPARE(kit.Entries(), (QStringList{QStringLiteral("Koor-1.wav"),
                                       QStringLiteral("Koor-2.wav  b \u2713")}));
  QCOMPARE(kit.Panel().PlaceText(), QStringLiteral("b \u00B7 1 / 2"));
  QVERIFY(fs::exists(kit.Folder / "Koor-1.wav"));
}

// Ctrl+Shift+R while a take of a text runs: that take is kept but rejected and a new
// take of the same text runs at once; Ctrl+K makes the rejected one the chosen take
// again. "Na opname volgende tekst" (Alt+T) then moves on after each take.
void TestTextList::retakeRejectsTheRunningTakeAndChooseTakesItBack()
{
  TListKit kit;
  auto &w = kit.OpenOn();
  kit.WriteList("a\tEen\nb\tTwee\nc\tDrie\n");
  Key(w, Qt::Key_T);
  Key(w, Qt::Key_R);
  kit.Feed(Level(1.0, 9000));
  Key(w, Qt::Key_Right); // the text shown moves on while the take of "a" runs
  Key(w, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
  QTRY_COMPARE_WITH_TIMEOUT(w.Flow().State(), TTakeState::Recording, 10000);
  QCOMPARE(w.Flow().TakePath(), NativeTakePath(kit.Folder / "Koor-2.wav"));
  QCOMPARE(kit.Panel().PlaceText(), QStringLiteral("a \u00B7 1 / 3"));
  kit.Feed(Level(1.0, 9000));
  Key(w, Qt::Key_S);
  kit.Settle();
  QCOMPARE(FileText(kit.Folder / "opnames.tsv"),
           std::string("opname\tid\tstatus\nKoor-1.wav\ta\tafgekeurd\nKoor-2.wav\ta\t\n"));
  QCOMPARE(kit.Entries(), (QStringList{QStringLiteral("Koor-1.wav  a \u2717"),
                                       QStringLiteral("Koor-2.wav  a \u2713")}));
  QVERIFY(fs::exists(kit.Folder / "Koor-1.wav"));

  ClickRow(w.Controls().lbRecordings, 0);
  Key(w, Qt::Key_K);
  QCOMPARE(kit.Entries(), (QStringList{QStringLiteral("Koor-1.wav  a \u2713"),
                                       QStringLiteral("Koor-2.wav  a")}));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav  a \u2713"));
  QCOMPARE(FileText(kit.Folder / "opnames.tsv"),
           std::string("opname\tid\tstatus\nKoor-1.wav\ta\tgekozen\nKoor-2.wav\ta\t\n"));

  // Alt+T turns the option on; the next take of "a" moves the list to "b".
  Key(w, Qt::Key_T, Qt::AltModifier);
  QVERIFY(w.Controls().chkNextAfterTake->isChecked());
  kit.Take();
  QCOMPARE(kit.Panel().PlaceText(), QStringLiteral("b \u00B7 2 / 3"));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-3.wav  a"));
  kit.Win.reset();
  QCOMPARE(kit.Setting("Opname", "NaOpnameVolgendeTekst"), std::string("1"));
}

// Ctrl+E proposes a new folder in the session that Return takes; the data set holds the
// chosen take of each text and metadata.csv in list order; the closing message names
// the texts without a take. A cancelled export leaves no folder, and a folder that is
// not empty is never written into.
void TestTextList::exportWritesTheChosenTakesAndSaysWhatIsMissing()
{
  TListKit kit;
  auto &w = kit.OpenOn();
  TDialogs dialogs;
  kit.WriteList("a\tEen\nb\tTwee\nc\tDrie\n");
  Key(w, Qt::Key_T);
  kit.Take();
  Key(w, Qt::Key_Right);
  Key(w, Qt::Key_Right);
  kit.Take();
  kit.Take();

  // Cancelled while it runs (each read takes its time).
  kit.Layer.ReadDelayMs = 20;
  dialogs.Keys(QString(), {Qt::Key_Return});
  dialogs.Do([](QWidget *AProgress) {
    for (auto *b : AProgress->findChildren<TModernButton *>())
      if (b->Caption() == QStringLiteral("Annuleren"))
        QTest::mouseClick(b, Qt::LeftButton);
  });
  Key(w, Qt::Key_E);
  QTRY_VERIFY_WITH_TIMEOUT(!w.Export().Running(), 20000);
  QTRY_COMPARE_WITH_TIMEOUT(dialogs.Seen.size(), 3, 10000);
  QCOMPARE(dialogs.Seen[2].Text, QStringLiteral("Export afgebroken. Er is geen map gemaakt."));
  for (const auto &entry : fs::directory_iterator(kit.Folder))
    QVERIFY2(!entry.is_directory(), entry.path().string().c_str());
  kit.Layer.ReadDelayMs = 0;

  // Return takes the proposed folder, at 22050 Hz mono by default.
  dialogs.Do([](QWidget *AAsk) {
    QCOMPARE(AAsk->findChild<QComboBox *>(QStringLiteral("cbExportRate"))->currentText(),
             QStringLiteral("22050 Hz"));
    QVERIFY(AAsk->findChild<QCheckBox *>(QStringLiteral("chkExportMono"))->isChecked());
    QTest::keyClick(AAsk->findChild<QLineEdit *>(QStringLiteral("edtFolder")), Qt::Key_Return);
  });
  dialogs.Leave(); // the progress, left to run
  Key(w, Qt::Key_E);
  QTRY_COMPARE_WITH_TIMEOUT(dialogs.Seen.size(), 6, 20000);
  const fs::path set = kit.Folder / "dataset";
  QCOMPARE(dialogs.Seen[5].Text,
           QStringLiteral("Dataset klaar: 2 opname(s) in \"%1\".\nZonder gekozen opname (1): b.")
               .arg(NativeTakePath(set)));
  QCOMPARE(FileText(set / "metadata.csv"), std::string("a|Een|Een\nc|Drie|Drie\n"));
  QVERIFY(fs::exists(set / "wavs" / "a.wav") && fs::exists(set / "wavs" / "c.wav"));
  QVERIFY(!fs::exists(set / "wavs" / "b.wav"));
  const auto header = test::ReadBytes(set / "wavs" / "c.wav");
  QVERIFY(header.size() > 44);
  QCOMPARE(header[22], std::uint8_t(1)); // mono
  QCOMPARE(header[24] | (header[25] << 8) | (header[26] << 16), 22050);
  const std::string takes = FileText(set / "opnames.tsv");
  QVERIFY2(takes.find("\nKoor-2.wav\tc\t\t") != std::string::npos &&
               takes.find("\nKoor-3.wav\tc\tgekozen\t") != std::string::npos,
           takes.c_str());

  // The same folder again is refused before anything is written. Its options, reached
  // by Tab and ticked by Space, are kept, and only those.
  dialogs.Do([&set](QWidget *AAsk) {
    auto *folder = AAsk->findChild<QLineEdit *>(QStringLiteral("edtFolder"));
    folder->selectAll();
    QTest::keyClicks(folder, NativeTakePath(set));
    const auto press = [](Qt::Key AKey) { QTest::keyClick(QApplication::focusWidget(), AKey); };
    for (int i = 0; i < 8 && QApplication::focusWidget()->objectName() != "chkExportSkip"; ++i)
      press(Qt::Key_Tab);
    press(Qt::Key_Space);
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("chkExportMargin"));
    press(Qt::Key_Space);
    QVERIFY(AAsk->findChild<QCheckBox *>(QStringLiteral("chkExportSkip"))->isChecked());
    QTest::keyClick(folder, Qt::Key_Return);
  });
  Key(w, Qt::Key_E);
  QTRY_COMPARE_WITH_TIMEOUT(dialogs.Seen.size(), 8, 10000);
  QVERIFY2(dialogs.Seen[7].Text.contains(QStringLiteral("bestaat al en is niet leeg")),
           qPrintable(dialogs.Seen[7].Text));
  QCOMPARE(FileText(set / "metadata.csv"), std::string("a|Een|Een\nc|Drie|Drie\n"));
  kit.Win.reset();
  QCOMPARE(kit.Setting("Export", "OpmerkingenOverslaan"), std::string("1"));
  QCOMPARE(kit.Setting("Export", "StilteInkorten"), std::string("1"));
  for (const char *untouched : {"MargeMs", "LuidheidGelijk", "LuidheidLufs", "Bestandsformaat"})
    QCOMPARE(kit.Setting("Export", untouched), std::string("<none>"));
}

// Without a list the window and the session folder are as they always were: no text
// column, bare take names, no file of the list's, and its keys do nothing harmful.
void TestTextList::sessionWithoutListIsAsBefore()
{
  TListKit kit;
  auto &w = kit.OpenOn();
  TDialogs dialogs;
  Key(w, Qt::Key_Right);
  Key(w, Qt::Key_Down);
  kit.Take();
  QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav")});
  Key(w, Qt::Key_R);
  kit.Feed(Level(0.5, 9000));
  Key(w, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier); // no retake without a text
  QCOMPARE(w.Flow().State(), TTakeState::Recording);
  Key(w, Qt::Key_S);
  kit.Settle();
  Key(w, Qt::Key_K);
  QCOMPARE(dialogs.Texts(), QStringList{QStringLiteral("Deze sessie heeft geen tekstlijst.")});
  Key(w, Qt::Key_E);
  QCOMPARE(dialogs.Texts().size(), 2);
  QCOMPARE(w.width(), 924);
  QVERIFY(!w.Controls().pnlText->isVisible());
  QStringList files;
  for (const auto &entry : fs::directory_iterator(kit.Folder))
    files << QString::fromStdString(entry.path().filename().string());
  files.sort();
  QCOMPARE(files, (QStringList{QStringLiteral("Koor-1.wav"), QStringLiteral("Koor-2.wav")}));
  kit.Win.reset();
  QCOMPARE(kit.Setting("Opname", "NaOpnameVolgendeTekst"), std::string("<none>"));
}

namespace {

std::string Words(int ACount)
{
  static const char *const words[] = {"de", "kat", "krabt", "krullen", "van", "trap",
                                      "zonder", "ooit", "moe", "te", "worden"};
  std::string text;
  for (int i = 0; i < ACount; ++i)
    text += std::string(i == 0 ? "" : " ") + words[i % 11];
  return text + " slotwoord.";
}

// Clicks the far end of a scroll bar until it reaches it.
void ScrollToEnd(QScrollBar *ABar)
{
  for (int i = 0; i < 40 && ABar->value() < ABar->maximum(); ++i)
    QTest::mouseClick(ABar, Qt::LeftButton, {}, ABar->rect().bottomRight() - QPoint(2, 2));
  QTRY_COMPARE_WITH_TIMEOUT(ABar->value(), ABar->maximum(), 10000);
}

} // namespace

// The window with a list fits a screen of 1280 x 800 with room for its frame, a title
// bar and the desktop's panel, with nothing to scroll. A text too long for the column
// gets a smaller font, down to 14 pt, and beyond that scrolls there: every line of it,
// the last word too, is drawn within the column where the user sees it.
// (Also run on a 1280 x 800 screen: ui_text_column_1280.)
void TestTextList::longTextsFitTheColumn()
{
  TListKit kit;
  auto &w = kit.OpenOn();
  kit.WriteList("kort\tDe kat krabt de krullen van de trap.\nlang\t" + Words(50) +
                "\neindeloos\t" + Words(260) + "\n");
  Key(w, Qt::Key_T);
  const QSize outer = w.frameGeometry().size();
  QVERIFY2(outer.width() <= 1270 && outer.height() <= 740,
           qPrintable(QStringLiteral("%1x%2").arg(outer.width()).arg(outer.height())));
  QScrollArea *page = w.Controls().scrMain;
  QTRY_VERIFY(!page->horizontalScrollBar()->isVisible() && !page->verticalScrollBar()->isVisible());

  auto *text = w.Controls().pnlText->findChild<QLabel *>(QStringLiteral("lblTextItem"));
  auto *column = w.Controls().pnlText->findChild<QScrollArea *>();
  QVERIFY(text != nullptr && column != nullptr);
  struct TExpect {
    int MinPt, MaxPt;
    bool Scrolls;
  };
  for (const TExpect expect :
       {TExpect{20, 20, false}, TExpect{15, 19, false}, TExpect{14, 14, true}}) {
    const int pt = text->font().pointSize();
    QVERIFY2(pt >= expect.MinPt && pt <= expect.MaxPt, qPrintable(QString::number(pt)));
    QTRY_COMPARE(column->verticalScrollBar()->isVisible(), expect.Scrolls);
    if (expect.Scrolls)
      ScrollToEnd(column->verticalScrollBar());
    // Where the label draws its last line, in the window: inside the column's view,
    // and that inside the window.
    const QRect drawn = text->fontMetrics().boundingRect(
        QRect(0, 0, text->width(), 1 << 20), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
        text->text());
    const int line = text->fontMetrics().height();
    const QRect lastLine(text->mapTo(&w, QPoint(0, drawn.height() - line)),
                         QSize(drawn.width(), line));
    const QRect view(column->viewport()->mapTo(&w, QPoint(0, 0)), column->viewport()->size());
    QVERIFY2(view.contains(lastLine) && w.rect().contains(view),
             qPrintable(QStringLiteral("%1 pt: last line %2,%3 %4x%5 in view %6,%7 %8x%9")
                            .arg(pt).arg(lastLine.x()).arg(lastLine.y()).arg(lastLine.width())
                            .arg(lastLine.height()).arg(view.x()).arg(view.y()).arg(view.width())
                            .arg(view.height())));
    Key(w, Qt::Key_Right);
  }
}

int main(int argc, char **argv)
{
  TestTextList tests;
  return RunWindowTests(argc, argv, tests);
}

#include "test_text_list.moc"
