#pragma once
// What a take is captured from and written as: one value each, handed from the window
// through the flow to the engine unchanged.

#include <algorithm>
#include <cstdint>

namespace praatkist {

enum TRecordingFormat : std::uint8_t { rfWave = 0, rfMP3 = 1 };

// What a take (or the open input between takes) may begin with from before its start.
inline constexpr int kMaxPreRollMs = 3000;
inline constexpr int kDefaultPreRollMs = 1000;
inline constexpr int kListenSlackMs = 1500;

// A capture device at a rate and channel count, with the pre-roll the open input keeps.
struct TInputFormat {
  int Device = 0;          // the device index of TBassRecorder::CaptureDevices
  int SampleRate = 48000;  // 44100, 48000 or 96000
  int Channels = 2;        // 1 or 2
  int PreRollMs = 0;       // 0 .. kMaxPreRollMs
  // Listened to for speech between takes: a take then starts a little after the voice
  // did, so the input keeps kListenSlackMs more than the pre-roll.
  bool Listen = false;

  // The same stream from the device: a take can begin on an input opened with this.
  bool SameStream(const TInputFormat &AOther) const noexcept
  {
    return Device == AOther.Device && SampleRate == AOther.SampleRate &&
           Channels == AOther.Channels;
  }
  TInputFormat Clamped() const noexcept
  {
    TInputFormat f = *this;
    f.PreRollMs = std::clamp(PreRollMs, 0, kMaxPreRollMs);
    return f;
  }
  bool operator==(const TInputFormat &) const = default;
};

// A take: its input, and its file (MP3 at Bitrate kbit/s).
struct TTakeFormat {
  TInputFormat Input;
  TRecordingFormat Format = rfWave;
  int Bitrate = 192;

  bool operator==(const TTakeFormat &) const = default;
};

} // namespace praatkist
