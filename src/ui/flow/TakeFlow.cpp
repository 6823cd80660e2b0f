#include "ui/flow/TakeFlow.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <string>

#include "ui/style/ClockText.h"
#include "ui/flow/ErrorText.h"
#include "ui/flow/PathText.h"

namespace praatkist::ui {

namespace {

QString FileNamePart(const QString &APath)
{
  return QFileInfo(APath).fileName();
}

const QString NoInput = QStringLiteral("Er komt geen geluid binnen van de audio-ingang.");
const QString InputGone =
    QStringLiteral("Vooropname: de audio-ingang is weggevallen; hij gaat weer open zodra hij "
                   "terug is.");

} // namespace

TTakeFlow::TTakeFlow(TBassRecorder *AEngine, std::function<std::uint64_t()> ANow, QObject *AParent)
    : QObject(AParent), FEngine(AEngine), FNow(std::move(ANow))
{
  FTimer = new QTimer(this);
  FTimer->setObjectName(QStringLiteral("timer"));
  FTimer->setInterval(kTickMs);
  FTimer->setTimerType(Qt::PreciseTimer);
  connect(FTimer, &QTimer::timeout, this, &TTakeFlow::Tick);
  if (FEngine == nullptr)
    return;
  FWork = new TTakeWork(*FEngine, &FPeaksCache, this);
  FFacts.Engine = true;
  connect(FWork, &TTakeWork::AnalysisDone, this, &TTakeFlow::AnalysisFinished);
  connect(FWork, &TTakeWork::TrimDone, this, &TTakeFlow::TrimFinished);
  connect(FWork, &TTakeWork::StopDone, this, &TTakeFlow::StopFinished);
  connect(FWork, &TTakeWork::Progress, this, &TTakeFlow::Progress);
  connect(FWork, &TTakeWork::SafelyEnded, this, [this] {
    if (FState == TTakeState::Closing) {
      FState = TTakeState::Idle;
      emit SafelyEnded();
    }
  });
}

TTakeFlow::~TTakeFlow()
{
  FTimer->stop();
  // The work ends before the engine it works with.
  if (FWork != nullptr) {
    FWork->WaitForSafeEnd(true);
    delete FWork;
    FWork = nullptr;
  }
}

bool TTakeFlow::TakeEnding() const noexcept
{
  return FState == TTakeState::Stopping || FState == TTakeState::Trimming ||
         FState == TTakeState::Loading;
}

bool TTakeFlow::Busy() const noexcept
{
  return WorkBusy() || TakeEnding() || FState == TTakeState::Closing;
}

bool TTakeFlow::Trimming() const noexcept
{
  return FWork != nullptr && FWork->Running() == TWorkKind::Trim;
}

TFlowView TTakeFlow::View() const noexcept
{
  TFlowView view = FFacts;
  view.State = FState;
  view.Working = WorkBusy();
  return view;
}

void TTakeFlow::Publish()
{
  const TFlowView now = View();
  if (FToldOnce && now == FTold)
    return;
  FToldOnce = true;
  FTold = now;
  emit ViewChanged(now);
}

void TTakeFlow::SetRecordReady(bool AReady)
{
  FFacts.RecordReady = AReady;
  Publish();
}

void TTakeFlow::SetSelected(bool ASelected)
{
  FFacts.Selected = ASelected;
  Publish();
}

void TTakeFlow::SetTrimmed(bool ATrimmed)
{
  FFacts.Trimmed = ATrimmed;
  Publish();
}

void TTakeFlow::SetMp3(bool AMp3)
{
  FFacts.Mp3 = AMp3;
  Publish();
}

void TTakeFlow::SetState(TTakeState AState)
{
  const TTakeState was = FState;
  FState = AState;
  if (AState != TTakeState::Closing)
    RunTimer(); // a close keeps what ran
  if (was == TTakeState::Playing && AState != TTakeState::Closing)
    emit PlaybackReset();
  emit StateChanged(AState);
  // Once the take's file is complete, the input may open again for the next take.
  SyncInput();
  Publish();
}

void TTakeFlow::RunTimer()
{
  const bool input = FEngine != nullptr && FEngine->InputOpen();
  if (FState == TTakeState::Recording || FState == TTakeState::Playing || input) {
    if (!FTimer->isActive())
      FTimer->start();
  } else {
    FTimer->stop();
  }
}

// ---------------------------------------------------------------------------------------
// The open input

void TTakeFlow::SetInput(const TInputWish &AWish)
{
  FInput = AWish;
  SyncInput();
}

bool TTakeFlow::SyncInput(bool AQuiet)
{
  if (FEngine == nullptr)
    return true;
  const bool wanted = FInput.On && FInput.Input.Device >= 0 && FState != TTakeState::Closing;
  // Not while a take runs or is being completed: it holds the input or its file.
  const bool free = FState == TTakeState::Idle || FState == TTakeState::Playing ||
                    FState == TTakeState::Trimming || FState == TTakeState::Loading;
  bool opened = true;
  if (!wanted) {
    if (FEngine->InputOpen()) {
      FEngine->CloseInput();
      emit LevelChanged(0);
    }
  } else if (free && (!FEngine->InputOpen() || !(FOpened == FInput))) {
    // A device list filled anew with the same device in the same place leaves the
    // input (and what it kept) as it is.
    try {
      FEngine->OpenInput(FInput.Input);
      FOpened = FInput;
      FSaidInputProblem = false;
    } catch (const std::exception &e) {
      opened = false;
      // Said once; a state change, the device list or the options try again.
      if (!FSaidInputProblem && !AQuiet)
        emit StatusText(QStringLiteral("Vooropname: ") + ErrorText(e));
      FSaidInputProblem = FSaidInputProblem || !AQuiet;
    }
  }
  FFacts.InputOpen = FEngine->InputOpen();
  RunTimer();
  Publish();
  return opened;
}

// Between takes: the open input's level and clipping, and its loss.
void TTakeFlow::InputTick()
{
  if (FEngine->InputLost()) {
    FEngine->CloseInput();
    emit LevelChanged(0);
    // Back already (a server restarted between two ticks): opened again at once;
    // otherwise the device list's next change opens it.
    if (!SyncInput(true) || !FEngine->InputOpen()) {
      emit StatusText(InputGone);
      FSaidInputProblem = true;
    }
    return;
  }
  if (FState == TTakeState::Playing)
    return; // the meter shows the playback
  if (!FSaidClip && FEngine->Clipped()) {
    FSaidClip = true;
    emit ClipChanged(true);
  }
  int left = 0;
  int right = 0;
  FEngine->ConsumeStereoPeaks(left, right);
  emit LevelChanged(std::max(left, right));
}

// ---------------------------------------------------------------------------------------
// Recording

bool TTakeFlow::Record(const TTakeOptions &AOptions, const QString &APath)
{
  if (FEngine == nullptr)
    return false;
  try {
    FEngine->Start(AOptions.Take, ToPath(APath));
  } catch (const std::exception &e) {
    FTakePath.clear();
    emit Failed(ErrorText(e));
    return false;
  }
  FTakePath = APath;
  FOptions = AOptions;
  if (FWork != nullptr)
    FWork->CancelAnalysis();
  FRecordingStarted = FNow();
  FSaidNoInput = false;
  FSaidClip = false;
  FClockHasPreRoll = true;
  FFacts.Paused = false;
  FFacts.InputOpen = false;
  emit ClipChanged(false);
  // Starting a take ends any playback in the engine; the display follows.
  SetState(TTakeState::Recording);
  emit StatusText(TakeStatus());
  return true;
}

void TTakeFlow::TogglePause()
{
  if (FEngine == nullptr || FState != TTakeState::Recording)
    return;
  FFacts.Paused = !FFacts.Paused;
  FEngine->SetPaused(FFacts.Paused);
  // The clock goes on from the time recorded, not from the time the pause lasted.
  if (!FFacts.Paused) {
    FClockHasPreRoll = false; // the take's length holds it now
    const std::uint64_t now = FNow();
    FRecordingStarted =
        now - std::min(now, static_cast<std::uint64_t>(FEngine->TakeSeconds() * 1000.0));
  }
  emit StatusText(TakeStatus());
  Publish();
}

QString TTakeFlow::TakeStatus() const
{
  return (FFacts.Paused ? QStringLiteral("Gepauzeerd: ") : QStringLiteral("Opname: ")) +
         FileNamePart(FTakePath);
}

void TTakeFlow::Stop()
{
  if (FEngine == nullptr || FState != TTakeState::Recording)
    return;
  FinishTake(FOptions.Trim, QString());
}

void TTakeFlow::FinishTake(bool ATrim, const QString &AEndedWhy)
{
  // The stop waits for the last captured audio and syncs the file: on the worker, so
  // the window is not held up meanwhile.
  FStopTrim = ATrim;
  FEndedWhy = AEndedWhy;
  FTakeTrimmed = false;
  FFacts.Paused = false;
  SetState(TTakeState::Stopping);
  if (FWork != nullptr && FWork->StopTake(FTakePath))
    return; // on in StopFinished
  StopFinished(FTakePath, FEngine->Stop());
}

void TTakeFlow::StopFinished(const QString &APath, bool AComplete)
{
  bool trim = FStopTrim;
  QString why = FEndedWhy;
  FEndedWhy.clear();
  // A take whose file could not be completed is not reported as kept, nor trimmed.
  if (!AComplete && why.isEmpty()) {
    why = IncompleteTakeText(APath);
    trim = false;
  }
  if (trim && FWork != nullptr && FWork->Trim(APath, FOptions.Take.Format, FOptions.Take.Bitrate)) {
    SetState(TTakeState::Trimming);
    return; // on in TrimFinished
  }
  CompleteTake(APath, why);
}

QString TTakeFlow::IncompleteTakeText(const QString &APath) const
{
  return QStringLiteral("Opname mogelijk onvolledig: het bestand kon niet volledig worden "
                        "afgesloten: ") +
         APath;
}

void TTakeFlow::TrimFinished(const TTrimResult &AResult)
{
  if (AResult.Trimmed)
    emit StatusText(QStringLiteral("Getrimd: %1 s begin / %2 s einde")
                        .arg(TwoDecimals(AResult.TrimmedStart), TwoDecimals(AResult.TrimmedEnd)));
  else if (AResult.Failed)
    emit Failed(QStringLiteral("Automatisch trimmen mislukt: ") + AResult.Error);
  CompleteTake(AResult.Path, QString());
}

void TTakeFlow::CompleteTake(const QString &APath, const QString &AEndedWhy)
{
  FEndedWhy = AEndedWhy;
  SetState(TTakeState::Loading);
  // The list shows the new take; then its waveform is read (a cache hit answers at
  // once).
  emit TakeStopped(APath);
  if (FState == TTakeState::Loading)
    Load(APath);
}

void TTakeFlow::FinishLoad()
{
  SetState(TTakeState::Idle);
  const QString why = FEndedWhy;
  FEndedWhy.clear();
  if (!why.isEmpty()) {
    emit StatusText(why);
    emit Failed(why);
  } else if (!FTakeTrimmed) {
    emit StatusText(QStringLiteral("Bewaard: ") + FTakePath);
  }
}

// ---------------------------------------------------------------------------------------
// Analysis

void TTakeFlow::Load(const QString &APath)
{
  // Off the window's thread; a peaks cache hit answers at once. A newer request
  // supersedes this one.
  if (FWork != nullptr)
    FWork->Analyze(APath, kWavePoints);
  if (FState == TTakeState::Loading && !WorkBusy())
    FinishLoad();
  Publish();
}

void TTakeFlow::CancelLoad()
{
  if (FWork != nullptr)
    FWork->CancelAnalysis();
  if (FState == TTakeState::Loading && !WorkBusy())
    FinishLoad();
  Publish();
}

void TTakeFlow::AnalysisFinished(const TAnalysisResult &AResult)
{
  if (AResult.Path == FTakePath && TakeEnding())
    FTakeTrimmed = AResult.Ok && AResult.TrimActive;
  emit TakeLoaded(AResult);
  if (FState == TTakeState::Loading && !WorkBusy())
    FinishLoad();
  Publish();
}

bool TTakeFlow::UndoTrim(const QString &APath)
{
  return FEngine != nullptr && FEngine->UndoTrim(ToPath(APath));
}

void TTakeFlow::Forget(const QString &APath)
{
  if (FTakePath.compare(APath, Qt::CaseInsensitive) == 0)
    FTakePath.clear();
}

// ---------------------------------------------------------------------------------------
// Playback

bool TTakeFlow::Play(const QString &APath)
{
  if (FEngine == nullptr)
    return false;
  FTakePath = APath;
  try {
    FEngine->PlayFile(ToPath(FTakePath));
    SetState(TTakeState::Playing);
    emit CursorMoved(0.0);
    emit ClockChanged(QStringLiteral("00:00 / ") + FormatSeconds(FEngine->PlaybackLengthSeconds()));
    emit StatusText(QStringLiteral("Afspelen: ") + FileNamePart(FTakePath));
    return true;
  } catch (const std::exception &e) {
    if (FState == TTakeState::Playing)
      SetState(TTakeState::Idle);
    else
      emit PlaybackReset();
    emit Failed(ErrorText(e));
    return false;
  }
}

void TTakeFlow::StopPlayback()
{
  if (FState != TTakeState::Playing)
    return;
  if (FEngine != nullptr)
    FEngine->StopPlayback();
  SetState(TTakeState::Idle);
}

// ---------------------------------------------------------------------------------------
// The tick

void TTakeFlow::Tick()
{
  if (FEngine == nullptr) {
    FTimer->stop();
    return;
  }
  if (FEngine->Recording()) {
    // The engine may have ended the take itself (input gone, disk full, WAV limit):
    // complete it like a stop, without trimming, and say why.
    std::string why;
    if (FEngine->CaptureEndedByItself(why)) {
      FinishTake(false, QString::fromStdString(why));
      return;
    }
    // A frozen input is said while it lasts; the take goes on.
    if (FEngine->InputFrozen()) {
      FSaidNoInput = true;
      emit StatusText(NoInput);
    } else if (FSaidNoInput) {
      FSaidNoInput = false;
      emit StatusText(TakeStatus());
    }
    if (!FSaidClip && FEngine->Clipped()) {
      FSaidClip = true;
      emit ClipChanged(true);
      emit StatusText(QStringLiteral("Let op: oversturing bij ") +
                      FormatSeconds(FEngine->ClipSeconds()) + QStringLiteral("."));
    }
    int left = 0;
    int right = 0;
    FEngine->ConsumeStereoPeaks(left, right);
    emit LevelChanged(std::max(left, right));
    // While paused the clock holds at the audio the take holds.
    // A take on the open input runs from the audio it kept before the command.
    const double seconds = FFacts.Paused
                               ? FEngine->TakeSeconds()
                               : static_cast<double>(FNow() - FRecordingStarted) / 1000.0 +
                                     (FClockHasPreRoll ? FEngine->PreRollSeconds() : 0.0);
    emit DurationChanged(seconds);
    emit ClockChanged(FormatSeconds(seconds));
  } else if (FEngine->PlaybackActive()) {
    emit LevelChanged(FEngine->PlaybackPeakLevel());
    const double position = FEngine->PlaybackPositionSeconds();
    const double length = FEngine->PlaybackLengthSeconds();
    emit DurationChanged(length);
    emit ClockChanged(FormatSeconds(position) + QStringLiteral(" / ") + FormatSeconds(length));
    emit CursorMoved(length > 0.0 ? std::clamp(position / length, 0.0, 1.0) : 0.0);
  } else if (FState == TTakeState::Playing) {
    // The playback has run out by itself.
    SetState(TTakeState::Idle);
    emit StatusText(QStringLiteral("Weergave beëindigd"));
  }
  if (!FEngine->Recording() && FEngine->InputOpen())
    InputTick();
  else if (FState != TTakeState::Recording && FState != TTakeState::Playing)
    RunTimer();
}

// ---------------------------------------------------------------------------------------
// Ending

bool TTakeFlow::BeginClose()
{
  if (FState == TTakeState::Closing)
    return true;
  // The open input closes with the window.
  FInput.On = false;
  SyncInput();
  if (FWork == nullptr || FWork->Ended() || !FWork->Busy())
    return false;
  // Work on a take ends safely first (an analysis is dropped, a trim is cancelled where
  // the take stays whole or else finished).
  SetState(TTakeState::Closing);
  FWork->BeginSafeEnd(true);
  return true;
}

bool TTakeFlow::EndTake()
{
  FTimer->stop();
  return FEngine == nullptr || FEngine->Stop();
}

void TTakeFlow::EndBySystem()
{
  FTimer->stop();
  if (FEngine != nullptr) {
    FEngine->Stop();
    FEngine->CloseInput();
    FEngine->StopPlayback();
  }
}

} // namespace praatkist::ui
