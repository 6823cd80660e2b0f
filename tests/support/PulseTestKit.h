#pragma once
// Helpers for tests against the PulseAudio test server that scripts/test.sh starts
// (tests/support/audio-test-server.sh), beside those of AudioTestKit: shell commands
// and a private second server to kill.

#include "audio/AudioLayer.h"
#include "support/AudioTestKit.h"
#include "support/TestFiles.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace praatkist::test {

// Runs Command in a shell; its output (stdout and stderr) without the last newline.
std::string Shell(const std::string &command);

std::filesystem::path ServerScript();
// The test server's folder (its fifo source reads <folder>/fifo).
std::filesystem::path ServerFolder();

// Writes PCM to the test server's fifo source (48 kHz stereo) from a thread; done once
// the server has read all of it from the fifo (the source has given it). RealTime: in
// 5 ms pieces as a microphone would deliver them.
class TFifoWriter {
public:
  explicit TFifoWriter(std::vector<std::int16_t> samples, bool realTime = false)
      : FSamples(std::move(samples)), FRealTime(realTime), FThread([this] { Run(); })
  {
  }
  ~TFifoWriter() { FThread.join(); }
  bool Done() const { return FDone; }

private:
  void Run();
  std::vector<std::int16_t> FSamples;
  bool FRealTime = false;
  std::atomic<bool> FDone{false};
  std::thread FThread;
};

// Frame-numbered stereo audio: frame F of the stream (First + i) carries F % 32768 on
// the left and F / 32768 on the right, so that any frame of a take names its place.
std::vector<std::int16_t> NumberedFrames(std::int64_t first, std::int64_t count);
// The stream frame a take's stereo frame I carries.
std::int64_t FrameNumber(const std::vector<std::int16_t> &samples, std::size_t i);

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

} // namespace praatkist::test
