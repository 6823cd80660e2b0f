#pragma once
// TfrmMain: the program's one working window. It owns the session store, the audio
// engine, the settings and the take's flow; it fills the session, device and take lists,
// turns the user's clicks into the flow's commands and draws the flow's state through
// one enable rule.

#include <QMargins>
#include <QString>
#include <QWidget>

#include "ui/MainFormControls.h"
#include "ui/MainSettings.h"

#include <cstdint>
#include <functional>
#include <memory>
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
struct TAnalysisResult;
enum class TTakeState;
enum class TWorkKind : int;

class TfrmMain : public QWidget, public TMainFormControls {
  Q_OBJECT

public:
  // ALayer is the audio layer the engine works on (owned by the caller, outliving the
  // window); null when none could be made, and then the window runs without an engine.
  // ASettingsPath: the settings file.
  TfrmMain(audio::IAudioLayer *ALayer, const QString &ASettingsPath, QWidget *AOwner = nullptr);
  ~TfrmMain() override;

  // The 75 ms tick of the take's flow.
  QTimer *timer = nullptr;

  // Asks for the root folder, proposing AProposed (empty: none); empty when cancelled.
  // The folder dialog by default; tests put their own answer here.
  std::function<QString(const QString &AProposed)> AskRootFolder;
  // Millisecond tick count for the recording clock and the meter's peak hold; a steady
  // clock by default.
  std::function<std::uint64_t()> TickCount;

  // ---- state, read-only ----
  const TSessionManager &Sessions() const { return *FSessions; }
  TBassRecorder *Recorder() const { return FRecorder.get(); }
  const QString &SettingsPath() const { return FSettingsPath; }
  const QString &LastFile() const;
  const std::vector<std::int32_t> &PeaksLeft() const { return wave->PeaksLeft(); }
  const std::vector<std::int32_t> &PeaksRight() const { return wave->PeaksRight(); }
  double WaveDuration() const { return wave->Duration(); }
  int WaveChannels() const { return wave->Channels(); }
  double PlaybackFraction() const { return wave->PlaybackFraction(); }
  bool PlaybackCursorVisible() const { return wave->CursorVisible(); }
  bool TrimActive() const { return wave->TrimActive(); }
  double TrimStartSeconds() const { return wave->TrimStartSeconds(); }
  double TrimEndSeconds() const { return wave->TrimEndSeconds(); }
  double VuDisplayLevel() const { return vu->DisplayLevel(); }
  double VuPeakLevel() const { return vu->PeakLevel(); }
  // The full path lblRoot shows (shortened there when it does not fit).
  const QString &RootShown() const { return FRootShown; }
  // The file behind the selected list entry; empty when none is selected.
  QString SelectedTakePath() const;
  QString SelectedTakeOnDisk();
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

public slots:
  // Writes what it can; raises with the names of the settings that were not kept.
  void SaveSettings();
  void FillDevices();
  void RefreshSessions();
  void RefreshRecordings();
  // Refills cbDevice when the system's device list has changed, keeping the user's
  // device when it is still there; never while a take runs.
  void PollDevices();
  void PurgeTrimFiles();

  void SessionChange();
  void FormatChange();
  // Format or rate chosen: says when the take will not be written at the chosen rate.
  void RateNote();
  void RecordingSelected();
  void ChooseRoot();
  void NewSession();
  void AboutClick();
  void ExitClick();

  void RecordClick();
  void StopClick();
  void ListenClick();
  void DeleteClick();
  void UndoTrimClick();
  void Tick();
  void ResetPlaybackUi();
  void LoadWaveform();

protected:
  // The close step: ends a running take, offers the purge, saves the settings.
  void closeEvent(QCloseEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void moveEvent(QMoveEvent *event) override;

private:
  void ConnectControls();
  void ConnectKeys();
  void ConnectFlow();
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
  // Reloads the list; selects the entry whose take is at ASelect when given (else the
  // last entry) and loads only that take.
  void ReloadRecordings(const QString &ASelect);
  // Stops the playback when the take it plays is no longer among AEntries.
  void StopPlaybackOfDroppedTake(const QStringList &AEntries);
  QString SelectedEntry() const;
  // The one enable rule: every control's enabled state from the flow's state, the
  // list's selection, the shown take's trim and the chosen format.
  void ApplyEnableRule();
  void OnStateChanged(TTakeState AState);
  void OnFailure(const QString &AMessage);
  // The status line's text as the commands leave it; while work shows its progress
  // there, the text waits underneath and comes back when the work is done.
  void SetStatus(const QString &AText);
  QString StatusText() const;
  void RestoreStatus();
  void WorkProgress(TWorkKind AKind, int APercent);
  void AnalysisFinished(const TAnalysisResult &AResult);
  void SetListenForm(bool APlaying);
  void ShowTrimNote(bool AActive, double AStart, double AEnd);
  void ClearWaveform();
  std::uint64_t Now() const;

  std::unique_ptr<TSessionManager> FSessions;
  audio::IAudioLayer *FLayer = nullptr;
  std::unique_ptr<TBassRecorder> FRecorder;
  std::unique_ptr<platform::TIniFile> FIni;
  // Declared after the engine: it ends before the engine goes.
  std::unique_ptr<TTakeFlow> FFlow;
  QString FSettingsPath;
  // The recording options were read from the settings file, so writing them back keeps
  // what the user had (not so when the engine or the device list failed at start).
  bool FOptionsLoaded = false;
  // The engine, its devices and the options came up: a take can be started.
  bool FRecordReady = false;
  QString FRootShown;
  bool FShownOnce = false;
  // The stored root could not be used at start: it stays in the settings file until the
  // user chooses another.
  bool FKeepStoredRoot = false;
  // The device the user chose (from the settings or the list); found again by name when
  // the device list is refilled.
  QString FWantedDevice;
  std::uint32_t FDeviceSerial = 0;
  QTimer *FDeviceTimer = nullptr;
  QString FStatusBeforeRateNote;
  bool FEndingBySystem = false;
  bool FProgressShown = false;
  QString FStatusBeneath;
  TTakeState FShownState{};
  QMargins FFittedMargins;
};

} // namespace praatkist::ui
