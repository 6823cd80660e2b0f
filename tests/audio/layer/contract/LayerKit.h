#pragma once
// What the layer's tests need on either sound system: the fixture, a record callback
// that keeps what it gets, and the few things the systems offer differently. Both
// reach the same audio test server (tests/support/audio-test-server.sh): the Linux
// layer through libpulse, the Windows layer under wine through wine's PulseAudio
// driver, which shows each source as an endpoint named by its description.

#include "audio/AudioLayer.h"
#include "audio/capture/TakeWriter.h"
#include "audio/layer/LayerCore.h"
#include "support/AudioTestKit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace praatkist::test {

#ifdef _WIN32
inline constexpr bool kWasapi = true;
#else
inline constexpr bool kWasapi = false;
#endif

struct TCollector {
  std::uint32_t FrameBytes = 2;
  std::mutex M;
  std::vector<std::int16_t> Samples;
  std::atomic<int> Calls{0};
  std::atomic<std::uint64_t> Bytes{0};
  std::atomic<bool> Inside{false};
  std::atomic<bool> PartFrame{false};
  std::atomic<int> StopAfter{-1}; // answer false on this call
  std::atomic<int> SleepMs{0};
  std::atomic<int> StallFirstMs{0};   // the first call sleeps this long
  std::vector<std::uint32_t> Lengths; // of every buffer, under M
  audio::ITakeWriter *Writer = nullptr; // gets every buffer, as a take's file would

  explicit TCollector(std::uint32_t frameBytes);
};

bool CollectProc(audio::THandle, const void *buffer, std::uint32_t length, void *user) noexcept;

// The layer's capture diagnostics.
audio::TLayerCore &Core(audio::IAudioLayer &layer);

// The input that carries the test server's 440 Hz tone at -6 dBFS, paced like a
// microphone: the tone sink's monitor (under wine offered once more under a name of
// its own, PRAATKIST_TONE_DEVICE, as both monitors share one description).
int ToneDevice(audio::IAudioLayer &layer);

// An input carrying the tone that the test takes away during a capture; it is
// offered again when the test ends.
class TVanishingInput {
public:
  explicit TVanishingInput(audio::IAudioLayer &layer);
  ~TVanishingInput();
  int Index() const { return FIndex; }
  void Remove();

private:
  std::string FModule;
  int FIndex = -1;
  bool FRemoved = false;
};

class AudioLayer : public ::testing::Test {
protected:
  void SetUp() override
  {
    REQUIRE_PULSE();
    Layer = audio::CreateSystemAudioLayer();
  }
  void TearDown() override
  {
    if (Layer)
      Layer->Free();
  }
  std::unique_ptr<audio::IAudioLayer> Layer;
  TTempDir Dir;
};

} // namespace praatkist::test
