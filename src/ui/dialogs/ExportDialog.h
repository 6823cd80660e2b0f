#pragma once
// The export's question: the new folder for the data set (proposed, all of it selected,
// so that Return takes it), its sample rate (the takes' own, 44100, 22050 or 16000 Hz)
// and whether it is mono. Return and "Exporteren" answer; Escape, "Annuleren" and the
// close box cancel.

#include <QString>

#include <functional>
#include <optional>

namespace praatkist::ui {

struct TExportChoice {
  QString Folder;
  int SampleRate = 0; // 0: each take's own
  bool Mono = false;
};

// AProposed is the folder shown first. ABrowse (optional) asks for a folder with the
// system's dialog when "Bladeren..." is pressed (empty: cancelled). Empty when cancelled.
std::optional<TExportChoice>
AskExport(const TExportChoice &AProposed,
          const std::function<QString(const QString &)> &ABrowse = nullptr);

} // namespace praatkist::ui
