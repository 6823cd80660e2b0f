#pragma once
// The program's colours, one place for all its windows.

#include <QColor>
#include <QRgb>

namespace praatkist::ui::palette {

inline constexpr QRgb Background = 0x1B1D21;      // every window
inline constexpr QRgb FieldBackground = 0x282B31; // lists, fields, the meter's track
inline constexpr QRgb DialogText = 0xE3E5E8;
inline constexpr QRgb WindowText = 0x8BE5E8;
inline constexpr QRgb RedAccent = 0xCE4D4D;
inline constexpr QRgb BlueAccent = 0x366BA7;
inline constexpr QRgb GreyAccent = 0x383C43;
inline constexpr QRgb ClockYellow = 0xFFDF45; // clock and version
inline constexpr QRgb TrimOrange = 0xFFA045;
// Text of disabled lists and boxes in the main window.
inline constexpr QRgb DisabledText = 0x6E737A;

inline QColor Colour(QRgb ARgb)
{
  return QColor::fromRgb(ARgb);
}

} // namespace praatkist::ui::palette
