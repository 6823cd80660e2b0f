#pragma once
// The main window's controls: created, named and placed on the window, nothing more
// (no handler is connected here; TfrmMain does that).

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QSize>
#include <QString>
#include <QWidget>

#include "ui/ClickLabel.h"
#include "ui/LevelMeterWidget.h"
#include "ui/PanelButton.h"
#include "ui/WaveformWidget.h"

namespace praatkist::ui {

struct TMainFormControls {
  // The page that holds every control, at the design's size.
  static constexpr QSize PageSize{924, 725};

  QScrollArea *scrMain = nullptr;
  QLabel *lblRoot = nullptr;
  QLabel *lblTime = nullptr;
  QLabel *lblHeadingWave = nullptr;
  QLabel *lblTrimInfo = nullptr;
  QLabel *lblStatus = nullptr;
  TLevelMeterWidget *vu = nullptr;
  TWaveformWidget *wave = nullptr;
  QComboBox *cbSession = nullptr;
  QComboBox *cbDevice = nullptr;
  QComboBox *cbFormat = nullptr;
  QComboBox *cbRate = nullptr;
  QComboBox *cbBitrate = nullptr;
  QCheckBox *chkTrimSilence = nullptr;
  QCheckBox *chkMono = nullptr;
  QListWidget *lbRecordings = nullptr;
  TPanelButton *btnRoot = nullptr;
  TClickLabel *lblIconRoot = nullptr;
  TClickLabel *lblTextRoot = nullptr;
  TPanelButton *btnNew = nullptr;
  TClickLabel *lblIconNew = nullptr;
  TClickLabel *lblTextNew = nullptr;
  TPanelButton *btnAbout = nullptr;
  TClickLabel *lblIconAbout = nullptr;
  TClickLabel *lblTextAbout = nullptr;
  TPanelButton *btnExit = nullptr;
  TClickLabel *lblIconExit = nullptr;
  TClickLabel *lblTextExit = nullptr;
  TPanelButton *btnRecord = nullptr;
  TClickLabel *lblIconRecord = nullptr;
  TClickLabel *lblTextRecord = nullptr;
  TPanelButton *btnStop = nullptr;
  TClickLabel *lblIconStop = nullptr;
  TClickLabel *lblTextStop = nullptr;
  TPanelButton *btnListen = nullptr;
  TClickLabel *lblIconListen = nullptr;
  TClickLabel *lblTextListen = nullptr;
  TPanelButton *btnDelete = nullptr;
  TClickLabel *lblIconDelete = nullptr;
  TClickLabel *lblTextDelete = nullptr;
  TPanelButton *btnUndoTrim = nullptr;
  TClickLabel *lblIconUndoTrim = nullptr;
  TClickLabel *lblTextUndoTrim = nullptr;

  // Creates every control on AForm with its layout, texts, colours and Tab order, and
  // gives AForm its size, caption, font and palette.
  void SetupControls(QWidget *AForm);
};

// The listen button's two forms.
inline const QString ListenIdleText = QStringLiteral("BELUISTEREN");
inline const QString ListenIdleGlyph = QStringLiteral("▶");
inline const QString ListenPlayingText = QStringLiteral("STOP WEERGAVE");
inline const QString ListenPlayingGlyph = QStringLiteral("■");

} // namespace praatkist::ui
