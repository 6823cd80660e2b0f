#pragma once
// A take as an MP3 file at a constant bit rate (codec/TMp3Encoder): the PCM is encoded
// as it comes; the finish flushes the encoder and writes the LAME tag. A write that
// fails stops the encoder, and what it wrote before stays in the file.

#include "audio/capture/TakeWriter.h"
#include "audio/codec/Mp3Encoder.h"

#include <string>

namespace praatkist::audio {

class TMp3TakeWriter final : public ITakeWriter {
public:
  // Step: how Begin names its failure ("Starten van MP3-encoder mislukt (BASS-fout 33).").
  TMp3TakeWriter(const std::filesystem::path &path, TPcmFormat format, int kbps,
                 std::string step = "Starten van MP3-encoder");

  void Begin() override;
  bool Write(const void *pcm, std::uint32_t length) noexcept override;
  std::uint64_t Frames() const noexcept override { return FFrames; }
  TCaptureEnd Stopped() const noexcept override { return FStopped; }
  bool Finish() noexcept override;
  void Abandon() noexcept override;

private:
  std::filesystem::path FPath;
  const TPcmFormat FFormat;
  const int FKbps;
  const std::string FStep;
  TMp3Encoder FEncoder;
  std::uint64_t FFrames = 0;
  TCaptureEnd FStopped = TCaptureEnd::None;
};

} // namespace praatkist::audio
