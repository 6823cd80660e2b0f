#pragma once
// What a take is captured from and written as: one value each, handed from the window
// through the flow to the engine unchanged.

#include <algorithm>
#include <cstdint>

namespace praatkist {

enum TRecordingFormat : std::uint8_t { rfWave = 0, rfMP3 = 1 };

// The samples every take is captured, written and read in: 16-bit integers, the
// channels of a frame side by side.
inline constexpr std::uint32_t kSampleBytes = 2;
// Full scale on the level scale: a sample's magnitude against this is its level (the
// meter's 0 dB; -32768 counts as full scale).
inline constexpr std::int32_t kFullScale = 32768;
// The largest sample: one of this magnitude or more has reached full scale (clipped).
inline constexpr std::int32_t kClipLevel = 32767;
// The rate a take has unless another is chosen.
inline constexpr int kDefaultSampleRate = 48000;

// Bytes of one frame of Channels (a sample of every channel).
constexpr std::uint32_t PcmFrameBytes(std::uint32_t channels) noexcept
{
  return kSampleBytes * channels;
}

// The PCM of a take or of an input: its rate and channels in 16-bit samples.
struct TPcmFormat {
  std::uint32_t Rate = kDefaultSampleRate;
  std::uint16_t Channels = 2;

  constexpr std::uint32_t FrameBytes() const noexcept { return PcmFrameBytes(Channels); }
  bool operator==(const TPcmFormat &) const = default;
};

// What a take (or the open input between takes) may begin with from before its start.
inline constexpr int kMaxPreRollMs = 3000;
inline constexpr int kDefaultPreRollMs = 1000;
inline constexpr int kListenSlackMs = 1500;

// A capture device at a rate and channel count, with the pre-roll the open input keeps.
struct TInputFormat {
  int Device = 0;          // the device index of TBassRecorder::CaptureDevices
  int SampleRate = kDefaultSampleRate; // 44100, 48000 or 96000
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
  TPcmFormat Pcm() const noexcept
  {
    return {static_cast<std::uint32_t>(SampleRate), static_cast<std::uint16_t>(Channels)};
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
