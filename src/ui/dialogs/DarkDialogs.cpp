#include "ui/dialogs/DarkDialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "ui/dialogs/DarkForm.h"
#include "ui/style/Palette.h"
#include "ui/widgets/ModernButton.h"

namespace praatkist::ui {

namespace {

const QColor Red = palette::Colour(palette::RedAccent);
const QColor Blue = palette::Colour(palette::BlueAccent);
const QColor Grey = palette::Colour(palette::GreyAccent);

} // namespace

void ShowDarkError(const QString &Text)
{
  auto form = CreateDarkDialogForm(QStringLiteral("Fout"), 180);
  AddDarkDialogLabel(form.get(), Text, 22, 90);
  AddDarkDialogButton(form.get(), QStringLiteral("OK"), 325, 125, 125, mrOk, Red);
  ShowDarkModal(form.get());
}

void ShowDarkMessage(const QString &Text)
{
  auto form = CreateDarkDialogForm(QStringLiteral("Praatkist"), 180);
  AddDarkDialogLabel(form.get(), Text, 22, 90);
  AddDarkDialogButton(form.get(), QStringLiteral("OK"), 325, 125, 125, mrOk, Blue);
  ShowDarkModal(form.get());
}

bool DarkConfirm(const QString &Text, const QString &Action)
{
  auto form = CreateDarkDialogForm(QStringLiteral("Bevestigen"), 190);
  AddDarkDialogLabel(form.get(), Text, 20, 100);
  auto *cancel =
      AddDarkDialogButton(form.get(), QStringLiteral("Annuleren"), 190, 135, 125, mrCancel, Grey);
  AddDarkDialogButton(form.get(), Action, 325, 135, 125, mrOk, Red);
  // Every confirmation wipes or replaces something (a take, a trim, the backups, a text
  // list): a Return typed ahead must not do that, so Return keeps things and Tab leads
  // to the action.
  form->DefaultButton = cancel;
  cancel->setFocus();
  return ShowDarkModal(form.get()) == mrOk;
}

bool DarkInputQuery(const QString &Caption, const QString &Prompt, QString &Text)
{
  auto form = CreateDarkDialogForm(Caption, 205);
  QLabel *prompt = AddDarkDialogLabel(form.get(), Prompt, 18, 45, Qt::AlignBottom);
  auto *edit = new QLineEdit(form.get());
  edit->setObjectName(QStringLiteral("edtText"));
  edit->setGeometry(DarkLabelLeft, 70, 422, 30);
  edit->setText(Text);
  edit->selectAll();
  edit->setAccessibleName(Prompt);
  prompt->setBuddy(edit);
  AddDarkDialogButton(form.get(), QStringLiteral("Annuleren"), 190, 145, 125, mrCancel, Grey);
  AddDarkDialogButton(form.get(), QStringLiteral("OK"), 325, 145, 125, mrOk, Blue);
  edit->setFocus();
  if (ShowDarkModal(form.get()) != mrOk)
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
