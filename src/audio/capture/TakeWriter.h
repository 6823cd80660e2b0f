#pragma once
// What writes a take's file: one piece of PCM after another from the capture thread,
// then the file completed at the stop. Two forms, TWaveTakeWriter and TMp3TakeWriter;
// the capture feeds either the same way, so that pause, pre-roll and a take that ends
// by itself are written once for both.

#include "audio/TakeFormat.h"
#include "audio/codec/TakeMarkers.h"
#include "audio/TakeResults.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace praatkist::audio {

class ITakeWriter {
public:
  virtual ~ITakeWriter() = default;

  // Readies the file (created by the form's constructor) for the take's audio: the
  // WAV's provisional header, the MP3's encoder. Raises on failure.
  virtual void Begin() = 0;
  // Appends one piece of 16-bit PCM (whole frames). False once the file takes no more;
  // Stopped then says why. Never throws: the capture thread calls it.
  virtual bool Write(const void *pcm, std::uint32_t bytes) noexcept = 0;
  // Frames in the file so far.
  virtual std::uint64_t Frames() const noexcept = 0;
  // None while it writes on; WriteFailed or SizeLimit once it stopped by itself.
  virtual TCaptureEnd Stopped() const noexcept = 0;
  // The take's markers, for a form that keeps them in the file (the WAV's cue chunk,
  // written by Finish); the MP3 leaves them to the label file alone.
  virtual void KeepMarkers(const TMarkers &) {}
  // Completes and closes the file with everything written so far: true when every step
  // of that succeeded.
  virtual bool Finish() noexcept = 0;
  // Closes the file and removes it: a take that never began.
  virtual void Abandon() noexcept = 0;
};

// The writer of a take in Format of PCM, claiming Path with a new file (any entry of that
// name makes it raise EFileError). WaveDataLimit: the most sample bytes a WAV may hold.
std::unique_ptr<ITakeWriter> CreateTakeWriter(TRecordingFormat format, int bitrate, TPcmFormat pcm,
                                              const std::filesystem::path &path,
                                              std::uint32_t waveDataLimit);

} // namespace praatkist::audio
