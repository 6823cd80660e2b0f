#pragma once
// TInputKeeper: the input kept open between takes (Vooropname), so that a take can
// begin with what was said just before its start. It opens, reopens and closes the
// engine's input as the wish says and as the take's flow allows, and notices when the
// device goes away.

#include <QObject>
#include <QString>

#include "audio/BassRecorder.h"

namespace praatkist::ui {

// The open input between takes: on or off, and what it is opened with.
struct TInputWish {
  bool On = false;
  TInputFormat Input{-1, kDefaultSampleRate, 2, kDefaultPreRollMs}; // device -1: none chosen, nothing opens
  QString DeviceName; // the device at Input.Device when the wish was made

  bool operator==(const TInputWish &) const = default;
};

class TInputKeeper : public QObject {
  Q_OBJECT

public:
  // AEngine may be null: nothing is then ever opened.
  explicit TInputKeeper(TBassRecorder *AEngine, QObject *AParent = nullptr);

  void SetWish(const TInputWish &AWish) { FWish = AWish; }
  // The wish goes off (the window closes).
  void Drop() { FWish.On = false; }
  bool Open() const;

  // Opens, reopens or closes the input as the wish says: kept only while AMayKeep,
  // opened only while AMayOpen (nothing else holds the input or the take's file).
  // False when it should have opened but could not (said in the status line once,
  // unless AQuiet).
  bool Sync(bool AMayKeep, bool AMayOpen, bool AQuiet = false);
  // Between takes, with ALost as the tick read it: true when the input was lost since
  // the last look (it is closed and opened again where it is back already; else said in
  // the status line).
  bool CheckLost(bool ALost, bool AMayKeep, bool AMayOpen);

signals:
  void StatusText(const QString &AText);
  // The input closed: the meter goes to rest.
  void Closed();

private:
  TBassRecorder *FEngine;
  TInputWish FWish;
  TInputWish FOpened; // what the open input was opened for
  bool FSaidProblem = false;
};

} // namespace praatkist::ui
