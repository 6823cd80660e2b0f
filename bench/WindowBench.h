#pragma once
// What the benchmarks of the real window share: serving its events until something
// holds.

#include <QElapsedTimer>
#include <QtTest>

#include <functional>

namespace bench {

// Serves events, AStepMs at a time, until ADone holds; false after ATimeoutMs.
inline bool RunUntil(const std::function<bool()> &ADone, int ATimeoutMs, int AStepMs = 1)
{
  QElapsedTimer clock;
  clock.start();
  while (!ADone()) {
    if (clock.elapsed() > ATimeoutMs)
      return false;
    QTest::qWait(AStepMs);
  }
  return true;
}

} // namespace bench
