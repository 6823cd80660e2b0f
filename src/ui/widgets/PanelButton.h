#pragma once
// TPanelButton: the main window's command buttons. A flat coloured panel holding a
// glyph label and a text label; a click on the panel (unless PanelClicks is off) or on
// either label runs OnClick. Being disabled changes neither its colours nor its texts:
// it only ignores clicks. It never takes the keyboard focus.

#include <QFrame>
#include <QKeySequence>

#include <functional>

#include "ui/widgets/ClickLabel.h"

namespace praatkist::ui {

class TPanelButton : public QFrame {
  Q_OBJECT

public:
  explicit TPanelButton(QWidget *AOwner);
  TClickLabel *Icon = nullptr;
  TClickLabel *Text = nullptr;
  bool PanelClicks = true;
  std::function<void()> OnClick;
  // The window's shortcut for the same command, told to screen readers.
  QKeySequence Keys;

  // Runs OnClick as a click would: only while the button is enabled.
  void Press();

protected:
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  TClickTracker FClick;
};

} // namespace praatkist::ui
