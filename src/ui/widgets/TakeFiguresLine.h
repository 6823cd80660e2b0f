#pragma once
// TTakeFiguresLine: the line under the waveform that says whether the shown take is
// usable for spoken word (TakeFiguresText): its figures, each in the window text colour
// where it meets its limit and in the trim orange where not, clipped samples in red.
// Empty while no take is shown and while one loads. Screen readers get the figures
// with the verdict in words as the label's accessible description.

#include "audio/TakeResults.h"
#include "ui/widgets/TakeFiguresText.h"

#include <QLabel>

namespace praatkist::ui {

class TTakeFiguresLine : public QLabel {
  Q_OBJECT

public:
  explicit TTakeFiguresLine(QWidget *AParent = nullptr);

  // What is shown now (empty when nothing).
  const TFiguresText &Shown() const noexcept { return FText; }

public slots:
  // The figures of the take now shown; nothing when they were not measured.
  void ShowFigures(const praatkist::audio::TTakeFigures &AFigures);
  // No take shown, or one loading.
  void Clear();

private:
  TFiguresText FText;
};

} // namespace praatkist::ui
