#include "ui/window/OverviewCommand.h"

#include <QEvent>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QTableView>

#include <algorithm>

#include "audio/BassRecorder.h"
#include "session/SessionManager.h"
#include "session/TextList.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/flow/PathText.h"
#include "ui/flow/SurveyWork.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/OverviewForm.h"
#include "ui/window/TakeList.h"
#include "ui/window/TextCommands.h"

namespace praatkist::ui {

namespace {

// Measured takes reach the table at most this often, so that a survey of thousands
// checks the session's pace a few times a second rather than once per take.
constexpr int kFlushMs = 150;

} // namespace

TOverviewCommand::TOverviewCommand(TSessionManager &AStore, TTextCommands &AText,
                                   TTakeList &ATakes, TTakeFlow &AFlow, TBassRecorder *AEngine,
                                   QWidget *AMain)
    : QObject(AMain), FStore(AStore), FText(AText), FTakes(ATakes), FFlow(AFlow),
      FEngine(AEngine), FMain(AMain)
{
  FFlushTimer.setSingleShot(true);
  FFlushTimer.setInterval(kFlushMs);
  connect(&FFlushTimer, &QTimer::timeout, this, &TOverviewCommand::Flush);
  if (FEngine != nullptr) {
    FSurvey = std::make_unique<TSurveyWork>(*FEngine);
    connect(FSurvey.get(), &TSurveyWork::Measured, this, &TOverviewCommand::Taken);
    connect(FSurvey.get(), &TSurveyWork::Finished, this, &TOverviewCommand::SurveyEnded);
  }
  // The overview closes with the main window.
  if (FMain != nullptr)
    FMain->installEventFilter(this);
}

TOverviewCommand::~TOverviewCommand()
{
  if (FMain != nullptr)
    FMain->removeEventFilter(this);
  // The survey ends before the engine goes; the window before the model it shows.
  FSurvey.reset();
  FForm.reset();
}

bool TOverviewCommand::eventFilter(QObject *AWatched, QEvent *AEvent)
{
  // Closed, not minimised (which the system tells as a hide of its own).
  if (AWatched == FMain && AEvent->type() == QEvent::Hide && !AEvent->spontaneous() && IsOpen())
    FForm->close();
  return QObject::eventFilter(AWatched, AEvent);
}

bool TOverviewCommand::IsOpen() const
{
  return FForm && FForm->isVisible();
}

bool TOverviewCommand::Measuring() const
{
  return !FWaiting.isEmpty() || (FSurvey && FSurvey->Running());
}

QString TOverviewCommand::PathOf(const QString &AName) const
{
  return FStore.TakePath(AName);
}

void TOverviewCommand::Open()
{
  if (FStore.SessionName().isEmpty()) {
    ShowDarkMessage(QStringLiteral("Kies of maak eerst een sessie."));
    return;
  }
  if (!FForm) {
    FForm = std::make_unique<TOverviewForm>(FModel, FMain);
    TOverviewForm *form = FForm.get();
    connect(form, &TOverviewForm::Closed, this, &TOverviewCommand::Close);
    connect(form, &TOverviewForm::PlayAsked, this, &TOverviewCommand::Play);
    connect(form, &TOverviewForm::NextChoiceAsked, this, &TOverviewCommand::NextChoice);
    connect(form, &TOverviewForm::RejectAsked, this, &TOverviewCommand::Reject);
    connect(form, &TOverviewForm::ShowAsked, this, &TOverviewCommand::ShowInMain);
    connect(form, &TOverviewForm::MarkerAsked, this,
            [this](bool AForward) { FFlow.GoToMarker(AForward); });
  }
  const bool wasOpen = IsOpen();
  if (!wasOpen || FFolder != FStore.SessionFolder(FStore.SessionName()))
    Load();
  FForm->show();
  FForm->raise();
  FForm->activateWindow();
  if (!wasOpen) {
    FForm->tblOverview->setFocus();
    if (FForm->CurrentRow() < 0)
      FForm->SelectRow(0);
  }
}

void TOverviewCommand::Close()
{
  // What is measured by then is kept; the rest is measured when the overview opens again.
  if (FSurvey)
    FSurvey->Cancel();
  for (const std::string &name : std::exchange(FPending, {}))
    FWaiting.remove(QString::fromStdString(name));
}

std::vector<TOverviewRow> TOverviewCommand::MakeRows() const
{
  std::vector<TOverviewRow> rows;
  const TSessionText &text = FText.Text();
  if (!text.HasList()) {
    QStringList names;
    FStore.LoadRecordings(names);
    rows.reserve(static_cast<std::size_t>(names.size()));
    for (const QString &name : names)
      rows.push_back({QString(), QString(), 0, QStringList{name}, name});
    return rows;
  }
  const std::vector<TTextItem> &items = text.List().Items();
  rows.reserve(items.size());
  for (const TTextItem &item : items)
    rows.push_back({item.Id, item.Text, SpokenChars(item.Text), {}, QString()});
  // One pass over the bindings: a text's chosen take is the one marked chosen, else its
  // latest that is not rejected.
  std::vector<QString> marked(items.size());
  for (const TTakeBinding &b : text.Bindings()) {
    const int at = text.List().IndexOf(b.ItemId);
    if (at < 0)
      continue;
    const auto i = static_cast<std::size_t>(at);
    rows[i].Takes << b.Take;
    if (b.Status == TTakeStatus::Chosen) {
      if (marked[i].isEmpty())
        marked[i] = b.Take;
    } else if (b.Status != TTakeStatus::Rejected) {
      rows[i].Chosen = b.Take;
    }
  }
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (!marked[i].isEmpty())
      rows[i].Chosen = marked[i];
  return rows;
}

void TOverviewCommand::ShowRows(std::vector<TOverviewRow> ARows)
{
  // The current row stays where its text (or take) is still there.
  const int current = FForm ? FForm->CurrentRow() : -1;
  const QString key = current >= 0 ? TOverviewModel::KeyOf(FModel.Row(current)) : QString();
  FModel.SetRows(std::move(ARows));
  if (FForm && !key.isEmpty() && FForm->CurrentRow() < 0)
    FForm->SelectRow(FModel.RowOf(key));
}

void TOverviewCommand::Load()
{
  if (FSurvey)
    FSurvey->Cancel();
  FPending.clear();
  FWaiting.clear();
  FBatch.clear();
  FDone = FTotal = FFailed = 0;
  FFolder = FStore.SessionName().isEmpty() ? QString()
                                           : FStore.SessionFolder(FStore.SessionName());
  FModel.ClearTakes();
  ShowRows(MakeRows());
  if (FForm) {
    const TSessionText &text = FText.Text();
    FForm->lblHeading->setText(
        text.HasList() ? QStringLiteral("%1 \u00B7 %2 teksten").arg(FStore.SessionName()).arg(text.Count())
                       : QStringLiteral("%1 \u00B7 %2 opnames").arg(FStore.SessionName()).arg(FModel.Rows()));
    FForm->Say(QString());
  }
  if (!FFolder.isEmpty()) {
    const std::vector<audio::TStoredFigures> stored = TBassRecorder::StoredFigures(ToPath(FFolder));
    std::vector<TOverviewTake> known;
    known.reserve(stored.size());
    for (const audio::TStoredFigures &s : stored)
      known.push_back({s, false});
    FModel.SetTakes(known);
  }
  Measure(Unknown());
}

std::vector<std::string> TOverviewCommand::Unknown() const
{
  std::vector<std::string> first, then;
  QSet<QString> named;
  const auto add = [&](const QString &AName, std::vector<std::string> &AInto) {
    if (AName.isEmpty() || FModel.Take(AName) != nullptr || FWaiting.contains(AName) ||
        named.contains(AName) || Busy(AName))
      return;
    named.insert(AName);
    AInto.push_back(AName.toStdString());
  };
  for (int i = 0; i < FModel.Rows(); ++i)
    add(FModel.Row(i).Chosen, first);
  for (int i = 0; i < FModel.Rows(); ++i)
    for (const QString &take : FModel.Row(i).Takes)
      add(take, then);
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

bool TOverviewCommand::Busy(const QString &AName) const
{
  const TTakeState state = FFlow.State();
  if (state != TTakeState::Recording && !FFlow.TakeEnding())
    return false;
  return QFileInfo(FFlow.TakePath()).fileName() == AName;
}

void TOverviewCommand::Measure(const std::vector<std::string> &ANames)
{
  if (!FSurvey || ANames.empty()) {
    ShowProgress();
    return;
  }
  // a new round once everything before was measured
  if (FWaiting.isEmpty())
    FDone = FTotal = FFailed = 0;
  for (const std::string &name : ANames) {
    FWaiting.insert(QString::fromStdString(name));
    FPending.push_back(name);
  }
  FTotal += static_cast<int>(ANames.size());
  StartNext();
  ShowProgress();
}

void TOverviewCommand::StartNext()
{
  if (!FSurvey || FSurvey->Running() || FPending.empty() || FFolder.isEmpty())
    return;
  FSurvey->Start(FFolder, std::exchange(FPending, {}));
}

void TOverviewCommand::Taken(const QString &AFolder, const audio::TSurveyedTake &ATake)
{
  if (AFolder != FFolder)
    return;
  const QString name = QString::fromStdString(ATake.Stored.Take);
  if (!FWaiting.remove(name))
    return;
  ++FDone;
  if (ATake.Failed)
    ++FFailed;
  FBatch.push_back({ATake.Stored, ATake.Failed});
  // the last one at once: "Alle cijfers gemeten" never comes before the figures
  if (FWaiting.isEmpty())
    Flush();
  else if (!FFlushTimer.isActive())
    FFlushTimer.start();
  ShowProgress();
}

void TOverviewCommand::Flush()
{
  FFlushTimer.stop();
  FModel.SetTakes(std::exchange(FBatch, {}));
}

void TOverviewCommand::SurveyEnded(const QString &AFolder, bool ACancelled)
{
  Flush();
  if (AFolder == FFolder && ACancelled && !IsOpen()) {
    // cancelled by the close: measured when the overview opens again
    FWaiting.clear();
    FDone = FTotal = FFailed = 0;
  }
  StartNext();
  ShowProgress();
}

void TOverviewCommand::ShowProgress()
{
  if (!FForm)
    return;
  QString text;
  if (!FWaiting.isEmpty())
    text = QStringLiteral("Cijfers meten: %1 van %2").arg(FDone).arg(FTotal);
  else if (FEngine == nullptr)
    text = QStringLiteral("Zonder audio worden geen cijfers gemeten.");
  else
    text = QStringLiteral("Alle cijfers gemeten");
  if (FFailed > 0)
    text += QStringLiteral(" \u00B7 %1 niet te lezen").arg(FFailed);
  FForm->lblProgress->setText(text);
}

void TOverviewCommand::Listed()
{
  if (!IsOpen())
    return;
  const QString folder =
      FStore.SessionName().isEmpty() ? QString() : FStore.SessionFolder(FStore.SessionName());
  if (folder != FFolder) {
    Load();
    return;
  }
  ShowRows(MakeRows());
  Measure(Unknown());
}

void TOverviewCommand::TakeSeen(const QString &APath)
{
  if (!IsOpen() || APath.isEmpty() || QFileInfo(APath).absolutePath() != QFileInfo(FFolder).absoluteFilePath())
    return;
  const QString name = QFileInfo(APath).fileName();
  const TOverviewTake *known = FModel.Take(name);
  if (known == nullptr || FWaiting.contains(name) || Busy(name))
    return;
  const std::optional<audio::TFileKey> key = audio::FileKeyOf(ToPath(APath));
  if (key && *key == known->Stored.Key)
    return;
  // Trimmed, untrimmed or replaced since it was measured.
  Measure({name.toStdString()});
}

// ---------------------------------------------------------------------------------------
// The keys of a row

void TOverviewCommand::Play(int ARow)
{
  const QString chosen = FModel.Row(ARow).Chosen;
  if (chosen.isEmpty()) {
    FForm->Say(QStringLiteral("Tekst %1 heeft geen gekozen opname.").arg(FModel.Row(ARow).Id));
    return;
  }
  const QString path = PathOf(chosen);
  const TTakeState state = FFlow.State();
  if (state == TTakeState::Playing && FFlow.TakePath() == path) {
    FFlow.StopPlayback();
    FForm->Say(QStringLiteral("Weergave gestopt"));
    return;
  }
  if (state == TTakeState::Recording || FFlow.TakeEnding() || state == TTakeState::Closing) {
    FForm->Say(QStringLiteral("Er loopt een opname: eerst stoppen."));
    return;
  }
  if (state == TTakeState::Playing)
    FFlow.StopPlayback();
  // The main window shows the take, so that its cursor moves over it as it plays.
  FTakes.Select(path);
  if (FFlow.Play(path))
    FForm->Say(QStringLiteral("Afspelen: ") + chosen);
}

void TOverviewCommand::NextChoice(int ARow)
{
  const TOverviewRow &row = FModel.Row(ARow);
  if (!FText.HasList()) {
    FText.Choose(PathOf(row.Chosen)); // says that the session has no list
    return;
  }
  if (row.Takes.isEmpty()) {
    FForm->Say(QStringLiteral("Tekst %1 heeft nog geen opname.").arg(row.Id));
    return;
  }
  if (FFlow.TakeEnding())
    return;
  const qsizetype at = row.Takes.indexOf(row.Chosen);
  const QString next = row.Takes[(at + 1) % row.Takes.size()];
  const QString id = row.Id;
  FText.Choose(PathOf(next));
  FForm->Say(QStringLiteral("Gekozen voor tekst %1: %2").arg(id, next));
}

void TOverviewCommand::Reject(int ARow)
{
  const TOverviewRow &row = FModel.Row(ARow);
  if (FText.HasList() && row.Chosen.isEmpty()) {
    FForm->Say(QStringLiteral("Tekst %1 heeft geen gekozen opname.").arg(row.Id));
    return;
  }
  const QString name = row.Chosen;
  FText.Reject(PathOf(name));
  if (FText.HasList())
    FForm->Say(QStringLiteral("Afgekeurd: ") + name);
}

void TOverviewCommand::ShowInMain(int ARow)
{
  const TOverviewRow &row = FModel.Row(ARow);
  const QString path = row.Chosen.isEmpty() ? QString() : PathOf(row.Chosen);
  if (FText.HasList())
    FText.ShowItem(FText.Text().List().IndexOf(row.Id), path);
  else
    FTakes.Select(path);
  if (FMain != nullptr) {
    FMain->raise();
    FMain->activateWindow();
  }
}

} // namespace praatkist::ui
