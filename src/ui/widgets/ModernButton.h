#pragma once
// TModernButton: the flat, rounded push button of the dark dialogs.
//
// A rounded rectangle filled with an accent colour and a white semibold caption;
// lighter while the pointer is over it, the style's shadow colour while it is held
// down, grey when disabled. A mouse click leaves the keyboard focus where it was;
// Tab reaches it, and Space or Return press it. Screen readers see a push button
// named by its caption, with a press action. When clicked it raises OnClick and then,
// if its ModalResult is not mrNone, hands that result to the window it sits on (a
// QDialog finishes with it).

#include <QColor>
#include <QString>
#include <QWidget>

#include "ui/style/Palette.h"

class QEnterEvent;

namespace praatkist::ui {

// Modal results of the dialogs.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

// The fill shown while the pointer is over a button of the given accent:
// 16 more in each of red, green and blue, held at 255.
QColor HoverColor(const QColor &accent);

class TModernButton : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QColor AccentColor READ AccentColor WRITE SetAccentColor)
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
  Q_PROPERTY(int ModalResult READ ModalResult WRITE SetModalResult)

public:
  static constexpr QRgb DefaultAccent = palette::ButtonAccent;
  static constexpr QRgb DisabledFill = palette::ButtonDisabledFill;
  static constexpr QRgb DisabledBorder = palette::ButtonDisabledBorder;
  static constexpr QRgb DisabledText = palette::DisabledGrey;

  explicit TModernButton(QWidget *AOwner = nullptr);

  QColor AccentColor() const { return FAccentColor; }
  // Repaints only when the colour really changes.
  void SetAccentColor(const QColor &AValue);

  QString Caption() const { return FCaption; }
  void SetCaption(const QString &AValue);

  int ModalResult() const { return FModalResult; }
  void SetModalResult(int AValue) { FModalResult = AValue; }

  bool IsHover() const { return FHover; }
  bool IsPressed() const { return FPressed; }

  QSize sizeHint() const override { return {150, 38}; }

  // What a key or a screen reader's press action does: the click of an enabled
  // button. Does nothing while disabled.
  void Press();

signals:
  void OnClick();

protected:
  // Raises OnClick, then hands ModalResult to the enclosing window.
  virtual void Click();

  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void changeEvent(QEvent *event) override;
  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

private:
  QColor FAccentColor;
  bool FHover = false;
  bool FPressed = false;
  int FModalResult = mrNone;
  QString FCaption;
  // A left press landed on the button; a release over it makes a click.
  bool FClickArmed = false;
};

} // namespace praatkist::ui
