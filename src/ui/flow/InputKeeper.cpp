#include "ui/flow/InputKeeper.h"

#include "ui/flow/ErrorText.h"

namespace praatkist::ui {

namespace {

const QString InputGone =
    QStringLiteral("Vooropname: de audio-ingang is weggevallen; hij gaat weer open zodra hij "
                   "terug is.");

} // namespace

TInputKeeper::TInputKeeper(TBassRecorder *AEngine, QObject *AParent)
    : QObject(AParent), FEngine(AEngine)
{
}

bool TInputKeeper::Open() const
{
  return FEngine != nullptr && FEngine->InputOpen();
}

bool TInputKeeper::Sync(bool AMayKeep, bool AMayOpen, bool AQuiet)
{
  if (FEngine == nullptr)
    return true;
  const bool wanted = FWish.On && FWish.Input.Device >= 0 && AMayKeep;
  bool opened = true;
  if (!wanted) {
    if (FEngine->InputOpen()) {
      FEngine->CloseInput();
      emit Closed();
    }
  } else if (AMayOpen && (!FEngine->InputOpen() || !(FOpened == FWish))) {
    // A device list filled anew with the same device in the same place leaves the
    // input (and what it kept) as it is.
    try {
      FEngine->OpenInput(FWish.Input);
      FOpened = FWish;
      FSaidProblem = false;
    } catch (const std::exception &e) {
      opened = false;
      // Said once; a state change, the device list or the options try again.
      if (!FSaidProblem && !AQuiet)
        emit StatusText(QStringLiteral("Vooropname: ") + ErrorText(e));
      FSaidProblem = FSaidProblem || !AQuiet;
    }
  }
  return opened;
}

bool TInputKeeper::CheckLost(bool ALost, bool AMayKeep, bool AMayOpen)
{
  if (FEngine == nullptr || !ALost)
    return false;
  FEngine->CloseInput();
  emit Closed();
  // Back already (a server restarted between two ticks): opened again at once;
  // otherwise the device list's next change opens it.
  if (!Sync(AMayKeep, AMayOpen, true) || !FEngine->InputOpen()) {
    emit StatusText(InputGone);
    FSaidProblem = true;
  }
  return true;
}

} // namespace praatkist::ui
