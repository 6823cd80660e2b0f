#pragma once
// TfrmMain: the program's one working window. It owns the session store, the audio
// engine, the settings and the take's flow, and puts the window together from parts,
// each with its own concern and state:
//   TMainFormControls  the controls, made and placed
//   TStatusLine        the status line: the text, work progress, the rate note
//   TDeviceList        the input list, following the system's devices
//   TTakeList          the session and take lists
//   TTakeView          the chosen take's waveform and trim note
//   TTakeCommands      record, stop, listen, delete, undo the trim
//   TKeyBindings       the commands' keys, here and in windows attached to them
// The window wires them, keeps the settings, runs the root, session and close
// commands, and draws its controls through the enable rule from one value (TFlowView):
// what the flow knows with what only the window knows.

#include <QMargins>
#include <QString>
#include <QWidget>

#include "audio/BassRecorderTuning.h"
#include "audio/TakeFormat.h"
#include "ui/flow/FlowView.h"
#include "ui/window/CommandKeys.h"
#include "ui/window/MainFormControls.h"
#include "ui/window/MainSettings.h"
#include "ui/window/RecordingOptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace praatkist {
class TSessionManager;
class TBassRecorder;
namespace audio {
class IAudioLayer;
}
namespace platform {
class TIniFile;
}
} // namespace praatkist

namespace praatkist::ui {

class TTakeFlow;
class TStatusLine;
class TDeviceList;
class TTakeList;
class TTakeView;
class TTakeCommands;
class TTextCommands;
class TExportCommand;
class TOverviewCommand;
class THandsFree;
class TKeyBindings;
class TSpeakerCommand;
enum class TTakeState;
enum class TWorkKind : int;

// What the window asks of the world, for tests to answer in its place; each left empty
// is the real one.
struct TWindowSeams {
  // Asks for the root folder, proposing AProposed (empty: none); empty when cancelled.
  // The folder dialog when empty.
  std::function<QString(const QString &AProposed)> AskRootFolder;
  // Millisecond tick count for the recording clock and the meter's peak hold; a steady
  // clock when empty.
  std::function<std::uint64_t()> TickCount;
};

class TfrmMain : public QWidget {
  Q_OBJECT

public:
  // ALayer is the audio layer the engine works on (owned by the caller, outliving the
  // window); null when none could be made, and then the window runs without an engine.
  // ASettingsPath: the settings file. ATuning: the engine's, for tests; ASeams: see
  // TWindowSeams.
  TfrmMain(audio::IAudioLayer *ALayer, const QString &ASettingsPath, QWidget *AOwner = nullptr,
           const TEngineTuning &ATuning = {}, TWindowSeams ASeams = {});
  ~TfrmMain() override;

  // The 75 ms tick of the take's flow; null once the flow has ended.
  QTimer *Timer() const;

  // ---- state, read-only ----
  const TMainFormControls &Controls() const { return FControls; }
  TTakeFlow &Flow() const { return *FFlow; }
  const TSessionManager &Sessions() const { return *FSessions; }
  TBassRecorder *Recorder() const { return FRecorder.get(); }
  const QString &LastFile() const;
  const std::vector<std::int32_t> &PeaksLeft() const { return FControls.wave->PeaksLeft(); }
  double WaveDuration() const { return FControls.wave->Duration(); }
  int WaveChannels() const { return FControls.wave->Channels(); }
  double PlaybackFraction() const { return FControls.wave->PlaybackFraction(); }
  bool PlaybackCursorVisible() const { return FControls.wave->CursorVisible(); }
  bool TrimActive() const { return FControls.wave->TrimActive(); }
  double VuDisplayLevel() const { return FControls.vu->DisplayLevel(); }
  double VuPeakLevel() const { return FControls.vu->PeakLevel(); }
  // The full path lblRoot shows (shortened there when it does not fit).
  const QString &RootShown() const { return FRootShown; }
  // The session and take lists (and the mend of a chosen session's crashed takes).
  TTakeList &TakeList() const { return *FTakes; }
  // The session's text list, shown in the text column.
  const TTextCommands &Texts() const { return *FText; }
  TTextCommands &Texts() { return *FText; }
  TExportCommand &Export() { return *FExport; }
  TOverviewCommand &Overview() { return *FOverview; }
  // The commands' keys: another top-level window that should answer them too attaches
  // itself here (AttachWindow).
  TKeyBindings &KeyBindings() const { return *FKeyBindings; }
  // "Tekst op tweede scherm": the speaker's window and its lamp.
  TSpeakerCommand &Speaker() { return *FSpeaker; }
  // The file behind the selected list entry; empty when none is selected.
  QString SelectedTakePath() const;
  // Work on a take runs off the window's thread (analysis, trimming) or a stopped take
  // is still being completed: the status line shows its progress meanwhile.
  bool WorkBusy() const;

  // The system asks the program to end (SIGTERM, the session's logout): a running take
  // is completed, the settings are saved, open questions are dismissed and the window
  // closes without asking anything.
  void EndBySystem();
  // The settings as they stand now, without any question (the session manager's save
  // request at logout).
  void SaveSettingsQuietly();
  // Writes what it can; raises with the names of the settings that were not kept.
  void SaveSettings();

protected:
  // The close step: ends a running take, offers the purge, saves the settings.
  void closeEvent(QCloseEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void moveEvent(QMoveEvent *event) override;

private:
  void MakeParts();
  void ConnectControls();
  // The keys (MainFormKeys): AKeys as read, the dispatch of each command, the hints
  // that show the keys, the keys' dialog.
  void ConnectKeys(const TCommandKeys &AKeys);
  void RunCommand(TCommand ACommand);
  void ShowKeys();
  void ChooseKeys();
  // The hands-free key clicks "Handsfree" where the window has it.
  void HandsFreeKey();
  // The pause key pauses or resumes a running take as the record button does then;
  // it never starts one.
  void PauseKey();
  void ConnectFlow();
  // The overview (MainFormOverview): its command and button, and what it follows;
  // ended before the engine goes.
  void ConnectOverview();
  void EndOverview();
  // Hands-free reading (MainFormHandsFree): the part, its controls and keys, settings.
  void ConnectHandsFree();
  void RecordClick();
  void ApplyHandsFreeSettings(const TMainSettings &ASettings);
  void KeepHandsFreeSettings(TMainSettings &ASettings) const;
  // Where the screen's free area is smaller than the page, the window takes what there
  // is and scrolls the page; elsewhere it is the page's size.
  void FitToScreen();
  QMargins FrameMargins() const;
  void LoadWindowIcon();
  void ApplySettings(const TMainSettings &ASettings);
  void ShowRoot(const QString &APath);
  // Finds a root that can be listed at start: the stored one, else the default, else
  // none. Returns what the status line should say about it (empty when all is well).
  QString ApplyStartRoot(const QString &AStored);
  // The session list anew: no session chosen, no trim shown.
  void RefreshSessions();
  // Stops the playback when the take it plays is no longer among AEntries.
  void StopPlaybackOfDroppedTake(const QStringList &AEntries);
  // Draws the controls again where the flow's facts or the window's have changed.
  void Redraw();
  // Every control's enabled state from the value.
  void Draw(const TFlowView &AView);
  void OnStateChanged(TTakeState AState);
  void OnFailure(const QString &AMessage);
  void SetListenForm(bool APlaying);
  void FormatChange();
  void RateNote();
  // Tells the flow how the input is to be kept open between takes (Vooropname), from
  // the options shown.
  void FollowInput();
  // The recording options as their controls show them now.
  TRecordingOptions Options() const;

  // The retake key (Ctrl+Shift+R): the running take of a text is rejected and, once it
  // has ended, a new take of that text starts.
  void Retake();
  // The window's own commands.
  void ChooseRoot();
  void NewSession();
  void PurgeTrimFiles();
  std::uint64_t Now() const;

  TWindowSeams FSeams;
  TMainFormControls FControls;
  std::unique_ptr<TSessionManager> FSessions;
  std::unique_ptr<TBassRecorder> FRecorder;
  std::unique_ptr<platform::TIniFile> FIni;
  // Declared after the engine: it ends before the engine goes.
  std::unique_ptr<TTakeFlow> FFlow;
  std::unique_ptr<TStatusLine> FStatus;
  TDeviceList *FDevices = nullptr;
  TTakeList *FTakes = nullptr;
  TTakeView *FView = nullptr;
  std::unique_ptr<TTakeCommands> FCommands;
  TTextCommands *FText = nullptr;
  // Declared after the engine: its export ends before the engine goes.
  std::unique_ptr<TExportCommand> FExport;
  // Owned here; deleted by EndOverview, before the flow and the engine.
  TOverviewCommand *FOverview = nullptr;
  THandsFree *FHandsFree = nullptr;
  // "Handsfree", "SpraakDrempelDb", "StilteMs": as read, or as the user set it.
  std::optional<bool> FHandsFreeSetting;
  std::optional<double> FSpeechThresholdDb;
  std::optional<int> FSilenceMs;
  // A child of the window.
  TKeyBindings *FKeyBindings = nullptr;
  // The keys the hints showed last: each hint's old key is replaced by its new one.
  TCommandKeys FKeysShown;
  // A retake waits for the rejected take's end.
  bool FRetakeWaiting = false;
  // "NaOpnameVolgendeTekst" as read, or as the user set it.
  std::optional<bool> FNextAfterTake;
  QString FSettingsPath;
  // The recording options were read from the settings file, so writing them back keeps
  // what the user had (not so when the engine or the device list failed at start).
  bool FOptionsLoaded = false;
  // "VoorloopMs": kept as read, no control shows it.
  int FPreRollMs = kDefaultPreRollMs;
  QString FRootShown;
  bool FShownOnce = false;
  // The stored root could not be used at start: it stays in the settings file until the
  // user chooses another.
  bool FKeepStoredRoot = false;
  bool FEndingBySystem = false;
  // The engine, its devices and the options came up at start: a take can be started.
  bool FRecordReady = false;
  TFlowView FDrawn;
  bool FDrawnOnce = false;
  TTakeState FShownState{};
  QMargins FFittedMargins;
  // Declared last: the speaker's window goes first, while the controls it reads stand.
  std::unique_ptr<TSpeakerCommand> FSpeaker;
};

} // namespace praatkist::ui
