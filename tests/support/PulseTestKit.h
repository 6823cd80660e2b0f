#pragma once
// Helpers for tests against the PulseAudio test server that scripts/test.sh starts
// (tests/support/audio-test-server.sh), beside those of AudioTestKit: shell commands
// and a private second server to kill.

#include "audio/AudioLayer.h"
#include "support/AudioTestKit.h"
#include "support/TestFiles.h"

#include <memory>
#include <string>

namespace praatkist::test {

// Runs Command in a shell; its output (stdout and stderr) without the last newline.
std::string Shell(const std::string &command);

std::filesystem::path ServerScript();
// The test server's folder (its fifo source reads <folder>/fifo).
std::filesystem::path ServerFolder();

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
