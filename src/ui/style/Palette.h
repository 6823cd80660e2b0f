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

// The buttons (TModernButton): the default accent, and the look of a disabled one.
inline constexpr QRgb ButtonAccent = 0x359AD9;
inline constexpr QRgb ButtonDisabledFill = 0x383B40;
inline constexpr QRgb ButtonDisabledBorder = 0x494D53;
// Disabled buttons' text and the disabled entries of a dark drop-down list.
inline constexpr QRgb DisabledGrey = 0x7A7E84;

// The level meter.
inline constexpr QRgb MeterScaleText = 0x9EA2A8;
inline constexpr QRgb MeterScaleLine = 0x565A60;
inline constexpr QRgb MeterUnlit = 0x373A40;
inline constexpr QRgb MeterGreen = 0x6BC968;
inline constexpr QRgb MeterYellow = 0xE8C845;
inline constexpr QRgb MeterRed = 0xE84545;
inline constexpr QRgb MeterPeakMarker = 0xFFFFFF;

// The waveform.
inline constexpr QRgb WaveBackground = 0x111111;
inline constexpr QRgb WaveDivider = 0x333333;
inline constexpr QRgb WaveLaneText = 0x70E860;
inline constexpr QRgb WaveAxisText = 0xB0B0B0;
inline constexpr QRgb WaveAxisTick = 0x444444;
inline constexpr QRgb WavePeak = 0x3BDF25;
inline constexpr QRgb WaveCursor = 0xFFFFFF;
inline constexpr QRgb WaveMarker = ClockYellow; // the take's markers and their numbers

inline QColor Colour(QRgb ARgb)
{
  return QColor::fromRgb(ARgb);
}

} // namespace praatkist::ui::palette
