#pragma once
// A take as a WAV file: a provisional header at the start, the samples appended as they
// come, the final header at the finish. The file never grows past the data size its
// header can describe (or a lower limit), and after a failed write it is cut back to the
// last whole write, so that the header always describes exactly the audio on disk.
// The writer claims its file while it writes it (platform/FileClaim.h).

#include "audio/capture/TakeWriter.h"
#include "platform/FileClaim.h"
#include "platform/FileOps.h"

#include <atomic>
#include <memory>

namespace praatkist::audio {

class TWaveTakeWriter final : public ITakeWriter {
public:
  // DataLimit: the most sample bytes, read at every write; it outlives the writer.
  TWaveTakeWriter(const std::filesystem::path &path, std::uint32_t rate, std::uint16_t channels,
                  const std::uint32_t &dataLimit);

  void Begin() override;
  bool Write(const void *pcm, std::uint32_t length) noexcept override;
  std::uint64_t Frames() const noexcept override { return FDataBytes / FFrameBytes; }
  TCaptureEnd Stopped() const noexcept override { return FStopped; }
  void KeepMarkers(const TMarkers &markers) override { FMarkers = markers; }
  bool Finish() noexcept override;
  void Abandon() noexcept override;

private:
  std::filesystem::path FPath;
  std::unique_ptr<platform::TWriteFile> FFile;
  // Held from the file's creation until it is complete or gone: a take that no process
  // claims and still has its provisional header was ended by a crash (TakeMend).
  platform::TFileClaim FClaim;
  const std::uint32_t FRate;
  const std::uint16_t FChannels;
  const std::uint32_t FFrameBytes;
  const std::uint32_t &FDataLimit;
  std::uint32_t FDataBytes = 0; // always the sample data on disk
  TCaptureEnd FStopped = TCaptureEnd::None;
  TMarkers FMarkers;
};

} // namespace praatkist::audio
