#pragma once
// Times as the window writes them: the clock's "mm:ss" ("hh:mm:ss" from one hour on)
// and seconds with two decimals. The flow (Qt Core) writes its clock with them; the
// widgets write their axis and descriptions with them too, the one part of the flow
// they may include (plain functions of a number, on Qt Core and the platform alone).

#include <QString>

namespace praatkist::ui {

// Whole seconds (truncated toward zero, negative as 0) as "%.2d:%.2d" of minutes and
// seconds, or "%.2d:%.2d:%.2d" from one hour on (hours may take more digits).
// 59.9 gives "00:59", 3600 gives "01:00:00", 360000 gives "100:00:00".
QString FormatSeconds(double ASeconds);

// Seconds with two decimals and the user's decimal separator ("1,25").
QString TwoDecimals(double ASeconds);

} // namespace praatkist::ui
