#include "ui/dialogs/DarkDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>

#include <memory>

#include "ui/style/Fonts.h"
#include "ui/widgets/ModernButton.h"
#include "ui/style/Palette.h"

namespace praatkist::ui {

namespace {

constexpr int FormWidth = 480;
constexpr int LabelLeft = 28;
constexpr int LabelWidth = FormWidth - 2 * LabelLeft; // 424
constexpr int ButtonHeight = 38;

const QColor Background = palette::Colour(palette::Background);
const QColor FieldBackground = palette::Colour(palette::FieldBackground);
const QColor DialogText = palette::Colour(palette::DialogText);
const QColor Red = palette::Colour(palette::RedAccent);
const QColor Blue = palette::Colour(palette::BlueAccent);
const QColor Grey = palette::Colour(palette::GreyAccent);

// The dialog window. Escape, its close box and whatever else asks the dialog to
// reject answer "Annuleren"; Return answers with the default button (the confirming
// one), unless a focused button takes the key itself.
class TDarkDialogForm final : public QDialog {
public:
  TDarkDialogForm()
      : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
  {
  }

  void reject() override { done(mrCancel); }

  TModernButton *DefaultButton = nullptr;

protected:
  void keyPressEvent(QKeyEvent *event) override
  {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == 0 && DefaultButton) {
      event->accept();
      DefaultButton->Press();
      return;
    }
    // Escape rejects.
    QDialog::keyPressEvent(event);
  }
};

// Puts the window in the middle of the window that was active when it was asked
// for (the main window), or leaves it to the platform when there is none.
void CentreOverActiveWindow(QWidget *form)
{
  QWidget *anchor = QApplication::activeWindow();
  if (!anchor || anchor == form)
    return;
  const QRect area = anchor->frameGeometry();
  form->move(area.center().x() - form->width() / 2, area.center().y() - form->height() / 2);
}

std::unique_ptr<TDarkDialogForm> CreateDarkDialogForm(const QString &ACaption, int AClientHeight)
{
  auto form = std::make_unique<TDarkDialogForm>();
  form->setWindowTitle(ACaption);
  form->setFixedSize(FormWidth, AClientHeight);
  form->setFont(DesignFontPt(SegoeUI, 10));
  QPalette pal = form->palette();
  pal.setColor(QPalette::Window, Background);
  pal.setColor(QPalette::WindowText, DialogText);
  pal.setColor(QPalette::Base, FieldBackground);
  pal.setColor(QPalette::Text, DialogText);
  pal.setColor(QPalette::Highlight, Blue);
  pal.setColor(QPalette::HighlightedText, Qt::white);
  form->setPalette(pal);
  form->setAutoFillBackground(true);
  return form;
}

QLabel *AddDarkDialogLabel(TDarkDialogForm *AForm, const QString &AText, int ATop, int AHeight,
                           Qt::Alignment AVertical = Qt::AlignVCenter)
{
  auto *label = new QLabel(AForm);
  label->setObjectName(QStringLiteral("lblMessage"));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  QString text = AText;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  label->setText(text);
  label->setGeometry(LabelLeft, ATop, LabelWidth, AHeight);
  // A text taller than its box keeps its first lines; the rest is cut off at the
  // bottom edge. The box never grows.
  if (label->heightForWidth(LabelWidth) > AHeight)
    AVertical = Qt::AlignTop;
  label->setAlignment(Qt::AlignLeft | AVertical);
  return label;
}

// The confirming button (OK) is the dialog's default: Return presses it, and where no
// text box is there to type in it has the focus from the start. A confirmation of
// something that cannot be taken back makes its "Annuleren" the default instead.
TModernButton *AddDarkDialogButton(TDarkDialogForm *AForm, const QString &ACaption, int ALeft,
                                   int ATop, int AWidth, int AModalResult, const QColor &AAccent)
{
  auto *button = new TModernButton(AForm);
  button->SetCaption(ACaption);
  button->setGeometry(ALeft, ATop, AWidth, ButtonHeight);
  button->SetModalResult(AModalResult);
  button->SetAccentColor(AAccent);
  if (AModalResult == mrOk) {
    AForm->DefaultButton = button;
    button->setFocus();
  }
  return button;
}

int ShowModal(QDialog *form)
{
  CentreOverActiveWindow(form);
  return form->exec();
}

} // namespace

void ShowDarkError(const QString &Text)
{
  auto form = CreateDarkDialogForm(QStringLiteral("Fout"), 180);
  AddDarkDialogLabel(form.get(), Text, 22, 90);
  AddDarkDialogButton(form.get(), QStringLiteral("OK"), 325, 125, 125, mrOk, Red);
  ShowModal(form.get());
}

void ShowDarkMessage(const QString &Text)
{
  auto form = CreateDarkDialogForm(QStringLiteral("Praatkist"), 180);
  AddDarkDialogLabel(form.get(), Text, 22, 90);
  AddDarkDialogButton(form.get(), QStringLiteral("OK"), 325, 125, 125, mrOk, Blue);
  ShowModal(form.get());
}

bool DarkConfirm(const QString &Text)
{
  auto form = CreateDarkDialogForm(QStringLiteral("Bevestigen"), 190);
  AddDarkDialogLabel(form.get(), Text, 20, 100);
  auto *cancel =
      AddDarkDialogButton(form.get(), QStringLiteral("Annuleren"), 190, 135, 125, mrCancel, Grey);
  AddDarkDialogButton(form.get(), QStringLiteral("Wissen"), 325, 135, 125, mrOk, Red);
  // Every confirmation wipes something (a take, a trim, the backups): a Return typed
  // ahead must not do that, so Return keeps things and Tab leads to "Wissen".
  form->DefaultButton = cancel;
  cancel->setFocus();
  return ShowModal(form.get()) == mrOk;
}

bool DarkInputQuery(const QString &Caption, const QString &Prompt, QString &Text)
{
  auto form = CreateDarkDialogForm(Caption, 205);
  QLabel *prompt = AddDarkDialogLabel(form.get(), Prompt, 18, 45, Qt::AlignBottom);
  auto *edit = new QLineEdit(form.get());
  edit->setObjectName(QStringLiteral("edtText"));
  edit->setGeometry(LabelLeft, 70, 422, 30);
  edit->setText(Text);
  edit->selectAll();
  edit->setAccessibleName(Prompt);
  prompt->setBuddy(edit);
  AddDarkDialogButton(form.get(), QStringLiteral("Annuleren"), 190, 145, 125, mrCancel, Grey);
  AddDarkDialogButton(form.get(), QStringLiteral("OK"), 325, 145, 125, mrOk, Blue);
  edit->setFocus();
  if (ShowModal(form.get()) != mrOk)
    return false;
  Text = edit->text();
  return true;
}

void ShowGeneralError(const QString &Text)
{
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Praatkist"), Text, QMessageBox::Ok);
  box.setObjectName(QStringLiteral("GeneralError"));
  box.exec();
}

} // namespace praatkist::ui
