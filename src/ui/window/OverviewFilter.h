#pragma once
// TOverviewFilter: the overview's rows as the table shows them: sorted by the column
// clicked (numbers as numbers, rows without figures last), filtered by the window's two
// check boxes, and each judged figure in the colour the figures line gives it (the trim
// orange; clipped samples red).

#include <QSortFilterProxyModel>

namespace praatkist::ui {

class TOverviewModel;

class TOverviewFilter : public QSortFilterProxyModel {
  Q_OBJECT

public:
  explicit TOverviewFilter(TOverviewModel &AModel, QObject *AParent = nullptr);

  // Only rows whose chosen take has remarks, and only rows without a chosen take; with
  // both on, the rows that are either.
  void SetRemarksOnly(bool AOn);
  void SetWithoutChoice(bool AOn);

  // The model's row shown at AIndex of the table, -1 for none.
  int SourceRow(const QModelIndex &AIndex) const;

  QVariant data(const QModelIndex &AIndex, int ARole = Qt::DisplayRole) const override;

protected:
  bool filterAcceptsRow(int ASourceRow, const QModelIndex &ASourceParent) const override;

private:
  TOverviewModel &FModel;
  bool FRemarksOnly = false;
  bool FWithoutChoice = false;
};

} // namespace praatkist::ui
