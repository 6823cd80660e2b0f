#include "ui/flow/TakeFlow.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <string>

#include "ui/flow/ErrorText.h"
#include "ui/flow/PathText.h"
#include "ui/flow/ClockText.h"

namespace praatkist::ui {

namespace {

QString FileNamePart(const QString &APath)
{
  return QFileInfo(APath).fileName();
}

const QString NoInput = QStringLiteral("Er komt geen geluid binnen van de audio-ingang.");

} // namespace

TTakeFlow::TTakeFlow(TBassRecorder *AEngine, std::function<std::uint64_t()> ANow, QObject *AParent)
    : QObject(AParent), FEngine(AEngine), FClock(std::move(ANow))
{
  FTimer = new QTimer(this);
  FTimer->setObjectName(QStringLiteral("timer"));
  FTimer->setInterval(kTickMs);
  FTimer->setTimerType(Qt::PreciseTimer);
  connect(FTimer, &QTimer::timeout, this, &TTakeFlow::Tick);
  FInput = new TInputKeeper(FEngine, this);
  connect(FInput, &TInputKeeper::StatusText, this, &TTakeFlow::StatusText);
  connect(FInput, &TInputKeeper::Closed, this, [this] { emit LevelChanged(0); });
  if (FEngine == nullptr)
    return;
  FWork = new TTakeWork(*FEngine, &FPeaksCache, this);
  FFacts.Engine = true;
  connect(FWork, &TTakeWork::AnalysisDone, this, &TTakeFlow::AnalysisFinished);
  connect(FWork, &TTakeWork::EndStage, this, &TTakeFlow::EndStageReached);
  connect(FWork, &TTakeWork::TakeEnded, this, &TTakeFlow::EndFinished);
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

TFlowFacts TTakeFlow::Facts() const noexcept
{
  TFlowFacts facts = FFacts;
  facts.State = FState;
  facts.Working = WorkBusy();
  return facts;
}

void TTakeFlow::Publish()
{
  const TFlowFacts now = Facts();
  if (FToldOnce && now == FTold)
    return;
  FToldOnce = true;
  FTold = now;
  emit FactsChanged(now);
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
  if (FState == TTakeState::Recording || FState == TTakeState::Playing || FInput->Open()) {
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
  FInput->SetWish(AWish);
  SyncInput();
}

bool TTakeFlow::MayOpenInput() const noexcept
{
  return FState == TTakeState::Idle || FState == TTakeState::Trimming ||
         FState == TTakeState::Loading;
}

bool TTakeFlow::SyncInput(bool AQuiet)
{
  if (FEngine == nullptr)
    return true;
  const bool opened = FInput->Sync(MayKeepInput(), MayOpenInput(), AQuiet);
  FFacts.InputOpen = FInput->Open();
  RunTimer();
  Publish();
  return opened;
}

// Between takes: the open input's level and clipping, and its loss.
void TTakeFlow::InputTick(const TEngineStatus &ANow)
{
  if (FInput->CheckLost(ANow.InputLost, MayKeepInput(), MayOpenInput())) {
    emit InputLost();
    FFacts.InputOpen = FInput->Open();
    RunTimer();
    Publish();
    return;
  }
  if (FState == TTakeState::Playing)
    return; // the meter shows the playback
  if (!FSaidClip && ANow.Clipped) {
    FSaidClip = true;
    emit ClipChanged(true);
  }
  emit LevelChanged(ANow.Level());
}

// ---------------------------------------------------------------------------------------
// Recording

bool TTakeFlow::Record(const TTakeOptions &AOptions, const QString &APath)
{
  if (FEngine == nullptr)
    return false;
  try {
    FEngine->Start(AOptions.Take, ToPath(APath), AOptions.FromFrame);
  } catch (const std::exception &e) {
    FTakePath.clear();
    emit Failed(ErrorText(e));
    return false;
  }
  FTakePath = APath;
  FOptions = AOptions;
  if (FWork != nullptr)
    FWork->CancelAnalysis();
  FClock.Start();
  FSaidNoInput = false;
  FSaidClip = false;
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
  if (!FFacts.Paused)
    FClock.Resume(FEngine->TakeSeconds());
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

void TTakeFlow::FinishTake(bool ATrim, const QString &AWhy)
{
  // The stop waits for the last captured audio and syncs the file: on the worker, with
  // the trim and the analysis after it, so the window is not held up meanwhile.
  FEndedWhy = AWhy;
  FFacts.Paused = false;
  SetState(TTakeState::Stopping);
  if (FWork != nullptr && FWork->EndTake(FTakePath, ATrim, FOptions.Take.Format,
                                         FOptions.Take.Bitrate, kWavePoints))
    return; // on in EndStageReached and EndFinished
  // The work is ending: the take is completed here, as it is.
  TTakeEnd end;
  end.Path = FTakePath;
  end.Complete = FEngine->Stop();
  EndFinished(end);
}

QString TTakeFlow::IncompleteTakeText(const QString &APath) const
{
  return QStringLiteral("Opname mogelijk onvolledig: het bestand kon niet volledig worden "
                        "afgesloten: ") +
         APath;
}

void TTakeFlow::EndStageReached(TEndStage AStage, const TTrimResult &ATrim)
{
  if (!TakeEnding())
    return;
  if (AStage == TEndStage::Trimming) {
    SetState(TTakeState::Trimming);
  } else if (AStage == TEndStage::Loading) {
    SetState(TTakeState::Loading);
    if (ATrim.Outcome == TTrimOutcome::Trimmed)
      emit StatusText(QStringLiteral("Getrimd: %1 s begin / %2 s einde")
                          .arg(TwoDecimals(ATrim.StartSeconds), TwoDecimals(ATrim.EndSeconds)));
  }
}

void TTakeFlow::EndFinished(const TTakeEnd &AEnd)
{
  QString why = FEndedWhy;
  FEndedWhy.clear();
  // A take whose file could not be completed is not reported as kept.
  if (!AEnd.Complete && why.isEmpty())
    why = IncompleteTakeText(AEnd.Path);
  // The window shows this take now: an analysis of another, asked for meanwhile, goes.
  if (FWork != nullptr)
    FWork->CancelAnalysis();
  SetState(TTakeState::Idle);
  if (AEnd.Trim.Outcome == TTrimOutcome::Failed)
    emit Failed(QStringLiteral("Automatisch trimmen mislukt: ") + AEnd.Trim.Error);
  TTakeEnd end = AEnd;
  end.ByItself = !why.isEmpty();
  emit TakeEnded(end);
  if (!why.isEmpty()) {
    emit StatusText(why);
    emit Failed(why);
  } else if (!(AEnd.Analysis.Ok && AEnd.Analysis.TrimActive)) {
    emit StatusText(QStringLiteral("Bewaard: ") + AEnd.Path);
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
  Publish();
}

void TTakeFlow::CancelLoad()
{
  if (FWork != nullptr)
    FWork->CancelAnalysis();
  Publish();
}

void TTakeFlow::AnalysisFinished(const TAnalysisResult &AResult)
{
  emit TakeLoaded(AResult);
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
    emit ClockChanged(QStringLiteral("00:00 / ") + FormatSeconds(FEngine->Status().PlaybackLength));
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
// Markers

bool TTakeFlow::Mark(std::int64_t APressNs)
{
  if (FEngine == nullptr || (FState != TTakeState::Recording && FState != TTakeState::Playing))
    return false;
  const bool recording = FState == TTakeState::Recording;
  std::size_t number = 0;
  try {
    number = FEngine->Mark(APressNs);
  } catch (const std::exception &e) {
    emit Failed(ErrorText(e));
    return false;
  }
  if (number == 0)
    return false;
  const std::vector<double> seconds =
      recording ? FEngine->TakeMarkerSeconds() : ReadMarkerSeconds(ToPath(FTakePath));
  emit MarkersChanged(FTakePath, seconds);
  emit StatusText(QString::fromStdString(audio::MarkerName(number)));
  return true;
}

bool TTakeFlow::GoToMarker(bool AForward)
{
  if (FEngine == nullptr || FState != TTakeState::Playing)
    return false;
  const std::size_t number = FEngine->SeekPlaybackToMarker(AForward);
  if (number == 0)
    return false;
  emit StatusText(QString::fromStdString(audio::MarkerName(number)));
  Tick(); // the clock and the cursor at the marker at once
  return true;
}

// ---------------------------------------------------------------------------------------
// The tick

void TTakeFlow::Tick()
{
  if (FEngine == nullptr) {
    FTimer->stop();
    return;
  }
  // Everything the tick needs of the engine, read once.
  const TEngineStatus now = FEngine->Status();
  if (now.Recording) {
    // The engine may have ended the take itself (input gone, disk full, WAV limit):
    // complete it like a stop, without trimming, and say why.
    if (now.End != TCaptureEnd::None) {
      FinishTake(false, CaptureEndText(now.End));
      return;
    }
    // A frozen input is said while it lasts; the take goes on.
    if (now.Frozen) {
      FSaidNoInput = true;
      emit StatusText(NoInput);
    } else if (FSaidNoInput) {
      FSaidNoInput = false;
      emit StatusText(TakeStatus());
    }
    if (!FSaidClip && now.Clipped) {
      FSaidClip = true;
      emit ClipChanged(true);
      emit StatusText(QStringLiteral("Let op: oversturing bij ") + FormatSeconds(now.ClipSeconds()) +
                      QStringLiteral("."));
    }
    emit LevelChanged(now.Level());
    const TRecordingClock::TReading clock =
        FClock.Read(FFacts.Paused, FFacts.Paused ? now.TakeSeconds() : 0.0,
                    FFacts.Paused ? 0.0 : now.PreRollSeconds());
    emit DurationChanged(clock.Seconds);
    emit ClockChanged(clock.Text);
  } else if (now.Playing) {
    emit LevelChanged(now.PlaybackLevel);
    emit DurationChanged(now.PlaybackLength);
    emit ClockChanged(FormatSeconds(now.PlaybackSeconds) + QStringLiteral(" / ") +
                      FormatSeconds(now.PlaybackLength));
    emit CursorMoved(now.PlaybackLength > 0.0
                         ? std::clamp(now.PlaybackSeconds / now.PlaybackLength, 0.0, 1.0)
                         : 0.0);
  } else if (FState == TTakeState::Playing) {
    // The playback has run out by itself.
    SetState(TTakeState::Idle);
    emit StatusText(QStringLiteral("Weergave beëindigd"));
  }
  if (!now.Recording && FInput->Open())
    InputTick(now);
  else if (FState != TTakeState::Recording && FState != TTakeState::Playing)
    RunTimer();
  ListenTick(now);
}

// ---------------------------------------------------------------------------------------
// Listening for speech

void TTakeFlow::Listen(const audio::TSpeechRules &ARules)
{
  if (FEngine == nullptr)
    return;
  FEngine->HoldListening(false);
  FEngine->Listen(ARules);
  FListening = true;
}

void TTakeFlow::StopListening()
{
  if (FEngine == nullptr)
    return;
  FEngine->StopListening();
  FEngine->HoldListening(false);
  FListening = false;
}

void TTakeFlow::HoldListening(bool AHeld)
{
  if (FEngine != nullptr)
    FEngine->HoldListening(AHeld);
}

void TTakeFlow::ListenTick(const TEngineStatus &ANow)
{
  if (!FListening || FEngine == nullptr)
    return;
  const audio::TSpeechEvents &heard = ANow.Heard;
  // The start first: an end read with it belongs to that speech.
  if (heard.Began)
    emit SpeechBegan(static_cast<qint64>(heard.BeganAt));
  if (heard.Ended && FListening)
    emit SpeechEnded(heard.SpeechSeconds);
}

// ---------------------------------------------------------------------------------------
// Ending

bool TTakeFlow::BeginClose()
{
  if (FState == TTakeState::Closing)
    return true;
  // The open input closes with the window.
  FInput->Drop();
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
