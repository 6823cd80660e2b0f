#pragma once
// "Toetsen": the main window's commands with their keys, and a new key for the one
// selected. The field below the list takes the next key pressed once it listens (a
// click on it, Alt+T, or Space while it has the focus; Escape stops it listening); a key
// another command has is refused with a message naming both, and nothing changes.
// "Standaard" (Alt+S) gives every command its default key again. Nothing is kept before
// "OK" (Return); "Annuleren", Escape and the close box keep the keys as they were.

#include <QKeySequence>
#include <QString>

#include <optional>
#include <vector>

namespace praatkist::ui {

struct TKeyChoice {
  QString Label; // the command, as the list shows it
  QKeySequence Key;
  QKeySequence Default;
};

// The keys chosen, one for each of AChoices in their order; none when cancelled.
std::optional<std::vector<QKeySequence>> AskKeys(const std::vector<TKeyChoice> &AChoices);

} // namespace praatkist::ui
