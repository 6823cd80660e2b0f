#pragma once
// TOverviewModel: the overview's table of a session, one row per text of its list (per
// take in a session without a list): the text, its takes and its chosen take, and that
// take's figures with the data set's checks (audio::CheckTake) against the session's
// median pace. The window hands it the rows (from the session's list and bindings) and
// the figures as they come (from cijfers.tsv at once, then from the survey); the model
// words the figures with the user's decimal separator, and says for each cell what it
// sorts by and whether a remark judges it, which the window colours. No widgets.

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

#include "audio/BassRecorder.h"

namespace praatkist::ui {

struct TOverviewRow {
  QString Id;   // the text's id; empty in a session without a list
  QString Text; // the text itself; empty without a list
  int SpokenChars = 0;
  QStringList Takes; // the text's takes (file names), in the order they were bound
  QString Chosen;    // its chosen take's file name; empty: none
};

// What the overview knows of a take: its figures, or that it cannot be read.
struct TOverviewTake {
  audio::TStoredFigures Stored; // Stored.Figures.Measured once measured
  bool Failed = false;
};

// How a cell is to be drawn: as any text, judged by a remark, or clipped.
enum class TCellMark : int { Plain = 0, Judged = 1, Clipped = 2 };

class TOverviewModel : public QAbstractTableModel {
  Q_OBJECT

public:
  enum TColumn : int {
    ColId,
    ColText,
    ColTakeCount,
    ColChosen,
    ColSpeech,
    ColPace,
    ColLoudness,
    ColRms,      // the whole take's, as under the waveform
    ColVoiceRms, // the voice's alone, which "te zacht" and "te luid" judge
    ColPeak,
    ColFloor,
    ColClipped,
    ColRemarks,
    ColumnCount
  };
  // Numbers as doubles, words as text; none where there is nothing to sort by.
  static constexpr int SortRole = Qt::UserRole + 1;
  // TCellMark as an int.
  static constexpr int MarkRole = Qt::UserRole + 2;

  explicit TOverviewModel(QObject *AParent = nullptr);

  // The rows anew; the figures known stay. Where the rows name the same texts (or
  // takes) in the same order, the rows stay and only their cells change.
  void SetRows(std::vector<TOverviewRow> ARows);
  // Takes' figures (by file name), replacing what was known of each.
  void SetTakes(const std::vector<TOverviewTake> &ATakes);
  // Everything known of the takes goes (another session).
  void ClearTakes();

  const TOverviewRow &Row(int ARow) const { return FRows[static_cast<std::size_t>(ARow)]; }
  int Rows() const noexcept { return static_cast<int>(FRows.size()); }
  // The row of the text with AId (of the take AName without a list); -1: none.
  int RowOf(const QString &AKey) const;
  static QString KeyOf(const TOverviewRow &ARow) { return ARow.Id.isEmpty() ? ARow.Chosen : ARow.Id; }
  // What is known of the take named AName; null: nothing.
  const TOverviewTake *Take(const QString &AName) const;
  // The remarks on the row's chosen take (none without figures).
  audio::TTakeRemarks Remarks(int ARow) const { return FRemarks[static_cast<std::size_t>(ARow)]; }
  // The row's chosen take has figures.
  bool Measured(int ARow) const;
  double MedianPace() const noexcept { return FMedianPace; }
  // "0003, De kat krabt de krullen van de trap., te zacht": what a screen reader reads
  // of the row.
  QString Spoken(int ARow) const;

  int rowCount(const QModelIndex &AParent = QModelIndex()) const override;
  int columnCount(const QModelIndex &AParent = QModelIndex()) const override;
  QVariant data(const QModelIndex &AIndex, int ARole = Qt::DisplayRole) const override;
  QVariant headerData(int ASection, Qt::Orientation AOrientation,
                      int ARole = Qt::DisplayRole) const override;

private:
  // The median pace and every row's remarks again.
  void Check();
  const audio::TTakeFigures *FiguresOf(int ARow) const;
  double SecondsOf(int ARow) const;
  QVariant Sorted(int ARow, int AColumn) const;
  QString Shown(int ARow, int AColumn) const;
  TCellMark Mark(int ARow, int AColumn) const;

  std::vector<TOverviewRow> FRows;
  QHash<QString, int> FRowOf;
  QHash<QString, TOverviewTake> FTakes;
  std::vector<audio::TTakeRemarks> FRemarks;
  double FMedianPace = 0.0;
  QChar FSeparator;
};

} // namespace praatkist::ui
