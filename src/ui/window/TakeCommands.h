#pragma once
// TTakeCommands: what the take buttons do: record, stop, listen, delete and undo the
// trim. Each reads the controls and the list, and hands the take's path to the flow.

#include <QString>

#include <cstdint>

namespace praatkist {
class TSessionManager;
}

namespace praatkist::ui {

struct TMainFormControls;
class TTakeFlow;
class TStatusLine;
class TTakeList;
class TTakeView;
class TDeviceList;

class TTakeCommands {
public:
  TTakeCommands(const TMainFormControls &AControls, TSessionManager &ASessions, TTakeFlow &AFlow,
                TStatusLine &AStatus, TTakeList &ATakes, TTakeView &AView, TDeviceList &ADevices)
      : C(AControls), FSessions(ASessions), FFlow(AFlow), FStatus(AStatus), FTakes(ATakes),
        FView(AView), FDevices(ADevices)
  {
  }

  // AFromFrame: the open input's frame the take begins at (-1: its pre-roll as usual).
  void Record(std::int64_t AFromFrame = -1);
  void Stop();
  void Listen();
  void Delete();
  void UndoTrim();

private:
  // The selected take's path while its file is there; otherwise says so, reloads the
  // list and gives an empty path.
  QString SelectedTakeOnDisk();

  const TMainFormControls &C;
  TSessionManager &FSessions;
  TTakeFlow &FFlow;
  TStatusLine &FStatus;
  TTakeList &FTakes;
  TTakeView &FView;
  TDeviceList &FDevices;
};

} // namespace praatkist::ui
