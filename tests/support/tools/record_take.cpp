// Records a take until it is killed: the stand-in for a recorder whose process dies.
//
//   record_take DRIVER FILE [rate] [channels]
//
// Prints "recording" once the take runs. Each line "mark" on its input sets a marker
// (as Ctrl+M does), answered with "marked N".

#include "audio/BassRecorder.h"
#include "support/PulseTestKit.h"

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
  if (argc < 3) {
    std::fprintf(stderr, "usage: record_take DRIVER FILE [rate] [channels]\n");
    return 2;
  }
  const int rate = argc > 3 ? std::atoi(argv[3]) : 48000;
  const int channels = argc > 4 ? std::atoi(argv[4]) : 2;
  auto layer = praatkist::audio::CreateSystemAudioLayer();
  try {
    praatkist::TBassRecorder rec(*layer);
    const int device = praatkist::test::FindDevice(*layer, argv[1]);
    rec.Start({{device, rate, channels}, praatkist::rfWave, 192}, argv[2]);
    std::printf("recording\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
      if (std::string(line).starts_with("mark")) {
        std::printf("marked %zu\n", rec.Mark(praatkist::SteadyNowNs()));
        std::fflush(stdout);
      }
    }
    for (;;)
      ::pause();
  } catch (const std::exception &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
