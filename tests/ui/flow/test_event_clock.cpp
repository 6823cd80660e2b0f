// When a key went down, from the system's stamp on its event: stamps of the steady
// clock (whole or in their low 32 bits) are read as they are; stamps of another clock
// by the offset that the events handled at once show.

#include <QtTest>

#include "ui/flow/EventClock.h"

using namespace praatkist::ui;

namespace {

constexpr std::int64_t Ms = 1000000;

} // namespace

class TestEventClock : public QObject {
  Q_OBJECT

private slots:
  void steadyStampsAreTakenAsTheyAre()
  {
    TEventClock clock;
    const std::int64_t now = (5000000000LL + 1234) * Ms + 456; // past 2^32 ms
    const auto stamp = static_cast<std::uint64_t>((now / Ms - 300) & 0xFFFFFFFF);
    QCOMPARE(clock.PressNs(stamp, now), (now / Ms - 300) * Ms);
    QCOMPARE(clock.PressNs(static_cast<std::uint64_t>(now / Ms - 300), now), (now / Ms - 300) * Ms);
    QCOMPARE(clock.PressNs(0, now), now); // no stamp: handled now
  }

  void anotherClockIsLearntFromEventsHandledAtOnce()
  {
    TEventClock clock;
    const std::int64_t epoch = 987654321 * Ms; // the other clock's zero on the steady one
    std::int64_t now = epoch + 77777 * Ms;
    QCOMPARE(clock.PressNs(77777 - 400, now), now); // nothing learnt yet
    // events handled 0 to 3 ms after they happened
    for (int i = 0; i < 10; ++i) {
      now += 40 * Ms;
      clock.Note(static_cast<std::uint64_t>((now - epoch) / Ms - i % 4), now);
    }
    // a press handled 400 ms late
    now += 500 * Ms;
    const auto stamp = static_cast<std::uint64_t>((now - epoch) / Ms - 400);
    QCOMPARE(clock.PressNs(stamp, now), now - 400 * Ms);
  }
};

QTEST_GUILESS_MAIN(TestEventClock)
#include "test_event_clock.moc"
