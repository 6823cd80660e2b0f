// The main window driven like a user would: clicks on the panel buttons' labels,
// dialogs answered as they appear, the scripted audio layer in place of the sound
// system, temporary folders for the root and the settings file.

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "app/PraatkistApplication.h"
#include "audio/AudioLayer.h"
#include "audio/BassRecorder.h"
#include "audio/codec/Mp3Frames.h"
#include "platform/FileOps.h"
#include "platform/FileClaim.h"
#include "platform/IniFile.h"
#include "platform/NumberText.h"
#include "platform/SettingsLocation.h"
#include "session/SessionManager.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"
#include "ui/flow/ClockText.h"
#include "ui/style/Fonts.h"
#include "ui/window/MainForm.h"
#include "ui/widgets/ModernButton.h"
#include "ui/flow/TakeFlow.h"
#include "support/WindowKit.h"

using namespace praatkist;
using namespace praatkist::ui;
using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;

namespace {

namespace fs = std::filesystem;
using namespace praatkist::test::window;

} // namespace

class TestMainForm : public QObject {
  Q_OBJECT

private slots:
  void startsWithDefaultsWithoutSettingsFile();
  void clampsStoredValues_data();
  void clampsStoredValues();
  void withoutUsableDeviceRecordAsksForOne();
  void engineFailureKeepsStoredRecordingOptions();
  void settingsBesideProgramOnlyWhereWritable();
  void newSessionTrimsBlanksAndRefusesExistingName();
  void chooseRootProposesCurrentRoot();
  void recordAndStopListsAndSelectsTheTake();
  void recordOptionsReachTheEngine();
  void stopTrimsAndUndoRestores();
  void trimFailureStillCompletesTheStop();
  void listenStopsOnSecondClickAndNoticesRunOut();
  void missingFileIsReportedAndListReloaded();
  void deleteRemovesTakeAndCompanions();
  void purgeCountsBothKindsAndDeletes();
  void closeDuringTakeCompletesItsFile();
  void clockShowsElapsedTime();
  void pauseHoldsTheClockAndClipLampStaysLit();
  void preRollShowsTheInputAndOpensTheTake();
  void preRollOffOpensNothingAndALostInputReturns();
  void doubleClickDuringTakeLeavesTheTakeAlone();
  void stopShowsTheNewTakeEvenWhenNotLast();
  void takeEndingByItselfIsCompletedAndReported();
  void takeThatCannotBeCompletedIsNotCalledKept();
  void statusTellsWhileTheInputGivesNothing();
  void vanishedSessionReachesGeneralHandler();
  void mouseChoosesTheTakeCommandsActOn();
  void unusableRootsStillOpenTheWindow();
  void rootChoiceIsAllOrNothing();
  void unreadableRootIsRefused();
  void newSessionThatCannotBeMadeSaysSo();
  void stopAnalysesOnlyTheNewTake();
  void sessionChangeStopsThePlayingTake();
  void settingsThatCannotBeWrittenAreReported();
  void deviceListFollowsTheSystemWhileIdle();
  void failedStartKeepsTheShownTake();
  void mp3At96000IsAnnounced();
  void systemEndAsksNothingAndKeepsTheTake();
  void analysisShowsProgressAndGivesWayToANewChoice();
  void aNewChoiceShowsNothingOfTheTakeBefore();
  void trimShowsProgressAndCloseWaitsForASafeEnd();
  void screenReadersGetNamesRolesAndActions();
  void keyboardAloneMakesASessionAndWorksATake();
  void windowFitsTheScreenAndReachesEveryControl();
  void headingsShowTheirWholeText();
  void abandonedTrimFilesGoWhenTakesAreListed();
};

void TestMainForm::startsWithDefaultsWithoutSettingsFile()
{
  TWindowKit kit("", false);
  kit.Layer.Devices.push_back({"Uitgeschakeld", "off", 0});
  auto &w = kit.Open();

  QCOMPARE(w.size(), QSize(924, 725));
  QCOMPARE(w.windowTitle(), QStringLiteral("Praatkist"));
  const QList<QSize> sizes = w.windowIcon().availableSizes();
  for (int s : {16, 24, 32, 48})
    QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));

  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Klaar om op te nemen"));
  QCOMPARE(w.Controls().cbFormat->currentText(), QStringLiteral("WAV"));
  QCOMPARE(w.Controls().cbRate->currentText(), QStringLiteral("48000"));
  QCOMPARE(w.Controls().cbBitrate->currentText(), QStringLiteral("192 kbps"));
  QVERIFY(!w.Controls().cbBitrate->isEnabled());
  QVERIFY(!w.Controls().chkTrimSilence->isChecked());
  QVERIFY(!w.Controls().chkMono->isChecked());
  // Loopback and disabled devices are left out; each entry keeps its device index.
  QCOMPARE(w.Controls().cbDevice->count(), 2);
  QCOMPARE(w.Controls().cbDevice->itemText(0), QStringLiteral("Microfoon"));
  QCOMPARE(w.Controls().cbDevice->itemData(0).toInt(), 0);
  QCOMPARE(w.Controls().cbDevice->itemText(1), QStringLiteral("Line in"));
  QCOMPARE(w.Controls().cbDevice->itemData(1).toInt(), 2);
  QCOMPARE(w.Controls().cbDevice->currentIndex(), 0);

  // The default root: AudioSessies in the (temporary) documents folder.
  QVERIFY(w.Sessions().RootPath().endsWith(QStringLiteral("AudioSessies")));
  QVERIFY(w.Sessions().RootPath().startsWith(qEnvironmentVariable("HOME")));
  QCOMPARE(w.RootShown(), w.Sessions().RootPath());
  QCOMPARE(w.Controls().cbSession->currentIndex(), -1);
  QCOMPARE(w.Controls().lbRecordings->model()->rowCount(), 0);

  for (QWidget *on : std::initializer_list<QWidget *>{
           w.Controls().btnRoot, w.Controls().btnNew, w.Controls().btnAbout, w.Controls().btnExit,
           w.Controls().btnRecord, w.Controls().cbSession, w.Controls().cbDevice,
           w.Controls().cbFormat, w.Controls().cbRate, w.Controls().chkTrimSilence,
           w.Controls().chkMono})
    QVERIFY2(on->isEnabled(), qPrintable(on->objectName()));
  for (QWidget *off :
       std::initializer_list<QWidget *>{w.Controls().btnStop, w.Controls().btnListen,
                                        w.Controls().btnDelete, w.Controls().btnUndoTrim})
    QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
  QVERIFY(!w.Timer()->isActive());
  QCOMPARE(w.Controls().chkMono->toolTip(),
           QStringLiteral("Neem met één audiokanaal op in plaats van stereo"));

  TDialogs dialogs;
  QTest::mouseClick(w.Controls().btnAbout->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 1);
  QCOMPARE(dialogs.Seen[0].Title, QStringLiteral("Over Praatkist"));
  dialogs.Seen.clear();

  // The close step writes the file with these values.
  w.close();
  QVERIFY(dialogs.Seen.isEmpty());
  QVERIFY(fs::exists(kit.Ini));
  QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), w.Sessions().RootPath().toStdString());
  QCOMPARE(kit.Setting("Opname", "Formaat"), std::string("0"));
  QCOMPARE(kit.Setting("Opname", "Samplerate"), std::string("48000"));
  QCOMPARE(kit.Setting("Opname", "BitrateIndex"), std::string("1"));
  QCOMPARE(kit.Setting("Opname", "Geluidsingang"), std::string("Microfoon"));
  QCOMPARE(kit.Setting("Opname", "StiltesTrimmen"), std::string("0"));
  QCOMPARE(kit.Setting("Opname", "Mono"), std::string("0"));
}

void TestMainForm::clampsStoredValues_data()
{
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("format");
  QTest::addColumn<bool>("bitrateEnabled");
  QTest::addColumn<QString>("bitrate");
  QTest::addColumn<QString>("rate");
  QTest::addColumn<QString>("device");
  QTest::addColumn<bool>("trim");
  QTest::addColumn<bool>("mono");

  QTest::newRow("high") << "Formaat=5\r\nBitrateIndex=9\r\nSamplerate=22050\r\n"
                           "Geluidsingang=Line in\r\nStiltesTrimmen=7\r\nMono=1\r\n"
                        << "MP3" << true << "320 kbps"
                        << "48000"
                        << "Line in" << true << true;
  QTest::newRow("low") << "Formaat=-2\r\nBitrateIndex=-1\r\nSamplerate=96000\r\n"
                          "Geluidsingang=Weggehaald\r\nStiltesTrimmen=0\r\nMono=ja\r\n"
                       << "WAV" << false << "128 kbps"
                       << "96000"
                       << "Microfoon" << false << false;
  QTest::newRow("loopback name") << "Formaat=1\r\nBitrateIndex=2\r\nSamplerate=44100\r\n"
                                    "Geluidsingang=Monitor of Speakers\r\n"
                                 << "MP3" << true << "256 kbps"
                                 << "44100"
                                 << "Microfoon" << false << false;
}

void TestMainForm::clampsStoredValues()
{
  QFETCH(QString, stored);
  TWindowKit kit("[Opname]\r\n" + stored.toStdString());
  auto &w = kit.Open();
  QTEST(w.Controls().cbFormat->currentText(), "format");
  QTEST(w.Controls().cbBitrate->isEnabled(), "bitrateEnabled");
  QTEST(w.Controls().cbBitrate->currentText(), "bitrate");
  QTEST(w.Controls().cbRate->currentText(), "rate");
  QTEST(w.Controls().cbDevice->currentText(), "device");
  QTEST(w.Controls().chkTrimSilence->isChecked(), "trim");
  QTEST(w.Controls().chkMono->isChecked(), "mono");
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Klaar om op te nemen"));
}

void TestMainForm::withoutUsableDeviceRecordAsksForOne()
{
  TWindowKit kit("[Opname]\r\nGeluidsingang=Line in\r\n");
  kit.Layer.Devices = {{"Monitor of Speakers", "m", audio::kDeviceEnabled | audio::kDeviceLoopback},
                       {"Line in", "line", 0}};
  kit.Session("Koor");
  auto &w = kit.Open();
  QCOMPARE(w.Controls().cbDevice->count(), 0);
  QVERIFY(w.Controls().btnRecord->isEnabled());

  TDialogs dialogs;
  // Without a session first: the notice asks for one.
  QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
  kit.Pick(QStringLiteral("Koor"));
  QTest::mouseClick(w.Controls().btnRecord->Icon, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 2);
  QCOMPARE(dialogs.Seen[0].Text, QStringLiteral("Kies of maak eerst een sessie."));
  QCOMPARE(dialogs.Seen[1].Title, QStringLiteral("Fout"));
  QCOMPARE(dialogs.Seen[1].Text, QStringLiteral("Er is geen audio-ingang gekozen."));
  QVERIFY(!kit.Layer.Called("RecordStart"));
  QVERIFY(!w.Timer()->isActive());

  w.close();
  QCOMPARE(kit.Setting("Opname", "Geluidsingang"), std::string("Line in"));
}

void TestMainForm::engineFailureKeepsStoredRecordingOptions()
{
  const std::string stored = "[Opname]\r\nFormaat=1\r\nSamplerate=96000\r\nBitrateIndex=3\r\n"
                             "Geluidsingang=Line in\r\nStiltesTrimmen=1\r\nMono=1\r\n";
  TWindowKit kit(stored);
  kit.Session("Koor");
  kit.Layer.FailNext("Init", audio::kErrDriver);
  auto &w = kit.Open();

  QCOMPARE(w.Controls().lblStatus->text(),
           QStringLiteral("Initialiseren van audio-uitgang mislukt (BASS-fout 3)."));
  QVERIFY(w.Recorder() == nullptr);
  QVERIFY(!w.Controls().btnRecord->isEnabled());
  QCOMPARE(w.Controls().cbDevice->count(), 0);
  QCOMPARE(w.Controls().cbFormat->currentText(), QStringLiteral("WAV"));

  TDialogs dialogs;
  QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
  kit.Pick(QStringLiteral("Koor"));
  QVERIFY(!w.Controls().btnListen->isEnabled());
  w.close();
  kit.Win.reset();
  QVERIFY(dialogs.Seen.isEmpty());

  // The root is written; the recording options stay as the user had them.
  QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), kit.Root.string());
  const platform::TIniFile ini(kit.Ini);
  QCOMPARE(ini.ReadInteger("Opname", "Formaat", -9), 1);
  QCOMPARE(ini.ReadString("Opname", "Samplerate", ""), std::string("96000"));
  QCOMPARE(ini.ReadInteger("Opname", "BitrateIndex", -9), 3);
  QCOMPARE(ini.ReadString("Opname", "Geluidsingang", ""), std::string("Line in"));
  QCOMPARE(ini.ReadBool("Opname", "StiltesTrimmen", false), true);
  QCOMPARE(ini.ReadBool("Opname", "Mono", false), true);

  // No audio layer at all: the same, with the status saying why.
  TfrmMain bare(nullptr, Q(kit.Dir / "bare.ini"));
  QVERIFY(bare.Controls().lblStatus->text().contains(QStringLiteral("mislukt (BASS-fout 3).")));
  QVERIFY(!bare.Controls().btnRecord->isEnabled());
}

void TestMainForm::settingsBesideProgramOnlyWhereWritable()
{
  TTempDir dir;
  const fs::path bin = dir / "bin";
  fs::create_directories(bin);
  QCOMPARE(platform::SettingsFilePath(Q(bin / "Praatkist")), Q(bin / "Praatkist.ini"));
  QCOMPARE(platform::SettingsFilePath(Q(bin / "Praatkist.exe")), Q(bin / "Praatkist.ini"));

  // A folder the program cannot write to: the user's configuration folder.
  const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Praatkist");
  const QString fallback = platform::SettingsFilePath(Q(dir / "missing" / "Praatkist"));
  QCOMPARE(fallback, config + QStringLiteral("/Praatkist.ini"));
  QVERIFY(QFileInfo(config).isDir());
  // An installed program writes nothing among the system's programs, even where it
  // could (as root).
  QCOMPARE(platform::SettingsFilePath(QStringLiteral("/usr/bin/Praatkist")),
           config + QStringLiteral("/Praatkist.ini"));

  if (!test::IgnoresPermissions()) {
    const fs::path locked = dir / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    QCOMPARE(platform::SettingsFilePath(Q(locked / "Praatkist")),
             config + QStringLiteral("/Praatkist.ini"));
    fs::permissions(locked, fs::perms::owner_all);

    // settings already lying beside the read-only program are carried over once
    QFile::remove(config + QStringLiteral("/Praatkist.ini"));
    test::WriteBytes(locked / "Praatkist.ini", "[Opname]\r\nMono=1\r\n", 18);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    const QString carried = platform::SettingsFilePath(Q(locked / "Praatkist"));
    QCOMPARE(carried, config + QStringLiteral("/Praatkist.ini"));
    QVERIFY(praatkist::platform::TIniFile(carried.toStdString()).ReadBool("Opname", "Mono", false));
    test::WriteBytes(carried.toStdString(), "[Opname]\r\nMono=0\r\n", 18);
    platform::SettingsFilePath(Q(locked / "Praatkist"));
    QVERIFY2(!praatkist::platform::TIniFile(carried.toStdString()).ReadBool("Opname", "Mono", true),
             "the user's own file is never replaced");
    fs::permissions(locked, fs::perms::owner_all);
  }
}

void TestMainForm::newSessionTrimsBlanksAndRefusesExistingName()
{
  TWindowKit kit;
  auto &w = kit.Open();
  TDialogs dialogs;
  dialogs.Type(QStringLiteral("  Koor  "));
  QTest::mouseClick(w.Controls().btnNew->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 1);
  QCOMPARE(dialogs.Seen[0].Title, QStringLiteral("Nieuwe sessie"));
  QVERIFY(fs::is_directory(kit.Root / "Koor"));
  QCOMPARE(w.Controls().cbSession->currentText(), QStringLiteral("Koor"));
  QCOMPARE(w.Sessions().SessionName(), QStringLiteral("Koor"));

  dialogs.Type(QStringLiteral("Koor"));
  QTest::mouseClick(w.Controls().btnNew->Icon, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 3);
  QCOMPARE(dialogs.Seen[2].Title, QStringLiteral("Fout"));
  QCOMPARE(dialogs.Seen[2].Text, QStringLiteral("Sessie \"Koor\" bestaat al."));

  // Cancelling the prompt changes nothing.
  QTest::mouseClick(w.Controls().btnNew->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 4);
  QCOMPARE(w.Controls().cbSession->count(), 1);
}

void TestMainForm::chooseRootProposesCurrentRoot()
{
  TWindowKit kit;
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QVERIFY(w.Controls().chkTrimSilence->isEnabled());

  const fs::path other = kit.Dir / "other";
  kit.RootAnswer = Q(other);
  QTest::mouseClick(w.Controls().btnRoot->Text, Qt::LeftButton);
  QCOMPARE(kit.AskedRootProposal, Q(kit.Root));
  QVERIFY(fs::is_directory(other));
  QCOMPARE(w.Sessions().RootPath(), Q(other));
  QCOMPARE(w.RootShown(), Q(other));
  QCOMPARE(w.Controls().cbSession->count(), 0);
  QCOMPARE(w.Sessions().SessionName(), QString());

  // Cancelled: nothing changes.
  kit.RootAnswer.clear();
  QTest::mouseClick(w.Controls().btnRoot->Icon, Qt::LeftButton);
  QCOMPARE(w.Sessions().RootPath(), Q(other));
  w.close();
  QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), other.string());
}

void TestMainForm::recordAndStopListsAndSelectsTheTake()
{
  TWindowKit kit;
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));

  QTest::mouseClick(w.Controls().btnRecord->Icon, Qt::LeftButton);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Koor-1.wav"));
  QCOMPARE(w.Controls().lblTime->text(), QStringLiteral("00:00"));
  QVERIFY(w.Timer()->isActive());
  QCOMPARE(w.Controls().btnRecord->Text->text(), QStringLiteral("PAUZEREN"));
  QVERIFY(w.Controls().btnStop->isEnabled());
  for (QWidget *off : std::initializer_list<QWidget *>{
           w.Controls().chkTrimSilence, w.Controls().chkMono, w.Controls().cbSession,
           w.Controls().btnNew, w.Controls().btnRoot, w.Controls().cbDevice, w.Controls().cbFormat,
           w.Controls().cbRate, w.Controls().cbBitrate})
    QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
  QVERIFY(w.Controls().lbRecordings->isEnabled());
  QVERIFY(w.Controls().btnExit->isEnabled());
  QVERIFY(w.Controls().wave->isHidden());
  QCOMPARE(kit.Layer.RecordDevice, 0);
  QCOMPARE(kit.Layer.RecordRate, 48000u);
  QCOMPARE(kit.Layer.RecordChans, 2u);

  const auto take = Level(1.5, 9000);
  kit.Feed(take);
  // The meter follows the captured peaks.
  w.Flow().Tick();
  QVERIFY(w.VuDisplayLevel() > 0.0);
  QVERIFY(w.VuPeakLevel() >= 9000.0);

  kit.Stop();
  const fs::path file = kit.Root / "Koor" / "Koor-1.wav";
  QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav")});
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav"));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Bewaard: ") + NativeTakePath(file));
  QCOMPARE(fs::file_size(file), 44 + take.size() * 2);
  QVERIFY(!w.Timer()->isActive());
  QVERIFY(w.Controls().btnRecord->isEnabled());
  QVERIFY(!w.Controls().btnStop->isEnabled());
  QVERIFY(w.Controls().btnListen->isEnabled());
  QVERIFY(w.Controls().btnDelete->isEnabled());
  QVERIFY(!w.Controls().btnUndoTrim->isEnabled());
  QVERIFY(w.Controls().wave->isVisible());
  QVERIFY(w.Controls().lblHeadingWave->isVisible());
  QCOMPARE(w.WaveDuration(), 1.5);
  QVERIFY(!w.PeaksLeft().empty());
  // The bar goes dark at the stop.
  QCOMPARE(w.Controls().vu->Tag, std::int64_t{0});

  // The next take gets the next number.
  kit.Record(Level(0.2, 100));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Koor-2.wav"));
  QVERIFY(w.PeaksLeft().empty());
  kit.Stop();
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-2.wav"));
}

void TestMainForm::recordOptionsReachTheEngine()
{
  TWindowKit kit;
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));

  kit.ChooseFormat(1);
  QVERIFY(w.Controls().cbBitrate->isEnabled());
  PickEntry(w.Controls().cbBitrate, QStringLiteral("320 kbps"));
  PickEntry(w.Controls().cbRate, QStringLiteral("44100"));
  PickEntry(w.Controls().cbDevice, QStringLiteral("Line in")); // device 2
  QTest::mouseClick(w.Controls().chkMono, Qt::LeftButton);
  QVERIFY(w.Controls().chkMono->isChecked());

  const fs::path mp3 = kit.Root / "Koor" / "Koor-1.mp3";
  TScriptedAudioLayer::TScriptedStream decoded;
  decoded.Freq = 44100;
  decoded.Chans = 1;
  decoded.Samples = std::vector<std::int16_t>(44100, 500);
  kit.Layer.AddStream(mp3, decoded);

  TDialogs dialogs;
  kit.Record(Level(0.1, 300, 1));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Koor-1.mp3"));
  QCOMPARE(kit.Layer.RecordChans, 1u);
  QCOMPARE(kit.Layer.RecordRate, 44100u);
  QCOMPARE(kit.Layer.RecordDevice, 2);
  kit.Stop();
  audio::TMp3Take written; // the take's own MP3, at the bit rate chosen
  QVERIFY(audio::ReadMp3Take(mp3, written));
  QCOMPARE(written.First.Kbps, 320u);
  QVERIFY(dialogs.Seen.isEmpty());
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.mp3"));
  QCOMPARE(w.WaveChannels(), 1);
  QCOMPARE(w.WaveDuration(), 1.0);

  // Back to WAV: the bit-rate list is disabled again and kept at its choice.
  kit.ChooseFormat(0);
  QVERIFY(!w.Controls().cbBitrate->isEnabled());
  w.close();
  QCOMPARE(kit.Setting("Opname", "Formaat"), std::string("0"));
  QCOMPARE(kit.Setting("Opname", "BitrateIndex"), std::string("3"));
  QCOMPARE(kit.Setting("Opname", "Samplerate"), std::string("44100"));
  QCOMPARE(kit.Setting("Opname", "Geluidsingang"), std::string("Line in"));
  QCOMPARE(kit.Setting("Opname", "Mono"), std::string("1"));
}

void TestMainForm::stopTrimsAndUndoRestores()
{
  QCOMPARE(platform::UserDecimalSeparator(), ','); // the test runs in a Dutch locale
  TWindowKit kit("[Opname]\r\nStiltesTrimmen=1\r\n");
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QVERIFY(w.Controls().chkTrimSilence->isChecked());

  const auto take = TrimmableTake();
  kit.Record(take);
  kit.Stop();
  const fs::path file = kit.Root / "Koor" / "Koor-1.wav";
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Getrimd: 0,40 s begin / 0,40 s einde"));
  QVERIFY(w.Controls().lblTrimInfo->isVisible());
  QCOMPARE(w.Controls().lblTrimInfo->text(),
           QStringLiteral("GETRIMD: 0,40 s begin / 0,40 s einde"));
  QVERIFY(w.Controls().btnUndoTrim->isEnabled());
  QVERIFY(fs::exists(file.string() + ".untrimmed"));
  QVERIFY(fs::exists(file.string() + ".triminfo"));
  QCOMPARE(w.WaveDuration(), 1.2);

  TDialogs dialogs;
  dialogs.Click(QStringLiteral("Annuleren"));
  QTest::mouseClick(w.Controls().btnUndoTrim->Text, Qt::LeftButton);
  QVERIFY(fs::exists(file.string() + ".triminfo"));

  dialogs.Click(QStringLiteral("Wissen"));
  QTest::mouseClick(w.Controls().btnUndoTrim->Icon, Qt::LeftButton);
  kit.Settle();
  QCOMPARE(dialogs.Seen.size(), 2);
  QCOMPARE(dialogs.Seen[1].Text, QStringLiteral("Trimming van \"Koor-1.wav\" ongedaan maken?"));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Trimming ongedaan gemaakt: Koor-1.wav"));
  QCOMPARE(fs::file_size(file), 44 + take.size() * 2);
  QVERIFY(!fs::exists(file.string() + ".untrimmed"));
  QVERIFY(!fs::exists(file.string() + ".triminfo"));
  QVERIFY(!w.Controls().lblTrimInfo->isVisible());
  QVERIFY(!w.Controls().btnUndoTrim->isEnabled());
  QCOMPARE(w.WaveDuration(), 2.0);
}

void TestMainForm::trimFailureStillCompletesTheStop()
{
  TWindowKit kit("[Opname]\r\nStiltesTrimmen=1\r\n");
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));

  TDialogs dialogs;
  kit.Record(TrimmableTake());
  kit.Layer.FailNext("StreamCreateFile", audio::kErrFileOpen);
  kit.Stop();
  const fs::path file = kit.Root / "Koor" / "Koor-1.wav";
  QCOMPARE(dialogs.Seen.size(), 1);
  QVERIFY2(dialogs.Seen[0].Text.startsWith(QStringLiteral("Automatisch trimmen mislukt: ")),
           qPrintable(dialogs.Seen[0].Text));
  QVERIFY(dialogs.Seen[0].Text.endsWith(QStringLiteral("(BASS-fout 2).")));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Bewaard: ") + NativeTakePath(file));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav"));
  QVERIFY(w.Controls().btnRecord->isEnabled());
  QVERIFY(!w.TrimActive());
  QCOMPARE(fs::file_size(file), 44 + TrimmableTake().size() * 2);

  // A silent take leaves nothing to cut: saved as recorded.
  kit.Record(Level(1.0, 0));
  kit.Stop();
  QCOMPARE(dialogs.Seen.size(), 1);
  QCOMPARE(w.Controls().lblStatus->text(),
           QStringLiteral("Bewaard: ") + NativeTakePath(kit.Root / "Koor" / "Koor-2.wav"));
}

void TestMainForm::listenStopsOnSecondClickAndNoticesRunOut()
{
  TWindowKit kit;
  const fs::path folder = kit.Session("Koor");
  const auto samples = Level(4.0, 8000);
  WriteWave(folder / "Koor-1.wav", samples);
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav"));
  QVERIFY(w.Controls().btnListen->isEnabled());

  QTest::mouseClick(w.Controls().btnListen->Text, Qt::LeftButton);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Afspelen: Koor-1.wav"));
  QCOMPARE(w.Controls().lblTime->text(), QStringLiteral("00:00 / 00:04"));
  QCOMPARE(w.Controls().btnListen->Text->text(), QStringLiteral("STOP WEERGAVE"));
  QCOMPARE(w.Controls().btnListen->Icon->text(), QStringLiteral("■"));
  QVERIFY(w.PlaybackCursorVisible());
  QVERIFY(w.Timer()->isActive());
  QCOMPARE(w.LastFile(), NativeTakePath(folder / "Koor-1.wav"));

  const audio::THandle stream = kit.PlaybackStream();
  QVERIFY(stream != 0);
  kit.Layer.Level[0] = 0.5f;
  kit.Layer.Level[1] = 0.25f;
  kit.Layer.SetPlaybackPosition(stream, samples.size(), false); // half way
  w.Flow().Tick();
  QCOMPARE(w.Controls().lblTime->text(), QStringLiteral("00:02 / 00:04"));
  QCOMPARE(w.PlaybackFraction(), 0.5);
  QVERIFY(w.VuDisplayLevel() > 0.0);

  // The second click stops it.
  QTest::mouseClick(w.Controls().btnListen->Icon, Qt::LeftButton);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Weergave gestopt"));
  QCOMPARE(w.Controls().lblTime->text(), QStringLiteral("00:00"));
  QCOMPARE(w.Controls().btnListen->Text->text(), QStringLiteral("BELUISTEREN"));
  QCOMPARE(w.Controls().btnListen->Icon->text(), QStringLiteral("▶"));
  QVERIFY(!w.PlaybackCursorVisible());
  QVERIFY(!w.Timer()->isActive());
  QCOMPARE(w.VuPeakLevel(), 0.0);
  QCOMPARE(kit.PlaybackStream(), audio::THandle{0});

  // Played to its end: noticed by the next tick.
  QTest::mouseClick(w.Controls().btnListen->Text, Qt::LeftButton);
  const audio::THandle again = kit.PlaybackStream();
  w.Flow().Tick();
  QVERIFY(w.VuPeakLevel() > 0.0);
  kit.Layer.SetPlaybackPosition(again, samples.size() * 2, true);
  w.Flow().Tick();
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Weergave beëindigd"));
  QCOMPARE(w.Controls().btnListen->Text->text(), QStringLiteral("BELUISTEREN"));
  QCOMPARE(w.Controls().lblTime->text(), QStringLiteral("00:00"));
  QCOMPARE(w.VuPeakLevel(), 0.0);
  QCOMPARE(w.Controls().vu->Tag, std::int64_t{0});
  QVERIFY(!w.Timer()->isActive());
  QCOMPARE(w.PlaybackFraction(), 0.0);

  // Selecting another entry during a playback stops it.
  WriteWave(folder / "Koor-2.wav", Level(1.0, 100));
  kit.Pick(QStringLiteral("Koor"));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-2.wav"));
  QTest::mouseClick(w.Controls().btnListen->Text, Qt::LeftButton);
  QVERIFY(w.PlaybackCursorVisible());
  ClickRow(w.Controls().lbRecordings, 0);
  QVERIFY(!w.PlaybackCursorVisible());
  QCOMPARE(kit.PlaybackStream(), audio::THandle{0});
  QCOMPARE(w.WaveDuration(), 4.0);
}

void TestMainForm::missingFileIsReportedAndListReloaded()
{
  TWindowKit kit;
  const fs::path folder = kit.Session("Koor");
  WriteWave(folder / "Koor-1.wav", Level(1.0, 100));
  WriteWave(folder / "Koor-2.wav", Level(1.0, 100));
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  fs::remove(folder / "Koor-2.wav");

  TDialogs dialogs;
  QTest::mouseClick(w.Controls().btnListen->Text, Qt::LeftButton);
  kit.Settle();
  QCOMPARE(dialogs.Texts(),
           QStringList{QStringLiteral("Het gekozen geluidsbestand werd niet gevonden.")});
  QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav")});
  QVERIFY(!w.PlaybackCursorVisible());

  fs::remove(folder / "Koor-1.wav");
  QTest::mouseClick(w.Controls().btnDelete->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 2);
  QCOMPARE(dialogs.Seen[1].Text, QStringLiteral("Het gekozen geluidsbestand werd niet gevonden."));
  QCOMPARE(kit.Entries(), QStringList());
  QVERIFY(!w.Controls().btnListen->isEnabled());
  QVERIFY(!w.Controls().btnDelete->isEnabled());
}

void TestMainForm::deleteRemovesTakeAndCompanions()
{
  TWindowKit kit;
  const fs::path folder = kit.Session("Koor");
  WriteWave(folder / "Koor-1.wav", Level(1.0, 100));
  WriteWave(folder / "Koor-2.wav", Level(2.0, 100));
  WriteTrimRecord(folder / "Koor-2.wav", "0,5", "0,25");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-2.wav"));
  QCOMPARE(w.Controls().lblTrimInfo->text(),
           QStringLiteral("GETRIMD: 0,50 s begin / 0,25 s einde"));

  TDialogs dialogs;
  dialogs.Click(QStringLiteral("Annuleren"));
  QTest::mouseClick(w.Controls().btnDelete->Text, Qt::LeftButton);
  QVERIFY(fs::exists(folder / "Koor-2.wav"));

  // Deleting the take that plays stops the playback first.
  QTest::mouseClick(w.Controls().btnListen->Text, Qt::LeftButton);
  QVERIFY(w.PlaybackCursorVisible());
  dialogs.Click(QStringLiteral("Wissen"));
  QTest::mouseClick(w.Controls().btnDelete->Icon, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 2);
  QCOMPARE(dialogs.Seen[1].Title, QStringLiteral("Bevestigen"));
  QCOMPARE(dialogs.Seen[1].Text, QStringLiteral("Wil je \"Koor-2.wav\" definitief wissen?"));
  QVERIFY(!w.PlaybackCursorVisible());
  QCOMPARE(w.Controls().btnListen->Text->text(), QStringLiteral("BELUISTEREN"));
  QVERIFY(!fs::exists(folder / "Koor-2.wav"));
  QVERIFY(!fs::exists(folder / "Koor-2.wav.untrimmed"));
  QVERIFY(!fs::exists(folder / "Koor-2.wav.triminfo"));
  QCOMPARE(w.LastFile(), QString());
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Gewist: Koor-2.wav"));
  QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav")});
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav"));
  QVERIFY(!w.Controls().lblTrimInfo->isVisible());
  QVERIFY(!w.Controls().btnUndoTrim->isEnabled());
}

void TestMainForm::purgeCountsBothKindsAndDeletes()
{
  {
    // Nothing to purge: the window closes without a question. What a trim cut short
    // left is no backup: it goes without one.
    TWindowKit kit;
    const fs::path take = kit.Session("Koor") / "Koor-1.wav";
    WriteWave(take, Level(0.1, 1));
    const fs::path stale = take.string() + ".untrimmed.TRIMTMP";
    Touch(stale);
    auto &w = kit.Open();
    TDialogs dialogs;
    QTest::mouseClick(w.Controls().btnExit->Text, Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QVERIFY(dialogs.Seen.isEmpty());
    QVERIFY(!fs::exists(stale));
    QVERIFY(fs::exists(take));
  }
  TWindowKit kit;
  const fs::path koor = kit.Session("Koor");
  const fs::path nested = kit.Root / "Band" / "oud";
  fs::create_directories(nested);
  const std::vector<fs::path> takes{koor / "Koor-1.wav", koor / "Koor-2.mp3", nested / "x.wav"};
  for (const auto &take : takes) {
    WriteWave(take, Level(0.1, 1));
    WriteTrimRecord(take, "0,1", "0,1");
  }
  // what a trim interrupted by a crash left
  const fs::path stale = takes[0].string() + ".trimtmp";
  Touch(stale);
  auto &w = kit.Open();
  TDialogs dialogs;

  // The exit panel's margin does nothing; its labels close.
  QTest::mouseClick(w.Controls().btnExit, Qt::LeftButton, {}, QPoint(2, 2));
  QVERIFY(w.isVisible());

  dialogs.Click(QStringLiteral("Annuleren"));
  QTest::mouseClick(w.Controls().btnExit->Icon, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 1);
  QCOMPARE(dialogs.Seen[0].Text,
           QStringLiteral("Er zijn 6 triminfo- en herstelbestand(en).\n"
                          "Wil je deze bestanden nu verwijderen?\n"
                          "Het ongedaan maken van eerdere trims is daarna niet meer mogelijk."));
  for (const auto &take : takes)
    QVERIFY(fs::exists(take.string() + ".triminfo"));
  QVERIFY(!fs::exists(stale)); // not asked about, and gone all the same

  w.show();
  dialogs.Click(QStringLiteral("Wissen"));
  w.close();
  QCOMPARE(dialogs.Seen.size(), 2);
  for (const auto &take : takes) {
    QVERIFY(fs::exists(take));
    QVERIFY(!fs::exists(take.string() + ".triminfo"));
    QVERIFY(!fs::exists(take.string() + ".untrimmed"));
  }
  QVERIFY(!fs::exists(stale));
}

void TestMainForm::closeDuringTakeCompletesItsFile()
{
  TWindowKit kit("[Opname]\r\nStiltesTrimmen=1\r\n");
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  const auto take = TrimmableTake();
  kit.Record(take);

  TDialogs dialogs;
  w.close();
  QVERIFY(dialogs.Seen.isEmpty());
  QVERIFY(!w.Recorder()->Recording());
  const fs::path file = kit.Root / "Koor" / "Koor-1.wav";
  const auto bytes = test::ReadBytes(file);
  QCOMPARE(bytes.size(), 44 + take.size() * 2);
  QCOMPARE(test::Le32(bytes, 4), static_cast<std::uint32_t>(36 + take.size() * 2));
  QCOMPARE(test::Le32(bytes, 40), static_cast<std::uint32_t>(take.size() * 2));
  // Not trimmed and not listed.
  QVERIFY(!fs::exists(file.string() + ".triminfo"));
  QCOMPARE(kit.Entries(), QStringList());
}

void TestMainForm::clockShowsElapsedTime()
{
  QCOMPARE(FormatSeconds(-3), QStringLiteral("00:00"));
  TWindowKit kit;
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  kit.Now = 5000;
  kit.Record({});
  const struct {
    std::uint64_t Ms;
    const char *Text;
  } cases[] = {{0, "00:00"},       {59900, "00:59"},      {61000, "01:01"},
               {3599000, "59:59"}, {3600000, "01:00:00"}, {360000000, "100:00:00"}};
  for (const auto &c : cases) {
    kit.Now = 5000 + c.Ms;
    w.Flow().Tick();
    QCOMPARE(w.Controls().lblTime->text(), QString::fromLatin1(c.Text));
    QCOMPARE(w.WaveDuration(), c.Ms / 1000.0);
  }
  kit.Stop();
}

// The record button pauses and resumes a take: nothing is written while paused, the
// meter goes on and the clock holds at the time recorded. A full-scale sample lights the
// lamp with its time in the take, until the next take starts.
void TestMainForm::pauseHoldsTheClockAndClipLampStaysLit()
{
  TWindowKit kit;
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  TPanelButton *record = w.Controls().btnRecord;
  QLabel *lamp = w.Controls().lblClip;
  kit.Record(Level(1.0, 1000));
  QVERIFY(record->isEnabled());
  QTest::mouseClick(record->Text, Qt::LeftButton);
  QCOMPARE(record->Text->text(), QStringLiteral("HERVATTEN"));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Gepauzeerd: Koor-1.wav"));
  kit.Feed(Level(2.0, 12000));
  kit.Now += 60000;
  w.Flow().Tick();
  QCOMPARE(w.Controls().lblTime->text(), QStringLiteral("00:01"));
  QVERIFY(w.VuPeakLevel() >= 12000.0);
  QVERIFY(lamp->isHidden());

  QTest::mouseClick(record->Icon, Qt::LeftButton);
  QCOMPARE(record->Text->text(), QStringLiteral("PAUZEREN"));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Koor-1.wav"));
  auto loud = Level(1.5, 1000);
  loud[2 * Rate + 1] = -32767;
  kit.Feed(loud);
  kit.Now += 2000;
  w.Flow().Tick();
  QCOMPARE(w.Controls().lblTime->text(), QStringLiteral("00:03"));
  QVERIFY(lamp->isVisible());
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Let op: oversturing bij 00:02."));
  QVERIFY(QAccessible::queryAccessibleInterface(w.Controls().vu)
              ->text(QAccessible::Description)
              .endsWith(QStringLiteral(", overstuurd")));

  kit.Stop();
  QCOMPARE(fs::file_size(kit.Root / "Koor" / "Koor-1.wav"),
           std::uintmax_t{44 + 4 * (Rate + Rate * 3 / 2)});
  QVERIFY(lamp->isVisible());
  QCOMPARE(record->Text->text(), QStringLiteral("OPNAME STARTEN"));
  kit.Record(Level(0.1, 1000));
  QVERIFY(lamp->isHidden());
  kit.Stop();
}

// With Vooropname the input is open before the take: the meter and its heading show it,
// a full-scale sample lights the lamp, and the take begins with what came before the
// click (3 s at most). After the stop the input opens again, follows the options, and
// closes with the option.
void TestMainForm::preRollShowsTheInputAndOpensTheTake()
{
  TWindowKit kit("[Opname]\r\nVooropname=1\r\nVoorloopMs=99999\r\n");
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  const TMainFormControls &c = w.Controls();
  const auto opened = [&kit] {
    return std::count(kit.Layer.Log.begin(), kit.Layer.Log.end(), "RecordInit");
  };
  QVERIFY(c.chkPreRoll->isChecked());
  QCOMPARE(kit.Layer.RecordState, int{audio::kActivePlaying});
  QCOMPARE(c.lblHeadingLevel->text(), LevelHeadingInput);
  QCOMPARE(c.vu->accessibleName(), LevelHeadingInput);
  auto before = Level(4.0, 12000);
  before[Rate / 2 * 2] = 32767; // at 0.5 s: before the 3 s the take keeps
  kit.Feed(before);
  w.Flow().Tick();
  QVERIFY(w.VuPeakLevel() >= 12000.0);
  QVERIFY(c.lblClip->isVisible());

  const auto inits = opened();
  kit.Record(Level(1.0, 1000));
  QCOMPARE(opened(), inits); // no device to open
  QVERIFY(c.lblClip->isHidden());
  QCOMPARE(c.lblHeadingLevel->text(), LevelHeadingTake);
  kit.Now += 1000;
  w.Flow().Tick();
  QCOMPARE(c.lblTime->text(), QStringLiteral("00:04"));
  kit.Stop();
  QCOMPARE(fs::file_size(kit.Root / "Koor" / "Koor-1.wav"), std::uintmax_t{44 + 4 * 4 * Rate});
  QCOMPARE(kit.Layer.RecordState, int{audio::kActivePlaying});
  QCOMPARE(c.lblHeadingLevel->text(), LevelHeadingInput);

  QTest::mouseClick(c.chkMono, Qt::LeftButton, {}, QPoint(8, c.chkMono->height() / 2));
  QCOMPARE(kit.Layer.RecordChans, 1u);
  QCOMPARE(kit.Layer.RecordState, int{audio::kActivePlaying});
  QTest::mouseClick(c.chkPreRoll, Qt::LeftButton, {}, QPoint(8, c.chkPreRoll->height() / 2));
  QCOMPARE(kit.Layer.RecordState, int{audio::kActiveStopped});
  QCOMPARE(c.lblHeadingLevel->text(), LevelHeadingTake);
  w.close();
  QCOMPARE(kit.Setting("Opname", "Vooropname"), std::string("0"));
  QCOMPARE(kit.Setting("Opname", "VoorloopMs"), std::string("3000"));
}

// Without the option nothing is opened before the take. With it (Alt+V), a lost device
// closes the input and says so; it opens again when the system's device list changes.
void TestMainForm::preRollOffOpensNothingAndALostInputReturns()
{
  TWindowKit kit;
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  const TMainFormControls &c = w.Controls();
  QVERIFY(!c.chkPreRoll->isChecked());
  QVERIFY(!kit.Layer.Called("RecordInit"));
  QCOMPARE(c.lblHeadingLevel->text(), LevelHeadingTake);
  QCOMPARE(c.chkPreRoll->accessibleName(), QStringLiteral("Vooropname"));

  QApplication::setActiveWindow(&w);
  QTest::keyClick(w.focusWidget(), Qt::Key_V, Qt::AltModifier);
  QVERIFY(c.chkPreRoll->isChecked());
  QCOMPARE(kit.Layer.RecordState, int{audio::kActivePlaying});
  QCOMPARE(c.lblHeadingLevel->text(), LevelHeadingInput);

  // the device list filled anew with the same device keeps the input as it is
  const auto inits = std::count(kit.Layer.Log.begin(), kit.Layer.Log.end(), "RecordInit");
  ++kit.Layer.DeviceSerial;
  NextPoll(w);
  QCOMPARE(std::count(kit.Layer.Log.begin(), kit.Layer.Log.end(), "RecordInit"), inits);

  kit.Layer.LoseDevice();
  kit.Layer.FailNext("RecordInit", audio::kErrDevice); // not back yet
  w.Flow().Tick();
  QVERIFY(
      c.lblStatus->text().startsWith(QStringLiteral("Vooropname: de audio-ingang is weggevallen")));
  QCOMPARE(c.lblHeadingLevel->text(), LevelHeadingTake);
  ++kit.Layer.DeviceSerial;
  NextPoll(w);
  QCOMPARE(kit.Layer.RecordState, int{audio::kActivePlaying});
  QCOMPARE(c.lblHeadingLevel->text(), LevelHeadingInput);
}

void TestMainForm::doubleClickDuringTakeLeavesTheTakeAlone()
{
  TWindowKit kit("[Opname]\r\nStiltesTrimmen=1\r\n");
  const fs::path folder = kit.Session("Koor");
  const auto old = TrimmableTake();
  WriteWave(folder / "Koor-1.wav", old);
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));

  kit.Record(TrimmableTake());
  const QString recording = NativeTakePath(folder / "Koor-2.wav");
  QCOMPARE(w.LastFile(), recording);

  auto *list = w.Controls().lbRecordings;
  const QRect first = list->visualRect(list->model()->index(0, 0));
  QSignalSpy doubleClicks(list, &QListView::doubleClicked);
  // A double-click is a click followed by the second press.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
  QCOMPARE(doubleClicks.size(), 1);
  QCOMPARE(w.LastFile(), recording);
  QVERIFY(!w.PlaybackCursorVisible());
  QCOMPARE(kit.PlaybackStream(), audio::THandle{0});
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Koor-2.wav"));

  kit.Stop();
  // The new take is trimmed; the older one is left as it was.
  QVERIFY(fs::exists(folder / "Koor-2.wav.triminfo"));
  QVERIFY(!fs::exists(folder / "Koor-1.wav.triminfo"));
  QCOMPARE(fs::file_size(folder / "Koor-1.wav"), 44 + old.size() * 2);
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-2.wav"));
}

void TestMainForm::stopShowsTheNewTakeEvenWhenNotLast()
{
  TWindowKit kit;
  const fs::path folder = kit.Session("Koor");
  // "Zang.wav" sorts after every "Koor-<n>.wav" and carries a trim record.
  WriteWave(folder / "Zang.wav", Level(3.0, 100));
  WriteTrimRecord(folder / "Zang.wav", "1,5", "0,25");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QVERIFY(w.TrimActive());

  kit.Record(Level(0.5, 7000));
  kit.Stop();
  const fs::path file = folder / "Koor-1.wav";
  QCOMPARE(kit.Entries(), (QStringList{QStringLiteral("Koor-1.wav"), QStringLiteral("Zang.wav")}));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav"));
  QCOMPARE(w.WaveDuration(), 0.5);
  QVERIFY(!w.TrimActive());
  QVERIFY(!w.Controls().lblTrimInfo->isVisible());
  QVERIFY(!w.Controls().btnUndoTrim->isEnabled());
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Bewaard: ") + NativeTakePath(file));
}

void TestMainForm::takeEndingByItselfIsCompletedAndReported()
{
  TWindowKit kit("[Opname]\r\nStiltesTrimmen=1\r\n");
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  const auto take = TrimmableTake();
  kit.Record(take);

  TDialogs dialogs;
  kit.Layer.LoseDevice();
  w.Flow().Tick(); // what the timer's next tick does
  kit.Settle();
  QTRY_VERIFY_WITH_TIMEOUT(!dialogs.Seen.isEmpty(), 10000);
  const QString why = QStringLiteral("Opname gestopt: de audio-ingang is weggevallen.");
  QCOMPARE(dialogs.Seen[0].Title, QStringLiteral("Fout"));
  QCOMPARE(dialogs.Seen[0].Text, why);
  QCOMPARE(w.Controls().lblStatus->text(), why);
  QVERIFY(!w.Recorder()->Recording());
  QVERIFY(!w.Timer()->isActive());
  QVERIFY(w.Controls().btnRecord->isEnabled());
  QVERIFY(!w.Controls().btnStop->isEnabled());
  QVERIFY(w.Controls().cbSession->isEnabled());
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav"));
  const fs::path file = kit.Root / "Koor" / "Koor-1.wav";
  const auto bytes = test::ReadBytes(file);
  QCOMPARE(test::Le32(bytes, 40), static_cast<std::uint32_t>(take.size() * 2));
  QVERIFY(!fs::exists(file.string() + ".triminfo"));
  QCOMPARE(w.WaveDuration(), 2.0);
}

void TestMainForm::takeThatCannotBeCompletedIsNotCalledKept()
{
  TWindowKit kit("[Opname]\r\nFormaat=1\r\nStiltesTrimmen=1\r\n");
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  TDialogs dialogs;
  const fs::path file = kit.Root / "Koor" / "Koor-1.mp3";
  kit.Layer.AddStream(file, {48000, 2, TrimmableTake()}); // what a decoder reads of it
  kit.Record(TrimmableTake());
  platform::SetFileFaultHook([](const char *step, const fs::path &) {
    return std::strcmp(step, "flush") == 0 ? ENOSPC : 0; // the MP3's last bytes
  });
  kit.Stop();
  platform::SetFileFaultHook(nullptr);
  const QString why = QStringLiteral("Opname mogelijk onvolledig: het bestand kon niet volledig "
                                     "worden afgesloten: ") +
                      NativeTakePath(file);
  QCOMPARE(dialogs.Seen.size(), 1);
  QCOMPARE(dialogs.Seen[0].Text, why);
  QCOMPARE(w.Controls().lblStatus->text(), why);
  // Not trimmed: the take is opened once, for its waveform.
  QCOMPARE(std::count(kit.Layer.Log.begin(), kit.Layer.Log.end(), "StreamCreateFile"), 1);
  QVERIFY(!fs::exists(file.string() + ".triminfo"));
  QVERIFY(w.Controls().btnRecord->isEnabled());
}

void TestMainForm::statusTellsWhileTheInputGivesNothing()
{
  TWindowKit kit;
  kit.Session("Koor");
  auto &w = kit.Open({.InputFrozenAfterMs = 300});
  kit.Pick(QStringLiteral("Koor"));
  kit.Record({});
  const QString recording = QStringLiteral("Opname: Koor-1.wav");
  QCOMPARE(w.Controls().lblStatus->text(), recording);
  QTRY_COMPARE_WITH_TIMEOUT(w.Controls().lblStatus->text(),
                            QStringLiteral("Er komt geen geluid binnen van de audio-ingang."),
                            10000);
  QVERIFY(w.Recorder()->Recording());
  kit.Feed({0, 0});
  w.Flow().Tick();
  QCOMPARE(w.Controls().lblStatus->text(), recording);
  kit.Stop();
}

void TestMainForm::vanishedSessionReachesGeneralHandler()
{
  TWindowKit kit;
  WriteWave(kit.Session("Koor") / "Koor-1.wav", Level(0.5, 100));
  kit.Session("Band");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  fs::remove_all(kit.Root / "Band");

  TDialogs dialogs;
  kit.Pick(QStringLiteral("Band"));
  QTRY_VERIFY_WITH_TIMEOUT(!dialogs.Seen.isEmpty(), 10000);
  QCOMPARE(dialogs.Seen[0].Title, QStringLiteral("Praatkist"));
  QCOMPARE(dialogs.Seen[0].Text, QStringLiteral("Sessie \"Band\" bestaat niet."));
  QCOMPARE(w.Sessions().SessionName(), QStringLiteral("Koor"));
  QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav")});
  // The list shows the sessions that are there and the one the next take goes into.
  QCOMPARE(w.Controls().cbSession->currentText(), QStringLiteral("Koor"));
  QCOMPARE(w.Controls().cbSession->findText(QStringLiteral("Band")), -1);
  kit.Record(Level(0.2, 100));
  kit.Stop();
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-2.wav"));
  QCOMPARE(w.Controls().cbSession->currentText(), QStringLiteral("Koor"));
}

void TestMainForm::mouseChoosesTheTakeCommandsActOn()
{
  TWindowKit kit;
  const fs::path folder = kit.Session("Koor");
  WriteWave(folder / "Koor-1.wav", Level(1.0, 4000));
  WriteWave(folder / "Koor-2.wav", Level(2.0, 8000));
  WriteTrimRecord(folder / "Koor-2.wav", "0,5", "0,25");
  Touch(folder / "Koor-3.wav", "not a take");
  auto &w = kit.Open();
  TDialogs dialogs;
  kit.Pick(QStringLiteral("Koor"));
  QCOMPARE(dialogs.Seen.size(), 1); // the damaged last take, shown as nothing

  auto *list = w.Controls().lbRecordings;
  ClickRow(list, 1);
  QCOMPARE(w.WaveDuration(), 2.0);
  QVERIFY(w.TrimActive() && w.Controls().btnUndoTrim->isEnabled() &&
          w.Controls().lblTrimInfo->isVisible());
  ClickRow(list, 0);
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav"));
  QCOMPARE(w.WaveDuration(), 1.0);
  QCOMPARE(w.PeaksLeft().front(), 4000);
  QVERIFY(!w.TrimActive() && !w.Controls().btnUndoTrim->isEnabled() &&
          !w.Controls().lblTrimInfo->isVisible());
  // Under the waveform the take's figures (a steady 4000 is −18,3 dB), and screen
  // readers hear them with the verdict at the end of the waveform's description.
  const QString line = w.Controls().lblFigures->Shown().Line;
  QVERIFY2(line.contains(QStringLiteral("RMS \u221218")) &&
               line.contains(QStringLiteral("piek \u221218")) &&
               line.contains(QStringLiteral("ruisvloer \u221218")),
           qPrintable(line));
  QVERIFY(w.Controls().lblFigures->text().contains(QStringLiteral("#ffa045"))); // the noise
  const QString described = w.Controls().wave->accessibleDescription();
  QVERIFY2(described.startsWith(QStringLiteral("Koor-1.wav, lengte 00:01")) &&
               described.endsWith(QStringLiteral(": ruis te hoog.")),
           qPrintable(described));
  QTest::mouseClick(w.Controls().btnListen->Text, Qt::LeftButton);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Afspelen: Koor-1.wav"));

  // A take that cannot be analysed, after a trimmed one: nothing of the trimmed one stays.
  ClickRow(list, 1);
  QVERIFY(!w.PlaybackCursorVisible());
  QVERIFY(w.Controls().btnUndoTrim->isEnabled());
  ClickRow(list, 2);
  QCOMPARE(dialogs.Seen.size(), 2);
  QVERIFY(w.PeaksLeft().empty());
  QVERIFY(w.Controls().lblFigures->Shown().Line.isEmpty());
  QVERIFY(!w.Controls().wave->accessibleDescription().contains(QStringLiteral("RMS")));
  QVERIFY(!w.TrimActive() && !w.Controls().btnUndoTrim->isEnabled() &&
          !w.Controls().lblTrimInfo->isVisible());
  // A take removed behind the window's back, likewise.
  ClickRow(list, 1);
  fs::remove(folder / "Koor-1.wav");
  ClickRow(list, 0);
  QCOMPARE(dialogs.Seen.size(), 2);
  QVERIFY(w.PeaksLeft().empty());
  QVERIFY(!w.TrimActive() && !w.Controls().btnUndoTrim->isEnabled() &&
          !w.Controls().lblTrimInfo->isVisible());

  // The keyboard goes on working; the delete asks about the chosen take.
  list->setFocus();
  QTest::keyClick(list->viewport(), Qt::Key_Down);
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-2.wav"));
  QVERIFY(w.TrimActive());
  dialogs.Click(QStringLiteral("Wissen"));
  QTest::mouseClick(w.Controls().btnDelete->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.at(2).Text, QStringLiteral("Wil je \"Koor-2.wav\" definitief wissen?"));
  QVERIFY(!fs::exists(folder / "Koor-2.wav"));
}

void TestMainForm::unusableRootsStillOpenTheWindow()
{
  TWindowKit kit;
  Touch(kit.Dir / "plain");
  const std::string stored = (kit.Dir / "plain" / "Sessies").string();
  Touch(kit.Ini, "[Sessies]\r\nHoofdmap=" + stored + "\r\n");
  {
    auto &w = kit.Open();
    QVERIFY2(w.Controls().lblStatus->text().startsWith(QStringLiteral("Hoofdmap niet bruikbaar: ")),
             qPrintable(w.Controls().lblStatus->text()));
    QVERIFY(
        w.Controls().lblStatus->text().endsWith(QStringLiteral("De standaardmap wordt gebruikt.")));
    QVERIFY(w.Sessions().RootPath().endsWith(QStringLiteral("AudioSessies")));
    w.close();
    QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), stored);
    QCOMPARE(kit.Setting("Opname", "Formaat"), std::string("0"));
  }

  // The documents folder cannot hold a root either: no root until one is chosen.
  const QByteArray home = qgetenv("HOME");
  qputenv("HOME", (kit.Dir / "plain").string().c_str());
  auto &w = kit.Open();
  qputenv("HOME", home);
  QVERIFY2(w.Controls().lblStatus->text().contains(QStringLiteral("Standaardmap niet bruikbaar: ")),
           qPrintable(w.Controls().lblStatus->text()));
  QCOMPARE(w.Sessions().RootPath(), QString());
  QCOMPARE(w.Controls().cbSession->count(), 0);
  TDialogs dialogs;
  dialogs.Type(QStringLiteral("Koor"));
  QTest::mouseClick(w.Controls().btnNew->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 2);
  QCOMPARE(dialogs.Seen[1].Text, QStringLiteral("Kies eerst een hoofdmap voor de sessies."));
  kit.RootAnswer = Q(kit.Root);
  QTest::mouseClick(w.Controls().btnRoot->Text, Qt::LeftButton);
  QCOMPARE(w.Sessions().RootPath(), Q(kit.Root));
  w.close();
  QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), kit.Root.string());
}

void TestMainForm::rootChoiceIsAllOrNothing()
{
  TWindowKit kit;
  WriteWave(kit.Session("Koor") / "Koor-1.wav", Level(0.5, 100));
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  Touch(kit.Dir / "plain");

  TDialogs dialogs;
  for (const QString &bad : {Q(kit.Dir / "plain" / "Sessies"), Q(kit.Dir / "a\nb")}) {
    kit.RootAnswer = bad;
    QTest::mouseClick(w.Controls().btnRoot->Text, Qt::LeftButton);
    QTRY_COMPARE(dialogs.Seen.size(), 1);
    dialogs.Seen.clear();
    QCOMPARE(w.Sessions().RootPath(), Q(kit.Root));
    QCOMPARE(w.RootShown(), Q(kit.Root));
    QCOMPARE(w.Sessions().SessionName(), QStringLiteral("Koor"));
    QCOMPARE(w.Controls().cbSession->currentText(), QStringLiteral("Koor"));
    QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav")});
  }
  QVERIFY(!fs::exists(kit.Dir / "a\nb"));
  w.close();
  QVERIFY(dialogs.Seen.isEmpty());
  QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), kit.Root.string());
}

// A folder that exists (or can be made) but cannot be read: refused when chosen, and
// passed over at start. Permissions bind only when not running as root (the suite
// runs this case as user nobody).
void TestMainForm::unreadableRootIsRefused()
{
  if (test::IgnoresPermissions())
    QSKIP("permissions do not bind for root");
  TWindowKit kit;
  WriteWave(kit.Session("Koor") / "Koor-1.wav", Level(0.5, 100));
  const fs::path locked = kit.Dir / "locked";
  fs::create_directories(locked / "Oud");
  fs::permissions(locked, fs::perms::owner_write | fs::perms::owner_exec);
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));

  TDialogs dialogs;
  kit.RootAnswer = Q(locked);
  QTest::mouseClick(w.Controls().btnRoot->Text, Qt::LeftButton);
  QTRY_COMPARE(dialogs.Seen.size(), 1);
  QVERIFY2(dialogs.Seen[0].Text.contains(QStringLiteral("kan niet gelezen worden")),
           qPrintable(dialogs.Seen[0].Text));
  QCOMPARE(w.Sessions().RootPath(), Q(kit.Root));
  QCOMPARE(w.Controls().cbSession->currentText(), QStringLiteral("Koor"));
  QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav")});
  w.close();
  QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), kit.Root.string());

  kit.Win.reset();
  Touch(kit.Ini, "[Sessies]\r\nHoofdmap=" + locked.string() + "\r\n");
  auto &again = kit.Open();
  QVERIFY2(
      again.Controls().lblStatus->text().startsWith(QStringLiteral("Hoofdmap niet bruikbaar: ")),
      qPrintable(again.Controls().lblStatus->text()));
  QVERIFY(again.Sessions().RootPath().endsWith(QStringLiteral("AudioSessies")));
  again.close();
  QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), locked.string());
  fs::permissions(locked, fs::perms::owner_all);
}

void TestMainForm::newSessionThatCannotBeMadeSaysSo()
{
  TWindowKit kit;
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));

  TDialogs dialogs;
  dialogs.Type(QString(200, QChar(0xE9))); // 400 bytes: no folder name
  QTest::mouseClick(w.Controls().btnNew->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 2);
  QCOMPARE(dialogs.Seen[1].Text,
           QStringLiteral("Geef een geldige sessienaam zonder speciale maptekens op."));

  // The root turned into a plain file behind the window's back.
  fs::remove_all(kit.Root);
  Touch(kit.Root);
  dialogs.Type(QStringLiteral("Band"));
  QTest::mouseClick(w.Controls().btnNew->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 4);
  QVERIFY2(dialogs.Seen[3].Text.startsWith(QStringLiteral("De map van sessie \"Band\" kon niet")),
           qPrintable(dialogs.Seen[3].Text));
  QCOMPARE(w.Sessions().SessionName(), QStringLiteral("Koor"));
}

void TestMainForm::stopAnalysesOnlyTheNewTake()
{
  TWindowKit kit;
  const fs::path folder = kit.Session("Koor");
  Touch(folder / "Koor-9.wav", "damaged");
  auto &w = kit.Open();
  TDialogs dialogs;
  kit.Pick(QStringLiteral("Koor"));
  QCOMPARE(dialogs.Seen.size(), 1);

  // "Koor-10.wav" sorts before "Koor-9.wav": only the new take is read.
  kit.Record(Level(0.5, 3000));
  kit.Stop();
  QCOMPARE(dialogs.Seen.size(), 1);
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-10.wav"));
  QCOMPARE(w.WaveDuration(), 0.5);
}

void TestMainForm::sessionChangeStopsThePlayingTake()
{
  TWindowKit kit;
  WriteWave(kit.Session("Koor") / "Koor-1.wav", Level(2.0, 100));
  WriteWave(kit.Session("Band") / "Band-1.wav", Level(1.0, 100));
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QTest::mouseClick(w.Controls().btnListen->Text, Qt::LeftButton);
  QVERIFY(kit.PlaybackStream() != 0);

  kit.Pick(QStringLiteral("Band"));
  QCOMPARE(kit.PlaybackStream(), audio::THandle{0});
  QVERIFY(!w.PlaybackCursorVisible());
  QCOMPARE(w.Controls().btnListen->Text->text(), QStringLiteral("BELUISTEREN"));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Weergave gestopt"));
  QCOMPARE(w.WaveDuration(), 1.0);
}

void TestMainForm::settingsThatCannotBeWrittenAreReported()
{
  TWindowKit kit;
  auto &w = kit.Open();
  fs::remove_all(kit.Ini.parent_path());
  TDialogs dialogs;
  w.close();
  kit.Win.reset(); // the last save, at destruction, asks nothing more
  QCOMPARE(dialogs.Seen.size(), 1);
  QCOMPARE(dialogs.Seen[0].Title, QStringLiteral("Fout"));
  QVERIFY2(dialogs.Seen[0].Text.startsWith(QStringLiteral("Niet bewaard in \"") + Q(kit.Ini) +
                                           QStringLiteral("\": Hoofdmap, Formaat, Samplerate, "
                                                          "BitrateIndex, Geluidsingang, "
                                                          "StiltesTrimmen, Mono, Vooropname, "
                                                          "VoorloopMs.")),
           qPrintable(dialogs.Seen[0].Text));
}

void TestMainForm::deviceListFollowsTheSystemWhileIdle()
{
  TWindowKit kit;
  kit.Session("Koor");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  PickEntry(w.Controls().cbDevice, QStringLiteral("Line in"));
  const auto change = [&kit](std::vector<audio::TAudioDeviceInfo> ADevices) {
    kit.Layer.Devices = std::move(ADevices);
    ++kit.Layer.DeviceSerial;
  };
  const audio::TAudioDeviceInfo mic{"Microfoon", "mic", audio::kDeviceEnabled};
  const audio::TAudioDeviceInfo line{"Line in", "line", audio::kDeviceEnabled};
  const audio::TAudioDeviceInfo usb{"USB", "usb", audio::kDeviceEnabled};

  change({mic, line, usb});
  NextPoll(w);
  QCOMPARE(w.Controls().cbDevice->count(), 3);
  QCOMPARE(w.Controls().cbDevice->currentText(), QStringLiteral("Line in"));
  QCOMPARE(w.Controls().cbDevice->itemData(2).toInt(), 2);
  change({mic, usb});
  NextPoll(w);
  QCOMPARE(w.Controls().cbDevice->count(), 2);
  QCOMPARE(w.Controls().cbDevice->currentText(), QStringLiteral("Microfoon"));
  change({usb, mic, line}); // back again: the user's choice returns
  NextPoll(w);
  QCOMPARE(w.Controls().cbDevice->currentText(), QStringLiteral("Line in"));
  QCOMPARE(w.Controls().cbDevice->currentData().toInt(), 2);

  // Not during a take: its list waits for the stop.
  kit.Record(Level(0.2, 100));
  change({usb});
  NextPoll(w);
  QCOMPARE(w.Controls().cbDevice->count(), 3);
  kit.Stop();
  NextPoll(w);
  QCOMPARE(w.Controls().cbDevice->count(), 1);
}

void TestMainForm::failedStartKeepsTheShownTake()
{
  TWindowKit kit;
  WriteWave(kit.Session("Koor") / "Koor-1.wav", Level(1.5, 5000));
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  const auto peaks = w.PeaksLeft();
  QVERIFY(!peaks.empty());

  TDialogs dialogs;
  kit.Layer.FailNext("RecordStart", audio::kErrDevice);
  QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 1);
  QCOMPARE(w.PeaksLeft(), peaks);
  QCOMPARE(w.WaveDuration(), 1.5);
  QVERIFY(w.Controls().wave->isVisible());
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.wav"));
}

void TestMainForm::mp3At96000IsAnnounced()
{
  TWindowKit kit;
  auto &w = kit.Open();
  const QString note = QStringLiteral("MP3 wordt opgeslagen met 48000 Hz.");
  PickEntry(w.Controls().cbRate, QStringLiteral("96000"));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Klaar om op te nemen"));
  kit.ChooseFormat(1);
  QCOMPARE(w.Controls().lblStatus->text(), note);
  PickEntry(w.Controls().cbRate, QStringLiteral("44100"));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Klaar om op te nemen"));
  PickEntry(w.Controls().cbRate, QStringLiteral("96000"));
  QCOMPARE(w.Controls().lblStatus->text(), note);
  kit.ChooseFormat(0); // WAV keeps 96000
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Klaar om op te nemen"));
  w.close();

  // Stored so: said at the start.
  TWindowKit stored("[Opname]\r\nFormaat=1\r\nSamplerate=96000\r\n");
  QCOMPARE(stored.Open().Controls().lblStatus->text(), note);
}

void TestMainForm::systemEndAsksNothingAndKeepsTheTake()
{
  TWindowKit kit("[Opname]\r\nStiltesTrimmen=1\r\nMono=1\r\n");
  const fs::path folder = kit.Session("Koor");
  WriteWave(folder / "Oud.wav", Level(0.5, 100));
  WriteTrimRecord(folder / "Oud.wav", "0,1", "0,1");
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  kit.Record(Level(2.0, 0, 1));

  // The end comes while a question is open: it is dismissed and nothing more is asked.
  TDialogs dialogs;
  dialogs.Do([&w](QWidget *) { w.EndBySystem(); });
  QTest::mouseClick(w.Controls().btnAbout->Text, Qt::LeftButton);
  QCOMPARE(dialogs.Seen.size(), 1);
  QVERIFY(!w.isVisible());
  QVERIFY(!w.Recorder()->Recording());
  QVERIFY(fs::exists(folder / "Oud.wav"));
  QVERIFY(fs::exists(folder / "Oud.wav.triminfo"));
  const auto bytes = test::ReadBytes(folder / "Koor-1.wav");
  QCOMPARE(bytes.size(), std::size_t{44 + 2 * 48000 * 2});
  QCOMPARE(test::Le32(bytes, 40), std::uint32_t{2 * 48000 * 2});
  QVERIFY(!fs::exists(folder / "Koor-1.wav.triminfo"));
  QCOMPARE(kit.Setting("Opname", "Mono"), std::string("1"));
  QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), kit.Root.string());
}

// The scripted layer's peaks of a 20 s take come at the pace of a long one here.
std::vector<std::int16_t> LongTake()
{
  return Join({Level(1.0, 0), Level(18.0, 9000), Level(1.0, 0)});
}

bool ShowsProgress(const QString &AStatus, const QString &AWork)
{
  static const QRegularExpression percent(QStringLiteral("^(.*)\\.\\.\\. (\\d{1,3})%$"));
  const auto match = percent.match(AStatus);
  return match.hasMatch() && match.captured(1) == AWork;
}

void TestMainForm::analysisShowsProgressAndGivesWayToANewChoice()
{
  TWindowKit kit;
  const fs::path folder = kit.Session("Koor");
  WriteWave(folder / "Koor-1.wav", LongTake());
  WriteWave(folder / "Koor-2.wav", Join({Level(2.0, 0), Level(18.0, 5000)}));
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor")); // Koor-2.wav, at full speed
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Klaar om op te nemen"));

  kit.Layer.ReadDelayMs = 15;
  auto *list = w.Controls().lbRecordings;
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(0, 0)).center());
  QTRY_VERIFY2(ShowsProgress(w.Controls().lblStatus->text(), QStringLiteral("Golfvorm laden")),
               qPrintable(w.Controls().lblStatus->text()));
  // The window is served meanwhile; the take being read cannot be deleted, and the
  // click does not wait to run afterwards.
  QVERIFY(!w.Controls().btnDelete->isEnabled());
  TDialogs dialogs;
  QTest::mouseClick(w.Controls().btnDelete->Text, Qt::LeftButton);

  // Another choice: the first analysis is dropped; the second take comes from memory.
  ClickRow(list, 1);
  QCOMPARE(w.WaveDuration(), 20.0);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Klaar om op te nemen"));
  QVERIFY(w.Controls().btnDelete->isEnabled());
  // a read under way when the choice came ends, and the take's stream is let go
  QTRY_COMPARE_WITH_TIMEOUT(kit.Layer.Frees("Koor-1.wav"), kit.Layer.Opens("Koor-1.wav"), 10000);
  const int reads = kit.Layer.Reads("Koor-1.wav");
  kit.Settle();
  QCOMPARE(kit.Layer.Reads("Koor-1.wav"), reads);
  QVERIFY2(reads < 40, qPrintable(QString::number(reads))); // 59 for the whole take
  QVERIFY(dialogs.Seen.isEmpty());
  QVERIFY(fs::exists(folder / "Koor-1.wav"));

  // Closed while a take is read: the reading is dropped, then the window closes.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(0, 0)).center());
  QTRY_VERIFY(ShowsProgress(w.Controls().lblStatus->text(), QStringLiteral("Golfvorm laden")));
  w.close();
  QVERIFY(w.isVisible());
  QCOMPARE(w.Controls().lblStatus->text(),
           QStringLiteral("Golfvorm laden wordt afgebroken, daarna sluit Praatkist..."));
  // the dropped reading ends at its next block, later on a busy machine
  QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 30000);
  QVERIFY(dialogs.Seen.isEmpty());
  QCOMPARE(kit.Setting("Sessies", "Hoofdmap"), kit.Root.string());
}

// While another take loads, nothing of the take shown before stays drawn, and the
// playback's cursor never moves over the picture of a take that does not play.
void TestMainForm::aNewChoiceShowsNothingOfTheTakeBefore()
{
  TWindowKit kit;
  const fs::path folder = kit.Session("Koor");
  WriteWave(folder / "Koor-1.wav", LongTake());
  WriteWave(folder / "Koor-2.wav", Level(2.0, 5000));
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));
  QVERIFY(!w.PeaksLeft().empty());

  kit.Layer.ReadDelayMs = 15;
  auto *list = w.Controls().lbRecordings;
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(0, 0)).center());
  QVERIFY(w.WorkBusy());
  QVERIFY(w.PeaksLeft().empty());
  QCOMPARE(w.WaveDuration(), 0.0);
  kit.Layer.ReadDelayMs = 0;
  kit.Settle();
  QCOMPARE(w.WaveDuration(), 20.0);

  // Koor-1 plays while the list, chosen again, shows its last take.
  QTest::mouseClick(w.Controls().btnListen->Text, Qt::LeftButton);
  QVERIFY(w.PlaybackCursorVisible());
  kit.Pick(QStringLiteral("Koor"));
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-2.wav"));
  QVERIFY(kit.PlaybackStream() != 0);
  w.Flow().Tick();
  QVERIFY(!w.PlaybackCursorVisible());
}

void TestMainForm::trimShowsProgressAndCloseWaitsForASafeEnd()
{
  TWindowKit kit("[Opname]\r\nStiltesTrimmen=1\r\nFormaat=1\r\n");
  const fs::path folder = kit.Session("Koor");
  TScriptedAudioLayer::TScriptedStream decoded;
  decoded.Samples = LongTake();
  // the takes and the backups a trim reads them back from
  for (const char *name :
       {"Koor-1.mp3", "Koor-2.mp3", "Koor-1.mp3.untrimmed", "Koor-2.mp3.untrimmed"})
    kit.Layer.AddStream(folder / name, decoded);
  auto &w = kit.Open();
  kit.Pick(QStringLiteral("Koor"));

  kit.Record(Level(0.1, 100));
  kit.Layer.ReadDelayMs = 10;
  QTest::mouseClick(w.Controls().btnStop->Text, Qt::LeftButton);
  QTRY_VERIFY2(ShowsProgress(w.Controls().lblStatus->text(), QStringLiteral("Stiltes trimmen")),
               qPrintable(w.Controls().lblStatus->text()));
  for (QWidget *off : std::initializer_list<QWidget *>{
           w.Controls().btnRecord, w.Controls().btnStop, w.Controls().btnListen,
           w.Controls().btnDelete, w.Controls().cbSession, w.Controls().btnNew,
           w.Controls().btnRoot, w.Controls().chkTrimSilence, w.Controls().cbFormat})
    QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
  // A click on the record button meanwhile starts nothing, now or later.
  QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
  kit.Settle();
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Getrimd: 0,90 s begin / 0,90 s einde"));
  QCOMPARE(std::count(kit.Layer.Log.begin(), kit.Layer.Log.end(), std::string("RecordStart")), 1);
  QCOMPARE(kit.Selected(), QStringLiteral("Koor-1.mp3"));
  QVERIFY(w.TrimActive());
  QVERIFY(w.Controls().btnRecord->isEnabled());

  // Closed during a trim: the close waits until the take is whole again.
  kit.Layer.ReadDelayMs = 0;
  kit.Record(Level(0.1, 100));
  kit.Layer.ReadDelayMs = 10;
  QTest::mouseClick(w.Controls().btnStop->Text, Qt::LeftButton);
  QTRY_VERIFY(ShowsProgress(w.Controls().lblStatus->text(), QStringLiteral("Stiltes trimmen")));
  TDialogs dialogs;
  dialogs.Click(QStringLiteral("Annuleren")); // the purge question, after the trim
  w.close();
  QVERIFY(w.isVisible());
  QCOMPARE(w.Controls().lblStatus->text(),
           QStringLiteral("Trimmen wordt veilig afgerond, daarna sluit Praatkist..."));
  QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 10000);
  const fs::path take = folder / "Koor-2.mp3";
  QVERIFY(fs::exists(take));
  QCOMPARE(fs::exists(take.string() + ".untrimmed"), fs::exists(take.string() + ".triminfo"));
  for (const auto &entry : fs::directory_iterator(folder))
    QVERIFY2(entry.path().string().find(".trimtmp") == std::string::npos,
             qPrintable(Q(entry.path())));
}

// What a screen reader reads and does through Qt's accessibility interfaces.
void TestMainForm::screenReadersGetNamesRolesAndActions()
{
  TWindowKit kit;
  WriteWave(kit.Session("Koor") / "Koor-1.wav", Level(2.0, 9000));
  auto &w = kit.Open();
  TDialogs dialogs;
  const auto access = [](QObject *AObject) {
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(AObject);
    [&] { QVERIFY2(face != nullptr, qPrintable(AObject->objectName())); }();
    return face;
  };
  for (TPanelButton *button :
       {w.Controls().btnRoot, w.Controls().btnNew, w.Controls().btnAbout, w.Controls().btnExit,
        w.Controls().btnRecord, w.Controls().btnStop, w.Controls().btnListen,
        w.Controls().btnDelete, w.Controls().btnUndoTrim}) {
    QAccessibleInterface *face = access(button);
    QCOMPARE(face->role(), QAccessible::Button);
    QCOMPARE(face->text(QAccessible::Name), button->Text->text());
    QCOMPARE(face->actionInterface()->actionNames(),
             QStringList{QAccessibleActionInterface::pressAction()});
    QCOMPARE(face->state().disabled, !button->isEnabled());
  }
  QVERIFY(access(w.Controls().btnStop)->state().disabled);
  QCOMPARE(access(w.Controls().btnRecord)
               ->actionInterface()
               ->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
           QStringList{QKeySequence(Qt::CTRL | Qt::Key_R).toString(QKeySequence::NativeText)});

  // The press action runs the command as a click does, and nothing while disabled.
  dialogs.Type(QStringLiteral("Nieuw"));
  access(w.Controls().btnNew)
      ->actionInterface()
      ->doAction(QAccessibleActionInterface::pressAction());
  QCOMPARE(dialogs.Seen.value(0).Title, QStringLiteral("Nieuwe sessie"));
  QCOMPARE(w.Sessions().SessionName(), QStringLiteral("Nieuw"));
  access(w.Controls().btnStop)
      ->actionInterface()
      ->doAction(QAccessibleActionInterface::pressAction());
  QCOMPARE(dialogs.Seen.size(), 1);

  // A list box is labelled by the heading beside it (its name is its value here).
  for (const auto &[control, name] : std::initializer_list<std::pair<QWidget *, const char *>>{
           {w.Controls().cbSession, "Sessie"},
           {w.Controls().cbDevice, "Audio-ingang"},
           {w.Controls().cbFormat, "Formaat"},
           {w.Controls().cbRate, "Samplerate"},
           {w.Controls().cbBitrate, "Bitrate"}}) {
    const auto labels = access(control)->relations(QAccessible::Label);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.at(0).first->text(QAccessible::Name), QString::fromUtf8(name));
    QCOMPARE(control->accessibleName(), QString::fromUtf8(name));
  }
  for (const auto &[control, name] : std::initializer_list<std::pair<QWidget *, const char *>>{
           {w.Controls().chkTrimSilence, "Stiltes trimmen"},
           {w.Controls().chkMono, "Opnemen in mono"},
           {w.Controls().lbRecordings, "Opnames voor deze sessie"},
           {w.Controls().vu, "Opnameniveau"},
           {w.Controls().wave, "Golfvorm"}})
    QCOMPARE(access(control)->text(QAccessible::Name), QString::fromUtf8(name));

  QAccessibleValueInterface *level = access(w.Controls().vu)->valueInterface();
  QVERIFY(level != nullptr);
  QCOMPARE(level->currentValue().toDouble(), -60.0);
  QCOMPARE(access(w.Controls().vu)->text(QAccessible::Description), QStringLiteral("-60 dB"));

  kit.Pick(QStringLiteral("Koor"));
  // the take, its length and trim, then its figures and their verdict
  const QString described = access(w.Controls().wave)->text(QAccessible::Description);
  QVERIFY2(
      described.startsWith(QStringLiteral("Koor-1.wav, lengte 00:02, niet getrimd, Luidheid ")) &&
          described.endsWith(QStringLiteral(": te luid, ruis te hoog.")),
      qPrintable(described));
}

// Session, take, playback, undo and delete with the keyboard alone: the window's keys
// run the buttons' commands under their enable rule, and Tab goes the designed way.
void TestMainForm::keyboardAloneMakesASessionAndWorksATake()
{
  TWindowKit kit("[Opname]\r\nStiltesTrimmen=1\r\n");
  auto &w = kit.Open();
  TDialogs dialogs;
  const auto keys = [&w](Qt::Key AKey, Qt::KeyboardModifiers AMods = Qt::ControlModifier) {
    // The window is the active one, as after a click on it (and after a dialog, when
    // the window manager gives it back), whenever the platform gets round to it.
    QApplication::setActiveWindow(&w);
    QTest::keyClick(w.focusWidget(), AKey, AMods);
    WaitIdle(&w);
  };
  QCOMPARE(w.focusWidget(), w.Controls().cbSession);
  for (QWidget *next : std::initializer_list<QWidget *>{
           w.Controls().cbDevice, w.Controls().cbFormat, w.Controls().cbRate,
           w.Controls().lbRecordings, w.Controls().chkTrimSilence, w.Controls().chkMono,
           w.Controls().chkPreRoll, w.Controls().cbSession}) {
    keys(Qt::Key_Tab, Qt::NoModifier); // cbBitrate is skipped while WAV is chosen
    QCOMPARE(w.focusWidget(), next);
  }

  // Keys of disabled buttons do nothing.
  keys(Qt::Key_S);
  keys(Qt::Key_Z);
  keys(Qt::Key_P);
  QVERIFY(dialogs.Seen.isEmpty());
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Klaar om op te nemen"));

  dialogs.Keys(QStringLiteral("Koor"), {Qt::Key_Return});
  keys(Qt::Key_N);
  QCOMPARE(w.Controls().cbSession->currentText(), QStringLiteral("Koor"));

  keys(Qt::Key_R);
  QVERIFY(kit.Layer.RecordHandle != 0);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Koor-1.wav"));
  keys(Qt::Key_R); // while a take runs, the key pauses it and resumes it
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Gepauzeerd: Koor-1.wav"));
  kit.Feed(Level(0.5, 20000));
  keys(Qt::Key_R);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Koor-1.wav"));
  QCOMPARE(dialogs.Seen.size(), 1);
  kit.Feed(TrimmableTake());
  keys(Qt::Key_S);
  QCOMPARE(kit.Entries(), QStringList{QStringLiteral("Koor-1.wav")});
  QVERIFY(w.TrimActive());

  keys(Qt::Key_P);
  QCOMPARE(w.Controls().btnListen->Text->text(), QStringLiteral("STOP WEERGAVE"));
  keys(Qt::Key_S);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Weergave gestopt"));

  dialogs.Keys(QString(), {Qt::Key_Tab, Qt::Key_Return});
  keys(Qt::Key_Z);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Trimming ongedaan gemaakt: Koor-1.wav"));
  QVERIFY(!w.TrimActive());

  // Delete belongs to the take list: elsewhere it does nothing.
  while (w.focusWidget() != w.Controls().chkMono)
    keys(Qt::Key_Tab, Qt::NoModifier);
  keys(Qt::Key_Delete, Qt::NoModifier);
  QCOMPARE(dialogs.Seen.size(), 2);
  while (w.focusWidget() != w.Controls().lbRecordings)
    keys(Qt::Key_Tab, Qt::NoModifier);
  dialogs.Keys(QString(), {Qt::Key_Tab, Qt::Key_Return});
  keys(Qt::Key_Delete, Qt::NoModifier);
  QCOMPARE(dialogs.Seen.value(2).Text, QStringLiteral("Wil je \"Koor-1.wav\" definitief wissen?"));
  QVERIFY(kit.Entries().isEmpty());

  keys(Qt::Key_F1, Qt::NoModifier); // the about window, closed by the dialog watcher
  QCOMPARE(dialogs.Seen.size(), 4);
  keys(Qt::Key_Q);
  QVERIFY(!w.isVisible());
}

// The whole window on a large screen, just as designed; on a smaller one (a laptop with
// its panel and title bar, or a screen at scale 2) it fits and scrolls to every control.
void TestMainForm::windowFitsTheScreenAndReachesEveryControl()
{
  TWindowKit kit;
  auto &w = kit.Open();
  const QRect room = w.screen()->availableGeometry();
  QVERIFY2(room.contains(w.frameGeometry()),
           qPrintable(QStringLiteral("%1x%2").arg(room.width()).arg(room.height())));
  QScrollBar *down = w.Controls().scrMain->verticalScrollBar();
  QScrollBar *across = w.Controls().scrMain->horizontalScrollBar();
  const QSize shown = w.Controls().scrMain->viewport()->size();
  if (room.width() > 1000 && room.height() > 800) {
    QCOMPARE(w.size(), QSize(924, 725));
    QCOMPARE(shown, QSize(924, 725));
    QVERIFY(!down->isVisible() && !across->isVisible());
    return;
  }
  // Scroll bars that reach the page's far end, and a click there that lands.
  QCOMPARE(down->maximum(), std::max(0, 725 - shown.height()));
  QCOMPARE(across->maximum(), std::max(0, 924 - shown.width()));
  for (QScrollBar *bar : {down, across})
    for (int i = 0; i < 20 && bar->isVisible(); ++i)
      QTest::mouseClick(bar, Qt::LeftButton, {}, bar->rect().bottomRight() - QPoint(2, 2));
  QTRY_COMPARE_WITH_TIMEOUT(down->value(), down->maximum(), 10000);
  QTRY_COMPARE_WITH_TIMEOUT(across->value(), across->maximum(), 10000);
  const QRect corner(
      w.Controls().btnUndoTrim->mapTo(w.Controls().scrMain->viewport(), QPoint(0, 0)),
      w.Controls().btnUndoTrim->size());
  QVERIFY(w.Controls().scrMain->viewport()->rect().contains(corner));
  const QPoint statusEnd = w.Controls().lblStatus->mapTo(
      w.Controls().scrMain->viewport(), w.Controls().lblStatus->rect().bottomRight());
  QVERIFY(w.Controls().scrMain->viewport()->rect().contains(statusEnd));
}

// Every heading is as wide as its text in the font it is drawn in.
void TestMainForm::headingsShowTheirWholeText()
{
  TWindowKit kit;
  auto &w = kit.Open();
  const auto headings = w.findChildren<QLabel *>(QRegularExpression(QStringLiteral("^lblHeading")));
  QCOMPARE(headings.size(), 10);
  for (const QLabel *heading : headings) {
    const int needed = heading->fontMetrics().horizontalAdvance(heading->text());
    QVERIFY2(needed <= heading->width(), qPrintable(QStringLiteral("%1: %2 > %3")
                                                        .arg(heading->objectName())
                                                        .arg(needed)
                                                        .arg(heading->width())));
  }
}

int main(int argc, char **argv)
{
  TestMainForm tests;
  return RunWindowTests(argc, argv, tests);
}

#include "test_main_form.moc"

// What a trim cut short by a crash left goes when the window starts and whenever it
// lists a session's takes; a running trim's file (claimed, as by another window)
// stays, and so do takes, backups and records.
void TestMainForm::abandonedTrimFilesGoWhenTakesAreListed()
{
  TWindowKit kit;
  const fs::path koor = kit.Session("Koor");
  const fs::path band = kit.Session("Band");
  WriteWave(koor / "Koor-1.wav", Level(0.5, 1000));
  WriteWave(band / "Band-1.wav", Level(0.5, 1000));
  WriteTrimRecord(band / "Band-1.wav", "0,1", "0,1");
  Touch(band / "Band-1.wav.untrimmed");
  Touch(koor / "Koor-1.wav.trimtmp");
  Touch(band / "Band-1.wav.untrimmed.trimtmp");
  auto &w = kit.Open();
  QVERIFY(!fs::exists(koor / "Koor-1.wav.trimtmp"));
  QVERIFY(!fs::exists(band / "Band-1.wav.untrimmed.trimtmp"));

  const fs::path running = koor / "Koor-1.wav.trimtmp";
  const fs::path crashed = koor / "Koor-1.wav.triminfo.trimtmp";
  Touch(running);
  Touch(crashed);
  platform::TFileClaim claim;
  claim.Claim(running);
  kit.Pick(QStringLiteral("Koor"));
  QVERIFY(fs::exists(running));
  QVERIFY(!fs::exists(crashed));
  QVERIFY(fs::exists(koor / "Koor-1.wav"));
  QVERIFY(fs::exists(band / "Band-1.wav.triminfo") && fs::exists(band / "Band-1.wav.untrimmed"));
  claim.Release();
  QCOMPARE(w.Controls().lbRecordings->model()->rowCount(), 1);
}
