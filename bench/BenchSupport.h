#pragma once
// Helpers shared by the benchmarks: test audio written once and kept, timing of our
// own code and of outside commands on the same files, warm cache.

#include "audio/BassRecorder.h"
#include "audio/codec/WavHeader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// CPU seconds (user + system) of this process: less disturbed than wall time when
// other work shares the machine.
inline double CpuSeconds()
{
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Speech-like 48 kHz stereo: Lead seconds of silence, then bursts of a voiced tone
// (0.4 to 1.2 s, varying pitch and loudness) with short pauses, then Tail seconds of
// silence. Written once; an existing file of the right size is kept.
inline std::filesystem::path SpeechLikeWave(const std::filesystem::path &folder, double seconds,
                                            double lead = 2.0, double tail = 2.0)
{
  constexpr std::uint32_t kRate = 48000;
  const auto frames = static_cast<std::uint64_t>(seconds * kRate);
  const auto path =
      folder / ("praatkist-bench-" + std::to_string(static_cast<long>(seconds)) + "s.wav");
  const std::uint64_t bytes = frames * 4;
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) == bytes + 44)
    return path;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const auto header =
      praatkist::audio::BuildWaveHeader(static_cast<std::uint32_t>(bytes), kRate, 2);
  out.write(reinterpret_cast<const char *>(header.data()), 44);
  std::vector<std::int16_t> block(2 * 4800);
  std::uint64_t f = 0;
  std::uint32_t seed = 12345;
  double burstEnd = lead, pauseEnd = lead, pitch = 180, loud = 0.4;
  while (f < frames) {
    for (std::size_t i = 0; i < 4800; ++i, ++f) {
      const double t = static_cast<double>(f) / kRate;
      double v = 0;
      if (t >= lead && t < seconds - tail) {
        if (t >= pauseEnd) { // start a new burst
          seed = seed * 1664525u + 1013904223u;
          burstEnd = t + 0.4 + (seed >> 8) % 800 / 1000.0;
          pauseEnd = burstEnd + 0.1 + (seed >> 4) % 300 / 1000.0;
          pitch = 120 + (seed >> 12) % 180;
          loud = 0.15 + (seed >> 16) % 60 / 100.0;
        }
        if (t < burstEnd)
          v = loud * (std::sin(2 * M_PI * pitch * t) + 0.3 * std::sin(2 * M_PI * 3 * pitch * t));
      }
      const auto s = static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32000));
      block[2 * i] = s;
      block[2 * i + 1] = static_cast<std::int16_t>(s / 2);
      if (f + 1 >= frames) {
        ++f;
        out.write(reinterpret_cast<const char *>(block.data()),
                  static_cast<std::streamsize>((i + 1) * 4));
        return path;
      }
    }
    out.write(reinterpret_cast<const char *>(block.data()),
              static_cast<std::streamsize>(block.size() * 2));
  }
  return path;
}

// Best wall time of Runs runs of Work.
inline double BestOf(int runs, const std::function<void()> &work)
{
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

// The first line of /proc/loadavg, with its newline: other work on the machine skews
// every figure that needs a core of its own.
inline std::string LoadAverage()
{
  std::ifstream in("/proc/loadavg");
  std::string line;
  std::getline(in, line);
  return line + "\n";
}

// Runs a shell command; exits the benchmark when it fails.
inline void Shell(const std::string &command)
{
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "command failed: %s\n", command.c_str());
    std::exit(1);
  }
}

// A path quoted for the shell. (Built by appending: GCC 12 warns falsely about
// chained operator+ on strings at -O3.)
inline std::string Quote(const std::filesystem::path &p)
{
  std::string q;
  q.append(1, '\'').append(p.string()).append(1, '\'');
  return q;
}

// The words joined by blanks, to make a command line.
inline std::string Command(std::initializer_list<std::string> words)
{
  std::string line;
  for (const auto &w : words) {
    if (!line.empty())
      line.append(1, ' ');
    line.append(w);
  }
  return line;
}

// The MP3 of Wave at 192 kbit/s beside it, encoded once with lame and then kept.
inline std::filesystem::path Mp3Beside(const std::filesystem::path &wave)
{
  auto mp3 = wave;
  mp3.replace_extension(".192.mp3");
  if (!std::filesystem::exists(mp3))
    Shell(Command({"lame --quiet --cbr -b 192", Quote(wave), Quote(mp3)}));
  return mp3;
}

// The engine on the system's audio layer; exits when there is no audio server.
struct TEngine {
  std::unique_ptr<praatkist::audio::IAudioLayer> Layer = praatkist::audio::CreateSystemAudioLayer();
  std::unique_ptr<praatkist::TBassRecorder> Rec;
  TEngine()
  {
    try {
      Rec = std::make_unique<praatkist::TBassRecorder>(*Layer);
    } catch (const std::exception &e) {
      std::fprintf(stderr, "no engine: %s\n", e.what());
      std::exit(1);
    }
  }
};

} // namespace bench
