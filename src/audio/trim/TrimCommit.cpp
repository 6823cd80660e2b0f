#include "audio/trim/TrimCommit.h"

#include "audio/TakeFiles.h"
#include "audio/trim/TrimMarkers.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"

namespace praatkist::audio {

namespace fs = std::filesystem;

namespace {

// Removes a leftover of an interrupted trim at Path, if there is one. A temporary file
// that a running trim holds (in another window) is left to it, and this trim fails.
void ClearLeftover(const fs::path &path)
{
  std::error_code ec;
  const fs::file_type type = fs::symlink_status(path, ec).type();
  if (type == fs::file_type::not_found)
    return;
  if (type != fs::file_type::regular) {
    platform::DeleteFileOrRaise(path);
  } else if (!platform::RemoveUnclaimedFile(path, ec) && platform::FileExists(path)) {
    platform::RaiseFileError(ec, path);
  }
}

// Deletes a temporary file of this trim: at once where Claim holds it, else only if no
// running trim holds it (a file this trim never came to claim may be another's).
void DropTemp(const fs::path &path, platform::TFileClaim &claim) noexcept
{
  std::error_code ec;
  if (claim.Held())
    platform::DeleteFileQuietly(path);
  else
    platform::RemoveUnclaimedFile(path, ec);
  claim.Release();
}

} // namespace

TTrimCommit::TTrimCommit(const fs::path &take)
    : FTake(take), FFolder(take.parent_path()), FBackup(BackupPath(take)),
      FBackupTemp(BackupTempPath(take)), FTemp(TrimTempPath(take)), FRecord(TrimRecordPath(take)),
      FRecordTemp(RecordTempPath(take)), FRecordText(take)
{
}

void TTrimCommit::MakeBackup()
{
  FHadBackup = platform::FileExists(FBackup);
  ClearLeftover(FBackupTemp);
  platform::SnapshotFileOrRaise(FTake, FBackupTemp);
  try {
    FBackupTempClaim.Claim(FBackupTemp);
    if (platform::FileExists(FRecord))
      platform::DeleteFileOrRaise(FRecord);
    platform::ReplaceFileOrRaise(FBackupTemp, FBackup);
  } catch (...) {
    DropTemp(FBackupTemp, FBackupTempClaim);
    throw;
  }
  FBackupTempClaim.Release();
  ClearLeftover(FTemp);
}

void TTrimCommit::Place(double start, double end)
{
  platform::TFileIdentity trimmed;
  if (!platform::GetFileIdentity(FTemp, trimmed))
    throw EFileError(platform::SystemErrorText(FTemp));
  const std::string text = FRecordText.TextAfterTrim(start, end, trimmed);
  ClearLeftover(FRecordTemp);
  {
    platform::TWriteFile out(FRecordTemp);
    FRecordTempClaim.Claim(FRecordTemp);
    out.Write(text.data(), text.size());
    out.Sync();
    out.Close();
  }

  // ---- into place: the record first (it fits no take yet), then the take ----
  platform::ReplaceFileOrRaise(FRecordTemp, FRecord);
  FRecordTempClaim.Release();
  FRecordPlaced = true;
  platform::SyncFolderOrRaise(FFolder);
  platform::ReplaceFileOrRaise(FTemp, FTake);
  FTempClaim.Release();
}

void TTrimCommit::Abandon(bool cancelled) noexcept
{
  DropTemp(FTemp, FTempClaim);
  DropTemp(FRecordTemp, FRecordTempClaim);
  if (FRecordPlaced)
    platform::DeleteFileQuietly(FRecord);
  // Taken away meanwhile by someone else: the take as recorded comes back.
  if (!platform::FileExists(FTake) && platform::FileExists(FBackup)) {
    try {
      platform::SnapshotFileOrRaise(FBackup, FTake);
    } catch (...) {
    }
  }
  // Asked for: the backup this trim made (a second name of the untouched take) goes
  // too.
  if (cancelled && !FHadBackup && platform::SameFile(FBackup, FTake))
    platform::DeleteFileQuietly(FBackup);
}

void TTrimCommit::Finish() noexcept
{
  platform::SyncFolderQuietly(FFolder);
}

bool UndoTrimFiles(const fs::path &FileName)
{
  const fs::path backup = BackupPath(FileName);
  const fs::path record = TrimRecordPath(FileName);
  if (!platform::FileExists(backup))
    return false;
  const bool haveTake = platform::FileExists(FileName);
  if (haveTake && platform::SameFile(backup, FileName)) {
    // Left by a trim that failed after its backup was made: the take is still the
    // backup itself, so only the second name goes.
    platform::DeleteFileOrRaise(backup);
  } else {
    // Never put a backup over a take that its record does not name.
    if (haveTake && platform::FileExists(record) && !TTrimRecord(FileName).FitsTake(FileName))
      return false;
    // The backup takes the take's place in one rename, whether the take is there or not.
    platform::ReplaceFileOrRaise(backup, FileName);
  }
  if (platform::FileExists(record))
    platform::DeleteFileOrRaise(record);
  RestoreMarkers(FileName);
  platform::SyncFolderQuietly(FileName.parent_path());
  return true;
}

} // namespace praatkist::audio
