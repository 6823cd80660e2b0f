// Responsiveness of the real window (offscreen, on the real sound system) while it
// works on long takes: the longest gap between two processed events, measured by a
// 10 ms timer whose every lateness counts, against the target of 50 ms.
//   (a) stop with trimming of a long MP3 take: record from the sine source, put a long
//       MP3 take in place of the file being recorded (the encoder keeps writing into
//       the file it opened, which is no longer under that name), then click STOPPEN;
//       wait until the trim note and the trimmed take's waveform are shown.
//   (b) selection of long takes by mouse clicks on the take list: two clicks in quick
//       succession (moving on before the take is shown), then takes shown one after
//       another, twice each (the second time they may come from memory);
//   (c) arrowing through the list with the keyboard, a key every 100 ms, down to the
//       last take and back to the first, which must then be shown.
// The takes are the speech-like audio the other benchmarks use (an hour by default),
// as MP3 at 192 kbit/s and as WAV.
//
//   bench_window [folder] [seconds]     (needs an audio server; scripts/bench.sh)

#include "BenchSupport.h"
#include "WindowBench.h"

#include "app/PraatkistApplication.h"
#include "ui/style/Fonts.h"
#include "ui/window/MainForm.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace praatkist;
namespace fs = std::filesystem;

namespace {

// Longest time between two consecutive ticks of a 10 ms timer.
class TGapMeter {
public:
  TGapMeter()
  {
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(10);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      if (FClock.isValid())
        FLongest = std::max(FLongest, FClock.nsecsElapsed() / 1e6);
      FClock.start();
    });
    FTimer.start();
  }
  void Reset()
  {
    FLongest = 0;
    FClock.start();
  }
  double LongestMs() const { return FLongest; }

private:
  QTimer FTimer;
  QElapsedTimer FClock;
  double FLongest = 0;
};

// Serves events until ADone holds, 5 ms at a time; false after ATimeoutMs.
bool RunUntil(const std::function<bool()> &ADone, int ATimeoutMs)
{
  return bench::RunUntil(ADone, ATimeoutMs, 5);
}

// A click on the list entry of the take named AName.
void ClickTake(ui::TfrmMain &AWindow, const QString &AName)
{
  QListView *list = AWindow.Controls().lbRecordings;
  const QModelIndexList found =
      list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, AName, 1, Qt::MatchExactly);
  if (found.isEmpty()) {
    std::fprintf(stderr, "no entry %s\n", qPrintable(AName));
    std::exit(1);
  }
  const QRect cell = list->visualRect(found.first());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

QString Q(const fs::path &APath)
{
  return QString::fromStdString(APath.string());
}

std::string LoadAverage()
{
  std::ifstream in("/proc/loadavg");
  std::string line;
  std::getline(in, line);
  return line;
}

// A message box would wait for an answer for ever: note its text and close it.
void CloseDialogsOnSight(int &AFailures)
{
  auto *watch = new QTimer(qApp);
  QObject::connect(watch, &QTimer::timeout, [&AFailures] {
    if (QWidget *modal = QApplication::activeModalWidget()) {
      QString text;
      for (const QLabel *label : modal->findChildren<QLabel *>())
        text += label->text() + QLatin1Char(' ');
      std::fprintf(stderr, "unexpected dialog: %s\n", qPrintable(text));
      ++AFailures;
      modal->close();
    }
  });
  watch->start(1000);
}

} // namespace

int main(int argc, char **argv)
{
  const fs::path folder = argc > 1 ? argv[1] : fs::temp_directory_path();
  const double seconds = argc > 2 ? std::atof(argv[2]) : 3600.0;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int qtArgc = 1;
  app::TPraatkistApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  ui::InstallFontSubstitutes();

  const auto wave = bench::SpeechLikeWave(folder, seconds);
  const auto mp3 = bench::Mp3Beside(wave);

  // A root with one session holding the MP3 and the WAV take; the long take for the
  // stop waits beside them under a name the list does not show.
  const fs::path root = folder / "praatkist-bench-window";
  fs::remove_all(root);
  const fs::path session = root / "Bank";
  fs::create_directories(session);
  // The window never writes into an existing take, so the long sources can be shared.
  for (const auto &[from, to] :
       {std::pair{mp3, session / "Bank-1.mp3"}, std::pair{wave, session / "Bank-2.wav"}}) {
    std::error_code ec;
    fs::create_hard_link(from, to, ec);
    if (ec)
      fs::copy_file(from, to);
  }
  const fs::path incoming = session / "incoming.part";
  fs::copy_file(mp3, incoming);
  const fs::path ini = root / "Praatkist.ini";
  std::ofstream(ini, std::ios::binary)
      << "[Sessies]\r\nHoofdmap=" << root.string()
      << "\r\n[Opname]\r\nFormaat=1\r\nBitrateIndex=1\r\nStiltesTrimmen=1\r\n"
      << "Geluidsingang=Sine source at 440 Hz\r\n";

  std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  int failures = 0;
  CloseDialogsOnSight(failures);
  {
    ui::TfrmMain w(layer.get(), Q(ini));
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
      ++failures;
    if (w.Recorder() == nullptr ||
        w.Controls().cbDevice->currentText() != "Sine source at 440 Hz") {
      std::fprintf(stderr, "no engine or no sine source: %s\n",
                   qPrintable(w.Controls().lblStatus->text()));
      return 1;
    }
    const int bank = w.Controls().cbSession->findText(QStringLiteral("Bank"));
    w.Controls().cbSession->setCurrentIndex(bank);
    emit w.Controls().cbSession->activated(bank);
    // The session's last take is shown on selection: let that settle first.
    RunUntil([&] { return !w.PeaksLeft().empty(); }, 600000);
    TGapMeter meter;

    std::printf("window responsiveness, %.0f s takes (load %s)\n", seconds, LoadAverage().c_str());

    // ---- (a) stop with trimming ----
    QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
    const fs::path take = w.LastFile().toStdString();
    QTest::qWait(500);
    fs::rename(incoming, take);
    meter.Reset();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(w.Controls().btnStop->Text, Qt::LeftButton);
    const bool trimmed = RunUntil(
        [&] {
          return w.Controls().lblStatus->text().startsWith(QStringLiteral("Getrimd: ")) &&
                 !w.PeaksLeft().empty() && w.TrimActive();
        },
        300000);
    QTest::qWait(50); // the meter's next tick closes the last gap
    const double stopSeconds = clock.nsecsElapsed() / 1e9;
    const double stopGap = meter.LongestMs();
    std::printf(
        "  stop with trim, MP3       longest gap %9.1f ms   (target < 50 ms)  %6.1f s to the "
        "trimmed waveform%s\n",
        stopGap, stopSeconds, trimmed ? "" : "  NOT REACHED");
    failures += trimmed ? 0 : 1;

    // ---- (b) selection by clicks, (c) arrowing with the keyboard ----
    // The list: Bank-1.mp3, Bank-2.mp3 (the trimmed take), Bank-2.wav.
    const QString trimmedName = Q(take.filename());
    const std::vector<std::int32_t> peaksTrimmed = w.PeaksLeft();
    const double durationTrimmed = w.WaveDuration();
    const TWaveAnalysis mp3 = w.Recorder()->AnalyzeFile(session / "Bank-1.mp3", 2000);
    const std::vector<std::int32_t> &peaksMp3 = mp3.LeftPeaks;
    const double durationMp3 = mp3.Duration;
    // Waits until the window shows the trimmed take (or else the MP3 take).
    const auto waitShown = [&](bool ATrimmed) {
      const std::vector<std::int32_t> &peaks = ATrimmed ? peaksTrimmed : peaksMp3;
      const double duration = ATrimmed ? durationTrimmed : durationMp3;
      const bool shown =
          RunUntil([&] { return w.WaveDuration() == duration && w.PeaksLeft() == peaks; }, 30000);
      if (!shown)
        std::fprintf(stderr, "  %s selected, but not shown\n",
                     qPrintable(w.Controls().lbRecordings->currentIndex().data().toString()));
      return shown;
    };

    meter.Reset();
    clock.start();
    ClickTake(w, QStringLiteral("Bank-1.mp3"));
    QTest::qWait(250);
    ClickTake(w, QStringLiteral("Bank-2.wav"));
    QTest::qWait(250);
    bool shown = true;
    for (int i = 0; i < 4; ++i) {
      const bool toTrimmed = i % 2 == 0;
      ClickTake(w, toTrimmed ? trimmedName : QStringLiteral("Bank-1.mp3"));
      shown = waitShown(toTrimmed) && shown;
      QTest::qWait(500); // a look at the waveform before the next click
    }
    std::printf("  selection, 6 clicks       longest gap %9.1f ms   (target < 50 ms)  %6.1f s%s\n",
                meter.LongestMs(), clock.nsecsElapsed() / 1e9, shown ? "" : "  NOT ALL SHOWN");
    failures += shown ? 0 : 1;

    // From the first entry down to the last and back, a key every 100 ms.
    ClickTake(w, QStringLiteral("Bank-1.mp3"));
    waitShown(false);
    meter.Reset();
    clock.start();
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Up}) {
      QTest::keyClick(w.Controls().lbRecordings, key);
      QTest::qWait(100);
    }
    shown = waitShown(false);
    QTest::qWait(50);
    std::printf("  arrowing, 4 keys          longest gap %9.1f ms   (target < 50 ms)  %6.1f s%s\n",
                meter.LongestMs(), clock.nsecsElapsed() / 1e9, shown ? "" : "  NOT SHOWN");
    failures += shown ? 0 : 1;
  }
  fs::remove_all(root);
  return failures == 0 ? 0 : 1;
}
