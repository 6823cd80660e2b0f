#pragma once
// TWaveformWidget: the main window's waveform view "wave". It holds the shown take's
// picture (peaks, length, lane layout, trim marks) and the playback cursor, and paints
// what WaveformView composes from them.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace praatkist::ui {

// What the widget draws of one take.
struct TWavePicture {
  QString TakeName; // the take's file name, as screen readers hear it
  std::vector<std::int32_t> PeaksLeft;
  std::vector<std::int32_t> PeaksRight;
  double Duration = 0.0;
  int Channels = 2; // 1: one mono lane; anything else two lanes
  bool TrimActive = false;
  double TrimStartSeconds = 0.0;
  double TrimEndSeconds = 0.0;
  std::vector<double> Markers; // seconds
};

class TWaveformWidget : public QWidget {
  Q_OBJECT

public:
  explicit TWaveformWidget(QWidget *AOwner);

  // A take's picture, shown at once.
  void ShowPicture(const TWavePicture &APicture);
  // No peaks, no trim; the length and lanes stay as they were.
  void Clear();
  // Only the peaks go, and the length becomes 0 (a take starts).
  void ClearPeaks();
  // The trim marks go (the trim state of the take shown so far no longer holds).
  void ClearTrim();
  void SetDuration(double ASeconds);
  // The shown take's markers (seconds), drawn at once.
  void SetMarkers(const std::vector<double> &AMarkers);
  const std::vector<double> &Markers() const { return FMarkers; }
  // The playback cursor at AFraction (0 .. 1) of the take, or hidden.
  void SetCursor(double AFraction, bool AVisible);
  // The shown take's figures with their verdict, as screen readers end its description
  // with them (empty: none known).
  void SetSpokenFigures(const QString &AText);

  const std::vector<std::int32_t> &PeaksLeft() const { return FPeaksLeft; }
  const std::vector<std::int32_t> &PeaksRight() const { return FPeaksRight; }
  double Duration() const { return FDuration; }
  int Channels() const { return FChannels; }
  double PlaybackFraction() const { return FPlaybackFraction; }
  bool CursorVisible() const { return FCursorVisible; }
  bool TrimActive() const { return FTrimActive; }
  double TrimStartSeconds() const { return FTrimStartSeconds; }
  double TrimEndSeconds() const { return FTrimEndSeconds; }

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  // The description screen readers give: the take, its length and its trim.
  void Describe();

  QString FTakeName;
  QString FSpokenFigures;
  std::vector<std::int32_t> FPeaksLeft;
  std::vector<std::int32_t> FPeaksRight;
  double FDuration = 0.0;
  int FChannels = 2;
  double FPlaybackFraction = 0.0;
  bool FCursorVisible = false;
  bool FTrimActive = false;
  double FTrimStartSeconds = 0.0;
  double FTrimEndSeconds = 0.0;
  std::vector<double> FMarkers;
};

} // namespace praatkist::ui
