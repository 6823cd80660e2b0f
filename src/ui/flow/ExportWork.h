#pragma once
// TExportWork: a session's data set written on a worker thread of its own, so that
// the window stays served meanwhile. One export at a time:
//
//   FExport = new TExportWork(*FEngine, this);
//   connect(FExport, &TExportWork::Progress, ...);   // percent, on the tick
//   connect(FExport, &TExportWork::Finished, ...);   // the one result
//   FExport->Start(job, takes);
//   FExport->Cancel();                               // Finished(Cancelled) follows
//
// The signals come on the window's thread, where the object lives. The destructor
// cancels a running export and waits for it; the engine must outlive the object.
// No exception leaves the worker.

#include "audio/BassRecorder.h"
#include "audio/WorkControl.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <thread>
#include <vector>

namespace praatkist::ui {

enum class TExportOutcome { Done, Cancelled, Failed };

struct TExportResult {
  TExportOutcome Outcome = TExportOutcome::Failed;
  QString Error; // the engine's message where it failed
  audio::TDataSetReport Report;
};

class TExportWork : public QObject {
  Q_OBJECT

public:
  explicit TExportWork(TBassRecorder &AEngine, QObject *AParent = nullptr);
  ~TExportWork() override;
  TExportWork(const TExportWork &) = delete;
  TExportWork &operator=(const TExportWork &) = delete;

  // False when an export runs already.
  bool Start(audio::TDataSetJob AJob, std::vector<audio::TDataSetTake> ATakes);
  void Cancel() noexcept;
  bool Running() const noexcept { return FRunning; }

signals:
  void Progress(int APercent);
  void Finished(const praatkist::ui::TExportResult &AResult);

private:
  void Deliver(TExportResult AResult);
  void Join();

  TBassRecorder &FEngine;
  std::shared_ptr<audio::TWorkControl> FControl;
  QTimer FTicker;
  int FShownPercent = -1;
  bool FRunning = false;
  std::thread FWorker;
};

} // namespace praatkist::ui
