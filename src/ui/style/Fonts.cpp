#include "ui/style/Fonts.h"

#include <QStringList>

namespace praatkist::ui {

void InstallFontSubstitutes()
{
  // Symbola comes after the text face in each list: Qt falls back to the later
  // families of the list for characters the first one lacks (ⓘ, ⇨, ↺).
  const QStringList sans{QStringLiteral("Open Sans"), QStringLiteral("Symbola")};
  const QStringList mono{QStringLiteral("Inconsolata"), QStringLiteral("DejaVu Sans Mono"),
                         QStringLiteral("Symbola")};
  for (const QString &family : {SegoeUI, SegoeUISemibold, Consolas}) {
    QFont::removeSubstitutions(family);
    QFont::insertSubstitutions(family, family == Consolas ? mono : sans);
  }
}

namespace {

QFont BaseFont(const QString &AFamily, bool ABold)
{
  QFont font(AFamily);
  if (ABold)
    font.setWeight(QFont::Bold);
  else if (AFamily == SegoeUISemibold)
    font.setWeight(QFont::DemiBold);
  if (AFamily == Consolas)
    font.setStyleHint(QFont::Monospace);
  return font;
}

} // namespace

QFont DesignFontPt(const QString &AFamily, qreal APoints, bool ABold)
{
  QFont font = BaseFont(AFamily, ABold);
  font.setPointSizeF(APoints);
  return font;
}

QFont DesignFontPx(const QString &AFamily, int APixels, bool ABold)
{
  QFont font = BaseFont(AFamily, ABold);
  font.setPixelSize(APixels);
  return font;
}

} // namespace praatkist::ui
