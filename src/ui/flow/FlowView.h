#pragma once
// What the window draws its controls from: the take's state with the few facts beside
// it, held as one value by the take's flow, and the rule that turns that value into
// the controls' enabled states (a pure function).

namespace praatkist::ui {

//   Idle       nothing runs (an analysis of a chosen take may: Working)
//   Recording  a take is being captured
//   Stopping   the stopped take's file is being completed
//   Trimming   the stopped take is being trimmed
//   Loading    the stopped take's waveform is being read before the take is shown
//   Playing    a take plays
//   Closing    the window waits for the work on a take to end safely
enum class TTakeState { Idle, Recording, Stopping, Trimming, Loading, Playing, Closing };

struct TFlowView {
  TTakeState State = TTakeState::Idle;
  // Work runs off the window's thread (analysis, trim, the take's completion).
  bool Working = false;
  // There is an engine: takes can be played, deleted and untrimmed.
  bool Engine = false;
  // The engine, its devices and the options came up: a take can be started.
  bool RecordReady = false;
  // A take of the list is selected.
  bool Selected = false;
  // The shown take has a trim that can be undone.
  bool Trimmed = false;
  // MP3 is the chosen format (its bit rate can be chosen).
  bool Mp3 = false;
  // The running take is paused (the record button resumes it).
  bool Paused = false;
  // The input is open between takes: the meter shows it (Vooropname).
  bool InputOpen = false;

  bool operator==(const TFlowView &) const = default;
};

struct TEnables {
  bool Record = false;
  bool Stop = false;
  bool Listen = false;
  bool Delete = false;
  bool UndoTrim = false;
  // The options, the session list and the root and new-session buttons.
  bool Options = false;
  bool Bitrate = false;
};

inline TEnables EnableRule(const TFlowView &AView)
{
  const bool recording = AView.State == TTakeState::Recording;
  // From the stop until the new take is shown, and while a close waits: nothing may
  // start, nor change what the trim and the list refresh work on.
  const bool held = AView.State == TTakeState::Stopping || AView.State == TTakeState::Trimming ||
                    AView.State == TTakeState::Loading || AView.State == TTakeState::Closing;
  const bool idle = !recording && !held;
  TEnables on;
  // While a take runs, the record button pauses and resumes it.
  on.Record = recording || (AView.RecordReady && idle);
  on.Stop = recording;
  on.Listen = AView.Engine && idle && AView.Selected;
  // The take being read may not be deleted or restored under the analysis.
  on.Delete = on.Listen && !AView.Working;
  on.UndoTrim = AView.Engine && idle && AView.Trimmed && !AView.Working;
  on.Options = idle;
  on.Bitrate = idle && AView.Mp3;
  return on;
}

} // namespace praatkist::ui
