#include "ui/window/OverviewFilter.h"

#include <QBrush>

#include "ui/flow/OverviewModel.h"
#include "ui/style/Palette.h"

namespace praatkist::ui {

TOverviewFilter::TOverviewFilter(TOverviewModel &AModel, QObject *AParent)
    : QSortFilterProxyModel(AParent), FModel(AModel)
{
  setSourceModel(&AModel);
  setSortRole(TOverviewModel::SortRole);
  setSortCaseSensitivity(Qt::CaseInsensitive);
  setDynamicSortFilter(true);
}

void TOverviewFilter::SetRemarksOnly(bool AOn)
{
  if (AOn == FRemarksOnly)
    return;
  FRemarksOnly = AOn;
  invalidateFilter();
}

void TOverviewFilter::SetWithoutChoice(bool AOn)
{
  if (AOn == FWithoutChoice)
    return;
  FWithoutChoice = AOn;
  invalidateFilter();
}

int TOverviewFilter::SourceRow(const QModelIndex &AIndex) const
{
  const QModelIndex source = mapToSource(AIndex);
  return source.isValid() ? source.row() : -1;
}

bool TOverviewFilter::filterAcceptsRow(int ASourceRow, const QModelIndex &) const
{
  if (!FRemarksOnly && !FWithoutChoice)
    return true;
  return (FRemarksOnly && FModel.Remarks(ASourceRow).Any()) ||
         (FWithoutChoice && FModel.Row(ASourceRow).Chosen.isEmpty());
}

QVariant TOverviewFilter::data(const QModelIndex &AIndex, int ARole) const
{
  if (ARole != Qt::ForegroundRole)
    return QSortFilterProxyModel::data(AIndex, ARole);
  switch (static_cast<TCellMark>(
      QSortFilterProxyModel::data(AIndex, TOverviewModel::MarkRole).toInt())) {
  case TCellMark::Judged:
    return QBrush(palette::Colour(palette::TrimOrange));
  case TCellMark::Clipped:
    return QBrush(palette::Colour(palette::RedAccent));
  default:
    return QVariant();
  }
}

} // namespace praatkist::ui
