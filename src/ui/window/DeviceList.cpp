#include "ui/window/DeviceList.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QTimer>

#include "audio/BassRecorder.h"

namespace praatkist::ui {

TDeviceList::TDeviceList(QComboBox *ACombo, TBassRecorder *AEngine, QObject *AParent)
    : QObject(AParent), FCombo(ACombo), FEngine(AEngine), FTimer(new QTimer(this))
{
  FTimer->setObjectName(QStringLiteral("deviceTimer"));
  FTimer->setInterval(1000);
  connect(FTimer, &QTimer::timeout, this, &TDeviceList::Poll);
  connect(FCombo, &QComboBox::activated, this, [this] { FWanted = FCombo->currentText(); });
}

void TDeviceList::Fill()
{
  FCombo->clear();
  if (FEngine == nullptr)
    return;
  FSerial = FEngine->DeviceListSerial();
  for (const TCaptureDevice &device : FEngine->CaptureDevices())
    FCombo->addItem(QString::fromStdString(device.Name), device.Index);
  int wanted =
      FWanted.isEmpty() ? -1 : FCombo->findText(FWanted, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (wanted < 0 && FCombo->count() > 0)
    wanted = 0;
  FCombo->setCurrentIndex(wanted);
  emit Refilled();
}

void TDeviceList::Poll()
{
  if (FEngine == nullptr || (MayRefill && !MayRefill()) || FCombo->view()->isVisible())
    return;
  if (FEngine->DeviceListSerial() != FSerial)
    Fill();
}

void TDeviceList::Follow(bool AOn)
{
  if (AOn && FEngine != nullptr)
    FTimer->start();
  else
    FTimer->stop();
}

void TDeviceList::SetWanted(const QString &AName)
{
  FWanted = AName;
  const int index = FCombo->findText(AName, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (!AName.isEmpty() && index >= 0)
    FCombo->setCurrentIndex(index);
}

int TDeviceList::Chosen() const
{
  return FCombo->currentIndex() < 0 ? -1 : FCombo->currentData().toInt();
}

} // namespace praatkist::ui
