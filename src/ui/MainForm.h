#pragma once
// TfrmMain: the program's one working window and its controller. It owns the session
// store, the audio engine and the settings file, fills the session, device and take
// lists, runs the record, stop, listen, delete and undo-trim commands and the 75 ms
// timer that feeds the clock, the level meter and the playback cursor.

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "ui/ClickLabel.h"
#include "ui/PeaksCache.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QListWidget;
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

class TTakeWork;
struct TAnalysisResult;
struct TTrimResult;
enum class TWorkKind : int;

// The application object: an exception that reaches the event loop from any handler
// is shown in a standard error box captioned with the program's name, and the program
// goes on.
class TPraatkistApplication : public QApplication {
  Q_OBJECT

public:
  TPraatkistApplication(int &argc, char **argv);
  bool notify(QObject *receiver, QEvent *event) override;

  // The general error box (the program's only stock message box).
  static void ShowGeneralError(const QString &AMessage);
};

// A box whose picture comes from its owner, with an integer tag the owner keeps for it.
class TPaintBox : public QWidget {
  Q_OBJECT

public:
  explicit TPaintBox(QWidget *AOwner);
  std::int64_t Tag = 0;
  std::function<void(QPainter &)> OnPaint;

protected:
  void paintEvent(QPaintEvent *event) override;
};

// A flat coloured panel holding a glyph label and a text label; a click on the panel
// (unless PanelClicks is off) or on either label runs OnClick. Being disabled changes
// neither its colours nor its texts: it only ignores clicks.
class TPanelButton : public QFrame {
  Q_OBJECT

public:
  explicit TPanelButton(QWidget *AOwner);
  TClickLabel *Icon = nullptr;
  TClickLabel *Text = nullptr;
  bool PanelClicks = true;
  std::function<void()> OnClick;

protected:
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  TClickTracker FClick;
};

class TfrmMain : public QWidget {
  Q_OBJECT

public:
  // ALayer is the audio layer the engine works on (owned by the caller, outliving the
  // window); null when none could be made, and then the window runs without an engine.
  // ASettingsPath: the settings file; empty takes DefaultSettingsPath().
  explicit TfrmMain(audio::IAudioLayer *ALayer, const QString &ASettingsPath = QString(),
                    QWidget *AOwner = nullptr);
  ~TfrmMain() override;

  // The settings file for a program at AExecutable: beside it with ".ini" when that
  // folder can be written, otherwise the same file name in the user's configuration
  // folder.
  static QString SettingsFilePath(const QString &AExecutable);
  static QString DefaultSettingsPath();

  // ---- controls ----
  QLabel *lblRoot;
  QLabel *lblTime;
  QLabel *lblHeadingWave;
  QLabel *lblTrimInfo;
  QLabel *lblStatus;
  TPaintBox *vu;
  TPaintBox *wave;
  QComboBox *cbSession;
  QComboBox *cbDevice;
  QComboBox *cbFormat;
  QComboBox *cbRate;
  QComboBox *cbBitrate;
  QCheckBox *chkTrimSilence;
  QCheckBox *chkMono;
  QListWidget *lbRecordings;
  TPanelButton *btnRoot;
  TClickLabel *lblIconRoot;
  TClickLabel *lblTextRoot;
  TPanelButton *btnNew;
  TClickLabel *lblIconNew;
  TClickLabel *lblTextNew;
  TPanelButton *btnAbout;
  TClickLabel *lblIconAbout;
  TClickLabel *lblTextAbout;
  TPanelButton *btnExit;
  TClickLabel *lblIconExit;
  TClickLabel *lblTextExit;
  TPanelButton *btnRecord;
  TClickLabel *lblIconRecord;
  TClickLabel *lblTextRecord;
  TPanelButton *btnStop;
  TClickLabel *lblIconStop;
  TClickLabel *lblTextStop;
  TPanelButton *btnListen;
  TClickLabel *lblIconListen;
  TClickLabel *lblTextListen;
  TPanelButton *btnDelete;
  TClickLabel *lblIconDelete;
  TClickLabel *lblTextDelete;
  TPanelButton *btnUndoTrim;
  TClickLabel *lblIconUndoTrim;
  TClickLabel *lblTextUndoTrim;
  QTimer *timer;

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
  const QString &LastFile() const { return FLastFile; }
  const std::vector<std::int32_t> &PeaksLeft() const { return FPeaksLeft; }
  const std::vector<std::int32_t> &PeaksRight() const { return FPeaksRight; }
  double WaveDuration() const { return FWaveDuration; }
  int WaveChannels() const { return FWaveChannels; }
  double PlaybackFraction() const { return FPlaybackFraction; }
  bool PlaybackCursorVisible() const { return FPlaybackCursorVisible; }
  bool TrimActive() const { return FTrimActive; }
  double TrimStartSeconds() const { return FTrimStartSeconds; }
  double TrimEndSeconds() const { return FTrimEndSeconds; }
  double VuDisplayLevel() const { return FVuDisplayLevel; }
  double VuPeakLevel() const { return FVuPeakLevel; }
  // The full path lblRoot shows (shortened there when it does not fit).
  const QString &RootShown() const { return FRootShown; }
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

public slots:
  void LoadSettings();
  // Writes what it can; raises with the names of the settings that were not kept.
  void SaveSettings();
  void FillDevices();
  void RefreshSessions();
  void RefreshRecordings();
  // Refills cbDevice when the system's device list has changed, keeping the user's
  // device when it is still there; never while a take runs.
  void PollDevices();
  void UpdateControls(bool Recording);
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
  void UpdateLevelMeter(int Level);

protected:
  // The close step: ends a running take, offers the purge, saves the settings.
  void closeEvent(QCloseEvent *event) override;
  void showEvent(QShowEvent *event) override;

private:
  void CreateControls();
  void LoadWindowIcon();
  void ShowRoot(const QString &APath);
  // Finds a root that can be listed at start: the stored one, else the default, else
  // none. Returns what the status line should say about it (empty when all is well).
  QString ApplyStartRoot(const QString &AStored);
  // Reloads the list; selects the entry named ASelect when given (else the last entry)
  // and loads only that take.
  void ReloadRecordings(const QString &ASelect);
  // Stops the playback when the take it plays is no longer among AEntries.
  void StopPlaybackOfDroppedTake(const QStringList &AEntries);
  QString TakePath(const QString &AEntry) const;
  void SetListenForm(bool APlaying);
  // The status line's text as the commands leave it; while work shows its progress
  // there, the text waits underneath and comes back when the work is done.
  void SetStatus(const QString &AText);
  QString StatusText() const;
  void WorkProgress(TWorkKind AKind, int APercent);
  void AnalysisFinished(const TAnalysisResult &AResult);
  void TrimFinished(const TTrimResult &ATrim);
  // Lists the stopped take and asks for its waveform; the stop ends in FinishAfterLoad.
  void CompleteTake(const QString &AEndedWhy);
  void FinishAfterLoad();
  // The enable rule while work runs: what would touch the take worked on is disabled;
  // when the work is done, the stop is completed and the status line comes back.
  void ApplyWorkRule();
  // Ends the running take: completes its file, optionally trims it, lists and shows it.
  // AEndedWhy: the engine's text when the take ended by itself (no trimming then).
  void FinishTake(bool ATrim, const QString &AEndedWhy);
  // The take's file is completed (AComplete: all of it); trims or lists it.
  void StopFinished(const QString &APath, bool AComplete);
  // What the user is told when the take's file could not be completed at its stop.
  QString IncompleteTakeText() const;
  void ClearWaveform();
  void PaintVU(QPainter &APainter);
  void PaintWave(QPainter &APainter);
  std::uint64_t Now() const;

  std::unique_ptr<TSessionManager> FSessions;
  audio::IAudioLayer *FLayer = nullptr;
  std::unique_ptr<TBassRecorder> FRecorder;
  std::unique_ptr<platform::TIniFile> FIni;
  QString FSettingsPath;
  // The recording options were read from the settings file, so writing them back keeps
  // what the user had (not so when the engine or the device list failed at start).
  bool FOptionsLoaded = false;
  QString FLastFile;
  QString FRootShown;
  std::vector<std::int32_t> FPeaksLeft;
  std::vector<std::int32_t> FPeaksRight;
  std::uint64_t FRecordingStarted = 0;
  double FWaveDuration = 0.0;
  int FWaveChannels = 2;
  double FPlaybackFraction = 0.0;
  bool FPlaybackCursorVisible = false;
  double FVuDisplayLevel = 0.0;
  double FVuPeakLevel = 0.0;
  std::uint64_t FVuPeakHoldUntil = 0;
  bool FTrimActive = false;
  double FTrimStartSeconds = 0.0;
  double FTrimEndSeconds = 0.0;
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
  bool FRateNoteShown = false;
  bool FEndingBySystem = false;

  // Peaks of takes already analysed; the work unit fills it (declared before the work,
  // which must end first).
  TPeaksCache FPeaksCache;
  TTakeWork *FWork = nullptr;
  // From a stop until the new take is shown: its trim, then its analysis.
  enum class TTakeEnd { None, Stopping, Trimming, Loading };
  bool FStopTrim = false; // the take being stopped is to be trimmed
  TTakeEnd FTakeEnd = TTakeEnd::None;
  QString FTakeEndedWhy;
  bool FProgressShown = false;
  QString FStatusBeneath;
  // The window was asked to close while work ran: it closes once the work has ended.
  bool FClosePending = false;
};

} // namespace praatkist::ui
