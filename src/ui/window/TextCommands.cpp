#include "ui/window/TextCommands.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "session/SessionManager.h"
#include "ui/dialogs/DarkDialogs.h"
#include "ui/flow/ErrorText.h"
#include "ui/widgets/TextItemPanel.h"
#include "ui/window/StatusLine.h"

namespace praatkist::ui {

TTextCommands::TTextCommands(TControls AControls, TSessionManager &AStore,
                             TStatusLine &AStatus, TTakeList &ATakes, QObject *AParent)
    : QObject(AParent), C(std::move(AControls)), FStore(AStore), FStatus(AStatus), FTakes(ATakes)
{
  AskTextFile = [this] {
    return QFileDialog::getOpenFileName(
        C.Page->window(), QStringLiteral("Kies een tekstlijst"), QString(),
        QStringLiteral("Tekstlijsten (*.txt *.csv *.tsv);;Alle bestanden (*)"));
  };
}

QString TTextCommands::Folder() const
{
  if (C.Sessions->currentIndex() < 0 || FStore.SessionName().isEmpty())
    return QString();
  return FStore.SessionFolder(FStore.SessionName());
}

QString TTextCommands::NameOf(const QString &APath) const
{
  return QFileInfo(APath).fileName();
}

void TTextCommands::SessionShown()
{
  const QString folder = Folder();
  FOpenFolder = folder;
  try {
    FText.Open(folder);
  } catch (const std::exception &e) {
    // The session works on without its list; the file stays as it is.
    FText.Open(QString());
    ShowColumn();
    ShowDarkError(QStringLiteral("De tekstlijst van deze sessie kan niet worden gelezen. ") +
                  ErrorText(e));
    return;
  }
  ShowColumn();
}

void TTextCommands::Listed()
{
  // Another session, or a list put into this one by hand since it was read.
  const QString folder = Folder();
  if (folder != FOpenFolder ||
      (!FText.HasList() && !folder.isEmpty() &&
       QFileInfo(QDir(folder).filePath(TTextList::FileName)).isFile())) {
    SessionShown();
    return;
  }
  FText.Refresh();
}

void TTextCommands::TakeRemoved(const QString &AName)
{
  FText.Forget(AName);
}

void TTextCommands::ShowColumn()
{
  const bool shown = FText.HasList();
  if (shown)
    ShowCurrent(false);
  else
    C.Panel->Clear();
  if (C.ColumnShown() != shown) {
    C.ShowColumn(shown);
    emit ColumnChanged(shown);
  }
  if (!shown)
    emit ItemShown();
}

void TTextCommands::ShowCurrent(bool ASelectTake)
{
  const TTextItem *item = FText.CurrentItem();
  if (item == nullptr)
    return;
  C.Panel->ShowItem(FText.Current(), FText.Count(), item->Id, item->Text);
  emit ItemShown();
  if (ASelectTake) {
    const QString take = FText.LatestTakeOf(FText.Current());
    FTakes.Select(take.isEmpty() ? QString() : FStore.TakePath(take));
  }
}

bool TTextCommands::Change(const std::function<void()> &AChange, const QString &AWhat)
{
  try {
    AChange();
    return true;
  } catch (const std::exception &e) {
    ShowDarkError(AWhat + QLatin1Char(' ') + ErrorText(e));
    return false;
  }
}

void TTextCommands::Load()
{
  if (Folder().isEmpty()) {
    ShowDarkMessage(QStringLiteral("Kies of maak eerst een sessie."));
    return;
  }
  const QString path = AskTextFile ? AskTextFile() : QString();
  if (path.isEmpty())
    return;
  if (FText.HasList() &&
      !DarkConfirm(QStringLiteral("Deze sessie heeft al een tekstlijst. Vervangen door \"%1\"?\r\n"
                                  "Elke opname blijft bewaard, en blijft bij zijn tekst waar de "
                                  "nieuwe lijst dezelfde id heeft.")
                       .arg(NameOf(path)),
                   QStringLiteral("Vervangen")))
    return;
  try {
    FText.Replace(path);
  } catch (const std::exception &e) {
    ShowDarkError(ErrorText(e));
    return;
  }
  ShowColumn();
  ShowCurrent(true);
  FTakes.Reload(FTakes.SelectedTakePath(), false);
  FStatus.Set(QStringLiteral("Tekstlijst geladen: %1 teksten").arg(FText.Count()));
}

void TTextCommands::Next()
{
  if (FText.Next())
    ShowCurrent(true);
}

void TTextCommands::Previous()
{
  if (FText.Previous())
    ShowCurrent(true);
}

bool TTextCommands::NextWithoutChoice()
{
  if (!FText.HasList())
    return false;
  if (FText.NextWithoutChoice()) {
    ShowCurrent(true);
    return true;
  }
  FStatus.Set(QStringLiteral("Elke andere tekst heeft al een gekozen opname."));
  return false;
}

void TTextCommands::TakeStarted(const QString &APath)
{
  if (!FText.HasList() || FText.CurrentItem() == nullptr)
    return;
  const QString name = NameOf(APath);
  const QString id = FText.CurrentItem()->Id;
  Change([&] { FText.BindToCurrent(name); },
         QStringLiteral("De opname \"%1\" kon niet aan tekst %2 worden gekoppeld.").arg(name, id));
}

bool TTextCommands::RejectForRetake(const QString &APath)
{
  if (!FText.HasList())
    return false;
  const QString name = NameOf(APath);
  const QString id = FText.ItemOf(name);
  if (id.isEmpty())
    return false;
  if (!Change([&] { FText.Reject(name); },
              QStringLiteral("De opname \"%1\" kon niet worden afgekeurd.").arg(name)))
    return false;
  // The retake is of the running take's text, also where another one is shown now.
  if (FText.MoveTo(FText.List().IndexOf(id)))
    ShowCurrent(false);
  return true;
}

QString TTextCommands::BoundTake(const QString &APath, QString &AId)
{
  if (!FText.HasList()) {
    ShowDarkMessage(QStringLiteral("Deze sessie heeft geen tekstlijst."));
    return {};
  }
  if (APath.isEmpty())
    return {};
  const QString name = NameOf(APath);
  AId = FText.ItemOf(name);
  if (AId.isEmpty()) {
    // another program may have bound it since the bindings were read
    FText.Refresh();
    AId = FText.ItemOf(name);
  }
  if (AId.isEmpty()) {
    ShowDarkMessage(QStringLiteral("De opname \"%1\" hoort bij geen tekst.").arg(name));
    return {};
  }
  return name;
}

void TTextCommands::Choose(const QString &APath)
{
  QString id;
  const QString name = BoundTake(APath, id);
  if (name.isEmpty())
    return;
  if (!Change([&] { FText.Choose(name); },
              QStringLiteral("De opname \"%1\" kon niet worden gekozen.").arg(name)))
    return;
  FTakes.MarksChanged(APath);
  FStatus.Set(QStringLiteral("Gekozen voor tekst %1: %2").arg(id, name));
}

void TTextCommands::Reject(const QString &APath)
{
  QString id;
  const QString name = BoundTake(APath, id);
  if (name.isEmpty())
    return;
  if (!Change([&] { FText.Reject(name); },
              QStringLiteral("De opname \"%1\" kon niet worden afgekeurd.").arg(name)))
    return;
  FTakes.MarksChanged(FTakes.SelectedTakePath());
  FStatus.Set(QStringLiteral("Afgekeurd: ") + name);
}

void TTextCommands::ShowItem(int AIndex, const QString &ATakePath)
{
  if (!FText.HasList() || AIndex < 0 || AIndex >= FText.Count())
    return;
  FText.MoveTo(AIndex);
  ShowCurrent(ATakePath.isEmpty());
  if (!ATakePath.isEmpty())
    FTakes.Select(ATakePath);
}

void TTextCommands::TakeEnded(const QString &APath)
{
  if (!FText.HasList() || !C.NextAfterTake->isChecked() || FText.CurrentItem() == nullptr)
    return;
  if (FText.ItemOf(NameOf(APath)) == FText.CurrentItem()->Id && FText.Next())
    ShowCurrent(false);
}

TTakeMark TTextCommands::MarkOf(const QString &AName) const
{
  TTakeMark mark;
  if (!FText.HasList())
    return mark;
  mark.ItemId = FText.ItemOf(AName);
  if (mark.ItemId.isEmpty())
    return mark;
  mark.Rejected = FText.StatusOf(AName) == TTakeStatus::Rejected;
  mark.Chosen = FText.IsChosen(AName);
  return mark;
}

} // namespace praatkist::ui
