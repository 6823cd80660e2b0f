#include "ui/widgets/ClickLabel.h"

#include <QMouseEvent>

namespace praatkist::ui {

void TClickTracker::Press(QMouseEvent *event)
{
  event->accept();
  if (event->button() == Qt::LeftButton)
    FArmed = true;
}

bool TClickTracker::Release(QMouseEvent *event, const QWidget *widget)
{
  event->accept();
  if (event->button() != Qt::LeftButton)
    return false;
  const bool click = FArmed && widget->rect().contains(event->position().toPoint());
  FArmed = false;
  return click && widget->isEnabled();
}

TClickLabel::TClickLabel(QWidget *AOwner) : QLabel(AOwner)
{
  setFocusPolicy(Qt::NoFocus);
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignCenter);
}

void TClickLabel::mousePressEvent(QMouseEvent *event)
{
  FClick.Press(event);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
  if (FClick.Release(event, this) && OnClick)
    OnClick();
}

} // namespace praatkist::ui
