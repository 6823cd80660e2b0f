#include "ui/flow/ClockText.h"

#include <QtTest>

#include "platform/NumberText.h"

using praatkist::ui::FormatSeconds;
using praatkist::ui::TwoDecimals;

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

  void TwoDecimalsWithTheUsersSeparator()
  {
    const QChar separator = QLatin1Char(praatkist::platform::UserDecimalSeparator());
    QCOMPARE(TwoDecimals(1.254), QStringLiteral("1") + separator + QStringLiteral("25"));
    QCOMPARE(TwoDecimals(0), QStringLiteral("0") + separator + QStringLiteral("00"));
  }
};

QTEST_GUILESS_MAIN(ClockTextTest)
#include "test_clock_text.moc"
