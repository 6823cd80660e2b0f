#pragma once
// TRecordingClock: the clock of the running take. It counts from the take's start on
// the millisecond tick it is given, adds what the take began with from before its start
// (the open input's pre-roll) until a resume counts it from the take's own length, and
// holds at the audio the take holds while it is paused.

#include <QString>

#include <cstdint>
#include <functional>

namespace praatkist::ui {

class TRecordingClock {
public:
  explicit TRecordingClock(std::function<std::uint64_t()> ANow) : FNow(std::move(ANow)) {}

  // What the clock shows: its seconds and their text.
  struct TReading {
    double Seconds = 0.0;
    QString Text;
  };

  // A take starts now: it runs from the audio kept before the command.
  void Start();
  // The paused take resumes: the clock goes on from the time recorded (ATakeSeconds),
  // not from the time the pause lasted.
  void Resume(double ATakeSeconds);
  // The seconds the clock shows: while paused the take's length, else the time since
  // the start with the pre-roll (APreRollSeconds) until a resume.
  TReading Read(bool APaused, double ATakeSeconds, double APreRollSeconds) const;

private:
  std::function<std::uint64_t()> FNow;
  std::uint64_t FStarted = 0;
  bool FHasPreRoll = false;
};

} // namespace praatkist::ui
