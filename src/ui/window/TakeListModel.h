#pragma once
// The rows of the take list: the session's take names in the store's order, each shown
// with what the text part says of it ("Koor-3.wav  0003 ✓"). A row's words are made
// when the view asks for them, so a session of many thousand takes costs a name a row;
// a take is added or removed without listing the others again.

#include <QAbstractListModel>
#include <QString>
#include <QStringList>

#include <functional>

#include "session/TakeNames.h"

namespace praatkist::ui {

// What the list says of a take beside its name: the id of its text, and whether it is
// that text's chosen take or a rejected one.
struct TTakeMark {
  QString ItemId;
  bool Chosen = false;
  bool Rejected = false;
};

class TTakeListModel : public QAbstractListModel {
  Q_OBJECT

public:
  using QAbstractListModel::QAbstractListModel;

  // The mark of a take by its file name, asked when its row is drawn or read; none: the
  // rows are the bare names.
  std::function<TTakeMark(const QString &AName)> Mark;

  // The rows become ANames, in the store's order.
  void Assign(const QStringList &ANames);
  // Adds the take AName where the order puts it: its row.
  int Insert(const QString &AName);
  // Removes the take AName: the row it had, -1 when it was not listed.
  int Remove(const QString &AName);
  // The marks may have changed: the rows are drawn and read anew.
  void MarksChanged();

  int Count() const noexcept { return FNames.Count(); }
  const QString &NameAt(int ARow) const { return FNames.At(ARow); }
  // The row of the take AName, -1 when it is not listed.
  int Find(const QString &AName) const { return FNames.Find(AName); }
  QStringList Names() const;

  int rowCount(const QModelIndex &AParent = QModelIndex()) const override;
  QVariant data(const QModelIndex &AIndex, int ARole = Qt::DisplayRole) const override;

private:
  TTakeNames FNames;
};

} // namespace praatkist::ui
