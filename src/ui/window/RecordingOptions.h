#pragma once
// The recording options as one value: read from their controls in one place
// (ReadRecordingOptions) and handed as they are to a take's start, to the input kept
// open between takes and to the settings file.

#include <QString>

#include <cstdint>

#include "audio/TakeFormat.h"

class QCheckBox;
class QComboBox;

namespace praatkist::ui {

struct TTakeOptions;
struct TInputWish;
struct TMainSettings;

// The controls that show the options. The lists carry their values as item data:
// Format the TRecordingFormat, Rate the rate in Hz, Bitrate the bit rate in kbit/s,
// Device the engine's device index.
struct TOptionControls {
  QComboBox *Format = nullptr;
  QComboBox *Rate = nullptr;
  QComboBox *Bitrate = nullptr;
  QComboBox *Device = nullptr;
  QCheckBox *Mono = nullptr;
  QCheckBox *Trim = nullptr;
  QCheckBox *PreRoll = nullptr;
};

struct TRecordingOptions {
  TRecordingFormat Format = rfWave;
  int FormatIndex = 0; // the list's entry, as the settings file keeps it
  int SampleRate = kDefaultSampleRate;
  QString RateText;  // as the settings file keeps it
  int Bitrate = 192; // kbit/s
  int BitrateIndex = 1;
  int Device = -1;    // the engine's index; -1 when none is chosen
  QString DeviceName; // the entry shown; empty when none is chosen
  bool Mono = false;
  bool Trim = false;    // "Stiltes trimmen"
  bool PreRoll = false; // "Vooropname": the input stays open between takes

  int Channels() const { return Mono ? 1 : 2; }
  bool Mp3() const { return Format == rfMP3; }
  // MP3 has no 96 kHz rate: the encoder writes such a take at 48000 Hz.
  bool RateLowered() const { return Format == rfMP3 && SampleRate == 96000; }
  QString Extension() const;

  // A take's start from AFromFrame of the open input (-1: with its pre-roll).
  TTakeOptions Take(std::int64_t AFromFrame) const;
  // The input kept open between takes, with APreRollMs before a take, listened to for
  // speech where AListen.
  TInputWish Wish(int APreRollMs, bool AListen) const;
  // Format, rate, bit rate, trim, mono and Vooropname into ASettings (the device is
  // the device list's to keep).
  void Keep(TMainSettings &ASettings) const;

  bool operator==(const TRecordingOptions &) const = default;
};

TRecordingOptions ReadRecordingOptions(const TOptionControls &AControls);

} // namespace praatkist::ui
