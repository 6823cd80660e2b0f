// TfrmMain and its keys: the key of each command (TKeyBindings) and what it runs, the
// hints that name the keys (the buttons' keys for screen readers, tooltips, the text
// column's line of keys), and the keys' dialog.

#include "ui/window/MainForm.h"

#include <QCheckBox>
#include <QLabel>

#include "audio/BassRecorder.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/dialogs/KeysDialog.h"
#include "ui/flow/ErrorText.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/HandsFree.h"
#include "ui/window/KeyBindings.h"
#include "ui/window/SpeakerCommand.h"
#include "ui/window/TakeCommands.h"
#include "ui/window/TakeList.h"
#include "ui/window/TextCommands.h"

namespace praatkist::ui {

namespace {

// A hint's key is the one in brackets: "... (Alt+V)", "... (Alt+H, Escape stopt)".
void ReplaceKeyInHint(QWidget *AWidget, const QKeySequence &AWas, const QKeySequence &ANow)
{
  if (AWidget == nullptr)
    return;
  QString hint = AWidget->toolTip();
  hint.replace(QLatin1Char('(') + AWas.toString(QKeySequence::NativeText),
               QLatin1Char('(') + ANow.toString(QKeySequence::NativeText));
  AWidget->setToolTip(hint);
}

} // namespace

void TfrmMain::ConnectKeys(const TCommandKeys &AKeys)
{
  FControls.btnKeys->OnClick = [this] { ChooseKeys(); };
  FKeyBindings = new TKeyBindings(this, FControls.lbRecordings, &SteadyNowNs);
  // The speaker's window answers the same keys.
  FKeyBindings->AttachWindow(FSpeaker->Window());
  connect(FKeyBindings, &TKeyBindings::Activated, this, &TfrmMain::RunCommand);
  // The marker lands where the key went down, in the running take or the playback.
  connect(FKeyBindings, &TKeyBindings::Marked, this,
          [this](std::int64_t APressNs) { FFlow->Mark(APressNs); });
  connect(FKeyBindings, &TKeyBindings::KeysChanged, this, &TfrmMain::ShowKeys);
  FKeyBindings->SetKeys(AKeys);
}

void TfrmMain::RunCommand(TCommand ACommand)
{
  // A key runs its button's command under the button's own enable rule.
  const TMainFormControls &c = FControls;
  switch (ACommand) {
  case TCommand::Record:
    c.btnRecord->Press();
    break;
  case TCommand::Stop:
    // the take, or else the playback
    if (c.btnStop->isEnabled())
      c.btnStop->Press();
    else if (FFlow->State() == TTakeState::Playing)
      c.btnListen->Press();
    break;
  case TCommand::Listen:
    c.btnListen->Press();
    break;
  // The text shown may change at any time: a take belongs to the text shown at its start.
  case TCommand::Next:
    FText->Next();
    break;
  case TCommand::Previous:
    FText->Previous();
    break;
  case TCommand::NextWithoutChoice:
    FText->NextWithoutChoice();
    break;
  case TCommand::Retake:
    Retake();
    break;
  case TCommand::Choose:
    if (!FFlow->TakeEnding())
      FText->Choose(FTakes->SelectedTakePath());
    break;
  case TCommand::Mark: // told by Marked, with the moment of the press
    break;
  case TCommand::HandsFree:
    HandsFreeKey();
    break;
  case TCommand::Pause:
    PauseKey();
    break;
  case TCommand::Delete:
    c.btnDelete->Press();
    break;
  case TCommand::UndoTrim:
    c.btnUndoTrim->Press();
    break;
  case TCommand::NewSession:
    c.btnNew->Press();
    break;
  case TCommand::About:
    c.btnAbout->Press();
    break;
  case TCommand::Exit:
    c.btnExit->Press();
    break;
  // Loading and exporting wait for the take's end, as the options do.
  case TCommand::LoadList:
    c.btnLoadList->Press();
    break;
  case TCommand::Export:
    c.btnExport->Press();
    break;
  case TCommand::Overview:
    c.btnOverview->Press();
    break;
  case TCommand::Root:
    c.btnRoot->Press();
    break;
  // The options' keys click them, as the mouse does (Vooropname not while it is held).
  case TCommand::PreRoll:
    if (c.chkPreRoll->isEnabled())
      c.chkPreRoll->click();
    break;
  case TCommand::NextAfterTake:
    if (c.chkNextAfterTake->isVisible())
      c.chkNextAfterTake->click();
    break;
  case TCommand::NextMarker:
  case TCommand::PreviousMarker:
    FFlow->GoToMarker(ACommand == TCommand::NextMarker);
    break;
  case TCommand::Keys:
    c.btnKeys->Press();
    break;
  }
}

void TfrmMain::HandsFreeKey()
{
  // Only while the box is shown (with a text list), as the mouse finds it.
  QCheckBox *handsFree = FControls.chkHandsFree;
  if (handsFree != nullptr && handsFree->isVisible())
    handsFree->click();
}

void TfrmMain::PauseKey()
{
  // While a take runs the record button pauses and resumes it; in hands-free mode the
  // listening too.
  if (FFlow->State() == TTakeState::Recording || (FHandsFree != nullptr && FHandsFree->On()))
    FControls.btnRecord->Press();
}

void TfrmMain::ShowKeys()
{
  const TCommandKeys &keys = FKeyBindings->Keys();
  const TMainFormControls &c = FControls;
  for (const auto &[command, button] : std::initializer_list<std::pair<TCommand, TPanelButton *>>{
           {TCommand::Record, c.btnRecord},
           {TCommand::Stop, c.btnStop},
           {TCommand::Listen, c.btnListen},
           {TCommand::Delete, c.btnDelete},
           {TCommand::UndoTrim, c.btnUndoTrim},
           {TCommand::NewSession, c.btnNew},
           {TCommand::About, c.btnAbout},
           {TCommand::Exit, c.btnExit},
           {TCommand::LoadList, c.btnLoadList},
           {TCommand::Export, c.btnExport},
           {TCommand::Overview, c.btnOverview},
           {TCommand::Root, c.btnRoot},
           {TCommand::Keys, c.btnKeys}}) {
    button->Keys = keys.Key(command);
    button->setToolTip(QStringLiteral("Toets: ") + button->Keys.toString(QKeySequence::NativeText));
  }
  for (const auto &[command, check] : std::initializer_list<std::pair<TCommand, QWidget *>>{
           {TCommand::PreRoll, c.chkPreRoll},
           {TCommand::NextAfterTake, c.chkNextAfterTake},
           {TCommand::HandsFree, c.chkHandsFree}})
    ReplaceKeyInHint(check, FKeysShown.Key(command), keys.Key(command));
  FKeysShown = keys;
  c.lblTextKeys->setText(
      QStringLiteral("%1 volgende \u00B7 %2 vorige \u00B7 %5 kiezen\n"
                     "%3 volgende zonder keuze \u00B7 %6 overzicht\n%4 opnieuw")
          .arg(ShortKeyText(keys.Key(TCommand::Next)), ShortKeyText(keys.Key(TCommand::Previous)),
               ShortKeyText(keys.Key(TCommand::NextWithoutChoice)),
               ShortKeyText(keys.Key(TCommand::Retake)), ShortKeyText(keys.Key(TCommand::Choose)),
               ShortKeyText(keys.Key(TCommand::Overview))));
}

void TfrmMain::ChooseKeys()
{
  const TCommandKeys &keys = FKeyBindings->Keys();
  std::vector<TKeyChoice> choices;
  for (const TCommandInfo &info : CommandTable())
    choices.push_back(
        {CommandLabel(info.Command), keys.Key(info.Command), QKeySequence(info.Default)});
  const std::optional<std::vector<QKeySequence>> chosen = AskKeys(choices);
  if (!chosen)
    return;
  const std::optional<TCommandKeys> now = TCommandKeys::Of(*chosen);
  if (!now || *now == keys)
    return;
  FKeyBindings->SetKeys(*now);
  // Kept at once, not only at the close.
  try {
    SaveSettings();
  } catch (const std::exception &e) {
    ShowDarkError(ErrorText(e));
  }
}

} // namespace praatkist::ui
