// The running take's clock: from the start with what the take began with from before
// it, held at the take's length while paused, and after a resume from that length
// without the pre-roll.

#include <QtTest>

#include "ui/flow/RecordingClock.h"

using namespace praatkist::ui;

class TestRecordingClock : public QObject {
  Q_OBJECT

private slots:
  void preRollCountsUntilAResume()
  {
    std::uint64_t now = 5000;
    TRecordingClock clock([&now] { return now; });
    clock.Start();
    now += 1500;
    // 1.5 s since the start and 1 s kept from before it
    QCOMPARE(clock.Read(false, 0.0, 1.0).Seconds, 2.5);
    QCOMPARE(clock.Read(false, 0.0, 1.0).Text, QStringLiteral("00:02"));

    // Paused: the take's length, however long the pause lasts.
    now += 60000;
    QCOMPARE(clock.Read(true, 2.6, 1.0).Seconds, 2.6);
    clock.Resume(2.6);
    now += 1000;
    QCOMPARE(clock.Read(false, 0.0, 1.0).Seconds, 3.6);
    QCOMPARE(clock.Read(false, 0.0, 1.0).Text, QStringLiteral("00:03"));
  }
};

QTEST_GUILESS_MAIN(TestRecordingClock)
#include "test_recording_clock.moc"
