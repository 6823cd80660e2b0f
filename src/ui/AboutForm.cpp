#include "ui/AboutForm.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

#include <memory>

#include "platform/VersionInfo.h"
#include "ui/Fonts.h"
#include "ui/ModernButton.h"

namespace praatkist::ui {

namespace {

const QColor Background = QColor::fromRgb(0x1B1D21);
const QColor WindowText = QColor::fromRgb(0x8BE5E8);
const QColor VersionYellow = QColor::fromRgb(0xFFDF45);
const QColor Blue = QColor::fromRgb(0x366BA7);

QLabel *AddLabel(QWidget *AForm, const QString &AName, const QRect &ABox, const QString &AText,
                 const QFont &AFont, const QColor &AColor)
{
  auto *label = new QLabel(AForm);
  label->setObjectName(AName);
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(ABox);
  // Centred across, from the top of the box down, like every label of the layouts.
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label->setFont(AFont);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, AColor);
  label->setPalette(pal);
  label->setText(AText);
  return label;
}

} // namespace

QString GetVersionText()
{
  return QString::fromStdString(platform::ProgramVersionText());
}

TfrmAbout::TfrmAbout(QWidget *AOwner)
    : QDialog(AOwner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("Over Praatkist"));
  setFixedSize(500, 310);
  setFont(DesignFontPx(SegoeUI, 13));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Background);
  pal.setColor(QPalette::WindowText, WindowText);
  setPalette(pal);
  setAutoFillBackground(true);

  lblTitle = AddLabel(this, QStringLiteral("lblTitle"), QRect(32, 35, 436, 44),
                      QStringLiteral("Praatkist beta"), DesignFontPx(SegoeUISemibold, 29, true),
                      Qt::white);
  lblVersion =
      AddLabel(this, QStringLiteral("lblVersion"), QRect(32, 90, 436, 25),
               QStringLiteral("Versie 1.0.0.0"), DesignFontPx(SegoeUI, 16, true), VersionYellow);
  lblCopyright = AddLabel(this, QStringLiteral("lblCopyright"), QRect(32, 195, 436, 25),
                          QStringLiteral("© 2026 Praatkist. Alle rechten voorbehouden."),
                          DesignFontPx(SegoeUI, 13), WindowText);
  lblDescription =
      AddLabel(this, QStringLiteral("lblDescription"), QRect(32, 135, 436, 45),
               QStringLiteral("Snel spraak-opnames maken"), DesignFontPx(SegoeUI, 13), WindowText);
  lblDescription->setWordWrap(true);

  btnClose = new TClickLabel(this);
  btnClose->setAutoFillBackground(true);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setGeometry(175, 245, 150, 40);
  btnClose->setFont(DesignFontPx(SegoeUI, 13, true));
  QPalette panel = btnClose->palette();
  panel.setColor(QPalette::Window, Blue);
  panel.setColor(QPalette::WindowText, Qt::white);
  btnClose->setPalette(panel);
  btnClose->setText(QStringLiteral("SLUITEN"));
  btnClose->OnClick = [this] { CloseClick(); };
}

void TfrmAbout::ShowAbout(QWidget *AOwner)
{
  std::unique_ptr<TfrmAbout> form(new TfrmAbout(AOwner));
  form->lblVersion->setText(QStringLiteral("Versie ") + GetVersionText());
  form->exec();
}

void TfrmAbout::CloseClick()
{
  done(mrOk);
}

void TfrmAbout::reject()
{
  done(mrCancel);
}

void TfrmAbout::keyPressEvent(QKeyEvent *event)
{
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

} // namespace praatkist::ui
