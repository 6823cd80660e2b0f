// A session's data set and its text list, against peers measured in the same run:
//   export: ExportDataSet of Takes takes of Seconds s each (48 kHz stereo 16-bit WAV,
//           speech-like bursts of a voiced tone with a little breath noise) to 22050 Hz
//           mono, every take chosen for an item of its own and every take measured for
//           opnames.tsv (with an empty cijfers.tsv: that counts in its time), written to
//           the disk as the program does  vs  sox converting the same takes one by one,
//           one process each, as a user's script would ("sox in.wav -r 22050 -c 1 -b 16
//           out.wav")
//   fitted: the same with the silence at the ends brought to 200 ms and the loudness to
//           -23 LUFS (cijfers.tsv empty, and filled as an earlier export or the overview
//           leaves it)  vs  sox doing rate, silence and gain on each take ("... silence 1
//           0.05 1% reverse silence 1 0.05 1% reverse gain -n -3"), target <= 0.6x
//   list:   TTextList::Load of a 100,000-line text list ("id<TAB>text", sentences of 60
//           to 100 characters, UTF-8 with accented letters)  vs  reading the same file's
//           bytes and splitting them into lines with QString
//
//   bench_export [folder] [takes] [seconds] [runs]     (defaults: the temporary folder,
//                                                        1000 takes, 5 s, 2 pairs;
//                                                        scripts/bench.sh hands its
//                                                        seconds on as the take count)
//
// The takes are written into a temporary session folder inside Folder and removed at
// the end, with the data sets. Every timed run starts with earlier writes flushed and
// the takes in the cache; the export and sox run by turns, so that a change in the
// machine's load weighs on both; their CPU times are printed too (sox's as the child
// processes' time), which other work on the machine disturbs less. No audio server is
// needed: the export only decodes.

#include "BenchSupport.h"

#include "audio/AudioLayer.h"
#include "audio/analysis/FigureStore.h"
#include "audio/analysis/TakeAnalysis.h"
#include "audio/export/DataSet.h"
#include "session/TextList.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <time.h>

using namespace praatkist;
namespace fs = std::filesystem;

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

double Since(bench::Clock::time_point t0)
{
  return std::chrono::duration<double>(bench::Clock::now() - t0).count();
}

// The small numbers of a simple generator, so that every take sounds a little different.
struct TRandom {
  std::uint32_t Seed;
  std::uint32_t Next()
  {
    Seed = Seed * 1664525u + 1013904223u;
    return Seed >> 8;
  }
  double Unit() { return static_cast<double>(Next() % 1000000) / 1e6; } // 0 .. 1
};

// Take Index as a 48 kHz stereo WAV of Seconds s: 0.3 s of room, bursts of a voiced tone
// (0.3 to 1 s, 100 to 280 Hz, its third harmonic, a little noise) with short pauses,
// 0.3 s of room. The right channel a little quieter than the left.
void WriteTake(const fs::path &path, double seconds, std::uint32_t index,
               std::vector<std::int16_t> &block)
{
  constexpr std::uint32_t kRate = 48000;
  const auto frames = static_cast<std::size_t>(seconds * kRate);
  block.assign(frames * 2, 0);
  TRandom random{index * 2654435761u + 1u};
  const std::size_t lead = kRate * 3 / 10;
  const std::size_t end = frames > lead ? frames - lead : 0;
  for (std::size_t f = lead; f < end;) {
    const auto burst = static_cast<std::size_t>((0.3 + 0.7 * random.Unit()) * kRate);
    const auto pause = static_cast<std::size_t>((0.08 + 0.25 * random.Unit()) * kRate);
    const double pitch = 100 + 180 * random.Unit();
    const double loud = 0.1 + 0.5 * random.Unit();
    // two oscillators by recursion: s[n] = 2 cos(w) s[n-1] - s[n-2]
    const double w1 = 2 * M_PI * pitch / kRate, w3 = 3 * w1;
    const double c1 = 2 * std::cos(w1), c3 = 2 * std::cos(w3);
    double a1 = 0, b1 = std::sin(-w1), a3 = 0, b3 = std::sin(-w3);
    const std::size_t stop = std::min(end, f + burst);
    const double length = static_cast<double>(stop - f);
    for (std::size_t n = 0; f < stop; ++f, ++n) {
      const double envelope = std::sin(M_PI * static_cast<double>(n) / length);
      const double noise = (static_cast<double>(random.Next() % 2001) - 1000.0) / 1000.0;
      const double v = loud * envelope * (a1 + 0.3 * a3 + 0.05 * noise);
      const double next1 = c1 * a1 - b1, next3 = c3 * a3 - b3;
      b1 = a1;
      a1 = next1;
      b3 = a3;
      a3 = next3;
      const auto s = static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32000));
      block[2 * f] = s;
      block[2 * f + 1] = static_cast<std::int16_t>(s * 3 / 4);
    }
    f += pause;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const auto header = audio::BuildWaveHeader(static_cast<std::uint32_t>(frames * 4), kRate, 2);
  out.write(reinterpret_cast<const char *>(header.data()), 44);
  out.write(reinterpret_cast<const char *>(block.data()),
            static_cast<std::streamsize>(block.size() * 2));
  if (!out)
    throw std::runtime_error("cannot write " + path.string());
}

// A sentence of about Length characters from Dutch words, some with accents.
std::string Sentence(TRandom &random, std::size_t length)
{
  static const char *const words[] = {
      "de", "het", "een", "zin", "wordt", "hardop", "voorgelezen", "door", "spreker",
      "café", "één", "ideeën", "reünie", "coördinatie", "geïnteresseerd", "financiële",
      "privé", "crème", "brûlée", "naïef", "zeeën", "België", "Curaçao", "à", "hè",
      "opname", "microfoon", "kamer", "stilte", "morgen", "vandaag", "altijd", "nooit",
      "waarom", "omdat", "misschien", "zeker", "rustig", "langzaam", "duidelijk", "stem",
      "tekst", "lijst", "regel", "woord", "klinker", "medeklinker", "adem", "toon", "zacht"};
  constexpr std::size_t count = sizeof words / sizeof *words;
  std::string s;
  while (s.size() < length) {
    if (!s.empty())
      s += ' ';
    s += words[random.Next() % count];
  }
  s[0] = static_cast<char>(s[0] >= 'a' && s[0] <= 'z' ? s[0] - 32 : s[0]);
  s += random.Next() % 5 == 0 ? "?" : ".";
  return s;
}

// Characters of UTF-8 Text.
std::size_t Characters(const std::string &text)
{
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// A text list of Lines lines "zin-000001<TAB>sentence", the sentences of about 60 to 100
// characters; their mean length in characters into Mean.
QByteArray TextListBytes(int lines, double &mean)
{
  TRandom random{7u};
  std::string all;
  all.reserve(static_cast<std::size_t>(lines) * 110);
  char id[32];
  std::size_t characters = 0;
  for (int i = 1; i <= lines; ++i) {
    std::snprintf(id, sizeof id, "zin-%06d\t", i);
    all += id;
    // the last word may run on by up to 15 characters
    const std::string text = Sentence(random, 60 + random.Next() % 28);
    characters += Characters(text);
    all += text;
    all += '\n';
  }
  mean = static_cast<double>(characters) / lines;
  return QByteArray(all.data(), static_cast<qsizetype>(all.size()));
}

// Files and bytes in Folder.
std::pair<int, std::uintmax_t> Contents(const fs::path &folder)
{
  int files = 0;
  std::uintmax_t bytes = 0;
  for (const auto &e : fs::directory_iterator(folder)) {
    ++files;
    bytes += e.file_size();
  }
  return {files, bytes};
}

// Both measurements, in Work (removed by the caller).
int Run(const fs::path &work, int takeCount, double seconds, int runs)
{
  const fs::path session = work / "Koor";
  fs::create_directory(session);

  // The session's takes, one in memory at a time.
  audio::TDataSetJob job;
  job.Session = session;
  job.Format = {22050, true};
  std::vector<audio::TDataSetTake> takes;
  {
    std::vector<std::int16_t> block;
    TRandom random{99u};
    char id[32];
    for (int i = 1; i <= takeCount; ++i) {
      const std::string name = "Koor-" + std::to_string(i) + ".wav";
      const fs::path path = session / name;
      WriteTake(path, seconds, static_cast<std::uint32_t>(i), block);
      std::snprintf(id, sizeof id, "zin-%04d", i);
      const std::string text = Sentence(random, 70);
      job.Items.push_back({id, text, path, text.size()});
      takes.push_back({name, id, "gekozen"});
    }
  }
  bench::Shell(bench::Command({"sync && cat", bench::Quote(session) + "/*.wav > /dev/null"}));

  const std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  const audio::TAnalysisSplit split; // the engine's own
  const fs::path ours = work / "dataset", soxOut = work / "sox";
  const auto settle = [&] {
    std::error_code ec;
    fs::remove_all(ours, ec);
    fs::remove_all(soxOut, ec);
    bench::Shell(bench::Command({"sync && cat", bench::Quote(session) + "/*.wav > /dev/null"}));
  };
  audio::TDataSetReport report;
  int ourFiles = 0, soxFiles = 0, tsvLines = 0; // what the last runs left
  std::uintmax_t ourBytes = 0, soxBytes = 0;
  bool warmStore = false; // cijfers.tsv left as the run before filled it
  const auto exportRun = [&](double &cpu) {
    settle();
    if (!warmStore)
      fs::remove(session / audio::figure_store::kFileName);
    job.Folder = ours;
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = bench::Clock::now();
    report = audio::ExportDataSet(*layer, split, job, takes);
    const double t = Since(t0);
    cpu = ProcessCpuSeconds() - cpu0;
    std::tie(ourFiles, ourBytes) = Contents(ours / "wavs");
    std::ifstream tsv(ours / "opnames.tsv");
    tsvLines = 0;
    for (std::string line; std::getline(tsv, line);)
      ++tsvLines;
    return t;
  };
  std::string soxEffects;
  const auto soxRun = [&](double &cpu) {
    settle();
    fs::create_directory(soxOut);
    const double cpu0 = ChildCpuSeconds();
    const auto t0 = bench::Clock::now();
    bench::Shell(bench::Command({"cd", bench::Quote(session),
                                 "&& for f in *.wav; do sox \"$f\" -r 22050 -c 1 -b 16",
                                 bench::Quote(soxOut) + "/\"$f\"", soxEffects,
                                 "|| exit 1; done"}));
    const double t = Since(t0);
    cpu = ChildCpuSeconds() - cpu0;
    std::tie(soxFiles, soxBytes) = Contents(soxOut);
    return t;
  };
  struct TPairs {
    double Ours = 1e300, Sox = 1e300, CpuOurs = 1e300, CpuSox = 1e300;
    std::vector<double> Ratios;
    double Median() const
    {
      const std::size_t n = Ratios.size();
      return n % 2 ? Ratios[n / 2] : 0.5 * (Ratios[n / 2 - 1] + Ratios[n / 2]);
    }
  };
  const auto measure = [&](bool soxToo) {
    TPairs p;
    for (int i = 0; i < runs; ++i) {
      // by turns: the export first in one pair, sox first in the next
      double a = 0, b = 0, ca = 0, cb = 0;
      if (i % 2 == 0 || !soxToo) {
        a = exportRun(ca);
        b = soxToo ? soxRun(cb) : 0;
      } else {
        b = soxRun(cb);
        a = exportRun(ca);
      }
      if (soxToo)
        p.Ratios.push_back(a / b);
      p.Ours = std::min(p.Ours, a);
      p.Sox = std::min(p.Sox, b);
      p.CpuOurs = std::min(p.CpuOurs, ca);
      p.CpuSox = std::min(p.CpuSox, cb);
    }
    std::sort(p.Ratios.begin(), p.Ratios.end());
    return p;
  };
  const TPairs plain = measure(true);
  const double tOurs = plain.Ours, tSox = plain.Sox, cpuOurs = plain.CpuOurs, cpuSox = plain.CpuSox;
  const std::vector<double> &ratios = plain.Ratios;
  const auto plainReport = report;
  const int plainFiles = ourFiles, plainLines = tsvLines;
  const std::uintmax_t plainBytes = ourBytes;

  // Fitted to train on: margins and loudness.
  job.Format.MarginMs = 200;
  job.Format.LoudnessLufs = -23.0;
  soxEffects = "silence 1 0.05 1% reverse silence 1 0.05 1% reverse gain -n -3";
  const TPairs fitted = measure(true);
  const int fittedFiles = ourFiles;
  const std::uintmax_t fittedBytes = ourBytes;
  warmStore = true;
  double ignored = 0;
  exportRun(ignored); // the store filled
  const TPairs warm = measure(false);
  // The text list, written once into the folder.
  constexpr int kLines = TTextList::MaxItems;
  double meanText = 0;
  const QByteArray listBytes = TextListBytes(kLines, meanText);
  const QString listPath = QString::fromStdString((work / "tekstlijst.txt").string());
  {
    QFile f(listPath);
    if (!f.open(QIODevice::WriteOnly) || f.write(listBytes) != listBytes.size()) {
      std::fprintf(stderr, "cannot write the text list\n");
      return 1;
    }
  }
  int items = 0;
  qsizetype splitLines = 0;
  double tLoad = 1e300, tSplit = 1e300;
  for (int i = 0; i < 5; ++i) {
    tSplit = std::min(tSplit, bench::BestOf(1, [&] {
      QFile f(listPath);
      if (!f.open(QIODevice::ReadOnly))
        std::exit(1);
      const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
      splitLines = lines.size();
    }));
    tLoad = std::min(tLoad, bench::BestOf(1, [&] { items = TTextList::Load(listPath).Count(); }));
  }

  const double ratio = tOurs / tSox;
  const double median = plain.Median();
  std::printf("data set of %d takes of %.1f s, 48 kHz stereo WAV (%.0f MB) to 22050 Hz mono, "
              "earlier writes flushed, takes cached, %d pairs, %u cores\n",
              takeCount, seconds, static_cast<double>(takeCount) * (44 + seconds * 192000) / 1e6,
              runs, std::max(1u, std::thread::hardware_concurrency()));
  std::printf("  load %s", bench::LoadAverage().c_str());
  std::printf("  sox, one process a take      %8.3f s (best)   CPU %.3f s\n", tSox, cpuSox);
  std::printf("  ExportDataSet (with figures) %8.3f s (best)   CPU %.3f s   %.3fx sox "
              "(median of pairs %.3fx, spread %.3f .. %.3f): %s\n",
              tOurs, cpuOurs, ratio, median, ratios.front(), ratios.back(),
              ratio <= 0.5 ? "meets <= 0.5x sox" : "MISSES <= 0.5x sox");
  std::printf("       per take: ours %.2f ms, sox %.2f ms; CPU time %.3fx sox's (steadier on a "
              "busy machine)\n",
              tOurs / takeCount * 1e3, tSox / takeCount * 1e3, cpuOurs / cpuSox);
  std::printf("  [exported %d, %d files %.1f MB, opnames.tsv %d lines]\n", plainReport.Exported,
              plainFiles, static_cast<double>(plainBytes) / 1e6, plainLines);
  const double fittedRatio = fitted.Ours / fitted.Sox;
  std::printf("fitted to train on: silence at the ends to 200 ms, loudness to -23 LUFS\n");
  std::printf("  sox rate, silence, gain -n       %8.3f s (best)   CPU %.3f s\n", fitted.Sox,
              fitted.CpuSox);
  std::printf("  ExportDataSet, cijfers.tsv empty %8.3f s (best)   CPU %.3f s   %.3fx sox "
              "(median of pairs %.3fx, spread %.3f .. %.3f): %s\n",
              fitted.Ours, fitted.CpuOurs, fittedRatio, fitted.Median(), fitted.Ratios.front(),
              fitted.Ratios.back(), fittedRatio <= 0.6 ? "meets <= 0.6x sox" : "MISSES <= 0.6x sox");
  std::printf("  ExportDataSet, cijfers.tsv filled %7.3f s (best)   CPU %.3f s   %.3fx sox\n",
              warm.Ours, warm.CpuOurs, warm.Ours / fitted.Sox);
  std::printf("  [exported %d, %d files %.1f MB; sox %d wavs %.1f MB]\n", report.Exported,
              fittedFiles, static_cast<double>(fittedBytes) / 1e6, soxFiles,
              static_cast<double>(soxBytes) / 1e6);
  std::printf("text list of %d lines (%.1f MB, texts of %.0f characters on average), best of 5, "
              "warm cache\n",
              kLines, static_cast<double>(listBytes.size()) / 1e6, meanText);
  std::printf("  read + QString split          %7.3f s\n", tSplit);
  std::printf("  TTextList::Load               %7.3f s   %.2fx the split: %s\n", tLoad,
              tLoad / tSplit, tLoad <= 0.2 ? "meets <= 0.2 s" : "MISSES <= 0.2 s");
  std::printf("  [%d items, %lld lines split]\n", items, static_cast<long long>(splitLines));

  return 0;
}

} // namespace

int main(int argc, char **argv)
{
  const fs::path folder = argc > 1 ? argv[1] : fs::temp_directory_path();
  const int takeCount = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000;
  const double seconds = argc > 3 ? std::max(0.1, std::atof(argv[3])) : 5.0;
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2;

  std::string pattern = (folder / "praatkist-bench-export.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a folder in %s\n", folder.string().c_str());
    return 1;
  }
  const fs::path work = pattern;
  int code = 1;
  try {
    code = Run(work, takeCount, seconds, runs);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
  }
  std::error_code ec;
  fs::remove_all(work, ec);
  return code;
}
