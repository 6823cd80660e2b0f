// TfrmMain and its overview: the command and its button (its key, Ctrl+O unless the
// user chose another, is among the window's keys), and the places the overview follows
// while it is open.

#include "ui/window/MainForm.h"

#include <QComboBox>

#include "ui/flow/TakeFlow.h"
#include "ui/window/OverviewCommand.h"
#include "ui/window/TakeList.h"

namespace praatkist::ui {

void TfrmMain::ConnectOverview()
{
  const TMainFormControls &c = FControls;
  FOverview = new TOverviewCommand(*FSessions, *FText, *FTakes, *FFlow, FRecorder.get(), this);
  c.btnOverview->OnClick = [this] { FOverview->Open(); };
  // Whenever a session is chosen.
  const auto enable = [this] {
    FControls.btnOverview->setEnabled(FControls.cbSession->currentIndex() >= 0);
  };
  connect(c.cbSession, &QComboBox::currentIndexChanged, this, enable);
  enable();

  // Takes made, deleted, chosen and rejected, a new list or session: the take list is
  // listed again (after the bindings were read, which the window connected first).
  connect(FTakes, &TTakeList::Listed, FOverview, [this] { FOverview->Listed(); });
  connect(FTakes, &TTakeList::TakeAdded, FOverview, [this] { FOverview->Listed(); });
  connect(FTakes, &TTakeList::TakeRemoved, FOverview, [this] { FOverview->Listed(); });
  connect(FTakes, &TTakeList::Remarked, FOverview, [this] { FOverview->Listed(); });
  // A take trimmed at its end or untrimmed: shown, and measured again where it changed.
  connect(FFlow.get(), &TTakeFlow::TakeEnded, FOverview,
          [this](const TTakeEnd &AEnd) { FOverview->TakeSeen(AEnd.Path); });
  connect(FFlow.get(), &TTakeFlow::TakeLoaded, FOverview,
          [this](const TAnalysisResult &AResult) { FOverview->TakeSeen(AResult.Path); });
}

void TfrmMain::EndOverview()
{
  delete std::exchange(FOverview, nullptr);
}

} // namespace praatkist::ui
