#pragma once
// TTakeCommands: what the take buttons do: record, stop, listen, delete and undo the
// trim. Each reads the list (and Record the session list and the options), and hands
// the take's path to the flow.

#include <QString>

#include <cstdint>

#include "ui/window/RecordingOptions.h"

class QComboBox;

namespace praatkist {
class TSessionManager;
}

namespace praatkist::ui {

class TTakeFlow;
class TStatusLine;
class TTakeList;
class TTakeView;

class TTakeCommands {
public:
  // ASession: the session list (a take needs a session chosen); AOptions: the controls
  // of the recording options, read at each start.
  TTakeCommands(QComboBox *ASession, const TOptionControls &AOptions, TSessionManager &ASessions,
                TTakeFlow &AFlow, TStatusLine &AStatus, TTakeList &ATakes, TTakeView &AView)
      : FSession(ASession), FOptions(AOptions), FSessions(ASessions), FFlow(AFlow),
        FStatus(AStatus), FTakes(ATakes), FView(AView)
  {
  }

  // AFromFrame: the open input's frame the take begins at (-1: its pre-roll as usual).
  void Record(std::int64_t AFromFrame = -1);
  void Stop();
  void Listen();
  void Delete();
  void UndoTrim();
  // The recording options as their controls show them now.
  TRecordingOptions Options() const { return ReadRecordingOptions(FOptions); }

private:
  // The selected take's path while its file is there; otherwise says so, reloads the
  // list and gives an empty path.
  QString SelectedTakeOnDisk();

  QComboBox *FSession;
  TOptionControls FOptions;
  TSessionManager &FSessions;
  TTakeFlow &FFlow;
  TStatusLine &FStatus;
  TTakeList &FTakes;
  TTakeView &FView;
};

} // namespace praatkist::ui
