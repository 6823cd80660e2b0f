#pragma once
// The text list of the chosen session with its takes' bindings, and the item shown to
// the speaker. A session without tekstlijst.txt has no list, and nothing here makes a
// file for it.

#include "session/TakeBindings.h"
#include "session/TextList.h"

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace praatkist {

class TSessionText {
public:
  // The session folder AFolder (empty: no session): its list is read when it has one.
  // Raises what TTextList::Load raises for a kept list that cannot be read; the session
  // then has no list.
  void Open(const QString &AFolder);
  // Loads the text file APath as the session's new list and keeps it as tekstlijst.txt.
  // Bindings whose id the new list no longer has are dropped (their takes stay, as
  // plain takes). Raises for a bad file (nothing then changes).
  void Replace(const QString &APath);

  bool HasList() const noexcept { return FList.has_value(); }
  const TTextList &List() const { return *FList; }
  int Count() const noexcept { return FList ? FList->Count() : 0; }
  // The item shown (0 .. Count - 1), -1 without a list.
  int Current() const noexcept { return FList ? FCurrent : -1; }
  const TTextItem *CurrentItem() const;

  // Moves the item shown; false when it stays where it is.
  bool MoveTo(int AIndex);
  bool Next() { return MoveTo(FCurrent + 1); }
  bool Previous() { return MoveTo(FCurrent - 1); }
  // The next item after the current one (round the end of the list) that has no chosen
  // take yet; false when every other item has one.
  bool NextWithoutChoice();

  // The bindings as the file held them when last read or written here (when read, of
  // the takes still there); Refresh reads
  // them again (another program may have changed them).
  const std::vector<TTakeBinding> &Bindings() const noexcept { return FBindings; }
  void Refresh();
  // ATake (a file name in the session) is a take of the current item.
  void BindToCurrent(const QString &ATake);
  void Reject(const QString &ATake);
  void Choose(const QString &ATake);
  // ATake is gone from the session (deleted here): its line stays in the file until
  // the next write, but it is no take of its item any more.
  void Forget(const QString &ATake);
  // The item id of ATake, empty for a plain take; and its status.
  QString ItemOf(const QString &ATake) const;
  TTakeStatus StatusOf(const QString &ATake) const;
  // The chosen take of item AIndex, and its latest take (rejected or not); empty: none.
  QString ChosenTakeOf(int AIndex) const;
  QString LatestTakeOf(int AIndex) const;
  // ATake is its item's chosen take.
  bool IsChosen(const QString &ATake) const;

private:
  // The bindings become ABindings, and what is looked up in them is found again.
  void Keep(std::vector<TTakeBinding> ABindings);

  // Found once for every change of the bindings, so that a look-up never walks them.
  QString FFolder;
  std::optional<TTextList> FList;
  std::vector<TTakeBinding> FBindings;
  QHash<QString, std::size_t> FByTake; // take -> its binding
  QHash<QString, QString> FChosen;     // item id -> its chosen take
  QHash<QString, QString> FLatest;     // item id -> its latest take
  int FCurrent = 0;
};

} // namespace praatkist
