// The capture path (peaks plus appending to the WAV file) over an hour of 96 kHz
// stereo buffers, against writing the same buffers with no peak work.
//
//   bench_capture [folder] [seconds]
//
// Prints the throughput of both and their ratio; best of six alternating runs.

#include "BenchSupport.h"

#include "audio/BassRecorder.h"
#include "platform/FileOps.h"
#include "support/ScriptedAudioLayer.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

using namespace praatkist;
using Clock = std::chrono::steady_clock;

int main(int argc, char **argv)
{
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const double seconds = argc > 2 ? std::atof(argv[2]) : 3600.0;
  constexpr int kRate = 96000, kChannels = 2;
  constexpr int kFramesPerBuffer = kRate / 50; // 20 ms, as the capture thread hands them over
  const long buffers = std::lround(seconds * 50.0);

  // a few distinct buffers of a loud-ish tone, so that peaks have real work
  std::vector<std::vector<std::int16_t>> pool(8);
  for (std::size_t k = 0; k < pool.size(); ++k) {
    pool[k].resize(kFramesPerBuffer * kChannels);
    for (int i = 0; i < kFramesPerBuffer; ++i) {
      const double t = (static_cast<double>(k) * kFramesPerBuffer + i) / kRate;
      const auto v = static_cast<std::int16_t>(12000.0 * std::sin(2 * M_PI * 440.0 * t));
      pool[k][2 * i] = v;
      pool[k][2 * i + 1] = static_cast<std::int16_t>(-v / 2);
    }
  }
  const std::uint32_t bytes = kFramesPerBuffer * kChannels * 2;
  const double totalBytes = static_cast<double>(bytes) * static_cast<double>(buffers);

  const auto path = folder / "praatkist-bench-capture.wav";
  double bestEngine = 1e30, bestPlain = 1e30, cpuEngine = 1e30, cpuPlain = 1e30;
  long long peakSum = 0;
  auto runEngine = [&] {
    test::TScriptedAudioLayer layer;
    TBassRecorder rec(layer);
    const auto t0 = Clock::now();
    const double c0 = bench::CpuSeconds();
    rec.Start({{0, kRate, kChannels}, rfWave, 192}, path);
    for (long b = 0; b < buffers; ++b) {
      layer.DeliverBytes(pool[static_cast<std::size_t>(b) % pool.size()].data(), bytes);
      if (b % 4 == 0)
        peakSum += rec.Status().Level(); // the 75 ms tick reads about every 4th buffer
    }
    rec.Stop();
    cpuEngine = std::min(cpuEngine, bench::CpuSeconds() - c0);
    bestEngine = std::min(bestEngine, std::chrono::duration<double>(Clock::now() - t0).count());
    std::filesystem::remove(path);
  };
  auto runPlain = [&] {
    const auto t0 = Clock::now();
    const double c0 = bench::CpuSeconds();
    {
      platform::TWriteFile out(path, platform::TWriteFile::cfReplace);
      std::int16_t header[22] = {};
      out.TryWrite(header, sizeof header);
      for (long b = 0; b < buffers; ++b)
        out.TryWrite(pool[static_cast<std::size_t>(b) % pool.size()].data(), bytes);
      out.TryWriteAt(0, header, sizeof header);
      out.Sync(); // as the engine's stop makes the take durable
    }
    cpuPlain = std::min(cpuPlain, bench::CpuSeconds() - c0);
    bestPlain = std::min(bestPlain, std::chrono::duration<double>(Clock::now() - t0).count());
    std::filesystem::remove(path);
  };
  // alternate which one goes first, so that neither always meets the other's freed pages
  for (int round = 0; round < 6; ++round) {
    if (round % 2 == 0) {
      runEngine();
      runPlain();
    } else {
      runPlain();
      runEngine();
    }
  }

  const double mb = totalBytes / 1e6;
  std::printf("capture of %.1f min of 96 kHz stereo (%.0f MB in %ld buffers of 20 ms) into %s\n",
              seconds / 60.0, mb, buffers, folder.c_str());
  std::printf("  engine capture path (peaks + append): %.3f s  %.0f MB/s  %.0fx real time\n",
              bestEngine, mb / bestEngine, seconds / bestEngine);
  std::printf("  plain write of the same buffers:      %.3f s  %.0f MB/s\n", bestPlain,
              mb / bestPlain);
  std::printf(
      "  ratio engine / plain: wall %.3f, cpu %.3f (%.3f s / %.3f s)  (target below 1.10)\n",
      bestEngine / bestPlain, cpuEngine / cpuPlain, cpuEngine, cpuPlain);
  std::printf("  [peak checksum %lld]\n", peakSum);
  return 0;
}
