#pragma once
// Helpers for tests against the PulseAudio test server that scripts/test.sh starts
// (tests/support/audio-test-server.sh): skipping or failing without a server,
// waiting, shell commands, a private second server to kill, and reading files back
// with libsndfile.

#include "audio/AudioLayer.h"
#include "support/TestFiles.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
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

// Runs Command in a shell; its output (stdout and stderr) without the last newline.
std::string Shell(const std::string &command);

std::filesystem::path ServerScript();
// The test server's folder (its fifo source reads <folder>/fifo).
std::filesystem::path ServerFolder();

// Index of the capture device whose system name is Driver, or -1.
int FindDevice(audio::IAudioLayer &layer, const std::string &driver);

// A second PulseAudio server of the test's own, for tests that kill it.
class TPrivateServer {
public:
  TPrivateServer();
  ~TPrivateServer();
  const std::string &Server() const { return FServer; }
  bool Kill() const;
  // Starts it (again, after Kill) on the same socket; false when it did not come up.
  bool Start();

private:
  TTempDir FDir;
  std::string FServer;
};

// A layer bound to Server: the layer takes PULSE_SERVER as it is when made.
std::unique_ptr<audio::IAudioLayer> LayerOn(const std::string &server);

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
