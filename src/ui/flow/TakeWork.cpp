#include "ui/flow/TakeWork.h"

#include "ui/flow/PathText.h"
#include "ui/flow/ErrorText.h"
#include "ui/flow/PeaksCache.h"

#include <QMetaObject>

#include <exception>
#include <optional>
#include <string>
#include <utility>

namespace praatkist::ui {

namespace {

QString UnknownFailure()
{
  return QStringLiteral("Onbekende fout.");
}

} // namespace

TTakeWork::TTakeWork(TBassRecorder &AEngine, TPeaksCache *ACache, QObject *AParent)
    : QObject(AParent), FEngine(AEngine), FCache(ACache)
{
  FTicker.setInterval(kTickMs);
  connect(&FTicker, &QTimer::timeout, this, &TTakeWork::OnTick);
  FWorker = std::thread(&TTakeWork::WorkerLoop, this);
}

TTakeWork::~TTakeWork()
{
  WaitForSafeEnd(true);
}

// ---------------------------------------------------------------------------------------
// Requests, on the window's thread

bool TTakeWork::Analyze(const QString &APath, int AMaxPoints)
{
  if (FEnding)
    return false;
  CancelAnalysis();

  if (FCache != nullptr) {
    TCachedPeaks hit;
    if (FCache->Find(ToPath(APath), AMaxPoints, hit)) {
      TAnalysisResult result;
      result.Path = APath;
      result.FromCache = true;
      result.PeaksLeft = std::move(hit.Left);
      result.PeaksRight = std::move(hit.Right);
      result.Duration = hit.Duration;
      result.Channels = hit.Channels;
      result.Figures = hit.Figures;
      try {
        const TTrimCut trim = FEngine.ReadTrimInfo(ToPath(APath));
        result.TrimActive = trim.Trimmed;
        result.TrimStartSeconds = trim.StartSeconds;
        result.TrimEndSeconds = trim.EndSeconds;
        result.Markers = ReadMarkerSeconds(ToPath(APath));
        result.Ok = true;
      } catch (const std::exception &e) {
        result.Error = ErrorText(e);
      } catch (...) {
        result.Error = UnknownFailure();
      }
      emit AnalysisDone(result);
      return true;
    }
  }

  auto job = NewJob(APath);
  job->MaxPoints = AMaxPoints;
  FAnalysisWanted = true;
  FAnalysisTicket = job->Ticket;
  FAnalysisPath = APath;
  FAnalysisControl = job->Control;
  Post(FPendingAnalysis, std::move(job));
  StartTicker();
  return true;
}

void TTakeWork::CancelAnalysis()
{
  if (FAnalysisControl)
    FAnalysisControl->Cancel();
  FAnalysisControl.reset();
  FAnalysisWanted = false;
  FAnalysisPath.clear();
  {
    const std::lock_guard lock(FLock);
    FPendingAnalysis.reset();
  }
  if (!Busy())
    FTicker.stop();
}

bool TTakeWork::EndTake(const QString &APath, bool ATrim, TRecordingFormat AFormat, int ABitrate,
                        int AMaxPoints)
{
  if (FEnding || FEndWanted)
    return false;
  // An analysis would describe the take before its trim, or another take than the one
  // the window is about to show.
  CancelAnalysis();
  auto job = NewJob(APath);
  job->MaxPoints = AMaxPoints;
  job->Trim = ATrim;
  job->Format = AFormat;
  job->Bitrate = ABitrate;
  job->TrimControl = std::make_shared<audio::TWorkControl>();
  FEndWanted = true;
  FEndStage = TEndStage::Stopping;
  FEndTrimControl = job->TrimControl;
  FEndAnalysisControl = job->Control;
  Post(FPendingEnd, std::move(job));
  return true;
}

std::unique_ptr<TTakeWork::TJob> TTakeWork::NewJob(const QString &APath)
{
  auto job = std::make_unique<TJob>();
  job->Ticket = FNextTicket++;
  job->PathText = APath;
  job->Path = ToPath(APath);
  job->Control = std::make_shared<audio::TWorkControl>();
  return job;
}

void TTakeWork::Post(std::unique_ptr<TJob> &ASlot, std::unique_ptr<TJob> AJob)
{
  {
    const std::lock_guard lock(FLock);
    ASlot = std::move(AJob);
  }
  FWake.notify_one();
}

TWorkKind TTakeWork::Running() const noexcept
{
  if (FEndWanted && FEndStage == TEndStage::Trimming)
    return TWorkKind::Trim;
  if (FEndWanted && FEndStage == TEndStage::Loading)
    return TWorkKind::Analysis;
  if (FAnalysisWanted)
    return TWorkKind::Analysis;
  return TWorkKind::None;
}

int TTakeWork::Percent() const noexcept
{
  if (FEndWanted && FEndStage == TEndStage::Trimming && FEndTrimControl)
    return FEndTrimControl->Percent();
  if (FEndWanted && FEndStage == TEndStage::Loading && FEndAnalysisControl)
    return FEndAnalysisControl->Percent();
  if (FAnalysisWanted && FAnalysisControl)
    return FAnalysisControl->Percent();
  return 0;
}

void TTakeWork::BeginSafeEnd(bool ACancelTrim)
{
  if (FEnding)
    return;
  CancelAnalysis();
  FEnding = true;
  // A take's stop runs to its end; its trim is cancelled (one not yet begun meets the
  // flag before it has touched anything), its analysis dropped.
  if (ACancelTrim && FEndTrimControl)
    FEndTrimControl->Cancel();
  if (FEndAnalysisControl)
    FEndAnalysisControl->Cancel();
  {
    const std::lock_guard lock(FLock);
    FStop = true;
  }
  FWake.notify_one();
  FEndWanted = false;
  FEndTrimControl.reset();
  FEndAnalysisControl.reset();
  FTicker.stop();
}

void TTakeWork::WaitForSafeEnd(bool ACancelTrim)
{
  BeginSafeEnd(ACancelTrim);
  if (FWorker.joinable())
    FWorker.join();
}

// ---------------------------------------------------------------------------------------
// Progress, on the window's thread

void TTakeWork::StartTicker()
{
  FShownKind = TWorkKind::None;
  FShownPercent = -1;
  FTicker.start();
}

void TTakeWork::OnTick()
{
  if (!Busy()) {
    FTicker.stop();
    return;
  }
  const TWorkKind kind = Running();
  const int percent = Percent();
  if (kind == FShownKind && percent == FShownPercent)
    return;
  FShownKind = kind;
  FShownPercent = percent;
  emit Progress(kind, percent);
}

// ---------------------------------------------------------------------------------------
// Results coming back, on the window's thread

void TTakeWork::Remember(const TAnalysisResult &AResult, const TFileStamp &AStamp,
                         int AMaxPoints)
{
  if (FCache == nullptr)
    return;
  TCachedPeaks peaks;
  peaks.Left = AResult.PeaksLeft;
  peaks.Right = AResult.PeaksRight;
  peaks.Duration = AResult.Duration;
  peaks.Channels = AResult.Channels;
  peaks.MaxPoints = AMaxPoints;
  peaks.Figures = AResult.Figures;
  FCache->Store(ToPath(AResult.Path), AStamp, std::move(peaks));
}

void TTakeWork::DeliverAnalysis(std::uint64_t ATicket, TAnalysisResult AResult, bool AStamped,
                                const TFileStamp &AStamp, int AMaxPoints)
{
  // Peaks that came too late are still right for the file they were read from.
  if (AStamped)
    Remember(AResult, AStamp, AMaxPoints);
  if (FEnding || !FAnalysisWanted || ATicket != FAnalysisTicket)
    return;
  FAnalysisWanted = false;
  FAnalysisControl.reset();
  FAnalysisPath.clear();
  if (!Busy())
    FTicker.stop();
  emit AnalysisDone(AResult);
}

void TTakeWork::DeliverStage(TEndStage AStage, const TTrimResult &ATrim)
{
  if (FEnding || !FEndWanted)
    return;
  FEndStage = AStage;
  // The trim and the analysis each show their progress from a tick after they began.
  StartTicker();
  emit EndStage(AStage, ATrim);
}

void TTakeWork::DeliverEnd(TTakeEnd AEnd, bool AStamped, const TFileStamp &AStamp,
                           int AMaxPoints)
{
  if (AStamped)
    Remember(AEnd.Analysis, AStamp, AMaxPoints);
  if (FEnding || !FEndWanted)
    return;
  FEndWanted = false;
  FEndTrimControl.reset();
  FEndAnalysisControl.reset();
  if (!Busy())
    FTicker.stop();
  emit TakeEnded(AEnd);
}

// ---------------------------------------------------------------------------------------
// The worker

void TTakeWork::WorkerLoop() noexcept
{
  for (;;) {
    std::unique_ptr<TJob> job;
    bool end = false;
    {
      std::unique_lock lock(FLock);
      FWake.wait(lock, [this] { return FStop || FPendingEnd || FPendingAnalysis; });
      // A take's end goes first; an analysis asked for meanwhile waits behind it. Once
      // ending, a take's end still runs (its stop completes the file), an analysis not.
      if (FPendingEnd) {
        job = std::move(FPendingEnd);
        end = true;
      } else if (FPendingAnalysis && !FStop) {
        job = std::move(FPendingAnalysis);
      } else {
        break;
      }
    }
    if (end)
      RunEnd(*job);
    else
      RunAnalysis(*job);
  }
  try {
    QMetaObject::invokeMethod(
        this, [this] { emit SafelyEnded(); }, Qt::QueuedConnection);
  } catch (...) {
    // Out of memory while posting: the window learns it by the join.
  }
}

TAnalysisResult TTakeWork::Analysis(const TJob &AJob, bool &AStamped, TFileStamp &AStamp)
{
  TAnalysisResult result;
  result.Path = AJob.PathText;
  AStamped = false;
  try {
    // Taken before the file is read: a change while it is read makes the stamp stale
    // rather than the peaks.
    const bool stampRead = TFileStamp::Of(AJob.Path, AStamp);
    const std::optional<audio::TFileKey> key = audio::FileKeyOf(AJob.Path);
    TWaveAnalysis wave = FEngine.AnalyzeFile(AJob.Path, AJob.MaxPoints, AJob.Control.get(), true);
    AStamped = stampRead;
    if (key) {
      // measured once: where the session keeps its takes' figures, these go in
      const std::u8string name = AJob.Path.filename().u8string();
      audio::figure_store::Keep(AJob.Path.parent_path(),
                                {std::string(name.begin(), name.end()), *key, wave.Duration,
                                 wave.Figures});
    }
    result.PeaksLeft = std::move(wave.LeftPeaks);
    result.PeaksRight = std::move(wave.RightPeaks);
    result.Duration = wave.Duration;
    result.Channels = wave.ChannelCount;
    result.Figures = wave.Figures;
    const TTrimCut trim = FEngine.ReadTrimInfo(AJob.Path);
    result.TrimActive = trim.Trimmed;
    result.TrimStartSeconds = trim.StartSeconds;
    result.TrimEndSeconds = trim.EndSeconds;
    result.Markers = ReadMarkerSeconds(AJob.Path);
    result.Ok = true;
  } catch (const audio::EWorkCancelled &) {
    throw;
  } catch (const std::exception &e) {
    result.Error = ErrorText(e);
  } catch (...) {
    result.Error = UnknownFailure();
  }
  return result;
}

void TTakeWork::RunAnalysis(const TJob &AJob) noexcept
{
  try {
    TFileStamp stamp;
    bool stamped = false;
    TAnalysisResult result;
    try {
      result = Analysis(AJob, stamped, stamp);
    } catch (const audio::EWorkCancelled &) {
      return; // superseded or withdrawn: nobody waits for it
    }
    QMetaObject::invokeMethod(
        this,
        [this, ticket = AJob.Ticket, result = std::move(result), stamped, stamp,
         points = AJob.MaxPoints]() mutable {
          DeliverAnalysis(ticket, std::move(result), stamped, stamp, points);
        },
        Qt::QueuedConnection);
  } catch (...) {
    // Out of memory on the way back: the result is lost, the thread goes on.
  }
}

void TTakeWork::RunEnd(const TJob &AJob) noexcept
{
  try {
    const auto stage = [this](TEndStage AStage, const TTrimResult &ATrim) {
      QMetaObject::invokeMethod(
          this, [this, AStage, ATrim] { DeliverStage(AStage, ATrim); }, Qt::QueuedConnection);
    };
    TTakeEnd end;
    end.Path = AJob.PathText;
    try {
      end.Complete = FEngine.Stop();
    } catch (...) {
      end.Complete = false;
    }
    // A take whose file could not be completed is not trimmed.
    if (AJob.Trim && end.Complete) {
      stage(TEndStage::Trimming, end.Trim);
      try {
        const TTrimCut cut =
            FEngine.TrimSilence(AJob.Path, AJob.Format, AJob.Bitrate, AJob.TrimControl.get());
        end.Trim.Outcome = cut.Trimmed ? TTrimOutcome::Trimmed : TTrimOutcome::NothingToCut;
        end.Trim.StartSeconds = cut.StartSeconds;
        end.Trim.EndSeconds = cut.EndSeconds;
      } catch (const audio::EWorkCancelled &e) {
        end.Trim.Outcome = TTrimOutcome::Cancelled;
        end.Trim.Error = ErrorText(e);
      } catch (const std::exception &e) {
        end.Trim.Outcome = TTrimOutcome::Failed;
        end.Trim.Error = ErrorText(e);
      } catch (...) {
        end.Trim.Outcome = TTrimOutcome::Failed;
        end.Trim.Error = UnknownFailure();
      }
    }
    TFileStamp stamp;
    bool stamped = false;
    if (!AJob.Control->Cancelled()) {
      stage(TEndStage::Loading, end.Trim);
      try {
        end.Analysis = Analysis(AJob, stamped, stamp);
      } catch (const audio::EWorkCancelled &) {
        end.Analysis = TAnalysisResult{}; // the work is ending: nobody waits for it
      }
    }
    QMetaObject::invokeMethod(
        this,
        [this, end = std::move(end), stamped, stamp, points = AJob.MaxPoints]() mutable {
          DeliverEnd(std::move(end), stamped, stamp, points);
        },
        Qt::QueuedConnection);
  } catch (...) {
    // Out of memory on the way back: the take is stopped all the same.
  }
}

} // namespace praatkist::ui
