#pragma once
// Times as the window writes them: the clock's "mm:ss" ("hh:mm:ss" from one hour on)
// and seconds with two decimals. Header only: the flow (Qt Core) writes its clock with
// it as the widgets write their axis and descriptions.

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/NumberText.h"

namespace praatkist::ui {

// Whole seconds (truncated toward zero, negative as 0) as "%.2d:%.2d" of minutes and
// seconds, or "%.2d:%.2d:%.2d" from one hour on (hours may take more digits).
// 59.9 gives "00:59", 3600 gives "01:00:00", 360000 gives "100:00:00".
inline QString FormatSeconds(double Seconds)
{
  // Far beyond any take; keeps the conversion defined for absurd or broken values.
  constexpr double kMax = 9.0e15;
  std::int64_t whole = 0;
  if (Seconds > 0.0)
    whole = static_cast<std::int64_t>(std::trunc(std::min(Seconds, kMax)));
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

// Seconds with two decimals and the user's decimal separator ("1,25").
inline QString TwoDecimals(double ASeconds)
{
  QString text = QString::number(ASeconds, 'f', 2);
  text.replace(QLatin1Char('.'), QLatin1Char(platform::UserDecimalSeparator()));
  return text;
}

} // namespace praatkist::ui
