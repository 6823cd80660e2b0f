#pragma once
// TTakeView: the chosen take's picture: the waveform widget, its heading, the trim
// note and the line of its figures. It asks the flow for the take's analysis and shows the result only for the take
// it waits for; while a take loads nothing of the take shown before stays, and the
// playback cursor moves only over the picture of the take that plays. It tells the
// flow whether a take is selected and whether its trim can be undone.

#include <QObject>
#include <QString>

class QLabel;

namespace praatkist::ui {

class TTakeFiguresLine;
class TTakeFlow;
class TWaveformWidget;
struct TAnalysisResult;

class TTakeView : public QObject {
  Q_OBJECT

public:
  TTakeView(TWaveformWidget *AWave, QLabel *AHeading, QLabel *ATrimNote,
            TTakeFiguresLine *AFigures, TTakeFlow &AFlow, QObject *AParent = nullptr);

  // Shows the take at APath (empty: none). Its picture follows once its analysis is
  // known: asked for here when ALoad, else the flow brings it.
  void Show(const QString &APath, bool ALoad = true);
  // The trim marks and note go (they no longer hold for what the list shows).
  void ClearTrim();
  // A take records: no picture until it is stopped.
  void TakeStarted();
  // An analysis from the flow; shown when it is the awaited take's.
  void ShowResult(const TAnalysisResult &AResult);
  // The playback's cursor at AFraction of the playing take, or at rest.
  void MoveCursor(double AFraction);
  void RestCursor();

signals:
  // The awaited take could not be read.
  void Failed(const QString &AMessage);

private:
  void ShowTrimNote(bool AActive, double AStart, double AEnd);
  void ShowWave();

  TWaveformWidget *FWave;
  QLabel *FHeading;
  QLabel *FTrimNote;
  TTakeFiguresLine *FFigures;
  TTakeFlow &FFlow;
  // The take whose picture is awaited or shown, and the one whose picture is shown.
  QString FWanted;
  QString FShown;
};

} // namespace praatkist::ui
