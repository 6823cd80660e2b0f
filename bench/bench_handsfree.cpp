// Hands-free reading on the real sound system (scripts/bench.sh starts the test server).
//   (a) 20 Dutch sentences spoken by espeak-ng, with room noise and pauses of 2 s, and
//       between some of them a 60 ms click or a 200 ms cough-like burst at the voice's
//       level, fed to the server's fifo source at a microphone's pace, into the real
//       window with a text list and hands-free on (no key pressed). For each take: its
//       text, chosen or rejected, the onset margin (ms of audio before the first
//       speech), the first 30 ms against the voice (dB), and the tail (ms after it).
//   (b) the CPU time of the idle window listening (hands-free on) against the same
//       window with Vooropname alone, room noise fed to both: per cent of one core.
//
//   bench_handsfree [folder] [seconds]    seconds: the idle time per window (default 10)

#include "BenchSupport.h"
#include "app/PraatkistApplication.h"

#include "support/PulseTestKit.h"
#include "support/TestFiles.h"
#include "support/TestSpeech.h"
#include "ui/style/Fonts.h"
#include "ui/window/MainForm.h"
#include "ui/window/TakeList.h"
#include "ui/window/TextCommands.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace praatkist;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 48000;

const char *const kSentences[] = {
    "De kat krabt de krullen van de trap.",
    "Morgen gaan we met de fiets naar de markt.",
    "De zon schijnt op het water van de gracht.",
    "Mijn buurman bakt elke zaterdag brood.",
    "Het regent al de hele week in Utrecht.",
    "Wil je de deur even dicht doen?",
    "De trein naar Groningen vertrekt om negen uur.",
    "Zij leest een boek over oude schepen.",
    "Op het plein spelen kinderen met een bal.",
    "De koffie is te heet om te drinken.",
    "In de winter schaatsen we op het meer.",
    "Hij schrijft een brief aan zijn oma.",
    "De bloemen in de tuin staan in bloei.",
    "Het museum is op maandag gesloten.",
    "We eten vanavond soep met brood.",
    "De hond rent achter de eenden aan.",
    "Vergeet je paraplu niet mee te nemen.",
    "Het concert begint over een half uur.",
    "De bakker verkoopt ook verse taart.",
    "Na de les fietst zij snel naar huis.",
};
constexpr int kCount = static_cast<int>(std::size(kSentences));

// White room noise of the test speech's level, ASeconds of it.
void Room(std::vector<std::int16_t> &AOut, double ASeconds, std::mt19937 &ARandom)
{
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  const double gain = std::pow(10.0, -68.0 / 20.0) * 32767.0;
  for (auto i = static_cast<long>(ASeconds * kRate * 2); i > 0; --i)
    AOut.push_back(static_cast<std::int16_t>(std::lround(noise(ARandom) * gain)));
}

// Noise at a voice's level (a click, a cough).
void Burst(std::vector<std::int16_t> &AOut, double ASeconds, std::mt19937 &ARandom)
{
  std::normal_distribution<double> noise(0.0, 0.1 * 32767.0);
  for (auto i = static_cast<long>(ASeconds * kRate * 2); i > 0; --i)
    AOut.push_back(static_cast<std::int16_t>(std::clamp(noise(ARandom), -32767.0, 32767.0)));
}

// Feeds room noise to the fifo source at a microphone's pace until destroyed.
class TRoomFeed {
public:
  TRoomFeed() : FThread([this] { Run(); }) {}
  ~TRoomFeed()
  {
    FStop.store(true);
    FThread.join();
  }

private:
  void Run()
  {
    const int fd = ::open((test::ServerFolder() / "fifo").c_str(), O_WRONLY);
    if (fd < 0)
      return;
    std::mt19937 random(3);
    auto next = std::chrono::steady_clock::now();
    while (!FStop.load()) {
      std::vector<std::int16_t> piece;
      Room(piece, 0.01, random);
      if (::write(fd, piece.data(), piece.size() * 2) <= 0)
        break;
      next += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(next);
    }
    ::close(fd);
  }

  std::atomic<bool> FStop{false};
  std::thread FThread;
};

std::string FifoName(audio::IAudioLayer &ALayer)
{
  audio::TAudioDeviceInfo info;
  for (int i = 0; ALayer.RecordGetDeviceInfo(i, info); ++i)
    if (info.Driver == "fifo")
      return info.Name;
  return {};
}

void WriteFile(const fs::path &APath, const std::string &AText)
{
  std::ofstream(APath, std::ios::binary | std::ios::trunc) << AText;
}

// The level (dBFS) of 10 ms windows of a stereo take.
std::vector<double> Levels(const std::vector<std::int16_t> &ASamples)
{
  std::vector<double> levels;
  for (std::size_t at = 0; at + 960 <= ASamples.size(); at += 960) {
    double sum = 0;
    for (std::size_t i = at; i < at + 960; ++i)
      sum += static_cast<double>(ASamples[i]) * ASamples[i];
    levels.push_back(10 * std::log10(sum / 960 / (32768.0 * 32768.0) + 1e-12));
  }
  return levels;
}

// A window on the session "Bank" with the fifo source; its settings file ends in AExtra.
std::unique_ptr<ui::TfrmMain> OpenWindow(audio::IAudioLayer &ALayer, const fs::path &ARoot,
                                         const std::string &AExtra)
{
  const fs::path ini = ARoot / "Praatkist.ini";
  WriteFile(ini, "[Sessies]\r\nHoofdmap=" + ARoot.string() + "\r\n[Opname]\r\nGeluidsingang=" +
                     FifoName(ALayer) + "\r\nVooropname=1\r\nVoorloopMs=500\r\n" + AExtra);
  auto w = std::make_unique<ui::TfrmMain>(&ALayer, QString::fromStdString(ini.string()));
  w->show();
  if (!QTest::qWaitForWindowExposed(w.get()))
    return nullptr;
  QComboBox *sessions = w->Controls().cbSession;
  sessions->setCurrentIndex(sessions->findText(QStringLiteral("Bank")));
  emit sessions->activated(sessions->currentIndex());
  return w;
}

double IdleCpu(audio::IAudioLayer &ALayer, const fs::path &ARoot, bool AHandsFree, double ASeconds)
{
  const std::unique_ptr<ui::TfrmMain> w =
      OpenWindow(ALayer, ARoot, AHandsFree ? "Handsfree=1\r\n" : "Handsfree=0\r\n");
  if (!w || w->Controls().chkHandsFree->isChecked() != AHandsFree)
    return -1;
  QTest::qWait(1000);
  const double c0 = bench::CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  QTest::qWait(static_cast<int>(ASeconds * 1000));
  const double cpu = bench::CpuSeconds() - c0;
  return 100.0 * cpu / std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char **argv)
{
  const fs::path folder = argc > 1 ? argv[1] : fs::temp_directory_path();
  const double idle = argc > 2 ? std::min(std::atof(argv[2]), 60.0) : 10.0;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int qtArgc = 1;
  app::TPraatkistApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  ui::InstallFontSubstitutes();

  const fs::path root = folder / "praatkist-bench-handsfree";
  fs::remove_all(root);
  fs::create_directories(root / "Bank");
  std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  if (FifoName(*layer).empty() || test::ServerFolder().empty()) {
    std::fprintf(stderr, "no test server with a fifo source (scripts/bench.sh starts one)\n");
    return 1;
  }
  std::string list;
  for (int i = 0; i < kCount; ++i)
    list += "z" + std::to_string(i + 1) + "\t" + kSentences[i] + "\n";
  WriteFile(root / "Bank" / "tekstlijst.txt", list);

  // ---- (a) 20 sentences, read hands-free ----
  std::mt19937 random(11);
  std::vector<std::int16_t> said;
  std::vector<double> voiceDb;
  Room(said, 1.5, random);
  int clicks = 0, bursts = 0;
  for (int i = 0; i < kCount; ++i) {
    test::TSpeechTake take;
    take.Text = kSentences[i];
    take.LeadSeconds = 0.0;
    take.TailSeconds = 2.0;
    const std::vector<std::int16_t> spoken = test::SpeechSamples(take);
    double sum = 0;
    for (const std::int16_t v : spoken)
      sum += static_cast<double>(v) * v;
    voiceDb.push_back(10 * std::log10(sum / spoken.size() / (32768.0 * 32768.0)));
    said.insert(said.end(), spoken.begin(), spoken.end());
    if (i % 5 == 4) {
      Burst(said, 0.06, random);
      Room(said, 1.5, random);
      ++clicks;
    } else if (i % 5 == 2) {
      Burst(said, 0.2, random);
      Room(said, 2.0, random);
      ++bursts;
    }
  }
  Room(said, 1.0, random);
  std::printf("hands-free: %d sentences, %d clicks of 60 ms, %d bursts of 200 ms, %.0f s of audio\n",
              kCount, clicks, bursts, static_cast<double>(said.size()) / 2 / kRate);
  {
    const std::unique_ptr<ui::TfrmMain> w = OpenWindow(*layer, root, "Handsfree=1\r\n");
    if (!w || !w->Controls().chkHandsFree->isChecked()) {
      std::fprintf(stderr, "hands-free did not come on with the list\n");
      return 1;
    }
    {
      test::TFifoWriter writer(said, true);
      while (!writer.Done())
        QTest::qWait(50);
    }
    (void)QTest::qWaitFor([&] { return !w->WorkBusy() && w->Recorder() != nullptr &&
                                 !w->Recorder()->Recording(); }, 10000);
    QTest::qWait(500);
    QHash<QString, ui::TTakeMark> marks;
    for (const TTakeBinding &b : w->Texts().Text().Bindings())
      marks.insert(b.Take, w->Texts().MarkOf(b.Take));
    const QList<QString> keys = marks.keys();
    std::vector<QString> names(keys.begin(), keys.end());
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
      return a.section(QLatin1Char('-'), -1).section(QLatin1Char('.'), 0, 0).toInt() <
             b.section(QLatin1Char('-'), -1).section(QLatin1Char('.'), 0, 0).toInt();
    });
    int chosen = 0, rejected = 0, whole = 0;
    std::printf("  take           text  state     onset ms  first 30 ms dB  tail ms\n");
    for (const QString &name : names) {
      const ui::TTakeMark &mark = marks.value(name);
      const test::TDecoded d = test::Decode(root / "Bank" / name.toStdString());
      const std::vector<double> levels = Levels(d.Samples);
      std::size_t first = levels.size(), last = 0;
      for (std::size_t i = 0; i < levels.size(); ++i)
        if (levels[i] > -45) {
          first = std::min(first, i);
          last = i + 1;
        }
      const int item = mark.ItemId.mid(1).toInt() - 1;
      double lead = -100;
      for (std::size_t i = 0; i < std::min<std::size_t>(3, levels.size()); ++i)
        lead = std::max(lead, levels[i]);
      const double below = item >= 0 && item < kCount ? voiceDb[item] - lead : 0;
      chosen += mark.Chosen ? 1 : 0;
      rejected += mark.Rejected ? 1 : 0;
      whole += mark.Chosen && below >= 10 ? 1 : 0;
      std::printf("  %-14s %-5s %-9s %8.0f  %14.1f  %7.0f\n", qPrintable(name),
                  qPrintable(mark.ItemId), mark.Rejected ? "afgekeurd" : (mark.Chosen ? "gekozen" : "-"),
                  first * 10.0, below, (levels.size() - last) * 10.0);
    }
    std::printf("  %d chosen of %d texts, %d of them with a quiet first 30 ms (>= 10 dB under the "
                "voice); %d rejected (at most %d bursts); %zu takes in all\n",
                chosen, kCount, whole, rejected, bursts, names.size());
  }

  // ---- (b) the idle window: listening against Vooropname alone ----
  fs::remove_all(root / "Bank");
  fs::create_directories(root / "Bank");
  WriteFile(root / "Bank" / "tekstlijst.txt", list);
  double without = 0, with = 0;
  {
    TRoomFeed feed;
    without = IdleCpu(*layer, root, false, idle);
    with = IdleCpu(*layer, root, true, idle);
  }
  if (without < 0 || with < 0) {
    std::fprintf(stderr, "the idle windows did not come up as asked\n");
    return 1;
  }
  std::printf("idle window, %.0f s each, room noise fed (CPU of this process, %% of one core)\n", idle);
  std::printf("  Vooropname alone: %6.2f %%\n  hands-free on:    %6.2f %%   (+%.2f points, ratio %.2f)\n",
              without, with, with - without, without > 0 ? with / without : 0.0);
  fs::remove_all(root);
  return 0;
}
