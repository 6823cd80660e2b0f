#include "ui/flow/RecordingClock.h"

#include <algorithm>

#include "ui/flow/ClockText.h"

namespace praatkist::ui {

void TRecordingClock::Start()
{
  FStarted = FNow();
  FHasPreRoll = true;
}

void TRecordingClock::Resume(double ATakeSeconds)
{
  FHasPreRoll = false; // the take's length holds it now
  const std::uint64_t now = FNow();
  FStarted = now - std::min(now, static_cast<std::uint64_t>(ATakeSeconds * 1000.0));
}

TRecordingClock::TReading TRecordingClock::Read(bool APaused, double ATakeSeconds,
                                                double APreRollSeconds) const
{
  TReading reading;
  reading.Seconds = APaused ? ATakeSeconds
                            : static_cast<double>(FNow() - FStarted) / 1000.0 +
                                  (FHasPreRoll ? APreRollSeconds : 0.0);
  reading.Text = FormatSeconds(reading.Seconds);
  return reading;
}

} // namespace praatkist::ui
