#include "ui/MainForm.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>

#include "audio/AudioLayer.h"
#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/NumberText.h"
#include "session/SessionManager.h"
#include "ui/AboutForm.h"
#include "ui/ClockText.h"
#include "ui/DarkDialogs.h"
#include "ui/Fonts.h"
#include "ui/LevelMeter.h"
#include "ui/PathText.h"
#include "ui/TakeWork.h"
#include "ui/WaveformView.h"

// The resources live in the ui library; registering them by hand keeps the linker from
// dropping them. Must stand outside any namespace.
static void InitPraatkistResources()
{
  Q_INIT_RESOURCE(praatkist);
}

namespace praatkist::ui {

namespace {

constexpr QRgb Background = 0x1B1D21;
constexpr QRgb FieldBackground = 0x282B31;
constexpr QRgb WindowText = 0x8BE5E8;
constexpr QRgb DisabledText = 0x6E737A;
constexpr QRgb RedAccent = 0xCE4D4D;
constexpr QRgb BlueAccent = 0x366BA7;
constexpr QRgb GreyAccent = 0x383C43;
constexpr QRgb ClockYellow = 0xFFDF45;
constexpr QRgb TrimOrange = 0xFFA045;

constexpr int TimerInterval = 75;
constexpr int WavePoints = 2000;

const QString ListenIdleText = QStringLiteral("BELUISTEREN");
const QString ListenIdleGlyph = QStringLiteral("▶");
const QString ListenPlayingText = QStringLiteral("STOP WEERGAVE");
const QString ListenPlayingGlyph = QStringLiteral("■");
const QString FileNotFound = QStringLiteral("Het gekozen geluidsbestand werd niet gevonden.");

// Settings file: sections and keys.
constexpr const char *SecSessions = "Sessies";
constexpr const char *SecRecording = "Opname";
constexpr const char *KeyRoot = "Hoofdmap";
constexpr const char *KeyFormat = "Formaat";
constexpr const char *KeyRate = "Samplerate";
constexpr const char *KeyBitrate = "BitrateIndex";
constexpr const char *KeyDevice = "Geluidsingang";
constexpr const char *KeyTrim = "StiltesTrimmen";
constexpr const char *KeyMono = "Mono";

QString FromUtf8(const char *AText)
{
  return QString::fromUtf8(AText);
}

QString FileNamePart(const QString &APath)
{
  return QFileInfo(APath).fileName();
}

// Blanks and control characters off both ends, as the session store trims names.
QString TrimBlanks(const QString &AText)
{
  qsizetype first = 0;
  qsizetype last = AText.size();
  while (first < last && AText[first].unicode() <= 0x20)
    ++first;
  while (last > first && AText[last - 1].unicode() <= 0x20)
    --last;
  return AText.mid(first, last - first);
}

// Seconds with two decimals and the user's decimal separator.
QString TwoDecimals(double ASeconds)
{
  QString text = QString::number(ASeconds, 'f', 2);
  text.replace(QLatin1Char('.'), QLatin1Char(platform::UserDecimalSeparator()));
  return text;
}

QString TrimText(const QString &APrefix, double AStart, double AEnd)
{
  return QStringLiteral("%1%2 s begin / %3 s einde")
      .arg(APrefix, TwoDecimals(AStart), TwoDecimals(AEnd));
}

void SetTextColour(QWidget *AWidget, QRgb AColour)
{
  QPalette pal = AWidget->palette();
  pal.setColor(QPalette::WindowText, QColor::fromRgb(AColour));
  AWidget->setPalette(pal);
}

QLabel *MakeLabel(QWidget *AOwner, const QString &AName, int ALeft, int ATop, const QString &AText)
{
  auto *label = new QLabel(AOwner);
  label->setObjectName(AName);
  label->setTextFormat(Qt::PlainText);
  label->setText(AText);
  label->move(ALeft, ATop);
  label->adjustSize();
  return label;
}

QComboBox *MakeCombo(QWidget *AOwner, const QString &AName, int ALeft, int ATop, int AWidth,
                     const QStringList &AItems)
{
  auto *combo = new QComboBox(AOwner);
  combo->setObjectName(AName);
  combo->setEditable(false);
  combo->setGeometry(ALeft, ATop, AWidth, 25);
  combo->addItems(AItems);
  return combo;
}

QCheckBox *MakeCheck(QWidget *AOwner, const QString &AName, int ALeft, int ATop,
                     const QString &ACaption, const QString &AHint)
{
  auto *check = new QCheckBox(ACaption, AOwner);
  check->setObjectName(AName);
  check->setGeometry(ALeft, ATop, 145, 25);
  check->setToolTip(AHint);
  check->setChecked(false);
  return check;
}

struct TPanelSpec {
  const char *Name; // "Record": btnRecord, lblIconRecord, lblTextRecord
  QRect Box;
  QRgb Colour;
  const char *Glyph;
  QRect GlyphBox;
  int GlyphPx;
  const char *Text;
  QRect TextBox;
};

TPanelButton *MakePanel(QWidget *AOwner, const TPanelSpec &ASpec, TClickLabel *&AIcon,
                        TClickLabel *&AText)
{
  const QString name = QString::fromLatin1(ASpec.Name);
  auto *panel = new TPanelButton(AOwner);
  panel->setObjectName(QStringLiteral("btn") + name);
  panel->setGeometry(ASpec.Box);
  QPalette pal = panel->palette();
  // One colour for every state: a disabled button looks the same.
  pal.setColor(QPalette::Window, QColor::fromRgb(ASpec.Colour));
  pal.setColor(QPalette::WindowText, Qt::white);
  panel->setPalette(pal);
  panel->setFont(DesignFontPx(SegoeUI, 13, true));

  AIcon = panel->Icon;
  AIcon->setObjectName(QStringLiteral("lblIcon") + name);
  AIcon->setGeometry(ASpec.GlyphBox);
  AIcon->setFont(DesignFontPx(SegoeUI, ASpec.GlyphPx, true));
  AIcon->setText(FromUtf8(ASpec.Glyph));

  AText = panel->Text;
  AText->setObjectName(QStringLiteral("lblText") + name);
  AText->setGeometry(ASpec.TextBox);
  AText->setFont(DesignFontPx(SegoeUI, 13, true));
  AText->setText(FromUtf8(ASpec.Text));
  return panel;
}

bool FolderWritable(const QString &AFolder)
{
  if (!QFileInfo(AFolder).isDir())
    return false;
  QTemporaryFile probe(QDir(AFolder).filePath(QStringLiteral(".praatkist-probe-XXXXXX")));
  return probe.open();
}

} // namespace

// ---------------------------------------------------------------------------------------
// Application object

TPraatkistApplication::TPraatkistApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TPraatkistApplication::notify(QObject *receiver, QEvent *event)
{
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &e) {
    ShowGeneralError(QString::fromUtf8(e.what()));
  } catch (...) {
    ShowGeneralError(QStringLiteral("Onbekende fout."));
  }
  return false;
}

void TPraatkistApplication::ShowGeneralError(const QString &AMessage)
{
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Praatkist"), AMessage, QMessageBox::Ok);
  box.setObjectName(QStringLiteral("GeneralError"));
  box.exec();
}

// ---------------------------------------------------------------------------------------
// Small controls

TPaintBox::TPaintBox(QWidget *AOwner) : QWidget(AOwner)
{
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPaintBox::paintEvent(QPaintEvent *)
{
  QPainter painter(this);
  if (OnPaint)
    OnPaint(painter);
}

TPanelButton::TPanelButton(QWidget *AOwner) : QFrame(AOwner)
{
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::NoFocus);
  Icon = new TClickLabel(this);
  Text = new TClickLabel(this);
  Icon->OnClick = [this] {
    if (OnClick)
      OnClick();
  };
  Text->OnClick = Icon->OnClick;
}

void TPanelButton::mousePressEvent(QMouseEvent *event)
{
  FClick.Press(event);
}

void TPanelButton::mouseReleaseEvent(QMouseEvent *event)
{
  if (FClick.Release(event, this) && PanelClicks && OnClick)
    OnClick();
}

// ---------------------------------------------------------------------------------------
// Construction and destruction

TfrmMain::TfrmMain(audio::IAudioLayer *ALayer, const QString &ASettingsPath, QWidget *AOwner)
    : QWidget(AOwner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FLayer(ALayer)
{
  CreateControls();

  FSessions = std::make_unique<TSessionManager>();

  FTrimActive = false;
  FTrimStartSeconds = 0.0;
  FTrimEndSeconds = 0.0;
  FWaveChannels = 2;
  lblTrimInfo->clear();
  lblTrimInfo->hide();
  btnUndoTrim->setEnabled(false);

  LoadWindowIcon();

  FSettingsPath = ASettingsPath.isEmpty() ? DefaultSettingsPath() : ASettingsPath;
  FIni = std::make_unique<platform::TIniFile>(ToPath(FSettingsPath));

  const QString rootProblem =
      ApplyStartRoot(QString::fromStdString(FIni->ReadString(SecSessions, KeyRoot, "")));
  ShowRoot(FSessions->RootPath());

  bool engineReady = false;
  try {
    if (FLayer == nullptr)
      throw EAudioError("Initialiseren van audio-uitgang", audio::kErrDriver);
    FRecorder = std::make_unique<TBassRecorder>(*FLayer);
    FWork = new TTakeWork(*FRecorder, &FPeaksCache, this);
    connect(FWork, &TTakeWork::AnalysisDone, this, &TfrmMain::AnalysisFinished);
    connect(FWork, &TTakeWork::TrimDone, this, &TfrmMain::TrimFinished);
    connect(FWork, &TTakeWork::StopDone, this, &TfrmMain::StopFinished);
    connect(FWork, &TTakeWork::Progress, this, &TfrmMain::WorkProgress);
    connect(FWork, &TTakeWork::SafelyEnded, this, [this] {
      if (FClosePending) {
        FClosePending = false;
        close();
      }
    });
    FDeviceSerial = FLayer->DeviceListSerial();
    FillDevices();
    LoadSettings();
    lblStatus->setText(QStringLiteral("Klaar om op te nemen"));
    engineReady = true;
  } catch (const std::exception &e) {
    lblStatus->setText(QString::fromUtf8(e.what()));
    btnRecord->setEnabled(false);
  }
  if (!rootProblem.isEmpty())
    lblStatus->setText(engineReady ? rootProblem
                                   : lblStatus->text() + QLatin1Char(' ') + rootProblem);
  else if (engineReady)
    RateNote();

  try {
    RefreshSessions();
  } catch (const std::exception &e) {
    // the root went away between the check above and now: the window opens all the same
    lblStatus->setText(QString::fromUtf8(e.what()));
  }

  if (FRecorder) {
    FDeviceTimer = new QTimer(this);
    FDeviceTimer->setObjectName(QStringLiteral("deviceTimer"));
    FDeviceTimer->setInterval(1000);
    connect(FDeviceTimer, &QTimer::timeout, this, &TfrmMain::PollDevices);
    FDeviceTimer->start();
  }
}

QString TfrmMain::ApplyStartRoot(const QString &AStored)
{
  QStringList sessions;
  QString said;
  if (!TrimBlanks(AStored).isEmpty()) {
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

TfrmMain::~TfrmMain()
{
  timer->stop();
  // The work ends before the engine it works with.
  if (FWork != nullptr) {
    FWork->WaitForSafeEnd(true);
    delete FWork;
    FWork = nullptr;
  }
  SaveSettingsQuietly();
  FRecorder.reset();
  FIni.reset();
  FPeaksLeft.clear();
  FPeaksRight.clear();
  FSessions.reset();
}

void TfrmMain::CreateControls()
{
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Praatkist"));
  setFixedSize(924, 725);
  setFont(DesignFontPx(SegoeUI, 13));
  setAutoFillBackground(true);
  {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(Background));
    pal.setColor(QPalette::WindowText, QColor::fromRgb(WindowText));
    pal.setColor(QPalette::Base, QColor::fromRgb(FieldBackground));
    pal.setColor(QPalette::AlternateBase, QColor::fromRgb(FieldBackground));
    pal.setColor(QPalette::Button, QColor::fromRgb(FieldBackground));
    pal.setColor(QPalette::Text, QColor::fromRgb(WindowText));
    pal.setColor(QPalette::ButtonText, QColor::fromRgb(WindowText));
    pal.setColor(QPalette::ToolTipBase, QColor::fromRgb(FieldBackground));
    pal.setColor(QPalette::ToolTipText, QColor::fromRgb(WindowText));
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor::fromRgb(DisabledText));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor::fromRgb(DisabledText));
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor::fromRgb(DisabledText));
    setPalette(pal);
  }

  MakeLabel(this, QStringLiteral("lblHeadingRoot"), 28, 22, QStringLiteral("Hoofdmap"));
  MakeLabel(this, QStringLiteral("lblHeadingSession"), 28, 76, QStringLiteral("Sessie"));
  MakeLabel(this, QStringLiteral("lblHeadingDevice"), 28, 136, QStringLiteral("Audio-ingang"));
  MakeLabel(this, QStringLiteral("lblHeadingFormat"), 28, 181, QStringLiteral("Formaat"));
  MakeLabel(this, QStringLiteral("lblHeadingRate"), 280, 181, QStringLiteral("Samplerate"));
  MakeLabel(this, QStringLiteral("lblHeadingBitrate"), 530, 181, QStringLiteral("Bitrate"));
  MakeLabel(this, QStringLiteral("lblHeadingLevel"), 28, 305, QStringLiteral("Opnameniveau"));
  MakeLabel(this, QStringLiteral("lblHeadingRecordings"), 670, 235,
            QStringLiteral("Opnames voor deze sessie"));

  lblRoot = MakeLabel(this, QStringLiteral("lblRoot"), 130, 22, QStringLiteral("Opnamemap"));
  lblRoot->setFixedSize(420, 20);

  lblTime = MakeLabel(this, QStringLiteral("lblTime"), 210, 390, QStringLiteral("00:00"));
  lblTime->setFixedSize(245, 42);
  lblTime->setFont(DesignFontPx(Consolas, 33, true));
  lblTime->setAlignment(Qt::AlignCenter);
  SetTextColour(lblTime, ClockYellow);

  lblHeadingWave =
      MakeLabel(this, QStringLiteral("lblHeadingWave"), 28, 445, QStringLiteral("LIVE WAVEFORM"));
  lblHeadingWave->hide();

  lblTrimInfo = MakeLabel(this, QStringLiteral("lblTrimInfo"), 170, 445, QString());
  lblTrimInfo->setFixedSize(468, 17);
  lblTrimInfo->setFont(DesignFontPx(SegoeUI, 13, true));
  lblTrimInfo->setAlignment(Qt::AlignRight | Qt::AlignTop);
  SetTextColour(lblTrimInfo, TrimOrange);
  lblTrimInfo->hide();

  lblStatus = MakeLabel(this, QStringLiteral("lblStatus"), 28, 690,
                        QStringLiteral("Audio initialiseren..."));
  lblStatus->setFixedSize(860, 20);

  vu = new TPaintBox(this);
  vu->setObjectName(QStringLiteral("vu"));
  vu->setGeometry(28, 330, 610, 50);
  vu->OnPaint = [this](QPainter &p) { PaintVU(p); };

  wave = new TPaintBox(this);
  wave->setObjectName(QStringLiteral("wave"));
  wave->setGeometry(28, 475, 610, 180);
  wave->OnPaint = [this](QPainter &p) { PaintWave(p); };

  cbSession = MakeCombo(this, QStringLiteral("cbSession"), 130, 70, 420, {});
  cbDevice = MakeCombo(this, QStringLiteral("cbDevice"), 130, 130, 610, {});
  cbFormat = MakeCombo(this, QStringLiteral("cbFormat"), 130, 175, 120,
                       {QStringLiteral("WAV"), QStringLiteral("MP3")});
  cbRate = MakeCombo(this, QStringLiteral("cbRate"), 375, 175, 120,
                     {QStringLiteral("44100"), QStringLiteral("48000"), QStringLiteral("96000")});
  cbBitrate = MakeCombo(this, QStringLiteral("cbBitrate"), 600, 175, 140,
                        {QStringLiteral("128 kbps"), QStringLiteral("192 kbps"),
                         QStringLiteral("256 kbps"), QStringLiteral("320 kbps")});
  cbSession->setCurrentIndex(-1);
  cbFormat->setCurrentIndex(0);
  cbRate->setCurrentIndex(1);
  cbBitrate->setCurrentIndex(1);
  cbBitrate->setEnabled(false);

  chkTrimSilence =
      MakeCheck(this, QStringLiteral("chkTrimSilence"), 760, 120, QStringLiteral("Stiltes trimmen"),
                QStringLiteral("Verwijder automatisch stilte aan begin en einde na de opname"));
  chkMono = MakeCheck(this, QStringLiteral("chkMono"), 760, 175, QStringLiteral("Opnemen in mono"),
                      QStringLiteral("Neem met één audiokanaal op in plaats van stereo"));

  lbRecordings = new QListWidget(this);
  lbRecordings->setObjectName(QStringLiteral("lbRecordings"));
  lbRecordings->setGeometry(670, 265, 225, 320);
  lbRecordings->setSelectionMode(QAbstractItemView::SingleSelection);
  lbRecordings->setUniformItemSizes(true);

  btnRoot = MakePanel(this,
                      {"Root",
                       {570, 15, 170, 38},
                       GreyAccent,
                       "⇨",
                       {10, 4, 32, 30},
                       24,
                       "KIES MAP",
                       {46, 0, 116, 38}},
                      lblIconRoot, lblTextRoot);
  btnNew = MakePanel(this,
                     {"New",
                      {570, 65, 170, 38},
                      GreyAccent,
                      "+",
                      {10, 4, 32, 30},
                      24,
                      "NIEUWE SESSIE",
                      {46, 0, 116, 38}},
                     lblIconNew, lblTextNew);
  btnAbout = MakePanel(
      this,
      {"About", {760, 15, 135, 38}, GreyAccent, "ⓘ", {8, 4, 32, 30}, 23, "OVER", {40, 0, 87, 38}},
      lblIconAbout, lblTextAbout);
  btnExit = MakePanel(this,
                      {"Exit",
                       {760, 65, 135, 38},
                       RedAccent,
                       "✕",
                       {8, 4, 32, 30},
                       22,
                       "AFSLUITEN",
                       {40, 0, 87, 38}},
                      lblIconExit, lblTextExit);
  btnRecord = MakePanel(this,
                        {"Record",
                         {28, 235, 235, 38},
                         RedAccent,
                         "●",
                         {12, 3, 34, 31},
                         25,
                         "OPNAME STARTEN",
                         {50, 0, 177, 38}},
                        lblIconRecord, lblTextRecord);
  btnStop = MakePanel(this,
                      {"Stop",
                       {280, 235, 160, 38},
                       GreyAccent,
                       "■",
                       {10, 4, 32, 30},
                       22,
                       "STOPPEN",
                       {44, 0, 108, 38}},
                      lblIconStop, lblTextStop);
  btnListen = MakePanel(this,
                        {"Listen",
                         {457, 235, 190, 38},
                         BlueAccent,
                         "▶",
                         {10, 4, 32, 30},
                         23,
                         "BELUISTEREN",
                         {46, 0, 136, 38}},
                        lblIconListen, lblTextListen);
  btnDelete = MakePanel(this,
                        {"Delete",
                         {670, 595, 225, 38},
                         RedAccent,
                         "✕",
                         {12, 4, 32, 30},
                         22,
                         "OPNAME WISSEN",
                         {48, 0, 169, 38}},
                        lblIconDelete, lblTextDelete);
  btnUndoTrim = MakePanel(this,
                          {"UndoTrim",
                           {670, 645, 225, 38},
                           GreyAccent,
                           "↺",
                           {12, 4, 32, 30},
                           22,
                           "TRIM ONGEDAAN MAKEN",
                           {48, 0, 169, 38}},
                          lblIconUndoTrim, lblTextUndoTrim);
  btnStop->setEnabled(false);
  btnListen->setEnabled(false);
  btnDelete->setEnabled(false);
  btnUndoTrim->setEnabled(false);

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

  timer = new QTimer(this);
  timer->setObjectName(QStringLiteral("timer"));
  timer->setInterval(TimerInterval);
  timer->setTimerType(Qt::PreciseTimer);
  connect(timer, &QTimer::timeout, this, &TfrmMain::Tick);

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

  setTabOrder(cbSession, cbDevice);
  setTabOrder(cbDevice, cbFormat);
  setTabOrder(cbFormat, cbRate);
  setTabOrder(cbRate, cbBitrate);
  setTabOrder(cbBitrate, lbRecordings);
  setTabOrder(lbRecordings, chkTrimSilence);
  setTabOrder(chkTrimSilence, chkMono);

  TickCount = [] {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  };
  AskRootFolder = [this](const QString &AProposed) {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Kies of maak de hoofdmap voor sessies"), AProposed,
        QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
  };
}

void TfrmMain::LoadWindowIcon()
{
  InitPraatkistResources();
  QIcon icon;
  for (int size : {16, 24, 32, 48}) {
    const QString file = QStringLiteral(":/FORMICON/%1.png").arg(size);
    if (QFileInfo::exists(file))
      icon.addFile(file, QSize(size, size));
  }
  setWindowIcon(icon.isNull() ? QApplication::windowIcon() : icon);
}

void TfrmMain::showEvent(QShowEvent *event)
{
  QWidget::showEvent(event);
  if (FShownOnce)
    return;
  FShownOnce = true;
  if (QScreen *screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  cbSession->setFocus();
}

// A folder of the system's own programs (/usr/bin, /usr/local/bin, /opt/...): nothing
// is written there at run time, even by root, whose writes it would otherwise take.
static bool InSystemProgramFolder(const QString &AFolder)
{
#ifdef Q_OS_WIN
  Q_UNUSED(AFolder);
  return false;
#else
  const QString folder = QFileInfo(AFolder).canonicalFilePath() + QLatin1Char('/');
  for (const char *prefix : {"/usr/", "/bin/", "/sbin/", "/opt/"})
    if (folder.startsWith(QLatin1String(prefix)))
      return true;
  return false;
#endif
}

QString TfrmMain::SettingsFilePath(const QString &AExecutable)
{
  const QFileInfo program(AExecutable);
  const QString name = program.completeBaseName() + QStringLiteral(".ini");
  const QString besideProgram = QDir(program.absolutePath()).filePath(name);
  const QFileInfo existing(besideProgram);
  if (!InSystemProgramFolder(program.absolutePath()) && FolderWritable(program.absolutePath()) &&
      (!existing.exists() || existing.isWritable()))
    return QDir::toNativeSeparators(besideProgram);

  // A read-only or system-wide install: the user's own configuration folder.
  QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  if (folder.isEmpty())
    folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                 .filePath(QStringLiteral("Praatkist"));
  QDir().mkpath(folder);
  const QString personal = QDir(folder).filePath(name);
  // Settings lying beside a read-only program (from an earlier, writable install or
  // put there for every user) are where this user's own file starts from.
  if (!QFileInfo::exists(personal) && existing.isFile() && existing.isReadable())
    QFile::copy(besideProgram, personal);
  return QDir::toNativeSeparators(personal);
}

QString TfrmMain::DefaultSettingsPath()
{
  return SettingsFilePath(QCoreApplication::applicationFilePath());
}

// ---------------------------------------------------------------------------------------
// Settings

void TfrmMain::LoadSettings()
{
  cbFormat->setCurrentIndex(std::clamp(FIni->ReadInteger(SecRecording, KeyFormat, 0), 0, 1));

  const QString rate = QString::fromStdString(FIni->ReadString(SecRecording, KeyRate, "48000"));
  const int rateIndex = cbRate->findText(rate, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (rateIndex >= 0)
    cbRate->setCurrentIndex(rateIndex);

  cbBitrate->setCurrentIndex(
      std::clamp(FIni->ReadInteger(SecRecording, KeyBitrate, 1), 0, cbBitrate->count() - 1));

  FormatChange();

  const QString device = QString::fromStdString(FIni->ReadString(SecRecording, KeyDevice, ""));
  FWantedDevice = device;
  const int deviceIndex = cbDevice->findText(device, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (!device.isEmpty() && deviceIndex >= 0)
    cbDevice->setCurrentIndex(deviceIndex);

  chkTrimSilence->setChecked(FIni->ReadBool(SecRecording, KeyTrim, false));
  chkMono->setChecked(FIni->ReadBool(SecRecording, KeyMono, false));
  FOptionsLoaded = true;
}

void TfrmMain::SaveSettings()
{
  if (!FIni)
    return;
  QStringList written;
  QStringList notKept;
  const auto put = [&](const char *ASection, const char *AKey, const QString &AValue) {
    // A line break would split the line and other control characters would not come
    // back as written: such a value is not kept.
    for (const QChar c : AValue)
      if (c.unicode() < 32 || c.unicode() == 127) {
        notKept << QString::fromLatin1(AKey);
        return;
      }
    try {
      FIni->WriteString(ASection, AKey, AValue.toStdString());
      written << QString::fromLatin1(AKey);
    } catch (const std::exception &) {
      notKept << QString::fromLatin1(AKey);
    }
  };
  // A stored root that could not be used at start stays until the user picks another.
  if (!FKeepStoredRoot && !FSessions->RootPath().isEmpty())
    put(SecSessions, KeyRoot, FSessions->RootPath());
  // Options that never came from the file (no engine, no device list) are layout
  // defaults: writing them would wipe what the user had chosen.
  if (FOptionsLoaded) {
    put(SecRecording, KeyFormat, QString::number(cbFormat->currentIndex()));
    put(SecRecording, KeyRate, cbRate->currentText());
    put(SecRecording, KeyBitrate, QString::number(cbBitrate->currentIndex()));
    if (cbDevice->currentIndex() >= 0)
      put(SecRecording, KeyDevice, cbDevice->currentText());
    put(SecRecording, KeyTrim,
        chkTrimSilence->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    put(SecRecording, KeyMono, chkMono->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
  }
  QString why;
  try {
    FIni->UpdateFile();
  } catch (const std::exception &e) {
    notKept = written + notKept;
    why = QLatin1Char(' ') + QString::fromUtf8(e.what());
  }
  if (!notKept.isEmpty())
    throw EFileError(QStringLiteral("Niet bewaard in \"%1\": %2.%3")
                         .arg(FSettingsPath, notKept.join(QStringLiteral(", ")), why)
                         .toStdString());
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
  if (FRecorder->Recording() || FTakeEnd != TTakeEnd::None || cbDevice->view()->isVisible())
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
  FTrimActive = false;
  lblTrimInfo->clear();
  lblTrimInfo->hide();
  btnUndoTrim->setEnabled(false);
}

QString TfrmMain::SelectedTakePath() const
{
  const QListWidgetItem *item = lbRecordings->currentItem();
  if (item == nullptr || !item->isSelected())
    return QString();
  return TakePath(item->text());
}

QString TfrmMain::TakePath(const QString &AEntry) const
{
  QString root = FSessions->RootPath();
  if (!root.endsWith(QLatin1Char('/')) && !root.endsWith(QDir::separator()))
    root += QDir::separator();
  return root + FSessions->SessionName() + QDir::separator() + AEntry;
}

void TfrmMain::StopPlaybackOfDroppedTake(const QStringList &AEntries)
{
  if (!FRecorder || !FPlaybackCursorVisible)
    return;
  for (const QString &entry : AEntries)
    if (TakePath(entry) == FLastFile)
      return;
  FRecorder->StopPlayback();
  ResetPlaybackUi();
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
    for (const QString &name : items) {
      auto *item = new QListWidgetItem(name, lbRecordings);
      item->setSizeHint(QSize(0, 17));
    }
    const int row =
        ASelect.isEmpty() ? lbRecordings->count() - 1 : static_cast<int>(items.indexOf(ASelect));
    if (row >= 0) {
      lbRecordings->setCurrentRow(row);
    } else {
      lbRecordings->setCurrentRow(-1);
      lbRecordings->clearSelection();
    }
  }
  const bool selected = !SelectedTakePath().isEmpty();
  btnListen->setEnabled(FRecorder && !FRecorder->Recording() && selected);
  btnDelete->setEnabled(btnListen->isEnabled());
  if (!selected)
    ClearWaveform();
  else
    LoadWaveform();
  ApplyWorkRule();
}

void TfrmMain::ClearWaveform()
{
  if (FWork != nullptr)
    FWork->CancelAnalysis();
  FPeaksLeft.clear();
  FPeaksRight.clear();
  FTrimActive = false;
  FTrimStartSeconds = 0.0;
  FTrimEndSeconds = 0.0;
  btnUndoTrim->setEnabled(false);
  lblTrimInfo->clear();
  lblTrimInfo->hide();
  wave->update();
}

void TfrmMain::ShowRoot(const QString &APath)
{
  FRootShown = APath;
  lblRoot->setText(lblRoot->fontMetrics().elidedText(APath, Qt::ElideMiddle, lblRoot->width()));
}

// ---------------------------------------------------------------------------------------
// Handlers of the options, sessions and list

void TfrmMain::SessionChange()
{
  if (cbSession->currentIndex() < 0) {
    StopPlaybackOfDroppedTake({});
    lbRecordings->clear();
    if (FWork != nullptr)
      FWork->CancelAnalysis();
    ApplyWorkRule();
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
    if (cbSession->currentIndex() >= 0)
      RefreshRecordings();
    else {
      StopPlaybackOfDroppedTake({});
      lbRecordings->clear();
      ClearWaveform();
      btnListen->setEnabled(false);
      btnDelete->setEnabled(false);
    }
    // The general error box, shown from here: an exception must not unwind through
    // the toolkit's event delivery, which leaks what it holds for the event.
    TPraatkistApplication::ShowGeneralError(QString::fromUtf8(e.what()));
    return;
  }
  RefreshRecordings();
}

void TfrmMain::FormatChange()
{
  cbBitrate->setEnabled(cbFormat->currentIndex() == 1);
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
  if (FRecorder && FPlaybackCursorVisible) {
    FRecorder->StopPlayback();
    ResetPlaybackUi();
  }
  const bool selected = !SelectedTakePath().isEmpty();
  btnListen->setEnabled(FRecorder && !FRecorder->Recording() && selected);
  btnDelete->setEnabled(btnListen->isEnabled());
  // The trim state still describes the take shown so far: nothing may act on it for
  // the new one before its own state is read.
  btnUndoTrim->setEnabled(false);
  if (selected)
    LoadWaveform();
  else
    ClearWaveform();
  ApplyWorkRule();
}

void TfrmMain::ChooseRoot()
{
  QString proposed = FSessions->RootPath();
  if (!QFileInfo(proposed).isDir())
    proposed.clear();
  const QString chosen = AskRootFolder ? AskRootFolder(proposed) : QString();
  if (chosen.isEmpty())
    return;
  // All or nothing: a folder that cannot be made or read leaves the old root, its
  // sessions and the settings as they were, and the error says why.
  QStringList sessions;
  try {
    FSessions->ChangeRoot(chosen, sessions);
  } catch (const std::exception &e) {
    TPraatkistApplication::ShowGeneralError(QString::fromUtf8(e.what()));
    return;
  }
  FKeepStoredRoot = false;
  ShowRoot(chosen);
  RefreshSessions();
}

void TfrmMain::NewSession()
{
  QString name;
  if (!DarkInputQuery(QStringLiteral("Nieuwe sessie"), QStringLiteral("Naam van de nieuwe sessie:"),
                      name))
    return;
  try {
    FSessions->CreateSession(name);
    RefreshSessions();
    cbSession->setCurrentIndex(
        cbSession->findText(TrimBlanks(name), Qt::MatchExactly | Qt::MatchCaseSensitive));
    SessionChange();
  } catch (const std::exception &e) {
    ShowDarkError(QString::fromUtf8(e.what()));
  }
}

void TfrmMain::UpdateControls(bool Recording)
{
  const bool selected = !SelectedTakePath().isEmpty();
  btnRecord->setEnabled(!Recording);
  btnStop->setEnabled(Recording);
  btnListen->setEnabled(!Recording && selected);
  btnDelete->setEnabled(!Recording && selected);
  btnUndoTrim->setEnabled(!Recording && FTrimActive);
  for (QWidget *control : std::initializer_list<QWidget *>{
           chkTrimSilence, chkMono, cbSession, btnNew, btnRoot, cbDevice, cbFormat, cbRate})
    control->setEnabled(!Recording);
  cbBitrate->setEnabled(!Recording && cbFormat->currentIndex() == 1);
  ApplyWorkRule();
}

void TfrmMain::PurgeTrimFiles()
{
  const QString root = FSessions->RootPath();
  if (!QFileInfo(root).isDir())
    return;
  QStringList files;
  // with them go the temporary files a trim interrupted by a crash left behind
  for (const QString &pattern :
       {QStringLiteral("*.triminfo"), QStringLiteral("*.untrimmed"),
        QStringLiteral("*") + QString::fromLatin1(audio::kTrimTempSuffix)}) {
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      if (platform::MatchesWildcard(it.fileName(), pattern))
        files.append(QDir::toNativeSeparators(path));
    }
  }
  if (files.isEmpty())
    return;
  const QString question =
      QStringLiteral("Er zijn %1 triminfo- en herstelbestand(en).\r\n"
                     "Wil je deze bestanden nu verwijderen?\r\n"
                     "Het ongedaan maken van eerdere trims is daarna niet meer mogelijk.")
          .arg(files.size());
  if (!DarkConfirm(question))
    return;
  int failed = 0;
  for (const QString &file : files)
    if (!platform::DeleteFileQuietly(ToPath(file)))
      ++failed;
  if (failed > 0)
    ShowDarkError(QStringLiteral("%1 bestand(en) konden niet worden verwijderd.").arg(failed));
}

void TfrmMain::AboutClick()
{
  TfrmAbout::ShowAbout(this);
}

void TfrmMain::ExitClick()
{
  close();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
  if (FClosePending) {
    event->ignore();
    return;
  }
  if (FWork != nullptr && !FWork->Ended() && FWork->Busy()) {
    // Work on a take ends safely first (an analysis is dropped, a trim is cancelled
    // where the take stays whole or else finished); the window closes when it has.
    const bool trimming = FWork->Running() == TWorkKind::Trim;
    FClosePending = true;
    FProgressShown = false;
    if (FTakeEnd == TTakeEnd::Stopping)
      lblStatus->setText(QStringLiteral("Opname wordt afgesloten, daarna sluit Praatkist..."));
    else
      lblStatus->setText(
          trimming ? QStringLiteral("Trimmen wordt veilig afgerond, daarna sluit Praatkist...")
                   : QStringLiteral("Golfvorm laden wordt afgebroken, daarna sluit Praatkist..."));
    ApplyWorkRule();
    FWork->BeginSafeEnd(true);
    event->ignore();
    return;
  }
  // A running take is completed as it is: not trimmed, not listed.
  timer->stop();
  if (FRecorder && !FRecorder->Stop() && !FEndingBySystem)
    ShowDarkError(IncompleteTakeText());
  // The system ending the program gets no questions.
  if (!FEndingBySystem)
    PurgeTrimFiles();
  try {
    SaveSettings();
  } catch (const std::exception &e) {
    if (!FEndingBySystem)
      ShowDarkError(QString::fromUtf8(e.what()));
  }
  event->accept();
}

void TfrmMain::EndBySystem()
{
  if (FEndingBySystem)
    return;
  FEndingBySystem = true;
  timer->stop();
  if (FDeviceTimer)
    FDeviceTimer->stop();
  // Questions open now are dismissed; their commands end as if cancelled.
  for (QWidget *top : QApplication::topLevelWidgets())
    if (auto *dialog = qobject_cast<QDialog *>(top); dialog && dialog->isVisible())
      dialog->reject();
  if (FRecorder) {
    FRecorder->Stop();
    FRecorder->StopPlayback();
  }
  close();
}

// ---------------------------------------------------------------------------------------
// Commands

void TfrmMain::RecordClick()
{
  if (cbSession->currentIndex() < 0) {
    ShowDarkMessage(QStringLiteral("Kies of maak eerst een sessie."));
    return;
  }
  if (cbDevice->currentIndex() < 0) {
    ShowDarkError(QStringLiteral("Er is geen audio-ingang gekozen."));
    return;
  }
  if (!FRecorder)
    return;

  const TRecordingFormat format = cbFormat->currentIndex() == 0 ? rfWave : rfMP3;
  const QString extension = format == rfWave ? QStringLiteral(".wav") : QStringLiteral(".mp3");
  const int sampleRate = cbRate->currentText().toInt();
  const int bitrate = cbBitrate->currentText().left(3).toInt();
  const int device = cbDevice->currentData().toInt();
  const int channels = chkMono->isChecked() ? 1 : 2;

  try {
    FLastFile = FSessions->NextFileName(extension);
  } catch (const std::exception &e) {
    // the general error box, as for any error outside the command's guarded part
    TPraatkistApplication::ShowGeneralError(QString::fromUtf8(e.what()));
    return;
  }

  try {
    FRecorder->Start(device, sampleRate, channels, bitrate, format, ToPath(FLastFile));
    // Only a take that runs takes the view: after a failed start the selected take
    // stays shown as it was.
    FPeaksLeft.clear();
    FPeaksRight.clear();
    FWaveDuration = 0.0;
    if (FWork != nullptr)
      FWork->CancelAnalysis();
    FRecordingStarted = Now();
    // Starting a take ends any playback in the engine; the display follows.
    if (FPlaybackCursorVisible)
      ResetPlaybackUi();
    lblTime->setText(QStringLiteral("00:00"));
    UpdateControls(true);
    timer->start();
    SetStatus(QStringLiteral("Opname: ") + FileNamePart(FLastFile));
    wave->hide();
    lblHeadingWave->hide();
  } catch (const std::exception &e) {
    FLastFile.clear();
    ShowDarkError(QString::fromUtf8(e.what()));
  }
}

void TfrmMain::StopClick()
{
  if (!FRecorder)
    return;
  FinishTake(chkTrimSilence->isChecked(), QString());
}

void TfrmMain::FinishTake(bool ATrim, const QString &AEndedWhy)
{
  timer->stop();
  // The meter rests while the take is being completed.
  vu->Tag = 0;
  vu->update();
  // The stop waits for the last captured audio and syncs the file: on the worker, so
  // the window is not held up meanwhile.
  FStopTrim = ATrim;
  FTakeEndedWhy = AEndedWhy;
  if (FWork != nullptr && FWork->StopTake(FLastFile)) {
    FTakeEnd = TTakeEnd::Stopping;
    ApplyWorkRule();
    return; // on in StopFinished
  }
  StopFinished(FLastFile, FRecorder->Stop());
}

void TfrmMain::StopFinished(const QString &APath, bool AComplete)
{
  Q_UNUSED(APath);
  bool trim = FStopTrim;
  QString why = FTakeEndedWhy;
  FTakeEndedWhy.clear();
  // A take whose file could not be completed is not reported as kept, nor trimmed.
  if (!AComplete && why.isEmpty()) {
    why = IncompleteTakeText();
    trim = false;
  }
  if (trim && FWork != nullptr) {
    const TRecordingFormat format = cbFormat->currentIndex() == 0 ? rfWave : rfMP3;
    const int bitrate = cbBitrate->currentText().left(3).toInt();
    if (FWork->Trim(FLastFile, format, bitrate)) {
      FTakeEnd = TTakeEnd::Trimming;
      ApplyWorkRule();
      return; // on in TrimFinished
    }
  }
  CompleteTake(why);
}

QString TfrmMain::IncompleteTakeText() const
{
  return QStringLiteral("Opname mogelijk onvolledig: het bestand kon niet volledig worden "
                        "afgesloten: ") +
         FLastFile;
}

void TfrmMain::TrimFinished(const TTrimResult &ATrim)
{
  if (ATrim.Trimmed)
    SetStatus(TrimText(QStringLiteral("Getrimd: "), ATrim.TrimmedStart, ATrim.TrimmedEnd));
  else if (ATrim.Failed && !FEndingBySystem)
    ShowDarkError(QStringLiteral("Automatisch trimmen mislukt: ") + ATrim.Error);
  CompleteTake(QString());
}

void TfrmMain::CompleteTake(const QString &AEndedWhy)
{
  FTakeEndedWhy = AEndedWhy;
  FTakeEnd = TTakeEnd::Loading;
  // The new take is selected and analysed, also when its name does not sort last in
  // the list; no other take is read.
  ReloadRecordings(FileNamePart(FLastFile));
  ApplyWorkRule();
}

void TfrmMain::FinishAfterLoad()
{
  FTakeEnd = TTakeEnd::None;
  UpdateControls(false);
  vu->Tag = 0;
  vu->update();
  wave->update();

  const QString why = FTakeEndedWhy;
  FTakeEndedWhy.clear();
  if (!why.isEmpty()) {
    SetStatus(why);
    if (!FEndingBySystem)
      ShowDarkError(why);
  } else if (!FTrimActive) {
    SetStatus(QStringLiteral("Bewaard: ") + FLastFile);
  }
}

bool TfrmMain::WorkBusy() const
{
  return (FWork != nullptr && FWork->Busy()) || FTakeEnd != TTakeEnd::None || FClosePending;
}

void TfrmMain::ApplyWorkRule()
{
  const bool busy = FWork != nullptr && FWork->Busy();
  if (!busy && FProgressShown) {
    FProgressShown = false;
    lblStatus->setText(FStatusBeneath);
  }
  if (FTakeEnd == TTakeEnd::Loading && !busy) {
    FinishAfterLoad();
    return;
  }
  if (FTakeEnd != TTakeEnd::None || FClosePending) {
    // As while recording, and the stop is done: nothing may start before the take is
    // shown, nor change what the trim and the list refresh work on.
    for (QWidget *control : std::initializer_list<QWidget *>{
             btnRecord, btnStop, btnListen, btnDelete, btnUndoTrim, chkTrimSilence, chkMono,
             cbSession, btnNew, btnRoot, cbDevice, cbFormat, cbRate, cbBitrate})
      control->setEnabled(false);
  } else if (busy) {
    // The take being read may not be deleted or restored under the analysis.
    btnDelete->setEnabled(false);
    btnUndoTrim->setEnabled(false);
  } else {
    // the enable rule as it stands without work
    btnDelete->setEnabled(btnListen->isEnabled());
    btnUndoTrim->setEnabled(FTrimActive && FRecorder && !FRecorder->Recording());
  }
}

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

void TfrmMain::WorkProgress(TWorkKind AKind, int APercent)
{
  if (AKind == TWorkKind::None || FClosePending)
    return;
  if (!FProgressShown) {
    FStatusBeneath = lblStatus->text();
    FProgressShown = true;
  }
  const QString what = AKind == TWorkKind::Trim ? QStringLiteral("Stiltes trimmen... ")
                                                : QStringLiteral("Golfvorm laden... ");
  lblStatus->setText(what + QString::number(APercent) + QLatin1Char('%'));
}

void TfrmMain::SetListenForm(bool APlaying)
{
  lblIconListen->setText(APlaying ? ListenPlayingGlyph : ListenIdleGlyph);
  lblTextListen->setText(APlaying ? ListenPlayingText : ListenIdleText);
}

void TfrmMain::ListenClick()
{
  if (!FRecorder)
    return;
  // A double-click in the list while a take runs would replace the path the stop
  // command completes and trims.
  if (FRecorder->Recording())
    return;
  if (FPlaybackCursorVisible) {
    FRecorder->StopPlayback();
    ResetPlaybackUi();
    SetStatus(QStringLiteral("Weergave gestopt"));
    return;
  }
  const QString path = SelectedTakePath();
  if (path.isEmpty())
    return;
  FLastFile = path;
  if (!platform::FileExists(ToPath(FLastFile))) {
    ShowDarkError(FileNotFound);
    RefreshRecordings();
    return;
  }
  try {
    FRecorder->PlayFile(ToPath(FLastFile));
    SetListenForm(true);
    FPlaybackFraction = 0.0;
    FPlaybackCursorVisible = true;
    wave->update();
    timer->start();
    lblTime->setText(QStringLiteral("00:00 / ") +
                     FormatSeconds(FRecorder->PlaybackLengthSeconds()));
    SetStatus(QStringLiteral("Afspelen: ") + FileNamePart(FLastFile));
  } catch (const std::exception &e) {
    ResetPlaybackUi();
    ShowDarkError(QString::fromUtf8(e.what()));
  }
}

void TfrmMain::DeleteClick()
{
  const QListWidgetItem *item = lbRecordings->currentItem();
  const QString path = SelectedTakePath();
  if (path.isEmpty() || item == nullptr)
    return;
  const QString entry = item->text();
  if (!platform::FileExists(ToPath(path))) {
    ShowDarkError(FileNotFound);
    RefreshRecordings();
    return;
  }
  if (!DarkConfirm(QStringLiteral("Wil je \"%1\" definitief wissen?").arg(entry)))
    return;
  try {
    if (FRecorder && FPlaybackCursorVisible) {
      FRecorder->StopPlayback();
      ResetPlaybackUi();
    }
    const std::filesystem::path take = ToPath(path);
    platform::DeleteFileQuietly(take);
    if (platform::FileExists(take))
      throw EFileError("Het bestand kon niet worden gewist.");
    if (FLastFile.compare(path, Qt::CaseInsensitive) == 0)
      FLastFile.clear();
    // the take's backup and trim record go with it; a failure there is let be
    for (const auto &companion : {audio::BackupPath(take), audio::TrimRecordPath(take)})
      if (platform::FileExists(companion))
        platform::DeleteFileQuietly(companion);
    RefreshRecordings();
    SetStatus(QStringLiteral("Gewist: ") + entry);
  } catch (const std::exception &e) {
    ShowDarkError(QString::fromUtf8(e.what()));
  }
}

void TfrmMain::UndoTrimClick()
{
  const QListWidgetItem *item = lbRecordings->currentItem();
  const QString path = SelectedTakePath();
  if (path.isEmpty() || item == nullptr || !FTrimActive || !FRecorder)
    return;
  const QString entry = item->text();
  if (!DarkConfirm(QStringLiteral("Trimming van \"%1\" ongedaan maken?").arg(entry)))
    return;
  try {
    if (FPlaybackCursorVisible) {
      FRecorder->StopPlayback();
      ResetPlaybackUi();
    }
    if (!FRecorder->UndoTrim(ToPath(path)))
      throw ENotFound("De oorspronkelijke opname werd niet gevonden.");
    LoadWaveform();
    SetStatus(QStringLiteral("Trimming ongedaan gemaakt: ") + entry);
  } catch (const std::exception &e) {
    ShowDarkError(QString::fromUtf8(e.what()));
  }
}

void TfrmMain::Tick()
{
  if (!FRecorder) {
    timer->stop();
    return;
  }
  if (FRecorder->Recording()) {
    // The engine may have ended the take itself (input gone, disk full, WAV limit):
    // complete it like a stop, without trimming, and say why.
    std::string why;
    if (FRecorder->CaptureEndedByItself(why)) {
      FinishTake(false, QString::fromStdString(why));
      return;
    }
    // A frozen input is said while it lasts; the take goes on.
    const QString noInput = QStringLiteral("Er komt geen geluid binnen van de audio-ingang.");
    if (FRecorder->InputFrozen())
      lblStatus->setText(noInput);
    else if (lblStatus->text() == noInput)
      lblStatus->setText(QStringLiteral("Opname: ") + FileNamePart(FLastFile));
    int left = 0;
    int right = 0;
    FRecorder->ConsumeStereoPeaks(left, right);
    UpdateLevelMeter(std::max(left, right));
    const std::uint64_t elapsed = Now() - FRecordingStarted;
    FWaveDuration = static_cast<double>(elapsed) / 1000.0;
    lblTime->setText(FormatSeconds(FWaveDuration));
  } else if (FRecorder->PlaybackActive()) {
    UpdateLevelMeter(FRecorder->PlaybackPeakLevel());
    const double position = FRecorder->PlaybackPositionSeconds();
    const double length = FRecorder->PlaybackLengthSeconds();
    FWaveDuration = length;
    lblTime->setText(FormatSeconds(position) + QStringLiteral(" / ") + FormatSeconds(length));
    FPlaybackFraction = length > 0.0 ? std::clamp(position / length, 0.0, 1.0) : 0.0;
    FPlaybackCursorVisible = true;
    wave->update();
  } else if (lblTextListen->text() != ListenIdleText) {
    // The playback has run out by itself.
    FVuDisplayLevel = 0.0;
    FVuPeakLevel = 0.0;
    vu->Tag = 0;
    vu->update();
    ResetPlaybackUi();
    SetStatus(QStringLiteral("Weergave beëindigd"));
  }
}

void TfrmMain::ResetPlaybackUi()
{
  SetListenForm(false);
  lblTime->setText(QStringLiteral("00:00"));
  FPlaybackFraction = 0.0;
  FPlaybackCursorVisible = false;
  wave->update();
  FVuDisplayLevel = 0.0;
  FVuPeakLevel = 0.0;
  vu->Tag = 0;
  vu->update();
  if (!FRecorder || !FRecorder->Recording())
    timer->stop();
}

// ---------------------------------------------------------------------------------------
// Waveform and level meter

void TfrmMain::LoadWaveform()
{
  if (!FRecorder || FRecorder->Recording())
    return;
  const QString path = SelectedTakePath();
  if (path.isEmpty())
    return;
  // Whatever the trim note and marks said belongs to the take shown so far.
  FTrimActive = false;
  btnUndoTrim->setEnabled(false);
  lblTrimInfo->clear();
  lblTrimInfo->hide();
  wave->update();
  if (!platform::FileExists(ToPath(path))) {
    // a take that is gone shows as nothing, never as the take shown before
    ClearWaveform();
    FWaveDuration = 0.0;
    wave->show();
    lblHeadingWave->show();
    ApplyWorkRule();
    return;
  }
  // Off the window's thread; a peaks cache hit answers at once. A newer request
  // supersedes this one.
  if (FWork != nullptr)
    FWork->Analyze(path, WavePoints);
  ApplyWorkRule();
}

void TfrmMain::AnalysisFinished(const TAnalysisResult &AResult)
{
  if (AResult.Path == SelectedTakePath()) {
    if (AResult.Ok) {
      FWaveDuration = AResult.Duration;
      FWaveChannels = AResult.Channels == 1 ? 1 : 2;
      FPeaksLeft = AResult.PeaksLeft;
      FPeaksRight = AResult.PeaksRight;
      FTrimActive = AResult.TrimActive;
      FTrimStartSeconds = AResult.TrimStartSeconds;
      FTrimEndSeconds = AResult.TrimEndSeconds;
      btnUndoTrim->setEnabled(FTrimActive);
      lblTrimInfo->setText(
          FTrimActive ? TrimText(QStringLiteral("GETRIMD: "), FTrimStartSeconds, FTrimEndSeconds)
                      : QString());
      lblTrimInfo->setVisible(FTrimActive);
      wave->show();
      lblHeadingWave->show();
      wave->update();
    } else {
      ClearWaveform();
      FWaveDuration = AResult.Duration;
      wave->show();
      lblHeadingWave->show();
      if (FProgressShown && !FWork->Busy()) {
        // the status line comes back before the message
        FProgressShown = false;
        lblStatus->setText(FStatusBeneath);
      }
      if (!FEndingBySystem) // the system's end asks nothing
        ShowDarkError(AResult.Error);
    }
  }
  ApplyWorkRule();
}

void TfrmMain::UpdateLevelMeter(int Level)
{
  TVuBallistics state;
  state.DisplayLevel = FVuDisplayLevel;
  state.PeakLevel = FVuPeakLevel;
  state.PeakHoldUntil = FVuPeakHoldUntil;
  vu->Tag = UpdateVuBallistics(state, Level, Now());
  FVuDisplayLevel = state.DisplayLevel;
  FVuPeakLevel = state.PeakLevel;
  FVuPeakHoldUntil = state.PeakHoldUntil;
  vu->update();
}

void TfrmMain::PaintVU(QPainter &APainter)
{
  APainter.drawImage(0, 0, RenderLevelMeter(vu->width(), vu->height(), vu->Tag, FVuPeakLevel));
}

void TfrmMain::PaintWave(QPainter &APainter)
{
  TWaveScene scene;
  scene.PeaksLeft = &FPeaksLeft;
  scene.PeaksRight = &FPeaksRight;
  scene.Duration = FWaveDuration;
  scene.Channels = FWaveChannels;
  scene.PlaybackFraction = FPlaybackFraction;
  scene.CursorVisible = FPlaybackCursorVisible;
  scene.TrimActive = FTrimActive;
  APainter.drawImage(0, 0, RenderWaveform(wave->width(), wave->height(), scene));
}

std::uint64_t TfrmMain::Now() const
{
  return TickCount();
}

} // namespace praatkist::ui
