#include "ui/dialogs/AboutForm.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

#include <memory>

#include "platform/VersionInfo.h"
#include "ui/style/Fonts.h"
#include "ui/widgets/ModernButton.h"
#include "ui/style/Palette.h"

namespace praatkist::ui {

namespace {

const QColor Background = palette::Colour(palette::Background);
const QColor WindowText = palette::Colour(palette::WindowText);
const QColor VersionYellow = palette::Colour(palette::ClockYellow);
const QColor Blue = palette::Colour(palette::BlueAccent);

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

// The close panel as screen readers see it: a push button named by its caption whose
// press action closes the window, as a click does.
class TAboutCloseAccessible final : public QAccessibleWidget {
public:
  explicit TAboutCloseAccessible(TClickLabel *panel) : QAccessibleWidget(panel, QAccessible::Button)
  {
  }

  QString text(QAccessible::Text t) const override
  {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
      return static_cast<TClickLabel *>(widget())->text();
    return QAccessibleWidget::text(t);
  }

  QStringList actionNames() const override { return {pressAction()}; }

  void doAction(const QString &name) override
  {
    auto *panel = static_cast<TClickLabel *>(widget());
    if (name == pressAction() && panel->isEnabled() && panel->OnClick)
      panel->OnClick();
  }
};

QAccessibleInterface *AboutCloseAccessibleFactory(const QString &className, QObject *object)
{
  if (className != QLatin1String(TClickLabel::staticMetaObject.className()))
    return nullptr;
  auto *panel = qobject_cast<TClickLabel *>(object);
  if (!panel || !qobject_cast<TfrmAbout *>(panel->parentWidget()) ||
      panel != static_cast<TfrmAbout *>(panel->parentWidget())->btnClose)
    return nullptr;
  return new TAboutCloseAccessible(panel);
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
  lblCopyright =
      AddLabel(this, QStringLiteral("lblCopyright"), QRect(32, 195, 436, 25),
               QStringLiteral("© 2026 Praatkist · vrije software onder GPL-3.0-or-later"),
               DesignFontPx(SegoeUI, 13), WindowText);
  const QString licence = QStringLiteral("Vrije software onder de GNU General Public License, "
                                         "versie 3 of later (GPL-3.0-or-later).");
  lblCopyright->setToolTip(licence);
  lblCopyright->setAccessibleDescription(licence);
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
  static const bool accessibleFactory =
      (QAccessible::installFactory(AboutCloseAccessibleFactory), true);
  (void)accessibleFactory;
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
  // Return and Enter answer as SLUITEN does; Escape closes as the close box does.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == 0) {
    event->accept();
    CloseClick();
    return;
  }
  QDialog::keyPressEvent(event);
}

} // namespace praatkist::ui
