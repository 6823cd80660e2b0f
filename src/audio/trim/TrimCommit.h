#pragma once
// The files of a trim: the backup, the new take and its record written beside the old
// take, then renamed into place; and undo.
//
// A trim never writes into the take. The new take, the backup and the record are made
// under temporary names, each pushed to the disk, and then renamed into place in an
// order that keeps the folder telling the truth at every instant, whatever moment a
// crash or a power cut picks:
//   1. the backup (a second name for the take, or a complete copy) replaces any old one,
//      after an old record has gone: the take with a backup of itself and no record;
//   2. the new record, naming the new take by size and modification time, is renamed
//      into place: it does not fit the old take, so it counts for nothing yet;
//   3. the folder is synced, then the new take is renamed over the old one: from this
//      rename on the take, its backup and its record belong together.
// Until step 3 the old take is untouched and any failure or cancel leaves it so.
//
// Each temporary file is claimed (platform/FileClaim.h) from the moment it exists
// until it is renamed into place or deleted, so that a clean-up in this process or in
// another (RemoveAbandonedTrimTemps) takes only the leftovers of trims that are gone.

#include "audio/trim/TrimRecord.h"
#include "platform/FileClaim.h"

#include <filesystem>

namespace praatkist::audio {

class TTrimCommit {
public:
  explicit TTrimCommit(const std::filesystem::path &take);
  TTrimCommit(const TTrimCommit &) = delete;
  TTrimCommit &operator=(const TTrimCommit &) = delete;

  const std::filesystem::path &Backup() const noexcept { return FBackup; }
  // Where the new take is written, complete and synced before Place; whoever makes it
  // claims it at once with TempClaim.
  const std::filesystem::path &Temp() const noexcept { return FTemp; }
  platform::TFileClaim &TempClaim() noexcept { return FTempClaim; }

  // Step 1: the take's backup in place of any older one, an old record gone (its
  // other lines are kept for the new one), no leftover temporary take. A failure is
  // raised with the take untouched and nothing cleaned up.
  void MakeBackup();
  // Steps 2 and 3, once the new take lies complete in Temp.
  void Place(double start, double end);
  // After a failure (or a cancel) between MakeBackup and the end of Place: the
  // temporary files go, and the take as recorded comes back should it have gone. A
  // cancel takes the backup this trim made away too, so that the folder is as it was.
  void Abandon(bool cancelled) noexcept;
  // After Place: the new names to the disk (a failure here cannot be undone).
  void Finish() noexcept;

private:
  std::filesystem::path FTake, FFolder, FBackup, FBackupTemp, FTemp, FRecord, FRecordTemp;
  TTrimRecord FRecordText;
  platform::TFileClaim FBackupTempClaim, FTempClaim, FRecordTempClaim;
  bool FHadBackup = false;
  bool FRecordPlaced = false;
};

// Puts the backup back under the take's name and deletes the record: as
// TBassRecorder::UndoTrim.
bool UndoTrimFiles(const std::filesystem::path &FileName);

} // namespace praatkist::audio
