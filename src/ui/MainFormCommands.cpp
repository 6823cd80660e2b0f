// TfrmMain's commands: root, new session, about and close; record, stop, listen,
// delete and undo-trim, the tick, and the waveform of the selected take.

#include "ui/MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "session/SessionManager.h"
#include "ui/AboutForm.h"
#include "ui/DarkDialogs.h"
#include "ui/PathText.h"
#include "ui/TakeFlow.h"
#include "ui/TakeWork.h"

namespace praatkist::ui {

namespace {

const QString FileNotFound = QStringLiteral("Het gekozen geluidsbestand werd niet gevonden.");

} // namespace

// ---------------------------------------------------------------------------------------
// Root, session, about, close

void TfrmMain::ChooseRoot()
{
  QString proposed = FSessions->RootPath();
  if (!QFileInfo(proposed).isDir())
    proposed.clear();
  const QString chosen = AskRootFolder ? AskRootFolder(proposed) : QString();
  if (chosen.isEmpty())
    return;
  // All or nothing: a folder that cannot be made or read leaves the old root, its
  // sessions and the settings as they were, and the error says why.
  QStringList sessions;
  try {
    FSessions->ChangeRoot(chosen, sessions);
  } catch (const std::exception &e) {
    ShowGeneralError(QString::fromUtf8(e.what()));
    return;
  }
  FKeepStoredRoot = false;
  ShowRoot(chosen);
  RefreshSessions();
}

void TfrmMain::NewSession()
{
  QString name;
  if (!DarkInputQuery(QStringLiteral("Nieuwe sessie"), QStringLiteral("Naam van de nieuwe sessie:"),
                      name))
    return;
  try {
    FSessions->CreateSession(name);
    RefreshSessions();
    cbSession->setCurrentIndex(cbSession->findText(TSessionManager::TrimmedName(name),
                                                   Qt::MatchExactly | Qt::MatchCaseSensitive));
    SessionChange();
  } catch (const std::exception &e) {
    ShowDarkError(QString::fromUtf8(e.what()));
  }
}

void TfrmMain::PurgeTrimFiles()
{
  const std::vector<std::filesystem::path> files =
      audio::FindTrimLeftovers(ToPath(FSessions->RootPath()));
  if (files.empty())
    return;
  const QString question =
      QStringLiteral("Er zijn %1 triminfo- en herstelbestand(en).\r\n"
                     "Wil je deze bestanden nu verwijderen?\r\n"
                     "Het ongedaan maken van eerdere trims is daarna niet meer mogelijk.")
          .arg(files.size());
  if (!DarkConfirm(question))
    return;
  const int failed = audio::DeleteFilesCounted(files);
  if (failed > 0)
    ShowDarkError(QStringLiteral("%1 bestand(en) konden niet worden verwijderd.").arg(failed));
}

void TfrmMain::AboutClick()
{
  TfrmAbout::ShowAbout(this);
}

void TfrmMain::ExitClick()
{
  close();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
  if (FFlow->State() == TTakeState::Closing) {
    event->ignore();
    return;
  }
  const bool stopping = FFlow->State() == TTakeState::Stopping;
  const bool trimming = FFlow->Trimming();
  if (FFlow->BeginClose()) {
    // The window closes once the work on the take has ended safely.
    FProgressShown = false;
    if (stopping)
      lblStatus->setText(QStringLiteral("Opname wordt afgesloten, daarna sluit Praatkist..."));
    else
      lblStatus->setText(
          trimming ? QStringLiteral("Trimmen wordt veilig afgerond, daarna sluit Praatkist...")
                   : QStringLiteral("Golfvorm laden wordt afgebroken, daarna sluit Praatkist..."));
    event->ignore();
    return;
  }
  // A running take is completed as it is: not trimmed, not listed.
  if (!FFlow->EndTake() && !FEndingBySystem)
    ShowDarkError(FFlow->IncompleteTakeText(FFlow->TakePath()));
  // The system ending the program gets no questions.
  if (!FEndingBySystem)
    PurgeTrimFiles();
  try {
    SaveSettings();
  } catch (const std::exception &e) {
    if (!FEndingBySystem)
      ShowDarkError(QString::fromUtf8(e.what()));
  }
  event->accept();
}

void TfrmMain::EndBySystem()
{
  if (FEndingBySystem)
    return;
  FEndingBySystem = true;
  if (FDeviceTimer)
    FDeviceTimer->stop();
  // Questions open now are dismissed; their commands end as if cancelled.
  for (QWidget *top : QApplication::topLevelWidgets())
    if (auto *dialog = qobject_cast<QDialog *>(top); dialog && dialog->isVisible())
      dialog->reject();
  FFlow->EndBySystem();
  close();
}

// ---------------------------------------------------------------------------------------
// Commands

void TfrmMain::RecordClick()
{
  if (cbSession->currentIndex() < 0) {
    ShowDarkMessage(QStringLiteral("Kies of maak eerst een sessie."));
    return;
  }
  if (cbDevice->currentIndex() < 0) {
    ShowDarkError(QStringLiteral("Er is geen audio-ingang gekozen."));
    return;
  }
  if (!FFlow->HasEngine())
    return;

  TTakeOptions options;
  options.Format = cbFormat->currentIndex() == 0 ? rfWave : rfMP3;
  options.SampleRate = cbRate->currentText().toInt();
  options.Bitrate = cbBitrate->currentText().left(3).toInt();
  options.Device = cbDevice->currentData().toInt();
  options.Channels = chkMono->isChecked() ? 1 : 2;
  const QString extension =
      options.Format == rfWave ? QStringLiteral(".wav") : QStringLiteral(".mp3");

  QString path;
  try {
    path = FSessions->NextFileName(extension);
  } catch (const std::exception &e) {
    // the general error box, as for any error outside the command's guarded part
    ShowGeneralError(QString::fromUtf8(e.what()));
    return;
  }
  // Only a take that runs takes the view: after a failed start the selected take stays
  // shown as it was.
  if (!FFlow->Record(options, path))
    return;
  wave->ClearPeaks();
  lblTime->setText(QStringLiteral("00:00"));
  wave->hide();
  lblHeadingWave->hide();
}

void TfrmMain::StopClick()
{
  if (!FFlow->HasEngine())
    return;
  FFlow->Stop(chkTrimSilence->isChecked(), cbFormat->currentIndex() == 0 ? rfWave : rfMP3,
              cbBitrate->currentText().left(3).toInt());
}

void TfrmMain::SetListenForm(bool APlaying)
{
  lblIconListen->setText(APlaying ? ListenPlayingGlyph : ListenIdleGlyph);
  lblTextListen->setText(APlaying ? ListenPlayingText : ListenIdleText);
}

void TfrmMain::ListenClick()
{
  if (!FFlow->HasEngine())
    return;
  // A double-click in the list while a take runs or ends would replace the take the
  // stop command completes and trims.
  const TTakeState state = FFlow->State();
  if (state == TTakeState::Recording || FFlow->TakeEnding() || state == TTakeState::Closing)
    return;
  if (state == TTakeState::Playing) {
    FFlow->StopPlayback();
    SetStatus(QStringLiteral("Weergave gestopt"));
    return;
  }
  if (SelectedEntry().isEmpty())
    return;
  const QString path = SelectedTakeOnDisk();
  if (!path.isEmpty())
    FFlow->Play(path);
}

// The selected take's path while its file is there; otherwise says so, reloads the list
// and gives an empty path.
QString TfrmMain::SelectedTakeOnDisk()
{
  const QString path = SelectedTakePath();
  if (!path.isEmpty() && platform::FileExists(ToPath(path)))
    return path;
  ShowDarkError(FileNotFound);
  RefreshRecordings();
  return QString();
}

void TfrmMain::DeleteClick()
{
  const QString entry = SelectedEntry();
  if (entry.isEmpty())
    return;
  const QString path = SelectedTakeOnDisk();
  if (path.isEmpty())
    return;
  if (!DarkConfirm(QStringLiteral("Wil je \"%1\" definitief wissen?").arg(entry)))
    return;
  try {
    FFlow->StopPlayback();
    audio::DeleteTakeWithCompanions(ToPath(path));
    FFlow->Forget(path);
    RefreshRecordings();
    SetStatus(QStringLiteral("Gewist: ") + entry);
  } catch (const std::exception &e) {
    ShowDarkError(QString::fromUtf8(e.what()));
  }
}

void TfrmMain::UndoTrimClick()
{
  const QString entry = SelectedEntry();
  if (entry.isEmpty() || !wave->TrimActive() || !FFlow->HasEngine())
    return;
  const QString path = SelectedTakePath();
  if (!DarkConfirm(QStringLiteral("Trimming van \"%1\" ongedaan maken?").arg(entry)))
    return;
  try {
    FFlow->StopPlayback();
    if (!FFlow->UndoTrim(path))
      throw ENotFound("De oorspronkelijke opname werd niet gevonden.");
    LoadWaveform();
    SetStatus(QStringLiteral("Trimming ongedaan gemaakt: ") + entry);
  } catch (const std::exception &e) {
    ShowDarkError(QString::fromUtf8(e.what()));
  }
}

void TfrmMain::Tick()
{
  FFlow->Tick();
}

void TfrmMain::ResetPlaybackUi()
{
  SetListenForm(false);
  lblTime->setText(QStringLiteral("00:00"));
  wave->SetCursor(0.0, false);
  vu->Reset();
}

// ---------------------------------------------------------------------------------------
// Waveform

void TfrmMain::LoadWaveform()
{
  if (!FFlow->HasEngine() || FFlow->State() == TTakeState::Recording)
    return;
  if (SelectedEntry().isEmpty())
    return;
  const QString path = SelectedTakePath();
  // Whatever the trim note and marks said belongs to the take shown so far.
  wave->ClearTrim();
  ShowTrimNote(false, 0.0, 0.0);
  wave->update();
  if (path.isEmpty() || !platform::FileExists(ToPath(path))) {
    // a take that is gone shows as nothing, never as the take shown before
    ClearWaveform();
    wave->SetDuration(0.0);
    wave->show();
    lblHeadingWave->show();
    ApplyEnableRule();
    return;
  }
  FFlow->Load(path);
  ApplyEnableRule();
}

void TfrmMain::AnalysisFinished(const TAnalysisResult &AResult)
{
  if (AResult.Path == SelectedTakePath()) {
    if (AResult.Ok) {
      wave->ShowAnalysis(AResult);
      ShowTrimNote(wave->TrimActive(), wave->TrimStartSeconds(), wave->TrimEndSeconds());
      wave->show();
      lblHeadingWave->show();
    } else {
      wave->Clear();
      ShowTrimNote(false, 0.0, 0.0);
      wave->SetDuration(AResult.Duration);
      wave->show();
      lblHeadingWave->show();
      // the status line comes back before the message
      if (!FFlow->WorkBusy())
        RestoreStatus();
      OnFailure(AResult.Error);
    }
  }
  ApplyEnableRule();
}

} // namespace praatkist::ui
