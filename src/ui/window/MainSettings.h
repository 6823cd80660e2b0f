#pragma once
// The main window's settings file: the root folder in "Sessies", the recording options
// in "Opname", the data set's options in "Export" and the commands' keys in "Toetsen",
// read into a small struct and written back from one.

#include <QString>

#include <optional>

#include "audio/TakeFormat.h"
#include "audio/SpeechRules.h"
#include "ui/window/CommandKeys.h"

namespace praatkist::platform {
class TIniFile;
}

namespace praatkist::ui {

// The export question's options, section "Export". Each is written only once it was in
// the file or the user set it, so that a file whose user never touched them stays as it
// was.
struct TExportSettings {
  std::optional<bool> SkipRemarked; // "OpmerkingenOverslaan"
  std::optional<bool> TrimToMargin; // "StilteInkorten"
  std::optional<int> MarginMs;      // "MargeMs", 0 .. 2000
  std::optional<bool> EvenLoudness; // "LuidheidGelijk"
  std::optional<int> LoudnessLufs;  // "LuidheidLufs", -40 .. -10
  std::optional<bool> Flac;         // "Bestandsformaat": "flac" or "wav"
  bool operator==(const TExportSettings &) const = default;
};

struct TMainSettings {
  std::optional<QString> Root; // "Hoofdmap"; not written when absent
  int Format = 0;              // "Formaat", as stored (the window clamps it)
  QString Rate = QString::number(kDefaultSampleRate);
  int BitrateIndex = 1;          // as stored (the window clamps it)
  std::optional<QString> Device; // "Geluidsingang"; not written when absent
  bool TrimSilence = false;
  bool Mono = false;
  bool PreRoll = false; // "Vooropname": the input stays open between takes
  int PreRollMs = kDefaultPreRollMs; // "VoorloopMs": what a take begins with from before it,
                                     // 0 .. kMaxPreRollMs
  // "NaOpnameVolgendeTekst": a take of the shown text, stopped and trimmed, moves the
  // text list on. Written only once it was in the file or the user set it.
  std::optional<bool> NextAfterTake;
  // "Handsfree", "SpraakDrempelDb" (dB above the room's noise, 3 .. 40) and "StilteMs"
  // (the silence that ends a take, 300 .. 5000): written only once in the file or set.
  // A value out of range (or unreadable) is clamped, and RangeNote says so.
  std::optional<bool> HandsFree;
  std::optional<double> SpeechThresholdDb;
  std::optional<int> SilenceMs;
  QString RangeNote;
  // "TekstOpTweedeScherm": the speaker's window on another screen. Written only once it
  // was in the file or the user set it.
  std::optional<bool> SpeakerScreen;
  TExportSettings Export; // written whether or not AOptions
  TCommandKeys Keys;      // written whether or not AOptions (see TCommandKeys::Write)

  // Every key, its default where it is missing or unreadable. Root and Device are
  // always present after a load (empty when not stored).
  static TMainSettings Load(const platform::TIniFile &AIni);

  // Writes the root (when present), the recording options (when AOptions) and flushes
  // the file. A value holding a control character is not written. Raises EFileError
  // naming the keys that were not kept, with APathShown as the file's name.
  void Save(platform::TIniFile &AIni, bool AOptions, const QString &APathShown) const;
};

} // namespace praatkist::ui
