#include "ui/widgets/TextFit.h"

#include <QFontMetrics>
#include <QRect>

#include <algorithm>

namespace praatkist::ui {

namespace {

// As a word-wrapped QLabel lays out plain text.
constexpr int WrapFlags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;
// Taller than any box the text is put in.
constexpr int Unbounded = 1 << 20;

bool Fits(const QString &AText, QFont AFont, int APoints, const QSize &ABox,
          const QPaintDevice *ADevice)
{
  AFont.setPointSize(APoints);
  const QSize need = WrappedTextSize(AText, AFont, ABox.width(), ADevice);
  return need.width() <= ABox.width() && need.height() <= ABox.height();
}

} // namespace

QSize WrappedTextSize(const QString &AText, const QFont &AFont, int AWidth,
                      const QPaintDevice *ADevice)
{
  const QFontMetrics metrics =
      ADevice != nullptr ? QFontMetrics(AFont, ADevice) : QFontMetrics(AFont);
  return metrics.boundingRect(QRect(0, 0, std::max(AWidth, 1), Unbounded), WrapFlags, AText).size();
}

int FittingPointSize(const QString &AText, const QFont &AFont, const QSize &ABox, int AMinPt,
                     int AMaxPt, const QPaintDevice *ADevice)
{
  if (AMaxPt <= AMinPt || AText.isEmpty())
    return std::max(AMinPt, AMaxPt);
  if (Fits(AText, AFont, AMaxPt, ABox, ADevice))
    return AMaxPt;
  // A wrapped text only grows with its font: halve the range between a size that fits
  // and one that does not.
  int fits = AMinPt;
  int tooLarge = AMaxPt;
  if (!Fits(AText, AFont, fits, ABox, ADevice))
    return AMinPt;
  while (tooLarge - fits > 1) {
    const int middle = fits + (tooLarge - fits) / 2;
    (Fits(AText, AFont, middle, ABox, ADevice) ? fits : tooLarge) = middle;
  }
  return fits;
}

} // namespace praatkist::ui
