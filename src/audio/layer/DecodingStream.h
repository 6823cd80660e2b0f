#pragma once
// A decoding stream (libsndfile) behind a channel handle, read with ChannelGetData.

#include "audio/AudioLayer.h"
#include "audio/codec/SndfileDecoder.h"
#include "audio/layer/Channel.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

namespace praatkist::audio {

class TDecodeStream final : public TChannel {
public:
  int Open(const std::filesystem::path &file) { return FDec.Open(file); }
  int Active() override;
  void Info(TChannelInfo &info) override;
  std::uint64_t Length() override;
  std::uint64_t Position() override;
  // ChannelSetPosition in bytes.
  bool SetPosition(std::uint64_t bytes) override;
  // ChannelGetData: reads up to Length bytes of whole frames into Buffer.
  std::uint32_t GetData(void *buffer, std::uint32_t length) override;
  void Close() noexcept override {}

private:
  std::mutex FM;
  TSndfileDecoder FDec;
  bool FAtEnd = false;
  std::vector<std::int16_t> FBounce; // for callers' buffers at odd addresses
};

} // namespace praatkist::audio
