#include "ui/flow/ExportWork.h"

#include "ui/flow/ErrorText.h"
#include "ui/flow/TakeWork.h"

#include <QMetaObject>

#include <exception>
#include <utility>

namespace praatkist::ui {

TExportWork::TExportWork(TBassRecorder &AEngine, QObject *AParent)
    : QObject(AParent), FEngine(AEngine)
{
  FTicker.setInterval(kTickMs);
  connect(&FTicker, &QTimer::timeout, this, [this] {
    const int percent = FControl ? FControl->Percent() : 0;
    if (percent != FShownPercent) {
      FShownPercent = percent;
      emit Progress(percent);
    }
  });
}

TExportWork::~TExportWork()
{
  Cancel();
  Join();
}

bool TExportWork::Start(audio::TDataSetJob AJob, std::vector<audio::TDataSetTake> ATakes)
{
  if (FRunning)
    return false;
  Join();
  FRunning = true;
  FShownPercent = -1;
  FControl = std::make_shared<audio::TWorkControl>();
  FTicker.start();
  FWorker = std::thread([this, control = FControl, job = std::move(AJob),
                         takes = std::move(ATakes)]() mutable noexcept {
    TExportResult result;
    try {
      result.Report = FEngine.ExportDataSet(job, std::move(takes), control.get());
      result.Outcome = TExportOutcome::Done;
    } catch (const audio::EWorkCancelled &) {
      result.Outcome = TExportOutcome::Cancelled;
    } catch (const std::exception &e) {
      // a cancel that came while the failure happened is still a cancel
      result.Outcome = control->Cancelled() ? TExportOutcome::Cancelled : TExportOutcome::Failed;
      result.Error = ErrorText(e);
    } catch (...) {
      result.Outcome = control->Cancelled() ? TExportOutcome::Cancelled : TExportOutcome::Failed;
      result.Error = QStringLiteral("Onbekende fout.");
    }
    // The object waits for this thread before it goes, so it is there to post to.
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result)]() mutable { Deliver(std::move(result)); },
        Qt::QueuedConnection);
  });
  return true;
}

void TExportWork::Cancel() noexcept
{
  if (FControl)
    FControl->Cancel();
}

void TExportWork::Deliver(TExportResult AResult)
{
  FTicker.stop();
  Join();
  FRunning = false;
  if (AResult.Outcome == TExportOutcome::Done)
    emit Progress(100);
  emit Finished(AResult);
}

void TExportWork::Join()
{
  if (FWorker.joinable())
    FWorker.join();
}

} // namespace praatkist::ui
