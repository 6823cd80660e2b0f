#pragma once
// TfrmAbout: the about window with the program's title, version, description and
// copyright line, opened modally from the main window's about button.

#include <QDialog>
#include <QLabel>
#include <QString>

#include <functional>

namespace praatkist::ui {

// The version shown in the about window: the version the program was built with,
// "1.0.0.0" when the build carried none.
QString GetVersionText();

class TfrmAbout : public QDialog {
  Q_OBJECT

public:
  // A flat coloured panel with a centred caption, used as a button: a left press
  // followed by a release over it runs OnClick. No focus, no keys, no hover look.
  class TPanelButton : public QLabel {
  public:
    explicit TPanelButton(QWidget* AOwner);
    std::function<void()> OnClick;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool FClickArmed = false;
  };

  explicit TfrmAbout(QWidget* AOwner = nullptr);

  // Shows the window modally over AOwner and destroys it once it is closed.
  static void ShowAbout(QWidget* AOwner);

  QLabel* lblTitle;
  QLabel* lblVersion;
  QLabel* lblCopyright;
  QLabel* lblDescription;
  TPanelButton* btnClose;

public slots:
  // Closes the window with OK.
  void CloseClick();

public:
  // The close box closes with Cancel; no key closes the window.
  void reject() override;

protected:
  void keyPressEvent(QKeyEvent* event) override;
};

} // namespace praatkist::ui
