#pragma once
// The window layouts name Windows font families ("Segoe UI", "Segoe UI Semibold",
// "Consolas"). On other systems free stand-ins take their place: Open Sans for the
// Segoe families, Inconsolata or DejaVu Sans Mono for Consolas, and Symbola for
// symbols such as the about glyph that Open Sans lacks.

#include <QFont>
#include <QString>

namespace praatkist::ui {

inline const QString SegoeUI = QStringLiteral("Segoe UI");
inline const QString SegoeUISemibold = QStringLiteral("Segoe UI Semibold");
inline const QString Consolas = QStringLiteral("Consolas");

// Maps the layouts' family names to the installed stand-ins. Call it once,
// before the first widget is created. Calling it again does no harm.
void InstallFontSubstitutes();

// A font of one of the layouts' families. "Segoe UI Semibold" is a weight of
// Open Sans here, so the semibold weight is set explicitly (bold overrides it).
QFont DesignFontPt(const QString &AFamily, qreal APoints, bool ABold = false);
QFont DesignFontPx(const QString &AFamily, int APixels, bool ABold = false);

} // namespace praatkist::ui
