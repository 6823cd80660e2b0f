// The dark drop-down list of a combo box, opened with a real click.

#include <QAbstractItemView>
#include <QComboBox>
#include <QtTest>

#include "ui/style/DarkStyle.h"
#include "ui/style/Fonts.h"

using namespace praatkist::ui;

class TestDarkStyle : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  void popupListIsDark()
  {
    QWidget window;
    window.resize(400, 300);
    auto *combo = new QComboBox(&window);
    combo->setGeometry(20, 20, 300, 25);
    combo->addItems({QStringLiteral("44100"), QStringLiteral("48000"), QStringLiteral("96000")});
    ApplyDarkPopup(combo);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(combo, Qt::Key_Down); // the second entry chosen, as by the user
    QCOMPARE(combo->currentIndex(), 1);

    QTest::mouseClick(combo, Qt::LeftButton);
    QAbstractItemView *list = combo->view();
    QTRY_VERIFY(list->isVisible());
    const QImage img = list->window()->grab().toImage();
    const QPoint offset = list->viewport()->mapTo(list->window(), QPoint(0, 0));
    const auto colour = [&](int x, int y) { return QColor(img.pixel(x, y)).name(); };

    // The field colour around the entries, the chosen entry on blue, and the other
    // entries' text in the dialogs' light grey at its strongest.
    const QRect chosen = list->visualRect(combo->model()->index(1, 0)).translated(offset);
    const QRect other = list->visualRect(combo->model()->index(2, 0)).translated(offset);
    QCOMPARE(colour(other.left() + other.width() * 3 / 4, other.center().y()),
             QStringLiteral("#282b31"));
    QCOMPARE(colour(chosen.left() + chosen.width() * 3 / 4, chosen.center().y()),
             QStringLiteral("#366ba7"));
    QRgb brightest = 0;
    for (int y = other.top(); y <= other.bottom(); ++y)
      for (int x = other.left(); x <= other.right(); ++x)
        if (qGray(img.pixel(x, y)) > qGray(brightest))
          brightest = img.pixel(x, y);
    QCOMPARE(QColor(brightest).name(), QStringLiteral("#e3e5e8"));
    QTest::keyClick(list, Qt::Key_Escape);
    QTRY_VERIFY(!list->isVisible());
  }
};

QTEST_MAIN(TestDarkStyle)
#include "test_dark_style.moc"
