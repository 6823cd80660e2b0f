#include "ui/window/ExportCommand.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "session/SessionManager.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/dialogs/ProgressDialog.h"
#include "ui/flow/ExportWork.h"
#include "ui/flow/PathText.h"
#include "ui/window/StatusLine.h"
#include "ui/window/TextCommands.h"

namespace praatkist::ui {

namespace {

// The ids named in the closing message; the rest are counted.
constexpr int kNamedMissing = 12;

bool EmptyOrAbsent(const QString &AFolder)
{
  const QFileInfo info(AFolder);
  return !info.exists() || (info.isDir() && QDir(AFolder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                                  QDir::Hidden | QDir::System));
}

} // namespace

TExportCommand::TExportCommand(TSessionManager &AStore, TTextCommands &AText,
                               TBassRecorder *AEngine, TStatusLine &AStatus, QObject *AParent)
    : QObject(AParent), FStore(AStore), FText(AText), FEngine(AEngine), FStatus(AStatus)
{
  Ask = [](const TExportChoice &AProposed) {
    return AskExport(AProposed, [](const QString &AStart) {
      const QString chosen = QFileDialog::getExistingDirectory(
          nullptr, QStringLiteral("Kies de map voor de dataset"), AStart);
      return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
    });
  };
  if (FEngine != nullptr) {
    FWork = std::make_unique<TExportWork>(*FEngine);
    connect(FWork.get(), &TExportWork::Progress, this, [this](int APercent) {
      if (FProgress)
        FProgress->SetPercent(APercent);
    });
    connect(FWork.get(), &TExportWork::Finished, this, &TExportCommand::Finished);
  }
}

TExportCommand::~TExportCommand()
{
  End();
}

bool TExportCommand::Running() const noexcept
{
  return FWork && FWork->Running();
}

void TExportCommand::End()
{
  FWork.reset();
  FProgress.reset();
}

QString TExportCommand::ProposedFolder() const
{
  // Inside the session folder, where the session list does not see it.
  const QDir session(FStore.SessionFolder(FStore.SessionName()));
  QString folder = session.filePath(QStringLiteral("dataset"));
  for (int n = 2; !EmptyOrAbsent(folder); ++n)
    folder = session.filePath(QStringLiteral("dataset-%1").arg(n));
  return QDir::toNativeSeparators(folder);
}

void TExportCommand::Run()
{
  if (!FWork || Running())
    return;
  FText.Listed();
  if (!FText.HasList()) {
    ShowDarkMessage(FStore.SessionName().isEmpty()
                        ? QStringLiteral("Kies of maak eerst een sessie.")
                        : QStringLiteral("Deze sessie heeft geen tekstlijst."));
    return;
  }
  const TSessionText &text = FText.Text();
  audio::TDataSetJob job;
  int withTake = 0;
  for (int i = 0; i < text.Count(); ++i) {
    const TTextItem &item = text.List().Items()[static_cast<std::size_t>(i)];
    audio::TDataSetItem out;
    out.Id = item.Id.toStdString();
    out.Text = item.Text.toStdString();
    if (const QString take = text.ChosenTakeOf(i); !take.isEmpty()) {
      out.ChosenTake = ToPath(FStore.TakePath(take));
      ++withTake;
    }
    job.Items.push_back(std::move(out));
  }
  if (withTake == 0) {
    ShowDarkMessage(QStringLiteral("Geen enkele tekst heeft een gekozen opname: er is niets "
                                   "om te exporteren."));
    return;
  }
  const std::optional<TExportChoice> choice =
      Ask ? Ask(TExportChoice{ProposedFolder(), 0, false}) : std::nullopt;
  if (!choice)
    return;
  if (choice->Folder.isEmpty() || QDir::isRelativePath(choice->Folder)) {
    ShowDarkError(QStringLiteral("Geef een volledige map op voor de dataset."));
    return;
  }
  if (!EmptyOrAbsent(choice->Folder)) {
    ShowDarkError(QStringLiteral("De map \"%1\" bestaat al en is niet leeg. Kies een nieuwe map.")
                      .arg(choice->Folder));
    return;
  }
  job.Folder = ToPath(choice->Folder);
  job.Format.SampleRate = choice->SampleRate;
  job.Format.Mono = choice->Mono;

  const QHash<QString, TTakeMark> marks = FText.Marks();
  std::vector<audio::TDataSetTake> takes;
  QStringList names;
  FStore.LoadRecordings(names);
  for (const QString &name : names) {
    audio::TDataSetTake take;
    take.Path = ToPath(FStore.TakePath(name));
    take.Name = name.toStdString();
    if (const auto mark = marks.constFind(name); mark != marks.constEnd()) {
      take.ItemId = mark->ItemId.toStdString();
      take.State = mark->Chosen ? "gekozen" : (mark->Rejected ? "afgekeurd" : "");
    }
    takes.push_back(std::move(take));
  }

  FFolder = choice->Folder;
  FProgress = std::make_unique<TDarkProgress>(QStringLiteral("Exporteren"),
                                              QStringLiteral("Dataset schrijven naar \"%1\"...")
                                                  .arg(FFolder));
  FProgress->OnCancel = [this] {
    if (FWork)
      FWork->Cancel();
  };
  FWork->Start(std::move(job), std::move(takes));
  FStatus.SetNow(QStringLiteral("Dataset exporteren..."));
  FProgress->Show();
}

void TExportCommand::Finished(const TExportResult &AResult)
{
  FProgress.reset();
  FStatus.Restore();
  switch (AResult.Outcome) {
  case TExportOutcome::Done: {
    QString said = QStringLiteral("Dataset klaar: %1 opname(s) in \"%2\".")
                       .arg(AResult.Report.Exported)
                       .arg(FFolder);
    const auto &missing = AResult.Report.Missing;
    if (!missing.empty()) {
      QStringList ids;
      for (std::size_t i = 0; i < missing.size() && i < kNamedMissing; ++i)
        ids << QString::fromStdString(missing[i]);
      said += QStringLiteral("\r\nZonder gekozen opname (%1): %2")
                  .arg(missing.size())
                  .arg(ids.join(QStringLiteral(", ")));
      if (missing.size() > kNamedMissing)
        said += QStringLiteral(" en nog %1").arg(missing.size() - kNamedMissing);
      said += QLatin1Char('.');
    }
    FStatus.Set(QStringLiteral("Dataset klaar: ") + FFolder);
    ShowDarkMessage(said);
    break;
  }
  case TExportOutcome::Cancelled:
    FStatus.Set(QStringLiteral("Export afgebroken"));
    ShowDarkMessage(QStringLiteral("Export afgebroken. Er is geen map gemaakt."));
    break;
  case TExportOutcome::Failed:
    FStatus.Set(QStringLiteral("Export mislukt"));
    ShowDarkError(QStringLiteral("Export mislukt: %1 Er is geen map gemaakt.").arg(AResult.Error));
    break;
  }
  emit Ended();
}

} // namespace praatkist::ui
