#include "ui/window/TakeList.h"

#include <QComboBox>
#include <QListWidget>
#include <QSignalBlocker>

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "session/SessionManager.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/flow/ErrorText.h"
#include "ui/flow/PathText.h"
#include "ui/style/Palette.h"

namespace praatkist::ui {

TTakeList::TTakeList(QComboBox *ASessions, QListWidget *ATakes, TSessionManager &AStore,
                     QObject *AParent)
    : QObject(AParent), FSessions(ASessions), FTakes(ATakes), FStore(AStore)
{
  connect(FSessions, &QComboBox::activated, this, &TTakeList::SessionChange);
  // The selection, not the current row: a mouse press makes the row current before it
  // selects it, and the take is found through its selection.
  connect(FTakes, &QListWidget::itemSelectionChanged, this,
          [this] { emit TakeChosen(SelectedTakePath(), true); });
}

void TTakeList::RefreshSessions()
{
  QStringList items;
  FStore.LoadSessions(items);
  FSessions->clear();
  FSessions->addItems(items);
  FSessions->setCurrentIndex(-1);
}

void TTakeList::Empty()
{
  {
    const QSignalBlocker quiet(FTakes);
    FTakes->clear();
  }
  emit Listed({});
  emit TakeChosen(QString(), false);
}

void TTakeList::SessionChange()
{
  if (FSessions->currentIndex() < 0) {
    Empty();
    return;
  }
  try {
    FStore.SelectSession(FSessions->currentText());
  } catch (const std::exception &e) {
    // The list showed a session that has gone: list what is there now and show the
    // store's own session again, so that the next take goes where the window says.
    try {
      RefreshSessions();
    } catch (const std::exception &) {
      FSessions->clear();
    }
    FSessions->setCurrentIndex(
        FSessions->findText(FStore.SessionName(), Qt::MatchExactly | Qt::MatchCaseSensitive));
    if (FSessions->currentIndex() >= 0)
      Reload();
    else
      Empty();
    // The general error box, shown from here: an exception must not unwind through
    // the toolkit's event delivery, which leaks what it holds for the event.
    ShowGeneralError(ErrorText(e));
    return;
  }
  Reload();
}

void TTakeList::ChooseSession(const QString &AName)
{
  FSessions->setCurrentIndex(FSessions->findText(TSessionManager::TrimmedName(AName),
                                                 Qt::MatchExactly | Qt::MatchCaseSensitive));
  SessionChange();
}

void TTakeList::Reload(const QString &ASelect, bool AShow)
{
  // What a trim cut short by a crash left here goes first (a running trim's files,
  // in this window or another, are held by it and stay).
  if (!FStore.SessionName().isEmpty()) {
    const std::filesystem::path folder = ToPath(FStore.SessionFolder(FStore.SessionName()));
    audio::RemoveAbandonedTrimTemps(folder);
    // takes a crash ended get their true sizes (a take still being written is held)
    TBassRecorder::MendCrashedTakes(folder);
  }
  QStringList items;
  FStore.LoadRecordings(items);
  emit Listed(items);
  const QHash<QString, TTakeMark> marks = Marks ? Marks() : QHash<QString, TTakeMark>();
  {
    const QSignalBlocker quiet(FTakes);
    FTakes->clear();
    int row = ASelect.isEmpty() ? static_cast<int>(items.size()) - 1 : -1;
    for (const QString &name : items) {
      auto *item = new QListWidgetItem(name, FTakes);
      item->setSizeHint(QSize(0, 17));
      item->setData(Qt::UserRole, name);
      if (const auto mark = marks.constFind(name); mark != marks.constEnd()) {
        // "Koor-3.wav  0003 ✓": the take, its text's id, chosen (✓) or rejected (✗,
        // greyed); a screen reader hears the words.
        QString shown = name + QStringLiteral("  ") + mark->ItemId;
        QString heard = name + QStringLiteral(", tekst ") + mark->ItemId;
        if (mark->Chosen) {
          shown += QStringLiteral(" \u2713");
          heard += QStringLiteral(", gekozen");
        } else if (mark->Rejected) {
          shown += QStringLiteral(" \u2717");
          heard += QStringLiteral(", afgekeurd");
          item->setForeground(palette::Colour(palette::DisabledText));
        }
        item->setText(shown);
        item->setData(Qt::AccessibleTextRole, heard);
      }
      if (!ASelect.isEmpty() && FStore.TakePath(name) == ASelect)
        row = FTakes->count() - 1;
    }
    if (row >= 0) {
      FTakes->setCurrentRow(row);
    } else {
      FTakes->setCurrentRow(-1);
      FTakes->clearSelection();
    }
  }
  if (AShow)
    emit TakeChosen(SelectedTakePath(), false);
}

void TTakeList::Select(const QString &APath)
{
  {
    const QSignalBlocker quiet(FTakes);
    int row = -1;
    if (!APath.isEmpty())
      for (int i = 0; i < FTakes->count() && row < 0; ++i)
        if (FStore.TakePath(NameOf(FTakes->item(i))) == APath)
          row = i;
    if (row >= 0) {
      FTakes->setCurrentRow(row);
      FTakes->scrollToItem(FTakes->item(row));
    } else {
      FTakes->setCurrentRow(-1);
      FTakes->clearSelection();
    }
  }
  emit TakeChosen(SelectedTakePath(), false);
}

QString TTakeList::NameOf(const QListWidgetItem *AItem)
{
  const QVariant name = AItem->data(Qt::UserRole);
  return name.isValid() ? name.toString() : AItem->text();
}

QString TTakeList::SelectedEntry() const
{
  const QListWidgetItem *item = FTakes->currentItem();
  if (item == nullptr || !item->isSelected())
    return QString();
  return NameOf(item);
}

QString TTakeList::SelectedTakePath() const
{
  const QString entry = SelectedEntry();
  return entry.isEmpty() ? QString() : FStore.TakePath(entry);
}

} // namespace praatkist::ui
