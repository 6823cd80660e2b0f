#include "ui/window/TakeListModel.h"

#include <QSize>

#include "ui/style/Palette.h"

namespace praatkist::ui {

void TTakeListModel::Assign(const QStringList &ANames)
{
  beginResetModel();
  FNames.Assign(ANames);
  endResetModel();
}

int TTakeListModel::Insert(const QString &AName)
{
  if (const int row = FNames.Find(AName); row >= 0)
    return row;
  const int row = FNames.RowFor(AName);
  beginInsertRows(QModelIndex(), row, row);
  FNames.Insert(AName);
  endInsertRows();
  return row;
}

int TTakeListModel::Remove(const QString &AName)
{
  const int row = FNames.Find(AName);
  if (row < 0)
    return -1;
  beginRemoveRows(QModelIndex(), row, row);
  FNames.Remove(AName);
  endRemoveRows();
  return row;
}

void TTakeListModel::MarksChanged()
{
  if (Count() > 0)
    emit dataChanged(index(0), index(Count() - 1));
}

QStringList TTakeListModel::Names() const
{
  QStringList names;
  names.reserve(Count());
  for (int row = 0; row < Count(); ++row)
    names.append(FNames.At(row));
  return names;
}

int TTakeListModel::rowCount(const QModelIndex &AParent) const
{
  return AParent.isValid() ? 0 : Count();
}

QVariant TTakeListModel::data(const QModelIndex &AIndex, int ARole) const
{
  if (!AIndex.isValid() || AIndex.row() >= Count())
    return {};
  const QString &name = FNames.At(AIndex.row());
  switch (ARole) {
  case Qt::UserRole:
    return name;
  case Qt::SizeHintRole:
    return QSize(0, 17);
  case Qt::DisplayRole:
  case Qt::AccessibleTextRole:
  case Qt::ForegroundRole:
    break;
  default:
    return {};
  }
  const TTakeMark mark = Mark ? Mark(name) : TTakeMark();
  if (mark.ItemId.isEmpty())
    return ARole == Qt::DisplayRole ? QVariant(name) : QVariant();
  if (ARole == Qt::ForegroundRole)
    return mark.Rejected && !mark.Chosen ? QVariant(palette::Colour(palette::DisabledText))
                                         : QVariant();
  // "Koor-3.wav  0003 ✓": the take, its text's id, chosen (✓) or rejected (✗, greyed);
  // a screen reader hears the words.
  const bool shown = ARole == Qt::DisplayRole;
  QString text = name + (shown ? QStringLiteral("  ") : QStringLiteral(", tekst ")) + mark.ItemId;
  if (mark.Chosen)
    text += shown ? QStringLiteral(" \u2713") : QStringLiteral(", gekozen");
  else if (mark.Rejected)
    text += shown ? QStringLiteral(" \u2717") : QStringLiteral(", afgekeurd");
  return text;
}

} // namespace praatkist::ui
