#pragma once
// Answers the next modal dialog of a window test once the dialog's own event loop
// runs. The answer does not wait for the platform to activate the dialog (that comes
// when it comes, later on a busy machine, never under some screens): the dialog is made
// the active window first, as the user's click on it would, so its focus is where the
// user would find it. A dialog still open after its answer is closed once the event
// loop has run again, so that a broken answer fails the test instead of hanging it.

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>

#include <functional>
#include <utility>

namespace praatkist::test {

class TNextDialog : public QObject {
public:
  explicit TNextDialog(std::function<void(QDialog *)> answer) : FAnswer(std::move(answer))
  {
    qApp->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override
  {
    auto *dialog = qobject_cast<QDialog *>(watched);
    if (event->type() != QEvent::Show || !dialog || !dialog->isModal())
      return false;
    qApp->removeEventFilter(this);
    QPointer<QDialog> open(dialog);
    // Queued: it runs inside the dialog's own loop, after exec() has begun.
    QMetaObject::invokeMethod(
        this,
        [this, open] {
          if (open && open->isVisible()) {
            QApplication::setActiveWindow(open);
            FAnswer(open);
          }
          QMetaObject::invokeMethod(
              this,
              [this, open] {
                if (open && open->isVisible())
                  open->done(-1);
                deleteLater();
              },
              Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return false;
  }

private:
  std::function<void(QDialog *)> FAnswer;
};

// Runs Answer on the next modal dialog (it deletes itself afterwards).
inline void AnswerNextDialog(std::function<void(QDialog *)> answer)
{
  new TNextDialog(std::move(answer));
}

} // namespace praatkist::test
