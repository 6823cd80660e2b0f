// What keeping the input open between takes (Vooropname) costs and gives, on the real
// sound system (scripts/bench.sh starts the test server). The input is the server's
// fifo source, fed a 440 Hz tone in 10 ms pieces at the pace of a microphone.
//   (a) the CPU time of the idle window (offscreen, that input chosen) with the input
//       open, against the same window without it: per cent of one core each (the
//       feeding thread counts in both);
//   (b) the time from the record command to the first byte of audio in the take's file,
//       with the input open and without (median and worst of a series of takes), and
//       how long the command itself holds the caller;
//   (c) how long the stop command holds the caller, with the input open (the stop hands
//       the channel back to the input, which stays open) and without (the stop closes
//       the device).
//
//   bench_preroll [folder] [seconds]    seconds: the idle time per window (default 10)

#include "BenchSupport.h"
#include "app/PraatkistApplication.h"

#include "audio/BassRecorder.h"
#include "support/PulseTestKit.h"
#include "ui/style/Fonts.h"
#include "ui/window/MainForm.h"

#include <QComboBox>
#include <QLabel>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace praatkist;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d)
{
  return std::chrono::duration<double, std::milli>(d).count();
}

// Feeds the test server's fifo source 10 ms of a tone every 10 ms, until destroyed.
class TPacedFifo {
public:
  TPacedFifo() : FThread([this] { Run(); }) {}
  ~TPacedFifo()
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
    std::vector<std::int16_t> piece(2 * 480);
    std::uint64_t frame = 0;
    auto next = Clock::now();
    while (!FStop.load()) {
      for (std::size_t i = 0; i < 480; ++i, ++frame) {
        const auto v = static_cast<std::int16_t>(
            8000.0 * std::sin(2 * M_PI * 440.0 * static_cast<double>(frame) / 48000.0));
        piece[2 * i] = piece[2 * i + 1] = v;
      }
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

// The fifo source's name as the device list shows it, and its index.
std::string FifoName(audio::IAudioLayer &ALayer, int &AIndex)
{
  audio::TAudioDeviceInfo info;
  for (int i = 0; ALayer.RecordGetDeviceInfo(i, info); ++i)
    if (info.Driver == "fifo") {
      AIndex = i;
      return info.Name;
    }
  AIndex = -1;
  return {};
}

// CPU per cent of one core of an idle window for ASeconds, with or without the input open.
double IdleWindowCpu(audio::IAudioLayer &ALayer, const std::string &ADevice, const fs::path &ARoot,
                     bool AInput, double ASeconds, bool &AOk)
{
  const fs::path ini = ARoot / (AInput ? "met.ini" : "zonder.ini");
  std::ofstream(ini, std::ios::binary)
      << "[Sessies]\r\nHoofdmap=" << ARoot.string() << "\r\n[Opname]\r\nGeluidsingang=" << ADevice
      << "\r\nVooropname=" << (AInput ? 1 : 0) << "\r\nVoorloopMs=1000\r\n";
  ui::TfrmMain w(&ALayer, QString::fromStdString(ini.string()));
  w.show();
  AOk = QTest::qWaitForWindowExposed(&w) &&
        w.Controls().cbDevice->currentText().toStdString() == ADevice &&
        (w.Controls().lblHeadingLevel->text() == ui::LevelHeadingInput) == AInput;
  QTest::qWait(1000); // settle: the input's first buffers, the first paints
  const double c0 = bench::CpuSeconds();
  const auto t0 = Clock::now();
  QTest::qWait(static_cast<int>(ASeconds * 1000));
  const double cpu = bench::CpuSeconds() - c0;
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  return 100.0 * cpu / wall;
}

struct TStartTimes {
  std::vector<double> FirstByteMs, CommandMs, StopMs;
};

// Takes of the fifo source: the time from Start to the first audio byte in the file.
TStartTimes StartTimes(TBassRecorder &ARec, int ADevice, const fs::path &AFolder, bool AInput,
                       int ATakes)
{
  TStartTimes times;
  for (int i = 0; i < ATakes; ++i) {
    const fs::path take = AFolder / ("start-" + std::to_string(i) + ".wav");
    if (AInput) {
      ARec.OpenInput({ADevice, 48000, 2, 1000});
      std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // the pre-roll fills
    }
    const auto t0 = Clock::now();
    ARec.Start({{ADevice, 48000, 2}, rfWave, 192}, take);
    const auto started = Clock::now();
    std::error_code ec;
    while (fs::file_size(take, ec) <= 44 && Clock::now() - t0 < std::chrono::seconds(5))
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    const auto first = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // a short take
    const auto stop = Clock::now();
    ARec.Stop();
    times.StopMs.push_back(Ms(Clock::now() - stop));
    fs::remove(take, ec);
    times.CommandMs.push_back(Ms(started - t0));
    times.FirstByteMs.push_back(Ms(first - t0));
  }
  return times;
}

double Median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

double Worst(const std::vector<double> &v)
{
  return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
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

  const fs::path root = folder / "praatkist-bench-preroll";
  fs::remove_all(root);
  fs::create_directories(root / "Bank");
  std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  int fifo = -1;
  const std::string fifoName = FifoName(*layer, fifo);
  if (fifo < 0 || test::ServerFolder().empty()) {
    std::fprintf(stderr, "no test server with a fifo source (scripts/bench.sh starts one)\n");
    return 1;
  }
  TPacedFifo feed;

  // ---- (a) the idle window ----
  bool okWithout = false, okWith = false;
  const double without = IdleWindowCpu(*layer, fifoName, root, false, idle, okWithout);
  const double with = IdleWindowCpu(*layer, fifoName, root, true, idle, okWith);
  if (!okWithout || !okWith) {
    std::fprintf(stderr, "the window did not come up with the fifo source as asked\n");
    return 1;
  }
  std::printf("idle window, %.0f s each (CPU of this process, per cent of one core)\n", idle);
  std::printf("  input closed: %6.2f %%\n", without);
  std::printf("  input open:   %6.2f %%   difference %+.2f %% of a core, ratio %.2f  "
              "(target: a few per cent at most)\n",
              with, with - without, without > 0 ? with / without : 0.0);

  // ---- (b) record command to the first byte ----
  TBassRecorder rec(*layer);
  const int takes = 12;
  const TStartTimes closed = StartTimes(rec, fifo, root, false, takes);
  const TStartTimes open = StartTimes(rec, fifo, root, true, takes);
  std::printf("record command to the first byte in the take's file, %d takes each\n", takes);
  std::printf("  input closed: median %6.1f ms, worst %6.1f ms; the command holds %5.1f ms\n",
              Median(closed.FirstByteMs), Worst(closed.FirstByteMs), Median(closed.CommandMs));
  std::printf("  input open:   median %6.1f ms, worst %6.1f ms; the command holds %5.1f ms\n",
              Median(open.FirstByteMs), Worst(open.FirstByteMs), Median(open.CommandMs));
  std::printf("  ratio open / closed (median first byte): %.2f\n",
              Median(open.FirstByteMs) / std::max(Median(closed.FirstByteMs), 1e-3));
  rec.CloseInput();
  std::printf("stop command until the take's file is complete, %d takes each\n", takes);
  std::printf("  input closed: median %6.1f ms, worst %6.1f ms (the device closes)\n",
              Median(closed.StopMs), Worst(closed.StopMs));
  std::printf("  input open:   median %6.1f ms, worst %6.1f ms (the input stays open)\n",
              Median(open.StopMs), Worst(open.StopMs));
  std::printf("  ratio open / closed (median): %.2f\n",
              Median(open.StopMs) / std::max(Median(closed.StopMs), 1e-3));
  fs::remove_all(root);
  return 0;
}
