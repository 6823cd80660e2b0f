#include "ui/dialogs/ExportDialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStandardItemModel>

#include <algorithm>

#include "ui/dialogs/DarkForm.h"
#include "ui/style/Palette.h"
#include "ui/widgets/ModernButton.h"

namespace praatkist::ui {

namespace {

// A check box whose key (Alt and its letter) ticks it at once, not after the 100 ms a
// button shows itself pressed: a Return right after it then exports what was ticked.
class TKeyCheck : public QCheckBox {
public:
  using QCheckBox::QCheckBox;

protected:
  bool event(QEvent *AEvent) override
  {
    if (AEvent->type() == QEvent::Shortcut && isEnabled()) {
      setFocus(Qt::ShortcutFocusReason);
      click();
      return true;
    }
    return QCheckBox::event(AEvent);
  }
};

QCheckBox *AddCheck(QWidget *AForm, const char *AName, const QString &AText, int ATop,
                    bool AOn, int AWidth = 260)
{
  // AText marks its key with "&" (Alt and that letter); screen readers hear it without
  auto *check = new TKeyCheck(AText, AForm);
  check->setObjectName(QString::fromLatin1(AName));
  check->setGeometry(DarkLabelLeft, ATop, AWidth, 26);
  check->setChecked(AOn);
  check->setAccessibleName(QString(AText).remove(QLatin1Char('&')));
  return check;
}

// A spin box beside ACheck, usable while it is ticked.
QSpinBox *AddSpin(QWidget *AForm, QCheckBox *ACheck, const char *AName, const QString &AName2,
                  int AMin, int AMax, int AValue, const QString &ASuffix)
{
  auto *spin = new QSpinBox(AForm);
  spin->setObjectName(QString::fromLatin1(AName));
  spin->setGeometry(310, ACheck->y(), 140, 26);
  spin->setRange(AMin, AMax);
  spin->setValue(std::clamp(AValue, AMin, AMax));
  spin->setSuffix(ASuffix);
  spin->setAccessibleName(AName2);
  spin->setEnabled(ACheck->isChecked());
  QObject::connect(ACheck, &QCheckBox::toggled, spin, &QWidget::setEnabled);
  return spin;
}

} // namespace

std::optional<TExportChoice> AskExport(const TExportChoice &AProposed,
                                       const std::function<QString(const QString &)> &ABrowse,
                                       const QString &AFlacRefused)
{
  auto form = CreateDarkDialogForm(QStringLiteral("Exporteren"), 372);
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

  auto *rateLabel = new QLabel(QStringLiteral("Sample&rate:"), form.get());
  rateLabel->setGeometry(DarkLabelLeft, 92, 110, 26);
  auto *rate = new QComboBox(form.get());
  rate->setObjectName(QStringLiteral("cbExportRate"));
  rate->setGeometry(150, 92, 150, 26);
  rate->addItem(QStringLiteral("Als opgenomen"), 0);
  for (const int hz : {44100, 22050, 16000})
    rate->addItem(QStringLiteral("%1 Hz").arg(hz), hz);
  rate->setCurrentIndex(std::max(0, rate->findData(AProposed.SampleRate)));
  rate->setAccessibleName(QStringLiteral("Samplerate"));
  rateLabel->setBuddy(rate);

  auto *mono = new TKeyCheck(QStringLiteral("&Mono"), form.get());
  mono->setObjectName(QStringLiteral("chkExportMono"));
  mono->setGeometry(320, 92, 130, 26);
  mono->setChecked(AProposed.Mono);
  mono->setAccessibleName(QStringLiteral("Mono"));

  auto *fileLabel = new QLabel(QStringLiteral("Bestands&formaat:"), form.get());
  fileLabel->setGeometry(DarkLabelLeft, 130, 120, 26);
  auto *file = new QComboBox(form.get());
  file->setObjectName(QStringLiteral("cbExportFile"));
  file->setGeometry(150, 130, 150, 26);
  file->addItem(QStringLiteral("WAV 16-bit"), false);
  file->addItem(QStringLiteral("FLAC 16-bit"), true);
  file->setAccessibleName(QStringLiteral("Bestandsformaat"));
  fileLabel->setBuddy(file);
  const bool flacOk = AFlacRefused.isEmpty();
  if (!flacOk) {
    // offered, but not to be chosen, and why
    if (auto *model = qobject_cast<QStandardItemModel *>(file->model())) {
      model->item(1)->setEnabled(false);
      model->item(1)->setToolTip(AFlacRefused);
    }
    file->setToolTip(AFlacRefused);
  }
  file->setCurrentIndex(AProposed.Flac && flacOk ? 1 : 0);

  auto *skip = AddCheck(form.get(), "chkExportSkip",
                        QStringLiteral("&Opnames met opmerkingen overslaan"), 168,
                        AProposed.SkipRemarked, DarkLabelWidth);
  auto *trim = AddCheck(form.get(), "chkExportMargin", QStringLiteral("&Stilte aan begin en eind"),
                        206, AProposed.TrimToMargin);
  auto *margin = AddSpin(form.get(), trim, "spnExportMargin", QStringLiteral("Stilte in ms"),
                         kMinMarginMs, kMaxMarginMs, AProposed.MarginMs, QStringLiteral(" ms"));
  margin->setSingleStep(50);
  auto *even = AddCheck(form.get(), "chkExportLoudness", QStringLiteral("&Luidheid gelijk maken"),
                        244, AProposed.EvenLoudness);
  auto *lufs = AddSpin(form.get(), even, "spnExportLoudness", QStringLiteral("Luidheid in LUFS"),
                       kMinLufs, kMaxLufs, AProposed.LoudnessLufs, QStringLiteral(" LUFS"));

  AddDarkDialogButton(form.get(), QStringLiteral("Annuleren"), 190, 308, 125, mrCancel,
                      palette::Colour(palette::GreyAccent));
  AddDarkDialogButton(form.get(), QStringLiteral("Exporteren"), 325, 308, 125, mrOk,
                      palette::Colour(palette::BlueAccent));
  QWidget *order[] = {folder, browse, rate, mono, file, skip, trim, margin, even, lufs};
  for (std::size_t i = 1; i < std::size(order); ++i)
    QWidget::setTabOrder(order[i - 1], order[i]);
  folder->setFocus();
  folder->selectAll();
  if (ShowDarkModal(form.get()) != mrOk)
    return std::nullopt;
  TExportChoice choice;
  choice.Folder = folder->text().trimmed();
  choice.SampleRate = rate->currentData().toInt();
  choice.Mono = mono->isChecked();
  choice.Flac = flacOk && file->currentData().toBool();
  choice.SkipRemarked = skip->isChecked();
  choice.TrimToMargin = trim->isChecked();
  choice.MarginMs = margin->value();
  choice.EvenLoudness = even->isChecked();
  choice.LoudnessLufs = lufs->value();
  return choice;
}

} // namespace praatkist::ui
