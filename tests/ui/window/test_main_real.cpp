// The main window on the real sound system: a take recorded from the test server's sine
// source through the window's buttons, checked on disk, played back and deleted.
// Needs the PulseAudio test server that scripts/test.sh starts.

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/PraatkistApplication.h"
#include "audio/AudioLayer.h"
#include "audio/BassRecorder.h"
#include "platform/IniFile.h"
#include "session/SessionManager.h"
#include "support/PulseTestKit.h"
#include "support/TestSpeech.h"
#include "support/TestFiles.h"
#include "ui/style/Fonts.h"
#include "ui/window/MainForm.h"
#include "ui/window/TakeList.h"
#include "ui/window/TextCommands.h"
#include "ui/widgets/ModernButton.h"

// The key event's way into the shortcuts, as the platform takes it.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject *o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString &text,
                                               bool autorep, ushort count);

using namespace praatkist;
using namespace praatkist::ui;
namespace fs = std::filesystem;

namespace {

const QString SineDevice = QStringLiteral("Sine source at 440 Hz");

// Answers the next modal dialog, once its own loop runs, by clicking its button with
// ACaption (made the active window first, as the user's click on it would).
class TNextDialog : public QObject {
public:
  TNextDialog(QString ACaption, QStringList *ASeenTexts)
      : FCaption(std::move(ACaption)), FSeen(ASeenTexts)
  {
    qApp->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject *AWatched, QEvent *AEvent) override
  {
    auto *dialog = qobject_cast<QDialog *>(AWatched);
    if (AEvent->type() != QEvent::Show || dialog == nullptr || !dialog->isModal())
      return false;
    qApp->removeEventFilter(this);
    if (auto *label = dialog->findChild<QLabel *>(QStringLiteral("lblMessage")))
      FSeen->append(label->text());
    const QPointer<QDialog> open(dialog);
    // Queued: it runs inside the dialog's own loop, after exec() has begun.
    QMetaObject::invokeMethod(
        this,
        [this, open] {
          if (open && open->isVisible()) {
            QApplication::setActiveWindow(open);
            for (auto *b : open->findChildren<TModernButton *>())
              if (b->Caption() == FCaption) {
                QTest::mouseClick(b, Qt::LeftButton);
                break;
              }
            if (open && open->isVisible())
              open->reject();
          }
          deleteLater();
        },
        Qt::QueuedConnection);
    return false;
  }

private:
  QString FCaption;
  QStringList *FSeen;
};

void AnswerNextDialog(const QString &ACaption, QStringList *ASeenTexts)
{
  new TNextDialog(ACaption, ASeenTexts);
}

// Chooses the entry AText as a user would: the focused list opened, the entry clicked.
void PickEntry(QComboBox *ACombo, const QString &AText)
{
  const int index = ACombo->findText(AText);
  QVERIFY2(index >= 0, qPrintable(AText));
  ACombo->setFocus();
  QTest::keyClick(ACombo, Qt::Key_F4);
  QAbstractItemView *view = ACombo->view();
  QTRY_VERIFY_WITH_TIMEOUT(view->isVisible(), 10000);
  const QPoint at = view->visualRect(view->model()->index(index, 0)).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
  QTRY_VERIFY_WITH_TIMEOUT(!view->isVisible(), 10000);
}

// A source loaded on the test server for as long as it lives (or until Unload).
struct TLoadedSource {
  std::string Module;
  explicit TLoadedSource(const std::string &AArguments)
      : Module(test::Shell("pactl load-module module-sine-source " + AArguments))
  {
  }
  ~TLoadedSource() { Unload(); }
  void Unload()
  {
    if (!Module.empty())
      test::Shell("pactl unload-module " + Module);
    Module.clear();
  }
};

// The window on the real layer with the server's fifo source as its input, Vooropname
// on, and the session "Proef" chosen.
struct TFifoWindow {
  std::unique_ptr<audio::IAudioLayer> Layer = audio::CreateSystemAudioLayer();
  test::TTempDir Dir;
  fs::path Root = Dir / "root";
  std::unique_ptr<TfrmMain> Window;

  bool Open()
  {
    std::string fifo;
    audio::TAudioDeviceInfo info;
    for (int i = 0; Layer->RecordGetDeviceInfo(i, info); ++i)
      if (info.Driver == "fifo")
        fifo = info.Name;
    if (fifo.empty())
      return false;
    fs::create_directories(Root / "Proef");
    const fs::path ini = Dir / "Praatkist.ini";
    std::ofstream(ini, std::ios::binary)
        << "[Sessies]\r\nHoofdmap=" << Root.string() << "\r\n[Opname]\r\nGeluidsingang="
        << fifo << "\r\nVooropname=1\r\n";
    Window = std::make_unique<TfrmMain>(Layer.get(), QString::fromStdString(ini.string()));
    Window->show();
    if (!QTest::qWaitForWindowExposed(Window.get()))
      return false;
    PickEntry(Window->Controls().cbSession, QStringLiteral("Proef"));
    return QTest::qWaitFor([this] { return !Window->WorkBusy(); }, 10000);
  }
};

} // namespace

class TestMainReal : public QObject {
  Q_OBJECT

private slots:
  void recordPlayDeleteOnTheSoundServer();
  void deviceListFollowsTheSoundServer();
  void chosenInputIsKeptWhileUnplugged();
  void preRollTakeHoldsTheSecondBeforeTheClick();
  void markerAndTheNextTakeOnNumberedAudio();
  void handsFreeReadsThreeTextsIntoTheirTakes();
  void handsFreeEndsWhenTheInputGoesAway();
};

void TestMainReal::recordPlayDeleteOnTheSoundServer()
{
  if (!test::HavePulse()) {
    if (test::PulseRequired())
      QFAIL("PULSE_SERVER is not set but PRAATKIST_REQUIRE_PULSE=1");
    QSKIP("no PulseAudio test server (PULSE_SERVER unset)");
  }
  const std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  QVERIFY(layer != nullptr);

  test::TTempDir dir;
  const fs::path root = dir / "root";
  fs::create_directories(root / "Proef");
  const fs::path ini = dir / "Praatkist.ini";
  std::ofstream(ini, std::ios::binary)
      << "[Sessies]\r\nHoofdmap=" << root.string()
      << "\r\n[Opname]\r\nGeluidsingang=" << SineDevice.toStdString() << "\r\n";

  TfrmMain w(layer.get(), QString::fromStdString(ini.string()));
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Klaar om op te nemen"));
  QCOMPARE(w.Controls().cbDevice->currentText(), SineDevice);
  // The session chosen as a user would: the focused list opened and its entry clicked.
  QVERIFY(w.Controls().cbSession->findText(QStringLiteral("Proef")) >= 0);
  w.Controls().cbSession->setFocus();
  QTest::keyClick(w.Controls().cbSession, Qt::Key_F4);
  QAbstractItemView *view = w.Controls().cbSession->view();
  QTRY_VERIFY_WITH_TIMEOUT(view->isVisible(), 10000);
  const QPoint entry =
      view->visualRect(
              view->model()->index(w.Controls().cbSession->findText(QStringLiteral("Proef")), 0))
          .center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry);
  QTRY_COMPARE_WITH_TIMEOUT(w.Sessions().SessionName(), QStringLiteral("Proef"), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(!w.WorkBusy(), 10000);

  // Record about two seconds: the clock runs and the meter lights up on the way.
  QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Proef-1.wav"));
  QTRY_VERIFY_WITH_TIMEOUT(w.VuDisplayLevel() > 0.0, 10000);
  // the clock's text sorts as its time does
  QTRY_VERIFY_WITH_TIMEOUT(w.Controls().lblTime->text() >= QStringLiteral("00:02"), 10000);
  QTest::mouseClick(w.Controls().btnStop->Text, Qt::LeftButton);
  // the take is listed and analysed off the window's thread
  QTRY_VERIFY_WITH_TIMEOUT(!w.WorkBusy(), 10000);

  const fs::path take = root / "Proef" / "Proef-1.wav";
  QCOMPARE(w.Controls().lblStatus->text(),
           QStringLiteral("Bewaard: ") + QString::fromStdString(take.string()));
  QCOMPARE(w.Controls().lbRecordings->model()->rowCount(), 1);
  QCOMPARE(w.Controls().lbRecordings->currentIndex().data().toString(), QStringLiteral("Proef-1.wav"));
  QVERIFY(!w.PeaksLeft().empty());

  const test::TDecoded decoded = test::Decode(take);
  QVERIFY(decoded.Ok);
  QCOMPARE(decoded.Rate, 48000);
  QCOMPARE(decoded.Channels, 2);
  // The source delivers in bursts, faster than real time; never less than the clock says.
  QVERIFY2(decoded.Frames >= 2 * 48000 - 4800, qPrintable(QString::number(decoded.Frames)));
  QCOMPARE(static_cast<std::int64_t>(decoded.Samples.size()), decoded.Frames * 2);
  for (int ch = 0; ch < 2; ++ch) {
    const test::TTone tone = test::AnalyseTone(decoded.Samples, 2, ch, 48000, 4800);
    QVERIFY2(std::abs(tone.Frequency - 440.0) < 2.0, qPrintable(QString::number(tone.Frequency)));
    QVERIFY(tone.Peak > 1000);
  }
  const double seconds = static_cast<double>(decoded.Frames) / 48000.0;
  QVERIFY(std::abs(w.WaveDuration() - seconds) < 0.05);

  // Play it back to the end: cursor, clock and meter move, then the idle form returns.
  QTest::mouseClick(w.Controls().btnListen->Text, Qt::LeftButton);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Afspelen: Proef-1.wav"));
  QCOMPARE(w.Controls().btnListen->Text->text(), QStringLiteral("STOP WEERGAVE"));
  const QString length =
      QStringLiteral("00:%1").arg(static_cast<int>(seconds), 2, 10, QLatin1Char('0'));
  const auto clock = [&w] { return w.Controls().lblTime->text(); };
  QTRY_VERIFY_WITH_TIMEOUT(clock() >= QStringLiteral("00:01 / ") + length, 10000);
  QVERIFY2(clock().endsWith(QStringLiteral(" / ") + length), qPrintable(clock()));
  QVERIFY(w.PlaybackFraction() > 1.0 / seconds - 0.05);
  QVERIFY(w.VuDisplayLevel() > 0.0);
  QTRY_COMPARE_WITH_TIMEOUT(w.Controls().lblStatus->text(), QStringLiteral("Weergave beëindigd"),
                            static_cast<int>(seconds * 1000) + 10000);
  QCOMPARE(w.Controls().btnListen->Text->text(), QStringLiteral("BELUISTEREN"));
  QCOMPARE(w.Controls().lblTime->text(), QStringLiteral("00:00"));
  QVERIFY(!w.Timer()->isActive());

  // Delete it, answering the confirmation.
  QStringList asked;
  AnswerNextDialog(QStringLiteral("Wissen"), &asked);
  QTest::mouseClick(w.Controls().btnDelete->Text, Qt::LeftButton);
  QCOMPARE(asked, QStringList{QStringLiteral("Wil je \"Proef-1.wav\" definitief wissen?")});
  QVERIFY(!fs::exists(take));
  QCOMPARE(w.Controls().lbRecordings->model()->rowCount(), 0);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Gewist: Proef-1.wav"));
}

void TestMainReal::deviceListFollowsTheSoundServer()
{
  if (!test::HavePulse()) {
    if (test::PulseRequired())
      QFAIL("PULSE_SERVER is not set but PRAATKIST_REQUIRE_PULSE=1");
    QSKIP("no PulseAudio test server (PULSE_SERVER unset)");
  }
  const std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  test::TTempDir dir;
  const fs::path ini = dir / "Praatkist.ini";
  std::ofstream(ini, std::ios::binary)
      << "[Sessies]\r\nHoofdmap=" << (dir / "root").string()
      << "\r\n[Opname]\r\nGeluidsingang=" << SineDevice.toStdString() << "\r\n";
  TfrmMain w(layer.get(), QString::fromStdString(ini.string()));
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QCOMPARE(w.Controls().cbDevice->currentText(), SineDevice);
  const int before = w.Controls().cbDevice->count();

  // A microphone plugged in while the window runs: listed, the chosen one stays.
  const std::string module = test::Shell(
      "pactl load-module module-sine-source source_name=pk_window rate=48000 frequency=523");
  QVERIFY(!module.empty());
  QTRY_COMPARE_WITH_TIMEOUT(w.Controls().cbDevice->count(), before + 1, 10000);
  QCOMPARE(w.Controls().cbDevice->currentText(), SineDevice);
  // and unplugged again
  test::Shell("pactl unload-module " + module);
  QTRY_COMPARE_WITH_TIMEOUT(w.Controls().cbDevice->count(), before, 10000);
  QCOMPARE(w.Controls().cbDevice->currentText(), SineDevice);
}

void TestMainReal::chosenInputIsKeptWhileUnplugged()
{
  if (!test::HavePulse()) {
    if (test::PulseRequired())
      QFAIL("PULSE_SERVER is not set but PRAATKIST_REQUIRE_PULSE=1");
    QSKIP("no PulseAudio test server (PULSE_SERVER unset)");
  }
  const std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  test::TTempDir dir;
  const fs::path ini = dir / "Praatkist.ini";
  std::ofstream(ini, std::ios::binary)
      << "[Sessies]\r\nHoofdmap=" << (dir / "root").string()
      << "\r\n[Opname]\r\nGeluidsingang=" << SineDevice.toStdString() << "\r\n";
  const QString mic = QStringLiteral("Kleine_microfoon");
  const std::string source =
      "source_name=pk_chosen rate=48000 frequency=660 source_properties=device.description=" +
      mic.toStdString();
  TLoadedSource plugged(source);
  QVERIFY(!plugged.Module.empty());
  {
    TfrmMain w(layer.get(), QString::fromStdString(ini.string()));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QComboBox *devices = w.Controls().cbDevice;
    QTRY_VERIFY_WITH_TIMEOUT(devices->findText(mic) >= 0, 10000);
    PickEntry(devices, mic);
    QCOMPARE(devices->currentText(), mic);
    // Unplugged: the list shows another input meanwhile, and closes so.
    plugged.Unload();
    QTRY_VERIFY_WITH_TIMEOUT(devices->findText(mic) < 0, 10000);
    QCOMPARE(devices->currentText(), SineDevice);
    w.close();
  }
  QCOMPARE(platform::TIniFile(ini).ReadString("Opname", "Geluidsingang", ""), mic.toStdString());

  // Plugged in again: the next start takes it.
  TLoadedSource again(source);
  TfrmMain w(layer.get(), QString::fromStdString(ini.string()));
  QTRY_COMPARE_WITH_TIMEOUT(w.Controls().cbDevice->currentText(), mic, 10000);
}

// A private home so that no real settings or documents are touched.
// With Vooropname on, frame-numbered audio that reached the fifo source before the click
// opens the take: its last second, joined to what follows without a gap or a repeat.
void TestMainReal::preRollTakeHoldsTheSecondBeforeTheClick()
{
  if (!test::HavePulse()) {
    if (test::PulseRequired())
      QFAIL("PULSE_SERVER is not set but PRAATKIST_REQUIRE_PULSE=1");
    QSKIP("no PulseAudio test server (PULSE_SERVER unset)");
  }
  TFifoWindow fixture;
  QVERIFY(fixture.Open());
  TfrmMain &w = *fixture.Window;
  const fs::path &root = fixture.Root;
  QCOMPARE(w.Controls().lblHeadingLevel->text(), LevelHeadingInput);

  constexpr std::int64_t rate = 48000;
  const auto write = [](std::int64_t AFirst, std::int64_t ACount) {
    test::TFifoWriter writer(test::NumberedFrames(AFirst, ACount));
    QTRY_VERIFY_WITH_TIMEOUT(writer.Done(), 20000);
  };
  write(0, 2 * rate);
  QTRY_VERIFY_WITH_TIMEOUT(w.Recorder()->InputFrames() >= std::uint64_t{2 * rate}, 10000);
  QTRY_VERIFY_WITH_TIMEOUT(w.VuDisplayLevel() > 0.0, 10000);
  // frame 32767 is at full scale
  QTRY_VERIFY_WITH_TIMEOUT(w.Controls().lblClip->isVisible(), 10000);

  QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Opname: Proef-1.wav"));
  write(2 * rate, rate / 2);
  QTRY_VERIFY_WITH_TIMEOUT(w.Recorder()->TakeSeconds() >= 1.5, 10000);
  QTest::mouseClick(w.Controls().btnStop->Text, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!w.WorkBusy(), 10000);
  QTRY_COMPARE_WITH_TIMEOUT(w.Controls().lblHeadingLevel->text(), LevelHeadingInput, 10000);

  const test::TDecoded d = test::Decode(root / "Proef" / "Proef-1.wav");
  QVERIFY(d.Ok);
  QCOMPARE(d.Frames, 3 * rate / 2);
  QCOMPARE(test::FrameNumber(d.Samples, 0), rate);
  for (std::size_t i = 1; i < static_cast<std::size_t>(d.Frames); ++i)
    if (test::FrameNumber(d.Samples, i) != test::FrameNumber(d.Samples, i - 1) + 1)
      QFAIL(qPrintable(QStringLiteral("a break at frame %1").arg(i)));
}

// On frame-numbered audio from the server: Ctrl+M, stamped when pressed and handled
// only after the input delivered another 0.3 s, marks the frame the input had delivered
// at the press (within 20 ms); a take begun 0.3 s after the stop holds the whole second
// before its click, and the two takes overlap with no frame missing between them.
void TestMainReal::markerAndTheNextTakeOnNumberedAudio()
{
  if (!test::HavePulse()) {
    if (test::PulseRequired())
      QFAIL("PULSE_SERVER is not set but PRAATKIST_REQUIRE_PULSE=1");
    QSKIP("no PulseAudio test server (PULSE_SERVER unset)");
  }
  TFifoWindow fixture;
  QVERIFY(fixture.Open());
  TfrmMain &w = *fixture.Window;
  const fs::path &root = fixture.Root;

  constexpr std::int64_t rate = 48000;
  const auto write = [](std::int64_t AFirst, std::int64_t ACount) {
    test::TFifoWriter writer(test::NumberedFrames(AFirst, ACount));
    QTRY_VERIFY_WITH_TIMEOUT(writer.Done(), 20000);
  };
  const auto stamp = [] {
    return static_cast<ulong>((SteadyNowNs() / 1000000) & 0xFFFFFFFF);
  };
  write(0, 2 * rate);
  QTRY_VERIFY_WITH_TIMEOUT(w.Recorder()->InputFrames() >= std::uint64_t{2 * rate}, 10000);

  QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
  write(2 * rate, rate / 2);
  QTRY_VERIFY_WITH_TIMEOUT(w.Recorder()->TakeSeconds() >= 1.5, 10000);
  // the press: the take holds 1.5 s (stream frames 48000 .. 119999) when the key goes down,
  // in a millisecond begun after its last buffer came (a stamp names its millisecond's
  // start, which may lie before a buffer that came within it)
  const ulong seen = stamp();
  while (stamp() == seen) {
  }
  const ulong pressed = stamp();
  while (stamp() == pressed) {
  }
  write(5 * rate / 2, 3 * rate / 10);
  QTRY_VERIFY_WITH_TIMEOUT(w.Recorder()->TakeSeconds() >= 1.8, 10000);
  QApplication::setActiveWindow(&w);
  qt_sendShortcutOverrideEvent(w.focusWidget(), pressed, Qt::Key_M, Qt::ControlModifier,
                               QStringLiteral("\r"), false, 1);
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Markering 1"));
  QTest::mouseClick(w.Controls().btnStop->Text, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!w.WorkBusy(), 10000);
  QCOMPARE(w.Controls().lblHeadingLevel->text(), LevelHeadingInput);

  const fs::path first = root / "Proef" / "Proef-1.wav";
  std::ifstream labels(fs::path(first.string() + ".markers.txt"));
  std::string line;
  QVERIFY(std::getline(labels, line));
  const auto frame = static_cast<std::int64_t>(std::llround(std::stod(line) * rate));
  const test::TDecoded a = test::Decode(first);
  QVERIFY(a.Ok);
  QVERIFY2(frame > 0 && frame <= a.Frames, line.c_str());
  const std::int64_t delivered = test::FrameNumber(a.Samples, static_cast<std::size_t>(frame - 1));
  QVERIFY2(std::abs(delivered - (5 * rate / 2 - 1)) <= rate / 50,
           qPrintable(QString::number(delivered)));

  // 0.3 s later the next take: its second before the click reaches into the first take
  const std::uint64_t atStop = w.Recorder()->InputFrames();
  write(28 * rate / 10, 3 * rate / 10);
  QTRY_VERIFY_WITH_TIMEOUT(w.Recorder()->InputFrames() >= atStop + 3 * rate / 10, 10000);
  QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
  write(31 * rate / 10, rate / 2);
  QTRY_VERIFY_WITH_TIMEOUT(w.Recorder()->TakeSeconds() >= 1.5, 10000);
  QTest::mouseClick(w.Controls().btnStop->Text, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!w.WorkBusy(), 10000);
  const test::TDecoded b = test::Decode(root / "Proef" / "Proef-2.wav");
  QVERIFY(b.Ok);
  QCOMPARE(b.Frames, 3 * rate / 2);
  QCOMPARE(test::FrameNumber(b.Samples, 0), 31 * rate / 10 - rate);
  QVERIFY(test::FrameNumber(b.Samples, 0) <=
          test::FrameNumber(a.Samples, static_cast<std::size_t>(a.Frames - 1)));
  for (const test::TDecoded *d : {&a, &b})
    for (std::size_t i = 1; i < static_cast<std::size_t>(d->Frames); ++i)
      if (test::FrameNumber(d->Samples, i) != test::FrameNumber(d->Samples, i - 1) + 1)
        QFAIL(qPrintable(QStringLiteral("a break at frame %1").arg(i)));
}

// Hands-free, no key pressed: three sentences read from the list through the server,
// with a cough-like burst between the first two, become three takes bound to their
// texts, each beginning one pre-roll before its voice; the burst makes a rejected take
// of the second text, which is then listened for again. The speaker reads as a person
// does: the next sentence (or the cough) once the window has ended the last take and
// listens again, however long the take's end took.
void TestMainReal::handsFreeReadsThreeTextsIntoTheirTakes()
{
  if (!test::HavePulse()) {
    if (test::PulseRequired())
      QFAIL("PULSE_SERVER is not set but PRAATKIST_REQUIRE_PULSE=1");
    QSKIP("no PulseAudio test server (PULSE_SERVER unset)");
  }
  TFifoWindow fixture;
  const QStringList texts{QStringLiteral("De kat krabt de krullen van de trap."),
                          QStringLiteral("Morgen gaan we naar de markt."),
                          QStringLiteral("De zon schijnt op het water.")};
  fs::create_directories(fixture.Root / "Proef");
  const QByteArray list =
      ("a1\t" + texts[0] + "\na2\t" + texts[1] + "\na3\t" + texts[2] + "\n").toUtf8();
  test::WriteBytes(fixture.Root / "Proef" / "tekstlijst.txt", list.data(),
                   static_cast<std::size_t>(list.size()));
  QVERIFY(fixture.Open());
  TfrmMain &w = *fixture.Window;
  QCheckBox *handsFree = w.Controls().chkHandsFree;
  QTRY_VERIFY_WITH_TIMEOUT(handsFree->isVisible(), 10000);
  QTest::mouseClick(handsFree, Qt::LeftButton, {}, QPoint(8, handsFree->height() / 2));
  QTRY_COMPARE_WITH_TIMEOUT(w.Controls().lblHandsFree->text(), QStringLiteral("Luistert"), 10000);

  // What the speaker says, as the microphone hands it on, in real time.
  const auto say = [](const std::vector<std::vector<std::int16_t>> &AParts) {
    std::vector<std::int16_t> said;
    for (const auto &part : AParts)
      said.insert(said.end(), part.begin(), part.end());
    test::TFifoWriter writer(said, true);
    QTRY_VERIFY_WITH_TIMEOUT(writer.Done(), 60000);
  };
  const auto room = [](double ASeconds) {
    test::TSpeechTake quiet;
    quiet.Text.clear();
    quiet.LeadSeconds = ASeconds;
    quiet.TailSeconds = 0.0;
    return test::SpeechSamples(quiet);
  };
  const auto sentence = [&texts](int AIndex) {
    test::TSpeechTake read;
    read.Text = texts[AIndex].toStdString();
    read.TailSeconds = 2.0;
    return test::SpeechSamples(read);
  };
  std::vector<std::int16_t> cough; // 200 ms of noise at the voice's level
  for (int n = 0; n < 48000 / 5 * 2; ++n)
    cough.push_back(static_cast<std::int16_t>((n * 7919 % 6553) - 3276));
  // The speaker's cue: the take ended and listed, the lamp listening again.
  const auto listensAfter = [&w](int ATakes) {
    QTRY_VERIFY2_WITH_TIMEOUT(w.Controls().lbRecordings->model()->rowCount() == ATakes &&
                                  w.Controls().lblHandsFree->text() == QStringLiteral("Luistert"),
                              qPrintable(w.Controls().lblStatus->text()), 20000);
  };

  const std::vector<std::vector<std::vector<std::int16_t>>> pieces{
      {room(1.0), sentence(0)}, {room(0.5), cough, room(2.0)}, {sentence(1)}, {sentence(2)}};
  for (int i = 0; i < static_cast<int>(pieces.size()); ++i) {
    say(pieces[static_cast<std::size_t>(i)]);
    if (i + 1 < static_cast<int>(pieces.size()))
      listensAfter(i + 1);
    if (QTest::currentTestFailed())
      return;
  }
  QTRY_VERIFY2_WITH_TIMEOUT(!handsFree->isChecked(), qPrintable(w.Controls().lblStatus->text()),
                            20000);
  QTRY_VERIFY_WITH_TIMEOUT(!w.WorkBusy(), 10000);
  QCOMPARE(w.Controls().lblStatus->text(),
           QStringLiteral("Handsfree klaar: elke tekst heeft een gekozen opname."));

  QHash<QString, TTakeMark> marks; // what the list shows beside each bound take
  for (const TTakeBinding &b : w.Texts().Text().Bindings())
    marks.insert(b.Take, w.Texts().MarkOf(b.Take));
  QCOMPARE(marks.size(), 4);
  QCOMPARE(marks.value(QStringLiteral("Proef-1.wav")).ItemId, QStringLiteral("a1"));
  QVERIFY(marks.value(QStringLiteral("Proef-2.wav")).Rejected);
  QCOMPARE(marks.value(QStringLiteral("Proef-2.wav")).ItemId, QStringLiteral("a2"));
  QCOMPARE(marks.value(QStringLiteral("Proef-3.wav")).ItemId, QStringLiteral("a2"));
  QCOMPARE(marks.value(QStringLiteral("Proef-4.wav")).ItemId, QStringLiteral("a3"));
  for (const char *name : {"Proef-1.wav", "Proef-3.wav", "Proef-4.wav"}) {
    QVERIFY(marks.value(QString::fromLatin1(name)).Chosen);
    const test::TDecoded d = test::Decode(fixture.Root / "Proef" / name);
    QVERIFY(d.Ok);
    // the first 10 ms above -45 dBFS: the voice, one pre-roll (1 s) into the take
    std::size_t first = 0;
    for (std::size_t at = 0; at + 480 <= static_cast<std::size_t>(d.Frames); at += 480) {
      double sum = 0;
      for (std::size_t i = 2 * at; i < 2 * (at + 480); ++i)
        sum += static_cast<double>(d.Samples[i]) * d.Samples[i];
      if (10 * std::log10(sum / 960 / (32768.0 * 32768.0) + 1e-12) > -45) {
        first = at;
        break;
      }
    }
    QVERIFY2(std::abs(static_cast<double>(first) / 48000 - 1.0) < 0.06,
             qPrintable(QStringLiteral("%1: voice at %2 s").arg(name).arg(first / 48000.0)));
    QVERIFY2(d.Frames > static_cast<std::int64_t>(first) + 48000, name);
  }
}

// The input unplugged while hands-free listens: hands-free ends with the message of any
// input that goes away, and the listening lamp goes out.
void TestMainReal::handsFreeEndsWhenTheInputGoesAway()
{
  if (!test::HavePulse()) {
    if (test::PulseRequired())
      QFAIL("PULSE_SERVER is not set but PRAATKIST_REQUIRE_PULSE=1");
    QSKIP("no PulseAudio test server (PULSE_SERVER unset)");
  }
  const QString mic = QStringLiteral("Spreekmicrofoon");
  TLoadedSource plugged("source_name=pk_voice rate=48000 frequency=220 "
                        "source_properties=device.description=" + mic.toStdString());
  QVERIFY(!plugged.Module.empty());
  const std::unique_ptr<audio::IAudioLayer> layer = audio::CreateSystemAudioLayer();
  test::TTempDir dir;
  fs::create_directories(dir / "root" / "Proef");
  const std::string list = "a1\tDe kat krabt de krullen van de trap.\n";
  test::WriteBytes(dir / "root" / "Proef" / "tekstlijst.txt", list.data(), list.size());
  const fs::path ini = dir / "Praatkist.ini";
  std::ofstream(ini, std::ios::binary)
      << "[Sessies]\r\nHoofdmap=" << (dir / "root").string() << "\r\n[Opname]\r\nGeluidsingang="
      << mic.toStdString() << "\r\nVooropname=1\r\nHandsfree=1\r\n";
  TfrmMain w(layer.get(), QString::fromStdString(ini.string()));
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QTRY_COMPARE_WITH_TIMEOUT(w.Controls().cbDevice->currentText(), mic, 10000);
  PickEntry(w.Controls().cbSession, QStringLiteral("Proef"));
  // the steady tone is the room to the detector: it listens and nothing starts
  QTRY_COMPARE_WITH_TIMEOUT(w.Controls().lblHandsFree->text(), QStringLiteral("Luistert"), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(w.Recorder()->InputFrames() >= 48000u, 10000);
  plugged.Unload();
  QTRY_VERIFY_WITH_TIMEOUT(!w.Controls().chkHandsFree->isChecked(), 10000);
  QVERIFY(!w.Controls().lblHandsFree->isVisible());
  QTRY_VERIFY_WITH_TIMEOUT(w.Controls().lblStatus->text().startsWith(
                               QStringLiteral("Vooropname: de audio-ingang is weggevallen")), 10000);
  QVERIFY(!fs::exists(dir / "root" / "Proef" / "Proef-1.wav"));
}

int main(int argc, char **argv)
{
  static test::TTempDir home;
  qputenv("HOME", home.Path().string().c_str());
  qputenv("XDG_CONFIG_HOME", (home.Path() / "config").string().c_str());
  qputenv("XDG_DATA_HOME", (home.Path() / "data").string().c_str());
  // A screen larger than the window (the plugin's own is 800 x 800).
  const fs::path screens = home.Path() / "screens.json";
  const std::string screen =
      R"({"screens":[{"name":"Scherm","x":0,"y":0,"width":1920,"height":1080,"dpr":1}]})";
  test::WriteBytes(screens, screen.data(), screen.size());
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens.string()).c_str());
  qputenv("QT_SCALE_FACTOR", "1");
  praatkist::app::TPraatkistApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  InstallFontSubstitutes();
  TestMainReal tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "test_main_real.moc"
