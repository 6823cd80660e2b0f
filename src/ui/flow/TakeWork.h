#pragma once
// TTakeWork: the engine's long work on a take (AnalyzeFile, TrimSilence) on a worker
// thread of its own, so that the window stays served meanwhile.
//
// How the take's flow uses it (everything below is called on the window's thread, where
// the object lives; the signals are emitted there too):
//
//   FWork = new TTakeWork(*FEngine, &FPeaksCache, this);    // after the engine
//   connect(FWork, &TTakeWork::AnalysisDone, this, &TTakeFlow::...);
//   connect(FWork, &TTakeWork::TrimDone,     this, &TTakeFlow::...);
//   connect(FWork, &TTakeWork::Progress,     this, &TTakeFlow::...);
//
//   Load:   FWork->Analyze(path);            -> AnalysisDone(result)
//   Stop:   FWork->StopTake(path);           -> StopDone(path, complete)
//           FWork->Trim(path, format, kbps); -> TrimDone(result)
//   end:    FWork->WaitForSafeEnd();         (before the engine goes)
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
// Trimming
//   Trim(path, ...) runs TrimSilence. A trim always delivers TrimDone, whether it
//   trimmed, found nothing to cut, failed or was cancelled. Asking for a trim cancels
//   any analysis (its result would describe the take before the trim). While a trim
//   runs or waits, a second Trim is refused (false). An analysis asked for meanwhile
//   waits until the trim has ended.
//   CancelTrim() asks the engine to stop; the engine honours it only while the take
//   is still whole (take unchanged, no temporary file, no new trim record), otherwise
//   it completes the trim. TrimDone tells which: Cancelled, or Trimmed.
//
// State, for the status line and the enable rule
//   Busy() is true from a request until its result signal (or until the request is
//   withdrawn); it is already false while the last result's signal is handled, so the
//   window's enable rule can run from its slot. Running() tells which work the status
//   line should name (a trim before an analysis waiting behind it), Percent() how far
//   it is. Progress(kind, percent) is emitted on a 75 ms tick while work runs, only
//   when kind or percent changed; every request restarts the tick, so the first
//   Progress comes 75 ms after the latest request and short work finishes without any.
//
// Ending
//   WaitForSafeEnd(cancelTrim) blocks until no work runs: an analysis is cancelled,
//   a trim is cancelled (cancelTrim, where the take stays whole) or finished, a trim
//   not yet started is dropped when cancelTrim. Afterwards every request is refused
//   and no signal is emitted any more. BeginSafeEnd does the same without waiting and
//   emits SafelyEnded once the worker has stopped. The destructor waits for a safe
//   end (cancelling a trim). The engine must outlive this object, or at least its
//   safe end.
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
  // Loudness, peak, RMS, noise floor and clipped samples of the take as it is now
  // (Measured after a successful analysis, also from the cache).
  audio::TTakeFigures Figures;
};

struct TTrimResult {
  QString Path;         // the take, as passed to Trim
  bool Trimmed = false; // TrimSilence returned true: the take was rewritten
  // The seconds cut as the engine left them (the amounts also when it returned false).
  double TrimmedStart = 0.0;
  double TrimmedEnd = 0.0;
  // The engine raised: Error holds its message; the take is as its failure leaves it.
  bool Failed = false;
  // Cancelled where the take stayed whole: nothing on disk changed by this trim (Error
  // then holds the engine's note of the cancel).
  bool Cancelled = false;
  QString Error;
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

  // TrimSilence of the take at APath into AFormat (MP3 at ABitrate kbit/s). False
  // when a trim runs or waits already, or after a safe end.
  bool Trim(const QString &APath, TRecordingFormat AFormat, int ABitrate);
  void CancelTrim();

  // Completes the running take (the engine's Stop, which waits for the last captured
  // audio and syncs the file) on the worker, ahead of any other work; StopDone then
  // says whether the file was completed. The window must not touch the engine's take
  // meanwhile. Not cancellable: a safe end waits for it. False when ending or when a
  // stop is already on its way.
  bool StopTake(const QString &APath);

  bool Busy() const noexcept { return FAnalysisWanted || FTrimWanted || FStopWanted; }
  TWorkKind Running() const noexcept;
  int Percent() const noexcept;
  // An analysis is wanted for this take (the latest request); empty when none.
  QString AnalysisPath() const { return FAnalysisWanted ? FAnalysisPath : QString(); }

  void BeginSafeEnd(bool ACancelTrim = true);
  void WaitForSafeEnd(bool ACancelTrim = true);
  bool Ended() const noexcept { return FEnding; }

signals:
  void AnalysisDone(const praatkist::ui::TAnalysisResult &AResult);
  void TrimDone(const praatkist::ui::TTrimResult &AResult);
  void StopDone(const QString &APath, bool AComplete);
  void Progress(praatkist::ui::TWorkKind AKind, int APercent);
  void SafelyEnded();

private:
  struct TJob {
    TWorkKind Kind = TWorkKind::None; // None: the take's stop
    std::uint64_t Ticket = 0;
    QString PathText;
    std::filesystem::path Path;
    int MaxPoints = kWavePoints;
    TRecordingFormat Format = rfWave;
    int Bitrate = 0;
    std::shared_ptr<audio::TWorkControl> Control;
  };

  // A job of AKind on the take at APath with the next ticket and a control of its own.
  std::unique_ptr<TJob> NewJob(TWorkKind AKind, const QString &APath);
  // Puts AJob in ASlot (replacing one not yet started) and wakes the worker.
  void Post(std::unique_ptr<TJob> &ASlot, std::unique_ptr<TJob> AJob);
  void WorkerLoop() noexcept;
  void RunAnalysis(const TJob &AJob) noexcept;
  void RunTrim(const TJob &AJob) noexcept;
  void RunStop(const TJob &AJob) noexcept;
  // On the window's thread: a finished job's result comes in.
  void DeliverAnalysis(std::uint64_t ATicket, TAnalysisResult AResult, bool AStamped,
                       const TFileStamp &AStamp, int AMaxPoints);
  void DeliverTrim(TTrimResult AResult);
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
  bool FStopWanted = false;
  bool FTrimWanted = false;
  std::shared_ptr<audio::TWorkControl> FTrimControl;
  bool FEnding = false;
  QTimer FTicker;
  TWorkKind FShownKind = TWorkKind::None;
  int FShownPercent = -1;

  // Shared with the worker, under FLock (never held during engine work).
  std::mutex FLock;
  std::condition_variable FWake;
  std::unique_ptr<TJob> FPendingStop;
  std::unique_ptr<TJob> FPendingTrim;
  std::unique_ptr<TJob> FPendingAnalysis;
  bool FStop = false;
  std::thread FWorker;
};

} // namespace praatkist::ui
