#pragma once
// The main window driven like a user would, for the window's tests: the dialogs
// answered as they appear, real clicks on lists and combo boxes, takes as files, the
// scripted audio layer with reads that take time, and a window on it with its root and
// settings file in a temporary folder and a clock the test moves by hand.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
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
#include "platform/IniFile.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"
#include "ui/style/Fonts.h"
#include "ui/widgets/ModernButton.h"
#include "ui/window/MainForm.h"
#include "ui/window/TakeList.h"

namespace praatkist::test::window {

using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;
using namespace praatkist::ui;

namespace fs = std::filesystem;

constexpr int Rate = 48000;

// The offscreen screen, "WIDTHxHEIGHT" from PRAATKIST_TEST_SCREEN (default 1920x1080).
inline std::string ScreenConfig()
{
  const QStringList size =
      qEnvironmentVariable("PRAATKIST_TEST_SCREEN", QStringLiteral("1920x1080")).split('x');
  return R"({"screens":[{"name":"Scherm","x":0,"y":0,"width":)" + size.value(0).toStdString() +
         R"(,"height":)" + size.value(1).toStdString() + R"(,"logicalDpi":96,"dpr":1}]})";
}

inline QString Q(const fs::path &APath)
{
  return QString::fromStdString(APath.string());
}

// ---- dialogs --------------------------------------------------------------------------

struct TSeenDialog {
  QString Title;
  QString Text;
};

// Watches for modal dialogs and answers each with the next planned answer once its own
// loop runs; a dialog without a plan is closed (cancel). The answer does not wait for
// the platform to activate the dialog: it is made the active window first, as the
// user's click on it would. Everything seen is kept.
class TDialogs : public QObject {
public:
  TDialogs() { qApp->installEventFilter(this); }
  ~TDialogs() override { qApp->removeEventFilter(this); }

  void Click(const QString &ACaption)
  {
    FPlans.push_back([ACaption](QWidget *w) {
      for (auto *b : w->findChildren<TModernButton *>())
        if (b->Caption() == ACaption) {
          QTest::mouseClick(b, Qt::LeftButton);
          return;
        }
      QFAIL(qPrintable(QStringLiteral("no button ") + ACaption));
    });
  }

  // Answers the next window by keys, as a keyboard user does: AText typed into what
  // has the focus, then each of AKeys to whatever has the focus by then.
  void Keys(const QString &AText, std::vector<Qt::Key> AKeys)
  {
    FPlans.push_back([AText, AKeys](QWidget *w) {
      const auto focused = [w] { return w->focusWidget() ? w->focusWidget() : w; };
      if (!AText.isEmpty())
        QTest::keyClicks(focused(), AText);
      for (const Qt::Key key : AKeys)
        QTest::keyClick(focused(), key);
    });
  }

  // Runs AAction on the next window instead of answering it.
  void Do(std::function<void(QWidget *)> AAction) { FPlans.push_back(std::move(AAction)); }

  // Leaves the next window open until its own work closes it (a progress window).
  void Leave()
  {
    FPlans.push_back(nullptr);
    FLeave.push_back(FPlans.size() - 1 + FTaken);
  }

  void Type(const QString &AText)
  {
    FPlans.push_back([AText](QWidget *w) {
      auto *edit = w->findChild<QLineEdit *>(QStringLiteral("edtText"));
      QVERIFY(edit != nullptr);
      // typed key by key (any letter, not only those with a key of their own)
      for (const QChar ch : AText)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
      for (auto *b : w->findChildren<TModernButton *>())
        if (b->Caption() == QStringLiteral("OK"))
          QTest::mouseClick(b, Qt::LeftButton);
    });
  }

  QList<TSeenDialog> Seen;

  QStringList Texts() const
  {
    QStringList texts;
    for (const auto &s : Seen)
      texts << s.Text;
    return texts;
  }

protected:
  bool eventFilter(QObject *AWatched, QEvent *AEvent) override
  {
    auto *dialog = qobject_cast<QDialog *>(AWatched);
    if (AEvent->type() != QEvent::Show || dialog == nullptr || !dialog->isModal())
      return false;
    TSeenDialog seen;
    seen.Title = dialog->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(dialog))
      seen.Text = box->text();
    else if (auto *label = dialog->findChild<QLabel *>(QStringLiteral("lblMessage")))
      seen.Text = label->text();
    Seen.append(seen);
    std::function<void(QWidget *)> plan;
    if (!FPlans.empty()) {
      plan = FPlans.front();
      FPlans.pop_front();
      const bool leave = !FLeave.empty() && FLeave.front() == FTaken;
      if (leave)
        FLeave.pop_front();
      ++FTaken;
      if (leave)
        return false;
    }
    const QPointer<QDialog> open(dialog);
    // Queued: it runs inside the dialog's own loop, after exec() has begun.
    QMetaObject::invokeMethod(
        this,
        [this, open, plan] {
          if (!open || !open->isVisible())
            return;
          QApplication::setActiveWindow(open);
          if (plan)
            plan(open);
          // A dialog still open after its answer is closed once the loop runs again, so
          // that a broken answer fails the test instead of hanging it.
          QMetaObject::invokeMethod(
              this,
              [open] {
                if (open && open->isVisible())
                  open->reject();
              },
              Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return false;
  }

private:
  std::deque<std::function<void(QWidget *)>> FPlans;
  // Which plans (by their number) leave their window open, and how many were taken.
  std::deque<std::size_t> FLeave;
  std::size_t FTaken = 0;
};

// ---- files ----------------------------------------------------------------------------

inline std::vector<std::int16_t> Level(double ASeconds, std::int16_t AValue, int AChannels = 2)
{
  return std::vector<std::int16_t>(static_cast<std::size_t>(ASeconds * Rate + 0.5) *
                                       static_cast<std::size_t>(AChannels),
                                   AValue);
}

inline std::vector<std::int16_t> Join(std::initializer_list<std::vector<std::int16_t>> AParts)
{
  std::vector<std::int16_t> all;
  for (const auto &part : AParts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Silence, sound, silence: a take the trimmer cuts 0.40 s off at each end.
inline std::vector<std::int16_t> TrimmableTake()
{
  return Join({Level(0.5, 0), Level(1.0, 12000), Level(0.5, 0)});
}

inline void WriteWave(const fs::path &APath, const std::vector<std::int16_t> &ASamples, int AChannels = 2)
{
  test::WriteWave(APath, Rate, static_cast<std::uint16_t>(AChannels), ASamples);
}

inline void Touch(const fs::path &APath, const std::string &AText = "x")
{
  std::ofstream(APath, std::ios::binary) << AText;
}

inline void WriteTrimRecord(const fs::path &ATake, const std::string &AStart, const std::string &AEnd)
{
  Touch(fs::path(ATake.string() + ".untrimmed"));
  test::WriteTrimRecord(ATake, AStart, AEnd);
}

// ---- the window ----------------------------------------------------------------------

// A chosen session's crashed takes are mended on a worker: wait until it has looked at
// them all.
inline void WaitForMend(QWidget *AWidget)
{
  auto *window = qobject_cast<TfrmMain *>(AWidget->window());
  if (window == nullptr || !window->TakeList().Mending())
    return;
  QSignalSpy done(&window->TakeList(), &TTakeList::MendDone);
  QVERIFY(done.wait(10000));
}

// Analysis and trimming run off the window's thread: wait until the window has shown
// their results (and completed a stop).
inline void WaitIdle(QWidget *AWidget)
{
  auto *window = qobject_cast<TfrmMain *>(AWidget->window());
  if (window != nullptr)
    QTRY_VERIFY_WITH_TIMEOUT(!window->WorkBusy(), 10000);
  WaitForMend(AWidget);
}

// Real clicks where a user would click: on a list row, on a combo box and then on the
// entry in its open list.
inline void ClickRow(QAbstractItemView *AList, int ARow, Qt::KeyboardModifiers AKeys = {})
{
  const QModelIndex row = AList->model()->index(ARow, 0);
  QVERIFY2(row.isValid(), qPrintable(QString::number(ARow)));
  AList->scrollTo(row);
  QTest::mouseClick(AList->viewport(), Qt::LeftButton, AKeys, AList->visualRect(row).center());
  WaitIdle(AList);
}

inline void PickEntry(QComboBox *ACombo, const QString &AText)
{
  const int index = ACombo->findText(AText);
  QVERIFY2(index >= 0, qPrintable(AText));
  // Opened from the keyboard (a popup opened by a mouse press ignores a release that
  // follows within a double-click time), chosen with the mouse.
  ACombo->setFocus();
  QTest::keyClick(ACombo, Qt::Key_F4);
  QAbstractItemView *view = ACombo->view();
  QTRY_VERIFY2_WITH_TIMEOUT(view->isVisible(), qPrintable(ACombo->objectName()), 10000);
  const QModelIndex entry = view->model()->index(index, ACombo->modelColumn(), view->rootIndex());
  view->scrollTo(entry);
  const QPoint at = view->visualRect(entry).center();
  QTest::mouseMove(view->viewport(), at);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
  QTRY_VERIFY_WITH_TIMEOUT(!view->isVisible(), 10000);
  WaitIdle(ACombo);
}

// The device list's next look at the system's devices.
inline void NextPoll(const TfrmMain &AWindow)
{
  auto *poll = AWindow.findChild<QTimer *>(QStringLiteral("deviceTimer"));
  QVERIFY(poll != nullptr);
  QSignalSpy polls(poll, &QTimer::timeout);
  QVERIFY(polls.wait(10000));
}

// The scripted layer with reads that take time (as long takes do), counted per file.
class TSlowLayer : public TScriptedAudioLayer {
public:
  std::atomic<int> ReadDelayMs{0};

  audio::THandle StreamCreateFile(const fs::path &AFile, bool ADecode) override
  {
    const audio::THandle handle = TScriptedAudioLayer::StreamCreateFile(AFile, ADecode);
    const std::lock_guard lock(FSlowLock);
    FPaths[handle] = AFile.filename().string();
    ++FOpens[FPaths[handle]];
    return handle;
  }

  void StreamFree(audio::THandle AStream) override
  {
    {
      const std::lock_guard lock(FSlowLock);
      ++FFrees[FPaths[AStream]];
    }
    TScriptedAudioLayer::StreamFree(AStream);
  }

  std::uint32_t ChannelGetData(audio::THandle AChannel, void *ABuffer,
                               std::uint32_t ALength) override
  {
    {
      const std::lock_guard lock(FSlowLock);
      ++FReads[FPaths[AChannel]];
    }
    if (const int ms = ReadDelayMs.load())
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return TScriptedAudioLayer::ChannelGetData(AChannel, ABuffer, ALength);
  }

  int Reads(const std::string &AFileName)
  {
    const std::lock_guard lock(FSlowLock);
    return FReads[AFileName];
  }

  // Streams of the file opened and let go so far.
  int Opens(const std::string &AFileName)
  {
    const std::lock_guard lock(FSlowLock);
    return FOpens[AFileName];
  }

  int Frees(const std::string &AFileName)
  {
    const std::lock_guard lock(FSlowLock);
    return FFrees[AFileName];
  }

private:
  std::mutex FSlowLock;
  std::map<audio::THandle, std::string> FPaths;
  std::map<std::string, int> FReads;
  std::map<std::string, int> FOpens;
  std::map<std::string, int> FFrees;
};

// A window on the scripted layer, with its root and settings file in a temporary folder
// and a clock the test moves by hand.
struct TWindowKit {
  TTempDir Dir;
  TSlowLayer Layer;
  fs::path Root;
  fs::path Ini;
  std::uint64_t Now = 1000;
  QString AskedRootProposal;
  QString RootAnswer;
  std::unique_ptr<TfrmMain> Win;

  // ASettings: lines for the settings file after the root ("" leaves the file out).
  explicit TWindowKit(const std::string &ARecordingSettings = "[Opname]\r\n",
                      bool AWriteSettings = true)
  {
    Root = Dir / "root";
    fs::create_directories(Root);
    Ini = Dir / "cfg" / "Praatkist.ini";
    fs::create_directories(Ini.parent_path());
    if (AWriteSettings)
      Touch(Ini, "[Sessies]\r\nHoofdmap=" + Root.string() + "\r\n" + ARecordingSettings);
  }

  // ATuning: the window's engine's.
  TfrmMain &Open(const TEngineTuning &ATuning = {})
  {
    Win.reset(); // one window on the layer at a time
    TWindowSeams seams;
    seams.TickCount = [this] { return Now; };
    seams.AskRootFolder = [this](const QString &AProposed) {
      AskedRootProposal = AProposed;
      return RootAnswer;
    };
    Win = std::make_unique<TfrmMain>(&Layer, Q(Ini), nullptr, ATuning, std::move(seams));
    Win->show();
    if (!QTest::qWaitForWindowExposed(Win.get()))
      qWarning("window not exposed");
    WaitForMend(Win.get());
    return *Win;
  }

  fs::path Session(const std::string &AName)
  {
    fs::create_directories(Root / AName);
    return Root / AName;
  }

  void Pick(const QString &AName) { PickEntry(Win->Controls().cbSession, AName); }

  void ChooseFormat(int AIndex)
  {
    PickEntry(Win->Controls().cbFormat, Win->Controls().cbFormat->itemText(AIndex));
  }

  void Feed(const std::vector<std::int16_t> &ASamples)
  {
    const std::size_t chunk = 9600;
    for (std::size_t at = 0; at < ASamples.size(); at += chunk) {
      const std::size_t n = std::min(chunk, ASamples.size() - at);
      Layer.Deliver(std::vector<std::int16_t>(ASamples.begin() + static_cast<long>(at),
                                              ASamples.begin() + static_cast<long>(at + n)));
    }
  }

  void Record(const std::vector<std::int16_t> &ASamples)
  {
    QTest::mouseClick(Win->Controls().btnRecord->Text, Qt::LeftButton);
    Feed(ASamples);
  }

  void Stop()
  {
    QTest::mouseClick(Win->Controls().btnStop->Text, Qt::LeftButton);
    Settle();
  }

  void Settle() { WaitIdle(Win.get()); }

  audio::THandle PlaybackStream() const
  {
    for (const auto &[handle, stream] : Layer.OpenStreams)
      if (!stream.Decode)
        return handle;
    return 0;
  }

  QStringList Entries() const
  {
    QStringList names;
    const QAbstractItemModel *rows = Win->Controls().lbRecordings->model();
    for (int i = 0; i < rows->rowCount(); ++i)
      names << rows->index(i, 0).data().toString();
    return names;
  }

  QString Selected() const
  {
    const QListView *list = Win->Controls().lbRecordings;
    const QModelIndex row = list->currentIndex();
    return row.isValid() && list->selectionModel()->isSelected(row) ? row.data().toString()
                                                                     : QString();
  }

  std::string Setting(const char *ASection, const char *AKey) const
  {
    return platform::TIniFile(Ini).ReadString(ASection, AKey, "<none>");
  }
};

inline QString NativeTakePath(const fs::path &APath)
{
  return QDir::toNativeSeparators(Q(APath));
}

// Runs the window tests ATests under the program's own application object, so that
// errors reaching the event loop meet the general handler; a private home so that no
// real settings or documents are touched.
inline int RunWindowTests(int argc, char **argv, QObject &tests)
{
  static TTempDir home;
  qputenv("HOME", home.Path().string().c_str());
  qputenv("XDG_CONFIG_HOME", (home.Path() / "config").string().c_str());
  qputenv("XDG_DATA_HOME", (home.Path() / "data").string().c_str());
  qputenv("LC_ALL", "nl_NL.UTF-8");
  // A screen larger than the window (the plugin's own is 800 x 800), so that the window
  // keeps its design size; the suite runs one case again on small screens.
  const fs::path screens = home.Path() / "screens.json";
  const std::string screen = ScreenConfig();
  test::WriteBytes(screens, screen.data(), screen.size());
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens.string()).c_str());
  qputenv("QT_SCALE_FACTOR", qgetenv("PRAATKIST_TEST_SCALE").isEmpty()
                                 ? QByteArray("1")
                                 : qgetenv("PRAATKIST_TEST_SCALE"));
  praatkist::app::TPraatkistApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Praatkist"));
  InstallFontSubstitutes();
  return QTest::qExec(&tests, argc, argv);
}

} // namespace praatkist::test::window
