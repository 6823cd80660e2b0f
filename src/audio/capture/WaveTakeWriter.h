#pragma once
// A take as a WAV file: the take writer over the program's one WAV writer (TWaveWriter),
// which gives it its provisional header at the start, its limit, the cut-back after a
// failed write and the final header (with the markers' chunks) at the finish. The
// writer claims its file while it writes it.

#include "audio/capture/TakeWriter.h"
#include "audio/codec/WaveWriter.h"

namespace praatkist::audio {

class TWaveTakeWriter final : public ITakeWriter {
public:
  // DataLimit: the most sample bytes (WaveDataRoom).
  TWaveTakeWriter(const std::filesystem::path &path, TPcmFormat format, std::uint32_t dataLimit);

  void Begin() override { FWave.Begin(); }
  bool Write(const void *pcm, std::uint32_t length) noexcept override;
  std::uint64_t Frames() const noexcept override { return FWave.Frames(); }
  TCaptureEnd Stopped() const noexcept override { return FStopped; }
  void KeepMarkers(const TMarkers &markers) override { FMarkers = markers; }
  bool Finish() noexcept override;
  void Abandon() noexcept override
  {
    FDone = true;
    FWave.Abandon();
  }

private:
  // Claimed from the file's creation until it is complete or gone: a take that no
  // process claims and still has its provisional header was ended by a crash (TakeMend).
  TWaveWriter FWave;
  TCaptureEnd FStopped = TCaptureEnd::None;
  TMarkers FMarkers;
  bool FDone = false;
};

} // namespace praatkist::audio
