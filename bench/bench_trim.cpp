// Trimming an hour of 48 kHz stereo speech-like audio (tone bursts with a silent
// lead-in and tail), against its peers on the same audio, warm cache, in one run:
//   WAV: TrimSilence  vs  cp of the file, sox trimming both ends
//   MP3: TrimSilence of a 192 kbit/s take  vs  lame -b 192 encoding the same audio
//
//   bench_trim [folder] [seconds]     (needs an audio server; scripts/bench.sh)

#include "BenchSupport.h"

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"

using namespace praatkist;
namespace fs = std::filesystem;

int main(int argc, char **argv)
{
  const fs::path folder = argc > 1 ? argv[1] : fs::temp_directory_path();
  const double seconds = argc > 2 ? std::atof(argv[2]) : 3600.0;
  const auto source = bench::SpeechLikeWave(folder, seconds);
  const auto sourceMp3 = bench::Mp3Beside(source);

  bench::TEngine engine;
  auto &rec = engine.Rec;

  const fs::path take = folder / "praatkist-bench-take.wav";
  const fs::path takeMp3 = folder / "praatkist-bench-take.mp3";
  const fs::path copy = folder / "praatkist-bench-copy.wav";
  const fs::path soxOut = folder / "praatkist-bench-sox.wav";
  const fs::path lameOut = folder / "praatkist-bench-lame.mp3";
  const auto clean = [](const fs::path &t) {
    fs::remove(audio::BackupPath(t));
    fs::remove(audio::TrimRecordPath(t));
  };
  double start = 0, end = 0;
  const auto trim = [&](const fs::path &from, const fs::path &t, TRecordingFormat format) {
    // a fresh take for every run, outside the timing
    fs::copy_file(from, t, fs::copy_options::overwrite_existing);
    clean(t);
    bench::Shell(bench::Command({"cat", bench::Quote(t), "> /dev/null"}));
    const auto t0 = bench::Clock::now();
    if (!rec->TrimSilence(t, format, 192, start, end))
      std::fprintf(stderr, "nothing trimmed\n");
    return std::chrono::duration<double>(bench::Clock::now() - t0).count();
  };

  const int runs = 3;
  bench::Shell(
      bench::Command({"cat", bench::Quote(source), bench::Quote(sourceMp3), "> /dev/null"}));
  double tWav = 1e300, tMp3 = 1e300;
  for (int i = 0; i < runs; ++i)
    tWav = std::min(tWav, trim(source, take, rfWave));
  const double tCp = bench::BestOf(runs, [&] {
    bench::Shell(bench::Command({"cp", bench::Quote(source), bench::Quote(copy)}));
  });
  // The trim pushes the new take to the disk before it replaces the old one; the
  // fair peer for that is a copy that is pushed to the disk as well.
  const double tCpSync = bench::BestOf(runs, [&] {
    bench::Shell(bench::Command(
        {"cp", bench::Quote(source), bench::Quote(copy), "&& sync", bench::Quote(copy)}));
  });
  const double tSox = bench::BestOf(1, [&] {
    bench::Shell(bench::Command({"sox", bench::Quote(source), bench::Quote(soxOut),
                                 "silence 1 0.1 0.56% reverse silence 1 0.1 0.56% reverse"}));
  });
  for (int i = 0; i < runs; ++i)
    tMp3 = std::min(tMp3, trim(sourceMp3, takeMp3, rfMP3));
  const double tLame = bench::BestOf(1, [&] {
    bench::Shell(
        bench::Command({"lame --quiet --cbr -b 192", bench::Quote(source), bench::Quote(lameOut)}));
  });

  std::printf("trimming %.0f s of 48 kHz stereo (%.0f MB WAV), warm cache\n", seconds,
              fs::file_size(source) / 1e6);
  std::printf("  WAV  cp                  %7.3f s\n", tCp);
  std::printf("  WAV  cp + sync of the copy %5.3f s\n", tCpSync);
  std::printf("  WAV  TrimSilence         %7.3f s   %.2fx cp (target <= 3), %.2fx cp + sync\n",
              tWav, tWav / tCp, tWav / tCpSync);
  std::printf("  WAV  sox silence trim    %7.3f s   TrimSilence is %.1fx faster (target >= 5)\n",
              tSox, tSox / tWav);
  std::printf("  MP3  lame -b 192 encode  %7.3f s\n", tLame);
  std::printf("  MP3  TrimSilence         %7.3f s   %.2fx the lame encode (target <= 1.3)\n", tMp3,
              tMp3 / tLame);
  std::printf("  [last cut %.3f s / %.3f s]\n", start, end);
  for (const auto &p : {take, takeMp3, copy, soxOut, lameOut}) {
    clean(p);
    fs::remove(p);
  }
  return 0;
}
