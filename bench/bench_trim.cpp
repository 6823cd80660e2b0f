// Trimming an hour of 48 kHz stereo speech-like audio (tone bursts with a silent
// lead-in and tail), against its peers on the same audio, in one run:
//   WAV: TrimSilence  vs  cp of the file followed by a sync of the copy (the trim pushes
//        its new take to the disk before it replaces the old one), and sox trimming
//        both ends; once with 2 s of silence at each end (cut), once with 20 ms (too
//        little to cut: only the ends are read)
//   MP3: TrimSilence of a 192 kbit/s take (its frames copied)  vs  lame --cbr -b 192
//        encoding the same audio; and the trim of the same take without its tag frame,
//        which is decoded and encoded anew
//
//   bench_trim [folder] [seconds] [runs] [wav]   (needs an audio server; scripts/bench.sh;
//                                                 "wav" leaves out the MP3 trim)
//
// Every timed run and its peer start alike: the writes of earlier steps flushed (and,
// as root, the page cache dropped), the input read once into the cache. They run in
// pairs, by turns, so that a change in the machine's load weighs on both; the ratio of
// each pair counts, and the median, spread and best of those ratios are printed.

#include "BenchSupport.h"

#include "audio/BassRecorder.h"
#include "audio/codec/Mp3Frames.h"
#include "audio/TakeFiles.h"

#include <iterator>
#include <unistd.h>

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

// The MP3 without its tag frame: a take whose frames cannot be placed, trimmed by
// decoding and encoding.
fs::path Untagged(const fs::path &mp3)
{
  const fs::path path = fs::path(mp3).replace_extension(".untagged.mp3");
  std::ifstream in(mp3, std::ios::binary);
  std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  praatkist::audio::TMp3Header h;
  const auto *p = reinterpret_cast<const std::uint8_t *>(bytes.data());
  const std::size_t skip =
      bytes.size() > 4 && praatkist::audio::ParseMp3Header(p, h) ? h.FrameBytes : 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data() + skip, static_cast<std::streamsize>(bytes.size() - skip));
  return path;
}

// Timed runs and their peers, pair by pair.
struct TPairs {
  std::vector<double> Times, Peers;
  void Add(double time, double peer)
  {
    Times.push_back(time);
    Peers.push_back(peer);
  }
  std::vector<double> Ratios() const
  {
    std::vector<double> r;
    for (std::size_t i = 0; i < Times.size(); ++i)
      r.push_back(Times[i] / Peers[i]);
    std::sort(r.begin(), r.end());
    return r;
  }
  double BestTime() const { return *std::min_element(Times.begin(), Times.end()); }
  double BestPeer() const { return *std::min_element(Peers.begin(), Peers.end()); }
  double BestRatio() const { return BestTime() / BestPeer(); }
  void Print(const char *what, const char *peer, const char *note) const
  {
    const auto r = Ratios();
    const double median =
        r.size() % 2 ? r[r.size() / 2] : 0.5 * (r[r.size() / 2 - 1] + r[r.size() / 2]);
    std::printf("  %-34s %7.3f s (best)   %.4fx %s, median of %zu pairs (spread %.4f .. %.4f, "
                "best %.4f; %s)\n",
                what, BestTime(), median, peer, r.size(), r.front(), r.back(), BestRatio(), note);
  }
};

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
  // Nothing of an earlier step is still on its way to the disk or fills the cache, and
  // the input is cached.
  const bool dropCaches = access("/proc/sys/vm/drop_caches", W_OK) == 0; // root, outside a jail
  const auto settle = [dropCaches](const fs::path &input) {
    bench::Shell(bench::Command(
        {dropCaches ? "sync && echo 3 > /proc/sys/vm/drop_caches && cat" : "sync && cat",
         bench::Quote(input), "> /dev/null"}));
  };
  double start = 0, end = 0;
  bool cut = false;
  const auto trim = [&](const fs::path &from, const fs::path &t, TRecordingFormat format) {
    // a fresh take for every run, outside the timing
    fs::copy_file(from, t, fs::copy_options::overwrite_existing);
    clean(t);
    settle(t);
    const auto t0 = bench::Clock::now();
    const TTrimCut cut2 = rec->TrimSilence(t, format, 192);
    start = cut2.StartSeconds;
    end = cut2.EndSeconds;
    cut = cut2.Trimmed;
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
  TPairs wav, shortWav, cpVsSync, mp3, fallback;
  bool wavCut = false, shortCut = true;
  double wavStart = 0, wavEnd = 0;
  for (int i = 0; i < runs; ++i) {
    const double tWav = trim(source, take, rfWave);
    wavCut = cut;
    wavStart = start;
    wavEnd = end;
    const double tCpSync = cpSync();
    wav.Add(tWav, tCpSync);
    const double tShort = trim(shortSource, take, rfWave);
    shortCut = cut;
    shortWav.Add(tShort, tCpSync);
    cpVsSync.Add(cpOnly(), tCpSync);
  }
  settle(source);
  const double tSox = bench::BestOf(1, [&] {
    bench::Shell(bench::Command({"sox", bench::Quote(source), bench::Quote(soxOut),
                                 "silence 1 0.1 0.56% reverse silence 1 0.1 0.56% reverse"}));
  });
  const auto lame = [&] {
    settle(source);
    return bench::BestOf(1, [&] {
      bench::Shell(bench::Command(
          {"lame --quiet --cbr -b 192", bench::Quote(source), bench::Quote(lameOut)}));
    });
  };
  double mp3Start = 0, mp3End = 0;
  bool mp3Cut = false, fallbackCut = false;
  if (withMp3) {
    const fs::path untagged = Untagged(sourceMp3);
    for (int i = 0; i < std::max(1, runs / 2); ++i) {
      const double tMp3 = trim(sourceMp3, takeMp3, rfMP3);
      mp3Cut = cut;
      mp3Start = start;
      mp3End = end;
      mp3.Add(tMp3, lame());
    }
    const double tFallback = trim(untagged, takeMp3, rfMP3);
    fallbackCut = cut;
    fallback.Add(tFallback, lame());
    fs::remove(untagged);
  }

  std::printf("trimming %.0f s of 48 kHz stereo (%.0f MB WAV), earlier writes flushed%s, input "
              "cached, %d pairs\n",
              seconds, fs::file_size(source) / 1e6, dropCaches ? " and the cache dropped" : "",
              runs);
  std::printf("  load %s", bench::LoadAverage().c_str());
  std::printf("  WAV  cp                      %7.3f s (best)   %.2fx cp + sync\n",
              cpVsSync.BestTime(), cpVsSync.BestRatio());
  std::printf("  WAV  cp + sync of the copy   %7.3f s (best)\n", wav.BestPeer());
  wav.Print("WAV  TrimSilence, 2 s silences", "cp + sync", "target <= 1.1");
  if (!wavCut)
    std::printf("       [NOTHING CUT]\n");
  shortWav.Print("WAV  TrimSilence, 20 ms silences", "cp + sync", "nothing to cut");
  if (shortCut)
    std::printf("       [BUT CUT]\n");
  std::printf("  WAV  sox silence trim        %7.3f s   TrimSilence is %.1fx faster\n", tSox,
              tSox / wav.BestTime());
  if (withMp3) {
    std::printf("  MP3  lame --cbr -b 192       %7.3f s (best)\n", mp3.BestPeer());
    mp3.Print("MP3  TrimSilence, frames copied", "lame", "target <= 0.05");
    fallback.Print("MP3  TrimSilence, no tag: encoded", "lame", "as before");
    if (!mp3Cut || !fallbackCut)
      std::printf("       [NOTHING CUT]\n");
  }
  std::printf("  [WAV cut %.3f s / %.3f s; MP3 cut %.3f s / %.3f s]\n", wavStart, wavEnd, mp3Start,
              mp3End);
  for (const auto &p : {take, takeMp3, copy, soxOut, lameOut}) {
    clean(p);
    fs::remove(p);
  }
  return 0;
}
