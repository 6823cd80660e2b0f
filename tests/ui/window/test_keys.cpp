// Keys of the user's own choosing: given in the dialog "Toetsen" with real key presses,
// working wherever the focus is in the window and in a window attached to the keys,
// refused where another command has the key, all back to the defaults with
// "Standaard", and kept in the settings file across a restart.

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

#include "support/WindowKit.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/KeyBindings.h"

using namespace praatkist;
using namespace praatkist::ui;
using namespace praatkist::test::window;

namespace {

const QString RecordLabel = QStringLiteral("Opname starten, pauzeren of hervatten");

// A key of the window, as the user types it while the window is the active one.
void Key(QWidget &AWindow, Qt::Key AKey, Qt::KeyboardModifiers AMods = Qt::ControlModifier)
{
  QApplication::setActiveWindow(&AWindow);
  QTest::keyClick(AWindow.focusWidget() ? AWindow.focusWidget() : &AWindow, AKey, AMods);
  WaitIdle(&AWindow);
}

QTreeWidgetItem *Row(QWidget *ADialog, const QString &ALabel)
{
  auto *list = ADialog->findChild<QTreeWidget *>(QStringLiteral("lstKeys"));
  if (list == nullptr)
    return nullptr;
  const auto found = list->findItems(ALabel, Qt::MatchExactly, 0);
  return found.isEmpty() ? nullptr : found.first();
}

// In the keys' dialog: a click on the command's row, a click on the key field, the key.
void GiveKey(QWidget *ADialog, const QString &ALabel, Qt::Key AKey,
             Qt::KeyboardModifiers AMods = Qt::NoModifier)
{
  QTreeWidgetItem *row = Row(ADialog, ALabel);
  QVERIFY2(row != nullptr, qPrintable(ALabel));
  QTreeWidget *list = row->treeWidget();
  list->scrollToItem(row);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(row).center());
  auto *field = ADialog->findChild<QLineEdit *>(QStringLiteral("edtKey"));
  QVERIFY(field != nullptr);
  QTest::mouseClick(field, Qt::LeftButton);
  QTest::keyClick(field, AKey, AMods);
}

QStringList PressKeys(TPanelButton *AButton)
{
  return QAccessible::queryAccessibleInterface(AButton)->actionInterface()->keyBindingsForAction(
      QAccessibleActionInterface::pressAction());
}

// The kit with a session "Koor" holding one take.
struct TKeysKit : TWindowKit {
  explicit TKeysKit(const std::string &ASettings = "[Opname]\r\n") : TWindowKit(ASettings)
  {
    WriteWave(Session("Koor") / "Koor-1.wav", Level(1.0, 9000));
  }

  TfrmMain &OpenOn()
  {
    auto &w = Open();
    Pick(QStringLiteral("Koor"));
    return w;
  }

  bool Recording() const { return Win->Flow().State() == TTakeState::Recording; }
};

} // namespace

class TestKeys : public QObject {
  Q_OBJECT

private slots:
  void keyGivenInTheDialogWorksInTheTakeListAndAfterARestart();
  void focusedControlDoesNotKeepACommandsKey_data();
  void focusedControlDoesNotKeepACommandsKey();
  void keyAnotherCommandHasIsRefused();
  void standardGivesEveryCommandItsDefaultAgain();
  void attachedWindowAnswersTheKeysAndTheirChanges();
};

void TestKeys::keyGivenInTheDialogWorksInTheTakeListAndAfterARestart()
{
  TKeysKit kit;
  auto &w = kit.OpenOn();
  TDialogs dialogs;
  dialogs.Do([](QWidget *ADialog) {
    GiveKey(ADialog, RecordLabel, Qt::Key_F9);
    QCOMPARE(Row(ADialog, RecordLabel)->text(1), QStringLiteral("F9"));
    QTest::keyClick(ADialog->focusWidget(), Qt::Key_Return); // OK
  });
  QTest::mouseClick(w.Controls().btnKeys->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.value(0).Title, QStringLiteral("Toetsen"));
  // kept at once, and only what differs from the defaults
  QCOMPARE(kit.Setting("Toetsen", "Opname"), std::string("F9"));
  QCOMPARE(kit.Setting("Toetsen", "Stoppen"), std::string("<none>"));
  QCOMPARE(PressKeys(w.Controls().btnRecord), QStringList{QStringLiteral("F9")});

  ClickRow(w.Controls().lbRecordings, 0);
  QCOMPARE(w.focusWidget(), w.Controls().lbRecordings);
  Key(w, Qt::Key_Pause, Qt::NoModifier); // pauses a take, never starts one
  Key(w, Qt::Key_R);                     // no longer the record key
  QVERIFY(!kit.Recording());
  Key(w, Qt::Key_F9, Qt::NoModifier);
  QVERIFY(kit.Recording());
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Koor-2.wav"));
  Key(w, Qt::Key_Pause, Qt::NoModifier);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Gepauzeerd: Koor-2.wav"));
  Key(w, Qt::Key_Pause, Qt::NoModifier);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Koor-2.wav"));
  kit.Feed(Level(0.5, 9000));
  Key(w, Qt::Key_S);
  QVERIFY(!kit.Recording());
  QCOMPARE(kit.Entries().size(), 2);

  auto &again = kit.OpenOn();
  ClickRow(again.Controls().lbRecordings, 0);
  Key(again, Qt::Key_F9, Qt::NoModifier);
  QVERIFY(kit.Recording());
  QCOMPARE(dialogs.Seen.size(), 1);
}

void TestKeys::focusedControlDoesNotKeepACommandsKey_data()
{
  QTest::addColumn<QString>("key");
  QTest::addColumn<int>("tabs"); // from the session list
  QTest::addColumn<QString>("focused");
  // cbBitrate is skipped while WAV is chosen
  QTest::newRow("Page Down in the device list") << "PgDown" << 1 << "cbDevice";
  QTest::newRow("Page Down in the take list") << "PgDown" << 4 << "lbRecordings";
  QTest::newRow("Space on a check box") << "Space" << 6 << "chkMono";
}

// The key reaches the command, not the control: no list moves or opens, no box is
// ticked.
void TestKeys::focusedControlDoesNotKeepACommandsKey()
{
  QFETCH(QString, key);
  QFETCH(int, tabs);
  QFETCH(QString, focused);
  TKeysKit kit("[Opname]\r\n[Toetsen]\r\nOpname=" + key.toStdString() + "\r\n");
  WriteWave(kit.Root / "Koor" / "Koor-2.wav", Level(1.0, 9000));
  auto &w = kit.OpenOn();
  QCOMPARE(w.focusWidget(), w.Controls().cbSession); // where the session was chosen
  for (int i = 0; i < tabs; ++i)
    Key(w, Qt::Key_Tab, Qt::NoModifier);
  QCOMPARE(w.focusWidget()->objectName(), focused);
  const int format = w.Controls().cbFormat->currentIndex();
  const int device = w.Controls().cbDevice->currentIndex();
  const int row = w.Controls().lbRecordings->currentIndex().row();
  Key(w, QKeySequence::fromString(key, QKeySequence::PortableText)[0].key(), Qt::NoModifier);
  QVERIFY(kit.Recording());
  QCOMPARE(w.Controls().lbRecordings->currentIndex().row(), row);
  QCOMPARE(w.Controls().cbDevice->currentIndex(), device);
  QVERIFY(!w.Controls().chkMono->isChecked());
  QVERIFY(!w.Controls().cbFormat->view()->isVisible());
  QCOMPARE(w.Controls().cbFormat->currentIndex(), format);
}

void TestKeys::keyAnotherCommandHasIsRefused()
{
  TKeysKit kit;
  auto &w = kit.OpenOn();
  TDialogs dialogs;
  dialogs.Do([](QWidget *ADialog) {
    GiveKey(ADialog, RecordLabel, Qt::Key_S, Qt::ControlModifier); // Stoppen's
    QCOMPARE(Row(ADialog, RecordLabel)->text(1), QStringLiteral("Ctrl+R"));
    QTest::keyClick(ADialog->focusWidget(), Qt::Key_Return); // OK
  });
  dialogs.Click(QStringLiteral("OK")); // the message
  QTest::mouseClick(w.Controls().btnKeys->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 2);
  QCOMPARE(dialogs.Seen[1].Title, QStringLiteral("Fout"));
  QCOMPARE(dialogs.Seen[1].Text,
           QStringLiteral("Ctrl+S is al de toets van \"Stoppen\". Kies een andere toets voor \"") +
               RecordLabel + QStringLiteral("\"."));
  QCOMPARE(kit.Setting("Toetsen", "Opname"), std::string("<none>"));
  Key(w, Qt::Key_R);
  QVERIFY(kit.Recording());
  Key(w, Qt::Key_S);
  QVERIFY(!kit.Recording());
}

void TestKeys::standardGivesEveryCommandItsDefaultAgain()
{
  TKeysKit kit("[Opname]\r\n[Toetsen]\r\nOpname=F9\r\nStoppen=F7\r\nVooropname=F6\r\n"
               "Volgende=PgDown\r\n");
  auto &w = kit.OpenOn();
  // the hints name the keys
  QCOMPARE(PressKeys(w.Controls().btnStop), QStringList{QStringLiteral("F7")});
  QVERIFY2(w.Controls().chkPreRoll->toolTip().endsWith(QStringLiteral("(F6)")),
           qPrintable(w.Controls().chkPreRoll->toolTip()));
  QVERIFY(w.Controls().lblTextKeys->text().startsWith(QStringLiteral("PgDown volgende \u00B7 ")));
  TDialogs dialogs;
  // by the keyboard alone: Alt+S is "Standaard", Return is OK
  dialogs.Do([](QWidget *ADialog) {
    QTest::keyClick(ADialog->focusWidget(), Qt::Key_S, Qt::AltModifier);
    QCOMPARE(Row(ADialog, RecordLabel)->text(1), QStringLiteral("Ctrl+R"));
    QTest::keyClick(ADialog->focusWidget(), Qt::Key_Return);
  });
  Key(w, Qt::Key_Comma);
  QCOMPARE(dialogs.Seen.value(0).Title, QStringLiteral("Toetsen"));
  QCOMPARE(kit.Setting("Toetsen", "Opname"), std::string("Ctrl+R"));
  QCOMPARE(kit.Setting("Toetsen", "Stoppen"), std::string("Ctrl+S"));
  QCOMPARE(PressKeys(w.Controls().btnStop), QStringList{QStringLiteral("Ctrl+S")});
  QVERIFY(w.Controls().chkPreRoll->toolTip().endsWith(QStringLiteral("(Alt+V)")));
  QVERIFY(w.Controls().lblTextKeys->text().startsWith(
      QStringLiteral("Ctrl+\u2192 volgende \u00B7 Ctrl+\u2190 vorige \u00B7 ")));
  Key(w, Qt::Key_F9, Qt::NoModifier);
  QVERIFY(!kit.Recording());
  Key(w, Qt::Key_R);
  QVERIFY(kit.Recording());
}

void TestKeys::attachedWindowAnswersTheKeysAndTheirChanges()
{
  TKeysKit kit;
  auto &w = kit.OpenOn();
  QWidget speaker;
  speaker.setWindowTitle(QStringLiteral("Spreker"));
  auto *note = new QLineEdit(&speaker);
  speaker.show();
  QVERIFY(QTest::qWaitForWindowExposed(&speaker));
  w.KeyBindings().AttachWindow(&speaker);
  QApplication::setActiveWindow(&speaker);
  QTest::mouseClick(note, Qt::LeftButton);
  QCOMPARE(speaker.focusWidget(), note);
  Key(speaker, Qt::Key_R);
  QVERIFY(kit.Recording());
  Key(speaker, Qt::Key_S);
  QVERIFY(!kit.Recording());
  kit.Settle();

  // Home, which a text box keeps for itself, once it is the record key
  TDialogs dialogs;
  dialogs.Do([](QWidget *ADialog) {
    GiveKey(ADialog, RecordLabel, Qt::Key_Home);
    QTest::keyClick(ADialog->focusWidget(), Qt::Key_Return);
  });
  QApplication::setActiveWindow(&w);
  QTest::mouseClick(w.Controls().btnKeys->Text, Qt::LeftButton);
  Key(speaker, Qt::Key_R);
  QVERIFY(!kit.Recording());
  Key(speaker, Qt::Key_Home, Qt::NoModifier);
  QVERIFY(kit.Recording());
  Key(speaker, Qt::Key_S);
  kit.Settle();

  w.KeyBindings().DetachWindow(&speaker);
  Key(speaker, Qt::Key_Home, Qt::NoModifier);
  QVERIFY(!kit.Recording());
}

int main(int argc, char **argv)
{
  TestKeys tests;
  return RunWindowTests(argc, argv, tests);
}

#include "test_keys.moc"
