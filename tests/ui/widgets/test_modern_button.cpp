// TModernButton: its look in the four states, its clicks and the modal result it
// hands to its window; and the font stand-ins its caption relies on.

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QFontInfo>
#include <QFrame>
#include <QPointer>
#include <QSignalSpy>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include "ui/style/Fonts.h"
#include "ui/widgets/ModernButton.h"

using namespace praatkist::ui;

namespace {

constexpr QRgb Background = 0x1B1D21;

QRgb Rgb(const QImage &image, int x, int y)
{
  return image.pixel(x, y) & 0xFFFFFF;
}

QString Hex(QRgb rgb)
{
  return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

// A window in the dialogs' background colour with one button at (10, 10).
struct THost {
  QWidget window;
  TModernButton *button;

  THost()
  {
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(Background));
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    window.resize(200, 80);
    button = new TModernButton(&window);
    button->move(10, 10);
    button->SetCaption(QStringLiteral("OK"));
    window.show();
  }
  // Leaves the pointer where the next host's button is not.
  ~THost() { PointerAway(); }

  // What the window shows where the button sits.
  QImage Picture() { return window.grab(button->geometry()).toImage(); }

  // Real pointer moves through the window, over the button and away from it.
  void PointerOver() { QTest::mouseMove(&window, button->geometry().center()); }
  void PointerAway() { QTest::mouseMove(&window, QPoint(195, 75)); }
};

// The pointer notifications on their own, as the windowing system reports them.
void Enter(QWidget *w)
{
  const QPointF local(w->width() / 2.0, w->height() / 2.0);
  QEnterEvent event(local, w->mapTo(w->window(), local), w->mapToGlobal(local));
  QApplication::sendEvent(w, &event);
}

void Leave(QWidget *w)
{
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(w, &event);
}

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
public:
  int Count = 0;

protected:
  bool eventFilter(QObject *, QEvent *event) override
  {
    if (event->type() == QEvent::Paint)
      ++Count;
    return false;
  }
};

} // namespace

class TestModernButton : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  void fontStandIns();
  void hoverColor_data();
  void hoverColor();
  void pixelsInTheFourStates_data();
  void pixelsInTheFourStates();
  void pressedLookEndsOnLeaveAndOnDisable();
  void sameAccentDoesNotRepaint();
  void longCaptionStaysOnOneLineWithinTheBorder();
  void clickNeedsLeftPressAndReleaseOverTheButton();
  void modalResultClosesTheEnclosingDialog_data();
  void modalResultClosesTheEnclosingDialog();
  void modalResultZeroOnlyClicks();
  void screenReaderAndKeysPressIt();
};

void TestModernButton::fontStandIns()
{
  const QFontInfo sans(DesignFontPt(SegoeUI, 10));
  QCOMPARE(sans.family(), QStringLiteral("Open Sans"));
  QCOMPARE(sans.weight(), int(QFont::Normal));

  const QFontInfo semibold(DesignFontPt(SegoeUISemibold, 10));
  QCOMPARE(semibold.family(), QStringLiteral("Open Sans"));
  QCOMPARE(semibold.weight(), int(QFont::DemiBold));

  const QFontInfo semiboldBold(DesignFontPx(SegoeUISemibold, 29, true));
  QCOMPARE(semiboldBold.weight(), int(QFont::Bold));

  const QFontInfo mono(DesignFontPx(Consolas, 33, true));
  QVERIFY2(mono.family() == QStringLiteral("Inconsolata") ||
               mono.family() == QStringLiteral("DejaVu Sans Mono"),
           qPrintable(mono.family()));
  QVERIFY(mono.fixedPitch());

  // The about glyph of the main window comes from Symbola, the rest from Open Sans.
  QTextLayout layout(QStringLiteral("\u24D8 OVER"), DesignFontPx(SegoeUI, 23, true));
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  QStringList families;
  for (const QGlyphRun &run : layout.glyphRuns())
    families << run.rawFont().familyName().toLower();
  QVERIFY2(families.contains(QStringLiteral("symbola")), qPrintable(families.join(',')));
  QVERIFY2(families.contains(QStringLiteral("open sans")), qPrintable(families.join(',')));
}

void TestModernButton::hoverColor_data()
{
  QTest::addColumn<QRgb>("accent");
  QTest::addColumn<QRgb>("hover");
  QTest::newRow("red") << QRgb(0xCE4D4D) << QRgb(0xDE5D5D);
  QTest::newRow("blue") << QRgb(0x366BA7) << QRgb(0x467BB7);
  QTest::newRow("grey") << QRgb(0x383C43) << QRgb(0x484C53);
  QTest::newRow("default") << QRgb(0x359AD9) << QRgb(0x45AAE9);
  // Components that would pass 255 stay at 255 instead of spilling into their neighbour.
  QTest::newRow("held at white") << QRgb(0xF8F00F) << QRgb(0xFFFF1F);
}

void TestModernButton::hoverColor()
{
  QFETCH(QRgb, accent);
  QFETCH(QRgb, hover);
  QCOMPARE(Hex(HoverColor(QColor::fromRgb(accent)).rgb()), Hex(hover));
}

void TestModernButton::pixelsInTheFourStates_data()
{
  QTest::addColumn<QRgb>("accent");
  QTest::newRow("red") << QRgb(0xCE4D4D);
  QTest::newRow("blue") << QRgb(0x366BA7);
  QTest::newRow("grey") << QRgb(0x383C43);
}

void TestModernButton::pixelsInTheFourStates()
{
  QFETCH(QRgb, accent);
  THost host;
  TModernButton *b = host.button;
  b->SetAccentColor(QColor::fromRgb(accent));
  QVERIFY(QTest::qWaitForWindowExposed(&host.window));
  QCOMPARE(b->size(), QSize(150, 38));

  // Away from the caption: left and right of it, on the middle row.
  const int mid = 19;
  const auto expectLook = [&](const char *state, QRgb fill, QRgb border) {
    fill &= 0xFFFFFF;
    border &= 0xFFFFFF;
    const QImage img = host.Picture();
    const QString where = QString::fromLatin1(state);
    QVERIFY2(Rgb(img, 0, 0) == Background, qPrintable(where + " corner " + Hex(Rgb(img, 0, 0))));
    QVERIFY2(Rgb(img, 75, 0) == Background, qPrintable(where + " margin " + Hex(Rgb(img, 75, 0))));
    QVERIFY2(Rgb(img, 0, mid) == Background, qPrintable(where + " margin"));
    QVERIFY2(Rgb(img, 1, mid) == border, qPrintable(where + " border " + Hex(Rgb(img, 1, mid))));
    QVERIFY2(Rgb(img, 148, mid) == border, qPrintable(where + " border"));
    QVERIFY2(Rgb(img, 75, 1) == border, qPrintable(where + " border " + Hex(Rgb(img, 75, 1))));
    for (int x : {8, 30, 120, 141})
      QVERIFY2(Rgb(img, x, mid) == fill,
               qPrintable(where + " fill " + Hex(Rgb(img, x, mid)) + " wanted " + Hex(fill)));
    QVERIFY2(Rgb(img, 75, 4) == fill, qPrintable(where + " fill above the caption"));
  };

  expectLook("normal", accent, accent);

  host.PointerOver();
  QVERIFY(b->IsHover());
  expectLook("hover", HoverColor(QColor::fromRgb(accent)).rgb(), accent);

  const QRgb shadow = QGuiApplication::palette().color(QPalette::Active, QPalette::Dark).rgb();
  QVERIFY(Hex(shadow) != Hex(accent));
  QTest::mousePress(b, Qt::LeftButton, {}, QPoint(75, mid));
  QVERIFY(b->IsPressed());
  expectLook("pressed", shadow, accent);
  QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(75, mid));
  QVERIFY(!b->IsPressed());
  expectLook("hover after release", HoverColor(QColor::fromRgb(accent)).rgb(), accent);

  host.PointerAway();
  QVERIFY(!b->IsHover());
  expectLook("normal after leave", accent, accent);

  b->setEnabled(false);
  expectLook("disabled", TModernButton::DisabledFill, TModernButton::DisabledBorder);
  // Pointer and press leave the disabled look alone.
  const QImage disabled = host.Picture();
  host.PointerOver();
  QTest::mousePress(b, Qt::LeftButton, {}, QPoint(75, mid));
  QVERIFY(!b->IsPressed());
  QCOMPARE(host.Picture(), disabled);
  QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(75, mid));

  // The caption is drawn in the disabled grey: no pixel is brighter than it.
  QRgb brightest = 0;
  for (int y = 2; y < disabled.height() - 2; ++y)
    for (int x = 2; x < disabled.width() - 2; ++x)
      if (qGray(disabled.pixel(x, y)) > qGray(brightest))
        brightest = Rgb(disabled, x, y);
  QCOMPARE(Hex(brightest), Hex(TModernButton::DisabledText));
}

void TestModernButton::pressedLookEndsOnLeaveAndOnDisable()
{
  THost host;
  TModernButton *b = host.button;
  QVERIFY(QTest::qWaitForWindowExposed(&host.window));
  Enter(b);
  QTest::mousePress(b, Qt::LeftButton, {}, QPoint(75, 19));
  QVERIFY(b->IsPressed());
  Leave(b);
  QVERIFY(!b->IsPressed());
  QVERIFY(!b->IsHover());
  QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(75, 19));

  QTest::mousePress(b, Qt::LeftButton, {}, QPoint(75, 19));
  QVERIFY(b->IsPressed());
  b->setEnabled(false);
  QVERIFY(!b->IsPressed());
  b->setEnabled(true);
  QVERIFY(!b->IsPressed());
  // A right press never shows the pressed look.
  QTest::mousePress(b, Qt::RightButton, {}, QPoint(75, 19));
  QVERIFY(!b->IsPressed());
  QTest::mouseRelease(b, Qt::RightButton, {}, QPoint(75, 19));
}

void TestModernButton::sameAccentDoesNotRepaint()
{
  THost host;
  TModernButton *b = host.button;
  // A witness beside the button: the window paints every widget marked dirty in one
  // pass, so once the witness has been painted again, a repaint of the button would
  // have come with it.
  auto *witness = new QWidget(&host.window);
  witness->setGeometry(170, 10, 20, 20);
  witness->show();
  QVERIFY(QTest::qWaitForWindowExposed(&host.window));
  TPaintCounter counter, witnessed;
  b->installEventFilter(&counter);
  witness->installEventFilter(&witnessed);
  QCoreApplication::processEvents();
  const int before = counter.Count;

  b->SetAccentColor(b->AccentColor());
  const int witnessedBefore = witnessed.Count;
  witness->update();
  QTRY_VERIFY(witnessed.Count > witnessedBefore);
  QCOMPARE(counter.Count, before);

  b->SetAccentColor(QColor::fromRgb(0xCE4D4D));
  QTRY_VERIFY(counter.Count > before);
  QCOMPARE(Rgb(host.Picture(), 8, 19), QRgb(0xCE4D4D));
}

void TestModernButton::longCaptionStaysOnOneLineWithinTheBorder()
{
  THost host;
  TModernButton *b = host.button;
  b->SetCaption(QStringLiteral("EEN VEEL TE LANG OPSCHRIFT VOOR DEZE KNOP MET ZIJN 150 PIXELS"));
  QVERIFY(QTest::qWaitForWindowExposed(&host.window));
  const QImage img = host.Picture();
  const QRgb fill = b->AccentColor().rgb() & 0xFFFFFF;

  // The border and the rows above and below a single line of text stay untouched.
  for (int y = 7; y < 31; ++y)
    QCOMPARE(Hex(Rgb(img, 1, y)), Hex(fill));
  for (int x = 8; x < 142; ++x) {
    QCOMPARE(Hex(Rgb(img, x, 4)), Hex(fill));
    QCOMPARE(Hex(Rgb(img, x, 33)), Hex(fill));
  }
  // The one line uses nearly the whole width: the caption is shortened, not hidden.
  int left = 150, right = -1;
  for (int y = 8; y < 30; ++y)
    for (int x = 2; x < 148; ++x)
      if (Rgb(img, x, y) != fill) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  QVERIFY2(left <= 15 && right >= 135, qPrintable(QStringLiteral("%1..%2").arg(left).arg(right)));
}

void TestModernButton::clickNeedsLeftPressAndReleaseOverTheButton()
{
  THost host;
  TModernButton *b = host.button;
  QVERIFY(QTest::qWaitForWindowExposed(&host.window));
  QSignalSpy clicks(b, &TModernButton::OnClick);

  QTest::mouseClick(b, Qt::LeftButton);
  QCOMPARE(clicks.count(), 1);

  QTest::mouseClick(b, Qt::RightButton);
  QCOMPARE(clicks.count(), 1);

  // Pressed on the button, released beside it: no click.
  QTest::mousePress(b, Qt::LeftButton, {}, QPoint(75, 19));
  QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(160, 19));
  QCOMPARE(clicks.count(), 1);

  b->setEnabled(false);
  QTest::mouseClick(b, Qt::LeftButton);
  QCOMPARE(clicks.count(), 1);
}

void TestModernButton::modalResultClosesTheEnclosingDialog_data()
{
  QTest::addColumn<int>("modalResult");
  QTest::newRow("OK") << mrOk;
  QTest::newRow("Cancel") << mrCancel;
  QTest::newRow("other") << 7;
}

void TestModernButton::modalResultClosesTheEnclosingDialog()
{
  QFETCH(int, modalResult);
  // The button sits in a panel inside a frame inside the dialog: the walk up
  // passes over every parent that is not a window.
  QDialog dialog;
  dialog.resize(300, 200);
  auto *panel = new QFrame(&dialog);
  panel->setGeometry(10, 10, 280, 180);
  auto *inner = new QFrame(panel);
  inner->setGeometry(10, 10, 260, 160);
  auto *b = new TModernButton(inner);
  b->move(20, 20);
  b->SetModalResult(modalResult);
  QSignalSpy clicks(b, &TModernButton::OnClick);

  bool closedByClick = false;
  QTimer::singleShot(0, &dialog, [&] {
    QTest::mouseClick(b, Qt::LeftButton);
    closedByClick = !dialog.isVisible();
    if (!closedByClick)
      dialog.done(-1);
  });
  QCOMPARE(dialog.exec(), modalResult);
  QVERIFY(closedByClick);
  QCOMPARE(clicks.count(), 1);
}

void TestModernButton::modalResultZeroOnlyClicks()
{
  QDialog dialog;
  dialog.resize(300, 200);
  auto *panel = new QFrame(&dialog);
  panel->setGeometry(0, 0, 300, 200);
  auto *b = new TModernButton(panel);
  QCOMPARE(b->ModalResult(), mrNone);
  QSignalSpy clicks(b, &TModernButton::OnClick);

  bool openAfterClick = false;
  QTimer::singleShot(0, &dialog, [&] {
    QTest::mouseClick(b, Qt::LeftButton);
    openAfterClick = dialog.isVisible();
    dialog.done(42);
  });
  QCOMPARE(dialog.exec(), 42);
  QVERIFY(openAfterClick);
  QCOMPARE(clicks.count(), 1);

  // A button that is a window of its own has nothing to close.
  TModernButton loose;
  loose.SetModalResult(mrOk);
  loose.show();
  QVERIFY(QTest::qWaitForWindowExposed(&loose));
  QSignalSpy looseClicks(&loose, &TModernButton::OnClick);
  QTest::mouseClick(&loose, Qt::LeftButton);
  QCOMPARE(looseClicks.count(), 1);
  QVERIFY(loose.isVisible());
}

// A screen reader sees a push button named by its caption; its press action and the
// keys Space and Return click it like the mouse, and neither does while disabled.
void TestModernButton::screenReaderAndKeysPressIt()
{
  THost host;
  TModernButton *b = host.button;
  QVERIFY(QTest::qWaitForWindowExposed(&host.window));
  // The window is made the active one, as the user's click on it would, instead of
  // waiting for the platform to activate it.
  QApplication::setActiveWindow(&host.window);
  QSignalSpy clicks(b, &TModernButton::OnClick);
  QAccessibleInterface *a = QAccessible::queryAccessibleInterface(b);
  QVERIFY(a);
  QCOMPARE(a->role(), QAccessible::Button);
  QCOMPARE(a->text(QAccessible::Name), QStringLiteral("OK"));
  b->SetCaption(QStringLiteral("Wissen"));
  QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Wissen"));
  QVERIFY(a->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
  QVERIFY(a->state().focusable);
  QVERIFY(!a->state().disabled);

  a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QCOMPARE(clicks.count(), 1);
  // A click leaves the focus alone; Tab brings it, then the keys press.
  b->clearFocus();
  QTest::mouseClick(b, Qt::LeftButton);
  QVERIFY(!b->hasFocus());
  QCOMPARE(clicks.count(), 2);
  QTest::keyClick(&host.window, Qt::Key_Tab);
  QCOMPARE(host.window.focusWidget(), b);
  QVERIFY(b->hasFocus());
  QVERIFY(a->state().focused);
  QTest::keyClick(b, Qt::Key_Space);
  QTest::keyClick(b, Qt::Key_Return);
  QCOMPARE(clicks.count(), 4);

  b->setEnabled(false);
  QVERIFY(a->state().disabled);
  a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QTest::keyClick(b, Qt::Key_Space);
  QCOMPARE(clicks.count(), 4);
}

QTEST_MAIN(TestModernButton)
#include "test_modern_button.moc"
