// TfrmMain and hands-free reading: the part, its check box and lamp, Escape that ends it
// (its own key, Alt+H by default, is in the table of keys), and its settings.

#include "ui/window/MainForm.h"

#include <QCheckBox>
#include <QShortcut>

#include "ui/flow/TakeFlow.h"
#include "ui/window/HandsFree.h"
#include "ui/window/SpeakerCommand.h"
#include "ui/window/TakeCommands.h"
#include "ui/window/TextCommands.h"

namespace praatkist::ui {

void TfrmMain::ConnectHandsFree()
{
  const TMainFormControls &c = FControls;
  FHandsFree = new THandsFree({c.chkHandsFree, c.lblHandsFree, c.chkPreRoll}, *FFlow, *FText,
                              *FCommands, *FStatus, this);
  connect(FHandsFree, &THandsFree::WishChanged, this, [this] {
    FollowInput();
    Redraw();
  });
  connect(FHandsFree, &THandsFree::LampChanged, this, [this](THandsFreeLamp ALamp) {
    // the speaker's window shows it too
    static constexpr TSpeakerLamp kShown[] = {TSpeakerLamp::Off, TSpeakerLamp::Listening,
                                              TSpeakerLamp::Recording, TSpeakerLamp::Paused};
    FSpeaker->ShowLamp(kShown[static_cast<int>(ALamp)]);
    Redraw();
  });
  connect(c.chkHandsFree, &QCheckBox::clicked, this, [this](bool AOn) {
    FHandsFreeSetting = AOn;
    FHandsFree->Toggle(AOn);
  });
  // Without Vooropname nothing is listened to.
  connect(c.chkPreRoll, &QCheckBox::toggled, this, [this](bool AOn) {
    if (!AOn)
      FHandsFree->End(QStringLiteral("Handsfree uit: het luistert alleen met Vooropname."));
  });
  // The list comes: hands-free as the user left it; the list goes: hands-free ends.
  connect(FText, &TTextCommands::ColumnChanged, this, [this](bool AShown) {
    if (!AShown)
      FHandsFree->End();
    else if (FHandsFreeSetting.value_or(false) && FRecordReady)
      FHandsFree->Toggle(true);
  });
  auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] {
    if (FHandsFree->On()) {
      FHandsFreeSetting = false;
      FHandsFree->End();
    }
  });
}

void TfrmMain::RecordClick()
{
  // In hands-free mode the record button pauses the listening or the take, and goes on.
  if (FHandsFree->On())
    FHandsFree->TogglePause();
  else
    FCommands->Record();
}

void TfrmMain::ApplyHandsFreeSettings(const TMainSettings &ASettings)
{
  FHandsFreeSetting = ASettings.HandsFree;
  FSpeechThresholdDb = ASettings.SpeechThresholdDb;
  FSilenceMs = ASettings.SilenceMs;
  audio::TSpeechRules rules;
  rules.ThresholdDb = FSpeechThresholdDb.value_or(audio::kDefaultSpeechThresholdDb);
  rules.SilenceMs = FSilenceMs.value_or(audio::kDefaultSpeechSilenceMs);
  FHandsFree->SetRules(rules, FPreRollMs);
  FControls.chkHandsFree->setChecked(false); // on once a list is shown
}

void TfrmMain::KeepHandsFreeSettings(TMainSettings &ASettings) const
{
  ASettings.HandsFree = FHandsFreeSetting;
  ASettings.SpeechThresholdDb = FSpeechThresholdDb;
  ASettings.SilenceMs = FSilenceMs;
}

} // namespace praatkist::ui
