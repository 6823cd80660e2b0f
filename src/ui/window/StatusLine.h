#pragma once
// TStatusLine: the window's status line. It shows what the commands and the flow say;
// while work shows its progress there, that text waits underneath and comes back when
// the work is done. It also says when an MP3 will not be written at the chosen rate.

#include <QString>

class QLabel;

namespace praatkist::ui {

enum class TWorkKind : int;

class TStatusLine {
public:
  explicit TStatusLine(QLabel *ALabel) : FLabel(ALabel) {}

  // The text as the commands leave it (underneath while progress shows).
  void Set(const QString &AText);
  QString Text() const;
  // Shown at once, progress or not (the close's notes).
  void SetNow(const QString &AText);
  // Work that showed its progress is done: the text underneath comes back.
  void Restore();
  void Progress(TWorkKind AKind, int APercent);
  // AMp3At96000: MP3 at 96000 Hz is chosen, which the encoder writes at 48000 Hz.
  void RateNote(bool AMp3At96000);

private:
  QLabel *FLabel;
  bool FProgressShown = false;
  QString FBeneath;
  QString FBeforeRateNote;
};

} // namespace praatkist::ui
