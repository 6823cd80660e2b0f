#pragma once
// Decoding streams (libsndfile) and the MP3 encoders (libmp3lame) that sit on a
// capture channel or a decoding stream.

#include "audio/AudioLayer.h"
#include "audio/codec/Mp3Encoder.h"
#include "audio/codec/SndfileDecoder.h"
#include "audio/layer/Channel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace praatkist::audio {

struct TEncoderEntry {
  std::mutex M;
  TMp3Encoder Enc;
  bool AutoFree = false;
  std::atomic<bool> Active{false};
  std::atomic<bool> Paused{false}; // what passes by is not encoded

  // What passes through the channel, unless paused.
  void Feed(const void *data, std::size_t bytes) noexcept;
  // The caller's own PCM, paused or not; false once the encoder has stopped.
  bool Write(const void *data, std::size_t bytes) noexcept;
  // Flushes, writes the tag and closes: true when all of it succeeded.
  bool Stop() noexcept;
};

// Something an encoder can sit on: a capture channel or a decoding stream.
struct TEncodeTarget {
  std::mutex EncMutex;
  std::vector<std::shared_ptr<TEncoderEntry>> Encoders;

  void Attach(const std::shared_ptr<TEncoderEntry> &e);
  void Feed(const void *data, std::size_t bytes) noexcept;
  // Ends the encoders that end with their channel (or all of them).
  void StopEncoders(bool autoFreeOnly) noexcept;
};

// A new encoder writing File at Kbps for PCM of Rate and Chans; null with Code set
// when the file or the encoder cannot be made.
std::shared_ptr<TEncoderEntry> OpenEncoder(const std::filesystem::path &file, std::uint32_t rate,
                                           std::uint32_t chans, int kbps, bool autoFree, int &code);

class TDecodeStream final : public TChannel, public TEncodeTarget {
public:
  int Open(const std::filesystem::path &file) { return FDec.Open(file); }
  int Active() override;
  void Info(TChannelInfo &info) override;
  std::uint64_t Length() override;
  std::uint64_t Position() override;
  // ChannelSetPosition in bytes.
  bool SetPosition(std::uint64_t bytes) override;
  // ChannelGetData: reads up to Length bytes of whole frames into Buffer and feeds them
  // to the encoders.
  std::uint32_t GetData(void *buffer, std::uint32_t length) override;
  TEncodeTarget *EncoderSeat(int &) override { return this; }
  void Close() noexcept override { StopEncoders(false); }

private:
  std::mutex FM;
  TSndfileDecoder FDec;
  bool FAtEnd = false;
  std::vector<std::int16_t> FBounce; // for callers' buffers at odd addresses
};

} // namespace praatkist::audio
