#include "ui/widgets/PanelButton.h"

#include <QMouseEvent>

namespace praatkist::ui {

TPanelButton::TPanelButton(QWidget *AOwner) : QFrame(AOwner)
{
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::NoFocus);
  Icon = new TClickLabel(this);
  Text = new TClickLabel(this);
  Icon->OnClick = [this] {
    if (OnClick)
      OnClick();
  };
  Text->OnClick = Icon->OnClick;
}

void TPanelButton::Press()
{
  if (isEnabled() && OnClick)
    OnClick();
}

void TPanelButton::mousePressEvent(QMouseEvent *event)
{
  FClick.Press(event);
}

void TPanelButton::mouseReleaseEvent(QMouseEvent *event)
{
  if (FClick.Release(event, this) && PanelClicks && OnClick)
    OnClick();
}

} // namespace praatkist::ui
