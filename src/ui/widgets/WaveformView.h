#pragma once
// The picture of a take's waveform: time axis, one or two lanes of peak lines, the
// playback cursor and the trim marks, apart from any window so that its geometry can
// be tested alone. The waveform widget (WaveformWidget) keeps the peaks and paints
// what this composes.

#include <QFont>
#include <QImage>

#include <cstdint>
#include <vector>

namespace praatkist::ui {

// Lanes below the 20-pixel time axis for a view Height pixels high.
struct TWaveLanes {
  bool Stereo = true;
  int LaneHeight = 0;  // L
  int CentreLeft = 0;  // cL (mono: the one centre)
  int CentreRight = 0; // cR (stereo only)
  int DividerY = 0;    // stereo only: L + 20
};
TWaveLanes ComputeWaveLanes(int height, int channels);

// Seconds between axis labels for a take of Duration seconds on a view Width pixels
// wide: 10 up to a minute, 30 up to five minutes, 60 up to twenty minutes; beyond that
// the first of 2, 5, 10, 15, 30 minutes, 1, 2, 3, 6, 12 hours, 1, 2, 4 ... days at
// which no two labels touch.
int WaveAxisInterval(double duration, int width = 610);

// The axis ticks of a take Duration seconds long on a view Width pixels wide: one per
// interval from 0 while the time is at most the duration rounded up, each with its x
// (the last may lie beyond the right edge; its label is then pushed inwards, see
// ClampLabelLeft in PaintMath.h).
struct TWaveAxisTick {
  std::int64_t Seconds = 0;
  int X = 0;
};
std::vector<TWaveAxisTick> WaveAxisTicks(double duration, int width);

// The lane and axis labels' font: "Segoe UI" 7 pt as the design's 96 dpi makes it (9 px).
QFont WaveLabelFont();

// Half height in pixels of a peak line (0 .. kFullScale) in a lane LaneHeight high.
int WavePeakHalfHeight(std::int32_t peak, int laneHeight);

// X of point I of N across a view Width pixels wide (0 when N <= 1).
int WavePointX(int i, int n, int width);

struct TWaveScene {
  const std::vector<std::int32_t> *PeaksLeft = nullptr;
  const std::vector<std::int32_t> *PeaksRight = nullptr;
  double Duration = 0.0;         // seconds
  int Channels = 2;              // 1 draws one lane
  double PlaybackFraction = 0.0; // 0 .. 1
  bool CursorVisible = false;
  bool TrimActive = false;
  const std::vector<double> *Markers = nullptr; // seconds, each a line with its number
};

// X of a marker at Seconds of a take Duration seconds long on a view Width pixels wide.
int WaveMarkerX(double seconds, double duration, int width);

// The whole view, Width x Height; on a screen of pixel ratio Dpr it has Width x Dpr by
// Height x Dpr device pixels, as RenderLevelMeter does.
QImage RenderWaveform(int width, int height, const TWaveScene &scene, qreal dpr = 1.0);

} // namespace praatkist::ui
