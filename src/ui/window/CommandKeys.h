#pragma once
// The main window's keyed commands and the key each has: one table names every command
// (its name in the settings file, its Dutch label, its default key), and TCommandKeys
// holds the keys the user gave them, read from and written to the settings file's
// section "Toetsen" as Qt's portable key text ("Opname=F9", "Volgende=PgDown").
// Every key is one chord, and no two commands share one. Qt Gui only: no widget.

#include <QKeySequence>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

class QKeyEvent;

namespace praatkist::platform {
class TIniFile;
}

namespace praatkist::ui {

enum class TCommand : int {
  Record,            // start a take; pause or resume the running one
  Stop,              // end the take, or else the playback
  Listen,            // play the selected take, or stop its playback
  Next,              // the next text
  Previous,          // the text before
  NextWithoutChoice, // the next text without a chosen take
  Retake,            // reject the running take and record its text again
  Choose,            // choose the selected take for its text
  Mark,              // a marker where the key went down
  HandsFree,         // hands-free on or off
  Pause,             // pause or resume a running take; never starts one
  Delete,            // delete the selected take (in the take list only)
  UndoTrim,
  NewSession,
  About,
  Exit,
  LoadList, // load a text list
  Export,
  Overview,
  Root, // choose the root folder
  PreRoll,
  NextAfterTake, // "Na opname volgende tekst" on or off
  NextMarker,    // the playback on from the next marker
  PreviousMarker,
  Keys, // this very choice of keys
};

inline constexpr std::size_t kCommandCount = static_cast<std::size_t>(TCommand::Keys) + 1;

struct TCommandInfo {
  TCommand Command;
  const char *Name;  // the key in section "Toetsen"
  const char *Label; // what the keys' dialog calls it (UTF-8)
  QKeyCombination Default;
};

// Every command, in the order the keys' dialog lists them.
const std::array<TCommandInfo, kCommandCount> &CommandTable();
const TCommandInfo &CommandInfo(TCommand ACommand);
QString CommandLabel(TCommand ACommand);

// The key as the window's hints show it: the arrow keys as arrows ("Ctrl+→"), the rest
// in the system's own words.
QString ShortKeyText(const QKeySequence &AKey);

// One chord of a key that is not a modifier alone: the only keys a command can have.
bool UsableKey(const QKeySequence &AKey);
// The chord AEvent presses (the keypad's own flag left out).
QKeySequence KeyOf(const QKeyEvent &AEvent);
// AEvent presses AKey.
bool PressesKey(const QKeyEvent &AEvent, const QKeySequence &AKey);

class TCommandKeys {
public:
  // Every command with its default key.
  TCommandKeys();

  QKeySequence Key(TCommand ACommand) const { return FKeys[Index(ACommand)]; }
  // The command that has AKey, if any.
  std::optional<TCommand> Holder(const QKeySequence &AKey) const;
  // The keys of AKeys, one for each command in the table's order; none when one is not
  // usable or two are the same.
  static std::optional<TCommandKeys> Of(const std::vector<QKeySequence> &AKeys);
  bool IsDefault(TCommand ACommand) const;

  // Section "Toetsen": a line that cannot be read (no key, several chords, a modifier
  // alone) or that gives a key another command has keeps its command's default; lines
  // giving one key to several commands are all ignored. Unknown names are not read.
  static TCommandKeys Load(const platform::TIniFile &AIni);
  // Writes the keys that differ from their defaults, and a default where the file holds
  // another key for it (so that it comes back as the default). The names of the lines
  // written go into AWritten, of those that could not be into ANotKept; the file itself
  // is not written.
  void Write(platform::TIniFile &AIni, QStringList &AWritten, QStringList &ANotKept) const;

  bool operator==(const TCommandKeys &) const = default;

private:
  static std::size_t Index(TCommand ACommand) { return static_cast<std::size_t>(ACommand); }

  std::array<QKeySequence, kCommandCount> FKeys;
};

} // namespace praatkist::ui
