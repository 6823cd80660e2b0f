#pragma once
// A constant-bit-rate MP3 file encoder on libmp3lame. The file is written with
// plain system calls so that a failing write (full disk) is seen at once; the
// encoder then stops and ignores further input.
//
// One thread at a time: the caller serialises Encode and Finish.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace praatkist::audio {

class TMp3Encoder {
public:
  TMp3Encoder() = default;
  ~TMp3Encoder();
  TMp3Encoder(const TMp3Encoder &) = delete;
  TMp3Encoder &operator=(const TMp3Encoder &) = delete;

  // Creates (or replaces) File and prepares the encoder for 16-bit interleaved
  // PCM of Rate and Chans (1 or 2) at Kbps. Returns an audio-layer error code:
  // kErrOk, kErrCreate, kErrFormat, kErrIllegalParam, kErrCodec, kErrMemory.
  int Open(const std::filesystem::path &file, std::uint32_t rate, std::uint32_t chans, int kbps);

  // Encodes Bytes of PCM (whole frames; a trailing part frame is ignored).
  // False once the encoder has stopped (a write failed, or after Finish).
  bool Encode(const void *pcm, std::size_t bytes) noexcept;

  // Flushes, writes the LAME/Info tag over the first frame and closes the file.
  // True only when every byte since Open, the tag and the close succeeded (also when
  // called again afterwards).
  bool Finish() noexcept;

  bool Active() const noexcept { return FActive; }

private:
  bool WriteAll(const unsigned char *data, std::size_t n) noexcept;
  void Close() noexcept;

  void *FLame = nullptr; // lame_global_flags*
  int FFd = -1;
  std::filesystem::path FPath;
  std::uint32_t FChans = 0;
  bool FActive = false;
  bool FFailed = false;
  std::vector<unsigned char> FOut;
};

} // namespace praatkist::audio
