#pragma once
// What screen readers get from the main window's own widgets, through Qt's
// accessibility interfaces: the panel buttons are push buttons named by their caption,
// with a press action that runs their command; the level meter reports its level in dB.

namespace praatkist::ui {

// Installs the interfaces (once; later calls do nothing). Call it before the first
// interface is asked for, for example when the main window is built.
void InstallAccessibleInterfaces();

// The meter's level in dB for the tag it paints: -60 for silence, at most +6.
double MeterLevelDb(long long ATag);

} // namespace praatkist::ui
