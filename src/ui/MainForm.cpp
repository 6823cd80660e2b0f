#include "ui/MainForm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <chrono>

#include "audio/AudioLayer.h"
#include "audio/BassRecorder.h"
#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "session/SessionManager.h"
#include "ui/Accessibility.h"
#include "ui/ClockText.h"
#include "ui/DarkDialogs.h"
#include "ui/PathText.h"
#include "ui/TakeFlow.h"
#include "ui/TakeWork.h"

namespace praatkist::ui {

namespace {

std::uint64_t SteadyMilliseconds()
{
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

} // namespace

// ---------------------------------------------------------------------------------------
// Construction and destruction

TfrmMain::TfrmMain(audio::IAudioLayer *ALayer, const QString &ASettingsPath, QWidget *AOwner)
    : QWidget(AOwner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FLayer(ALayer), FSettingsPath(ASettingsPath)
{
  InstallAccessibleInterfaces();
  SetupControls(this);
  TickCount = SteadyMilliseconds;
  AskRootFolder = [this](const QString &AProposed) {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Kies of maak de hoofdmap voor sessies"), AProposed,
        QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
  };

  FSessions = std::make_unique<TSessionManager>();
  lblTrimInfo->clear();
  lblTrimInfo->hide();
  LoadWindowIcon();

  FIni = std::make_unique<platform::TIniFile>(ToPath(FSettingsPath));
  const TMainSettings stored = TMainSettings::Load(*FIni);
  const QString rootProblem = ApplyStartRoot(stored.Root.value_or(QString()));
  ShowRoot(FSessions->RootPath());

  try {
    if (FLayer == nullptr)
      throw EAudioError("Initialiseren van audio-uitgang", audio::kErrDriver);
    FRecorder = std::make_unique<TBassRecorder>(*FLayer);
  } catch (const std::exception &e) {
    lblStatus->setText(QString::fromUtf8(e.what()));
  }
  FFlow = std::make_unique<TTakeFlow>(FRecorder.get(), [this] { return Now(); });
  timer = FFlow->Timer();
  ConnectControls();
  ConnectKeys();
  ConnectFlow();

  if (FRecorder) {
    try {
      FDeviceSerial = FLayer->DeviceListSerial();
      FillDevices();
      ApplySettings(stored);
      lblStatus->setText(QStringLiteral("Klaar om op te nemen"));
      FRecordReady = true;
    } catch (const std::exception &e) {
      lblStatus->setText(QString::fromUtf8(e.what()));
    }
  }
  if (!rootProblem.isEmpty())
    lblStatus->setText(FRecordReady ? rootProblem
                                    : lblStatus->text() + QLatin1Char(' ') + rootProblem);
  else if (FRecordReady)
    RateNote();

  try {
    RefreshSessions();
  } catch (const std::exception &e) {
    // the root went away between the check above and now: the window opens all the same
    lblStatus->setText(QString::fromUtf8(e.what()));
  }
  ApplyEnableRule();

  if (FRecorder) {
    FDeviceTimer = new QTimer(this);
    FDeviceTimer->setObjectName(QStringLiteral("deviceTimer"));
    FDeviceTimer->setInterval(1000);
    connect(FDeviceTimer, &QTimer::timeout, this, &TfrmMain::PollDevices);
    FDeviceTimer->start();
  }
}

TfrmMain::~TfrmMain()
{
  // The flow's work ends before the engine it works with.
  FFlow.reset();
  timer = nullptr;
  SaveSettingsQuietly();
  FRecorder.reset();
  FIni.reset();
  FSessions.reset();
}

void TfrmMain::ConnectControls()
{
  btnRoot->OnClick = [this] { ChooseRoot(); };
  btnNew->OnClick = [this] { NewSession(); };
  btnAbout->OnClick = [this] { AboutClick(); };
  btnExit->OnClick = [this] { ExitClick(); };
  btnExit->PanelClicks = false; // only its glyph and text close the window
  btnRecord->OnClick = [this] { RecordClick(); };
  btnStop->OnClick = [this] { StopClick(); };
  btnListen->OnClick = [this] { ListenClick(); };
  btnDelete->OnClick = [this] { DeleteClick(); };
  btnUndoTrim->OnClick = [this] { UndoTrimClick(); };

  connect(cbSession, &QComboBox::activated, this, &TfrmMain::SessionChange);
  connect(cbFormat, &QComboBox::activated, this, &TfrmMain::FormatChange);
  connect(cbFormat, &QComboBox::activated, this, &TfrmMain::RateNote);
  connect(cbRate, &QComboBox::activated, this, &TfrmMain::RateNote);
  connect(cbDevice, &QComboBox::activated, this,
          [this] { FWantedDevice = cbDevice->currentText(); });
  // The selection, not the current row: a mouse press makes the row current before it
  // selects it, and the take is found through its selection.
  connect(lbRecordings, &QListWidget::itemSelectionChanged, this, &TfrmMain::RecordingSelected);
  connect(lbRecordings, &QListWidget::itemDoubleClicked, this, &TfrmMain::ListenClick);
}

void TfrmMain::ConnectKeys()
{
  // Each key runs its button's command under the button's own enable rule.
  const auto bind = [this](QKeySequence AKeys, TPanelButton *AButton, QWidget *AScope) {
    auto *shortcut = new QShortcut(AKeys, AScope);
    shortcut->setContext(AScope == this ? Qt::WindowShortcut : Qt::WidgetShortcut);
    connect(shortcut, &QShortcut::activated, AButton, &TPanelButton::Press);
    AButton->Keys = AKeys;
  };
  bind(QKeySequence(Qt::CTRL | Qt::Key_R), btnRecord, this);
  bind(QKeySequence(Qt::CTRL | Qt::Key_P), btnListen, this);
  bind(QKeySequence(Qt::Key_Delete), btnDelete, lbRecordings);
  bind(QKeySequence(Qt::CTRL | Qt::Key_Z), btnUndoTrim, this);
  bind(QKeySequence(Qt::CTRL | Qt::Key_N), btnNew, this);
  bind(QKeySequence(Qt::CTRL | Qt::Key_O), btnRoot, this);
  bind(QKeySequence(Qt::Key_F1), btnAbout, this);
  bind(QKeySequence(Qt::CTRL | Qt::Key_Q), btnExit, this);
  // Stop ends the take, or else the playback.
  const QKeySequence stopKeys(Qt::CTRL | Qt::Key_S);
  auto *stop = new QShortcut(stopKeys, this);
  connect(stop, &QShortcut::activated, this, [this] {
    if (btnStop->isEnabled())
      btnStop->Press();
    else if (FFlow->State() == TTakeState::Playing)
      btnListen->Press();
  });
  btnStop->Keys = stopKeys;
}

void TfrmMain::ConnectFlow()
{
  TTakeFlow *flow = FFlow.get();
  connect(flow, &TTakeFlow::StateChanged, this, &TfrmMain::OnStateChanged);
  connect(flow, &TTakeFlow::StatusText, this, &TfrmMain::SetStatus);
  connect(flow, &TTakeFlow::Failed, this, &TfrmMain::OnFailure);
  connect(flow, &TTakeFlow::TakeStopped, this, [this](const QString &APath) {
    // The new take is selected and analysed, also when its name does not sort last in
    // the list; no other take is read.
    ReloadRecordings(APath);
  });
  connect(flow, &TTakeFlow::TakeLoaded, this, &TfrmMain::AnalysisFinished);
  connect(flow, &TTakeFlow::PlaybackReset, this, &TfrmMain::ResetPlaybackUi);
  connect(flow, &TTakeFlow::LevelChanged, this, [this](int ALevel) { vu->Feed(ALevel, Now()); });
  connect(flow, &TTakeFlow::ClockChanged, lblTime, &QLabel::setText);
  connect(flow, &TTakeFlow::DurationChanged, wave, &TWaveformWidget::SetDuration);
  connect(flow, &TTakeFlow::CursorMoved, this,
          [this](double AFraction) { wave->SetCursor(AFraction, true); });
  connect(flow, &TTakeFlow::Progress, this, &TfrmMain::WorkProgress);
  connect(flow, &TTakeFlow::SafelyEnded, this, [this] { close(); });
}

QString TfrmMain::ApplyStartRoot(const QString &AStored)
{
  QStringList sessions;
  QString said;
  if (!TSessionManager::TrimmedName(AStored).isEmpty()) {
    try {
      FSessions->ChangeRoot(AStored, sessions);
      return QString();
    } catch (const std::exception &e) {
      // Kept in the settings file: the drive may simply not be mounted today.
      FKeepStoredRoot = true;
      said = QStringLiteral("Hoofdmap niet bruikbaar: ") + QString::fromUtf8(e.what());
    }
  }
  try {
    FSessions->LoadSessions(sessions);
    if (!said.isEmpty())
      said += QStringLiteral(" De standaardmap wordt gebruikt.");
  } catch (const std::exception &e) {
    FSessions->ClearRoot();
    if (!said.isEmpty())
      said += QLatin1Char(' ');
    said += QStringLiteral("Standaardmap niet bruikbaar: ") + QString::fromUtf8(e.what()) +
            QStringLiteral(" Kies een hoofdmap met KIES MAP.");
  }
  return said;
}

// ---------------------------------------------------------------------------------------
// State, read-only

const QString &TfrmMain::LastFile() const
{
  return FFlow->TakePath();
}

bool TfrmMain::WorkBusy() const
{
  return FFlow->Busy();
}

std::uint64_t TfrmMain::Now() const
{
  return TickCount();
}

// ---------------------------------------------------------------------------------------
// Settings

void TfrmMain::ApplySettings(const TMainSettings &ASettings)
{
  cbFormat->setCurrentIndex(std::clamp(ASettings.Format, 0, 1));
  const int rateIndex = cbRate->findText(ASettings.Rate, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (rateIndex >= 0)
    cbRate->setCurrentIndex(rateIndex);
  cbBitrate->setCurrentIndex(std::clamp(ASettings.BitrateIndex, 0, cbBitrate->count() - 1));
  FormatChange();

  const QString device = ASettings.Device.value_or(QString());
  FWantedDevice = device;
  const int deviceIndex = cbDevice->findText(device, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (!device.isEmpty() && deviceIndex >= 0)
    cbDevice->setCurrentIndex(deviceIndex);

  chkTrimSilence->setChecked(ASettings.TrimSilence);
  chkMono->setChecked(ASettings.Mono);
  FOptionsLoaded = true;
}

void TfrmMain::SaveSettings()
{
  if (!FIni)
    return;
  TMainSettings now;
  // A stored root that could not be used at start stays until the user picks another.
  if (!FKeepStoredRoot && !FSessions->RootPath().isEmpty())
    now.Root = FSessions->RootPath();
  now.Format = cbFormat->currentIndex();
  now.Rate = cbRate->currentText();
  now.BitrateIndex = cbBitrate->currentIndex();
  if (cbDevice->currentIndex() >= 0)
    now.Device = cbDevice->currentText();
  now.TrimSilence = chkTrimSilence->isChecked();
  now.Mono = chkMono->isChecked();
  // Options that never came from the file (no engine, no device list) are layout
  // defaults: writing them would wipe what the user had chosen.
  now.Save(*FIni, FOptionsLoaded, FSettingsPath);
}

void TfrmMain::SaveSettingsQuietly()
{
  try {
    SaveSettings();
  } catch (const std::exception &) {
    // nobody to tell: the program is ending or the question was asked at the close
  }
}

// ---------------------------------------------------------------------------------------
// Lists

void TfrmMain::FillDevices()
{
  cbDevice->clear();
  if (FLayer == nullptr)
    return;
  const int count = TBassRecorder::DeviceCount(*FLayer);
  for (int i = 0; i < count; ++i) {
    TBassDeviceInfo info;
    if (!TBassRecorder::DeviceInfo(*FLayer, i, info))
      continue;
    if ((info.Flags & audio::kDeviceEnabled) == 0 || (info.Flags & audio::kDeviceLoopback) != 0)
      continue;
    cbDevice->addItem(QString::fromStdString(info.Name), i);
  }
  int wanted = FWantedDevice.isEmpty()
                   ? -1
                   : cbDevice->findText(FWantedDevice, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (wanted < 0 && cbDevice->count() > 0)
    wanted = 0;
  cbDevice->setCurrentIndex(wanted);
}

void TfrmMain::PollDevices()
{
  if (FLayer == nullptr || !FRecorder || FEndingBySystem)
    return;
  // Not under a running take (its device stays as it is), nor while a take is being
  // completed, nor under an open list.
  if (FRecorder->Recording() || FFlow->TakeEnding() || cbDevice->view()->isVisible())
    return;
  const std::uint32_t serial = FLayer->DeviceListSerial();
  if (serial == FDeviceSerial)
    return;
  FDeviceSerial = serial;
  FillDevices();
}

void TfrmMain::RefreshSessions()
{
  QStringList items;
  FSessions->LoadSessions(items);
  cbSession->clear();
  cbSession->addItems(items);
  cbSession->setCurrentIndex(-1);
  wave->ClearTrim();
  ShowTrimNote(false, 0.0, 0.0);
  ApplyEnableRule();
}

QString TfrmMain::SelectedEntry() const
{
  const QListWidgetItem *item = lbRecordings->currentItem();
  if (item == nullptr || !item->isSelected())
    return QString();
  return item->text();
}

QString TfrmMain::SelectedTakePath() const
{
  const QString entry = SelectedEntry();
  return entry.isEmpty() ? QString() : FSessions->TakePath(entry);
}

void TfrmMain::StopPlaybackOfDroppedTake(const QStringList &AEntries)
{
  if (FFlow->State() != TTakeState::Playing)
    return;
  for (const QString &entry : AEntries)
    if (FSessions->TakePath(entry) == FFlow->TakePath())
      return;
  FFlow->StopPlayback();
  SetStatus(QStringLiteral("Weergave gestopt"));
}

void TfrmMain::RefreshRecordings()
{
  ReloadRecordings(QString());
}

void TfrmMain::ReloadRecordings(const QString &ASelect)
{
  QStringList items;
  FSessions->LoadRecordings(items);
  StopPlaybackOfDroppedTake(items);
  {
    const QSignalBlocker quiet(lbRecordings);
    lbRecordings->clear();
    int row = ASelect.isEmpty() ? static_cast<int>(items.size()) - 1 : -1;
    for (const QString &name : items) {
      auto *item = new QListWidgetItem(name, lbRecordings);
      item->setSizeHint(QSize(0, 17));
      if (!ASelect.isEmpty() && FSessions->TakePath(name) == ASelect)
        row = lbRecordings->count() - 1;
    }
    if (row >= 0) {
      lbRecordings->setCurrentRow(row);
    } else {
      lbRecordings->setCurrentRow(-1);
      lbRecordings->clearSelection();
    }
  }
  if (SelectedEntry().isEmpty())
    ClearWaveform();
  else
    LoadWaveform();
  ApplyEnableRule();
}

void TfrmMain::ClearWaveform()
{
  wave->Clear();
  ShowTrimNote(false, 0.0, 0.0);
  FFlow->CancelLoad();
  ApplyEnableRule();
}

void TfrmMain::ShowTrimNote(bool AActive, double AStart, double AEnd)
{
  lblTrimInfo->setText(AActive ? QStringLiteral("GETRIMD: %1 s begin / %2 s einde")
                                     .arg(TwoDecimals(AStart), TwoDecimals(AEnd))
                               : QString());
  lblTrimInfo->setVisible(AActive);
}

void TfrmMain::ShowRoot(const QString &APath)
{
  FRootShown = APath;
  lblRoot->setText(lblRoot->fontMetrics().elidedText(APath, Qt::ElideMiddle, lblRoot->width()));
}

// ---------------------------------------------------------------------------------------
// The enable rule

void TfrmMain::ApplyEnableRule()
{
  if (!FFlow)
    return;
  // Work that showed its progress is done: the status line comes back.
  if (!FFlow->WorkBusy())
    RestoreStatus();
  const TTakeState state = FFlow->State();
  const bool recording = state == TTakeState::Recording;
  // From the stop until the new take is shown, and while a close waits: nothing may
  // start, nor change what the trim and the list refresh work on.
  const bool held = FFlow->TakeEnding() || state == TTakeState::Closing;
  const bool idle = !recording && !held;
  const bool selected = !SelectedEntry().isEmpty();
  // The take being read may not be deleted or restored under the analysis.
  const bool working = FFlow->WorkBusy();
  const bool engine = FFlow->HasEngine();

  btnRecord->setEnabled(FRecordReady && idle);
  btnStop->setEnabled(recording);
  btnListen->setEnabled(engine && idle && selected);
  btnDelete->setEnabled(engine && idle && selected && !working);
  btnUndoTrim->setEnabled(engine && idle && wave->TrimActive() && !working);
  for (QWidget *control : std::initializer_list<QWidget *>{
           chkTrimSilence, chkMono, cbSession, btnNew, btnRoot, cbDevice, cbFormat, cbRate})
    control->setEnabled(idle);
  cbBitrate->setEnabled(idle && cbFormat->currentIndex() == 1);
  // btnAbout, btnExit and lbRecordings are never disabled.
}

void TfrmMain::OnStateChanged(TTakeState AState)
{
  const TTakeState was = FShownState;
  FShownState = AState;
  if (AState == TTakeState::Stopping) {
    // The meter rests while the take is being completed.
    vu->BlankBar();
  } else if (AState == TTakeState::Playing) {
    SetListenForm(true);
  } else if (AState == TTakeState::Idle &&
             (was == TTakeState::Loading || was == TTakeState::Trimming ||
              was == TTakeState::Stopping)) {
    vu->BlankBar();
    wave->update();
  }
  ApplyEnableRule();
}

void TfrmMain::OnFailure(const QString &AMessage)
{
  // The system's end asks nothing.
  if (!FEndingBySystem)
    ShowDarkError(AMessage);
}

// ---------------------------------------------------------------------------------------
// Status line

void TfrmMain::SetStatus(const QString &AText)
{
  if (FProgressShown)
    FStatusBeneath = AText;
  else
    lblStatus->setText(AText);
}

QString TfrmMain::StatusText() const
{
  return FProgressShown ? FStatusBeneath : lblStatus->text();
}

void TfrmMain::RestoreStatus()
{
  if (FProgressShown) {
    FProgressShown = false;
    lblStatus->setText(FStatusBeneath);
  }
}

void TfrmMain::WorkProgress(TWorkKind AKind, int APercent)
{
  if (AKind == TWorkKind::None || FFlow->State() == TTakeState::Closing)
    return;
  if (!FProgressShown) {
    FStatusBeneath = lblStatus->text();
    FProgressShown = true;
  }
  const QString what = AKind == TWorkKind::Trim ? QStringLiteral("Stiltes trimmen... ")
                                                : QStringLiteral("Golfvorm laden... ");
  lblStatus->setText(what + QString::number(APercent) + QLatin1Char('%'));
}

// ---------------------------------------------------------------------------------------
// Handlers of the options, sessions and list

void TfrmMain::SessionChange()
{
  if (cbSession->currentIndex() < 0) {
    StopPlaybackOfDroppedTake({});
    lbRecordings->clear();
    FFlow->CancelLoad();
    ApplyEnableRule();
    return;
  }
  try {
    FSessions->SelectSession(cbSession->currentText());
  } catch (const std::exception &e) {
    // The list showed a session that has gone: list what is there now and show the
    // store's own session again, so that the next take goes where the window says.
    try {
      RefreshSessions();
    } catch (const std::exception &) {
      cbSession->clear();
    }
    cbSession->setCurrentIndex(
        cbSession->findText(FSessions->SessionName(), Qt::MatchExactly | Qt::MatchCaseSensitive));
    if (cbSession->currentIndex() >= 0) {
      RefreshRecordings();
    } else {
      StopPlaybackOfDroppedTake({});
      lbRecordings->clear();
      ClearWaveform();
    }
    // The general error box, shown from here: an exception must not unwind through
    // the toolkit's event delivery, which leaks what it holds for the event.
    ShowGeneralError(QString::fromUtf8(e.what()));
    return;
  }
  RefreshRecordings();
}

void TfrmMain::FormatChange()
{
  ApplyEnableRule();
}

void TfrmMain::RateNote()
{
  // MP3 has no 96 kHz rate: the encoder writes such a take at 48000 Hz.
  const QString note = QStringLiteral("MP3 wordt opgeslagen met 48000 Hz.");
  const bool lowered =
      cbFormat->currentIndex() == 1 && cbRate->currentText() == QStringLiteral("96000");
  if (lowered && StatusText() != note) {
    FStatusBeforeRateNote = StatusText();
    SetStatus(note);
  } else if (!lowered && StatusText() == note) {
    SetStatus(FStatusBeforeRateNote);
  }
}

void TfrmMain::RecordingSelected()
{
  if (FFlow->State() == TTakeState::Playing)
    FFlow->StopPlayback();
  // The trim state still describes the take shown so far: nothing may act on it for
  // the new one before its own state is read.
  wave->ClearTrim();
  if (!SelectedEntry().isEmpty())
    LoadWaveform();
  else
    ClearWaveform();
  ApplyEnableRule();
}

} // namespace praatkist::ui
