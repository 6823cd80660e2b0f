#include "ui/window/MarkKey.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QShortcut>
#include <QWidget>

namespace praatkist::ui {

TMarkKey::TMarkKey(QWidget *AWindow, std::function<std::int64_t()> ANowNs)
    : QObject(AWindow), FNowNs(std::move(ANowNs))
{
  auto *shortcut = new QShortcut(Keys(), AWindow);
  shortcut->setContext(Qt::WindowShortcut);
  shortcut->setAutoRepeat(false); // one marker for one press
  connect(shortcut, &QShortcut::activated, this, [this] {
    const std::int64_t at = FHavePress ? FPressNs : FNowNs();
    FHavePress = false;
    emit Pressed(at);
  });
  QCoreApplication::instance()->installEventFilter(this);
}

TMarkKey::~TMarkKey()
{
  if (QCoreApplication::instance() != nullptr)
    QCoreApplication::instance()->removeEventFilter(this);
}

bool TMarkKey::eventFilter(QObject *AWatched, QEvent *AEvent)
{
  switch (AEvent->type()) {
  case QEvent::ShortcutOverride:
  case QEvent::KeyPress: {
    const auto *key = static_cast<QKeyEvent *>(AEvent);
    const std::int64_t now = FNowNs();
    // The press that the shortcut answers comes first as its override.
    if (key->key() == Qt::Key_M && key->modifiers() == Qt::ControlModifier &&
        !key->isAutoRepeat()) {
      FPressNs = FClock.PressNs(key->timestamp(), now);
      FHavePress = true;
    }
    FClock.Note(key->timestamp(), now);
    break;
  }
  case QEvent::KeyRelease:
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonRelease:
  case QEvent::MouseMove:
    FClock.Note(static_cast<QInputEvent *>(AEvent)->timestamp(), FNowNs());
    break;
  default:
    break;
  }
  return QObject::eventFilter(AWatched, AEvent);
}

} // namespace praatkist::ui
