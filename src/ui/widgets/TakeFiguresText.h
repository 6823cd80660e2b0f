#pragma once
// A take's figures as the window shows and says them: one line of coloured parts
// ("−19,4 LUFS · RMS −20,1 dB · piek −2,3 dB · ruisvloer −63 dB"), and the same
// figures with a verdict in words for screen readers. Pure: no widgets.
//
// The verdict holds a take against the published limits for spoken word (audiobook
// platforms, audio::spoken_word in audio/TakeResults.h): RMS between −23 and −18 dB,
// peaks at −3 dB at most, a noise floor of −60 dB or lower, and no clipped sample. Each figure is judged as it is shown
// (rounded), so a figure's colour never contradicts its text. The integrated loudness
// is shown without a verdict: the limits say nothing of it for a raw take (a podcast's
// −16 LUFS is a target for the finished mix), and the RMS judges the level already.

#include "audio/TakeResults.h"

#include <QRgb>
#include <QString>
#include <vector>

namespace praatkist::ui {

struct TFigurePart {
  QString Text;
  QRgb Colour;
};

struct TFiguresText {
  std::vector<TFigurePart> Parts; // in order; the line joins them with " · "
  QString Line;                   // the line as plain text; empty for no figures
  QString Spoken;                 // figures and verdict in words; empty for no figures
  bool Meets = false;             // every judged figure meets its limit
};

// The text of AFigures with ADecimalSeparator; nothing when they were not measured.
TFiguresText DescribeFigures(const audio::TTakeFigures &AFigures, QChar ADecimalSeparator);

// The parts as rich text for a label (each in its colour, the dots in the window text's).
QString FiguresHtml(const TFiguresText &AText);

} // namespace praatkist::ui
