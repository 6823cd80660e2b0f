#include "ui/window/TakeCommands.h"

#include <QComboBox>

#include "audio/TakeFiles.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "session/SessionManager.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/flow/ErrorText.h"
#include "ui/flow/PathText.h"
#include "ui/window/StatusLine.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/TakeList.h"
#include "ui/window/TakeView.h"

namespace praatkist::ui {

void TTakeCommands::Record(std::int64_t AFromFrame)
{
  // While a take runs, the record button pauses and resumes it.
  if (FFlow.State() == TTakeState::Recording) {
    FFlow.TogglePause();
    return;
  }
  if (FSession->currentIndex() < 0) {
    ShowDarkMessage(QStringLiteral("Kies of maak eerst een sessie."));
    return;
  }
  const TRecordingOptions options = Options();
  if (options.Device < 0) {
    ShowDarkError(QStringLiteral("Er is geen audio-ingang gekozen."));
    return;
  }
  if (!FFlow.HasEngine())
    return;

  QString path;
  try {
    path = FSessions.NextFileName(options.Extension());
  } catch (const std::exception &e) {
    // the general error box, as for any error outside the command's guarded part
    ShowGeneralError(ErrorText(e));
    return;
  }
  // Only a take that runs takes the view (the flow says so): after a failed start the
  // selected take stays shown as it was.
  FFlow.Record(options.Take(AFromFrame), path);
}

void TTakeCommands::Stop()
{
  FFlow.Stop();
}

void TTakeCommands::Listen()
{
  if (!FFlow.HasEngine())
    return;
  // A double-click in the list while a take runs or ends would replace the take the
  // stop command completes and trims.
  const TTakeState state = FFlow.State();
  if (state == TTakeState::Recording || FFlow.TakeEnding() || state == TTakeState::Closing)
    return;
  if (state == TTakeState::Playing) {
    FFlow.StopPlayback();
    FStatus.Set(QStringLiteral("Weergave gestopt"));
    return;
  }
  if (FTakes.SelectedEntry().isEmpty())
    return;
  const QString path = SelectedTakeOnDisk();
  if (!path.isEmpty())
    FFlow.Play(path);
}

QString TTakeCommands::SelectedTakeOnDisk()
{
  const QString path = FTakes.SelectedTakePath();
  if (!path.isEmpty() && platform::FileExists(ToPath(path)))
    return path;
  ShowDarkError(QStringLiteral("Het gekozen geluidsbestand werd niet gevonden."));
  FTakes.Reload();
  return QString();
}

void TTakeCommands::Delete()
{
  const QString entry = FTakes.SelectedEntry();
  if (entry.isEmpty())
    return;
  const QString path = SelectedTakeOnDisk();
  if (path.isEmpty())
    return;
  if (!DarkConfirm(QStringLiteral("Wil je \"%1\" definitief wissen?").arg(entry)))
    return;
  try {
    FFlow.StopPlayback();
    audio::DeleteTakeWithCompanions(ToPath(path));
    FFlow.Forget(path);
    FTakes.Remove(path);
    FStatus.Set(QStringLiteral("Gewist: ") + entry);
  } catch (const std::exception &e) {
    ShowDarkError(ErrorText(e));
  }
}

void TTakeCommands::UndoTrim()
{
  const QString entry = FTakes.SelectedEntry();
  if (entry.isEmpty() || !FView.Trimmed() || !FFlow.HasEngine())
    return;
  const QString path = FTakes.SelectedTakePath();
  if (!DarkConfirm(QStringLiteral("Trimming van \"%1\" ongedaan maken?").arg(entry)))
    return;
  try {
    FFlow.StopPlayback();
    if (!FFlow.UndoTrim(path))
      throw ENotFound("De oorspronkelijke opname werd niet gevonden.");
    FView.Show(path);
    FStatus.Set(QStringLiteral("Trimming ongedaan gemaakt: ") + entry);
  } catch (const std::exception &e) {
    ShowDarkError(ErrorText(e));
  }
}

} // namespace praatkist::ui
