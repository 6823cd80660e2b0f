#include "ui/ModernButton.h"

#include <QDialog>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>

#include <algorithm>

#include "ui/Fonts.h"

namespace praatkist::ui {

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
  setFocusPolicy(Qt::NoFocus);
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
}

void TModernButton::paintEvent(QPaintEvent *)
{
  // The widget's backing store composes the picture off-screen and shows it in one step.
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

  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(border, 1));
  p.setBrush(fill);
  // Pixel centres: the 1-pixel outline lies exactly on r's outermost pixels.
  p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);

  p.setPen(text);
  p.setFont(font());
  const QString shown = fontMetrics().elidedText(FCaption, Qt::ElideRight, r.width());
  p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, shown);
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

void TModernButton::leaveEvent(QEvent *event)
{
  QWidget::leaveEvent(event);
  FHover = false;
  FPressed = false;
  update();
}

} // namespace praatkist::ui
