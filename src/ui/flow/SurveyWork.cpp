#include "ui/flow/SurveyWork.h"

#include "ui/flow/PathText.h"

#include <QMetaObject>

#include <exception>
#include <utility>

namespace praatkist::ui {

TSurveyWork::TSurveyWork(TBassRecorder &AEngine, QObject *AParent)
    : QObject(AParent), FEngine(AEngine)
{
}

TSurveyWork::~TSurveyWork()
{
  Cancel();
  Join();
}

bool TSurveyWork::Start(const QString &AFolder, std::vector<std::string> ANames)
{
  if (FRunning)
    return false;
  Join();
  FRunning = true;
  FControl = std::make_shared<audio::TWorkControl>();
  FWorker = std::thread([this, control = FControl, folder = AFolder,
                         names = std::move(ANames)]() noexcept {
    bool cancelled = false;
    try {
      // Nothing known: every take named is measured.
      const std::vector<audio::TStoredFigures> none;
      // Called on the survey's threads: each take is handed to the object's thread.
      const audio::TSurveyReport report = [this, &folder](std::size_t,
                                                          const audio::TSurveyedTake &ATake) {
        QMetaObject::invokeMethod(
            this, [this, folder, take = ATake] { emit Measured(folder, take); },
            Qt::QueuedConnection);
      };
      FEngine.SurveyTakes(ToPath(folder), names, control.get(), report, &none);
    } catch (...) {
      // A survey that failed as a whole leaves its takes unmeasured: they are measured
      // again when the overview opens next.
    }
    cancelled = control->Cancelled();
    // The object waits for this thread before it goes, so it is there to post to.
    QMetaObject::invokeMethod(
        this,
        [this, folder, cancelled] {
          Join();
          FRunning = false;
          emit Finished(folder, cancelled);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void TSurveyWork::Cancel() noexcept
{
  if (FControl)
    FControl->Cancel();
}

void TSurveyWork::Join()
{
  if (FWorker.joinable())
    FWorker.join();
}

} // namespace praatkist::ui
