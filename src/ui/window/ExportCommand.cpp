#include "ui/window/ExportCommand.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>

#include "session/SessionManager.h"
#include "session/TextList.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/dialogs/ProgressDialog.h"
#include "ui/flow/ExportWork.h"
#include "ui/flow/PathText.h"
#include "ui/window/StatusLine.h"
#include "ui/window/TextCommands.h"

namespace praatkist::ui {

namespace {

// The ids named in each list of the closing message; the rest are counted.
constexpr int kNamedMissing = 12;

bool EmptyOrAbsent(const QString &AFolder)
{
  const QFileInfo info(AFolder);
  return !info.exists() || (info.isDir() && QDir(AFolder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                                  QDir::Hidden | QDir::System));
}

// A line of the closing message: the ids after their heading, up to kNamedMissing of
// them, the rest counted; empty without ids.
QString Named(const QString &AHeading, const std::vector<std::string> &AIds)
{
  if (AIds.empty())
    return QString();
  QStringList ids;
  for (std::size_t i = 0; i < AIds.size() && i < kNamedMissing; ++i)
    ids << QString::fromStdString(AIds[i]);
  QString line = QStringLiteral("\r\n%1 (%2): %3")
                     .arg(AHeading)
                     .arg(AIds.size())
                     .arg(ids.join(QStringLiteral(", ")));
  if (AIds.size() > kNamedMissing)
    line += QStringLiteral(" en nog %1").arg(AIds.size() - kNamedMissing);
  return line + QLatin1Char('.');
}

} // namespace

TExportCommand::TExportCommand(TSessionManager &AStore, TTextCommands &AText,
                               TBassRecorder *AEngine, TStatusLine &AStatus, QObject *AParent)
    : QObject(AParent), FStore(AStore), FText(AText), FEngine(AEngine), FStatus(AStatus)
{
  Ask = [](const TExportChoice &AProposed) {
    return AskExport(
        AProposed,
        [](const QString &AStart) {
          const QString chosen = QFileDialog::getExistingDirectory(
              nullptr, QStringLiteral("Kies de map voor de dataset"), AStart);
          return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
        },
        FlacRefused());
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

QString TExportCommand::FlacRefused()
{
  return audio::FlacWritable()
             ? QString()
             : QStringLiteral("FLAC kan hier niet worden geschreven: deze versie van "
                              "libsndfile is gebouwd zonder FLAC.");
}

TExportChoice TExportCommand::Proposed() const
{
  TExportChoice c;
  c.Folder = ProposedFolder();
  c.Flac = Settings.Flac.value_or(false) && FlacRefused().isEmpty();
  c.SkipRemarked = Settings.SkipRemarked.value_or(c.SkipRemarked);
  c.TrimToMargin = Settings.TrimToMargin.value_or(c.TrimToMargin);
  c.MarginMs = Settings.MarginMs.value_or(c.MarginMs);
  c.EvenLoudness = Settings.EvenLoudness.value_or(c.EvenLoudness);
  c.LoudnessLufs = Settings.LoudnessLufs.value_or(c.LoudnessLufs);
  return c;
}

void TExportCommand::Remember(const TExportChoice &AProposed, const TExportChoice &AChosen)
{
  // Kept once stored or changed by the user.
  const auto keep = [](auto &AStored, const auto &AShown, const auto &AAnswer) {
    if (AStored || AAnswer != AShown)
      AStored = AAnswer;
  };
  keep(Settings.Flac, AProposed.Flac, AChosen.Flac);
  keep(Settings.SkipRemarked, AProposed.SkipRemarked, AChosen.SkipRemarked);
  keep(Settings.TrimToMargin, AProposed.TrimToMargin, AChosen.TrimToMargin);
  keep(Settings.MarginMs, AProposed.MarginMs, AChosen.MarginMs);
  keep(Settings.EvenLoudness, AProposed.EvenLoudness, AChosen.EvenLoudness);
  keep(Settings.LoudnessLufs, AProposed.LoudnessLufs, AChosen.LoudnessLufs);
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
    out.SpokenChars = static_cast<std::size_t>(SpokenChars(item.Text));
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
  const TExportChoice proposed = Proposed();
  const std::optional<TExportChoice> choice = Ask ? Ask(proposed) : std::nullopt;
  if (!choice)
    return;
  Remember(proposed, *choice);
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
  job.Format.File = choice->Flac ? audio::TExportFile::Flac : audio::TExportFile::Wav;
  if (choice->TrimToMargin)
    job.Format.MarginMs = std::clamp(choice->MarginMs, kMinMarginMs, kMaxMarginMs);
  if (choice->EvenLoudness)
    job.Format.LoudnessLufs = std::clamp(choice->LoudnessLufs, kMinLufs, kMaxLufs);
  job.SkipRemarked = choice->SkipRemarked;
  job.Session = ToPath(FStore.SessionFolder(FStore.SessionName()));

  std::vector<audio::TDataSetTake> takes;
  QStringList names;
  FStore.LoadRecordings(names);
  for (const QString &name : names) {
    audio::TDataSetTake take;
    take.Name = name.toStdString();
    if (const TTakeMark mark = FText.MarkOf(name); !mark.ItemId.isEmpty()) {
      take.ItemId = mark.ItemId.toStdString();
      take.State = mark.Chosen ? "gekozen" : (mark.Rejected ? "afgekeurd" : "");
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
    const audio::TDataSetReport &report = AResult.Report;
    std::vector<std::string> skipped;
    for (const audio::TDataSetSkip &s : report.Skipped)
      skipped.push_back(s.Id);
    said += Named(QStringLiteral("Zonder gekozen opname"), report.Missing);
    said += Named(QStringLiteral("Overgeslagen om opmerkingen"), skipped);
    if (report.QuotesMended > 0)
      said += QStringLiteral("\r\n%1 tekst(en) beginnen in metadata.csv met \u201C in plaats "
                             "van \".")
                  .arg(report.QuotesMended);
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
