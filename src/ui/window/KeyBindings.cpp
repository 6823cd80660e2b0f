#include "ui/window/KeyBindings.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QShortcut>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace praatkist::ui {

TKeyBindings::TKeyBindings(QWidget *AMain, QWidget *ATakeList, std::function<std::int64_t()> ANowNs)
    : QObject(AMain), FMain(AMain), FTakeList(ATakeList), FMark(std::move(ANowNs))
{
  FMark.SetKey(FKeys.Key(TCommand::Mark));
  AttachWindow(AMain);
  // Every input event passes here: the marker's press is stamped before any shortcut
  // answers it.
  QCoreApplication::instance()->installEventFilter(this);
}

TKeyBindings::~TKeyBindings()
{
  if (QCoreApplication::instance() != nullptr)
    QCoreApplication::instance()->removeEventFilter(this);
  for (TWindow &window : FWindows)
    Unbind(window);
}

void TKeyBindings::AttachWindow(QWidget *AWindow)
{
  if (AWindow == nullptr)
    return;
  for (const TWindow &window : FWindows)
    if (window.Window.data() == AWindow)
      return;
  FWindows.push_back({AWindow, {}});
  Bind(FWindows.back());
  // Its shortcuts go with it; the entry goes now.
  connect(AWindow, &QObject::destroyed, this, [this](QObject *AGone) {
    std::erase_if(FWindows, [AGone](const TWindow &AWindow) {
      return AWindow.Window.isNull() || AWindow.Window.data() == AGone;
    });
  });
}

void TKeyBindings::DetachWindow(QWidget *AWindow)
{
  if (AWindow == nullptr || AWindow == FMain)
    return;
  for (auto it = FWindows.begin(); it != FWindows.end(); ++it)
    if (it->Window.data() == AWindow) {
      Unbind(*it);
      disconnect(AWindow, &QObject::destroyed, this, nullptr);
      FWindows.erase(it);
      return;
    }
}

void TKeyBindings::SetKeys(const TCommandKeys &AKeys)
{
  FKeys = AKeys;
  FMark.SetKey(FKeys.Key(TCommand::Mark));
  for (TWindow &window : FWindows) {
    Unbind(window);
    Bind(window);
  }
  emit KeysChanged();
}

void TKeyBindings::Bind(TWindow &AWindow)
{
  QWidget *window = AWindow.Window;
  if (window == nullptr)
    return;
  for (const TCommandInfo &info : CommandTable()) {
    QWidget *scope = window;
    Qt::ShortcutContext context = Qt::WindowShortcut;
    if (info.Command == TCommand::Delete) {
      // the take list's own key, in the main window only
      if (window != FMain || FTakeList == nullptr)
        continue;
      scope = FTakeList;
      context = Qt::WidgetShortcut;
    }
    auto *shortcut = new QShortcut(FKeys.Key(info.Command), scope);
    shortcut->setContext(context);
    // one marker for one press
    shortcut->setAutoRepeat(info.Command != TCommand::Mark);
    const TCommand command = info.Command;
    connect(shortcut, &QShortcut::activated, this, [this, command] { Fire(command); });
    AWindow.Shortcuts.emplace_back(shortcut);
  }
}

void TKeyBindings::Unbind(TWindow &AWindow)
{
  for (const QPointer<QShortcut> &shortcut : AWindow.Shortcuts)
    delete shortcut.data();
  AWindow.Shortcuts.clear();
}

void TKeyBindings::Fire(TCommand ACommand)
{
  if (ACommand == TCommand::Mark)
    emit Marked(FMark.TakePress());
  else
    emit Activated(ACommand);
}

bool TKeyBindings::RunsCommand(QObject *AReceiver, const QKeyEvent &AEvent) const
{
  auto *widget = qobject_cast<QWidget *>(AReceiver);
  if (widget == nullptr)
    return false;
  QWidget *top = widget->window();
  const bool attached =
      std::any_of(FWindows.begin(), FWindows.end(),
                  [top](const TWindow &AWindow) { return AWindow.Window.data() == top; });
  if (!attached)
    return false;
  const std::optional<TCommand> command = FKeys.Holder(KeyOf(AEvent));
  if (!command)
    return false;
  if (*command == TCommand::Delete)
    return top == FMain && FTakeList != nullptr &&
           (widget == FTakeList || FTakeList->isAncestorOf(widget));
  return true;
}

bool TKeyBindings::eventFilter(QObject *AWatched, QEvent *AEvent)
{
  FMark.See(AEvent);
  // A focused control that asks to keep a key for itself (a list its Page Down, a box
  // its letters) does not get a command's key: the command's shortcut answers it.
  if (AEvent->type() == QEvent::ShortcutOverride &&
      RunsCommand(AWatched, *static_cast<QKeyEvent *>(AEvent))) {
    AEvent->ignore();
    return true;
  }
  return QObject::eventFilter(AWatched, AEvent);
}

} // namespace praatkist::ui
