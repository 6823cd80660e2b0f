// The dark dialogs: their layout and colours, and how each answer comes back.

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "support/NextDialog.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/style/Fonts.h"
#include "ui/widgets/ModernButton.h"

using namespace praatkist::ui;

namespace {

constexpr QRgb Background = 0x1B1D21;
constexpr QRgb DialogText = 0xE3E5E8;

QRgb Rgb(const QImage &image, int x, int y)
{
  return image.pixel(x, y) & 0xFFFFFF;
}

QString Hex(QRgb rgb)
{
  return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

using praatkist::test::AnswerNextDialog; // support/NextDialog.h

TModernButton *ButtonNamed(QDialog *dialog, const QString &caption)
{
  for (auto *b : dialog->findChildren<TModernButton *>())
    if (b->Caption() == caption)
      return b;
  return nullptr;
}

// What the answer saw of a dialog; checked once the dialog is gone.
struct TSeen {
  QString title;
  QSize size;
  QRect labelBox;
  QString labelText;
  Qt::Alignment labelAlignment;
  QStringList buttons; // "caption left,top,width,height result #accent", in creation order
  QRect editBox;
  QString editText;
  QString editSelection;
  bool editFocused = false;
  QImage picture;
  bool closedByAnswer = false;
};

enum class TAnswer { Click, CloseBox };

// Looks at the dialog, then answers it with the named button or its close box.
std::function<void(QDialog *)> LookAndAnswer(TSeen &seen, TAnswer how, QString caption = {},
                                             QString typed = QStringLiteral("\x01"))
{
  return [&seen, how, caption, typed](QDialog *dialog) {
    seen.title = dialog->windowTitle();
    seen.size = dialog->size();
    if (auto *label = dialog->findChild<QLabel *>()) {
      seen.labelBox = label->geometry();
      seen.labelText = label->text();
      seen.labelAlignment = label->alignment();
    }
    for (auto *b : dialog->findChildren<TModernButton *>()) {
      const QRect g = b->geometry();
      seen.buttons << QStringLiteral("%1 %2,%3,%4,%5 %6 %7")
                          .arg(b->Caption())
                          .arg(g.left())
                          .arg(g.top())
                          .arg(g.width())
                          .arg(g.height())
                          .arg(b->ModalResult())
                          .arg(Hex(b->AccentColor().rgb()));
    }
    if (auto *edit = dialog->findChild<QLineEdit *>()) {
      seen.editBox = edit->geometry();
      seen.editText = edit->text();
      seen.editSelection = edit->selectedText();
      seen.editFocused = edit->hasFocus() && dialog->focusWidget() == edit;
    }
    seen.picture = dialog->grab().toImage();

    if (auto *edit = dialog->findChild<QLineEdit *>(); edit && typed != QStringLiteral("\x01")) {
      // Typing replaces the selected text, as it does for the user.
      if (typed.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
      else
        QTest::keyClicks(edit, typed);
    }
    if (how == TAnswer::CloseBox) {
      dialog->close();
    } else if (TModernButton *b = ButtonNamed(dialog, caption)) {
      QTest::mouseClick(b, Qt::LeftButton);
    }
    seen.closedByAnswer = !dialog->isVisible();
  };
}

const QString PurgeQuestion =
    QStringLiteral("Er zijn %1 triminfo- en herstelbestand(en).\r\n"
                   "Wil je deze bestanden nu verwijderen?\r\n"
                   "Het ongedaan maken van eerdere trims is daarna niet meer mogelijk.")
        .arg(12);

// Rows of a picture within [x0, x1) that hold a pixel other than the background.
std::pair<int, int> InkRows(const QImage &img, int x0, int x1, int y0, int y1)
{
  int first = -1, last = -1;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (Rgb(img, x, y) != Background) {
        if (first < 0)
          first = y;
        last = y;
        break;
      }
  return {first, last};
}

} // namespace

class TestDarkDialogs : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  void layoutAndColours_data();
  void layoutAndColours();
  void errorAndMessageCloseEitherWay_data();
  void errorAndMessageCloseEitherWay();
  void confirmAnswers_data();
  void confirmAnswers();
  void inputAnswers_data();
  void inputAnswers();
  void keysAnswerTheDialog_data();
  void keysAnswerTheDialog();
  void screenReaderAnswersTheInput();
  void purgeQuestionFitsItsLabel();
  void longMessageIsCutAtTheLabelEdge();
};

void TestDarkDialogs::layoutAndColours_data()
{
  QTest::addColumn<int>("kind");
  QTest::addColumn<QString>("title");
  QTest::addColumn<int>("height");
  QTest::addColumn<QRect>("labelBox");
  QTest::addColumn<int>("labelVertical");
  QTest::addColumn<QStringList>("buttons");

  QTest::newRow("error") << 0 << "Fout" << 180 << QRect(28, 22, 424, 90) << int(Qt::AlignVCenter)
                         << QStringList{"OK 325,125,125,38 1 #CE4D4D"};
  QTest::newRow("message") << 1 << "Praatkist" << 180 << QRect(28, 22, 424, 90)
                           << int(Qt::AlignVCenter) << QStringList{"OK 325,125,125,38 1 #366BA7"};
  QTest::newRow("confirm") << 2 << "Bevestigen" << 190 << QRect(28, 20, 424, 100)
                           << int(Qt::AlignVCenter)
                           << QStringList{"Annuleren 190,135,125,38 2 #383C43",
                                          "Wissen 325,135,125,38 1 #CE4D4D"};
  QTest::newRow("input") << 3 << "Nieuwe sessie" << 205 << QRect(28, 18, 424, 45)
                         << int(Qt::AlignBottom)
                         << QStringList{"Annuleren 190,145,125,38 2 #383C43",
                                        "OK 325,145,125,38 1 #366BA7"};
}

void TestDarkDialogs::layoutAndColours()
{
  QFETCH(int, kind);
  QFETCH(QString, title);
  QFETCH(int, height);
  QFETCH(QRect, labelBox);
  QFETCH(int, labelVertical);
  QFETCH(QStringList, buttons);

  TSeen seen;
  AnswerNextDialog(LookAndAnswer(seen, TAnswer::CloseBox));
  const QString text = QStringLiteral("Kies of maak eerst een sessie.");
  QString entry = QStringLiteral("Koor");
  switch (kind) {
  case 0:
    ShowDarkError(text);
    break;
  case 1:
    ShowDarkMessage(text);
    break;
  case 2:
    DarkConfirm(text);
    break;
  default:
    DarkInputQuery(title, QStringLiteral("Naam van de nieuwe sessie:"), entry);
    break;
  }

  QVERIFY(seen.closedByAnswer);
  QCOMPARE(seen.title, title);
  QCOMPARE(seen.size, QSize(480, height));
  QCOMPARE(seen.labelBox, labelBox);
  QCOMPARE(int(seen.labelAlignment & Qt::AlignVertical_Mask), labelVertical);
  QCOMPARE(int(seen.labelAlignment & Qt::AlignHorizontal_Mask), int(Qt::AlignLeft));
  QCOMPARE(seen.buttons, buttons);

  const QImage &img = seen.picture;
  QCOMPARE(img.size(), QSize(480, height));
  for (QPoint p : {QPoint(2, 2), QPoint(477, 2), QPoint(2, height - 3), QPoint(240, height - 3)})
    QCOMPARE(Hex(Rgb(img, p.x(), p.y())), Hex(Background));
  // Each button shows its accent beside its caption.
  const int buttonTop = buttons.size() == 1 ? 125 : (kind == 2 ? 135 : 145);
  QCOMPARE(Hex(Rgb(img, 325 + 8, buttonTop + 19)),
           Hex(buttons.last().section(' ', -1).mid(1).toUInt(nullptr, 16)));
  if (buttons.size() == 2)
    QCOMPARE(Hex(Rgb(img, 190 + 8, buttonTop + 19)), Hex(0x383C43));

  // The label's text is drawn in the dialog text colour: where a stroke covers a
  // whole pixel it shows exactly that colour, and nothing is brighter.
  int brightest = -1;
  QRgb brightestRgb = 0;
  for (int y = labelBox.top(); y <= labelBox.bottom(); ++y)
    for (int x = labelBox.left(); x <= labelBox.right(); ++x)
      if (qGray(img.pixel(x, y)) > brightest) {
        brightest = qGray(img.pixel(x, y));
        brightestRgb = Rgb(img, x, y);
      }
  QCOMPARE(Hex(brightestRgb), Hex(DialogText));

  if (kind == 3) {
    QCOMPARE(seen.editBox, QRect(28, 70, 422, 30));
    QCOMPARE(seen.editText, QStringLiteral("Koor"));
    QCOMPARE(seen.editSelection, QStringLiteral("Koor"));
    QVERIFY(seen.editFocused);
    // The text box's field colour, right of the (short, selected) text.
    QCOMPARE(Hex(Rgb(img, 28 + 400, 70 + 15)), Hex(0x282B31));
  }
}

void TestDarkDialogs::errorAndMessageCloseEitherWay_data()
{
  QTest::addColumn<bool>("error");
  QTest::addColumn<bool>("closeBox");
  QTest::newRow("error OK") << true << false;
  QTest::newRow("error close box") << true << true;
  QTest::newRow("message OK") << false << false;
  QTest::newRow("message close box") << false << true;
}

void TestDarkDialogs::errorAndMessageCloseEitherWay()
{
  QFETCH(bool, error);
  QFETCH(bool, closeBox);
  TSeen seen;
  AnswerNextDialog(
      LookAndAnswer(seen, closeBox ? TAnswer::CloseBox : TAnswer::Click, QStringLiteral("OK")));
  // A message with characters that rich text would swallow is shown as it is.
  const QString text = QStringLiteral("Opnemen mislukt (BASS-fout 23). <b>a & b</b>");
  if (error)
    ShowDarkError(text);
  else
    ShowDarkMessage(text);
  QVERIFY(seen.closedByAnswer);
  QCOMPARE(seen.labelText, text);
  for (QWidget *w : QApplication::topLevelWidgets())
    QVERIFY2(!qobject_cast<QDialog *>(w), "the dialog outlived its call");
}

void TestDarkDialogs::confirmAnswers_data()
{
  QTest::addColumn<bool>("closeBox");
  QTest::addColumn<QString>("button");
  QTest::addColumn<bool>("expected");
  QTest::newRow("Wissen") << false << "Wissen" << true;
  QTest::newRow("Annuleren") << false << "Annuleren" << false;
  QTest::newRow("close box") << true << "" << false;
}

void TestDarkDialogs::confirmAnswers()
{
  QFETCH(bool, closeBox);
  QFETCH(QString, button);
  QFETCH(bool, expected);
  TSeen seen;
  AnswerNextDialog(LookAndAnswer(seen, closeBox ? TAnswer::CloseBox : TAnswer::Click, button));
  const bool result = DarkConfirm(QStringLiteral("Opname \"Koor-3.wav\" wissen?"));
  QVERIFY(seen.closedByAnswer);
  QCOMPARE(result, expected);
}

void TestDarkDialogs::inputAnswers_data()
{
  QTest::addColumn<QString>("start");
  QTest::addColumn<QString>("typed"); // "\x01": leave the box as it is
  QTest::addColumn<bool>("closeBox");
  QTest::addColumn<QString>("button");
  QTest::addColumn<bool>("expected");
  QTest::addColumn<QString>("after");

  const QString keep = QStringLiteral("\x01");
  QTest::newRow("OK, empty start") << ""
                                   << "Koor" << false << "OK" << true << "Koor";
  QTest::newRow("OK keeps spaces") << "Oud"
                                   << "  Koor 2 " << false << "OK" << true << "  Koor 2 ";
  QTest::newRow("OK, untouched") << "Oud" << keep << false << "OK" << true << "Oud";
  QTest::newRow("OK, emptied box") << "Oud"
                                   << "" << false << "OK" << true << "";
  QTest::newRow("OK, empty box") << "" << keep << false << "OK" << true << "";
  QTest::newRow("Annuleren") << "Oud"
                             << "Nieuw" << false << "Annuleren" << false << "Oud";
  QTest::newRow("close box") << "Oud"
                             << "Nieuw" << true << "" << false << "Oud";
}

void TestDarkDialogs::inputAnswers()
{
  QFETCH(QString, start);
  QFETCH(QString, typed);
  QFETCH(bool, closeBox);
  QFETCH(QString, button);
  QFETCH(bool, expected);
  QFETCH(QString, after);

  TSeen seen;
  AnswerNextDialog(
      LookAndAnswer(seen, closeBox ? TAnswer::CloseBox : TAnswer::Click, button, typed));
  QString text = start;
  const bool result = DarkInputQuery(QStringLiteral("Nieuwe sessie"),
                                     QStringLiteral("Naam van de nieuwe sessie:"), text);
  QVERIFY(seen.closedByAnswer);
  QCOMPARE(seen.editText, start);
  QCOMPARE(seen.editSelection, start);
  QVERIFY(seen.editFocused);
  QCOMPARE(result, expected);
  QCOMPARE(text, after);
}

void TestDarkDialogs::keysAnswerTheDialog_data()
{
  QTest::addColumn<int>("kind"); // 0 error, 1 message, 2 confirm, 3 input
  QTest::addColumn<QString>("keys");
  QTest::addColumn<int>("result");
  QTest::newRow("error Return") << 0 << "Return" << 1;
  QTest::newRow("error Escape") << 0 << "Escape" << 2;
  QTest::newRow("message keypad Enter") << 1 << "Enter" << 1;
  QTest::newRow("confirm Return keeps") << 2 << "Return" << 2;
  QTest::newRow("confirm Escape") << 2 << "Escape" << 2;
  QTest::newRow("confirm Tab Return wipes") << 2 << "Tab Return" << 1;
  QTest::newRow("input typed Return") << 3 << "K o o r Return" << 1;
  QTest::newRow("input Escape") << 3 << "K o o r Escape" << 2;
  QTest::newRow("input Tab Tab Return") << 3 << "K o o r Tab Tab Return" << 1;
}

// Keys as the user types them, each to the widget that has the focus.
void TestDarkDialogs::keysAnswerTheDialog()
{
  QFETCH(int, kind);
  QFETCH(QString, keys);
  QFETCH(int, result);
  int finished = -100;
  QString focusAfterTab;
  QRgb ringOfFocused = 0, ringOfOther = 0;
  AnswerNextDialog([&](QDialog *dialog) {
    QObject::connect(dialog, &QDialog::finished, [&](int r) { finished = r; });
    for (const QString &name : keys.split(' ')) {
      QWidget *target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
      if (name.size() == 1)
        QTest::keyClick(target, name[0].toLatin1());
      else
        QTest::keyClick(target, QKeySequence::fromString(name)[0].key(),
                        name == "Enter" ? Qt::KeypadModifier : Qt::NoModifier);
      if (!dialog->isVisible())
        break;
      if (name == "Tab" && focusAfterTab.isEmpty()) {
        auto *focused = qobject_cast<TModernButton *>(dialog->focusWidget());
        focusAfterTab = focused ? focused->Caption() : QStringLiteral("?");
        // After Tab the focused button shows a ring inside its outline; the other not.
        const QImage img = dialog->grab().toImage();
        for (auto *b : dialog->findChildren<TModernButton *>())
          (b == focused ? ringOfFocused : ringOfOther) = Rgb(img, b->x() + 60, b->y() + 3);
      }
    }
  });
  QString text = QStringLiteral("Oud");
  bool answer = false;
  switch (kind) {
  case 0:
    ShowDarkError(QStringLiteral("Fout!"));
    break;
  case 1:
    ShowDarkMessage(QStringLiteral("Let op."));
    break;
  case 2:
    answer = DarkConfirm(QStringLiteral("Opname wissen?"));
    break;
  default:
    answer = DarkInputQuery(QStringLiteral("Nieuwe sessie"), QStringLiteral("Naam:"), text);
    break;
  }
  QCOMPARE(finished, result);
  if (kind >= 2)
    QCOMPARE(answer, result == 1);
  if (kind == 3)
    QCOMPARE(text, result == 1 ? QStringLiteral("Koor") : QStringLiteral("Oud"));
  if (keys.contains("Tab")) {
    QCOMPARE(focusAfterTab, kind == 2 ? QStringLiteral("Wissen") : QStringLiteral("Annuleren"));
    QCOMPARE(Hex(ringOfFocused), Hex(0xFFFFFF));
    QCOMPARE(Hex(ringOfOther), Hex(kind == 2 ? 0x383C43 : 0x366BA7));
  }
}

// A screen reader finds the text box named by its prompt, and the press action of
// "OK" answers the dialog.
void TestDarkDialogs::screenReaderAnswersTheInput()
{
  QString editName;
  AnswerNextDialog([&](QDialog *dialog) {
    QTest::keyClicks(dialog->focusWidget(), QStringLiteral("Koor"));
    QAccessibleInterface *edit =
        QAccessible::queryAccessibleInterface(dialog->findChild<QLineEdit *>());
    editName = QStringLiteral("%1 %2").arg(edit->text(QAccessible::Name)).arg(int(edit->role()));
    QAccessible::queryAccessibleInterface(ButtonNamed(dialog, QStringLiteral("OK")))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
  });
  QString text;
  QVERIFY(DarkInputQuery(QStringLiteral("Nieuwe sessie"), QStringLiteral("Naam:"), text));
  QCOMPARE(text, QStringLiteral("Koor"));
  QCOMPARE(editName, QStringLiteral("Naam: %1").arg(int(QAccessible::EditableText)));
}

void TestDarkDialogs::purgeQuestionFitsItsLabel()
{
  TSeen seen;
  int needed = -1;
  int lineSpacing = 0;
  AnswerNextDialog([&](QDialog *dialog) {
    auto *label = dialog->findChild<QLabel *>();
    needed = label->heightForWidth(label->width());
    lineSpacing = label->fontMetrics().lineSpacing();
    LookAndAnswer(seen, TAnswer::Click, QStringLiteral("Annuleren"))(dialog);
  });
  QVERIFY(!DarkConfirm(PurgeQuestion));
  QVERIFY(seen.closedByAnswer);
  QCOMPARE(seen.size, QSize(480, 190));
  QCOMPARE(seen.labelBox, QRect(28, 20, 424, 100));
  // Three lines, the last one wrapped: four lines, all within the 100 pixels.
  QVERIFY2(needed >= 3 * lineSpacing && needed <= 100, qPrintable(QString::number(needed)));
  QCOMPARE(int(seen.labelAlignment & Qt::AlignVertical_Mask), int(Qt::AlignVCenter));

  // On screen the text lies inside the label and is centred in it vertically.
  const auto [top, bottom] = InkRows(seen.picture, 0, 480, 0, 135);
  QVERIFY2(top >= 20 && bottom < 120, qPrintable(QStringLiteral("%1..%2").arg(top).arg(bottom)));
  QVERIFY2(qAbs((top - 20) - (119 - bottom)) <= lineSpacing / 2,
           qPrintable(QStringLiteral("%1..%2").arg(top).arg(bottom)));
  for (int y = 20; y < 120; ++y)
    for (int x = 452; x < 480; ++x)
      QCOMPARE(Hex(Rgb(seen.picture, x, y)), Hex(Background));
}

void TestDarkDialogs::longMessageIsCutAtTheLabelEdge()
{
  QString text;
  for (int i = 1; i <= 40; ++i)
    text += QStringLiteral("Regel %1 van een veel te lange foutmelding. ").arg(i);
  TSeen seen;
  AnswerNextDialog(LookAndAnswer(seen, TAnswer::Click, QStringLiteral("OK")));
  ShowDarkError(text);
  QVERIFY(seen.closedByAnswer);
  QCOMPARE(seen.size, QSize(480, 180));
  QCOMPARE(seen.labelBox, QRect(28, 22, 424, 90));
  QCOMPARE(int(seen.labelAlignment & Qt::AlignVertical_Mask), int(Qt::AlignTop));
  // Text from the label's top edge down to its bottom edge, none below it and
  // none above it: the beginning of the message stays readable.
  const auto [top, bottom] = InkRows(seen.picture, 0, 480, 0, 124);
  QVERIFY2(top >= 22 && top < 30, qPrintable(QString::number(top)));
  QVERIFY2(bottom <= 111 && bottom > 100, qPrintable(QString::number(bottom)));
}

QTEST_MAIN(TestDarkDialogs)
#include "test_dark_dialogs.moc"
