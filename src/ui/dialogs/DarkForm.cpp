#include "ui/dialogs/DarkForm.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>

#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/widgets/ModernButton.h"

namespace praatkist::ui {

TDarkDialogForm::TDarkDialogForm()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
}

void TDarkDialogForm::reject()
{
  if (!MayReject || MayReject())
    done(mrCancel);
}

void TDarkDialogForm::keyPressEvent(QKeyEvent *event)
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

// Puts the window in the middle of the window that was active when it was asked
// for (the main window), or leaves it to the platform when there is none.
void CentreOverActiveWindow(QWidget *AForm)
{
  QWidget *anchor = QApplication::activeWindow();
  if (!anchor || anchor == AForm)
    return;
  const QRect area = anchor->frameGeometry();
  AForm->move(area.center().x() - AForm->width() / 2, area.center().y() - AForm->height() / 2);
}

std::unique_ptr<TDarkDialogForm> CreateDarkDialogForm(const QString &ACaption, int AClientHeight)
{
  auto form = std::make_unique<TDarkDialogForm>();
  form->setWindowTitle(ACaption);
  form->setFixedSize(DarkFormWidth, AClientHeight);
  form->setFont(DesignFontPt(SegoeUI, 10));
  QPalette pal = form->palette();
  pal.setColor(QPalette::Window, palette::Colour(palette::Background));
  pal.setColor(QPalette::WindowText, palette::Colour(palette::DialogText));
  pal.setColor(QPalette::Base, palette::Colour(palette::FieldBackground));
  pal.setColor(QPalette::Text, palette::Colour(palette::DialogText));
  pal.setColor(QPalette::Highlight, palette::Colour(palette::BlueAccent));
  pal.setColor(QPalette::HighlightedText, Qt::white);
  form->setPalette(pal);
  form->setAutoFillBackground(true);
  return form;
}

QLabel *AddDarkDialogLabel(TDarkDialogForm *AForm, const QString &AText, int ATop, int AHeight,
                           Qt::Alignment AVertical)
{
  auto *label = new QLabel(AForm);
  label->setObjectName(QStringLiteral("lblMessage"));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  QString text = AText;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  label->setText(text);
  label->setGeometry(DarkLabelLeft, ATop, DarkLabelWidth, AHeight);
  // A text taller than its box keeps its first lines; the rest is cut off at the
  // bottom edge. The box never grows.
  if (label->heightForWidth(DarkLabelWidth) > AHeight)
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
  button->setGeometry(ALeft, ATop, AWidth, DarkButtonHeight);
  button->SetModalResult(AModalResult);
  button->SetAccentColor(AAccent);
  if (AModalResult == mrOk) {
    AForm->DefaultButton = button;
    button->setFocus();
  }
  return button;
}

int ShowDarkModal(QDialog *AForm)
{
  CentreOverActiveWindow(AForm);
  return AForm->exec();
}

} // namespace praatkist::ui
