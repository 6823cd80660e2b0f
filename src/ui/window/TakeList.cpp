#include "ui/window/TakeList.h"

#include <QComboBox>
#include <QFileInfo>
#include <QListView>
#include <QScopedValueRollback>

#include "session/SessionManager.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/flow/ErrorText.h"
#include "ui/flow/MendWork.h"

namespace praatkist::ui {

TTakeList::TTakeList(QComboBox *ASessions, QListView *ATakes, TSessionManager &AStore,
                     QObject *AParent)
    : QObject(AParent), FSessions(ASessions), FTakes(ATakes), FStore(AStore),
      FModel(new TTakeListModel(this)), FMend(new TMendWork(this))
{
  FModel->Mark = [this](const QString &AName) { return Marks ? Marks(AName) : TTakeMark(); };
  FTakes->setModel(FModel);
  connect(FSessions, &QComboBox::activated, this, &TTakeList::SessionChange);
  // The selection, not the current row: a mouse press makes the row current before it
  // selects it, and the take is found through its selection.
  connect(FTakes->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!FQuiet)
      emit TakeChosen(SelectedTakePath(), true);
  });
  connect(FMend, &TMendWork::Mended, this, &TTakeList::Mended);
  connect(FMend, &TMendWork::Done, this, &TTakeList::MendDone);
}

TTakeList::~TTakeList()
{
  FMend->Stop();
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
  FMend->Stop();
  {
    const QScopedValueRollback quiet(FQuiet, true);
    FModel->Assign({});
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
  // What a crash left is put right meanwhile: the takes are listed as they are, and one
  // that is mended is drawn again when it is shown (Mended).
  FMend->Start(FStore.SessionFolder(FStore.SessionName()));
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
  QStringList items;
  FStore.LoadRecordings(items);
  emit Listed(items);
  {
    const QScopedValueRollback quiet(FQuiet, true);
    FModel->Assign(items);
    SelectRow(ASelect.isEmpty() ? FModel->Count() - 1 : RowOf(ASelect));
  }
  if (AShow)
    emit TakeChosen(SelectedTakePath(), false);
}

void TTakeList::Add(const QString &APath)
{
  const QString name = QFileInfo(APath).fileName();
  if (FStore.SessionName().isEmpty() || FStore.TakePath(name) != APath)
    return;
  const bool added = FModel->Find(name) < 0;
  {
    const QScopedValueRollback quiet(FQuiet, true);
    SelectRow(FModel->Insert(name));
  }
  // the take it followed as its text's chosen one is no longer
  FModel->MarksChanged();
  if (added)
    emit TakeAdded(name);
}

void TTakeList::Remove(const QString &APath)
{
  const QString name = QFileInfo(APath).fileName();
  bool removed = false;
  {
    const QScopedValueRollback quiet(FQuiet, true);
    if (FStore.TakePath(name) == APath)
      removed = FModel->Remove(name) >= 0;
    SelectRow(FModel->Count() - 1);
  }
  if (removed)
    emit TakeRemoved(name);
  // another take of its text may be the chosen one now
  FModel->MarksChanged();
  emit TakeChosen(SelectedTakePath(), false);
}

void TTakeList::MarksChanged(const QString &ASelect)
{
  FModel->MarksChanged();
  {
    const QScopedValueRollback quiet(FQuiet, true);
    SelectRow(ASelect.isEmpty() ? -1 : RowOf(ASelect));
  }
  emit Remarked();
}

void TTakeList::Select(const QString &APath)
{
  {
    const QScopedValueRollback quiet(FQuiet, true);
    const int row = APath.isEmpty() ? -1 : RowOf(APath);
    SelectRow(row);
    if (row >= 0)
      FTakes->scrollTo(FModel->index(row));
  }
  emit TakeChosen(SelectedTakePath(), false);
}

int TTakeList::RowOf(const QString &APath) const
{
  const QString name = QFileInfo(APath).fileName();
  if (name.isEmpty() || FStore.TakePath(name) != APath)
    return -1;
  return FModel->Find(name);
}

void TTakeList::SelectRow(int ARow)
{
  if (ARow >= 0 && ARow < FModel->Count()) {
    FTakes->setCurrentIndex(FModel->index(ARow));
  } else {
    FTakes->setCurrentIndex(QModelIndex());
    FTakes->clearSelection();
  }
}

QString TTakeList::SelectedEntry() const
{
  const QModelIndex current = FTakes->currentIndex();
  if (!current.isValid() || !FTakes->selectionModel()->isSelected(current))
    return QString();
  return FModel->NameAt(current.row());
}

QString TTakeList::SelectedTakePath() const
{
  const QString entry = SelectedEntry();
  return entry.isEmpty() ? QString() : FStore.TakePath(entry);
}

bool TTakeList::Mending() const
{
  return FMend->Running();
}

} // namespace praatkist::ui
