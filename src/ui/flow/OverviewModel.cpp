#include "ui/flow/OverviewModel.h"

#include <cmath>
#include <utility>

#include "platform/NumberText.h"

namespace praatkist::ui {

namespace {

using audio::TRemark;

const QString kMinus = QStringLiteral("\u2212");

// As the figures line writes a figure: rounded as it is judged, a real minus sign,
// minus infinity for silence.
QString Number(double AValue, int ADecimals, QChar ASeparator)
{
  const double shown = audio::spoken_word::Shown(AValue, ADecimals);
  if (std::isinf(shown))
    return shown < 0 ? kMinus + QStringLiteral("\u221E") : QStringLiteral("\u221E");
  QString text = QString::number(std::fabs(shown), 'f', ADecimals);
  text.replace(QLatin1Char('.'), ASeparator);
  return shown < 0 ? kMinus + text : text;
}

const char *const kHeaders[] = {"Id",        "Tekst",          "Opnames",     "Gekozen opname",
                                "Spraak (s)", "Tekens/s",       "LUFS",        "RMS (dB)",
                                "Stem (dB)",  "Piek (dB)",      "Ruisvloer (dB)", "Overstuurd",
                                "Opmerkingen"};
static_assert(std::size(kHeaders) == TOverviewModel::ColumnCount);

// The remarks that judge the figure of a column.
unsigned JudgedBy(int AColumn)
{
  const auto bits = [](std::initializer_list<TRemark> ARemarks) {
    unsigned flags = 0;
    for (const TRemark r : ARemarks)
      flags |= static_cast<unsigned>(r);
    return flags;
  };
  switch (AColumn) {
  case TOverviewModel::ColVoiceRms:
    return bits({TRemark::TooQuiet, TRemark::TooLoud});
  case TOverviewModel::ColPeak:
    return bits({TRemark::PeakHigh});
  case TOverviewModel::ColFloor:
    return bits({TRemark::FloorHigh, TRemark::Noise});
  case TOverviewModel::ColClipped:
    return bits({TRemark::Clipped});
  case TOverviewModel::ColSpeech:
    return bits({TRemark::TooShort, TRemark::Tempo, TRemark::NoSpeech, TRemark::CutStart,
                 TRemark::CutEnd});
  case TOverviewModel::ColPace:
    return bits({TRemark::TooShort, TRemark::Tempo, TRemark::NoSpeech});
  default:
    return 0;
  }
}

} // namespace

TOverviewModel::TOverviewModel(QObject *AParent)
    : QAbstractTableModel(AParent), FSeparator(QLatin1Char(platform::UserDecimalSeparator()))
{
}

void TOverviewModel::SetRows(std::vector<TOverviewRow> ARows)
{
  bool same = ARows.size() == FRows.size();
  for (std::size_t i = 0; same && i < ARows.size(); ++i)
    same = KeyOf(ARows[i]) == KeyOf(FRows[i]) && ARows[i].Id == FRows[i].Id;
  if (!same)
    beginResetModel();
  FRows = std::move(ARows);
  FRowOf.clear();
  FRowOf.reserve(static_cast<qsizetype>(FRows.size()));
  for (std::size_t i = 0; i < FRows.size(); ++i)
    FRowOf.insert(KeyOf(FRows[i]), static_cast<int>(i));
  Check();
  if (!same)
    endResetModel();
  else if (!FRows.empty())
    emit dataChanged(index(0, 0), index(Rows() - 1, ColumnCount - 1));
}

void TOverviewModel::SetTakes(const std::vector<TOverviewTake> &ATakes)
{
  if (ATakes.empty())
    return;
  for (const TOverviewTake &t : ATakes)
    FTakes.insert(QString::fromStdString(t.Stored.Take), t);
  Check();
  if (!FRows.empty())
    emit dataChanged(index(0, 0), index(Rows() - 1, ColumnCount - 1));
}

void TOverviewModel::ClearTakes()
{
  FTakes.clear();
  Check();
  if (!FRows.empty())
    emit dataChanged(index(0, 0), index(Rows() - 1, ColumnCount - 1));
}

int TOverviewModel::RowOf(const QString &AKey) const
{
  return FRowOf.value(AKey, -1);
}

const TOverviewTake *TOverviewModel::Take(const QString &AName) const
{
  const auto found = FTakes.constFind(AName);
  return found == FTakes.constEnd() ? nullptr : &*found;
}

const audio::TTakeFigures *TOverviewModel::FiguresOf(int ARow) const
{
  const TOverviewRow &row = Row(ARow);
  if (row.Chosen.isEmpty())
    return nullptr;
  const TOverviewTake *take = Take(row.Chosen);
  if (take == nullptr || take->Failed || !take->Stored.Figures.Measured)
    return nullptr;
  return &take->Stored.Figures;
}

double TOverviewModel::SecondsOf(int ARow) const
{
  const TOverviewTake *take = Take(Row(ARow).Chosen);
  return take == nullptr ? 0.0 : take->Stored.Seconds;
}

bool TOverviewModel::Measured(int ARow) const
{
  return FiguresOf(ARow) != nullptr;
}

void TOverviewModel::Check()
{
  std::vector<double> paces;
  paces.reserve(FRows.size());
  for (int i = 0; i < Rows(); ++i)
    if (const audio::TTakeFigures *f = FiguresOf(i))
      paces.push_back(
          audio::CharsPerSecond(*f, static_cast<std::size_t>(std::max(0, Row(i).SpokenChars))));
  FMedianPace = audio::MedianPace(std::move(paces));
  FRemarks.assign(FRows.size(), {});
  for (int i = 0; i < Rows(); ++i)
    if (const audio::TTakeFigures *f = FiguresOf(i))
      FRemarks[static_cast<std::size_t>(i)] =
          audio::CheckTake(*f, SecondsOf(i),
                           static_cast<std::size_t>(std::max(0, Row(i).SpokenChars)), FMedianPace);
}

QString TOverviewModel::Spoken(int ARow) const
{
  const TOverviewRow &row = Row(ARow);
  QStringList parts;
  if (row.Id.isEmpty()) {
    parts << row.Chosen;
  } else {
    parts << row.Id << row.Text;
    if (row.Chosen.isEmpty())
      parts << QStringLiteral("geen gekozen opname");
  }
  const QString remarks = Shown(ARow, ColRemarks);
  parts << (remarks.isEmpty() && Measured(ARow) ? QStringLiteral("geen opmerkingen") : remarks);
  parts.removeAll(QString());
  return parts.join(QStringLiteral(", "));
}

QString TOverviewModel::Shown(int ARow, int AColumn) const
{
  const TOverviewRow &row = Row(ARow);
  switch (AColumn) {
  case ColId:
    return row.Id;
  case ColText:
    return row.Text;
  case ColTakeCount:
    return QString::number(row.Takes.size());
  case ColChosen:
    return row.Chosen;
  default:
    break;
  }
  const TOverviewTake *take = row.Chosen.isEmpty() ? nullptr : Take(row.Chosen);
  if (AColumn == ColRemarks && take != nullptr && take->Failed)
    return QStringLiteral("niet te lezen");
  const audio::TTakeFigures *f = FiguresOf(ARow);
  if (f == nullptr)
    return QString();
  switch (AColumn) {
  case ColSpeech:
    return Number(f->SpeechSeconds(), 2, FSeparator);
  case ColPace: {
    const double pace =
        audio::CharsPerSecond(*f, static_cast<std::size_t>(std::max(0, row.SpokenChars)));
    return pace > 0.0 ? Number(pace, 1, FSeparator) : QString();
  }
  case ColLoudness:
    return Number(f->LoudnessLufs, 1, FSeparator);
  case ColRms:
    return Number(f->RmsDb, 1, FSeparator);
  case ColVoiceRms:
    return f->HasSpeech ? Number(f->SpeechRmsDb, 1, FSeparator) : QString();
  case ColPeak:
    return Number(f->PeakDb, 1, FSeparator);
  case ColFloor:
    return Number(f->NoiseFloorDb, 0, FSeparator);
  case ColClipped:
    return QString::number(f->ClippedSamples);
  case ColRemarks:
    return QString::fromStdString(Remarks(ARow).Joined());
  default:
    return QString();
  }
}

QVariant TOverviewModel::Sorted(int ARow, int AColumn) const
{
  const TOverviewRow &row = Row(ARow);
  switch (AColumn) {
  case ColId:
    return row.Id;
  case ColText:
    return row.Text;
  case ColTakeCount:
    return static_cast<double>(row.Takes.size());
  case ColChosen:
    return row.Chosen;
  default:
    break;
  }
  const audio::TTakeFigures *f = FiguresOf(ARow);
  if (f == nullptr)
    return QVariant();
  switch (AColumn) {
  case ColSpeech:
    return f->SpeechSeconds();
  case ColPace:
    return audio::CharsPerSecond(*f, static_cast<std::size_t>(std::max(0, row.SpokenChars)));
  case ColLoudness:
    return f->LoudnessLufs;
  case ColRms:
    return f->RmsDb;
  case ColVoiceRms:
    return f->HasSpeech ? QVariant(f->SpeechRmsDb) : QVariant();
  case ColPeak:
    return f->PeakDb;
  case ColFloor:
    return f->NoiseFloorDb;
  case ColClipped:
    return static_cast<double>(f->ClippedSamples);
  case ColRemarks:
    // by how many remarks a take has
    return static_cast<double>(Remarks(ARow).Words().size());
  default:
    return QVariant();
  }
}

TCellMark TOverviewModel::Mark(int ARow, int AColumn) const
{
  const unsigned judged = JudgedBy(AColumn) & Remarks(ARow).Flags;
  if (judged == 0)
    return TCellMark::Plain;
  return AColumn == ColClipped ? TCellMark::Clipped : TCellMark::Judged;
}

int TOverviewModel::rowCount(const QModelIndex &AParent) const
{
  return AParent.isValid() ? 0 : Rows();
}

int TOverviewModel::columnCount(const QModelIndex &AParent) const
{
  return AParent.isValid() ? 0 : ColumnCount;
}

QVariant TOverviewModel::data(const QModelIndex &AIndex, int ARole) const
{
  if (!AIndex.isValid() || AIndex.row() >= Rows())
    return QVariant();
  const int row = AIndex.row();
  const int column = AIndex.column();
  switch (ARole) {
  case Qt::DisplayRole:
    return Shown(row, column);
  case SortRole:
    return Sorted(row, column);
  case MarkRole:
    return static_cast<int>(Mark(row, column));
  case Qt::ToolTipRole:
    if (column == ColText)
      return Row(row).Text;
    if (column == ColRemarks) {
      const TOverviewTake *take = Take(Row(row).Chosen);
      if (take != nullptr && take->Failed)
        return QStringLiteral("De opname kon niet worden gelezen.");
      return Shown(row, column);
    }
    return QVariant();
  case Qt::AccessibleTextRole:
    return Spoken(row);
  case Qt::AccessibleDescriptionRole: {
    const QString shown = Shown(row, column);
    return headerData(column, Qt::Horizontal).toString() + QStringLiteral(": ") +
           (shown.isEmpty() ? QStringLiteral("leeg") : shown);
  }
  case Qt::TextAlignmentRole:
    if (column == ColId || column == ColText || column == ColChosen || column == ColRemarks)
      return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
    return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
  default:
    return QVariant();
  }
}

QVariant TOverviewModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const
{
  if (AOrientation != Qt::Horizontal || ASection < 0 || ASection >= ColumnCount)
    return QVariant();
  if (ARole == Qt::DisplayRole)
    return QString::fromUtf8(kHeaders[ASection]);
  if (ARole == Qt::ToolTipRole && ASection == ColLoudness)
    return QStringLiteral("Geïntegreerde luidheid (EBU R128)");
  if (ARole == Qt::ToolTipRole && ASection == ColRms)
    return QStringLiteral("RMS van de hele opname, zoals onder de golfvorm");
  if (ARole == Qt::ToolTipRole && ASection == ColVoiceRms)
    return QStringLiteral("RMS van de stem alleen, zonder de stilte eromheen");
  return QVariant();
}

} // namespace praatkist::ui
