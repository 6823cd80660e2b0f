#pragma once
// The export's question: the new folder for the data set (proposed, all of it selected,
// so that Return takes it), its sample rate (the takes' own, 44100, 22050 or 16000 Hz),
// whether it is mono, its file format (WAV or FLAC, 16-bit), and whether takes with
// remarks are skipped, silence at the ends is brought to a margin and the loudness to a
// target. Return and "Exporteren" answer; Escape, "Annuleren" and the close box cancel.

#include <QString>

#include <functional>
#include <optional>

namespace praatkist::ui {

struct TExportChoice {
  QString Folder;
  int SampleRate = 22050; // 0: each take's own
  bool Mono = true;
  bool Flac = false;         // else WAV
  bool SkipRemarked = false; // "Opnames met opmerkingen overslaan"
  bool TrimToMargin = false; // "Stilte aan begin en eind" to MarginMs
  int MarginMs = 200;        // kMinMarginMs .. kMaxMarginMs
  bool EvenLoudness = false; // "Luidheid gelijk maken" to LoudnessLufs
  int LoudnessLufs = -23;    // kMinLufs .. kMaxLufs
  bool operator==(const TExportChoice &) const = default;
};

inline constexpr int kMinMarginMs = 0, kMaxMarginMs = 2000;
inline constexpr int kMinLufs = -40, kMaxLufs = -10;

// AProposed is what is shown first. ABrowse (optional) asks for a folder with the
// system's dialog when "Bladeren..." is pressed (empty: cancelled). AFlacRefused: why
// FLAC cannot be written here (its choice is then disabled with that as its tooltip,
// and WAV is chosen); empty where it can. Empty when cancelled.
std::optional<TExportChoice>
AskExport(const TExportChoice &AProposed,
          const std::function<QString(const QString &)> &ABrowse = nullptr,
          const QString &AFlacRefused = QString());

} // namespace praatkist::ui
