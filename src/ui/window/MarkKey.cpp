#include "ui/window/MarkKey.h"

#include <QKeyEvent>

#include <utility>

#include "ui/window/CommandKeys.h"

namespace praatkist::ui {

TMarkKey::TMarkKey(std::function<std::int64_t()> ANowNs)
    : FNowNs(std::move(ANowNs)), FKey(CommandInfo(TCommand::Mark).Default)
{
}

void TMarkKey::See(const QEvent *AEvent)
{
  switch (AEvent->type()) {
  case QEvent::ShortcutOverride:
  case QEvent::KeyPress: {
    const auto *key = static_cast<const QKeyEvent *>(AEvent);
    const std::int64_t now = FNowNs();
    // The press that the shortcut answers comes first as its override.
    if (PressesKey(*key, FKey) && !key->isAutoRepeat()) {
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
    FClock.Note(static_cast<const QInputEvent *>(AEvent)->timestamp(), FNowNs());
    break;
  default:
    break;
  }
}

std::int64_t TMarkKey::TakePress()
{
  const std::int64_t at = FHavePress ? FPressNs : FNowNs();
  FHavePress = false;
  return at;
}

} // namespace praatkist::ui
