// The enable rule as a table: every state of the take against the facts that matter
// (an engine, ready to record, a take selected, its trim, MP3 chosen, work running);
// a pause and the open input change nothing.

#include <QtTest>

#include "ui/flow/FlowView.h"

using namespace praatkist::ui;

Q_DECLARE_METATYPE(praatkist::ui::TTakeState)

namespace {

// The enabled controls as letters in a fixed order, '-' where off: Record, Stop,
// Listen, Delete, Undo the trim, Options, Bitrate.
QString Letters(const TEnables &AOn)
{
  QString s;
  s += AOn.Record ? 'R' : '-';
  s += AOn.Stop ? 'S' : '-';
  s += AOn.Listen ? 'L' : '-';
  s += AOn.Delete ? 'D' : '-';
  s += AOn.UndoTrim ? 'U' : '-';
  s += AOn.Options ? 'O' : '-';
  s += AOn.Bitrate ? 'B' : '-';
  return s;
}

// Facts by letter: e engine, r ready to record, s selected, t trimmed, m MP3, w working,
// p paused, i input open.
TFlowView View(TTakeState AState, const QString &AFacts)
{
  TFlowView v;
  v.Flow.State = AState;
  v.Flow.Engine = AFacts.contains('e');
  v.Flow.Working = AFacts.contains('w');
  v.Flow.Paused = AFacts.contains('p');
  v.Flow.InputOpen = AFacts.contains('i');
  v.Window.RecordReady = AFacts.contains('r');
  v.Window.Selected = AFacts.contains('s');
  v.Window.Trimmed = AFacts.contains('t');
  v.Window.Mp3 = AFacts.contains('m');
  return v;
}

} // namespace

class TestEnableRule : public QObject {
  Q_OBJECT

private slots:
  void table_data()
  {
    QTest::addColumn<TTakeState>("state");
    QTest::addColumn<QString>("facts");
    QTest::addColumn<QString>("enabled");
    using S = TTakeState;
    // Idle and Playing: nothing held, each control by its own facts.
    for (const auto &[state, name] : {std::pair{S::Idle, "idle"}, std::pair{S::Playing, "playing"}}) {
      const auto row = [&](const char *AWhat, const char *AFacts, const char *AEnabled) {
        QTest::addRow("%s, %s", name, AWhat) << state << QString(AFacts) << QString(AEnabled);
      };
      row("all", "ersmt", "R-LDUOB");
      row("working", "ersmtw", "R-L--OB");
      row("nothing", "", "-----O-");
      row("no engine", "rsmt", "R----OB");
      row("not ready", "esmt", "--LDUOB");
      row("none selected", "ermt", "R---UOB");
      row("not trimmed", "ersm", "R-LD-OB");
      row("WAV", "erst", "R-LDUO-");
      row("input open", "ersmti", "R-LDUOB");
    }
    // Recording: only the record button (pause, resume) and stop.
    QTest::newRow("recording, all") << S::Recording << QString("ersmtw") << QString("RS-----");
    QTest::newRow("recording, paused") << S::Recording << QString("ersmtp") << QString("RS-----");
    QTest::newRow("recording, nothing") << S::Recording << QString() << QString("RS-----");
    // From the stop until the take is shown, and while a close waits: all held.
    for (const auto &[state, name] :
         {std::pair{S::Stopping, "stopping"}, std::pair{S::Trimming, "trimming"},
          std::pair{S::Loading, "loading"}, std::pair{S::Closing, "closing"}}) {
      QTest::addRow("%s, all", name) << state << QString("ersmti") << QString("-------");
      QTest::addRow("%s, working", name) << state << QString("ersmtw") << QString("-------");
      QTest::addRow("%s, nothing", name) << state << QString() << QString("-------");
    }
  }

  void table()
  {
    QFETCH(TTakeState, state);
    QFETCH(QString, facts);
    QFETCH(QString, enabled);
    QCOMPARE(Letters(EnableRule(View(state, facts))), enabled);
  }
};

QTEST_GUILESS_MAIN(TestEnableRule)
#include "test_enable_rule.moc"
