#pragma once
// TDeviceList: the input list (cbDevice). It lists the engine's capture devices (each
// entry carries its device index), keeps the device the user chose, found again by name
// whenever the list is refilled, and follows the system's list once a second while
// MayRefill allows.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QComboBox;
class QTimer;

namespace praatkist {
class TBassRecorder;
}

namespace praatkist::ui {

class TDeviceList : public QObject {
  Q_OBJECT

public:
  // AEngine may be null (no audio): the list then stays empty.
  TDeviceList(QComboBox *ACombo, TBassRecorder *AEngine, QObject *AParent = nullptr);

  // Fills the list from the engine; the chosen device, else the first, is selected.
  // Raises what the engine raises.
  void Fill();
  // Refills the list when the system's list has changed (not while MayRefill says no,
  // nor under the open list).
  void Poll();
  // Starts and stops the once-a-second poll.
  void Follow(bool AOn);

  // The device the user chose, kept while it is away.
  const QString &Wanted() const { return FWanted; }
  void SetWanted(const QString &AName);
  // The chosen device's index for the engine; -1 when none is selected.
  int Chosen() const;

  std::function<bool()> MayRefill;

signals:
  // The list was filled anew (the system's list changed).
  void Refilled();

private:
  QComboBox *FCombo;
  TBassRecorder *FEngine;
  QString FWanted;
  std::uint32_t FSerial = 0;
  QTimer *FTimer;
};

} // namespace praatkist::ui
