#pragma once
// TTakeWork: the engine's long work on a take (the end of a take: its stop, trim and
// analysis; the analysis of a chosen take) on a worker thread of its own, so that the
// window stays served meanwhile.
//
// How the take's flow uses it (everything below is called on the window's thread, where
// the object lives; the signals are emitted there too):
//
//   FWork = new TTakeWork(*FEngine, &FPeaksCache, this);    // after the engine
//   connect(FWork, &TTakeWork::AnalysisDone, this, &TTakeFlow::...);
//   connect(FWork, &TTakeWork::EndStage,     this, &TTakeFlow::...);
//   connect(FWork, &TTakeWork::TakeEnded,    this, &TTakeFlow::...);
//   connect(FWork, &TTakeWork::Progress,     this, &TTakeFlow::...);
//
//   Load:   FWork->Analyze(path);               -> AnalysisDone(result)
//   Stop:   FWork->EndTake(path, trim, format); -> EndStage(Trimming), EndStage(Loading),
//                                                  TakeEnded(end)
//   end:    FWork->WaitForSafeEnd();            (before the engine goes)
//
// The take's end
//   EndTake(path, ...) runs one job ahead of any other work: the engine's Stop (which
//   waits for the last captured audio and syncs the file), TrimSilence where asked and
//   the file was completed, then AnalyzeFile and ReadTrimInfo of the take as it is
//   now. EndStage tells when the job goes on to the trim and to the analysis (the trim's
//   outcome known by then); TakeEnded brings the one result. Asking for it cancels any
//   analysis of a chosen take; one asked for meanwhile waits behind it. The window must
//   not touch the engine's take meanwhile. While it runs a second EndTake is refused.
//   Its peaks go into the cache like any analysis's.
//
// Analysis
//   Analyze(path) asks for the peaks of one take. It supersedes every earlier
//   analysis: the one running is cancelled through its audio::TWorkControl, one still
//   waiting is dropped, and neither delivers a result. Only the latest request ever
//   reaches AnalysisDone, so arrowing through a list of long takes analyses only the
//   take finally selected. When the cache given to the constructor holds the take's
//   peaks for the file as it is now, nothing runs: AnalysisDone is emitted before
//   Analyze returns (FromCache true). Peaks of a successful analysis go into the cache
//   (keyed by the file's stamp taken before it was read), also when their result came
//   too late to be delivered.
//   CancelAnalysis() withdraws the running or waiting analysis without a result (for
//   a record start, a session change, an emptied list...).
//
// State, for the status line and the enable rule
//   Busy() is true from a request until its result signal (or until the request is
//   withdrawn); it is already false while the last result's signal is handled, so the
//   window's enable rule can run from its slot. Running() tells which work the status
//   line should name (the end's trim or analysis before an analysis waiting behind it),
//   Percent() how far it is. Progress(kind, percent) is emitted on the tick (kTickMs)
//   while work runs, only when kind or percent changed; every request and every stage
//   of a take's end restarts the tick, so the first Progress comes one tick after it
//   and short work finishes without any.
//
// Ending
//   WaitForSafeEnd(cancelTrim) blocks until no work runs: an analysis is cancelled, a
//   take's stop is waited for, its trim is cancelled (cancelTrim, where the take stays
//   whole; not started at all where it had not begun) or finished, and its analysis
//   dropped. Afterwards every request is refused and no signal is emitted any more.
//   BeginSafeEnd does the same without waiting and emits SafelyEnded once the worker
//   has stopped. The destructor waits for a safe end (cancelling a trim). The engine
//   must outlive this object, or at least its safe end.
//
// The engine's messages reach the results unchanged (UTF-8 to QString). No exception
// leaves the worker; no widget is touched off the window's thread.

#include "audio/BassRecorder.h"
#include "audio/WorkControl.h"
#include "ui/flow/PeaksCache.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace praatkist::ui {

// The window's tick: the flow's levels and clock, and the work's progress.
inline constexpr int kTickMs = 75;
// Points per channel of a take's waveform.
inline constexpr int kWavePoints = 2000;

enum class TWorkKind : int { None = 0, Analysis, Trim };

struct TAnalysisResult {
  QString Path; // the take, as passed to Analyze
  // True when analysis and the trim record's reading both succeeded. False: Error
  // holds the engine's message; the fields below are what the engine left (after a
  // failed analysis empty peaks, Duration 0, Channels 0, as AnalyzeFile resets them).
  bool Ok = false;
  QString Error;
  std::vector<std::int32_t> PeaksLeft;
  std::vector<std::int32_t> PeaksRight;
  double Duration = 0.0;
  int Channels = 0; // as the engine reports it (1 mono, 2 stereo, more possible)
  // ReadTrimInfo of the take, read after the peaks.
  bool TrimActive = false;
  double TrimStartSeconds = 0.0;
  double TrimEndSeconds = 0.0;
  bool FromCache = false;
  // The take's markers in seconds (its label file, read with the trim record).
  std::vector<double> Markers;
  // Loudness, peak, RMS, noise floor and clipped samples of the take as it is now
  // (Measured after a successful analysis, also from the cache).
  audio::TTakeFigures Figures;
};

// What became of a take's trim.
enum class TTrimOutcome {
  NotAsked,     // the options asked for none, or the take's file was not completed
  Trimmed,      // the take was rewritten without its silences
  NothingToCut, // the take was left as it was
  Cancelled,    // cancelled (a safe end) where the take stayed whole
  Failed        // the engine raised: Error holds its message
};

struct TTrimResult {
  TTrimOutcome Outcome = TTrimOutcome::NotAsked;
  // The seconds cut as the engine left them (the amounts also when nothing was cut).
  double StartSeconds = 0.0;
  double EndSeconds = 0.0;
  // The engine's message (of the failure, or its note of the cancel).
  QString Error;
};

// Where a take's end has got to.
enum class TEndStage { Stopping, Trimming, Loading };

// A take's end: its stop, its trim and its analysis, in one.
struct TTakeEnd {
  QString Path; // the take, as passed to EndTake
  // The stop completed the take's file.
  bool Complete = false;
  // The take ended by itself (input gone, disk full, size limit) or its file could not
  // be completed: said after the end.
  bool ByItself = false;
  TTrimResult Trim;
  // The take as it is after the trim (Path empty where it was not analysed: the work
  // was ending).
  TAnalysisResult Analysis;
};

class TTakeWork : public QObject {
  Q_OBJECT

public:
  // AEngine and ACache (may be null: no cache) are not owned and must outlive the
  // work (or its safe end).
  explicit TTakeWork(TBassRecorder &AEngine, TPeaksCache *ACache = nullptr,
                     QObject *AParent = nullptr);
  ~TTakeWork() override;
  TTakeWork(const TTakeWork &) = delete;
  TTakeWork &operator=(const TTakeWork &) = delete;

  // Peaks of the take at APath, at most AMaxPoints per channel. False only after a
  // safe end.
  bool Analyze(const QString &APath, int AMaxPoints = kWavePoints);
  void CancelAnalysis();

  // Ends the running take at APath: its stop, its trim into AFormat (MP3 at ABitrate
  // kbit/s) where ATrim, its analysis (at most AMaxPoints per channel). False when a
  // take's end runs already, or after a safe end.
  bool EndTake(const QString &APath, bool ATrim, TRecordingFormat AFormat, int ABitrate,
               int AMaxPoints = kWavePoints);

  bool Busy() const noexcept { return FAnalysisWanted || FEndWanted; }
  TWorkKind Running() const noexcept;
  int Percent() const noexcept;
  // An analysis is wanted for this take (the latest request); empty when none.
  QString AnalysisPath() const { return FAnalysisWanted ? FAnalysisPath : QString(); }

  void BeginSafeEnd(bool ACancelTrim = true);
  void WaitForSafeEnd(bool ACancelTrim = true);
  bool Ended() const noexcept { return FEnding; }

signals:
  void AnalysisDone(const praatkist::ui::TAnalysisResult &AResult);
  // The take's end goes on to its trim or its analysis; at Loading, ATrim is the
  // trim's outcome (NotAsked before).
  void EndStage(praatkist::ui::TEndStage AStage, const praatkist::ui::TTrimResult &ATrim);
  void TakeEnded(const praatkist::ui::TTakeEnd &AEnd);
  void Progress(praatkist::ui::TWorkKind AKind, int APercent);
  void SafelyEnded();

private:
  struct TJob {
    std::uint64_t Ticket = 0;
    QString PathText;
    std::filesystem::path Path;
    int MaxPoints = kWavePoints;
    // A take's end only: its trim, and the control of that trim (Control is the
    // analysis's).
    bool Trim = false;
    TRecordingFormat Format = rfWave;
    int Bitrate = 0;
    std::shared_ptr<audio::TWorkControl> Control;
    std::shared_ptr<audio::TWorkControl> TrimControl;
  };

  // A job on the take at APath with the next ticket and a control of its own.
  std::unique_ptr<TJob> NewJob(const QString &APath);
  // Puts AJob in ASlot (replacing one not yet started) and wakes the worker.
  void Post(std::unique_ptr<TJob> &ASlot, std::unique_ptr<TJob> AJob);
  void WorkerLoop() noexcept;
  void RunAnalysis(const TJob &AJob) noexcept;
  void RunEnd(const TJob &AJob) noexcept;
  // The analysis of a take as it is now (the engine's AnalyzeFile and ReadTrimInfo);
  // raises EWorkCancelled when its control was cancelled.
  TAnalysisResult Analysis(const TJob &AJob, bool &AStamped, TFileStamp &AStamp);
  // On the window's thread: a finished job's result comes in.
  void DeliverAnalysis(std::uint64_t ATicket, TAnalysisResult AResult, bool AStamped,
                       const TFileStamp &AStamp, int AMaxPoints);
  void DeliverStage(TEndStage AStage, const TTrimResult &ATrim);
  void DeliverEnd(TTakeEnd AEnd, bool AStamped, const TFileStamp &AStamp, int AMaxPoints);
  // Peaks read from the file as it was at AStamp go into the cache.
  void Remember(const TAnalysisResult &AResult, const TFileStamp &AStamp, int AMaxPoints);
  void StartTicker();
  void OnTick();

  TBassRecorder &FEngine;
  TPeaksCache *FCache;

  // Window's thread only.
  std::uint64_t FNextTicket = 1;
  bool FAnalysisWanted = false;
  std::uint64_t FAnalysisTicket = 0;
  QString FAnalysisPath;
  std::shared_ptr<audio::TWorkControl> FAnalysisControl;
  bool FEndWanted = false;
  TEndStage FEndStage = TEndStage::Stopping;
  std::shared_ptr<audio::TWorkControl> FEndTrimControl;
  std::shared_ptr<audio::TWorkControl> FEndAnalysisControl;
  bool FEnding = false;
  QTimer FTicker;
  TWorkKind FShownKind = TWorkKind::None;
  int FShownPercent = -1;

  // Shared with the worker, under FLock (never held during engine work).
  std::mutex FLock;
  std::condition_variable FWake;
  std::unique_ptr<TJob> FPendingEnd;
  std::unique_ptr<TJob> FPendingAnalysis;
  bool FStop = false;
  std::thread FWorker;
};

} // namespace praatkist::ui
