// The take's flow without any window: its one state through record, stop, trim, load
// and play, the take's path handed back as it came in, and what it tells meanwhile.

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "audio/BassRecorder.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "ui/flow/TakeFlow.h"

using namespace praatkist;
using namespace praatkist::ui;
using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;

Q_DECLARE_METATYPE(praatkist::ui::TTakeState)

namespace {

// Half a second of silence, a second at AValue, half a second of silence (stereo).
std::vector<std::int16_t> Take(std::int16_t AValue)
{
  std::vector<std::int16_t> s(2 * 48000 * 2, 0);
  std::fill(s.begin() + 48000, s.begin() + 3 * 48000, AValue);
  return s;
}

struct TFlowKit {
  explicit TFlowKit(const TEngineTuning &ATuning = {}) : Engine(Layer, ATuning) {}

  TTempDir Dir;
  TScriptedAudioLayer Layer;
  TBassRecorder Engine;
  std::uint64_t Now = 1000;
  TTakeFlow Flow{&Engine, [this] { return Now; }};
  QSignalSpy States{&Flow, &TTakeFlow::StateChanged};
  QSignalSpy Status{&Flow, &TTakeFlow::StatusText};
  QSignalSpy Failures{&Flow, &TTakeFlow::Failed};
  QString Path = QString::fromStdString((Dir / "Koor-1.wav").string());

  // ATrim: the options given at the start trim the take at its stop.
  void Record(std::int16_t AValue, bool ATrim = false)
  {
    TTakeOptions options;
    options.Trim = ATrim;
    QVERIFY(Flow.Record(options, Path));
    const std::vector<std::int16_t> take = Take(AValue);
    for (std::size_t at = 0; at < take.size(); at += 9600)
      Layer.Deliver(
          std::vector<std::int16_t>(take.begin() + long(at), take.begin() + long(at + 9600)));
  }

  QList<TTakeState> Seen() const
  {
    QList<TTakeState> seen;
    for (const auto &args : States)
      seen << args.at(0).value<TTakeState>();
    return seen;
  }

  QStringList Said() const
  {
    QStringList said;
    for (const auto &args : Status)
      said << args.at(0).toString();
    return said;
  }
};

} // namespace

class TestTakeFlow : public QObject {
  Q_OBJECT

private slots:
  void trimmedTakeWalksEveryStateWithItsOnePath()
  {
    TFlowKit kit;
    QSignalSpy ended(&kit.Flow, &TTakeFlow::TakeEnded);
    QSignalSpy loaded(&kit.Flow, &TTakeFlow::TakeLoaded);
    // The end is told once the flow is Idle, and the status of its trim came before.
    TTakeState stateAtEnd = TTakeState::Closing;
    QString saidAtEnd;
    connect(&kit.Flow, &TTakeFlow::TakeEnded, &kit.Flow, [&] {
      stateAtEnd = kit.Flow.State();
      saidAtEnd = kit.Said().last();
    });
    kit.Record(12000, true);
    QCOMPARE(kit.Flow.State(), TTakeState::Recording);
    QVERIFY(kit.Flow.Timer()->isActive());
    QCOMPARE(kit.Said().last(), QStringLiteral("Opname: Koor-1.wav"));

    kit.Flow.Stop();
    QVERIFY(!kit.Flow.Timer()->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(kit.Flow.State(), TTakeState::Idle, 10000);
    QCOMPARE(kit.Seen(),
             (QList<TTakeState>{TTakeState::Recording, TTakeState::Stopping, TTakeState::Trimming,
                                TTakeState::Loading, TTakeState::Idle}));
    QCOMPARE(ended.count(), 1);
    const auto end = ended.at(0).at(0).value<TTakeEnd>();
    QCOMPARE(end.Path, kit.Path);
    QVERIFY(end.Complete);
    QCOMPARE(end.Trim.Outcome, TTrimOutcome::Trimmed);
    QVERIFY(end.Trim.StartSeconds > 0.0 && end.Trim.EndSeconds > 0.0);
    // One job: the take's analysis comes with its end, not as a load of its own.
    QVERIFY(loaded.isEmpty());
    const TAnalysisResult &result = end.Analysis;
    QCOMPARE(result.Path, kit.Path);
    QVERIFY(result.Ok && result.TrimActive);
    QCOMPARE(result.TrimStartSeconds, end.Trim.StartSeconds);
    QCOMPARE(stateAtEnd, TTakeState::Idle);
    QVERIFY(saidAtEnd.startsWith(QStringLiteral("Getrimd: 0")));
    QVERIFY(kit.Said().last().startsWith(QStringLiteral("Getrimd: 0")));
    QVERIFY(kit.Failures.isEmpty());
    QVERIFY(!kit.Flow.Busy());
  }

  void untrimmedTakeIsKeptAndPlaysToItsEnd()
  {
    TFlowKit kit;
    QSignalSpy resets(&kit.Flow, &TTakeFlow::PlaybackReset);
    QSignalSpy clock(&kit.Flow, &TTakeFlow::ClockChanged);
    kit.Record(12000);
    kit.Now += 2500;
    kit.Flow.Tick();
    QCOMPARE(clock.last().at(0).toString(), QStringLiteral("00:02"));
    kit.Flow.Stop();
    QTRY_COMPARE_WITH_TIMEOUT(kit.Flow.State(), TTakeState::Idle, 10000);
    QVERIFY(!kit.Seen().contains(TTakeState::Trimming));
    QCOMPARE(kit.Said().last(), QStringLiteral("Bewaard: ") + kit.Path);

    QVERIFY(kit.Flow.Play(kit.Path));
    QCOMPARE(kit.Flow.State(), TTakeState::Playing);
    QVERIFY(kit.Flow.Timer()->isActive());
    QCOMPARE(clock.last().at(0).toString(), QStringLiteral("00:00 / 00:02"));
    for (const auto &[handle, stream] : kit.Layer.OpenStreams)
      if (!stream.Decode)
        kit.Layer.SetPlaybackPosition(handle, 0, true);
    kit.Flow.Tick();
    QCOMPARE(kit.Flow.State(), TTakeState::Idle);
    QCOMPARE(resets.count(), 1);
    QVERIFY(!kit.Flow.Timer()->isActive());
    QCOMPARE(kit.Said().last(), QStringLiteral("Weergave beëindigd"));
  }

  // With Vooropname the input is opened once: a take's stop gives the channel back to
  // it, a playback closes it (the meter shows the playback), the end of the playback
  // opens it again, and the wish going off closes it.
  void inputStaysOpenBetweenTakesAndClosesForPlayback()
  {
    TFlowKit kit;
    const auto count = [&kit](const char *ACall) {
      return std::count(kit.Layer.Log.begin(), kit.Layer.Log.end(), std::string(ACall));
    };
    TInputWish wish;
    wish.On = true;
    wish.Input = {0, 48000, 2, 1000};
    kit.Flow.SetInput(wish);
    QVERIFY(kit.Engine.InputOpen());
    kit.Record(12000);
    kit.Flow.Stop();
    QTRY_COMPARE_WITH_TIMEOUT(kit.Flow.State(), TTakeState::Idle, 10000);
    QVERIFY(kit.Engine.InputOpen());
    QVERIFY(kit.Flow.Facts().InputOpen);
    QCOMPARE(count("RecordInit"), 1);
    QCOMPARE(count("RecordFree"), 0);
    // a second take begins on that input
    kit.Path = QString::fromStdString((kit.Dir / "Koor-2.wav").string());
    kit.Record(9000);
    QCOMPARE(count("RecordInit"), 1);
    kit.Flow.Stop();
    QTRY_COMPARE_WITH_TIMEOUT(kit.Flow.State(), TTakeState::Idle, 10000);

    QVERIFY(kit.Flow.Play(kit.Path));
    QVERIFY(!kit.Engine.InputOpen());
    kit.Flow.StopPlayback();
    QVERIFY(kit.Engine.InputOpen());
    QCOMPARE(count("RecordInit"), 2);
    wish.On = false;
    kit.Flow.SetInput(wish);
    QVERIFY(!kit.Engine.InputOpen());
  }

  void refusedStartAndLostInputAreFailures()
  {
    TFlowKit kit;
    kit.Layer.FailNext("RecordStart", audio::kErrDevice);
    QVERIFY(!kit.Flow.Record(TTakeOptions{}, kit.Path));
    QCOMPARE(kit.Flow.State(), TTakeState::Idle);
    QVERIFY(kit.Flow.TakePath().isEmpty());
    QCOMPARE(kit.Failures.count(), 1);
    QVERIFY(kit.States.isEmpty());

    // A take whose input vanishes ends by itself at the next tick, untrimmed.
    kit.Record(12000);
    kit.Layer.LoseDevice();
    kit.Flow.Tick();
    QTRY_COMPARE_WITH_TIMEOUT(kit.Flow.State(), TTakeState::Idle, 10000);
    QVERIFY(!kit.Seen().contains(TTakeState::Trimming));
    QCOMPARE(kit.Failures.count(), 2);
    QCOMPARE(kit.Said().last(), kit.Failures.last().at(0).toString());
  }

  // A take the engine ended by itself is told in the flow's words for its cause.
  void takeEndedByItselfSaysWhy()
  {
    struct TRow {
      const char *Why;
      TEngineTuning Tuning;
      void (*Cause)(TFlowKit &);
    };
    const TRow rows[] = {
        {"Opname gestopt: de audio-ingang is weggevallen.", {},
         [](TFlowKit &k) { k.Layer.LoseDevice(); }},
        {"Opname gestopt: het bestand kon niet snel genoeg worden geschreven.", {},
         [](TFlowKit &k) { k.Layer.LoseData(); }},
#ifndef _WIN32 // Windows keeps a file that is open from being removed
        {"Opname gestopt: het bestand kon niet verder worden geschreven.", {},
         [](TFlowKit &k) { std::filesystem::remove(k.Dir / "Koor-1.wav"); }},
#endif
        // the take's delivery passes the limit
        {"Opname gestopt: de maximale grootte van een WAV-bestand is bereikt.",
         {.WaveDataLimit = 1000}, [](TFlowKit &) {}},
    };
    for (const TRow &row : rows) {
      TFlowKit kit(row.Tuning);
      QSignalSpy ended(&kit.Flow, &TTakeFlow::TakeEnded);
      kit.Record(12000);
      row.Cause(kit);
      kit.Flow.Tick();
      QVERIFY(ended.wait(10000));
      QCOMPARE(kit.Failures.count(), 1);
      QCOMPARE(kit.Failures.last().at(0).toString(), QString::fromUtf8(row.Why));
    }
  }
};

QTEST_GUILESS_MAIN(TestTakeFlow)
#include "test_take_flow.moc"
