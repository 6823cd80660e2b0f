#pragma once
// Reads a WAV or MP3 file (anything libsndfile reads) as 16-bit interleaved PCM.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace praatkist::audio {

class TSndfileDecoder {
public:
  TSndfileDecoder();
  ~TSndfileDecoder();
  TSndfileDecoder(const TSndfileDecoder &) = delete;
  TSndfileDecoder &operator=(const TSndfileDecoder &) = delete;

  // Returns an audio-layer error code: kErrOk, kErrFileOpen (missing,
  // unreadable, a folder), kErrFileForm (not a file it can decode), kErrFormat.
  int Open(const std::filesystem::path &file);
  void Close() noexcept;

  std::uint32_t Rate() const noexcept { return FRate; }
  std::uint32_t Chans() const noexcept { return FChans; }
  std::uint32_t FrameBytes() const noexcept { return FChans * 2; }
  // Frames the file says it holds. A damaged file may deliver fewer.
  std::uint64_t Frames() const noexcept { return FFrames; }
  // The next frame ReadFrames delivers.
  std::uint64_t Position() const noexcept { return FPosition; }

  // Reads up to Frames frames into Dst (room for Frames x Chans samples);
  // returns the frames read, 0 at the end or on a decoding error.
  std::size_t ReadFrames(std::int16_t *dst, std::size_t frames) noexcept;
  // Moves to Frame (0 to Frames()). False when the file cannot go there. What is read
  // from there on equals what a reading from the start delivers from that frame on,
  // sample for sample: an MP3 is not simply jumped into (see ExactMpegSeek).
  bool Seek(std::uint64_t frame) noexcept;

  // How libsndfile reads the file (SndfileDecoder.cpp).
  struct TReader;

private:
  bool ExactMpegSeek(std::uint64_t frame) noexcept;
  bool SkipFrames(std::uint64_t frames) noexcept;
  bool Reopen() noexcept;

  void *FFile = nullptr; // SNDFILE*
  int FFd = -1;          // the descriptor FFile reads, closed by us after it
  std::unique_ptr<TReader> FReader; // FFile reads through it
  // Float data (MP3, float WAV) is read as float and rounded here: libsndfile
  // leaves float WAV unscaled when read as 16-bit, and without clipping wraps
  // an MP3's overshoots beyond full scale round to the other sign.
  bool FFloatData = false;
  std::vector<float> FFloatBuf;
  std::uint32_t FRate = 0;
  std::uint32_t FChans = 0;
  std::uint64_t FFrames = 0;
  std::uint64_t FPosition = 0;
  // MPEG audio: samples per MPEG frame, and the samples the decoder drops at the start
  // (the encoder's delay from the LAME tag plus the decoder's own), -1 when unknown.
  bool FMpeg = false;
  std::uint32_t FMpegFrameSamples = 0;
  std::int64_t FMpegSkip = -1;
  int FReopenFd = -1; // the file once more, to decode it afresh from its start
};

} // namespace praatkist::audio
