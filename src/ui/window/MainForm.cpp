#include "ui/window/MainForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QTimer>

#include <chrono>
#include <utility>

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "session/SessionManager.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/widgets/Accessibility.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/window/DeviceList.h"
#include "ui/flow/ErrorText.h"
#include "ui/flow/PathText.h"
#include "ui/window/StatusLine.h"
#include "ui/window/TakeCommands.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/TakeList.h"
#include "ui/window/TakeView.h"
#include "ui/window/TextCommands.h"
#include "ui/window/ExportCommand.h"
#include "ui/window/HandsFree.h"
#include "ui/window/KeyBindings.h"
#include "ui/window/SpeakerCommand.h"

namespace praatkist::ui {

namespace {

std::uint64_t SteadyMilliseconds()
{
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

} // namespace

// ---------------------------------------------------------------------------------------
// Construction and destruction

TfrmMain::TfrmMain(audio::IAudioLayer *ALayer, const QString &ASettingsPath, QWidget *AOwner,
                   const TEngineTuning &ATuning, TWindowSeams ASeams)
    : QWidget(AOwner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FSeams(std::move(ASeams)), FSettingsPath(ASettingsPath)
{
  InstallAccessibleInterfaces();
  FControls.SetupControls(this);
  if (!FSeams.TickCount)
    FSeams.TickCount = SteadyMilliseconds;
  if (!FSeams.AskRootFolder)
    FSeams.AskRootFolder = [this](const QString &AProposed) {
      const QString chosen = QFileDialog::getExistingDirectory(
          this, QStringLiteral("Kies of maak de hoofdmap voor sessies"), AProposed,
          QFileDialog::ShowDirsOnly);
      return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
    };

  FSessions = std::make_unique<TSessionManager>();
  FStatus = std::make_unique<TStatusLine>(FControls.lblStatus);
  LoadWindowIcon();

  FIni = std::make_unique<platform::TIniFile>(ToPath(FSettingsPath));
  const TMainSettings stored = TMainSettings::Load(*FIni);
  const QString rootProblem = ApplyStartRoot(stored.Root.value_or(QString()));
  // Trims that a crash cut short, in every session: their temporary files go.
  if (!FSessions->RootPath().isEmpty())
    audio::RemoveAbandonedTrimTempsUnder(ToPath(FSessions->RootPath()));
  ShowRoot(FSessions->RootPath());

  try {
    if (ALayer == nullptr)
      throw EAudioError("Initialiseren van audio-uitgang", audio::kErrDriver);
    FRecorder = std::make_unique<TBassRecorder>(*ALayer, ATuning);
  } catch (const std::exception &e) {
    FStatus->Set(ErrorText(e));
  }
  FFlow = std::make_unique<TTakeFlow>(FRecorder.get(), [this] { return Now(); });
  MakeParts();
  ConnectControls();
  ConnectKeys(stored.Keys);
  ConnectFlow();
  ConnectOverview();
  ConnectHandsFree();

  bool recordReady = false;
  if (FRecorder) {
    try {
      FDevices->Fill();
      ApplySettings(stored);
      FStatus->Set(QStringLiteral("Klaar om op te nemen"));
      recordReady = true;
    } catch (const std::exception &e) {
      FStatus->Set(ErrorText(e));
    }
  }
  if (!rootProblem.isEmpty())
    FStatus->Set(recordReady ? rootProblem : FStatus->Text() + QLatin1Char(' ') + rootProblem);
  else if (recordReady)
    RateNote();
  if (!stored.RangeNote.isEmpty())
    FStatus->Set(stored.RangeNote);

  try {
    RefreshSessions();
  } catch (const std::exception &e) {
    // the root went away between the check above and now: the window opens all the same
    FStatus->Set(ErrorText(e));
  }
  FRecordReady = recordReady;
  if (recordReady)
    FollowInput();
  Redraw();
  FDevices->Follow(true);
}

TfrmMain::~TfrmMain()
{
  FDevices->Follow(false);
  // The overview's survey, the flow's work and the export end before the engine (the
  // export's options stay to be saved).
  EndOverview();
  FExport->End();
  FFlow.reset();
  SaveSettingsQuietly();
  FRecorder.reset();
  FIni.reset();
  FSessions.reset();
}

void TfrmMain::MakeParts()
{
  FDevices = new TDeviceList(FControls.cbDevice, FRecorder.get(), this);
  // Not under a running take (its device stays as it is), nor while a take is being
  // completed, nor once the system ends the program.
  FDevices->MayRefill = [this] {
    return !FEndingBySystem && !FRecorder->Recording() && !FFlow->TakeEnding();
  };
  FTakes = new TTakeList(FControls.cbSession, FControls.lbRecordings, *FSessions, this);
  FView = new TTakeView(FControls.wave, FControls.lblHeadingWave, FControls.lblTrimInfo,
                        FControls.lblFigures, *FFlow, this);
  FCommands = std::make_unique<TTakeCommands>(FControls.cbSession, FControls.Options(),
                                              *FSessions, *FFlow, *FStatus, *FTakes, *FView);
  FText = new TTextCommands({FControls.content, FControls.cbSession, FControls.pnlText,
                             FControls.chkNextAfterTake,
                             [this] { return FControls.TextColumnShown(); },
                             [this](bool AShow) { FControls.ShowTextColumn(AShow); }},
                            *FSessions, *FStatus, *FTakes, this);
  FTakes->Marks = [this](const QString &AName) { return FText->MarkOf(AName); };
  FExport = std::make_unique<TExportCommand>(*FSessions, *FText, FRecorder.get(), *FStatus);
  FSpeaker = std::make_unique<TSpeakerCommand>(this, FControls.chkSpeakerScreen, *FText);
  FSpeaker->Follow(*FFlow);
}

void TfrmMain::ConnectControls()
{
  const TMainFormControls &c = FControls;
  c.btnRoot->OnClick = [this] { ChooseRoot(); };
  c.btnNew->OnClick = [this] { NewSession(); };
  c.btnAbout->OnClick = [this] { TfrmAbout::ShowAbout(this); };
  c.btnExit->OnClick = [this] { close(); };
  c.btnExit->PanelClicks = false; // only its glyph and text close the window
  c.btnRecord->OnClick = [this] { RecordClick(); };
  c.btnStop->OnClick = [this] { FCommands->Stop(); };
  c.btnListen->OnClick = [this] { FCommands->Listen(); };
  c.btnDelete->OnClick = [this] { FCommands->Delete(); };
  c.btnUndoTrim->OnClick = [this] { FCommands->UndoTrim(); };

  connect(c.cbFormat, &QComboBox::activated, this, &TfrmMain::FormatChange);
  connect(c.cbFormat, &QComboBox::activated, this, &TfrmMain::RateNote);
  connect(c.cbRate, &QComboBox::activated, this, &TfrmMain::RateNote);
  // The open input follows the chosen device, rate and channels.
  connect(c.cbRate, &QComboBox::activated, this, [this] { FollowInput(); });
  connect(c.cbDevice, &QComboBox::activated, this, [this] { FollowInput(); });
  connect(c.chkMono, &QCheckBox::toggled, this, [this] { FollowInput(); });
  connect(c.chkPreRoll, &QCheckBox::toggled, this, [this] { FollowInput(); });
  connect(FDevices, &TDeviceList::Refilled, this, [this] { FollowInput(); });
  connect(c.lbRecordings, &QListView::doubleClicked, this, [this] { FCommands->Listen(); });

  connect(FTakes, &TTakeList::Listed, this, &TfrmMain::StopPlaybackOfDroppedTake);
  // Before the entries are drawn: their marks come from the bindings read then.
  connect(FTakes, &TTakeList::Listed, FText, [this] { FText->Listed(); });
  connect(FTakes, &TTakeList::TakeRemoved, FText,
          [this](const QString &AName) { FText->TakeRemoved(AName); });
  // A take a crash had left unfinished is drawn again once it is mended, where it is
  // shown and nothing else is done with it.
  connect(FTakes, &TTakeList::Mended, this, [this](const QString &APath) {
    if (APath == FTakes->SelectedTakePath() && FFlow->State() == TTakeState::Idle &&
        !FFlow->TakeEnding())
      FView->Show(APath);
  });
  connect(FText, &TTextCommands::ColumnChanged, this, [this] {
    FitToScreen();
    Redraw();
  });
  c.btnLoadList->OnClick = [this] { FText->Load(); };
  c.btnExport->OnClick = [this] { FExport->Run(); };
  connect(c.chkNextAfterTake, &QCheckBox::clicked, this,
          [this](bool AOn) { FNextAfterTake = AOn; });
  connect(FTakes, &TTakeList::TakeChosen, this, [this](const QString &APath, bool AByUser) {
    if (AByUser && FFlow->State() == TTakeState::Playing)
      FFlow->StopPlayback();
    FView->Show(APath);
  });
  connect(FView, &TTakeView::FactsChanged, this, &TfrmMain::Redraw);
  connect(FView, &TTakeView::Failed, this, [this](const QString &AMessage) {
    // the status line comes back before the message
    if (!FFlow->WorkBusy())
      FStatus->Restore();
    OnFailure(AMessage);
  });
}

void TfrmMain::Retake()
{
  if (FHandsFree != nullptr && FHandsFree->On()) {
    FHandsFree->Retake();
    return;
  }
  if (FFlow->State() != TTakeState::Recording || FRetakeWaiting)
    return;
  if (!FText->RejectForRetake(FFlow->TakePath())) {
    if (FText->HasList())
      FStatus->Set(QStringLiteral("Deze opname hoort bij geen tekst: stop en neem opnieuw op."));
    return;
  }
  FRetakeWaiting = true;
  FCommands->Stop();
}

void TfrmMain::ConnectFlow()
{
  TTakeFlow *flow = FFlow.get();
  const TMainFormControls &c = FControls;
  connect(flow, &TTakeFlow::FactsChanged, this, &TfrmMain::Redraw);
  connect(flow, &TTakeFlow::StateChanged, this, &TfrmMain::OnStateChanged);
  connect(flow, &TTakeFlow::StatusText, this,
          [this](const QString &AText) { FStatus->Set(AText); });
  connect(flow, &TTakeFlow::Failed, this, &TfrmMain::OnFailure);
  // The new take is selected, also when its name does not sort last in the list, and
  // shown with the analysis its end brought; no other take is read.
  connect(flow, &TTakeFlow::TakeEnded, this, [this](const TTakeEnd &AEnd) {
    FTakes->Add(AEnd.Path);
    FView->ShowEnded(FTakes->SelectedTakePath(), AEnd.Analysis);
    // A rejected take's text is recorded again at once; any other take may move the
    // list on.
    if (std::exchange(FRetakeWaiting, false))
      FCommands->Record();
    else if (FHandsFree == nullptr || !FHandsFree->TakeEnded(AEnd))
      FText->TakeEnded(AEnd.Path);
  });
  connect(flow, &TTakeFlow::TakeLoaded, FView, &TTakeView::ShowResult);
  connect(flow, &TTakeFlow::PlaybackReset, this, [this] {
    SetListenForm(false);
    FControls.lblTime->setText(QStringLiteral("00:00"));
    FView->RestCursor();
    FControls.vu->Reset();
  });
  connect(flow, &TTakeFlow::ClipChanged, this, [this](bool ALit) {
    FControls.lblClip->setVisible(ALit);
    FControls.vu->SetClipped(ALit);
  });
  connect(flow, &TTakeFlow::LevelChanged, this,
          [this](int ALevel) { FControls.vu->Feed(ALevel, Now()); });
  connect(flow, &TTakeFlow::ClockChanged, c.lblTime, &QLabel::setText);
  connect(flow, &TTakeFlow::DurationChanged, c.wave, &TWaveformWidget::SetDuration);
  connect(flow, &TTakeFlow::CursorMoved, FView, &TTakeView::MoveCursor);
  connect(flow, &TTakeFlow::MarkersChanged, FView, &TTakeView::ShowMarkers);
  connect(flow, &TTakeFlow::Progress, this, [this](TWorkKind AKind, int APercent) {
    if (FFlow->State() != TTakeState::Closing)
      FStatus->Progress(AKind, APercent);
  });
  connect(flow, &TTakeFlow::SafelyEnded, this, [this] { close(); });
}

QString TfrmMain::ApplyStartRoot(const QString &AStored)
{
  QStringList sessions;
  QString said;
  if (!TSessionManager::TrimmedName(AStored).isEmpty()) {
    try {
      FSessions->ChangeRoot(AStored, sessions);
      return QString();
    } catch (const std::exception &e) {
      // Kept in the settings file: the drive may simply not be mounted today.
      FKeepStoredRoot = true;
      said = QStringLiteral("Hoofdmap niet bruikbaar: ") + ErrorText(e);
    }
  }
  try {
    FSessions->LoadSessions(sessions);
    if (!said.isEmpty())
      said += QStringLiteral(" De standaardmap wordt gebruikt.");
  } catch (const std::exception &e) {
    FSessions->ClearRoot();
    if (!said.isEmpty())
      said += QLatin1Char(' ');
    said += QStringLiteral("Standaardmap niet bruikbaar: ") + ErrorText(e) +
            QStringLiteral(" Kies een hoofdmap met KIES MAP.");
  }
  return said;
}

// ---------------------------------------------------------------------------------------
// State, read-only

const QString &TfrmMain::LastFile() const
{
  return FFlow->TakePath();
}

bool TfrmMain::WorkBusy() const
{
  return FFlow->Busy();
}

QString TfrmMain::SelectedTakePath() const
{
  return FTakes->SelectedTakePath();
}

std::uint64_t TfrmMain::Now() const
{
  return FSeams.TickCount();
}

QTimer *TfrmMain::Timer() const
{
  return FFlow ? FFlow->Timer() : nullptr;
}

// ---------------------------------------------------------------------------------------
// Lists and options

void TfrmMain::RefreshSessions()
{
  FTakes->RefreshSessions();
  FView->ClearTrim();
  FText->SessionShown();
}

void TfrmMain::StopPlaybackOfDroppedTake(const QStringList &AEntries)
{
  if (FFlow->State() != TTakeState::Playing)
    return;
  for (const QString &entry : AEntries)
    if (FSessions->TakePath(entry) == FFlow->TakePath())
      return;
  FFlow->StopPlayback();
  FStatus->Set(QStringLiteral("Weergave gestopt"));
}

void TfrmMain::ShowRoot(const QString &APath)
{
  FRootShown = APath;
  QLabel *root = FControls.lblRoot;
  root->setText(root->fontMetrics().elidedText(APath, Qt::ElideMiddle, root->width()));
}

void TfrmMain::FormatChange()
{
  Redraw();
}

TRecordingOptions TfrmMain::Options() const
{
  return ReadRecordingOptions(FControls.Options());
}

void TfrmMain::FollowInput()
{
  // Not before the options came from the settings file (the engine and its devices
  // are up then), nor once the system ends the program.
  if (!FOptionsLoaded || FEndingBySystem)
    return;
  FFlow->SetInput(Options().Wish(FPreRollMs, FHandsFree != nullptr && FHandsFree->On()));
}

void TfrmMain::RateNote()
{
  FStatus->RateNote(Options().RateLowered());
}

// ---------------------------------------------------------------------------------------
// Drawing the flow

void TfrmMain::Redraw()
{
  TFlowView now;
  now.Flow = FFlow->Facts();
  now.Window.RecordReady = FRecordReady;
  now.Window.Selected = FView->Selected();
  now.Window.Trimmed = FView->Trimmed();
  now.Window.Mp3 = Options().Mp3();
  now.Window.HandsFree = FHandsFree != nullptr && FHandsFree->On();
  now.Window.HandsFreePaused = FHandsFree != nullptr && FHandsFree->Paused();
  if (FDrawnOnce && now == FDrawn)
    return;
  FDrawnOnce = true;
  FDrawn = now;
  Draw(now);
}

void TfrmMain::Draw(const TFlowView &AView)
{
  // Work that showed its progress is done: the status line comes back.
  if (!AView.Flow.Working)
    FStatus->Restore();
  const TEnables on = EnableRule(AView);
  const TMainFormControls &c = FControls;
  c.btnRecord->setEnabled(on.Record);
  // While a take runs the record button pauses it, and resumes it while paused.
  const TFlowFacts &flow = AView.Flow;
  // In hands-free mode it pauses the listening as well.
  const bool running = flow.State == TTakeState::Recording || AView.Window.HandsFree;
  const bool paused = flow.State == TTakeState::Recording ? flow.Paused
                                                          : AView.Window.HandsFreePaused;
  c.btnRecord->Icon->setText(running && !paused ? RecordPauseGlyph : RecordIdleGlyph);
  c.btnRecord->Text->setText(running ? (paused ? RecordResumeText : RecordPauseText)
                                     : RecordIdleText);
  c.btnStop->setEnabled(on.Stop);
  c.btnListen->setEnabled(on.Listen);
  c.btnDelete->setEnabled(on.Delete);
  c.btnUndoTrim->setEnabled(on.UndoTrim);
  for (QWidget *control :
       std::initializer_list<QWidget *>{c.chkTrimSilence, c.chkMono, c.chkPreRoll, c.cbSession,
                                        c.btnNew, c.btnRoot, c.cbDevice, c.cbFormat, c.cbRate})
    control->setEnabled(on.Options);
  // The meter says when it shows the open input rather than a take or a playback.
  const bool input =
      flow.InputOpen && flow.State != TTakeState::Recording && flow.State != TTakeState::Playing;
  const QString heading = input ? LevelHeadingInput : LevelHeadingTake;
  if (c.lblHeadingLevel->text() != heading) {
    c.lblHeadingLevel->setText(heading);
    c.lblHeadingLevel->adjustSize();
    c.vu->setAccessibleName(heading);
  }
  c.cbBitrate->setEnabled(on.Bitrate);
  c.btnLoadList->setEnabled(on.Options);
  c.btnExport->setEnabled(on.Options);
  c.btnKeys->setEnabled(on.Options);
  // btnAbout, btnExit and lbRecordings are never disabled.
}

void TfrmMain::OnStateChanged(TTakeState AState)
{
  const TTakeState was = FShownState;
  FShownState = AState;
  if (AState == TTakeState::Recording) {
    FText->TakeStarted(FFlow->TakePath());
    FView->TakeStarted();
    FControls.lblTime->setText(QStringLiteral("00:00"));
  } else if (AState == TTakeState::Stopping) {
    // The meter rests while the take is being completed.
    FControls.vu->BlankBar();
  } else if (AState == TTakeState::Loading) {
    // The trim, where there was one, is done: the status line comes back before the
    // take's analysis shows its own progress.
    FStatus->Restore();
  } else if (AState == TTakeState::Playing) {
    SetListenForm(true);
  } else if (AState == TTakeState::Idle &&
             (was == TTakeState::Loading || was == TTakeState::Trimming ||
              was == TTakeState::Stopping)) {
    FControls.vu->BlankBar();
    FControls.wave->update();
  }
}

void TfrmMain::OnFailure(const QString &AMessage)
{
  // The system's end asks nothing.
  if (!FEndingBySystem)
    ShowDarkError(AMessage);
}

void TfrmMain::SetListenForm(bool APlaying)
{
  FControls.btnListen->Icon->setText(APlaying ? ListenPlayingGlyph : ListenIdleGlyph);
  FControls.btnListen->Text->setText(APlaying ? ListenPlayingText : ListenIdleText);
}

} // namespace praatkist::ui
