#pragma once
// TSurveyWork: the figures of a session's takes measured on a worker thread of its own
// (TBassRecorder::SurveyTakes, the takes side by side), so that the window stays served
// meanwhile. One survey at a time:
//
//   FSurvey = new TSurveyWork(*FEngine, this);
//   connect(FSurvey, &TSurveyWork::Measured, ...);   // each take, as it is measured
//   connect(FSurvey, &TSurveyWork::Finished, ...);   // the survey has ended
//   FSurvey->Start(folder, names);
//   FSurvey->Cancel();                               // no new take is begun
//
// The takes are measured in the order given (the ones that matter most first); every
// take named is measured, whatever cijfers.tsv holds, and what was measured goes into
// that file at the end, also after a cancel. The signals come on the thread the object
// lives on. The destructor cancels a running survey and waits for it; the engine must
// outlive the object. No exception leaves the worker.

#include "audio/BassRecorder.h"
#include "audio/WorkControl.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace praatkist::ui {

class TSurveyWork : public QObject {
  Q_OBJECT

public:
  explicit TSurveyWork(TBassRecorder &AEngine, QObject *AParent = nullptr);
  ~TSurveyWork() override;
  TSurveyWork(const TSurveyWork &) = delete;
  TSurveyWork &operator=(const TSurveyWork &) = delete;

  // Measures the takes ANames (file names) of the session folder AFolder. False when a
  // survey runs already.
  bool Start(const QString &AFolder, std::vector<std::string> ANames);
  void Cancel() noexcept;
  bool Running() const noexcept { return FRunning; }

signals:
  // One take of AFolder measured, or found unreadable (ATake.Failed).
  void Measured(const QString &AFolder, const praatkist::audio::TSurveyedTake &ATake);
  // The survey of AFolder has ended (ACancelled: before every take was measured).
  void Finished(const QString &AFolder, bool ACancelled);

private:
  void Join();

  TBassRecorder &FEngine;
  std::shared_ptr<audio::TWorkControl> FControl;
  bool FRunning = false;
  std::thread FWorker;
};

} // namespace praatkist::ui

Q_DECLARE_METATYPE(praatkist::audio::TSurveyedTake)
