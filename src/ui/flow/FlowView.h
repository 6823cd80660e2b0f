#pragma once
// What the window draws its controls from: what the take's flow knows (TFlowFacts) with
// the few facts only the window knows (TWindowFacts), put together by the window as one
// value, and the rule that turns that value into the controls' enabled states (a pure
// function).

namespace praatkist::ui {

//   Idle       nothing runs (an analysis of a chosen take may: Working)
//   Recording  a take is being captured
//   Stopping   the stopped take's file is being completed
//   Trimming   the stopped take is being trimmed
//   Loading    the stopped take's waveform is being read before the take is shown
//   Playing    a take plays
//   Closing    the window waits for the work on a take to end safely
enum class TTakeState { Idle, Recording, Stopping, Trimming, Loading, Playing, Closing };

// What the take's flow knows (TTakeFlow::Facts).
struct TFlowFacts {
  TTakeState State = TTakeState::Idle;
  // Work runs off the window's thread (analysis, a take's end).
  bool Working = false;
  // There is an engine: takes can be played, deleted and untrimmed.
  bool Engine = false;
  // The running take is paused (the record button resumes it).
  bool Paused = false;
  // The input is open between takes: the meter shows it (Vooropname).
  bool InputOpen = false;

  bool operator==(const TFlowFacts &) const = default;
};

// What only the window knows.
struct TWindowFacts {
  // The engine, its devices and the options came up: a take can be started.
  bool RecordReady = false;
  // A take of the list is selected.
  bool Selected = false;
  // The shown take has a trim that can be undone.
  bool Trimmed = false;
  // MP3 is the chosen format (its bit rate can be chosen).
  bool Mp3 = false;
  // Hands-free reading is on; its listening is paused.
  bool HandsFree = false;
  bool HandsFreePaused = false;

  bool operator==(const TWindowFacts &) const = default;
};

struct TFlowView {
  TFlowFacts Flow;
  TWindowFacts Window;

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
  const TFlowFacts &flow = AView.Flow;
  const TWindowFacts &window = AView.Window;
  const bool recording = flow.State == TTakeState::Recording;
  // From the stop until the new take is shown, and while a close waits: nothing may
  // start, nor change what the trim and the list refresh work on.
  const bool held = flow.State == TTakeState::Stopping || flow.State == TTakeState::Trimming ||
                    flow.State == TTakeState::Loading || flow.State == TTakeState::Closing;
  const bool idle = !recording && !held;
  TEnables on;
  // While a take runs, the record button pauses and resumes it.
  on.Record = recording || (window.RecordReady && idle);
  on.Stop = recording;
  on.Listen = flow.Engine && idle && window.Selected;
  // The take being read may not be deleted or restored under the analysis.
  on.Delete = on.Listen && !flow.Working;
  on.UndoTrim = flow.Engine && idle && window.Trimmed && !flow.Working;
  on.Options = idle;
  on.Bitrate = idle && window.Mp3;
  return on;
}

} // namespace praatkist::ui
