// The themed button on a screen scaled by 2: its picture has the screen's device
// pixels, with a caption drawn at their resolution.

#include <QApplication>
#include <QtTest>

#include "ui/Fonts.h"
#include "ui/ModernButton.h"

using namespace praatkist::ui;

namespace {

QRgb Rgb(const QImage &image, int x, int y)
{
  return image.pixel(x, y) & 0xFFFFFF;
}

} // namespace

class TestScaledScreen : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  void buttonIsSharp()
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
    // The 1-pixel margin and outline are two device pixels each, the fill inside.
    const QRgb accent = b->AccentColor().rgb() & 0xFFFFFF;
    QCOMPARE(Rgb(img, 1, 38), QRgb(0x1B1D21));
    QCOMPARE(Rgb(img, 2, 38), accent);
    QCOMPARE(Rgb(img, 3, 38), accent);
    QCOMPARE(Rgb(img, 16, 38), accent);
    // The caption is not doubled pixels: many aligned 2 x 2 blocks hold more than one
    // colour.
    int fine = 0;
    for (int y = 10; y < 66; y += 2)
      for (int x = 20; x < 280; x += 2) {
        const QRgb c = Rgb(img, x, y);
        fine += Rgb(img, x + 1, y) != c || Rgb(img, x, y + 1) != c || Rgb(img, x + 1, y + 1) != c;
      }
    QVERIFY2(fine > 100, qPrintable(QString::number(fine)));
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
