#pragma once
// The parts the dark dialogs are built from: the window in the dark colours (Escape
// and its close box answer "Annuleren", Return presses its default button), its
// wrapped message label, its TModernButton answers and the modal showing over the
// main window.

#include <QColor>
#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

class QLabel;

namespace praatkist::ui {

class TModernButton;

inline constexpr int DarkFormWidth = 480;
inline constexpr int DarkLabelLeft = 28;
inline constexpr int DarkLabelWidth = DarkFormWidth - 2 * DarkLabelLeft; // 424
inline constexpr int DarkButtonHeight = 38;

// The dialog window. Escape, its close box and whatever else asks the dialog to
// reject answer "Annuleren"; Return answers with the default button (the confirming
// one), unless a focused button takes the key itself.
class TDarkDialogForm final : public QDialog {
public:
  TDarkDialogForm();
  void reject() override;

  TModernButton *DefaultButton = nullptr;
  // Asked before Escape, the close box or "Annuleren" close the window: false keeps it
  // open. None: they close it.
  std::function<bool()> MayReject;

protected:
  void keyPressEvent(QKeyEvent *event) override;
};

// A dialog captioned ACaption, DarkFormWidth wide and AClientHeight high.
std::unique_ptr<TDarkDialogForm> CreateDarkDialogForm(const QString &ACaption, int AClientHeight);
// The message (object name lblMessage) in a box from ATop, AHeight high.
QLabel *AddDarkDialogLabel(TDarkDialogForm *AForm, const QString &AText, int ATop, int AHeight,
                           Qt::Alignment AVertical = Qt::AlignVCenter);
// An answer button; the one with mrOk is the default and has the focus.
TModernButton *AddDarkDialogButton(TDarkDialogForm *AForm, const QString &ACaption, int ALeft,
                                   int ATop, int AWidth, int AModalResult, const QColor &AAccent);
// Puts AForm over the active window and runs it; its result.
int ShowDarkModal(QDialog *AForm);
// Puts AForm over the window that is active now.
void CentreOverActiveWindow(QWidget *AForm);

} // namespace praatkist::ui
