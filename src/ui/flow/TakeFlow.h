#pragma once
// TTakeFlow: the life of a take, apart from any widget. It starts and stops the
// recording, has the stopped take ended (its stop, trim and analysis as one job of the
// work), has chosen takes analysed for the waveform, plays them, and runs the engine's
// side of the tick (levels, clock, playback position, the end of a playback, a take
// that ended by itself). Its parts: TTakeWork (the work off the window's thread),
// TInputKeeper (the input kept open between takes), TRecordingClock (the running
// take's clock) and TPeaksCache. It tells what it knows as one value (TFlowFacts); the
// window adds what only it knows and draws from the two.
//
// The take's path comes in with Record or Play and is the one value the flow hands to
// the engine, the worker and back in its signals. The options given at Record hold
// for the take's whole life: its stop trims with them.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

#include "audio/BassRecorder.h"
#include "ui/flow/FlowView.h"
#include "ui/flow/InputKeeper.h"
#include "ui/flow/PeaksCache.h"
#include "ui/flow/RecordingClock.h"
#include "ui/flow/TakeWork.h"

class QTimer;

namespace praatkist::ui {

struct TTakeOptions {
  TTakeFormat Take;
  // The stopped take is trimmed (into the take's format, MP3 at its bit rate).
  bool Trim = false;
  // The take begins at this frame of the open input (-1: with its pre-roll as usual).
  std::int64_t FromFrame = -1;
};

class TTakeFlow : public QObject {
  Q_OBJECT

public:
  // AEngine may be null (no audio): nothing can then be recorded, played or analysed.
  // ANow gives the millisecond tick count of the recording clock.
  TTakeFlow(TBassRecorder *AEngine, std::function<std::uint64_t()> ANow,
            QObject *AParent = nullptr);
  ~TTakeFlow() override;

  TTakeState State() const noexcept { return FState; }
  bool HasEngine() const noexcept { return FEngine != nullptr; }
  // The take being recorded or just recorded, or the take last started for playback.
  const QString &TakePath() const noexcept { return FTakePath; }
  // The take's end is under way (from the stop until its result is told).
  bool TakeEnding() const noexcept;
  // Work runs off the window's thread (analysis, a take's end).
  bool WorkBusy() const noexcept { return FWork != nullptr && FWork->Busy(); }
  // Anything still to come: work, the take's end, a close waiting for a safe end.
  bool Busy() const noexcept;
  QTimer *Timer() const noexcept { return FTimer; }
  // What the flow knows, for the window to draw (FactsChanged follows each change).
  TFlowFacts Facts() const noexcept;

  // Keeps the input open between takes as AWish says, from now on: opened (again) when
  // nothing else holds it, closed when the wish is off, when the window closes and when
  // the device goes away; opened again on the next wish or state change after that. A
  // wish after such a loss opens it again even where the wish is the same.
  void SetInput(const TInputWish &AWish);

  // Starts a take into APath. False, with Failed, when the engine refused.
  bool Record(const TTakeOptions &AOptions, const QString &APath);
  // Pauses the running take, or resumes it: the clock holds at the time recorded.
  void TogglePause();
  // Stops the take (paused or not): its end (stop, trim where the options at Record
  // said so, analysis) runs on the worker through Stopping, Trimming and Loading; the
  // flow is then Idle and tells the end (TakeEnded).
  void Stop();
  // Plays the take at APath. False, with PlaybackReset and Failed, when it cannot.
  bool Play(const QString &APath);
  // Stops a playback the user ends (or that gives way to another command).
  void StopPlayback();
  // The waveform and trim state of the chosen take at APath (TakeLoaded); a newer
  // request supersedes it.
  void Load(const QString &APath);
  void CancelLoad();
  // Restores the take at APath from its backup; raises what the engine raises.
  bool UndoTrim(const QString &APath);
  // The take at APath was deleted: it is no longer the flow's take.
  void Forget(const QString &APath);

  // A marker at the key press at APressNs (SteadyNowNs's clock) in the
  // running take, or else in the take that plays: said as "Markering N" (StatusText,
  // MarkersChanged). False when neither runs; a failure to write the playing take's
  // files is told by Failed.
  bool Mark(std::int64_t APressNs);
  // Moves the playback to the next marker (AForward) or the previous one: said as
  // "Markering N". False when nothing plays or there is no marker that way.
  bool GoToMarker(bool AForward);

  // Listens to the open input for speech (TBassRecorder::Listen): its start and end
  // are told (SpeechBegan, SpeechEnded) on the tick, until StopListening.
  void Listen(const audio::TSpeechRules &ARules);
  void StopListening();
  void HoldListening(bool AHeld);
  bool Listening() const noexcept { return FListening; }

  // One tick: what the recording or the playback has done since the last one.
  void Tick();

  // The window asks to close. True when it must wait: the work ends safely first and
  // SafelyEnded follows. False when it may close now.
  bool BeginClose();
  // Completes a running take as it is (not trimmed, not listed); false when its file
  // could not be completed.
  bool EndTake();
  // The system ends the program: the take is completed and the playback stopped now.
  void EndBySystem();
  // The worker has been asked to end and what runs now is a trim.
  bool Trimming() const noexcept;

  QString IncompleteTakeText(const QString &APath) const;

signals:
  void StateChanged(praatkist::ui::TTakeState AState);
  void FactsChanged(const praatkist::ui::TFlowFacts &AFacts);
  void StatusText(const QString &AText);
  void Failed(const QString &AMessage);
  // The take's end is done and the flow Idle: the take is complete (and trimmed where
  // asked and possible), with its analysis. Whatever failed is said before (the trim)
  // or after (why the take ended, or that it was kept) in StatusText and Failed.
  void TakeEnded(const praatkist::ui::TTakeEnd &AEnd);
  // An analysis result of a chosen take (Load).
  void TakeLoaded(const praatkist::ui::TAnalysisResult &AResult);
  // The playback display goes back to rest (listen button, clock, cursor, meter).
  void PlaybackReset();
  void LevelChanged(int ALevel);
  // The input reached full scale since the take started (lit), or a take starts.
  void ClipChanged(bool ALit);
  void ClockChanged(const QString &AText);
  // The take at APath has the markers AMarkers (seconds) now that one was set.
  void MarkersChanged(const QString &APath, const std::vector<double> &AMarkers);
  void DurationChanged(double ASeconds);
  void CursorMoved(double AFraction);
  void Progress(praatkist::ui::TWorkKind AKind, int APercent);
  void SafelyEnded();
  // A speech started; a take from AFromFrame (TTakeOptions::FromFrame) holds it whole,
  // with the pre-roll before it.
  void SpeechBegan(qint64 AFromFrame);
  // The speech has ended after its silence; it lasted ASpeechSeconds.
  void SpeechEnded(double ASpeechSeconds);
  // The open input went away (its device or the server).
  void InputLost();

private:
  void SetState(TTakeState AState);
  // Opens, reopens or closes the input as the wish and the state allow; false when it
  // should have opened but could not.
  bool SyncInput(bool AQuiet = false);
  // The input is kept while the window is not closing and no take plays, and opened
  // only where nothing else holds it: not while a take runs or its file is being
  // completed. A take's stop leaves it open.
  bool MayKeepInput() const noexcept
  {
    return FState != TTakeState::Closing && FState != TTakeState::Playing;
  }
  bool MayOpenInput() const noexcept;
  void InputTick(const TEngineStatus &ANow);
  void ListenTick(const TEngineStatus &ANow);
  // The tick runs while a take records or plays, or the input is open.
  void RunTimer();
  // Emits FactsChanged when the facts differ from the ones last told.
  void Publish();
  // The take ends (AWhy: why it ended by itself, empty for a stop).
  void FinishTake(bool ATrim, const QString &AWhy);
  void EndStageReached(TEndStage AStage, const TTrimResult &ATrim);
  void EndFinished(const TTakeEnd &AEnd);
  void AnalysisFinished(const TAnalysisResult &AResult);
  QString TakeStatus() const;

  TBassRecorder *FEngine;
  QTimer *FTimer = nullptr;
  // Peaks of takes already analysed (before the work, which must end first).
  TPeaksCache FPeaksCache;
  TTakeWork *FWork = nullptr;
  TInputKeeper *FInput = nullptr;
  TRecordingClock FClock;
  TTakeState FState = TTakeState::Idle;
  QString FTakePath;
  bool FSaidNoInput = false;
  bool FSaidClip = false;
  bool FListening = false;
  // The running or last take's options, from Record on.
  TTakeOptions FOptions;
  // Why the ending take ended by itself, from the tick that found it until its end is
  // told.
  QString FEndedWhy;
  TFlowFacts FFacts;
  TFlowFacts FTold;
  bool FToldOnce = false;
};

} // namespace praatkist::ui
