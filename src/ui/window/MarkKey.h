#pragma once
// The marker key, Ctrl+M: it tells the moment the key went down, so that a marker
// lands there however late the window comes to handle the press. The system stamps
// every input event when it happens; a filter on the whole application reads the
// stamps of the events as they pass (learning their clock, see flow/EventClock) and
// the stamp of the marker key's press, which the key's shortcut then hands on.

#include <QKeySequence>
#include <QObject>

#include <cstdint>
#include <functional>

#include "ui/flow/EventClock.h"

class QWidget;

namespace praatkist::ui {

class TMarkKey : public QObject {
  Q_OBJECT

public:
  // The key, in AWindow's scope; ANowNs: the steady clock the engine counts by.
  TMarkKey(QWidget *AWindow, std::function<std::int64_t()> ANowNs);
  ~TMarkKey() override;

  static QKeySequence Keys() { return QKeySequence(Qt::CTRL | Qt::Key_M); }

signals:
  // The key went down at APressNs (ANowNs's clock).
  void Pressed(std::int64_t APressNs);

protected:
  bool eventFilter(QObject *AWatched, QEvent *AEvent) override;

private:
  std::function<std::int64_t()> FNowNs;
  TEventClock FClock;
  std::int64_t FPressNs = 0;
  bool FHavePress = false;
};

} // namespace praatkist::ui
