// The speaker's window ("Tekst op tweede scherm") with screens plugged in and unplugged
// while the program runs: it opens on the other screen when the box is ticked, follows
// the text list and the take, takes the main window's keys, closes when its screen or
// the list goes, and comes back with the screen.

#include <QCheckBox>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QScreen>
#include <QtTest>

#include <qpa/qplatformnativeinterface.h>

#include "support/WindowKit.h"
#include "ui/flow/TakeFlow.h"
#include "ui/widgets/TextItemPanel.h"
#include "ui/window/SpeakerCommand.h"
#include "ui/window/SpeakerWindow.h"

using namespace praatkist;
using namespace praatkist::ui;
using namespace praatkist::test::window;

namespace {

// The main screen (of RunWindowTests, 1280 x 800) and the second one right of it.
const QRect MainScreen(0, 0, 1280, 800);
const QRect SecondScreen(1280, 0, 1920, 1080);

// Plugs the screens ARects in, the first being the main one, and unplugs the others,
// through the offscreen platform's configuration.
void PlugScreens(const QList<QRect> &ARects)
{
  QJsonArray screens;
  for (qsizetype i = 0; i < ARects.size(); ++i) {
    const QRect &r = ARects[i];
    screens.append(QJsonObject{
        {"name", i == 0 ? QStringLiteral("Scherm") : QStringLiteral("Scherm %1").arg(i + 1)},
        {"x", r.x()},
        {"y", r.y()},
        {"width", r.width()},
        {"height", r.height()},
        {"logicalDpi", 96},
        {"dpr", 1}});
  }
  QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
  using TConfigure = void (*)(const QJsonObject &, QPlatformNativeInterface *);
  auto configure =
      reinterpret_cast<TConfigure>(native->nativeResourceForIntegration("setConfiguration"));
  QVERIFY(configure != nullptr);
  configure(QJsonObject{{"screens", screens}}, native);
  QTRY_COMPARE(QGuiApplication::screens().size(), ARects.size());
}

void Key(QWidget *AWindow, Qt::Key AKey, Qt::KeyboardModifiers AMods = Qt::ControlModifier)
{
  QApplication::setActiveWindow(AWindow);
  QTest::keyClick(AWindow->focusWidget() ? AWindow->focusWidget() : AWindow, AKey, AMods);
  WaitIdle(AWindow);
}

// Sessions "Koor" with a list of three texts, and "Leeg" without one.
struct TSpeakerKit : TWindowKit {
  explicit TSpeakerKit(const std::string &ASettings = "[Opname]\r\n") : TWindowKit(ASettings)
  {
    Touch(Session("Koor") / "tekstlijst.txt", "a\tEen korte zin.\nb\tTwee\nc\tDrie keer is "
                                              "scheepsrecht, zegt men.\n");
    Session("Leeg");
  }

  TSpeakerWindow &Speaker() { return *Win->Speaker().Window(); }
  QCheckBox *Box() { return Win->Controls().chkSpeakerScreen; }
  void Tick() { QTest::mouseClick(Box(), Qt::LeftButton, {}, QPoint(8, Box()->height() / 2)); }
};

} // namespace

class TestSpeakerWindow : public QObject {
  Q_OBJECT

private slots:
  void init() { PlugScreens({MainScreen}); }
  void opensOnTheOtherScreenAndFollowsTheListAndTheTake();
  void storedChoiceWaitsForASecondScreen();
};

// Ticked by a click, the window fills the second screen with the text shown; keys in
// the main window and in the speaker's window move both; a take lights OPNAME with its
// clock; unplugging the screen closes the window and leaves the box ticked; plugging it
// in again brings it back; a session without a list closes it.
void TestSpeakerWindow::opensOnTheOtherScreenAndFollowsTheListAndTheTake()
{
  PlugScreens({MainScreen, SecondScreen});
  TSpeakerKit kit;
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QVERIFY(kit.Box()->isVisible() && kit.Box()->isEnabled());
  QVERIFY(!kit.Speaker().isVisible());
  kit.Tick();
  QTRY_VERIFY(kit.Speaker().isVisible());
  QCOMPARE(kit.Speaker().screen()->geometry(), SecondScreen);
  QCOMPARE(kit.Speaker().geometry(), SecondScreen);
  QCOMPARE(kit.Speaker().PlaceText(), QStringLiteral("a \u00B7 1 / 3"));
  QCOMPARE(kit.Speaker().ItemText(), QStringLiteral("Een korte zin."));
  QVERIFY2(kit.Speaker().TextPointSize() > 60,
           qPrintable(QString::number(kit.Speaker().TextPointSize())));

  Key(&w, Qt::Key_Right);
  QCOMPARE(kit.Speaker().ItemText(), QStringLiteral("Twee"));
  // The main window's keys, pressed in the speaker's window.
  Key(&kit.Speaker(), Qt::Key_Right);
  QCOMPARE(w.Controls().pnlText->PlaceText(), QStringLiteral("c \u00B7 3 / 3"));
  QCOMPARE(kit.Speaker().PlaceText(), QStringLiteral("c \u00B7 3 / 3"));
  Key(&kit.Speaker(), Qt::Key_R);
  QCOMPARE(w.Flow().State(), TTakeState::Recording);
  QCOMPARE(kit.Speaker().LampText(), QStringLiteral("\u25CF OPNAME"));
  kit.Feed(Level(1.0, 9000));
  kit.Now += 2000;
  QTRY_COMPARE(kit.Speaker().ClockText(), w.Controls().lblTime->text());
  QTRY_COMPARE(kit.Speaker().ClockText(), QStringLiteral("00:02"));
  Key(&w, Qt::Key_S);
  QCOMPARE(kit.Speaker().LampText(), QString());
  QCOMPARE(kit.Speaker().ClockText(), QString());

  const QRect mainAt = w.geometry();
  PlugScreens({MainScreen});
  QVERIFY(!kit.Speaker().isVisible());
  QVERIFY(kit.Box()->isChecked() && !kit.Box()->isEnabled());
  QCOMPARE(kit.Box()->toolTip(), QStringLiteral("Er is maar één scherm."));
  QVERIFY(w.isVisible());
  QCOMPARE(w.geometry(), mainAt);
  PlugScreens({MainScreen, SecondScreen});
  QTRY_VERIFY(kit.Speaker().isVisible());
  QCOMPARE(kit.Speaker().geometry(), SecondScreen);
  QVERIFY(kit.Box()->isEnabled());

  kit.Pick(QStringLiteral("Leeg"));
  QVERIFY(!kit.Speaker().isVisible());
  kit.Win.reset();
  QCOMPARE(kit.Setting("Opname", "TekstOpTweedeScherm"), std::string("1"));
}

// With one screen the box cannot be ticked and says why; a stored choice opens the
// window once a second screen is plugged in, and Alt+W in it unticks the box there.
void TestSpeakerWindow::storedChoiceWaitsForASecondScreen()
{
  TSpeakerKit kit("[Opname]\r\nTekstOpTweedeScherm=1\r\n");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QVERIFY(kit.Box()->isChecked() && !kit.Box()->isEnabled());
  QCOMPARE(kit.Box()->toolTip(), QStringLiteral("Er is maar één scherm."));
  kit.Tick();
  QVERIFY(kit.Box()->isChecked());
  QVERIFY(!kit.Speaker().isVisible());

  PlugScreens({MainScreen, SecondScreen});
  QTRY_VERIFY(kit.Speaker().isVisible());
  QCOMPARE(kit.Speaker().geometry(), SecondScreen);
  QCOMPARE(kit.Speaker().ItemText(), QStringLiteral("Een korte zin."));
  Key(&kit.Speaker(), Qt::Key_W, Qt::AltModifier);
  QTRY_VERIFY(!kit.Box()->isChecked());
  QVERIFY(!kit.Speaker().isVisible());
  QVERIFY(w.isVisible());
  kit.Win.reset();
  QCOMPARE(kit.Setting("Opname", "TekstOpTweedeScherm"), std::string("0"));
}

int main(int argc, char **argv)
{
  if (qEnvironmentVariableIsEmpty("PRAATKIST_TEST_SCREEN"))
    qputenv("PRAATKIST_TEST_SCREEN", "1280x800");
  TestSpeakerWindow tests;
  return RunWindowTests(argc, argv, tests);
}

#include "test_speaker_window.moc"
