#pragma once
// The clock's text: "mm:ss", or "hh:mm:ss" from one hour on.

#include <QString>

namespace praatkist::ui {

// Whole seconds (truncated toward zero, negative as 0) as "%.2d:%.2d" of minutes and
// seconds, or "%.2d:%.2d:%.2d" from one hour on (hours may take more digits).
// 59.9 gives "00:59", 3600 gives "01:00:00", 360000 gives "100:00:00".
QString FormatSeconds(double Seconds);

} // namespace praatkist::ui
