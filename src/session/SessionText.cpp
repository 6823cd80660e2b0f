#include "session/SessionText.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>

#include "platform/Errors.h"
#include "platform/FileOps.h"

namespace praatkist {

namespace fs = std::filesystem;

namespace {

fs::path ToPath(const QString &APath)
{
  return fs::path(QDir::toNativeSeparators(APath).toStdWString());
}

// Puts ABytes in place as AFile: written beside it, on the disk, then renamed over it.
void PlaceFile(const QString &AFile, const QByteArray &ABytes)
{
  const fs::path target = ToPath(AFile);
  fs::path temp = target;
  temp += ".tmp";
  platform::DeleteFileQuietly(temp);
  try {
    platform::TWriteFile file(temp);
    file.Write(ABytes.constData(), static_cast<std::size_t>(ABytes.size()));
    file.Sync();
    file.Close();
    platform::ReplaceFileOrRaise(temp, target);
  } catch (...) {
    platform::DeleteFileQuietly(temp);
    throw;
  }
  platform::SyncFolderQuietly(target.parent_path());
}

// The bindings whose take is still in AFolder: a line whose take was deleted stays in
// the file until its next write, but names nothing any more.
std::vector<TTakeBinding> Present(const QString &AFolder, std::vector<TTakeBinding> ABindings)
{
  if (!ABindings.empty())
    TTakeBindings::KeepPresent(AFolder, ABindings);
  return ABindings;
}

} // namespace

void TSessionText::Open(const QString &AFolder)
{
  FFolder = AFolder;
  FList.reset();
  Keep({});
  FCurrent = 0;
  if (AFolder.isEmpty())
    return;
  const QString file = QDir(AFolder).filePath(TTextList::FileName);
  if (!QFileInfo(file).isFile())
    return;
  FList = TTextList::Load(file);
  Keep(Present(AFolder, TTakeBindings::Read(AFolder)));
}

void TSessionText::Replace(const QString &APath)
{
  if (FFolder.isEmpty())
    throw EInvalidOperation("Kies eerst een sessie.");
  TTextList list = TTextList::Load(APath);
  PlaceFile(QDir(FFolder).filePath(TTextList::FileName), list.Serialize());
  FList = std::move(list);
  FCurrent = 0;
  // What the old list bound to ids the new one still has stays; the rest is plain.
  if (QFileInfo(QDir(FFolder).filePath(TTakeBindings::FileName)).isFile())
    Keep(TTakeBindings::Update(FFolder, [&](std::vector<TTakeBinding> &bindings) {
      std::erase_if(bindings,
                    [&](const TTakeBinding &b) { return FList->IndexOf(b.ItemId) < 0; });
    }));
}

const TTextItem *TSessionText::CurrentItem() const
{
  return FList ? &FList->Items()[static_cast<std::size_t>(FCurrent)] : nullptr;
}

bool TSessionText::MoveTo(int AIndex)
{
  if (!FList || AIndex < 0 || AIndex >= FList->Count() || AIndex == FCurrent)
    return false;
  FCurrent = AIndex;
  return true;
}

bool TSessionText::NextWithoutChoice()
{
  for (int step = 1; step < Count(); ++step) {
    const int index = (FCurrent + step) % Count();
    if (!FChosen.contains(FList->Items()[static_cast<std::size_t>(index)].Id))
      return MoveTo(index);
  }
  return false;
}

void TSessionText::Refresh()
{
  if (FList)
    Keep(Present(FFolder, TTakeBindings::Read(FFolder)));
}

void TSessionText::BindToCurrent(const QString &ATake)
{
  if (const TTextItem *item = CurrentItem())
    Keep(TTakeBindings::Bind(FFolder, ATake, item->Id));
}

void TSessionText::Reject(const QString &ATake)
{
  Keep(TTakeBindings::SetStatus(FFolder, ATake, TTakeStatus::Rejected));
}

void TSessionText::Choose(const QString &ATake)
{
  Keep(TTakeBindings::Choose(FFolder, ATake));
}

void TSessionText::Forget(const QString &ATake)
{
  if (!FByTake.contains(ATake))
    return;
  std::vector<TTakeBinding> bindings = std::move(FBindings);
  std::erase_if(bindings, [&](const TTakeBinding &b) { return b.Take == ATake; });
  Keep(std::move(bindings));
}

void TSessionText::Keep(std::vector<TTakeBinding> ABindings)
{
  FBindings = std::move(ABindings);
  FByTake.clear();
  FChosen.clear();
  FLatest.clear();
  // An item's chosen take: the one marked chosen, else its latest that is not rejected
  // (as TTakeBindings::ChosenTake finds it).
  QHash<QString, bool> marked;
  for (std::size_t i = 0; i < FBindings.size(); ++i) {
    const TTakeBinding &b = FBindings[i];
    FByTake.insert(b.Take, i);
    FLatest.insert(b.ItemId, b.Take);
    if (marked.value(b.ItemId))
      continue;
    if (b.Status == TTakeStatus::Chosen)
      marked.insert(b.ItemId, true);
    if (b.Status != TTakeStatus::Rejected)
      FChosen.insert(b.ItemId, b.Take);
  }
}

QString TSessionText::ItemOf(const QString &ATake) const
{
  const auto found = FByTake.constFind(ATake);
  return found == FByTake.constEnd() ? QString() : FBindings[*found].ItemId;
}

TTakeStatus TSessionText::StatusOf(const QString &ATake) const
{
  const auto found = FByTake.constFind(ATake);
  return found == FByTake.constEnd() ? TTakeStatus::Plain : FBindings[*found].Status;
}

bool TSessionText::IsChosen(const QString &ATake) const
{
  const QString item = ItemOf(ATake);
  return !item.isEmpty() && FChosen.value(item) == ATake;
}

QString TSessionText::ChosenTakeOf(int AIndex) const
{
  if (!FList || AIndex < 0 || AIndex >= FList->Count())
    return {};
  return FChosen.value(FList->Items()[static_cast<std::size_t>(AIndex)].Id);
}

QString TSessionText::LatestTakeOf(int AIndex) const
{
  if (!FList || AIndex < 0 || AIndex >= FList->Count())
    return {};
  return FLatest.value(FList->Items()[static_cast<std::size_t>(AIndex)].Id);
}

} // namespace praatkist
