#include "ui/window/SpeakerCommand.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>
#include <QWidget>
#include <QWindow>

#include "session/SessionText.h"
#include "ui/flow/FlowView.h"
#include "ui/flow/TakeFlow.h"
#include "ui/window/TextCommands.h"

namespace praatkist::ui {

namespace {

QString BoxHint()
{
  return QStringLiteral("Toont de tekst groot op een ander scherm, voor wie voorleest; de "
                        "toetsen van dit venster werken daar ook (Alt+W)");
}

} // namespace

QString TSpeakerCommand::OneScreenHint()
{
  return QStringLiteral("Er is maar één scherm.");
}

TSpeakerCommand::TSpeakerCommand(QWidget *AMain, QCheckBox *ABox, const TTextCommands &ATexts)
    : QObject(nullptr), FMain(AMain), FBox(ABox), FTexts(ATexts),
      FWindow(std::make_unique<TSpeakerWindow>())
{
  FWindow->ForwardKey = [this](const QKeyEvent &APress) { return RunMainKey(APress); };
  connect(FBox, &QCheckBox::clicked, this, [this](bool AOn) { FSetting = AOn; });
  connect(FBox, &QCheckBox::toggled, this, &TSpeakerCommand::Update);
  connect(&FTexts, &TTextCommands::ItemShown, this, &TSpeakerCommand::Update);
  connect(&FTexts, &TTextCommands::ColumnChanged, this, &TSpeakerCommand::Update);
  // A screen unplugged has left the list of screens when this is told.
  connect(qGuiApp, &QGuiApplication::screenAdded, this, &TSpeakerCommand::Update);
  connect(qGuiApp, &QGuiApplication::screenRemoved, this, &TSpeakerCommand::Update);
  FMain->installEventFilter(this);
  Update();
}

TSpeakerCommand::~TSpeakerCommand() = default;

void TSpeakerCommand::Follow(const TTakeFlow &AFlow)
{
  connect(&AFlow, &TTakeFlow::StateChanged, this, &TSpeakerCommand::TakeState);
  connect(&AFlow, &TTakeFlow::FactsChanged, this, &TSpeakerCommand::TakeFacts);
  connect(&AFlow, &TTakeFlow::ClockChanged, this, [this](const QString &AText) {
    // The playback's clock is the main window's alone.
    if (FTakeRuns)
      FWindow->ShowClock(AText);
  });
}

void TSpeakerCommand::ShowLamp(TSpeakerLamp ALamp)
{
  FWindow->ShowLamp(ALamp);
}

void TSpeakerCommand::TakeState(TTakeState AState)
{
  const bool runs = AState == TTakeState::Recording;
  if (runs == FTakeRuns)
    return;
  FTakeRuns = runs;
  FPaused = false;
  if (runs)
    FWindow->ShowClock(QStringLiteral("00:00"));
  ShowLamp(runs ? TSpeakerLamp::Recording : TSpeakerLamp::Off);
}

void TSpeakerCommand::TakeFacts(const TFlowFacts &AFacts)
{
  if (!FTakeRuns || AFacts.Paused == FPaused)
    return;
  FPaused = AFacts.Paused;
  ShowLamp(FPaused ? TSpeakerLamp::Paused : TSpeakerLamp::Recording);
}

void TSpeakerCommand::ApplySetting(std::optional<bool> AOn)
{
  FSetting = AOn;
  FBox->setChecked(AOn.value_or(false));
}

bool TSpeakerCommand::eventFilter(QObject *AWatched, QEvent *AEvent)
{
  if (AWatched == FMain) {
    const QEvent::Type type = AEvent->type();
    if (type == QEvent::Show) {
      if (QWindow *handle = FMain->windowHandle())
        connect(handle, &QWindow::screenChanged, this, &TSpeakerCommand::Update,
                Qt::UniqueConnection);
      Update();
    } else if (type == QEvent::Hide && !AEvent->spontaneous()) {
      // Closed or hidden by the program; a window minimised by the user keeps it.
      FWindow->hide();
    }
  }
  return QObject::eventFilter(AWatched, AEvent);
}

QScreen *TSpeakerCommand::OtherScreen() const
{
  const QList<QScreen *> left = QGuiApplication::screens();
  if (left.isEmpty())
    return nullptr;
  // A main window on a screen that goes lands on the primary one.
  QScreen *main = FMain->screen();
  if (!left.contains(main))
    main = left.contains(QGuiApplication::primaryScreen()) ? QGuiApplication::primaryScreen()
                                                           : left.first();
  // Where it shows already it stays, so that it does not hop between other screens.
  QScreen *shown = FWindow->isVisible() ? FWindow->screen() : nullptr;
  if (shown != nullptr && shown != main && left.contains(shown))
    return shown;
  for (QScreen *screen : left)
    if (screen != main)
      return screen;
  return nullptr;
}

void TSpeakerCommand::Update()
{
  QScreen *screen = OtherScreen();
  FBox->setEnabled(screen != nullptr);
  FBox->setToolTip(screen != nullptr ? BoxHint() : OneScreenHint());
  const TTextItem *item = FTexts.HasList() ? FTexts.Text().CurrentItem() : nullptr;
  if (screen == nullptr || item == nullptr || !FBox->isChecked() || !FMain->isVisible()) {
    FWindow->hide();
    return;
  }
  FWindow->ShowItem(FTexts.Text().Current(), FTexts.Text().Count(), item->Id, item->Text);
  // A screen given another size is filled again.
  connect(screen, &QScreen::geometryChanged, this, &TSpeakerCommand::Update, Qt::UniqueConnection);
  FWindow->ShowOn(screen);
}

bool TSpeakerCommand::RunMainKey(const QKeyEvent &APress) const
{
  // Until the main window's keys are attached to the speaker's window, a key pressed
  // there runs the main window's shortcut for it as if it had been pressed there.
  const QKeySequence pressed(
      QKeyCombination(APress.modifiers() & ~Qt::KeypadModifier, Qt::Key(APress.key())));
  for (QShortcut *shortcut : FMain->findChildren<QShortcut *>()) {
    const auto *owner = qobject_cast<QWidget *>(shortcut->parent());
    const Qt::ShortcutContext context = shortcut->context();
    if (owner == nullptr || owner->window() != FMain || !shortcut->isEnabled() ||
        context == Qt::WidgetShortcut || context == Qt::WidgetWithChildrenShortcut ||
        (APress.isAutoRepeat() && !shortcut->autoRepeat()) || !shortcut->keys().contains(pressed))
      continue;
    emit shortcut->activated();
    return true;
  }
  for (QAbstractButton *button : FMain->findChildren<QAbstractButton *>())
    if (button->window() == FMain && button->isVisible() && button->isEnabled() &&
        QKeySequence::mnemonic(button->text()) == pressed) {
      button->click();
      return true;
    }
  return false;
}

} // namespace praatkist::ui
