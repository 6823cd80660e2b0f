// A session of many takes against one of a single take, in the real window (offscreen)
// on the real sound system (scripts/bench.sh starts the test server), driven by keys and
// clicks as a user drives it. The sessions are made here: takes of 0.1 s, a text list
// with a line for each and opnames.tsv binding each take to its text; 20 takes of the
// large session were left by a crash (provisional header) and are mended on choosing it.
//   (a) choosing the session: until its takes and text are shown, until the crashed
//       takes are mended, and the window's memory then;
//   (b) a take's end: Ctrl+R, 0.3 s of the sine source (and 7 ms more for each
//       take of the session), Ctrl+S, until the take is
//       listed, selected and drawn (the median of 9, with the CPU time of each);
//   (c) 20 moves to the next text (Ctrl+Right), each until its take is selected;
//   (d) a session of 100,000 takes chosen (hard links to one file);
//   (e) a root of 2,000 session folders chosen with KIES MAP, and its drop-down opened.
//
//   bench_session [folder] [takes]     takes: of the large session (default 10000)

#include "BenchSupport.h"
#include "WindowBench.h"

#include "app/PraatkistApplication.h"
#include "audio/codec/WavHeader.h"
#include "ui/style/Fonts.h"
#include "ui/widgets/ModernButton.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/MainForm.h"
#include "ui/window/TakeList.h"
#include "ui/window/TextCommands.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include <unistd.h>

using namespace praatkist;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kFrames = kRate / 10; // 0.1 s, mono

void WriteFile(const fs::path &APath, const std::string &ABytes)
{
  std::ofstream(APath, std::ios::binary | std::ios::trunc) << ABytes;
}

// A take of 0.1 s; ACrashed: with the provisional header a kill leaves.
std::string TakeBytes(bool ACrashed)
{
  std::string bytes(44 + kFrames * 2, '\0');
  const auto header = audio::BuildWaveHeader(kFrames * 2, kRate, 1);
  std::memcpy(bytes.data(), header.data(), 44);
  auto *samples = reinterpret_cast<std::int16_t *>(bytes.data() + 44);
  for (std::uint32_t f = 0; f < kFrames; ++f)
    samples[f] = static_cast<std::int16_t>(3000.0 * std::sin(f * 0.05));
  if (ACrashed)
    for (const int at : {4, 40})
      std::memset(bytes.data() + at, 0xFF, 4);
  return bytes;
}

// Session AName in ARoot with ATakes takes, as many texts and their bindings; every
// ACrashEvery-th take crashed (0: none). ALinks: the takes are hard links to one file.
void MakeSession(const fs::path &ARoot, const std::string &AName, int ATakes, int ATexts,
                 int ACrashEvery, bool ALinks)
{
  const fs::path folder = ARoot / AName;
  fs::create_directories(folder);
  const std::string whole = TakeBytes(false), crashed = TakeBytes(true);
  const fs::path model = ARoot / (AName + "-model.wav");
  std::string list, bindings = "opname\tid\tstatus\n";
  char id[32];
  for (int i = 1; i <= std::max(ATakes, ATexts); ++i) {
    std::snprintf(id, sizeof id, "z%06d", i);
    if (i <= ATexts)
      list += std::string(id) + "\tDe " + std::to_string(i) + "e zin wordt hardop voorgelezen.\n";
    if (i > ATakes)
      continue;
    const std::string name = AName + "-" + std::to_string(i) + ".wav";
    const bool isCrashed = ACrashEvery > 0 && i % ACrashEvery == 0;
    if (ALinks && i % 50000 == 1) { // a file holds at most 65,000 names on ext4
      fs::remove(model);
      WriteFile(model, whole);
    }
    if (ALinks && !isCrashed)
      fs::create_hard_link(model, folder / name);
    else
      WriteFile(folder / name, isCrashed ? crashed : whole);
    bindings += name + "\t" + id + "\t\n";
  }
  fs::remove(model);
  WriteFile(folder / "tekstlijst.txt", list);
  WriteFile(folder / "opnames.tsv", bindings);
}

using bench::RunUntil;

void Fail(const char *AWhat)
{
  std::fprintf(stderr, "failed: %s\n", AWhat);
  std::exit(1);
}

double Seconds(bench::Clock::time_point AFrom)
{
  return std::chrono::duration<double>(bench::Clock::now() - AFrom).count();
}

// The window's resident memory, in MB.
double ResidentMb()
{
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0)
      return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

double Median(std::vector<double> AValues)
{
  std::sort(AValues.begin(), AValues.end());
  return AValues.empty() ? 0 : AValues[AValues.size() / 2];
}

class TBench {
public:
  explicit TBench(ui::TfrmMain &AWindow) : W(AWindow) {}

  // The session AName picked from the drop-down as a user does: F4, a click on it.
  // Returns the seconds until its takes and text are shown; AMend: until the crashed
  // takes are mended too.
  double Choose(const QString &AName, int ATakes, double *AMend = nullptr)
  {
    FTakes = 0;
    QComboBox *combo = W.Controls().cbSession;
    const int index = combo->findText(AName);
    if (index < 0)
      Fail("no such session");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_F4);
    QAbstractItemView *view = combo->view();
    if (!RunUntil([&] { return view->isVisible(); }, 10000))
      Fail("the drop-down did not open");
    const QModelIndex entry = view->model()->index(index, 0);
    view->scrollTo(entry);
    const QPoint at = view->visualRect(entry).center();
    const auto t0 = bench::Clock::now();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (!RunUntil([&] {
          return W.Controls().lbRecordings->model()->rowCount() == ATakes &&
                 W.Texts().HasList() && !view->isVisible();
        }, 60000))
      Fail("the session's takes were not listed");
    const double shown = Seconds(t0);
    if (!RunUntil([&] { return !W.TakeList().Mending(); }, 60000))
      Fail("the mend did not end");
    if (AMend != nullptr)
      *AMend = Seconds(t0);
    RunUntil([&] { return !W.WorkBusy(); }, 60000);
    return shown;
  }

  // A take of 0.3 s: the seconds from Ctrl+S until it is listed, selected and drawn;
  // ACpu: the window's CPU seconds meanwhile; AWindowPart: the seconds of it after the
  // flow told the take's end.
  double TakeEnd(double &ACpu, double &AWindowPart)
  {
    QApplication::setActiveWindow(&W);
    const int rows = W.Controls().lbRecordings->model()->rowCount();
    QTest::keyClick(&W, Qt::Key_R, Qt::ControlModifier);
    if (!RunUntil([&] { return W.Recorder()->Recording(); }, 10000))
      Fail("no take started");
    // 300 ms and a little more each time: the stop falls at another point of the
    // capture's cycle each time, as a user's key does
    QTest::qWait(300 + 7 * FTakes++);
    const QString take = W.LastFile();
    const double cpu0 = bench::CpuSeconds();
    const auto t0 = bench::Clock::now();
    bench::Clock::time_point ended;
    const QMetaObject::Connection told = QObject::connect(
        &W.Flow(), &ui::TTakeFlow::TakeEnded, &W, [&] { ended = bench::Clock::now(); });
    QTest::keyClick(&W, Qt::Key_S, Qt::ControlModifier);
    if (!RunUntil([&] {
          return !W.WorkBusy() && W.SelectedTakePath() == take && !W.PeaksLeft().empty() &&
                 W.Controls().lbRecordings->model()->rowCount() == rows + 1;
        }, 30000))
      Fail("the take was not shown");
    ACpu = bench::CpuSeconds() - cpu0;
    QObject::disconnect(told);
    AWindowPart = Seconds(ended);
    return Seconds(t0);
  }

  // AMoves presses of Ctrl+Right, each until the next text's take is selected.
  double Moves(int AMoves)
  {
    QApplication::setActiveWindow(&W);
    const auto t0 = bench::Clock::now();
    for (int i = 0; i < AMoves; ++i) {
      const int before = W.Texts().Text().Current();
      QTest::keyClick(&W, Qt::Key_Right, Qt::ControlModifier);
      if (W.Texts().Text().Current() != before + 1)
        Fail("the next text was not shown");
    }
    QCoreApplication::processEvents();
    return Seconds(t0);
  }

private:
  ui::TfrmMain &W;
  int FTakes = 0;
};

} // namespace

int main(int argc, char **argv)
{
  const fs::path folder = argc > 1 ? argv[1] : fs::temp_directory_path();
  const int takes = argc > 2 ? std::atoi(argv[2]) : 10000;
  constexpr int kHuge = 100000;
  constexpr int kEnds = 9;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int qtArgc = 1;
  app::TPraatkistApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  ui::InstallFontSubstitutes();

  const fs::path work = folder / "praatkist-bench-session";
  fs::remove_all(work);
  const fs::path root = work / "root", many = work / "many";
  std::printf("sessions of %d takes against one (load %s)\n", takes,
              bench::LoadAverage().substr(0, 14).c_str());
  auto t = bench::Clock::now();
  MakeSession(root, "Klein", 1, 25, 0, false);
  MakeSession(root, "Groot", takes, takes, std::max(1, takes / 20), false);
  MakeSession(root, "Reus", kHuge, kHuge, 0, true);
  for (int i = 1; i <= 2000; ++i)
    fs::create_directories(many / ("Sessie " + std::to_string(i)));
  // On the disk before anything is measured, as a session recorded earlier is: else
  // the first fsync of a take waits for these files too.
  ::sync();
  std::printf("  (made in %.1f s)\n", Seconds(t));
  const fs::path ini = work / "Praatkist.ini";
  WriteFile(ini, "[Sessies]\r\nHoofdmap=" + root.string() +
                     "\r\n[Opname]\r\nFormaat=0\r\nStiltesTrimmen=0\r\n"
                     "Geluidsingang=Sine source at 440 Hz\r\n");

  std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  // The root the folder question answers with (2,000 sessions below).
  fs::path rootAnswer;
  ui::TWindowSeams seams;
  seams.AskRootFolder = [&](const QString &) {
    return QString::fromStdString(rootAnswer.string());
  };
  ui::TfrmMain w(layer.get(), QString::fromStdString(ini.string()), nullptr, {}, std::move(seams));
  w.show();
  if (!QTest::qWaitForWindowExposed(&w) || w.Recorder() == nullptr ||
      w.Controls().cbDevice->currentText() != QStringLiteral("Sine source at 440 Hz"))
    Fail("no window, engine or sine source");
  TBench b(w);

  // ---- (a) choosing ----
  double mendSmall = 0, mendLarge = 0;
  const double chooseSmall = b.Choose(QStringLiteral("Klein"), 1, &mendSmall);
  const double memorySmall = ResidentMb();
  const double chooseLarge = b.Choose(QStringLiteral("Groot"), takes, &mendLarge);
  const double memoryLarge = ResidentMb();
  std::printf("  choose, shown       %8.3f s   one take %8.3f s   ratio %6.1f   (target <= 0.3 s)\n",
              chooseLarge, chooseSmall, chooseLarge / chooseSmall);
  std::printf("  choose, mended      %8.3f s   one take %8.3f s   ratio %6.1f   (target <= 1 s)\n",
              mendLarge, mendSmall, mendLarge / mendSmall);
  std::printf("  memory              %8.1f MB  one take %8.1f MB  more %6.1f MB (target <= 30 MB)\n",
              memoryLarge, memorySmall, memoryLarge - memorySmall);

  // ---- (b) a take's end and (c) moving on, large session first ----
  std::vector<double> endLarge, cpuLarge, endSmall, cpuSmall, partLarge, partSmall;
  const auto takeEnds = [&](std::vector<double> &AEnds, std::vector<double> &ACpu,
                            std::vector<double> &AParts) {
    for (int i = 0; i < kEnds; ++i) {
      double cpu = 0, part = 0;
      AEnds.push_back(b.TakeEnd(cpu, part));
      ACpu.push_back(cpu);
      AParts.push_back(part);
    }
    return b.Moves(20);
  };
  const double movesLarge = takeEnds(endLarge, cpuLarge, partLarge);
  b.Choose(QStringLiteral("Klein"), 1);
  const double movesSmall = takeEnds(endSmall, cpuSmall, partSmall);
  for (const auto &[name, values] : {std::pair{"large", &endLarge}, std::pair{"small", &endSmall}}) {
    std::printf("  (take's ends, %s:", name);
    for (const double v : *values)
      std::printf(" %.0f", v * 1e3);
    std::printf(" ms)\n");
  }
  std::printf("  take's end          %8.3f s   one take %8.3f s   more %6.1f ms (target <= 20 ms)\n",
              Median(endLarge), Median(endSmall), (Median(endLarge) - Median(endSmall)) * 1e3);
  std::printf("  the window's part  %8.1f ms  one take %8.1f ms  more %6.1f ms\n",
              Median(partLarge) * 1e3, Median(partSmall) * 1e3,
              (Median(partLarge) - Median(partSmall)) * 1e3);
  std::printf("  take's end, CPU     %8.3f s   one take %8.3f s   ratio %6.2f\n", Median(cpuLarge),
              Median(cpuSmall), Median(cpuLarge) / Median(cpuSmall));
  std::printf("  20 moves            %8.3f s   one take %8.3f s   ratio %6.2f   (target <= 50 ms)\n",
              movesLarge, movesSmall, movesLarge / movesSmall);

  // ---- (d) 100,000 takes ----
  const double chooseHuge = b.Choose(QStringLiteral("Reus"), kHuge);
  std::printf("  choose 100,000      %8.3f s   one take %8.3f s   ratio %6.1f   (target <= 2 s)\n",
              chooseHuge, chooseSmall, chooseHuge / chooseSmall);

  // ---- (e) a root of 2,000 sessions ----
  auto root2000 = [&](const fs::path &ARoot, int ASessions) {
    rootAnswer = ARoot;
    const auto t0 = bench::Clock::now();
    QTest::mouseClick(w.Controls().btnRoot->Text, Qt::LeftButton);
    if (!RunUntil([&] { return w.Controls().cbSession->count() == ASessions; }, 30000))
      Fail("the sessions were not listed");
    const double listed = Seconds(t0);
    QComboBox *combo = w.Controls().cbSession;
    combo->setFocus();
    const auto t1 = bench::Clock::now();
    QTest::keyClick(combo, Qt::Key_F4);
    if (!RunUntil([&] { return combo->view()->isVisible(); }, 10000))
      Fail("the drop-down did not open");
    const double opened = Seconds(t1);
    QTest::keyClick(combo->view(), Qt::Key_Escape);
    RunUntil([&] { return !combo->view()->isVisible(); }, 10000);
    return std::pair{listed, opened};
  };
  const auto [listMany, openMany] = root2000(many, 2000);
  const auto [listFew, openFew] = root2000(root, 3);
  std::printf("  2,000 sessions      %8.3f s   3 sessions %6.3f s   ratio %6.1f   (listed)\n",
              listMany, listFew, listMany / listFew);
  std::printf("  their drop-down     %8.3f s   3 sessions %6.3f s   ratio %6.1f   (opened)\n",
              openMany, openFew, openMany / openFew);
  fs::remove_all(work);
  return 0;
}
