#pragma once
// How large a text can be drawn in a box: the text column shrinks a long text to stay
// readable without scrolling, and the speaker's window fills its screen with the text.
// Both measure as a word-wrapped label draws its text, so what fits here is what shows.

#include <QFont>
#include <QSize>
#include <QString>

class QPaintDevice;

namespace praatkist::ui {

// The size AText takes, wrapped at word boundaries within AWidth pixels, in AFont as
// drawn on ADevice (null: the primary screen). A word wider than AWidth makes it wider.
QSize WrappedTextSize(const QString &AText, const QFont &AFont, int AWidth,
                      const QPaintDevice *ADevice);

// The largest whole point size from AMinPt to AMaxPt at which AText, wrapped at word
// boundaries in AFont (its family and weight; its size is set here), fits ABox on
// ADevice; AMinPt where not even that fits. An empty text fits at AMaxPt.
int FittingPointSize(const QString &AText, const QFont &AFont, const QSize &ABox, int AMinPt,
                     int AMaxPt, const QPaintDevice *ADevice);

} // namespace praatkist::ui
