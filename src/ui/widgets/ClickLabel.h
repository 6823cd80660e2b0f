#pragma once
// Clicks on plain widgets: a left press followed by a release over the same widget.
// The panel buttons of the windows are labels and frames that react to that alone:
// no focus, no keys, no hover or pressed look.

#include <QLabel>

#include <functional>

class QMouseEvent;
class QWidget;

namespace praatkist::ui {

// Feed it a widget's press and release events; Release says whether they made a click.
class TClickTracker {
public:
  void Press(QMouseEvent *event);
  bool Release(QMouseEvent *event, const QWidget *widget);

private:
  bool FArmed = false;
};

// A label that runs OnClick when clicked while enabled.
class TClickLabel : public QLabel {
  Q_OBJECT

public:
  explicit TClickLabel(QWidget *AOwner);
  std::function<void()> OnClick;

protected:
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  TClickTracker FClick;
};

} // namespace praatkist::ui
