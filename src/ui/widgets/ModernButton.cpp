#include "ui/widgets/ModernButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDialog>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>

#include <algorithm>

#include "ui/style/Fonts.h"

namespace praatkist::ui {

namespace {
QAccessibleInterface *ModernButtonAccessibleFactory(const QString &className, QObject *object);
} // namespace

QColor HoverColor(const QColor &accent)
{
  const auto lift = [](int c) { return std::min(c + 16, 255); };
  return QColor(lift(accent.red()), lift(accent.green()), lift(accent.blue()));
}

TModernButton::TModernButton(QWidget *AOwner)
    : QWidget(AOwner), FAccentColor(QColor::fromRgb(DefaultAccent))
{
  resize(150, 38);
  setCursor(Qt::PointingHandCursor);
  // Tab reaches it; a click leaves the focus where it was (in a dialog's text box).
  setFocusPolicy(Qt::TabFocus);
  static const bool accessibleFactory =
      (QAccessible::installFactory(ModernButtonAccessibleFactory), true);
  (void)accessibleFactory;
  setFont(DesignFontPt(SegoeUISemibold, 10));
  QPalette pal = palette();
  pal.setColor(QPalette::ButtonText, Qt::white);
  setPalette(pal);
  // No background of its own: the parent's colour shows in the corners and in
  // the one-pixel margin around the rounded rectangle.
  setAutoFillBackground(false);
}

void TModernButton::SetAccentColor(const QColor &AValue)
{
  if (AValue == FAccentColor)
    return;
  FAccentColor = AValue;
  update();
}

void TModernButton::SetCaption(const QString &AValue)
{
  if (AValue == FCaption)
    return;
  FCaption = AValue;
  update();
  if (accessibleName().isEmpty()) {
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
  }
}

void TModernButton::Press()
{
  if (isEnabled())
    Click();
}

void TModernButton::paintEvent(QPaintEvent *)
{
  // The picture is composed off-screen at the screen's pixel ratio, so that outline
  // and caption stay sharp on a scaled screen, and then shown in one step. Outside
  // the rounded rectangle it stays transparent: the parent's colour shows there.
  const qreal dpr = devicePixelRatioF();
  QImage picture((QSizeF(size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
  if (picture.isNull())
    return;
  picture.setDevicePixelRatio(dpr);
  picture.fill(Qt::transparent);

  const QRect r = rect().adjusted(1, 1, -1, -1);
  const QColor accent = FAccentColor.toRgb();
  QColor fill;
  QColor border;
  QColor text;
  if (!isEnabled()) {
    fill = QColor::fromRgb(DisabledFill);
    border = QColor::fromRgb(DisabledBorder);
    text = QColor::fromRgb(DisabledText);
  } else if (FPressed) {
    // The style's button-shadow colour, not one of our own palette.
    fill = QGuiApplication::palette().color(QPalette::Active, QPalette::Dark);
    border = accent;
    text = palette().color(QPalette::ButtonText);
  } else if (FHover) {
    fill = HoverColor(accent);
    border = accent;
    text = palette().color(QPalette::ButtonText);
  } else {
    fill = accent;
    border = accent;
    text = palette().color(QPalette::ButtonText);
  }

  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(border, 1));
  p.setBrush(fill);
  // Pixel centres: the 1-pixel outline lies exactly on r's outermost pixels.
  p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);

  p.setPen(text);
  p.setFont(font());
  const QString shown = fontMetrics().elidedText(FCaption, Qt::ElideRight, r.width());
  p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, shown);

  // Once the keyboard moves the focus in this window, the focused button shows a thin
  // ring inside its outline; a mouse user never sees one.
  if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
    p.setPen(QPen(text, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(r).adjusted(2.5, 2.5, -2.5, -2.5), 3, 3);
  }
  p.end();

  QPainter screen(this);
  screen.drawImage(0, 0, picture);
}

void TModernButton::Click()
{
  QPointer<TModernButton> self(this);
  emit OnClick();
  if (!self || FModalResult == mrNone)
    return;
  QWidget *form = window();
  if (form == this)
    return;
  if (auto *dialog = qobject_cast<QDialog *>(form))
    dialog->done(FModalResult);
}

void TModernButton::mousePressEvent(QMouseEvent *event)
{
  QWidget::mousePressEvent(event);
  event->accept(); // keep the press (and so the release) for ourselves
  if (event->button() != Qt::LeftButton)
    return;
  FClickArmed = true;
  if (isEnabled()) {
    FPressed = true;
    update();
  }
}

void TModernButton::mouseReleaseEvent(QMouseEvent *event)
{
  QWidget::mouseReleaseEvent(event);
  event->accept();
  if (event->button() != Qt::LeftButton)
    return;
  const bool click = FClickArmed && rect().contains(event->position().toPoint());
  FClickArmed = false;
  if (FPressed) {
    FPressed = false;
    update();
  }
  if (click)
    Click();
}

void TModernButton::changeEvent(QEvent *event)
{
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    FPressed = false;
    FClickArmed = false;
    update();
  }
}

void TModernButton::enterEvent(QEnterEvent *event)
{
  QWidget::enterEvent(event);
  FHover = true;
  update();
}

void TModernButton::keyPressEvent(QKeyEvent *event)
{
  switch (event->key()) {
  case Qt::Key_Space:
  case Qt::Key_Return:
  case Qt::Key_Enter:
    event->accept();
    if (!event->isAutoRepeat())
      Press();
    return;
  default:
    QWidget::keyPressEvent(event);
  }
}

void TModernButton::focusInEvent(QFocusEvent *event)
{
  QWidget::focusInEvent(event);
  update();
}

void TModernButton::focusOutEvent(QFocusEvent *event)
{
  QWidget::focusOutEvent(event);
  update();
}

void TModernButton::leaveEvent(QEvent *event)
{
  QWidget::leaveEvent(event);
  FHover = false;
  FPressed = false;
  update();
}

// What screen readers see of the button: a push button named by its caption (or by
// an accessible name set on it), with a press action that clicks it. Disabled,
// focusable and focused states come from the widget.
class TModernButtonAccessible final : public QAccessibleWidget {
public:
  explicit TModernButtonAccessible(TModernButton *button)
      : QAccessibleWidget(button, QAccessible::Button)
  {
    addControllingSignal(QStringLiteral("OnClick()"));
  }

  QString text(QAccessible::Text t) const override
  {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
      return Button()->Caption();
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override
  {
    QAccessible::State st = QAccessibleWidget::state();
    st.pressed = Button()->IsPressed();
    return st;
  }

  QStringList actionNames() const override
  {
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
  }

  void doAction(const QString &name) override
  {
    if (name == pressAction())
      Button()->Press();
    else
      QAccessibleWidget::doAction(name);
  }

  QStringList keyBindingsForAction(const QString &name) const override
  {
    if (name == pressAction())
      return {QStringLiteral("Space")};
    return QAccessibleWidget::keyBindingsForAction(name);
  }

private:
  TModernButton *Button() const { return static_cast<TModernButton *>(widget()); }
};

namespace {

QAccessibleInterface *ModernButtonAccessibleFactory(const QString &className, QObject *object)
{
  if (className != QLatin1String(TModernButton::staticMetaObject.className()))
    return nullptr;
  if (auto *button = qobject_cast<TModernButton *>(object))
    return new TModernButtonAccessible(button);
  return nullptr;
}

} // namespace

} // namespace praatkist::ui
