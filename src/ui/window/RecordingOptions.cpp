#include "ui/window/RecordingOptions.h"

#include <QCheckBox>
#include <QComboBox>

#include "ui/flow/InputKeeper.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/MainSettings.h"

namespace praatkist::ui {

QString TRecordingOptions::Extension() const
{
  return Format == rfWave ? QStringLiteral(".wav") : QStringLiteral(".mp3");
}

TTakeOptions TRecordingOptions::Take(std::int64_t AFromFrame) const
{
  TTakeOptions options;
  options.Take.Format = Format;
  options.Take.Input.SampleRate = SampleRate;
  options.Take.Bitrate = Bitrate;
  options.Take.Input.Device = Device;
  options.Take.Input.Channels = Channels();
  options.Trim = Trim;
  options.FromFrame = AFromFrame;
  return options;
}

TInputWish TRecordingOptions::Wish(int APreRollMs, bool AListen) const
{
  TInputWish wish;
  wish.On = PreRoll;
  wish.Input.Device = Device;
  wish.Input.SampleRate = SampleRate;
  wish.Input.Channels = Channels();
  wish.Input.PreRollMs = APreRollMs;
  wish.Input.Listen = AListen;
  wish.DeviceName = DeviceName;
  return wish;
}

void TRecordingOptions::Keep(TMainSettings &ASettings) const
{
  ASettings.Format = FormatIndex;
  ASettings.Rate = RateText;
  ASettings.BitrateIndex = BitrateIndex;
  ASettings.TrimSilence = Trim;
  ASettings.Mono = Mono;
  ASettings.PreRoll = PreRoll;
}

TRecordingOptions ReadRecordingOptions(const TOptionControls &AControls)
{
  TRecordingOptions o;
  o.Format = static_cast<TRecordingFormat>(AControls.Format->currentData().toInt());
  o.FormatIndex = AControls.Format->currentIndex();
  o.SampleRate = AControls.Rate->currentData().toInt();
  o.RateText = AControls.Rate->currentText();
  o.Bitrate = AControls.Bitrate->currentData().toInt();
  o.BitrateIndex = AControls.Bitrate->currentIndex();
  if (AControls.Device->currentIndex() >= 0) {
    o.Device = AControls.Device->currentData().toInt();
    o.DeviceName = AControls.Device->currentText();
  }
  o.Mono = AControls.Mono->isChecked();
  o.Trim = AControls.Trim->isChecked();
  o.PreRoll = AControls.PreRoll->isChecked();
  return o;
}

} // namespace praatkist::ui
