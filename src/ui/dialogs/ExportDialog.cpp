#include "ui/dialogs/ExportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "ui/dialogs/DarkForm.h"
#include "ui/style/Palette.h"
#include "ui/widgets/ModernButton.h"

namespace praatkist::ui {

std::optional<TExportChoice> AskExport(const TExportChoice &AProposed,
                                       const std::function<QString(const QString &)> &ABrowse)
{
  auto form = CreateDarkDialogForm(QStringLiteral("Exporteren"), 250);
  QLabel *prompt = AddDarkDialogLabel(
      form.get(), QStringLiteral("Nieuwe map voor de dataset:"), 14, 24, Qt::AlignBottom);
  auto *folder = new QLineEdit(form.get());
  folder->setObjectName(QStringLiteral("edtFolder"));
  folder->setGeometry(DarkLabelLeft, 44, 300, 30);
  folder->setText(AProposed.Folder);
  folder->setAccessibleName(prompt->text());
  prompt->setBuddy(folder);
  auto *browse = AddDarkDialogButton(form.get(), QStringLiteral("Bladeren..."), 338, 40, 114,
                                     mrNone, palette::Colour(palette::GreyAccent));
  browse->setAccessibleName(QStringLiteral("Map kiezen"));
  QObject::connect(browse, &TModernButton::OnClick, form.get(), [&] {
    if (!ABrowse)
      return;
    const QString chosen = ABrowse(folder->text());
    if (!chosen.isEmpty())
      folder->setText(chosen);
  });

  auto *rateLabel = new QLabel(QStringLiteral("Samplerate:"), form.get());
  rateLabel->setGeometry(DarkLabelLeft, 92, 110, 26);
  auto *rate = new QComboBox(form.get());
  rate->setObjectName(QStringLiteral("cbExportRate"));
  rate->setGeometry(140, 92, 160, 26);
  rate->addItem(QStringLiteral("Als opgenomen"), 0);
  for (const int hz : {44100, 22050, 16000})
    rate->addItem(QStringLiteral("%1 Hz").arg(hz), hz);
  rate->setCurrentIndex(std::max(0, rate->findData(AProposed.SampleRate)));
  rate->setAccessibleName(QStringLiteral("Samplerate"));
  rateLabel->setBuddy(rate);

  auto *mono = new QCheckBox(QStringLiteral("Mono"), form.get());
  mono->setObjectName(QStringLiteral("chkExportMono"));
  mono->setGeometry(DarkLabelLeft, 132, 200, 26);
  mono->setChecked(AProposed.Mono);
  mono->setAccessibleName(QStringLiteral("Mono"));

  AddDarkDialogButton(form.get(), QStringLiteral("Annuleren"), 190, 190, 125, mrCancel,
                      palette::Colour(palette::GreyAccent));
  AddDarkDialogButton(form.get(), QStringLiteral("Exporteren"), 325, 190, 125, mrOk,
                      palette::Colour(palette::BlueAccent));
  QWidget::setTabOrder(folder, browse);
  QWidget::setTabOrder(browse, rate);
  QWidget::setTabOrder(rate, mono);
  folder->setFocus();
  folder->selectAll();
  if (ShowDarkModal(form.get()) != mrOk)
    return std::nullopt;
  TExportChoice choice;
  choice.Folder = folder->text().trimmed();
  choice.SampleRate = rate->currentData().toInt();
  choice.Mono = mono->isChecked();
  return choice;
}

} // namespace praatkist::ui
