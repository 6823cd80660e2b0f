// Paint time of the level meter (610 x 50) and of the waveform view (610 x 180, 2000
// points stereo, playback cursor and trim marks) per frame: composing the picture and
// copying it onto a surface of the view's size, as the window's paint handlers do.
//
//   bench_paint [frames]
//
// Prints the median and the 95th percentile of each, and their share of the 75 ms
// timer tick that repaints them during recording and playback; then the same on a
// screen scaled by 2 (four times the device pixels), against the plain screen.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ui/style/Fonts.h"
#include "ui/widgets/LevelMeter.h"
#include "ui/widgets/WaveformView.h"

using namespace praatkist::ui;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kTickMs = 75.0;

struct TFigures {
  double Median = 0;
  double P95 = 0;
};

TFigures Summarise(std::vector<double> ms)
{
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[ms.size() * 95 / 100]};
}

// Times Frames calls of Paint(frame) after a short warm-up, in milliseconds each.
template <typename F> TFigures Measure(int frames, F paint)
{
  for (int k = 0; k < 30; ++k)
    paint(k);
  std::vector<double> ms;
  ms.reserve(static_cast<std::size_t>(frames));
  for (int k = 0; k < frames; ++k) {
    const auto t0 = Clock::now();
    paint(k);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  return Summarise(std::move(ms));
}

void Report(const char *what, const TFigures &f)
{
  std::printf("  %-52s median %.3f ms  p95 %.3f ms  = %.2f %% of the 75 ms tick%s\n", what,
              f.Median, f.P95, 100.0 * f.Median / kTickMs, f.Median < 2.0 ? "" : "  (above 2 ms)");
}

} // namespace

int main(int argc, char **argv)
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  InstallFontSubstitutes();
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;

  long long checksum = 0;
  // Both pictures at the screen's pixel ratio Dpr.
  const auto measureAt = [&](int dpr, TFigures &meter, TFigures &wave) {
    // The meter: a level that swings as speech does, through the ballistics.
    constexpr int kVuW = 610, kVuH = 50;
    QImage vuSurface(kVuW * dpr, kVuH * dpr, QImage::Format_RGB32);
    vuSurface.setDevicePixelRatio(dpr);
    TVuBallistics vu;
    std::uint64_t now = 0;
    meter = Measure(frames, [&](int k) {
      const int level = static_cast<int>(32768.0 * std::fabs(std::sin(k * 0.07)) *
                                         (0.3 + 0.7 * std::fabs(std::sin(k * 0.011))));
      now += 75;
      const std::int64_t tag = UpdateVuBallistics(vu, level, now);
      QPainter p(&vuSurface);
      p.drawImage(0, 0, RenderLevelMeter(kVuW, kVuH, tag, vu.PeakLevel, dpr));
      p.end();
      checksum += tag;
    });

    // The waveform: 2000 points per channel of a speech-like envelope, a 95 s take (10
    // axis labels), the cursor moving along and the trim marks on.
    constexpr int kWaveW = 610, kWaveH = 180, kPoints = 2000;
    std::vector<std::int32_t> left(kPoints), right(kPoints);
    for (int i = 0; i < kPoints; ++i) {
      const double envelope =
          std::fabs(std::sin(i * 0.013)) * (0.4 + 0.6 * std::fabs(std::sin(i * 0.21)));
      left[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(32768.0 * envelope);
      right[static_cast<std::size_t>(i)] =
          static_cast<std::int32_t>(26000.0 * envelope * std::fabs(std::cos(i * 0.05)));
    }
    TWaveScene scene;
    scene.PeaksLeft = &left;
    scene.PeaksRight = &right;
    scene.Duration = 95.0;
    scene.Channels = 2;
    scene.CursorVisible = true;
    scene.TrimActive = true;
    QImage waveSurface(kWaveW * dpr, kWaveH * dpr, QImage::Format_RGB32);
    waveSurface.setDevicePixelRatio(dpr);
    wave = Measure(frames, [&](int k) {
      scene.PlaybackFraction = static_cast<double>(k % 1000) / 1000.0;
      QPainter p(&waveSurface);
      p.drawImage(0, 0, RenderWaveform(kWaveW, kWaveH, scene, dpr));
      p.end();
    });
    checksum += waveSurface.pixel(300, 60) & 0xFF;
  };
  TFigures meter, wave, meter2, wave2;
  measureAt(1, meter, wave);
  measureAt(2, meter2, wave2);

  std::printf("paint per frame, composed off-screen and copied in one step, %d frames each\n",
              frames);
  Report("level meter 610 x 50", meter);
  Report("waveform 610 x 180, 2000 points stereo, cursor, trim", wave);
  std::printf("  ratio waveform / meter: %.2f; both together %.2f %% of a tick\n",
              wave.Median / meter.Median, 100.0 * (wave.Median + meter.Median) / kTickMs);
  std::printf("on a screen scaled by 2 (pictures of 4 times the device pixels)\n");
  Report("level meter 610 x 50 at pixel ratio 2", meter2);
  Report("waveform at pixel ratio 2", wave2);
  std::printf("  ratio to the plain screen: meter %.2f, waveform %.2f\n",
              meter2.Median / meter.Median, wave2.Median / wave.Median);
  std::printf("  [checksum %lld]\n", checksum);
  return 0;
}
