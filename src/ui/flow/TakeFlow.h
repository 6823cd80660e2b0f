#pragma once
// TTakeFlow: the life of a take, apart from any widget. It starts and stops the
// recording, has the stopped take completed and trimmed, has takes analysed for the
// waveform, plays them, and runs the engine's side of the 75 ms tick (levels, clock,
// playback position, the end of a playback, a take that ended by itself). It holds the
// one value the window draws (TFlowView: the state of FlowView.h with the facts the
// window tells it: a take selected, its trim, the chosen format).
//
// The take's path comes in with Record or Play and is the one value the flow hands to
// the engine, the worker and back in its signals. The options given at Record hold
// for the take's whole life: its stop trims with them, and the stopped take is loaded
// by the flow itself.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

#include "audio/BassRecorder.h"
#include "ui/flow/FlowView.h"
#include "ui/flow/PeaksCache.h"
#include "ui/flow/TakeWork.h"

class QTimer;

namespace praatkist::ui {

struct TTakeOptions {
  TTakeFormat Take;
  // The stopped take is trimmed (into the take's format, MP3 at its bit rate).
  bool Trim = false;
};

// The open input between takes (Vooropname): on or off, and what it is opened with.
struct TInputWish {
  bool On = false;
  TInputFormat Input{-1, 48000, 2, kDefaultPreRollMs}; // device -1: none chosen, nothing opens
  QString DeviceName; // the device at Input.Device when the wish was made

  bool operator==(const TInputWish &) const = default;
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
  // The take's stop, trim or load is under way (from the stop until the take is shown).
  bool TakeEnding() const noexcept;
  // Work runs off the window's thread (analysis, trim, the take's completion).
  bool WorkBusy() const noexcept { return FWork != nullptr && FWork->Busy(); }
  // Anything still to come: work, the take's end, a close waiting for a safe end.
  bool Busy() const noexcept;
  QTimer *Timer() const noexcept { return FTimer; }
  // The value the window draws (ViewChanged follows each change).
  TFlowView View() const noexcept;

  // The facts beside the state that only the window knows.
  void SetRecordReady(bool AReady);
  void SetSelected(bool ASelected);
  void SetTrimmed(bool ATrimmed);
  void SetMp3(bool AMp3);

  // Keeps the input open between takes as AWish says, from now on: opened (again) when
  // nothing else holds it, closed when the wish is off, when the window closes and when
  // the device goes away; opened again on the next wish or state change after that.
  // again even where the wish is the same.
  void SetInput(const TInputWish &AWish);

  // Starts a take into APath. False, with Failed, when the engine refused.
  bool Record(const TTakeOptions &AOptions, const QString &APath);
  // Pauses the running take, or resumes it: the clock holds at the time recorded.
  void TogglePause();
  // Stops the take (paused or not); trimmed after its file is complete when the options
  // at Record said so. The take is then told (TakeStopped), loaded, and the flow ends in
  // Idle.
  void Stop();
  // Plays the take at APath. False, with PlaybackReset and Failed, when it cannot.
  bool Play(const QString &APath);
  // Stops a playback the user ends (or that gives way to another command).
  void StopPlayback();
  // The waveform and trim state of the take at APath (TakeLoaded); a newer request
  // supersedes it.
  void Load(const QString &APath);
  void CancelLoad();
  // Restores the take at APath from its backup; raises what the engine raises.
  bool UndoTrim(const QString &APath);
  // The take at APath was deleted: it is no longer the flow's take.
  void Forget(const QString &APath);

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
  void ViewChanged(const praatkist::ui::TFlowView &AView);
  void StatusText(const QString &AText);
  void Failed(const QString &AMessage);
  // The take at APath is complete (and trimmed where asked): the list shows it; its
  // analysis (TakeLoaded) follows.
  void TakeStopped(const QString &APath);
  // An analysis result for the take it names.
  void TakeLoaded(const praatkist::ui::TAnalysisResult &AResult);
  // The playback display goes back to rest (listen button, clock, cursor, meter).
  void PlaybackReset();
  void LevelChanged(int ALevel);
  // The input reached full scale since the take started (lit), or a take starts.
  void ClipChanged(bool ALit);
  void ClockChanged(const QString &AText);
  void DurationChanged(double ASeconds);
  void CursorMoved(double AFraction);
  void Progress(praatkist::ui::TWorkKind AKind, int APercent);
  void SafelyEnded();

private:
  void SetState(TTakeState AState);
  // Opens, reopens or closes the input as the wish and the state allow; false when it
  // should have opened but could not (said in the status line unless AQuiet).
  bool SyncInput(bool AQuiet = false);
  void InputTick();
  // The tick runs while a take records or plays, or the input is open.
  void RunTimer();
  // Emits ViewChanged when the view differs from the one last told.
  void Publish();
  void FinishTake(bool ATrim, const QString &AEndedWhy);
  void StopFinished(const QString &APath, bool AComplete);
  void TrimFinished(const TTrimResult &AResult);
  void AnalysisFinished(const TAnalysisResult &AResult);
  void CompleteTake(const QString &APath, const QString &AEndedWhy);
  void FinishLoad();
  QString TakeStatus() const;

  TBassRecorder *FEngine;
  std::function<std::uint64_t()> FNow;
  QTimer *FTimer = nullptr;
  // Peaks of takes already analysed (before the work, which must end first).
  TPeaksCache FPeaksCache;
  TTakeWork *FWork = nullptr;
  TTakeState FState = TTakeState::Idle;
  QString FTakePath;
  std::uint64_t FRecordingStarted = 0;
  bool FSaidNoInput = false;
  bool FSaidClip = false;
  // The running clock adds what the take began with from before its start, until a
  // resume counts the clock from the take's own length.
  bool FClockHasPreRoll = false;
  TInputWish FInput;
  TInputWish FOpened; // what the open input was opened for
  bool FSaidInputProblem = false;
  // The running or last take's options, from Record on.
  TTakeOptions FOptions;
  // From a stop until the take is shown.
  bool FStopTrim = false;
  QString FEndedWhy;
  bool FTakeTrimmed = false;
  TFlowView FFacts;
  TFlowView FTold;
  bool FToldOnce = false;
};

} // namespace praatkist::ui
