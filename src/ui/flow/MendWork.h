#pragma once
// TMendWork: what a crash left in a session folder, put right on a worker thread of its
// own when the session is chosen, so that the session can be used meanwhile: the
// temporary files of trims no one runs any more go, and takes a crash ended get their
// true sizes and their cue chunk (audio::MendCrashedTakes). A take still held by its
// writer, in this program or another, is left alone.
//
// One search at a time: Start cancels the one before and waits for it (it ends after
// the take it is at). The signals come on the thread the object lives on, and only for
// the latest search. The destructor cancels and waits. No exception leaves the worker.

#include "audio/WorkControl.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <thread>

namespace praatkist::ui {

class TMendWork : public QObject {
  Q_OBJECT

public:
  explicit TMendWork(QObject *AParent = nullptr);
  ~TMendWork() override;
  TMendWork(const TMendWork &) = delete;
  TMendWork &operator=(const TMendWork &) = delete;

  // Looks through the session folder AFolder.
  void Start(const QString &AFolder);
  // Ends the search, waiting for it.
  void Stop() noexcept;
  bool Running() const noexcept { return FRunning; }

signals:
  // The take at APath has been mended.
  void Mended(const QString &APath);
  // Every take of the folder has been looked at.
  void Done();

private:
  std::shared_ptr<audio::TWorkControl> FControl;
  std::uint64_t FSearch = 0; // the latest search's number
  bool FRunning = false;
  std::thread FWorker;
};

} // namespace praatkist::ui
