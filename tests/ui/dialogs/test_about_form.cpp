// The about window and the version text it shows.

#include <QAccessible>
#include <QApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QtTest>

#include <functional>

#include "platform/VersionInfo.h"
#include "support/NextDialog.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/style/Fonts.h"

using namespace praatkist::ui;
namespace platform = praatkist::platform;

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

// Runs `answer` on the about window once its own loop runs, made the active window
// first (support/NextDialog.h).
void AnswerAbout(std::function<void(TfrmAbout *)> answer)
{
  praatkist::test::AnswerNextDialog(
      [answer](QDialog *dialog) { answer(qobject_cast<TfrmAbout *>(dialog)); });
}

} // namespace

class TestAboutForm : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  void versionText_data();
  void versionText();
  void programVersionComesFromTheBuild();
  void showAboutLayoutAndClose();
  void closeBoxAndKeys_data();
  void closeBoxAndKeys();
  void centredOverItsOwner();
};

void TestAboutForm::versionText_data()
{
  QTest::addColumn<QString>("compiled");
  QTest::addColumn<QString>("shown");
  const QString fallback = QString::fromLatin1(platform::DefaultVersionText);
  QTest::newRow("none") << "" << fallback;
  QTest::newRow("four parts") << "1.0.0.6"
                              << "1.0.0.6";
  QTest::newRow("decimal") << "2.10.0.315"
                           << "2.10.0.315";
  QTest::newRow("leading zeros") << "02.010.00.0315"
                                 << "2.10.0.315";
  QTest::newRow("two parts") << "0.1"
                             << "0.1.0.0";
  QTest::newRow("three parts") << "3.2.1"
                               << "3.2.1.0";
  QTest::newRow("largest parts") << "65535.65535.65535.65535"
                                 << "65535.65535.65535.65535";
  QTest::newRow("part too large") << "65536.0.0.0" << fallback;
  QTest::newRow("five parts") << "1.2.3.4.5" << fallback;
  QTest::newRow("empty part") << "1..2.3" << fallback;
  QTest::newRow("trailing dot") << "1.2." << fallback;
  QTest::newRow("letters") << "1.2.3-beta" << fallback;
  QTest::newRow("negative") << "-1.0.0.0" << fallback;
  QTest::newRow("space") << " 1.0.0.0" << fallback;
}

void TestAboutForm::versionText()
{
  QFETCH(QString, compiled);
  QFETCH(QString, shown);
  QCOMPARE(QString::fromStdString(platform::VersionText(compiled.toStdString())), shown);
}

void TestAboutForm::programVersionComesFromTheBuild()
{
  // The build passes its project version in; the window shows it in four parts.
  const std::string_view compiled = platform::CompiledVersion();
  QVERIFY(!compiled.empty());
  QCOMPARE(GetVersionText(), QString::fromStdString(platform::VersionText(compiled)));
  QVERIFY(QRegularExpression(QStringLiteral("^(0|[1-9][0-9]*)(\\.(0|[1-9][0-9]*)){3}$"))
              .match(GetVersionText())
              .hasMatch());
  QVERIFY(GetVersionText().startsWith(
      QString::fromLatin1(compiled.data(), int(compiled.size())).section('.', 0, 1)));
}

void TestAboutForm::showAboutLayoutAndClose()
{
  struct {
    QString title, version, heading, description, copyright, close;
    QSize size;
    QRect titleBox, versionBox, descriptionBox, copyrightBox, closeBox;
    QImage picture;
    bool closedByClick = false;
    int result = -100;
  } seen;

  AnswerAbout([&](TfrmAbout *form) {
    seen.title = form->windowTitle();
    seen.size = form->size();
    seen.heading = form->lblTitle->text();
    seen.version = form->lblVersion->text();
    seen.description = form->lblDescription->text();
    seen.copyright = form->lblCopyright->text();
    seen.close = form->btnClose->text();
    seen.titleBox = form->lblTitle->geometry();
    seen.versionBox = form->lblVersion->geometry();
    seen.descriptionBox = form->lblDescription->geometry();
    seen.copyrightBox = form->lblCopyright->geometry();
    seen.closeBox = form->btnClose->geometry();
    seen.picture = form->grab().toImage();
    QObject::connect(form, &QDialog::finished, [&](int r) { seen.result = r; });
    // A press that leaves the panel before the release does not close.
    QTest::mousePress(form->btnClose, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(form->btnClose, Qt::LeftButton, {}, QPoint(160, 10));
    QTest::mouseClick(form->btnClose, Qt::RightButton);
    if (!form->isVisible())
      return;
    QTest::mouseClick(form->btnClose, Qt::LeftButton);
    seen.closedByClick = !form->isVisible();
  });
  TfrmAbout::ShowAbout(nullptr);

  QVERIFY(seen.closedByClick);
  QCOMPARE(seen.result, 1);
  QCOMPARE(seen.title, QStringLiteral("Over Praatkist"));
  QCOMPARE(seen.size, QSize(500, 310));
  QCOMPARE(seen.heading, QStringLiteral("Praatkist beta"));
  QCOMPARE(seen.version, QStringLiteral("Versie ") + GetVersionText());
  QCOMPARE(seen.description, QStringLiteral("Snel spraak-opnames maken"));
  QVERIFY(seen.copyright.contains(QStringLiteral("©")));
  // Free software under the GPL, version 3 or later, said in Dutch within one line.
  QVERIFY2(seen.copyright.contains(QStringLiteral("vrije software onder GPL-3.0-or-later")),
           qPrintable(seen.copyright));
  QVERIFY(QFontMetrics(DesignFontPx(SegoeUI, 13)).horizontalAdvance(seen.copyright) <= 436);
  QVERIFY(seen.copyright.contains(QRegularExpression(QStringLiteral("\\b20\\d\\d\\b"))));
  QCOMPARE(seen.close, QStringLiteral("SLUITEN"));
  QCOMPARE(seen.titleBox, QRect(32, 35, 436, 44));
  QCOMPARE(seen.versionBox, QRect(32, 90, 436, 25));
  QCOMPARE(seen.descriptionBox, QRect(32, 135, 436, 45));
  QCOMPARE(seen.copyrightBox, QRect(32, 195, 436, 25));
  QCOMPARE(seen.closeBox, QRect(175, 245, 150, 40));

  const QImage &img = seen.picture;
  QCOMPARE(Hex(Rgb(img, 3, 3)), Hex(Background));
  QCOMPARE(Hex(Rgb(img, 496, 306)), Hex(Background));
  // The close panel's blue, beside its caption, right up to its edges.
  for (QPoint p : {QPoint(175, 245), QPoint(180, 265), QPoint(319, 265), QPoint(324, 284)})
    QCOMPARE(Hex(Rgb(img, p.x(), p.y())), Hex(0x366BA7));
  QCOMPARE(Hex(Rgb(img, 174, 265)), Hex(Background));

  // Each line of text shows its own colour at its strongest pixel.
  const auto strongest = [&](const QRect &box) {
    int best = -1;
    QRgb rgb = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
      for (int x = box.left(); x <= box.right(); ++x) {
        const QRgb c = Rgb(img, x, y);
        const int distance = qAbs(qRed(c) - 0x1B) + qAbs(qGreen(c) - 0x1D) + qAbs(qBlue(c) - 0x21);
        if (distance > best) {
          best = distance;
          rgb = c;
        }
      }
    return Hex(rgb);
  };
  QCOMPARE(strongest(seen.titleBox), Hex(0xFFFFFF));
  QCOMPARE(strongest(seen.versionBox), Hex(0xFFDF45));
  QCOMPARE(strongest(seen.descriptionBox), Hex(0x8BE5E8));
  QCOMPARE(strongest(seen.copyrightBox), Hex(0x8BE5E8));
}

void TestAboutForm::closeBoxAndKeys_data()
{
  QTest::addColumn<QString>("how");
  QTest::addColumn<int>("result");
  QTest::newRow("close box") << "close" << 2;
  QTest::newRow("Escape") << "Escape" << 2;
  QTest::newRow("Return") << "Return" << 1;
  QTest::newRow("screen reader") << "press" << 1;
}

void TestAboutForm::closeBoxAndKeys()
{
  QFETCH(QString, how);
  QFETCH(int, result);
  int finished = -100;
  bool openAfterSpace = false;
  QString name;
  AnswerAbout([&](TfrmAbout *form) {
    QObject::connect(form, &QDialog::finished, [&](int r) { finished = r; });
    QTest::keyClick(form, Qt::Key_Space);
    openAfterSpace = form->isVisible();
    QAccessibleInterface *panel = QAccessible::queryAccessibleInterface(form->btnClose);
    name = QStringLiteral("%1 %2").arg(panel->text(QAccessible::Name)).arg(int(panel->role()));
    if (how == "close")
      form->close();
    else if (how == "press")
      panel->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    else
      QTest::keyClick(form, QKeySequence::fromString(how)[0].key());
  });
  TfrmAbout::ShowAbout(nullptr);
  QVERIFY(openAfterSpace);
  QCOMPARE(finished, result);
  QCOMPARE(name, QStringLiteral("SLUITEN %1").arg(int(QAccessible::Button)));
}

void TestAboutForm::centredOverItsOwner()
{
  QWidget owner;
  owner.setGeometry(100, 80, 924, 725);
  owner.show();
  QVERIFY(QTest::qWaitForWindowExposed(&owner));
  QRect placed;
  AnswerAbout([&](TfrmAbout *form) {
    placed = form->geometry();
    form->CloseClick();
  });
  TfrmAbout::ShowAbout(&owner);
  QVERIFY(placed.isValid());
  QVERIFY2((placed.center() - owner.geometry().center()).manhattanLength() <= 40,
           qPrintable(QStringLiteral("%1,%2").arg(placed.x()).arg(placed.y())));
  // The window is gone again and no longer a child of its owner.
  QVERIFY(owner.findChildren<TfrmAbout *>().isEmpty());
}

QTEST_MAIN(TestAboutForm)
#include "test_about_form.moc"
