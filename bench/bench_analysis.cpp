// Waveform analysis of an hour of 48 kHz stereo, against its peers on the same files,
// warm cache, in one run:
//   WAV: AnalyzeFile  vs  cat, a plain libsndfile read (the decode floor), sox stat
//   MP3 (192 kbit/s): AnalyzeFile (one stretch per core)  vs  mpg123 -t, and vs itself
//                     held to one stretch
//   both: AnalyzeFile with the take's figures (loudness by the K-weighting filter, peak,
//         RMS, noise floor, clipped samples)  vs  without them, wall and CPU time; for
//         WAV also vs without them in as many stretches as with them
//   the figure meter alone on a minute held in memory: CPU time per frame, and what that
//         makes for the hour on these cores
//
//   bench_analysis [folder] [seconds]      (needs an audio server for the engine's
//                                           output; scripts/bench.sh starts one)

#include "BenchSupport.h"

#include "audio/BassRecorder.h"
#include "audio/codec/SndfileDecoder.h"
#include "audio/analysis/FigureMeter.h"

#include <sys/resource.h>
#include <thread>
#include <time.h>

using namespace praatkist;

namespace {

double ProcessCpuSeconds()
{
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU time of the finished child processes (the commands run through the shell).
double ChildCpuSeconds()
{
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const double seconds = argc > 2 ? std::atof(argv[2]) : 3600.0;
  const auto wav = bench::SpeechLikeWave(folder, seconds);
  const auto mp3 = bench::Mp3Beside(wav);

  bench::TEngine engine;

  std::vector<std::int32_t> left, right;
  double duration = 0;
  int channels = 0;
  std::int64_t check = 0;
  audio::TTakeFigures figures;
  audio::TAnalysisSplit split;
  const auto analyze = [&](const std::filesystem::path &file, bool measure = false) {
    // the engine's analysis, shared out as its tuning would (split)
    TWaveAnalysis wave = audio::AnalyzeTake(*engine.Layer, split, file, 2000, nullptr, measure);
    left = std::move(wave.LeftPeaks);
    right = std::move(wave.RightPeaks);
    duration = wave.Duration;
    channels = wave.ChannelCount;
    if (measure)
      figures = wave.Figures;
    for (auto v : left)
      check += v;
  };
  const auto plainRead = [&] {
    audio::TSndfileDecoder d;
    d.Open(wav);
    std::vector<std::int16_t> buf(16384 * 2);
    while (d.ReadFrames(buf.data(), 16384) > 0)
      check += buf[0];
  };

  const int runs = 3;
  bench::Shell(
      bench::Command({"cat", bench::Quote(wav), bench::Quote(mp3), "> /dev/null"})); // warm
  const double tCat = bench::BestOf(runs, [&] {
    bench::Shell(bench::Command({"cat", bench::Quote(wav), "> /dev/null"}));
  });
  // Round by round as well, so that the ratio compares like with like.
  // CPU times too: on a busy machine the wall times say more about the other work.
  double tRead = 1e300, tWav = 1e300, tWavFig = 1e300, cpuWav = 1e300, cpuWavFig = 1e300;
  for (int i = 0; i < 5; ++i) {
    tRead = std::min(tRead, bench::BestOf(1, plainRead));
    double cpu0 = ProcessCpuSeconds();
    tWav = std::min(tWav, bench::BestOf(1, [&] { analyze(wav); }));
    cpuWav = std::min(cpuWav, ProcessCpuSeconds() - cpu0);
    cpu0 = ProcessCpuSeconds();
    tWavFig = std::min(tWavFig, bench::BestOf(1, [&] { analyze(wav, true); }));
    cpuWavFig = std::min(cpuWavFig, ProcessCpuSeconds() - cpu0);
  }
  const audio::TTakeFigures wavFigures = figures;
  // With figures a WAV is read in one stretch per core, without them in one (reading is
  // the work there, and on a disk two readers only seek): the same split without the
  // figures shows what the figures themselves cost.
  double tWavSplit = 1e300;
  split = {0, 0, false};
  for (int i = 0; i < 5; ++i)
    tWavSplit = std::min(tWavSplit, bench::BestOf(1, [&] { analyze(wav); }));
  split = {};
  // The meter alone: the first minute of the WAV in memory, measured as one stretch.
  double meterNs = 1e300;
  {
    audio::TSndfileDecoder d;
    d.Open(wav);
    const std::size_t minute = 48000 * 60;
    std::vector<std::int16_t> held(minute * 2);
    const std::size_t frames = d.ReadFrames(held.data(), minute);
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(held.data());
    for (int i = 0; i < 5 && frames > 0; ++i) {
      const double cpu0 = ProcessCpuSeconds();
      audio::TFigureMeter meter(2, 48000, 0, frames, true);
      for (std::size_t at = 0; at < frames; at += 16384)
        meter.Add(bytes + at * 4, std::min<std::size_t>(16384, frames - at), at);
      check += audio::TFigureMeter::Combine({&meter}).ClippedSamples;
      meterNs = std::min(meterNs, (ProcessCpuSeconds() - cpu0) / static_cast<double>(frames) * 1e9);
    }
  }
  const double tSox = bench::BestOf(runs, [&] {
    bench::Shell(bench::Command({"sox", bench::Quote(wav), "-n stat > /dev/null 2>&1"}));
  });
  // The MP3 figures need both cores, which other work on the machine takes in turns:
  // the three are measured round by round, so that each round sees the same load.
  // CPU times as well: the work that is shared out, whatever share of the cores the
  // machine leaves.
  double tMp3 = 1e300, tMp3One = 1e300, tMpg = 1e300, cpuMp3 = 0, tMp3Fig = 1e300;
  double cpuMpg = 1e300, cpuOne = 1e300, cpuAll = 1e300, cpuMp3Fig = 1e300;
  const int mp3Runs = 5;
  for (int i = 0; i < mp3Runs; ++i) {
    const double child0 = ChildCpuSeconds();
    tMpg = std::min(
        tMpg, bench::BestOf(1, [&] {
          bench::Shell(bench::Command({"mpg123 -q -t", bench::Quote(mp3), "> /dev/null 2>&1"}));
        }));
    cpuMpg = std::min(cpuMpg, ChildCpuSeconds() - child0);
    split = {1, 0, true};
    const double one0 = ProcessCpuSeconds();
    tMp3One = std::min(tMp3One, bench::BestOf(1, [&] { analyze(mp3); }));
    cpuOne = std::min(cpuOne, ProcessCpuSeconds() - one0);
    split = {};
    const double cpu0 = ProcessCpuSeconds();
    const double t = bench::BestOf(1, [&] { analyze(mp3); });
    const double cpu = ProcessCpuSeconds() - cpu0;
    cpuAll = std::min(cpuAll, cpu);
    if (t < tMp3) {
      tMp3 = t;
      cpuMp3 = cpu;
    }
    const double fig0 = ProcessCpuSeconds();
    tMp3Fig = std::min(tMp3Fig, bench::BestOf(1, [&] { analyze(mp3, true); }));
    cpuMp3Fig = std::min(cpuMp3Fig, ProcessCpuSeconds() - fig0);
  }

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::printf(
      "analysis of %.0f s of 48 kHz stereo (WAV %.0f MB, MP3 %.0f MB), best of %d, warm cache\n",
      seconds, std::filesystem::file_size(wav) / 1e6, std::filesystem::file_size(mp3) / 1e6, runs);
  std::printf("  (MP3: best of %d rounds)\n", mp3Runs);
  std::printf("  WAV  cat                 %7.3f s\n", tCat);
  std::printf("  WAV  libsndfile read     %7.3f s   (decode floor)\n", tRead);
  std::printf(
      "  WAV  AnalyzeFile         %7.3f s   %.2fx the plain read (target <= 1.3), %.1fx cat\n",
      tWav, tWav / tRead, tWav / tCat);
  std::printf("  WAV  sox -n stat         %7.3f s   AnalyzeFile is %.1fx faster (target >= 3)\n",
              tSox, tSox / tWav);
  std::printf("  WAV  with figures        %7.3f s   %.2fx without (target <= 1.15)\n", tWavFig,
              tWavFig / tWav);
  std::printf("       CPU time %.3f s with, %.3f s without: %.2fx\n", cpuWavFig, cpuWav,
              cpuWavFig / cpuWav);
  std::printf("       without figures in the same %u stretches: %.3f s (with them %.2fx that)\n",
              std::max(1u, std::thread::hardware_concurrency()), tWavSplit, tWavFig / tWavSplit);
  const unsigned stretches = std::max(1u, std::thread::hardware_concurrency()); // one per core
  const double floorWall = meterNs * 1e-9 * 48000.0 * seconds / stretches;
  std::printf("       the meter alone: %.2f ns of CPU per frame, %.3f s of the hour on %u stretches "
              "(%.2fx the WAV analysis without figures, were nothing to overlap)\n",
              meterNs, floorWall, stretches, (tWav + floorWall) / tWav);
  std::printf("  MP3  mpg123 -t           %7.3f s\n", tMpg);
  std::printf("  MP3  AnalyzeFile, 1 stretch %5.3f s   %.2fx mpg123 -t\n", tMp3One, tMp3One / tMpg);
  std::printf(
      "  MP3  AnalyzeFile         %7.3f s   %.2fx mpg123 -t (target <= 0.6 on 2 cores; %u cores)\n",
      tMp3, tMp3 / tMpg, cores);
  std::printf("       its threads had %.2f cores on average (CPU time over wall time)\n",
              cpuMp3 / tMp3);
  std::printf("  MP3  with figures        %7.3f s   %.2fx without (target <= 1.15), %.2fx mpg123 -t "
              "(target <= 0.6)\n",
              tMp3Fig, tMp3Fig / tMp3, tMp3Fig / tMpg);
  std::printf("  MP3  CPU time: mpg123 -t %.3f s, one stretch %.3f s, stretches %.3f s in all, "
              "with figures %.3f s (%.2fx)\n",
              cpuMpg, cpuOne, cpuAll, cpuMp3Fig, cpuMp3Fig / cpuAll);
  std::printf("       on %u free cores the stretches would take about %.3f s, %.2fx mpg123's CPU "
              "time (estimate, not measured)\n",
              cores, cpuAll / cores, cpuAll / cores / cpuMpg);
  std::printf("  figures: WAV %.1f LUFS, RMS %.1f dB, peak %.1f dB, noise floor %.1f dB, %llu "
              "clipped; MP3 %.1f LUFS\n",
              wavFigures.LoudnessLufs, wavFigures.RmsDb, wavFigures.PeakDb,
              wavFigures.NoiseFloorDb, static_cast<unsigned long long>(wavFigures.ClippedSamples),
              figures.LoudnessLufs);
  std::printf("  load average at the end: %s", bench::LoadAverage().c_str());
  std::printf("  [%d points, %.1f s, %d channels, checksum %lld]\n", static_cast<int>(left.size()),
              duration, channels, static_cast<long long>(check));
  return 0;
}
