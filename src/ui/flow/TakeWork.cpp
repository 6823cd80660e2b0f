#include "ui/flow/TakeWork.h"

#include "ui/flow/PathText.h"
#include "ui/flow/ErrorText.h"
#include "ui/flow/PeaksCache.h"

#include <QMetaObject>

#include <exception>
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

  auto job = NewJob(TWorkKind::Analysis, APath);
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

bool TTakeWork::Trim(const QString &APath, TRecordingFormat AFormat, int ABitrate)
{
  if (FEnding || FTrimWanted)
    return false;
  CancelAnalysis();

  auto job = NewJob(TWorkKind::Trim, APath);
  job->Format = AFormat;
  job->Bitrate = ABitrate;
  FTrimWanted = true;
  FTrimControl = job->Control;
  Post(FPendingTrim, std::move(job));
  StartTicker();
  return true;
}

bool TTakeWork::StopTake(const QString &APath)
{
  if (FEnding || FStopWanted)
    return false;
  FStopWanted = true;
  Post(FPendingStop, NewJob(TWorkKind::None, APath));
  return true;
}

std::unique_ptr<TTakeWork::TJob> TTakeWork::NewJob(TWorkKind AKind, const QString &APath)
{
  auto job = std::make_unique<TJob>();
  job->Kind = AKind;
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

void TTakeWork::CancelTrim()
{
  // A trim not yet started meets the flag before it has touched anything.
  if (FTrimControl)
    FTrimControl->Cancel();
}

TWorkKind TTakeWork::Running() const noexcept
{
  if (FTrimWanted)
    return TWorkKind::Trim;
  if (FAnalysisWanted)
    return TWorkKind::Analysis;
  return TWorkKind::None;
}

int TTakeWork::Percent() const noexcept
{
  if (FTrimWanted && FTrimControl)
    return FTrimControl->Percent();
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
  if (ACancelTrim && FTrimControl)
    FTrimControl->Cancel();
  {
    const std::lock_guard lock(FLock);
    if (ACancelTrim)
      FPendingTrim.reset();
    FStop = true;
  }
  FWake.notify_one();
  FTrimWanted = false;
  FTrimControl.reset();
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

void TTakeWork::DeliverAnalysis(std::uint64_t ATicket, TAnalysisResult AResult, bool AStamped,
                                const TFileStamp &AStamp, int AMaxPoints)
{
  // Peaks that came too late are still right for the file they were read from.
  if (AStamped && FCache != nullptr) {
    TCachedPeaks peaks;
    peaks.Left = AResult.PeaksLeft;
    peaks.Right = AResult.PeaksRight;
    peaks.Duration = AResult.Duration;
    peaks.Channels = AResult.Channels;
    peaks.MaxPoints = AMaxPoints;
    peaks.Figures = AResult.Figures;
    FCache->Store(ToPath(AResult.Path), AStamp, std::move(peaks));
  }
  if (FEnding || !FAnalysisWanted || ATicket != FAnalysisTicket)
    return;
  FAnalysisWanted = false;
  FAnalysisControl.reset();
  FAnalysisPath.clear();
  if (!Busy())
    FTicker.stop();
  emit AnalysisDone(AResult);
}

void TTakeWork::DeliverTrim(TTrimResult AResult)
{
  if (FEnding || !FTrimWanted)
    return;
  FTrimWanted = false;
  FTrimControl.reset();
  if (!Busy())
    FTicker.stop();
  emit TrimDone(AResult);
}

// ---------------------------------------------------------------------------------------
// The worker

void TTakeWork::WorkerLoop() noexcept
{
  for (;;) {
    std::unique_ptr<TJob> job;
    {
      std::unique_lock lock(FLock);
      FWake.wait(lock,
                 [this] { return FStop || FPendingStop || FPendingTrim || FPendingAnalysis; });
      // The take's stop goes first, then a trim; an analysis asked for meanwhile waits
      // behind them.
      if (FPendingStop)
        job = std::move(FPendingStop);
      else if (FPendingTrim)
        job = std::move(FPendingTrim);
      else if (FPendingAnalysis)
        job = std::move(FPendingAnalysis);
      else
        break;
    }
    if (job->Kind == TWorkKind::None)
      RunStop(*job);
    else if (job->Kind == TWorkKind::Trim)
      RunTrim(*job);
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

void TTakeWork::RunAnalysis(const TJob &AJob) noexcept
{
  try {
    TAnalysisResult result;
    result.Path = AJob.PathText;
    TFileStamp stamp;
    bool stamped = false;
    try {
      // Taken before the file is read: a change while it is read makes the stamp stale
      // rather than the peaks.
      const bool stampRead = TFileStamp::Of(AJob.Path, stamp);
      TWaveAnalysis wave = FEngine.AnalyzeFile(AJob.Path, AJob.MaxPoints, AJob.Control.get(), true);
      stamped = stampRead;
      result.PeaksLeft = std::move(wave.LeftPeaks);
      result.PeaksRight = std::move(wave.RightPeaks);
      result.Duration = wave.Duration;
      result.Channels = wave.ChannelCount;
      result.Figures = wave.Figures;
      const TTrimCut trim = FEngine.ReadTrimInfo(AJob.Path);
      result.TrimActive = trim.Trimmed;
      result.TrimStartSeconds = trim.StartSeconds;
      result.TrimEndSeconds = trim.EndSeconds;
      result.Ok = true;
    } catch (const audio::EWorkCancelled &) {
      return; // superseded or withdrawn: nobody waits for it
    } catch (const std::exception &e) {
      result.Error = ErrorText(e);
    } catch (...) {
      result.Error = UnknownFailure();
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

void TTakeWork::RunTrim(const TJob &AJob) noexcept
{
  try {
    TTrimResult result;
    result.Path = AJob.PathText;
    try {
      const TTrimCut cut =
          FEngine.TrimSilence(AJob.Path, AJob.Format, AJob.Bitrate, AJob.Control.get());
      result.Trimmed = cut.Trimmed;
      result.TrimmedStart = cut.StartSeconds;
      result.TrimmedEnd = cut.EndSeconds;
    } catch (const audio::EWorkCancelled &e) {
      result.Cancelled = true;
      result.Error = ErrorText(e);
    } catch (const std::exception &e) {
      result.Failed = true;
      result.Error = ErrorText(e);
    } catch (...) {
      result.Failed = true;
      result.Error = UnknownFailure();
    }
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result)]() mutable { DeliverTrim(std::move(result)); },
        Qt::QueuedConnection);
  } catch (...) {
    // Out of memory on the way back: the result is lost, the thread goes on.
  }
}

void TTakeWork::RunStop(const TJob &AJob) noexcept
{
  bool complete = false;
  try {
    complete = FEngine.Stop();
  } catch (...) {
    complete = false;
  }
  try {
    QMetaObject::invokeMethod(
        this,
        [this, path = AJob.PathText, complete] {
          if (!FStopWanted)
            return;
          FStopWanted = false;
          if (!Busy())
            FTicker.stop();
          if (!FEnding)
            emit StopDone(path, complete);
        },
        Qt::QueuedConnection);
  } catch (...) {
    // Out of memory on the way back: the take is stopped all the same.
  }
}

} // namespace praatkist::ui
