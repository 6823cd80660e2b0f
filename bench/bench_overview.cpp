// The overview (Ctrl+O) of a session, against peers measured in the same run:
//   open:    the overview of a session of Texts texts, each with one short WAV take already
//            measured (cijfers.tsv, tekstlijst.txt and opnames.tsv made here), from the
//            command until its table is filled and nothing is left to measure  vs  reading
//            the same three files with a plain QFile readAll, and the session folder's
//            listing, as the least any overview must do (target: at most 0.5 s)
//   measure: the first measuring of Takes takes of Seconds s (48 kHz stereo 16-bit WAV,
//            speech-like bursts), the survey the overview runs, side by side, into a new
//            cijfers.tsv  vs  "sox <take> -n stats", one process per take, on the same
//            files (target: at most 0.5x sox's time)
//
//   bench_overview [folder] [texts] [takes] [seconds] [runs]   (defaults: the temporary
//                                                          folder, 10000, 1000, 5 s, 2)
//
// The window runs offscreen on the scripted audio layer of the tests (the overview plays
// nothing here); the measuring decodes through the system's layer (no audio server is
// needed to decode). Every timed run of the measuring starts with the takes in the
// cache; ours and sox run by turns. Everything is written into a temporary folder inside
// Folder and removed at the end.

#include "BenchSupport.h"
#include "WindowBench.h"

#include "app/PraatkistApplication.h"
#include "audio/analysis/FigureStore.h"
#include "audio/analysis/TakeSurvey.h"
#include "support/ScriptedAudioLayer.h"
#include "ui/style/Fonts.h"
#include "ui/window/MainForm.h"
#include "ui/window/OverviewCommand.h"
#include "ui/window/OverviewForm.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTableView>
#include <QtTest>

#include <cstdint>
#include <thread>
#include <time.h>

using namespace praatkist;
namespace fs = std::filesystem;

namespace {

double Since(bench::Clock::time_point t0)
{
  return std::chrono::duration<double>(bench::Clock::now() - t0).count();
}

double ChildCpuSeconds()
{
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSeconds()
{
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void WriteFile(const fs::path &APath, const std::string &ABytes)
{
  std::ofstream out(APath, std::ios::binary | std::ios::trunc);
  out.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
  if (!out)
    throw std::runtime_error("cannot write " + APath.string());
}

// A 16-bit PCM WAV of Frames frames of a quiet tone.
void WriteShortTake(const fs::path &APath, std::uint32_t AFrames, std::uint16_t AChannels)
{
  std::string bytes(44 + static_cast<std::size_t>(AFrames) * AChannels * 2, '\0');
  const auto header = audio::BuildWaveHeader(AFrames * AChannels * 2, 48000, AChannels);
  std::memcpy(bytes.data(), header.data(), 44);
  auto *samples = reinterpret_cast<std::int16_t *>(bytes.data() + 44);
  for (std::uint32_t f = 0; f < AFrames * AChannels; ++f)
    samples[f] = static_cast<std::int16_t>(3000.0 * std::sin(f * 0.05));
  WriteFile(APath, bytes);
}

using bench::RunUntil;

// The session of ATexts texts with a measured take each; the open timed Runs times.
int OpenRun(const fs::path &AWork, int ATexts, int ARuns)
{
  const fs::path root = AWork / "root";
  const fs::path session = root / "Koor";
  fs::create_directories(session);
  std::string list, bindings = "opname\tid\tstatus\n";
  std::vector<audio::TStoredFigures> stored;
  char id[32];
  for (int i = 1; i <= ATexts; ++i) {
    std::snprintf(id, sizeof id, "zin-%05d", i);
    const std::string name = "Koor-" + std::to_string(i) + ".wav";
    WriteShortTake(session / name, 2400, 1);
    list += std::string(id) + "\tDe " + std::to_string(i) + "e zin wordt hardop voorgelezen.\n";
    bindings += name + "\t" + id + "\t\n";
    audio::TStoredFigures s;
    s.Take = name;
    s.Key = *audio::FileKeyOf(session / name);
    s.Seconds = 0.05;
    s.Figures.Measured = true;
    s.Figures.LoudnessLufs = -20.0 - i % 7;
    s.Figures.RmsDb = -19.0 - i % 9;
    s.Figures.PeakDb = -6.0 + i % 5;
    s.Figures.NoiseFloorDb = -70.0 + i % 20;
    s.Figures.HasSpeech = true;
    s.Figures.SpeechStartSeconds = 0.005;
    s.Figures.SpeechEndSeconds = 0.045 - (i % 3) * 0.01;
    s.Figures.SpeechRmsDb = -18.0;
    stored.push_back(s);
  }
  WriteFile(session / "tekstlijst.txt", list);
  WriteFile(session / "opnames.tsv", bindings);
  WriteFile(session / audio::figure_store::kFileName, audio::figure_store::Serialize(stored));
  const fs::path ini = AWork / "Praatkist.ini";
  WriteFile(ini, "[Sessies]\r\nHoofdmap=" + root.string() + "\r\n[Opname]\r\n");

  test::TScriptedAudioLayer layer;
  ui::TfrmMain w(&layer, QString::fromStdString(ini.string()));
  w.show();
  QComboBox *sessions = w.Controls().cbSession;
  sessions->setCurrentIndex(sessions->findText(QStringLiteral("Koor")));
  emit sessions->activated(sessions->currentIndex());
  if (w.Controls().lbRecordings->model()->rowCount() != ATexts) {
    std::fprintf(stderr, "the session lists %d takes\n", w.Controls().lbRecordings->model()->rowCount());
    return 1;
  }

  const QStringList files = {
      QString::fromStdString((session / audio::figure_store::kFileName).string()),
      QString::fromStdString((session / "tekstlijst.txt").string()),
      QString::fromStdString((session / "opnames.tsv").string())};
  double tOpen = 1e300, tFirst = 0, tPeer = 1e300;
  qsizetype bytes = 0;
  int rows = 0;
  for (int run = 0; run < ARuns + 1; ++run) {
    tPeer = std::min(tPeer, bench::BestOf(1, [&] {
      bytes = 0;
      for (const QString &file : files) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
          std::exit(1);
        bytes += f.readAll().size();
      }
      bytes += QDir(QString::fromStdString(session.string())).entryList(QDir::Files).size();
    }));
    const auto t0 = bench::Clock::now();
    w.Controls().btnOverview->Press();
    ui::TOverviewForm *form = w.Overview().Form();
    if (form == nullptr || !RunUntil([&] {
          return form->isVisible() && !w.Overview().Measuring() &&
                 form->tblOverview->model()->rowCount() == ATexts &&
                 form->lblProgress->text() == QStringLiteral("Alle cijfers gemeten");
        }, 60000)) {
      std::fprintf(stderr, "the overview did not fill its table\n");
      return 1;
    }
    // painted once with its rows
    form->tblOverview->viewport()->repaint();
    const double t = Since(t0);
    rows = form->tblOverview->model()->rowCount();
    if (run == 0)
      tFirst = t;
    else
      tOpen = std::min(tOpen, t);
    form->close();
    RunUntil([&] { return !form->isVisible(); }, 10000);
  }
  std::printf("overview of %d texts with a measured take each (cijfers.tsv, tekstlijst.txt, "
              "opnames.tsv), best of %d after a first\n",
              ATexts, ARuns);
  std::printf("  load %s", bench::LoadAverage().c_str());
  std::printf("  QFile readAll of the three files + listing   %7.3f s  (%lld bytes)\n", tPeer,
              static_cast<long long>(bytes));
  std::printf("  Ctrl+O to the table filled and painted       %7.3f s  (first %.3f s), %.1fx "
              "the plain read: %s\n",
              tOpen, tFirst, tOpen / tPeer,
              std::max(tOpen, tFirst) <= 0.5 ? "meets <= 0.5 s" : "MISSES <= 0.5 s");
  std::printf("  [%d rows]\n", rows);
  return 0;
}

// Takes of ASeconds s, measured first by the survey and by sox.
int MeasureRun(const fs::path &AWork, int ATakes, double ASeconds, int ARuns)
{
  const fs::path session = AWork / "Meten";
  fs::create_directories(session);
  const fs::path source = bench::SpeechLikeWave(AWork, ASeconds, 0.3, 0.3);
  std::vector<std::string> names;
  for (int i = 1; i <= ATakes; ++i) {
    names.push_back("Meten-" + std::to_string(i) + ".wav");
    // copies, not links: each take is a file of its own, as recorded
    fs::copy_file(source, session / names.back(), fs::copy_options::overwrite_existing);
  }
  const auto settle = [&] {
    std::error_code ec;
    fs::remove(session / audio::figure_store::kFileName, ec);
    bench::Shell(bench::Command({"sync && cat", bench::Quote(session) + "/*.wav > /dev/null"}));
  };
  const std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  const audio::TAnalysisSplit split;
  std::size_t measured = 0, stored = 0;
  double firstRms = 0, firstPeak = 0;
  const auto ours = [&](double &cpu) {
    settle();
    const std::vector<audio::TStoredFigures> none;
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = bench::Clock::now();
    const auto takes = audio::SurveyTakes(*layer, split, session, names, nullptr, nullptr, &none);
    const double t = Since(t0);
    cpu = ProcessCpuSeconds() - cpu0;
    measured = static_cast<std::size_t>(std::count_if(takes.begin(), takes.end(), [](const auto &s) {
      return !s.Failed && s.Stored.Figures.Measured;
    }));
    stored = audio::figure_store::ReadCurrent(session).size();
    firstRms = takes.front().Stored.Figures.RmsDb;
    firstPeak = takes.front().Stored.Figures.PeakDb;
    return t;
  };
  const auto sox = [&](double &cpu) {
    settle();
    const double cpu0 = ChildCpuSeconds();
    const auto t0 = bench::Clock::now();
    bench::Shell(bench::Command({"cd", bench::Quote(session),
                                 "&& for f in *.wav; do sox \"$f\" -n stats 2>/dev/null || exit 1; "
                                 "done"}));
    const double t = Since(t0);
    cpu = ChildCpuSeconds() - cpu0;
    return t;
  };
  double tOurs = 1e300, tSox = 1e300, cOurs = 1e300, cSox = 1e300;
  std::vector<double> ratios;
  for (int i = 0; i < ARuns; ++i) {
    double a = 0, b = 0, ca = 0, cb = 0;
    if (i % 2 == 0) {
      a = ours(ca);
      b = sox(cb);
    } else {
      b = sox(cb);
      a = ours(ca);
    }
    ratios.push_back(a / b);
    tOurs = std::min(tOurs, a);
    tSox = std::min(tSox, b);
    cOurs = std::min(cOurs, ca);
    cSox = std::min(cSox, cb);
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("first measuring of %d takes of %.1f s, 48 kHz stereo WAV (%.0f MB), takes cached, "
              "%d pairs, %u cores\n",
              ATakes, ASeconds, ATakes * (44 + ASeconds * 192000) / 1e6, ARuns,
              std::max(1u, std::thread::hardware_concurrency()));
  std::printf("  load %s", bench::LoadAverage().c_str());
  std::printf("  sox -n stats, one process a take   %8.3f s (best)   CPU %.3f s\n", tSox, cSox);
  std::printf("  SurveyTakes into cijfers.tsv       %8.3f s (best)   CPU %.3f s   %.3fx sox "
              "(pairs %.3f .. %.3f): %s\n",
              tOurs, cOurs, tOurs / tSox, ratios.front(), ratios.back(),
              tOurs / tSox <= 0.5 ? "meets <= 0.5x sox" : "MISSES <= 0.5x sox");
  std::printf("       per take: ours %.2f ms, sox %.2f ms; CPU time %.3fx sox's\n",
              tOurs / ATakes * 1e3, tSox / ATakes * 1e3, cOurs / cSox);
  // the same figures as sox's for the first take, as a check that the takes were read
  std::string soxSays;
  if (FILE *pipe = popen(bench::Command({"sox", bench::Quote(session / names.front()),
                                         "-n stats 2>&1 | grep -E 'RMS lev|Pk lev' | "
                                         "awk '{printf \"%s \", $4}'"})
                             .c_str(),
                         "r")) {
    char line[128] = {};
    if (std::fgets(line, sizeof line, pipe) != nullptr)
      soxSays = line;
    pclose(pipe);
  }
  std::printf("  [%zu measured, %zu lines in cijfers.tsv; first take peak %.2f dB, RMS %.2f dB; "
              "sox: peak, RMS %s dB]\n",
              measured, stored, firstPeak, firstRms, soxSays.c_str());
  return measured == static_cast<std::size_t>(ATakes) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
  const fs::path folder = argc > 1 ? argv[1] : fs::temp_directory_path();
  const int texts = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10000;
  const int takes = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000;
  const double seconds = argc > 4 ? std::max(0.5, std::atof(argv[4])) : 5.0;
  const int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 2;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                  : qgetenv("QT_QPA_PLATFORM"));
  int qtArgc = 1;
  app::TPraatkistApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  ui::InstallFontSubstitutes();

  std::string pattern = (folder / "praatkist-bench-overview.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a folder in %s\n", folder.string().c_str());
    return 1;
  }
  const fs::path work = pattern;
  int code = 1;
  try {
    code = OpenRun(work, texts, std::max(runs, 3));
    if (code == 0)
      code = MeasureRun(work, takes, seconds, runs);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
  }
  std::error_code ec;
  fs::remove_all(work, ec);
  return code;
}
