#include "ui/flow/MendWork.h"

#include "audio/TakeFiles.h"
#include "ui/flow/PathText.h"

#include <QMetaObject>

namespace praatkist::ui {

TMendWork::TMendWork(QObject *AParent) : QObject(AParent) {}

TMendWork::~TMendWork()
{
  Stop();
}

void TMendWork::Start(const QString &AFolder)
{
  Stop();
  FRunning = true;
  FControl = std::make_shared<audio::TWorkControl>();
  const std::uint64_t search = ++FSearch;
  FWorker = std::thread([this, control = FControl, folder = ToPath(AFolder), search]() noexcept {
    try {
      audio::RemoveAbandonedTrimTemps(folder);
      // The object waits for this thread before it goes, so it is there to post to.
      audio::MendCrashedTakes(
          folder,
          [this, search](const std::filesystem::path &ATake) {
            QMetaObject::invokeMethod(
                this,
                [this, search, path = FromPath(ATake)] {
                  if (search == FSearch)
                    emit Mended(path);
                },
                Qt::QueuedConnection);
          },
          control.get());
    } catch (...) {
      // what could not be put right now is looked at again at the next choice
    }
    QMetaObject::invokeMethod(
        this,
        [this, search] {
          if (search != FSearch)
            return;
          FRunning = false;
          emit Done();
        },
        Qt::QueuedConnection);
  });
}

void TMendWork::Stop() noexcept
{
  if (FControl)
    FControl->Cancel();
  if (FWorker.joinable())
    FWorker.join();
  FRunning = false;
}

} // namespace praatkist::ui
