// Analysis and a take's end (stop, trim, analysis) off the window's thread: results
// as the engine gives them, only the latest analysis delivered, cancels that leave the
// take whole, and the safe end. A layer that holds the worker inside a read of a chosen
// file makes every interleaving exact.

#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "audio/codec/WavHeader.h"
#include "platform/FileOps.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"
#include "ui/flow/PeaksCache.h"
#include "ui/flow/TakeWork.h"

using namespace praatkist;
using namespace praatkist::ui;
using praatkist::test::ReadBytes;
using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;

namespace {

namespace fs = std::filesystem;

QString Q(const fs::path &APath)
{
  return QString::fromStdString(APath.string());
}

// A 48 kHz take: Seconds of silence with a tone from From to To seconds.
void WriteTake(const fs::path &APath, double ASeconds, double AFrom, double ATo,
               std::uint16_t AChannels = 2)
{
  const auto frames = static_cast<std::size_t>(ASeconds * 48000);
  std::vector<std::int16_t> s(frames * AChannels, 0);
  for (std::size_t f = static_cast<std::size_t>(AFrom * 48000);
       f < static_cast<std::size_t>(ATo * 48000) && f < frames; ++f)
    for (std::size_t c = 0; c < AChannels; ++c)
      s[f * AChannels + c] = static_cast<std::int16_t>((f % 100) * 300 - 15000 + 500 * c);
  test::WriteWave(APath, 48000, AChannels, s);
}

// Reads of a stream opened on a file whose name ends in a chosen suffix wait while the
// gate is shut, from the At-th read of such a stream on; the waiting read tells that
// the worker has arrived.
class TGatedLayer : public TScriptedAudioLayer {
public:
  void Shut(const std::string &ASuffix, int AAt = 1)
  {
    const std::lock_guard lock(FGate);
    FSuffix = ASuffix;
    FAt = AAt;
    FSeen = 0;
    FShut = true;
    FArrived = false;
  }
  void Open()
  {
    {
      const std::lock_guard lock(FGate);
      FShut = false;
    }
    FWake.notify_all();
  }
  bool WaitArrived()
  {
    std::unique_lock lock(FGate);
    return FWake.wait_for(lock, std::chrono::seconds(20), [this] { return FArrived; });
  }
  // Blocks read from streams on files ending in ASuffix.
  int Reads(const std::string &ASuffix)
  {
    const std::lock_guard lock(FGate);
    int n = 0;
    for (const auto &[path, count] : FReads)
      if (EndsWith(path, ASuffix))
        n += count;
    return n;
  }

  audio::THandle StreamCreateFile(const fs::path &file, bool decode) override
  {
    const audio::THandle h = TScriptedAudioLayer::StreamCreateFile(file, decode);
    const std::lock_guard lock(FGate);
    FPaths[h] = file.string();
    return h;
  }
  std::uint32_t ChannelGetData(audio::THandle channel, void *buffer, std::uint32_t length) override
  {
    {
      std::unique_lock lock(FGate);
      const std::string path = FPaths[channel];
      ++FReads[path];
      if (FShut && EndsWith(path, FSuffix) && ++FSeen >= FAt) {
        FArrived = true;
        FWake.notify_all();
        FWake.wait(lock, [this] { return !FShut; });
      }
    }
    return TScriptedAudioLayer::ChannelGetData(channel, buffer, length);
  }

private:
  static bool EndsWith(const std::string &AText, const std::string &ASuffix)
  {
    return AText.size() >= ASuffix.size() &&
           AText.compare(AText.size() - ASuffix.size(), ASuffix.size(), ASuffix) == 0;
  }
  std::mutex FGate;
  std::condition_variable FWake;
  std::string FSuffix;
  int FAt = 1;
  int FSeen = 0;
  bool FShut = false;
  bool FArrived = false;
  std::map<audio::THandle, std::string> FPaths;
  std::map<std::string, int> FReads;
};

TAnalysisResult AnalysisOf(const QSignalSpy &ASpy, int AIndex)
{
  return ASpy.at(AIndex).at(0).value<TAnalysisResult>();
}

TTakeEnd EndOf(const QSignalSpy &ASpy, int AIndex)
{
  return ASpy.at(AIndex).at(0).value<TTakeEnd>();
}

} // namespace

class TestTakeWork : public QObject {
  Q_OBJECT

private slots:
  void initTestCase()
  {
    qRegisterMetaType<TAnalysisResult>();
    qRegisterMetaType<TTakeEnd>();
    qRegisterMetaType<TTrimResult>();
    qRegisterMetaType<TEndStage>();
    qRegisterMetaType<TWorkKind>();
  }

  void analysisEqualsDirectCall_data();
  void analysisEqualsDirectCall();
  void endTrimsAsTheDirectCall();
  void newerAnalysisCancelsOlder_data();
  void newerAnalysisCancelsOlder();
  void analysisWaitsBehindTrim();
  void safeEndDuringAnalysis();
  void safeEndDuringTrim_data();
  void safeEndDuringTrim();
  void cachedTakeShownAtOnce();
  void endStopsOffTheWindowThread();
};

void TestTakeWork::analysisEqualsDirectCall_data()
{
  QTest::addColumn<int>("channels");
  QTest::addColumn<bool>("trimmed");
  QTest::addColumn<bool>("exists");
  QTest::newRow("stereo") << 2 << false << true;
  QTest::newRow("mono, trimmed") << 1 << true << true;
  QTest::newRow("missing file") << 2 << false << false;
}

void TestTakeWork::analysisEqualsDirectCall()
{
  QFETCH(int, channels);
  QFETCH(bool, trimmed);
  QFETCH(bool, exists);
  TTempDir dir;
  const fs::path take = dir / "s-1.wav";
  if (exists)
    WriteTake(take, 3.0, 0.7, 2.2, static_cast<std::uint16_t>(channels));
  if (trimmed) {
    std::ofstream(audio::BackupPath(take)) << "x";
    test::WriteTrimRecord(take, "1.25", "0.5");
  }
  TScriptedAudioLayer layer;
  TBassRecorder engine(layer);

  std::vector<std::int32_t> left, right;
  double duration = 0; // a failed analysis gives nothing
  int chans = 0;
  QString error;
  try {
    {
      TWaveAnalysis wave = engine.AnalyzeFile(take, 2000);
      left = std::move(wave.LeftPeaks);
      right = std::move(wave.RightPeaks);
      duration = wave.Duration;
      chans = wave.ChannelCount;
    }
  } catch (const std::exception &e) {
    error = QString::fromUtf8(e.what());
  }
  double start = 0, end = 0;
  const TTrimCut info = engine.ReadTrimInfo(take);
  start = info.StartSeconds;
  end = info.EndSeconds;
  const bool active = info.Trimmed;

  TTakeWork work(engine);
  QSignalSpy done(&work, &TTakeWork::AnalysisDone);
  QVERIFY(work.Analyze(Q(take)));
  QVERIFY(work.Busy());
  QCOMPARE(work.Running(), TWorkKind::Analysis);
  QVERIFY(done.wait(20000));
  QVERIFY(!work.Busy());
  const TAnalysisResult r = AnalysisOf(done, 0);
  QCOMPARE(r.Path, Q(take));
  QCOMPARE(r.Ok, error.isEmpty());
  QCOMPARE(r.Error, error);
  QCOMPARE(r.PeaksLeft, left);
  QCOMPARE(r.PeaksRight, right);
  QCOMPARE(r.Duration, duration);
  QCOMPARE(r.Channels, chans);
  if (exists) {
    QVERIFY(!left.empty());
    QCOMPARE(r.TrimActive, active);
    QCOMPARE(r.TrimStartSeconds, start);
    QCOMPARE(r.TrimEndSeconds, end);
    QCOMPARE(r.TrimActive, trimmed);
  } else {
    QVERIFY(error.contains(QStringLiteral("Analyseren van opname mislukt")));
  }
  QVERIFY(!r.FromCache);
}

void TestTakeWork::endTrimsAsTheDirectCall()
{
  TTempDir dir;
  const fs::path direct = dir / "a-1.wav";
  const fs::path worked = dir / "b-1.wav";
  WriteTake(direct, 3.0, 0.7, 2.2);
  WriteTake(worked, 3.0, 0.7, 2.2);
  TScriptedAudioLayer layer;
  TBassRecorder engine(layer);
  double start = 0, end = 0;
  const TTrimCut cut = engine.TrimSilence(direct, rfWave, 192);
  start = cut.StartSeconds;
  end = cut.EndSeconds;
  QVERIFY(cut.Trimmed);

  TTakeWork work(engine);
  QSignalSpy done(&work, &TTakeWork::TakeEnded);
  // What runs at each stage, as the stage begins.
  QList<TWorkKind> running;
  QList<TEndStage> stages;
  connect(&work, &TTakeWork::EndStage, &work, [&](TEndStage AStage) {
    stages << AStage;
    running << work.Running();
  });
  // No take runs: the stop finds nothing to do, and the end goes on with the file.
  QVERIFY(work.EndTake(Q(worked), true, rfWave, 192));
  QVERIFY(!work.EndTake(Q(worked), true, rfWave, 192)); // one end at a time
  QVERIFY(work.Busy());
  QCOMPARE(work.Running(), TWorkKind::None); // stopping
  QVERIFY(done.wait(20000));
  QCOMPARE(done.count(), 1);
  QCOMPARE(stages, (QList<TEndStage>{TEndStage::Trimming, TEndStage::Loading}));
  QCOMPARE(running, (QList<TWorkKind>{TWorkKind::Trim, TWorkKind::Analysis}));
  QVERIFY(!work.Busy());
  const TTakeEnd r = EndOf(done, 0);
  QCOMPARE(r.Path, Q(worked));
  QVERIFY(r.Complete);
  QCOMPARE(r.Trim.Outcome, TTrimOutcome::Trimmed);
  QCOMPARE(r.Trim.StartSeconds, start);
  QCOMPARE(r.Trim.EndSeconds, end);
  QCOMPARE(ReadBytes(worked), ReadBytes(direct));
  // The analysis is of the take as its trim left it.
  QVERIFY(r.Analysis.Ok && r.Analysis.TrimActive);
  QCOMPARE(r.Analysis.Path, Q(worked));
  QCOMPARE(r.Analysis.TrimStartSeconds, start);
  // The records name their own takes; the amounts they hold are the same.
  double recordStart = 0, recordEnd = 0;
  const TTrimCut info2 = engine.ReadTrimInfo(worked);
  recordStart = info2.StartSeconds;
  recordEnd = info2.EndSeconds;
  QVERIFY(info2.Trimmed);
  QCOMPARE(recordStart, start);
  QCOMPARE(recordEnd, end);

  // A failure carries the engine's message exactly.
  QString expected;
  try {
    {
      const TTrimCut cut2 = engine.TrimSilence(dir / "gone.wav", rfWave, 192);
      start = cut2.StartSeconds;
      end = cut2.EndSeconds;
    }
  } catch (const std::exception &e) {
    expected = QString::fromUtf8(e.what());
  }
  QVERIFY(work.EndTake(Q(dir / "gone.wav"), true, rfWave, 192));
  QVERIFY(done.wait(20000));
  QCOMPARE(EndOf(done, 1).Trim.Outcome, TTrimOutcome::Failed);
  QCOMPARE(EndOf(done, 1).Trim.Error, expected);
  QVERIFY(!EndOf(done, 1).Analysis.Ok);
}

void TestTakeWork::newerAnalysisCancelsOlder_data()
{
  // Held at the take's first block, or at its last (counted on a reading of its own).
  QTest::addColumn<bool>("atLast");
  QTest::newRow("cancelled while reading") << false;
  QTest::newRow("finished before the cancel was seen") << true;
}

void TestTakeWork::newerAnalysisCancelsOlder()
{
  QFETCH(bool, atLast);
  TTempDir dir;
  const fs::path first = dir / "s-1.wav";
  const fs::path second = dir / "s-2.wav";
  WriteTake(first, 5.0, 1, 4);
  WriteTake(second, 2.0, 0.5, 1.5, 1);
  TGatedLayer layer;
  TBassRecorder engine(layer);
  TTakeWork work(engine);
  int blocks = 0; // of one reading of the first take
  {
    QSignalSpy read(&work, &TTakeWork::AnalysisDone);
    QVERIFY(work.Analyze(Q(first)));
    QVERIFY(read.wait(20000));
    blocks = layer.Reads("s-1.wav");
    QVERIFY(blocks > 1);
  }
  const int heldAt = atLast ? blocks : 1;
  QSignalSpy done(&work, &TTakeWork::AnalysisDone);

  layer.Shut("s-1.wav", heldAt);
  QVERIFY(work.Analyze(Q(first)));
  QVERIFY(layer.WaitArrived());
  QVERIFY(work.Analyze(Q(second)));
  QCOMPARE(work.AnalysisPath(), Q(second));
  layer.Open();
  QVERIFY(done.wait(20000));
  // One worker runs the requests in turn: a result of the first would have been posted
  // before the second's and been handled by now.
  QCoreApplication::sendPostedEvents();
  QCOMPARE(done.count(), 1);
  QCOMPARE(AnalysisOf(done, 0).Path, Q(second));
  QCOMPARE(AnalysisOf(done, 0).Channels, 1);
  QCOMPARE(layer.Reads("s-1.wav") - blocks, heldAt);

  // Withdrawn without a newer request: nothing comes.
  layer.Shut("s-1.wav", heldAt);
  QVERIFY(work.Analyze(Q(first)));
  QVERIFY(layer.WaitArrived());
  work.CancelAnalysis();
  QVERIFY(!work.Busy());
  // A take's end queued behind it (no take runs: its stop finds nothing to do) tells
  // when the worker is through with the withdrawn analysis.
  QSignalSpy ended(&work, &TTakeWork::TakeEnded);
  QVERIFY(work.EndTake(Q(second), false, rfWave, 192));
  layer.Open();
  QVERIFY(ended.wait(20000));
  QCOMPARE(done.count(), 1);
}

void TestTakeWork::analysisWaitsBehindTrim()
{
  TTempDir dir;
  const fs::path take = dir / "s-1.wav";
  WriteTake(take, 5.0, 1, 4);
  TGatedLayer layer;
  TBassRecorder engine(layer);
  TTakeWork work(engine);
  QSignalSpy done(&work, &TTakeWork::TakeEnded);
  QSignalSpy progress(&work, &TTakeWork::Progress);

  // Held in the scan of the take (a WAV's kept range is then copied by the kernel,
  // past the layer).
  layer.Shut("s-1.wav");
  QVERIFY(work.EndTake(Q(take), true, rfWave, 192));
  QVERIFY(layer.WaitArrived());
  QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty(), 20000);
  QCOMPARE(progress.last().at(0).value<TWorkKind>(), TWorkKind::Trim);
  QCOMPARE(work.Percent(), progress.last().at(1).toInt());
  // An analysis asked for now waits behind the trim.
  QSignalSpy analysed(&work, &TTakeWork::AnalysisDone);
  QVERIFY(work.Analyze(Q(take)));
  QCOMPARE(work.Running(), TWorkKind::Trim);

  layer.Open();
  QVERIFY(done.wait(20000));
  const TTakeEnd r = EndOf(done, 0);
  QCOMPARE(r.Trim.Outcome, TTrimOutcome::Trimmed);
  // The end's analysis is of the take as its trim left it.
  QVERIFY(r.Analysis.Ok && r.Analysis.TrimActive);
  // Then the analysis runs, on the take as it is.
  QVERIFY(work.Busy());
  QCOMPARE(work.Running(), TWorkKind::Analysis);
  QVERIFY(analysed.wait(20000));
  QVERIFY(AnalysisOf(analysed, 0).Ok && AnalysisOf(analysed, 0).TrimActive);
  QCOMPARE(AnalysisOf(analysed, 0).Duration, r.Analysis.Duration);
}

void TestTakeWork::safeEndDuringAnalysis()
{
  TTempDir dir;
  const fs::path take = dir / "s-1.wav";
  WriteTake(take, 5.0, 1, 4);
  TGatedLayer layer;
  TBassRecorder engine(layer);
  TTakeWork work(engine);
  QSignalSpy done(&work, &TTakeWork::AnalysisDone);
  QSignalSpy ended(&work, &TTakeWork::SafelyEnded);

  layer.Shut("s-1.wav");
  QVERIFY(work.Analyze(Q(take)));
  QVERIFY(layer.WaitArrived());
  work.BeginSafeEnd();
  QVERIFY(!work.Busy());
  layer.Open();
  QVERIFY(ended.wait(20000));
  work.WaitForSafeEnd();
  QVERIFY(!work.Analyze(Q(take)));
  QVERIFY(!work.EndTake(Q(take), true, rfWave, 192));
  // SafelyEnded was posted after anything else the worker posted.
  QCoreApplication::sendPostedEvents();
  QCOMPARE(done.count(), 0);
  QCOMPARE(layer.Reads("s-1.wav"), 1);
}

void TestTakeWork::safeEndDuringTrim_data()
{
  QTest::addColumn<bool>("cancel");
  QTest::newRow("cancelled") << true;
  QTest::newRow("finished") << false;
}

void TestTakeWork::safeEndDuringTrim()
{
  QFETCH(bool, cancel);
  TTempDir dir;
  const fs::path take = dir / "s-1.wav";
  WriteTake(take, 5.0, 1, 4);
  const auto before = ReadBytes(take);
  TGatedLayer layer;
  TBassRecorder engine(layer);
  TTakeWork work(engine);
  QSignalSpy done(&work, &TTakeWork::TakeEnded);

  layer.Shut("s-1.wav");
  QVERIFY(work.EndTake(Q(take), true, rfWave, 192));
  QVERIFY(layer.WaitArrived());
  // The safe end sets its flags while the trim is held; the wait then blocks this
  // thread until the worker is through, and the gate opens from another one. Which of
  // the two comes first does not change the outcome.
  work.BeginSafeEnd(cancel);
  std::thread opener([&layer] { layer.Open(); });
  work.WaitForSafeEnd(cancel);
  opener.join();

  QVERIFY(!fs::exists(audio::TrimTempPath(take)));
  if (cancel) {
    QCOMPARE(ReadBytes(take), before);
    QVERIFY(!fs::exists(audio::TrimRecordPath(take)));
  } else {
    // Sound from 1 s to 4 s keeps 0.9 s to 4.1 s.
    QCOMPARE(ReadBytes(take).size(), std::size_t{44 + 153600 * 4});
    QVERIFY(fs::exists(audio::TrimRecordPath(take)));
  }
  // The worker has ended: whatever it posted is handled now.
  QCoreApplication::sendPostedEvents();
  QCOMPARE(done.count(), 0);
}

void TestTakeWork::cachedTakeShownAtOnce()
{
  TTempDir dir;
  const fs::path take = dir / "s-1.wav";
  WriteTake(take, 5.0, 1, 4);
  TGatedLayer layer;
  TBassRecorder engine(layer);
  TPeaksCache cache;
  TTakeWork work(engine, &cache);
  QSignalSpy done(&work, &TTakeWork::AnalysisDone);

  QVERIFY(work.Analyze(Q(take)));
  QVERIFY(done.wait(20000));
  const int reads = layer.Reads("s-1.wav");
  // Again: answered before Analyze returns, without a read.
  QVERIFY(work.Analyze(Q(take)));
  QCOMPARE(done.count(), 2);
  QVERIFY(AnalysisOf(done, 1).FromCache);
  QVERIFY(!work.Busy());
  QCOMPARE(AnalysisOf(done, 1).PeaksLeft, AnalysisOf(done, 0).PeaksLeft);
  QCOMPARE(AnalysisOf(done, 1).Duration, AnalysisOf(done, 0).Duration);
  QVERIFY(AnalysisOf(done, 0).Figures.Measured);
  QVERIFY(AnalysisOf(done, 1).Figures == AnalysisOf(done, 0).Figures);
  QCOMPARE(layer.Reads("s-1.wav"), reads);

  // Trimmed on disk: analysed afresh, with its trim note.
  const TTrimCut cut = engine.TrimSilence(take, rfWave, 192);
  const double start = cut.StartSeconds;
  QVERIFY(cut.Trimmed);
  QVERIFY(work.Analyze(Q(take)));
  QCOMPARE(done.count(), 2);
  QVERIFY(done.wait(20000));
  const TAnalysisResult r = AnalysisOf(done, 2);
  QVERIFY(!r.FromCache);
  QVERIFY(r.TrimActive);
  QCOMPARE(r.TrimStartSeconds, start);
  QVERIFY(r.Duration < 5.0);
  // measured as it is now: less silence, so a higher RMS, the same peak
  QVERIFY(r.Figures.RmsDb > AnalysisOf(done, 0).Figures.RmsDb + 1.0);
  QCOMPARE(r.Figures.PeakDb, AnalysisOf(done, 0).Figures.PeakDb);
  // Undone: the restored take shows without its trim note.
  QVERIFY(engine.UndoTrim(take));
  QVERIFY(work.Analyze(Q(take)));
  QVERIFY(done.count() == 4 || done.wait(20000));
  QVERIFY(!AnalysisOf(done, 3).TrimActive);
  QCOMPARE(AnalysisOf(done, 3).Duration, 5.0);
  QVERIFY(AnalysisOf(done, 3).Figures == AnalysisOf(done, 0).Figures);
}

QTEST_MAIN(TestTakeWork)
#include "test_take_work.moc"

// A capture stop that takes its time, as the real one waits for the last audio: it
// holds until the test lets it go.
class TSlowStopLayer : public TScriptedAudioLayer {
public:
  std::atomic<bool> Held{true};
  std::atomic<bool> Arrived{false};
  void ChannelStop(audio::THandle channel) override
  {
    if (channel == RecordHandle) {
      Arrived = true;
      while (Held)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    TScriptedAudioLayer::ChannelStop(channel);
  }
};

void TestTakeWork::endStopsOffTheWindowThread()
{
  TTempDir dir;
  const fs::path take = dir / "s-1.wav";
  TSlowStopLayer layer;
  TBassRecorder engine(layer);
  TTakeWork work(engine);
  QSignalSpy ended(&work, &TTakeWork::TakeEnded);
  engine.Start({{0, 48000, 2}, rfWave, 192}, take);
  QVERIFY(layer.Deliver({100, -200, 300, -400}));

  QVERIFY(work.EndTake(Q(take), false, rfWave, 192));
  QVERIFY(!work.EndTake(Q(take), false, rfWave, 192)); // one end at a time
  QTRY_VERIFY_WITH_TIMEOUT(layer.Arrived.load(), 20000);
  QVERIFY(work.Busy());
  QCoreApplication::processEvents(); // the window's thread goes on meanwhile
  QCOMPARE(ended.count(), 0);
  layer.Held = false;
  QVERIFY(ended.wait(20000));
  QCOMPARE(EndOf(ended, 0).Path, Q(take));
  QVERIFY(EndOf(ended, 0).Complete);
  QCOMPARE(EndOf(ended, 0).Trim.Outcome, TTrimOutcome::NotAsked);
  QVERIFY(!work.Busy());
  QCOMPARE(test::Le32(ReadBytes(take), 40), 8u); // the final header

  // A file that could not be completed is said so, and not trimmed.
  const fs::path mp3 = dir / "s-2.mp3";
  engine.Start({{0, 48000, 2}, rfMP3, 192}, mp3);
  platform::SetFileFaultHook([](const char *step, const std::filesystem::path &) {
    return std::strcmp(step, "flush") == 0 ? ENOSPC : 0; // the MP3's last bytes
  });
  QVERIFY(work.EndTake(Q(mp3), true, rfMP3, 192));
  QVERIFY(ended.wait(20000));
  platform::SetFileFaultHook(nullptr);
  QVERIFY(!EndOf(ended, 1).Complete);
  QCOMPARE(EndOf(ended, 1).Trim.Outcome, TTrimOutcome::NotAsked);
}
