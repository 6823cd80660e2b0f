#include "ui/dialogs/ProgressDialog.h"

#include <QLabel>
#include <QProgressBar>

#include "ui/dialogs/DarkForm.h"
#include "ui/style/Palette.h"
#include "ui/widgets/ModernButton.h"

namespace praatkist::ui {

TDarkProgress::TDarkProgress(const QString &ACaption, const QString &AText)
    : FForm(CreateDarkDialogForm(ACaption, 170))
{
  FText = AddDarkDialogLabel(FForm.get(), AText, 18, 40);
  FBar = new QProgressBar(FForm.get());
  FBar->setObjectName(QStringLiteral("barProgress"));
  FBar->setGeometry(DarkLabelLeft, 66, DarkLabelWidth, 22);
  FBar->setRange(0, 100);
  FBar->setValue(0);
  FBar->setAccessibleName(ACaption);
  auto *cancel = AddDarkDialogButton(FForm.get(), QStringLiteral("Annuleren"), 325, 112, 125,
                                     mrNone, palette::Colour(palette::GreyAccent));
  FForm->DefaultButton = cancel;
  // Escape, the close box and the button all ask the work to end; the window stays
  // until the work has.
  QObject::connect(cancel, &TModernButton::OnClick, FForm.get(), [this] { FForm->reject(); });
  FForm->MayReject = [this] {
    if (!FCancelAsked) {
      FCancelAsked = true;
      FText->setText(QStringLiteral("Afbreken..."));
      if (OnCancel)
        OnCancel();
    }
    return false;
  };
}

TDarkProgress::~TDarkProgress()
{
  Close();
}

void TDarkProgress::Show()
{
  FForm->setWindowModality(Qt::ApplicationModal);
  CentreOverActiveWindow(FForm.get());
  FForm->open();
}

void TDarkProgress::SetPercent(int APercent)
{
  FBar->setValue(APercent);
}

void TDarkProgress::Close()
{
  if (FForm)
    FForm->done(mrNone);
}

} // namespace praatkist::ui
