// Showing the main window: its icon, its size and place on the screen, the first focus.

#include "ui/window/MainForm.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMoveEvent>
#include <QScreen>
#include <QStyle>
#include <QWindow>

#include <algorithm>

// The resources live in the ui library; registering them by hand keeps the linker from
// dropping them. Must stand outside any namespace.
static void InitPraatkistResources()
{
  Q_INIT_RESOURCE(praatkist);
}

namespace praatkist::ui {

void TfrmMain::LoadWindowIcon()
{
  InitPraatkistResources();
  QIcon icon;
  for (int size : {16, 24, 32, 48}) {
    const QString file = QStringLiteral(":/FORMICON/%1.png").arg(size);
    if (QFileInfo::exists(file))
      icon.addFile(file, QSize(size, size));
  }
  setWindowIcon(icon.isNull() ? QApplication::windowIcon() : icon);
}

void TfrmMain::showEvent(QShowEvent *event)
{
  QWidget::showEvent(event);
  if (FShownOnce)
    return;
  FShownOnce = true;
  if (QWindow *window = windowHandle())
    connect(window, &QWindow::screenChanged, this, [this](QScreen *AScreen) {
      if (AScreen != nullptr)
        connect(AScreen, &QScreen::availableGeometryChanged, this, &TfrmMain::FitToScreen,
                Qt::UniqueConnection);
      FitToScreen();
    });
  if (QScreen *screen = this->screen())
    connect(screen, &QScreen::availableGeometryChanged, this, &TfrmMain::FitToScreen,
            Qt::UniqueConnection);
  FitToScreen();
  if (QScreen *screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  FControls.cbSession->setFocus();
}

void TfrmMain::moveEvent(QMoveEvent *event)
{
  QWidget::moveEvent(event);
  // The window manager's frame is known only once it has put one around the window.
  if (FShownOnce && FrameMargins() != FFittedMargins)
    FitToScreen();
}

QMargins TfrmMain::FrameMargins() const
{
  const QRect frame = frameGeometry();
  const QRect inner = geometry();
  return QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                  frame.right() - inner.right(), frame.bottom() - inner.bottom());
}

void TfrmMain::FitToScreen()
{
  QScreen *screen = this->screen();
  if (screen == nullptr)
    return;
  const QRect room = screen->availableGeometry();
  const QMargins margins = FrameMargins();
  FFittedMargins = margins;
  const int roomWidth = room.width() - margins.left() - margins.right();
  const int roomHeight = room.height() - margins.top() - margins.bottom();
  // The page as it is where it fits; else as much as fits, with scroll bars.
  const QSize page = FControls.Page();
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, FControls.scrMain);
  bool across = page.width() > roomWidth;
  bool down = page.height() > roomHeight;
  across = across || (down && page.width() + bar > roomWidth);
  down = down || (across && page.height() + bar > roomHeight);
  const QSize wanted(page.width() + (down ? bar : 0), page.height() + (across ? bar : 0));
  const QSize size = wanted.boundedTo(QSize(roomWidth, roomHeight)).expandedTo(QSize(240, 160));
  if (size != this->size())
    setFixedSize(size);
  // A window that sticks out is moved back onto the screen.
  QRect frame = frameGeometry();
  frame.setSize(size.grownBy(margins));
  const QPoint inside(std::clamp(frame.left(), room.left(),
                                 std::max(room.left(), room.right() - frame.width() + 1)),
                      std::clamp(frame.top(), room.top(),
                                 std::max(room.top(), room.bottom() - frame.height() + 1)));
  if (inside != frame.topLeft())
    move(inside);
}

} // namespace praatkist::ui
