// TfrmMain and its settings file: the settings applied to the controls and parts at
// start, and what they show kept back into the file.

#include "ui/window/MainForm.h"

#include <QCheckBox>
#include <QComboBox>

#include <algorithm>

#include "platform/IniFile.h"
#include "session/SessionManager.h"
#include "ui/window/DeviceList.h"
#include "ui/window/ExportCommand.h"
#include "ui/window/KeyBindings.h"
#include "ui/window/SpeakerCommand.h"

namespace praatkist::ui {

void TfrmMain::ApplySettings(const TMainSettings &ASettings)
{
  const TMainFormControls &c = FControls;
  c.cbFormat->setCurrentIndex(std::clamp(ASettings.Format, 0, 1));
  const int rateIndex =
      c.cbRate->findText(ASettings.Rate, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (rateIndex >= 0)
    c.cbRate->setCurrentIndex(rateIndex);
  c.cbBitrate->setCurrentIndex(std::clamp(ASettings.BitrateIndex, 0, c.cbBitrate->count() - 1));
  FormatChange();
  FDevices->SetWanted(ASettings.Device.value_or(QString()));
  c.chkTrimSilence->setChecked(ASettings.TrimSilence);
  c.chkMono->setChecked(ASettings.Mono);
  FPreRollMs = ASettings.PreRollMs;
  c.chkPreRoll->setChecked(ASettings.PreRoll);
  FNextAfterTake = ASettings.NextAfterTake;
  c.chkNextAfterTake->setChecked(ASettings.NextAfterTake.value_or(false));
  FSpeaker->ApplySetting(ASettings.SpeakerScreen);
  FExport->Settings = ASettings.Export;
  ApplyHandsFreeSettings(ASettings);
  FOptionsLoaded = true;
}

void TfrmMain::SaveSettings()
{
  if (!FIni)
    return;
  TMainSettings now;
  // A stored root that could not be used at start stays until the user picks another.
  if (!FKeepStoredRoot && !FSessions->RootPath().isEmpty())
    now.Root = FSessions->RootPath();
  const TRecordingOptions options = Options();
  options.Keep(now);
  // The device the user chose, also while it is unplugged and the list shows another.
  if (!FDevices->Wanted().isEmpty())
    now.Device = FDevices->Wanted();
  else if (options.Device >= 0)
    now.Device = options.DeviceName;
  now.PreRollMs = FPreRollMs;
  now.NextAfterTake = FNextAfterTake;
  KeepHandsFreeSettings(now);
  now.SpeakerScreen = FSpeaker->Setting();
  if (FExport)
    now.Export = FExport->Settings;
  if (FKeyBindings)
    now.Keys = FKeyBindings->Keys();
  // Options that never came from the file (no engine, no device list) are layout
  // defaults: writing them would wipe what the user had chosen.
  now.Save(*FIni, FOptionsLoaded, FSettingsPath);
}

void TfrmMain::SaveSettingsQuietly()
{
  try {
    SaveSettings();
  } catch (const std::exception &) {
    // nobody to tell: the program is ending or the question was asked at the close
  }
}

} // namespace praatkist::ui
