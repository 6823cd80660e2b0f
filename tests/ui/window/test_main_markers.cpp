// Markers from the keyboard: Ctrl+M while a take runs puts a marker where the key went
// down, however late the window handles the press; while a take plays, at the playback
// position; Alt+Right and Alt+Left move the playback from marker to marker; the
// waveform draws them and screen readers hear of them.

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QtTest>

#include <filesystem>
#include <memory>

#include "app/PraatkistApplication.h"
#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "audio/codec/TakeMarkers.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"
#include "ui/flow/TakeFlow.h"
#include "ui/style/Fonts.h"
#include "ui/widgets/ModernButton.h"
#include "ui/widgets/WaveformWidget.h"
#include "ui/window/MainForm.h"
#include "ui/window/TakeList.h"

// The key event's way into the shortcuts, as the platform takes it: a press stamped by
// the system with the moment it happened.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject *o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString &text,
                                               bool autorep, ushort count);

using namespace praatkist;
using namespace praatkist::ui;
using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;

namespace {

namespace fs = std::filesystem;

QString Q(const fs::path &APath)
{
  return QString::fromStdString(APath.string());
}

std::string ReadText(const fs::path &APath)
{
  const std::vector<std::uint8_t> bytes = test::ReadBytes(APath);
  return std::string(bytes.begin(), bytes.end());
}

// Stereo frames carrying their own number in the left channel.
std::vector<std::int16_t> Numbered(int AFirst, int AFrames)
{
  std::vector<std::int16_t> s;
  for (int i = 0; i < AFrames; ++i) {
    s.push_back(static_cast<std::int16_t>((AFirst + i) % 30000));
    s.push_back(6000);
  }
  return s;
}

// The steady clock's milliseconds, as systems stamp their input events (low 32 bits).
ulong StampNow()
{
  return static_cast<ulong>((SteadyNowNs() / 1000000) & 0xFFFFFFFF);
}

// Waits for the system's millisecond to change: stamps a millisecond apart tell a press
// from the buffers delivered around it.
ulong NextMillisecond()
{
  const ulong was = StampNow();
  ulong now = was;
  while (now == was)
    now = StampNow();
  return now;
}

struct TKit {
  TTempDir Dir;
  TScriptedAudioLayer Layer;
  fs::path Root = Dir / "root";
  fs::path Ini = Dir / "Praatkist.ini";
  std::unique_ptr<TfrmMain> Win;

  // AKeys: lines of the section "Toetsen".
  explicit TKit(const std::string &AKeys = "")
  {
    fs::create_directories(Root / "Koor");
    const std::string text = "[Sessies]\r\nHoofdmap=" + Root.string() + "\r\n[Opname]\r\n" +
                             "[Toetsen]\r\n" + AKeys;
    test::WriteBytes(Ini, text.data(), text.size());
  }

  TfrmMain &Open()
  {
    Win = std::make_unique<TfrmMain>(&Layer, Q(Ini));
    Win->show();
    if (!QTest::qWaitForWindowExposed(Win.get()))
      qWarning("window not exposed");
    PickSession();
    Settle();
    return *Win;
  }

  void PickSession()
  {
    QComboBox *combo = Win->Controls().cbSession;
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_F4);
    QAbstractItemView *view = combo->view();
    QTRY_VERIFY_WITH_TIMEOUT(view->isVisible(), 10000);
    const QPoint at = view->visualRect(view->model()->index(0, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTRY_VERIFY_WITH_TIMEOUT(!view->isVisible(), 10000);
  }

  // The take shown is drawn, and the session's crashed takes have been looked at.
  void Settle()
  {
    QTRY_VERIFY_WITH_TIMEOUT(!Win->WorkBusy() && !Win->TakeList().Mending(), 10000);
  }

  // The marker's key (Ctrl+M unless AKey says otherwise) as the system delivers it,
  // stamped AStamp.
  void MarkKey(ulong AStamp, Qt::Key AKey = Qt::Key_M,
               Qt::KeyboardModifiers AMods = Qt::ControlModifier)
  {
    QApplication::setActiveWindow(Win.get());
    qt_sendShortcutOverrideEvent(Win->focusWidget(), AStamp, AKey, AMods, QString(), false, 1);
  }

  QString Description() const
  {
    return QAccessible::queryAccessibleInterface(Win->Controls().wave)
        ->text(QAccessible::Description);
  }
};

} // namespace

class TestMainMarkers : public QObject {
  Q_OBJECT

private slots:
  void markerLandsWhereTheKeyWentDown_data();
  void markerLandsWhereTheKeyWentDown();
  void markersDuringPlaybackAndFromMarkerToMarker();
  void listingASessionMendsACrashedTake();
};

// The press is stamped, then the input delivers a good deal more before the window
// gets to the key: the marker stands where the input was at the press. So also for a
// key of the user's own.
void TestMainMarkers::markerLandsWhereTheKeyWentDown_data()
{
  QTest::addColumn<QString>("setting");
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("mods");
  QTest::newRow("Ctrl+M") << QString() << int(Qt::Key_M) << int(Qt::ControlModifier);
  QTest::newRow("F8") << QStringLiteral("Markering=F8\r\n") << int(Qt::Key_F8)
                      << int(Qt::NoModifier);
}

void TestMainMarkers::markerLandsWhereTheKeyWentDown()
{
  QFETCH(QString, setting);
  QFETCH(int, key);
  QFETCH(int, mods);
  TKit kit(setting.toStdString());
  TfrmMain &w = kit.Open();
  const fs::path take = kit.Root / "Koor" / "Koor-1.wav";
  QTest::mouseClick(w.Controls().btnRecord->Text, Qt::LeftButton);
  QVERIFY(w.Flow().State() == TTakeState::Recording);
  QVERIFY(kit.Layer.Deliver(Numbered(0, 9600)));
  const ulong pressed = NextMillisecond();
  NextMillisecond();
  QVERIFY(kit.Layer.Deliver(Numbered(9600, 9600)));
  QVERIFY(kit.Layer.Deliver(Numbered(19200, 9600)));
  kit.MarkKey(pressed, static_cast<Qt::Key>(key), Qt::KeyboardModifiers(mods));
  QCOMPARE(w.Controls().lblStatus->text(), QStringLiteral("Markering 1"));
  const std::string line = ReadText(audio::MarkersPath(take));
  // 9600 frames at 48 kHz: 0.2 s
  QCOMPARE(line, std::string("0.200000\t0.200000\tMarkering 1\n"));

  QTest::mouseClick(w.Controls().btnStop->Text, Qt::LeftButton);
  kit.Settle();
  QCOMPARE(w.Controls().wave->Markers().size(), std::size_t{1});
  QVERIFY2(kit.Description().contains(QStringLiteral(", 1 markering")),
           qPrintable(kit.Description()));
}

void TestMainMarkers::markersDuringPlaybackAndFromMarkerToMarker()
{
  TKit kit;
  const fs::path take = kit.Root / "Koor" / "Koor-1.wav";
  test::WriteWave(take, 48000, 2, Numbered(0, 96000));
  TfrmMain &v = kit.Open();
  QCOMPARE(v.Controls().lbRecordings->model()->rowCount(), 1);
  QTest::mouseClick(v.Controls().btnListen->Text, Qt::LeftButton);
  QVERIFY(v.Flow().State() == TTakeState::Playing);
  audio::THandle stream = 0;
  for (const auto &[handle, open] : kit.Layer.OpenStreams)
    if (!open.Decode)
      stream = handle;
  QVERIFY(stream != 0);
  for (const int frame : {72000, 24000}) {
    kit.Layer.SetPlaybackPosition(stream, static_cast<std::uint64_t>(frame) * 4, false);
    kit.MarkKey(StampNow());
  }
  // at the playback position when the key went down (within 20 ms: the stamp is in whole
  // milliseconds, and the press is handled a moment after it)
  const audio::TMarkers marked = audio::ReadMarkers(take, 48000);
  QCOMPARE(marked.size(), std::size_t{2});
  QVERIFY2(marked[0] <= 24000 && marked[0] + 960 >= 24000, qPrintable(QString::number(marked[0])));
  QVERIFY2(marked[1] <= 72000 && marked[1] + 960 >= 72000, qPrintable(QString::number(marked[1])));
  QVERIFY(ReadText(audio::MarkersPath(take)).ends_with("\tMarkering 2\n"));
  QCOMPARE(v.Controls().wave->Markers().size(), std::size_t{2});
  QVERIFY2(kit.Description().contains(QStringLiteral(", 2 markeringen")),
           qPrintable(kit.Description()));

  kit.Layer.SetPlaybackPosition(stream, 0, false);
  QApplication::setActiveWindow(&v);
  QTest::keyClick(v.focusWidget(), Qt::Key_Right, Qt::AltModifier);
  QCOMPARE(kit.Layer.OpenStreams[stream].Position, marked[0] * 4);
  QCOMPARE(v.Controls().lblStatus->text(), QStringLiteral("Markering 1"));
  QTest::keyClick(v.focusWidget(), Qt::Key_Right, Qt::AltModifier);
  QCOMPARE(kit.Layer.OpenStreams[stream].Position, marked[1] * 4);
  QTest::keyClick(v.focusWidget(), Qt::Key_Left, Qt::AltModifier);
  QCOMPARE(kit.Layer.OpenStreams[stream].Position, marked[0] * 4);
}

// A take a kill ended lies in the session with its provisional header and its label
// file: listing the session gives it its true sizes and its cue chunk.
void TestMainMarkers::listingASessionMendsACrashedTake()
{
  TKit kit;
  const fs::path take = kit.Root / "Koor" / "Koor-1.wav";
  test::WriteWave(take, 48000, 2, Numbered(0, 4800));
  std::vector<std::uint8_t> bytes = test::ReadBytes(take);
  for (const int at : {4, 40})
    for (int i = 0; i < 4; ++i)
      bytes[static_cast<std::size_t>(at + i)] = 0xFF;
  test::WriteBytes(take, bytes.data(), bytes.size());
  const std::string labels = "0.050000\t0.050000\tMarkering 1\n";
  test::WriteBytes(audio::MarkersPath(take), labels.data(), labels.size());

  TfrmMain &w = kit.Open();
  QCOMPARE(w.Controls().lbRecordings->model()->rowCount(), 1);
  const std::vector<std::uint8_t> mended = test::ReadBytes(take);
  QCOMPARE(test::Le32(mended, 40), 4800u * 4);
  QCOMPARE(test::Le32(mended, 4), static_cast<std::uint32_t>(mended.size() - 8));
  QCOMPARE(std::string(mended.begin() + 44 + 4800 * 4, mended.begin() + 48 + 4800 * 4),
           std::string("cue "));
  QCOMPARE(ReadText(audio::MarkersPath(take)), labels);
}

int main(int argc, char **argv)
{
  static TTempDir home;
  qputenv("HOME", home.Path().string().c_str());
  qputenv("XDG_CONFIG_HOME", (home.Path() / "config").string().c_str());
  qputenv("XDG_DATA_HOME", (home.Path() / "data").string().c_str());
  const std::string screens =
      R"({"screens":[{"name":"Scherm","x":0,"y":0,"width":1920,"height":1080,"logicalDpi":96,"dpr":1}]})";
  test::WriteBytes(home.Path() / "screens.json", screens.data(), screens.size());
  qputenv("QT_QPA_PLATFORM",
          ("offscreen:configfile=" + (home.Path() / "screens.json").string()).c_str());
  praatkist::app::TPraatkistApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  InstallFontSubstitutes();
  TestMainMarkers tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "test_main_markers.moc"
