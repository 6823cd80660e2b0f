#include "audio/trim/TrimMarkers.h"

#include "audio/TakeFiles.h"
#include "audio/codec/TakeMarkers.h"
#include "audio/codec/WavCues.h"
#include "audio/codec/WaveWriter.h"
#include "audio/trim/TrimRecord.h"
#include "platform/Errors.h"
#include "platform/FileClaim.h"
#include "platform/FileOps.h"

#include <cmath>
#include <cstring>

namespace praatkist::audio {

namespace fs = std::filesystem;

namespace {

void PutMarkers(const fs::path &take, const TMarkers &markers, std::uint32_t rate)
{
  WriteMarkers(take, markers, rate);
  if (IsOwnWave(take))
    RewriteWaveTail(take, markers);
}

} // namespace

void BackUpMarkers(const fs::path &take)
{
  const fs::path labels = MarkersPath(take);
  const fs::path backup = MarkersBackupPath(take);
  if (!platform::FileExists(labels)) {
    if (platform::FileExists(backup))
      platform::DeleteFileOrRaise(backup);
    return;
  }
  ReplaceTextFile(backup, ReadLabelFile(take));
}

void RestoreMarkers(const fs::path &take)
{
  const fs::path labels = MarkersPath(take);
  const fs::path backup = MarkersBackupPath(take);
  if (platform::FileExists(backup))
    platform::ReplaceFileOrRaise(backup, labels);
  else if (platform::FileExists(labels))
    platform::DeleteFileOrRaise(labels);
}

std::size_t AddMarkerToTake(const fs::path &take, std::uint64_t frame, std::uint32_t rate)
{
  // Whether the trim record names the take before its writer changes it.
  const bool trimmed = platform::FileExists(BackupPath(take)) &&
                       platform::FileExists(TrimRecordPath(take)) &&
                       TTrimRecord(take).FitsTake(take);

  TMarkers markers = ReadMarkers(take, rate);
  const std::size_t number = InsertMarker(markers, frame);
  PutMarkers(take, markers, rate);

  if (trimmed) {
    TTrimRecord record(take);
    // The backup gets the marker at its own place: after what the trim cut first.
    const auto cut =
        static_cast<std::uint64_t>(std::llround(std::max(record.StartSeconds(), 0.0) * rate));
    platform::TFileIdentity now;
    if (!platform::GetFileIdentity(take, now))
      throw EFileError(platform::SystemErrorText(take));
    ReplaceTextFile(TrimRecordPath(take), record.TextNaming(now));
    const fs::path backup = BackupPath(take);
    TMarkers before = ParseLabels(ReadLabelText(MarkersBackupPath(take)), rate);
    InsertMarker(before, frame + cut);
    ReplaceTextFile(MarkersBackupPath(take), LabelText(before, rate));
    if (!platform::SameFile(backup, take) && IsOwnWave(backup))
      RewriteWaveTail(backup, before);
  }
  return number;
}

} // namespace praatkist::audio
