// TfrmMain's own commands: the root, a new session, the purge of trim files, and the
// window's close, asked by the user or by the system.

#include "ui/window/MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>

#include "audio/TakeFiles.h"
#include "session/SessionManager.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/window/DeviceList.h"
#include "ui/flow/ErrorText.h"
#include "ui/flow/PathText.h"
#include "ui/window/StatusLine.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/TakeList.h"

namespace praatkist::ui {

void TfrmMain::ChooseRoot()
{
  QString proposed = FSessions->RootPath();
  if (!QFileInfo(proposed).isDir())
    proposed.clear();
  const QString chosen = FSeams.AskRootFolder(proposed);
  if (chosen.isEmpty())
    return;
  // All or nothing: a folder that cannot be made or read leaves the old root, its
  // sessions and the settings as they were, and the error says why.
  QStringList sessions;
  try {
    FSessions->ChangeRoot(chosen, sessions);
  } catch (const std::exception &e) {
    ShowGeneralError(ErrorText(e));
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
    FTakes->ChooseSession(name);
  } catch (const std::exception &e) {
    ShowDarkError(ErrorText(e));
  }
}

void TfrmMain::PurgeTrimFiles()
{
  // What a trim cut short left behind goes without a question: it is no backup and
  // no record, and nothing can be undone with it.
  // A trim still running in another window holds its files, and they stay.
  std::vector<std::filesystem::path> asked;
  const std::filesystem::path root = ToPath(FSessions->RootPath());
  audio::RemoveAbandonedTrimTempsUnder(root);
  for (auto &file : audio::FindTrimLeftovers(root)) {
    const QString ending = QString::fromStdU16String(file.extension().u16string());
    if (ending.compare(QLatin1String(audio::kTrimTempSuffix), Qt::CaseInsensitive) != 0)
      asked.push_back(std::move(file));
  }
  if (asked.empty())
    return;
  const QString question =
      QStringLiteral("Er zijn %1 triminfo- en herstelbestand(en).\r\n"
                     "Wil je deze bestanden nu verwijderen?\r\n"
                     "Het ongedaan maken van eerdere trims is daarna niet meer mogelijk.")
          .arg(asked.size());
  if (!DarkConfirm(question))
    return;
  const int failed = audio::DeleteFilesCounted(asked);
  if (failed > 0)
    ShowDarkError(QStringLiteral("%1 bestand(en) konden niet worden verwijderd.").arg(failed));
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
    if (stopping)
      FStatus->SetNow(QStringLiteral("Opname wordt afgesloten, daarna sluit Praatkist..."));
    else
      FStatus->SetNow(
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
      ShowDarkError(ErrorText(e));
  }
  event->accept();
}

void TfrmMain::EndBySystem()
{
  if (FEndingBySystem)
    return;
  FEndingBySystem = true;
  FDevices->Follow(false);
  // Questions open now are dismissed; their commands end as if cancelled.
  for (QWidget *top : QApplication::topLevelWidgets())
    if (auto *dialog = qobject_cast<QDialog *>(top); dialog && dialog->isVisible())
      dialog->reject();
  FFlow->EndBySystem();
  close();
}

} // namespace praatkist::ui
