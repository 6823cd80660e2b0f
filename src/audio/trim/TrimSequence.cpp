#include "audio/trim/TrimSequence.h"

#include "audio/TakeFiles.h"
#include "audio/codec/TakeMarkers.h"
#include "audio/codec/DecodeStream.h"
#include "audio/trim/TrimCommit.h"
#include "audio/trim/TrimMarkers.h"
#include "audio/trim/TrimRecord.h"
#include "audio/trim/TrimRewrite.h"
#include "audio/trim/TrimScan.h"
#include "platform/FileOps.h"

namespace praatkist::audio {

namespace fs = std::filesystem;

TTrimCut TrimTake(IAudioLayer &layer, const fs::path &file, TRecordingFormat format, int bitrate,
                  std::uint32_t waveDataLimit, TWorkControl *control)
{
  // Scanning is the first half of the work, rewriting the second.
  const TTrimStep step = [control](double fraction) {
    if (control == nullptr)
      return;
    if (control->Cancelled())
      throw EWorkCancelled();
    control->Report(fraction);
  };

  std::vector<std::int16_t> block(kReadBlock / 2);
  const TTrimScan scan = ScanForSound(layer, file, block, step);
  TCutPoints points;
  TTrimCut cut;
  if (!CutPoints(scan, points))
    return cut;
  cut.StartSeconds = static_cast<double>(points.Start) / scan.Rate;
  cut.EndSeconds = static_cast<double>(scan.TotalFrames - points.End) / scan.Rate;
  if (cut.StartSeconds < kMinimumTrimSeconds && cut.EndSeconds < kMinimumTrimSeconds)
    return cut;

  TTrimCommit commit(file);
  commit.MakeBackup();
  // The markers, as they were and as the trimmed take has them.
  const TMarkers markers = ReadMarkers(file, scan.Rate);
  const TMarkers moved = ShiftMarkers(markers, static_cast<std::uint64_t>(points.Start),
                                      static_cast<std::uint64_t>(points.End));
  bool markersMoved = false;
  try {
    BackUpMarkers(file);
    TRewriteJob job;
    job.Source = commit.Backup();
    job.Target = commit.Temp();
    job.TargetClaim = &commit.TempClaim();
    job.Format = format;
    job.Bitrate = bitrate;
    job.WaveDataLimit = waveDataLimit;
    job.Markers = moved;
    RewriteTake(layer, job, scan, points, block, step);
    step(1.0); // the last moment a cancel is honoured
    if (!markers.empty()) {
      markersMoved = true;
      WriteMarkers(file, moved, scan.Rate);
    }
    commit.Place(cut.StartSeconds, cut.EndSeconds);
  } catch (const EWorkCancelled &) {
    commit.Abandon(true);
    throw;
  } catch (...) {
    if (markersMoved) {
      try {
        WriteMarkers(file, markers, scan.Rate); // the take stays as it was: its markers too
      } catch (...) {
      }
    }
    commit.Abandon(false);
    throw;
  }
  commit.Finish();

  // The record holds 15 significant digits; hand back exactly what it says, so that
  // the caller and a later reading of the record agree to the last bit.
  cut.Trimmed = true;
  cut.StartSeconds = AsRecorded(cut.StartSeconds);
  cut.EndSeconds = AsRecorded(cut.EndSeconds);
  return cut;
}

TTrimCut ReadTrimCut(const fs::path &file)
{
  TTrimCut cut;
  if (!platform::FileExists(BackupPath(file)) || !platform::FileExists(TrimRecordPath(file)))
    return cut;
  const TTrimRecord record(file);
  // A record of another take (one removed, or changed since) says nothing of this one.
  if (!record.FitsTake(file))
    return cut;
  cut.Trimmed = true;
  cut.StartSeconds = record.StartSeconds();
  cut.EndSeconds = record.EndSeconds();
  return cut;
}

} // namespace praatkist::audio
