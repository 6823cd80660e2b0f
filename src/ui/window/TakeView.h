#pragma once
// TTakeView: the chosen take's picture: the waveform widget, its heading, the trim
// note and the line of its figures. It asks the flow for a chosen take's analysis and
// shows the result only for the take it waits for; while a take loads nothing of the
// take shown before stays, and the playback cursor moves only over the picture of the
// take that plays. It knows whether a take is selected and whether its trim can be
// undone (FactsChanged when either changes).

#include <QObject>
#include <QString>

#include <vector>

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

  // A take is selected (shown or awaited).
  bool Selected() const noexcept { return !FWanted.isEmpty(); }
  // The shown take has a trim that can be undone.
  bool Trimmed() const noexcept { return FTrimmed; }

  // Shows the chosen take at APath (empty: none); its picture follows once the flow
  // has analysed it.
  void Show(const QString &APath);
  // Shows the take at APath with the analysis its end brought (shown when it is that
  // take's); asks the flow nothing.
  void ShowEnded(const QString &APath, const TAnalysisResult &AResult);
  // The trim marks and note go (they no longer hold for what the list shows).
  void ClearTrim();
  // A take records: no picture until it is stopped.
  void TakeStarted();
  // An analysis from the flow; shown when it is the awaited take's.
  void ShowResult(const TAnalysisResult &AResult);
  // The playback's cursor at AFraction of the playing take, or at rest.
  void MoveCursor(double AFraction);
  void RestCursor();
  // The take at APath has these markers (seconds) now: drawn where it is shown.
  void ShowMarkers(const QString &APath, const std::vector<double> &AMarkers);

signals:
  // The awaited take could not be read.
  void Failed(const QString &AMessage);
  // Selected or Trimmed changed.
  void FactsChanged();

private:
  // APath becomes the take wanted (FactsChanged when the selection came or went); false,
  // with the view emptied, when it is none.
  bool Want(const QString &APath);
  // The take at APath is awaited: nothing of the take shown before stays. False when
  // its file is gone (then shown as nothing).
  bool Await(const QString &APath);
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
  bool FTrimmed = false;
};

} // namespace praatkist::ui
