#include "ui/flow/ClockText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/NumberText.h"

namespace praatkist::ui {

QString FormatSeconds(double ASeconds)
{
  // Far beyond any take; keeps the conversion defined for absurd or broken values.
  constexpr double kMax = 9.0e15;
  std::int64_t whole = 0;
  if (ASeconds > 0.0)
    whole = static_cast<std::int64_t>(std::trunc(std::min(ASeconds, kMax)));
  const std::int64_t hours = whole / 3600;
  const std::int64_t minutes = (whole % 3600) / 60;
  const std::int64_t seconds = whole % 60;
  const auto two = [](std::int64_t v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
  };
  if (hours > 0)
    return two(hours) + QLatin1Char(':') + two(minutes) + QLatin1Char(':') + two(seconds);
  return two(minutes) + QLatin1Char(':') + two(seconds);
}

QString TwoDecimals(double ASeconds)
{
  QString text = QString::number(ASeconds, 'f', 2);
  text.replace(QLatin1Char('.'), QLatin1Char(platform::UserDecimalSeparator()));
  return text;
}

} // namespace praatkist::ui
