#pragma once
// TfrmAbout: the about window with the program's title, version, description and
// copyright line, opened modally from the main window's about button.

#include <QDialog>
#include <QLabel>
#include <QString>

#include <functional>

#include "ui/widgets/ClickLabel.h"

namespace praatkist::ui {

// The version shown in the about window: the version the program was built with,
// "1.0.0.0" when the build carried none.
QString GetVersionText();

class TfrmAbout : public QDialog {
  Q_OBJECT

public:
  explicit TfrmAbout(QWidget *AOwner = nullptr);

  // Shows the window modally over AOwner and destroys it once it is closed.
  static void ShowAbout(QWidget *AOwner);

  QLabel *lblTitle;
  QLabel *lblVersion;
  QLabel *lblCopyright;
  QLabel *lblDescription;
  // A flat coloured panel with a centred caption, used as a button.
  TClickLabel *btnClose;

public slots:
  // Closes the window with OK.
  void CloseClick();

public:
  // The close box and Escape close with Cancel; Return closes with OK.
  void reject() override;

protected:
  void keyPressEvent(QKeyEvent *event) override;
};

} // namespace praatkist::ui
