// Trimming silence off a take, its trim record and undo: the engine's work on files,
// in three steps that read apart: the scan for the loud ends (TrimScan), the new take
// written beside the old one (TrimRewrite), and the commit of backup, record and
// renames (TrimCommit, with the record's keys in TrimRecord).

#include "audio/BassRecorder.h"

#include "audio/codec/DecodeStream.h"
#include "audio/TakeFiles.h"
#include "audio/trim/TrimCommit.h"
#include "audio/trim/TrimRecord.h"
#include "audio/trim/TrimRewrite.h"
#include "audio/trim/TrimScan.h"
#include "platform/FileOps.h"

namespace praatkist {

using namespace audio;
namespace fs = std::filesystem;

namespace {

// Nothing is rewritten unless at least one end would lose this much (seconds).
constexpr double kMinimumTrim = 0.05;

} // namespace

bool TBassRecorder::TrimSilence(const fs::path &FileName, TRecordingFormat AFormat, int Bitrate,
                                double &TrimmedStart, double &TrimmedEnd, TWorkControl *Control)
{
  // Scanning is the first half of the work, rewriting the second.
  const TTrimStep step = [Control](double fraction) {
    if (Control == nullptr)
      return;
    if (Control->Cancelled())
      throw EWorkCancelled();
    Control->Report(fraction);
  };
  TrimmedStart = 0.0;
  TrimmedEnd = 0.0;

  std::vector<std::int16_t> block(kReadBlock / 2);
  const TTrimScan scan = ScanForSound(FLayer, FileName, block, step);
  TCutPoints cut;
  if (!CutPoints(scan, cut))
    return false;
  TrimmedStart = static_cast<double>(cut.Start) / scan.Rate;
  TrimmedEnd = static_cast<double>(scan.TotalFrames - cut.End) / scan.Rate;
  if (TrimmedStart < kMinimumTrim && TrimmedEnd < kMinimumTrim)
    return false;

  TTrimCommit commit(FileName);
  commit.MakeBackup();
  try {
    TRewriteJob job;
    job.Source = commit.Backup();
    job.Target = commit.Temp();
    job.TargetClaim = &commit.TempClaim();
    job.Format = AFormat;
    job.Bitrate = Bitrate;
    job.WaveDataLimit = FCapture.WaveDataLimit();
    RewriteTake(FLayer, job, scan, cut, block, step);
    step(1.0); // the last moment a cancel is honoured
    commit.Place(TrimmedStart, TrimmedEnd);
  } catch (const EWorkCancelled &) {
    commit.Abandon(true);
    throw;
  } catch (...) {
    commit.Abandon(false);
    throw;
  }
  commit.Finish();

  // The record holds 15 significant digits; hand back exactly what it says, so that
  // the caller and a later reading of the record agree to the last bit.
  TrimmedStart = AsRecorded(TrimmedStart);
  TrimmedEnd = AsRecorded(TrimmedEnd);
  return true;
}

bool TBassRecorder::ReadTrimInfo(const fs::path &FileName, double &TrimmedStart, double &TrimmedEnd)
{
  TrimmedStart = 0.0;
  TrimmedEnd = 0.0;
  if (!platform::FileExists(BackupPath(FileName)) ||
      !platform::FileExists(TrimRecordPath(FileName)))
    return false;
  const TTrimRecord record(FileName);
  // A record of another take (one removed, or changed since) says nothing of this one.
  if (!record.FitsTake(FileName))
    return false;
  TrimmedStart = record.StartSeconds();
  TrimmedEnd = record.EndSeconds();
  return true;
}

bool TBassRecorder::UndoTrim(const fs::path &FileName)
{
  return UndoTrimFiles(FileName);
}

} // namespace praatkist
