#include "ui/style/ClockText.h"

#include <QtTest>

using praatkist::ui::FormatSeconds;

class ClockTextTest : public QObject {
  Q_OBJECT
private slots:
  void Formats()
  {
    QCOMPARE(FormatSeconds(0), QStringLiteral("00:00"));
    QCOMPARE(FormatSeconds(-3), QStringLiteral("00:00"));
    QCOMPARE(FormatSeconds(59.9), QStringLiteral("00:59"));
    QCOMPARE(FormatSeconds(61), QStringLiteral("01:01"));
    QCOMPARE(FormatSeconds(3599), QStringLiteral("59:59"));
    QCOMPARE(FormatSeconds(3599.99), QStringLiteral("59:59"));
    QCOMPARE(FormatSeconds(3600), QStringLiteral("01:00:00"));
    QCOMPARE(FormatSeconds(360000), QStringLiteral("100:00:00"));
    QCOMPARE(FormatSeconds(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("00:00"));
    QVERIFY(!FormatSeconds(1e300).isEmpty());
  }
};

QTEST_GUILESS_MAIN(ClockTextTest)
#include "test_clock_text.moc"
