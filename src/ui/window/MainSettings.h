#pragma once
// The main window's settings file: the root folder in "Sessies" and the recording
// options in "Opname", read into a small struct and written back from one.

#include <QString>

#include <optional>

#include "audio/TakeFormat.h"

namespace praatkist::platform {
class TIniFile;
}

namespace praatkist::ui {

struct TMainSettings {
  std::optional<QString> Root; // "Hoofdmap"; not written when absent
  int Format = 0;              // "Formaat", as stored (the window clamps it)
  QString Rate = QStringLiteral("48000");
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

  // Every key, its default where it is missing or unreadable. Root and Device are
  // always present after a load (empty when not stored).
  static TMainSettings Load(const platform::TIniFile &AIni);

  // Writes the root (when present), the recording options (when AOptions) and flushes
  // the file. A value holding a control character is not written. Raises EFileError
  // naming the keys that were not kept, with APathShown as the file's name.
  void Save(platform::TIniFile &AIni, bool AOptions, const QString &APathShown) const;
};

} // namespace praatkist::ui
