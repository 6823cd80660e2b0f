#pragma once
// TDarkProgress: a dark window over the main window that shows how far a long piece of
// work is, with "Annuleren" (also Escape and the close box) to ask it to end. It does
// not wait: the caller's work goes on and the event loop keeps serving the window; the
// caller closes it when the work has ended. A second ask to cancel is not passed on.

#include <QString>

#include <functional>
#include <memory>

class QProgressBar;
class QLabel;

namespace praatkist::ui {

class TDarkDialogForm;

class TDarkProgress {
public:
  TDarkProgress(const QString &ACaption, const QString &AText);
  ~TDarkProgress();
  TDarkProgress(const TDarkProgress &) = delete;
  TDarkProgress &operator=(const TDarkProgress &) = delete;

  // The cancel the user asked for.
  std::function<void()> OnCancel;

  void Show();
  void SetPercent(int APercent);
  void Close();

private:
  std::unique_ptr<TDarkDialogForm> FForm;
  QLabel *FText = nullptr;
  QProgressBar *FBar = nullptr;
  bool FCancelAsked = false;
};

} // namespace praatkist::ui
