#pragma once
// Helpers for tests of the audio layer on every system: skipping or failing without the
// audio test server (tests/support/audio-test-server.sh; wine reaches it too), waiting,
// finding a device, and sound files written and read back with libsndfile.

#include "audio/AudioLayer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace praatkist::test {

bool HavePulse();
bool PulseRequired();

// Skips the test without a server, or fails it when PRAATKIST_REQUIRE_PULSE=1.
#define REQUIRE_PULSE()                                                                            \
  do {                                                                                             \
    if (!::praatkist::test::HavePulse()) {                                                         \
      if (::praatkist::test::PulseRequired())                                                      \
        FAIL() << "PULSE_SERVER is not set but PRAATKIST_REQUIRE_PULSE=1";                         \
      GTEST_SKIP() << "no PulseAudio test server (PULSE_SERVER unset)";                            \
    }                                                                                              \
  } while (0)

using TClock = std::chrono::steady_clock;
double SecondsSince(TClock::time_point since);
void SleepMs(int ms);

// Polls Pred every 5 ms for at most TimeoutS seconds: the seconds it took, or a
// negative value on time-out.
template <class TPred> double WaitUntil(TPred pred, double timeoutS)
{
  const auto t0 = TClock::now();
  while (!pred()) {
    if (SecondsSince(t0) > timeoutS)
      return -1.0;
    SleepMs(5);
  }
  return SecondsSince(t0);
}

// Index of the capture device whose system name is Driver, or -1.
int FindDevice(audio::IAudioLayer &layer, const std::string &driver);

// A file read back with libsndfile as 16-bit samples.
struct TDecoded {
  bool Ok = false;
  int Rate = 0;
  int Channels = 0;
  std::int64_t Frames = 0;           // what the file says
  std::vector<std::int16_t> Samples; // what could be read
};
TDecoded Decode(const std::filesystem::path &file);

// Frequency (by rising zero crossings) and peak of channel Ch of interleaved samples,
// from frame SkipFrames on.
struct TTone {
  double Frequency = 0;
  int Peak = 0;
};
TTone AnalyseTone(const std::vector<std::int16_t> &samples, int channels, int ch, int rate,
                  std::size_t skipFrames = 0);

// Writes Samples (interleaved) with libsndfile in Format (SF_FORMAT_WAV | SF_FORMAT_PCM_16,
// ...); float formats get full scale as 1.0.
void WriteSound(const std::filesystem::path &path, int format, std::uint32_t rate,
                std::uint32_t chans, const std::vector<std::int16_t> &samples);
// A float WAV of Samples as they are (1.0 full scale, beyond it too).
void WriteFloats(const std::filesystem::path &path, std::uint32_t rate, std::uint32_t chans,
                 const std::vector<float> &samples);

// A sine of Freq Hz and Amplitude (of 32768) in every channel.
std::vector<std::int16_t> Sine(std::uint32_t rate, std::uint32_t chans, double seconds, double freq,
                               double amplitude);

// The MPEG audio frames of an MP3 file, walked from its start.
struct TMp3Frames {
  std::vector<int> Kbps;
  bool InfoTag = false; // a LAME/Info (or Xing) tag in the first frame
  bool TrailingGarbage = false;
  bool Id3 = false;
};
TMp3Frames ParseMp3(const std::vector<std::uint8_t> &bytes);

} // namespace praatkist::test
