#pragma once
// The main window's controls: created, named and placed on the window, nothing more
// (no handler is connected here; TfrmMain does that). A panel button's glyph and text
// are its Icon and Text (lblIconRecord and lblTextRecord inside btnRecord). The lists
// carry their values as item data: cbFormat the TRecordingFormat, cbRate the rate in
// Hz, cbBitrate the bit rate in kbit/s, cbDevice the device index.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QScrollArea>
#include <QSize>
#include <QString>
#include <QWidget>

#include "ui/widgets/LevelMeterWidget.h"
#include "ui/widgets/PanelButton.h"
#include "ui/widgets/TakeFiguresLine.h"
#include "ui/widgets/TextItemPanel.h"
#include "ui/widgets/WaveformWidget.h"
#include "ui/window/RecordingOptions.h"

namespace praatkist::ui {

struct TMainFormControls {
  // The page that holds every control, at the design's size; with a text list it is
  // wider by the text's column on the right, and with its frame, a title bar and the
  // desktop's panel it still fits a 1280 x 800 screen (the page ends at the status
  // line there).
  static constexpr QSize PageSize{924, 725};
  static constexpr QSize TextPageSize{1252, 710};

  QScrollArea *scrMain = nullptr;
  QLabel *lblRoot = nullptr;
  QLabel *lblTime = nullptr;
  // Above the meter: what it shows (LevelHeadingTake or, between takes with the input
  // open, LevelHeadingInput).
  QLabel *lblHeadingLevel = nullptr;
  QLabel *lblHeadingWave = nullptr;
  QLabel *lblTrimInfo = nullptr;
  TTakeFiguresLine *lblFigures = nullptr;
  QLabel *lblStatus = nullptr;
  // "OVERSTUURD" beside the meter: the take's input reached full scale.
  QLabel *lblClip = nullptr;
  TLevelMeterWidget *vu = nullptr;
  TWaveformWidget *wave = nullptr;
  QComboBox *cbSession = nullptr;
  QComboBox *cbDevice = nullptr;
  QComboBox *cbFormat = nullptr;
  QComboBox *cbRate = nullptr;
  QComboBox *cbBitrate = nullptr;
  QCheckBox *chkTrimSilence = nullptr;
  QCheckBox *chkMono = nullptr;
  // Vooropname: the input stays open between takes.
  QCheckBox *chkPreRoll = nullptr;
  QListView *lbRecordings = nullptr;
  TPanelButton *btnRoot = nullptr;
  TPanelButton *btnNew = nullptr;
  TPanelButton *btnAbout = nullptr;
  TPanelButton *btnExit = nullptr;
  TPanelButton *btnRecord = nullptr;
  TPanelButton *btnStop = nullptr;
  TPanelButton *btnListen = nullptr;
  TPanelButton *btnDelete = nullptr;
  TPanelButton *btnUndoTrim = nullptr;
  // "TOETSEN" at the end of the status line: the keys' dialog.
  TPanelButton *btnKeys = nullptr;

  // The text column, shown only while the session has a text list.
  QWidget *content = nullptr;
  QLabel *lblHeadingText = nullptr;
  TTextItemPanel *pnlText = nullptr;
  QLabel *lblTextKeys = nullptr;
  // "Na opname volgende tekst"
  QCheckBox *chkNextAfterTake = nullptr;
  // "Handsfree": takes start and stop with the speaker's voice; its lamp beside the
  // heading ("Luistert", "Neemt op", "Pauze"), hidden while it is off.
  QCheckBox *chkHandsFree = nullptr;
  QLabel *lblHandsFree = nullptr;
  // "Tekst op tweede scherm": the speaker's window on another screen (Alt+W).
  QCheckBox *chkSpeakerScreen = nullptr;
  TPanelButton *btnExport = nullptr;
  TPanelButton *btnLoadList = nullptr;
  // "OVERZICHT" beside it: the overview of the session's takes.
  TPanelButton *btnOverview = nullptr;

  // Creates every control on AForm with its layout, texts, colours and Tab order, and
  // gives AForm its size, caption, font and palette.
  void SetupControls(QWidget *AForm);
  // Shows the text column (the page grows to TextPageSize) or hides it.
  void ShowTextColumn(bool AShow) const;
  bool TextColumnShown() const { return content->width() == TextPageSize.width(); }
  QSize Page() const { return content->size(); }
  // The controls of the recording options.
  TOptionControls Options() const
  {
    return {cbFormat, cbRate, cbBitrate, cbDevice, chkMono, chkTrimSilence, chkPreRoll};
  }
};

// The listen button's two forms.
inline const QString ListenIdleText = QStringLiteral("BELUISTEREN");
inline const QString ListenIdleGlyph = QStringLiteral("▶");
inline const QString ListenPlayingText = QStringLiteral("STOP WEERGAVE");
inline const QString ListenPlayingGlyph = QStringLiteral("■");

// The meter's heading: a take (or a playback), or the open input between takes.
inline const QString LevelHeadingTake = QStringLiteral("Opnameniveau");
inline const QString LevelHeadingInput = QStringLiteral("Ingangsniveau (nog geen opname)");

// The record button's three forms: start a take, pause it, resume it.
inline const QString RecordIdleText = QStringLiteral("OPNAME STARTEN");
inline const QString RecordIdleGlyph = QStringLiteral("●");
inline const QString RecordPauseText = QStringLiteral("PAUZEREN");
inline const QString RecordPauseGlyph = QStringLiteral("❚❚");
inline const QString RecordResumeText = QStringLiteral("HERVATTEN");

} // namespace praatkist::ui
