// Trimming an hour of 48 kHz stereo speech-like audio (tone bursts with a silent
// lead-in and tail), against its peers on the same audio, warm cache, in one run:
//   WAV: TrimSilence  vs  cp of the file followed by a sync of the copy (the trim pushes
//        its new take to the disk before it replaces the old one), and sox trimming
//        both ends; once with 2 s of silence at each end (cut), once with 20 ms (too
//        little to cut: only the ends are read)
//   MP3: TrimSilence of a 192 kbit/s take  vs  lame -b 192 encoding the same audio
//
//   bench_trim [folder] [seconds] [runs] [wav]   (needs an audio server; scripts/bench.sh;
//                                                 "wav" leaves out the MP3 trim)
//
// Each trim and its peer run by turns, so that a change in the machine's load between
// them weighs on both; the best of the runs counts.

#include "BenchSupport.h"

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"

using namespace praatkist;
namespace fs = std::filesystem;

namespace {

// Source with its silent ends cut down to Keep seconds each: the same speech with short
// silences. Written once, then kept.
fs::path ShortSilences(const fs::path &source, double lead, double keep)
{
  const fs::path path = fs::path(source).replace_extension(".short.wav");
  const std::uint64_t cut = static_cast<std::uint64_t>((lead - keep) * 48000) * 4;
  const std::uint64_t data = fs::file_size(source) - 44 - 2 * cut;
  std::error_code ec;
  if (fs::file_size(path, ec) == data + 44)
    return path;
  std::ifstream in(source, std::ios::binary);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const auto header = audio::BuildWaveHeader(static_cast<std::uint32_t>(data), 48000, 2);
  out.write(reinterpret_cast<const char *>(header.data()), 44);
  in.seekg(static_cast<std::streamoff>(44 + cut));
  std::vector<char> block(1 << 20);
  for (std::uint64_t left = data; left > 0;) {
    const auto n = static_cast<std::streamsize>(std::min<std::uint64_t>(left, block.size()));
    in.read(block.data(), n);
    out.write(block.data(), n);
    left -= static_cast<std::uint64_t>(n);
  }
  return path;
}

} // namespace

int main(int argc, char **argv)
{
  const fs::path folder = argc > 1 ? argv[1] : fs::temp_directory_path();
  const double seconds = argc > 2 ? std::atof(argv[2]) : 3600.0;
  const auto source = bench::SpeechLikeWave(folder, seconds);
  const auto shortSource = ShortSilences(source, 2.0, 0.02);
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
  // Nothing of an earlier step is still on its way to the disk, and the input is cached.
  const auto settle = [](const fs::path &input) {
    bench::Shell(bench::Command({"sync && cat", bench::Quote(input), "> /dev/null"}));
  };
  double start = 0, end = 0;
  bool cut = false;
  const auto trim = [&](const fs::path &from, const fs::path &t, TRecordingFormat format) {
    // a fresh take for every run, outside the timing
    fs::copy_file(from, t, fs::copy_options::overwrite_existing);
    clean(t);
    settle(t);
    const auto t0 = bench::Clock::now();
    cut = rec->TrimSilence(t, format, 192, start, end);
    return std::chrono::duration<double>(bench::Clock::now() - t0).count();
  };
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  const bool withMp3 = !(argc > 4 && std::string(argv[4]) == "wav");
  const auto cpSync = [&] {
    fs::remove(copy);
    settle(source);
    const auto t0 = bench::Clock::now();
    bench::Shell(bench::Command(
        {"cp", bench::Quote(source), bench::Quote(copy), "&& sync", bench::Quote(copy)}));
    return std::chrono::duration<double>(bench::Clock::now() - t0).count();
  };
  const auto cpOnly = [&] {
    fs::remove(copy);
    settle(source);
    const auto t0 = bench::Clock::now();
    bench::Shell(bench::Command({"cp", bench::Quote(source), bench::Quote(copy)}));
    return std::chrono::duration<double>(bench::Clock::now() - t0).count();
  };
  double tWav = 1e300, tShort = 1e300, tCp = 1e300, tCpSync = 1e300;
  bool wavCut = false, shortCut = true;
  double wavStart = 0, wavEnd = 0;
  for (int i = 0; i < runs; ++i) {
    tWav = std::min(tWav, trim(source, take, rfWave));
    wavCut = cut;
    wavStart = start;
    wavEnd = end;
    tCpSync = std::min(tCpSync, cpSync());
    tShort = std::min(tShort, trim(shortSource, take, rfWave));
    shortCut = cut;
    tCp = std::min(tCp, cpOnly());
  }
  settle(source);
  const double tSox = bench::BestOf(1, [&] {
    bench::Shell(bench::Command({"sox", bench::Quote(source), bench::Quote(soxOut),
                                 "silence 1 0.1 0.56% reverse silence 1 0.1 0.56% reverse"}));
  });
  double tMp3 = 1e300, tLame = 1e300;
  for (int i = 0; withMp3 && i < std::max(1, runs / 2); ++i) {
    tMp3 = std::min(tMp3, trim(sourceMp3, takeMp3, rfMP3));
    settle(source);
    tLame = std::min(tLame, bench::BestOf(1, [&] {
                       bench::Shell(bench::Command({"lame --quiet --cbr -b 192",
                                                    bench::Quote(source), bench::Quote(lameOut)}));
                     }));
  }

  std::printf("trimming %.0f s of 48 kHz stereo (%.0f MB WAV), warm cache, best of %d\n", seconds,
              fs::file_size(source) / 1e6, runs);
  std::printf("  WAV  cp                  %7.3f s\n", tCp);
  std::printf("  WAV  cp + sync of the copy %5.3f s\n", tCpSync);
  std::printf("  WAV  TrimSilence, 2 s silences %7.3f s   %.2fx cp + sync (target <= 1.1), "
              "%.2fx cp%s\n",
              tWav, tWav / tCpSync, tWav / tCp, wavCut ? "" : "  [NOTHING CUT]");
  std::printf("  WAV  TrimSilence, 20 ms silences %5.3f s   %.4fx cp + sync (nothing to cut%s)\n",
              tShort, tShort / tCpSync, shortCut ? ", BUT CUT" : "");
  std::printf("  WAV  sox silence trim    %7.3f s   TrimSilence is %.1fx faster\n", tSox,
              tSox / tWav);
  if (withMp3) {
    std::printf("  MP3  lame -b 192 encode  %7.3f s\n", tLame);
    std::printf("  MP3  TrimSilence         %7.3f s   %.2fx the lame encode (target <= 1.3)\n",
                tMp3, tMp3 / tLame);
  }
  std::printf("  [WAV cut %.3f s / %.3f s; MP3 cut %.3f s / %.3f s]\n", wavStart, wavEnd, start,
              end);
  for (const auto &p : {take, takeMp3, copy, soxOut, lameOut}) {
    clean(p);
    fs::remove(p);
  }
  return 0;
}
