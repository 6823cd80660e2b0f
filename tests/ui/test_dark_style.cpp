// The dark drop-down list of a combo box, opened with a real click.

#include <QAbstractItemView>
#include <QComboBox>
#include <QMap>
#include <QtTest>

#include "ui/DarkStyle.h"
#include "ui/Fonts.h"

using namespace praatkist::ui;

namespace {

QRgb Rgb(const QImage &image, int x, int y)
{
  return image.pixel(x, y) & 0xFFFFFF;
}

QString Hex(QRgb rgb)
{
  return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

} // namespace

class TestDarkStyle : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  void popupListIsDark()
  {
    // A window in the main window's colours, with a combo box as it makes them.
    QWidget window;
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(0x1B1D21));
    pal.setColor(QPalette::Base, QColor::fromRgb(0x282B31));
    pal.setColor(QPalette::Button, QColor::fromRgb(0x282B31));
    pal.setColor(QPalette::Text, QColor::fromRgb(0x8BE5E8));
    pal.setColor(QPalette::ButtonText, QColor::fromRgb(0x8BE5E8));
    window.setPalette(pal);
    window.resize(400, 300);
    auto *combo = new QComboBox(&window);
    combo->setGeometry(20, 20, 300, 25);
    combo->addItems({QStringLiteral("44100"), QStringLiteral("48000"), QStringLiteral("96000")});
    combo->setCurrentIndex(1);
    ApplyDarkPopup(combo);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(combo, Qt::LeftButton);
    QAbstractItemView *list = combo->view();
    QTRY_VERIFY(list->isVisible());
    QWidget *popup = list->window();
    QVERIFY(popup != &window);
    const QImage img = popup->grab().toImage();

    // The field colour fills the list, the chosen entry stands on blue, and the
    // other entries' text is the dialogs' light grey at its strongest.
    QMap<QRgb, int> counts;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        ++counts[Rgb(img, x, y)];
    QRgb most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
      if (it.value() > counts.value(most))
        most = it.key();
    QCOMPARE(Hex(most), QStringLiteral("#282B31"));
    const QRect chosen = list->visualRect(combo->model()->index(1, 0))
                             .translated(list->viewport()->mapTo(popup, QPoint(0, 0)));
    QCOMPARE(Hex(Rgb(img, chosen.left() + chosen.width() * 3 / 4, chosen.center().y())),
             QStringLiteral("#366BA7"));
    const QRect other = list->visualRect(combo->model()->index(2, 0))
                            .translated(list->viewport()->mapTo(popup, QPoint(0, 0)));
    QRgb brightest = 0;
    for (int y = other.top(); y <= other.bottom(); ++y)
      for (int x = other.left(); x <= other.right(); ++x)
        if (qGray(Rgb(img, x, y)) > qGray(brightest))
          brightest = Rgb(img, x, y);
    QCOMPARE(Hex(brightest), QStringLiteral("#E3E5E8"));
    QTest::keyClick(list, Qt::Key_Escape);
    QTRY_VERIFY(!list->isVisible());
  }
};

QTEST_MAIN(TestDarkStyle)
#include "test_dark_style.moc"
