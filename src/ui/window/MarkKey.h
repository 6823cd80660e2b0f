#pragma once
// The marker key (Ctrl+M unless the user chose another): it tells the moment the key
// went down, so that a marker lands there however late the window comes to handle the
// press. The system stamps every input event when it happens; the window's keys (see
// KeyBindings) show this every input event as it passes, so that it learns the stamps'
// clock (see flow/EventClock) and the stamp of the marker key's press, which the key's
// shortcut then takes.

#include <QKeySequence>

#include <cstdint>
#include <functional>

#include "ui/flow/EventClock.h"

class QEvent;

namespace praatkist::ui {

class TMarkKey {
public:
  // ANowNs: the steady clock the engine counts by.
  explicit TMarkKey(std::function<std::int64_t()> ANowNs);

  void SetKey(const QKeySequence &AKey) { FKey = AKey; }
  const QKeySequence &Key() const { return FKey; }

  // Any event on its way to its receiver; only input events count.
  void See(const QEvent *AEvent);
  // When the press that the marker's shortcut answers now went down: its stamp, or now
  // when none was seen.
  std::int64_t TakePress();

private:
  std::function<std::int64_t()> FNowNs;
  QKeySequence FKey;
  TEventClock FClock;
  std::int64_t FPressNs = 0;
  bool FHavePress = false;
};

} // namespace praatkist::ui
