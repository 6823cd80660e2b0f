#include "ui/widgets/Accessibility.h"

#include "audio/TakeFormat.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <algorithm>
#include <cmath>

#include "ui/widgets/LevelMeterWidget.h"
#include "ui/widgets/PanelButton.h"

namespace praatkist::ui {

namespace {

// A push button: its caption is its name, its press action its click.
class TPanelButtonAccessible : public QAccessibleWidget {
public:
  explicit TPanelButtonAccessible(TPanelButton *AButton)
      : QAccessibleWidget(AButton, QAccessible::Button)
  {
  }

  TPanelButton *Button() const { return static_cast<TPanelButton *>(widget()); }

  QString text(QAccessible::Text AText) const override
  {
    if (AText == QAccessible::Name && Button()->accessibleName().isEmpty())
      return Button()->Text->text();
    if (AText == QAccessible::Accelerator)
      return Button()->Keys.toString(QKeySequence::NativeText);
    return QAccessibleWidget::text(AText);
  }

  // The glyph and the caption are the button's look, not parts of their own.
  int childCount() const override { return 0; }
  QAccessibleInterface *child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface *) const override { return -1; }

  QStringList actionNames() const override { return {pressAction()}; }

  void doAction(const QString &AAction) override
  {
    if (AAction == pressAction())
      Button()->Press();
  }

  QStringList keyBindingsForAction(const QString &AAction) const override
  {
    if (AAction == pressAction() && !Button()->Keys.isEmpty())
      return {Button()->Keys.toString(QKeySequence::NativeText)};
    return {};
  }
};

// The level meter: a read-only value in dB, said in its description too.
class TLevelMeterAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
  explicit TLevelMeterAccessible(TLevelMeterWidget *AMeter)
      : QAccessibleWidget(AMeter, QAccessible::ProgressBar)
  {
  }

  TLevelMeterWidget *Meter() const { return static_cast<TLevelMeterWidget *>(widget()); }
  double Db() const { return MeterLevelDb(Meter()->Tag); }

  QString text(QAccessible::Text AText) const override
  {
    if (AText == QAccessible::Value)
      return QStringLiteral("%1 dB").arg(std::lround(Db()));
    if (AText == QAccessible::Description)
      return QStringLiteral("%1 dB").arg(std::lround(Db())) +
             (Meter()->Clipped() ? QStringLiteral(", overstuurd") : QString());
    return QAccessibleWidget::text(AText);
  }

  void *interface_cast(QAccessible::InterfaceType AType) override
  {
    if (AType == QAccessible::ValueInterface)
      return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(AType);
  }

  QVariant currentValue() const override { return Db(); }
  void setCurrentValue(const QVariant &) override {}
  QVariant maximumValue() const override { return 6.0; }
  QVariant minimumValue() const override { return -60.0; }
  QVariant minimumStepSize() const override { return 0.0; }
};

QAccessibleInterface *MainWindowWidgets(const QString &, QObject *AObject)
{
  if (auto *button = qobject_cast<TPanelButton *>(AObject))
    return new TPanelButtonAccessible(button);
  if (auto *meter = qobject_cast<TLevelMeterWidget *>(AObject))
    return new TLevelMeterAccessible(meter);
  return nullptr;
}

} // namespace

double MeterLevelDb(long long ATag)
{
  if (ATag <= 0)
    return -60.0;
  return std::clamp(20.0 * std::log10(static_cast<double>(ATag) / kFullScale), -60.0, 6.0);
}

void InstallAccessibleInterfaces()
{
  static bool installed = false;
  if (installed)
    return;
  installed = true;
  QAccessible::installFactory(MainWindowWidgets);
}

} // namespace praatkist::ui
