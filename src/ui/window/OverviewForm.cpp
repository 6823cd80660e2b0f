#include "ui/window/OverviewForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/flow/OverviewModel.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/window/OverviewFilter.h"

namespace praatkist::ui {

namespace {

// The columns' widths at the window's font; the remarks take what is left.
constexpr int kWidths[TOverviewModel::ColumnCount] = {80, 240, 64, 120, 76, 70, 64,
                                                      72, 76,  72, 100, 84, 180};
constexpr int kRowHeight = 22;

void SetTextColour(QWidget *AWidget, QRgb AColour)
{
  QPalette pal = AWidget->palette();
  pal.setColor(QPalette::WindowText, palette::Colour(AColour));
  AWidget->setPalette(pal);
}

} // namespace

TOverviewForm::TOverviewForm(TOverviewModel &AModel, QWidget *AOwner)
    : QWidget(AOwner, Qt::Window), FModel(AModel)
{
  setObjectName(QStringLiteral("frmOverview"));
  setWindowTitle(QStringLiteral("Overzicht"));
  setAccessibleName(QStringLiteral("Overzicht"));
  // The main window's colours and font; a window does not take them by itself.
  if (AOwner != nullptr) {
    setPalette(AOwner->palette());
    setFont(AOwner->font());
    setWindowIcon(AOwner->windowIcon());
  }
  setAutoFillBackground(true);
  MakeControls();
  resize(1340, 640);
}

void TOverviewForm::MakeControls()
{
  lblHeading = new QLabel(this);
  lblHeading->setObjectName(QStringLiteral("lblOverviewHeading"));
  lblHeading->setTextFormat(Qt::PlainText);
  lblHeading->setFont(DesignFontPx(SegoeUI, 15, true));

  chkRemarksOnly = new QCheckBox(QStringLiteral("Alleen met opmerkingen"), this);
  chkRemarksOnly->setObjectName(QStringLiteral("chkRemarksOnly"));
  chkRemarksOnly->setToolTip(
      QStringLiteral("Toont alleen de teksten waarvan de gekozen opname opmerkingen heeft (Alt+M)"));
  chkWithoutChoice = new QCheckBox(QStringLiteral("Zonder gekozen opname"), this);
  chkWithoutChoice->setObjectName(QStringLiteral("chkWithoutChoice"));
  chkWithoutChoice->setToolTip(
      QStringLiteral("Toont alleen de teksten zonder gekozen opname (Alt+Z)"));
  for (QCheckBox *check : {chkRemarksOnly, chkWithoutChoice})
    check->setAccessibleName(check->text());

  lblProgress = new QLabel(this);
  lblProgress->setObjectName(QStringLiteral("lblProgress"));
  lblProgress->setTextFormat(Qt::PlainText);
  lblProgress->setAccessibleName(QStringLiteral("Voortgang van het meten"));
  lblProgress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  FFilter = new TOverviewFilter(FModel, this);
  tblOverview = new QTableView(this);
  tblOverview->setObjectName(QStringLiteral("tblOverview"));
  tblOverview->setAccessibleName(QStringLiteral("Teksten van de sessie"));
  tblOverview->setModel(FFilter);
  tblOverview->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblOverview->setSelectionMode(QAbstractItemView::SingleSelection);
  tblOverview->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblOverview->setWordWrap(false);
  tblOverview->setTextElideMode(Qt::ElideRight);
  tblOverview->setTabKeyNavigation(false);
  tblOverview->setShowGrid(false);
  tblOverview->setAlternatingRowColors(false);
  // One height for every row, never measured: ten thousand rows open at once.
  QHeaderView *rows = tblOverview->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(kRowHeight);
  rows->setMinimumSectionSize(kRowHeight);
  rows->hide();
  QHeaderView *columns = tblOverview->horizontalHeader();
  columns->setSectionResizeMode(QHeaderView::Interactive);
  columns->setStretchLastSection(true);
  columns->setHighlightSections(false);
  columns->setSortIndicatorShown(true);
  for (int c = 0; c < TOverviewModel::ColumnCount; ++c)
    tblOverview->setColumnWidth(c, kWidths[c]);
  // in the list's order until a header is clicked
  columns->setSortIndicator(-1, Qt::AscendingOrder);
  tblOverview->setSortingEnabled(true);
  {
    QPalette pal = tblOverview->palette();
    pal.setColor(QPalette::Highlight, palette::Colour(palette::BlueAccent));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::Base, palette::Colour(palette::FieldBackground));
    pal.setColor(QPalette::Text, palette::Colour(palette::WindowText));
    tblOverview->setPalette(pal);
  }
  tblOverview->installEventFilter(this);

  lblSaid = new QLabel(this);
  lblSaid->setObjectName(QStringLiteral("lblSaid"));
  lblSaid->setTextFormat(Qt::PlainText);
  lblSaid->setAccessibleName(QStringLiteral("Melding"));
  lblKeys = new QLabel(
      QStringLiteral("Spatie afspelen/stoppen \u00B7 Alt+\u2192/Alt+\u2190 markering \u00B7 "
                     "Ctrl+K volgende opname kiezen \u00B7 Ctrl+Shift+A afkeuren \u00B7 "
                     "Enter tonen in het hoofdvenster \u00B7 Alt+S sorteren op de kolom \u00B7 "
                     "Alt+M, Alt+Z filters \u00B7 Esc sluiten"),
      this);
  lblKeys->setObjectName(QStringLiteral("lblOverviewKeys"));
  lblKeys->setTextFormat(Qt::PlainText);
  lblKeys->setFont(DesignFontPx(SegoeUI, 12));
  SetTextColour(lblKeys, palette::DisabledGrey);

  auto *top = new QHBoxLayout;
  top->addWidget(lblHeading);
  top->addSpacing(24);
  top->addWidget(chkRemarksOnly);
  top->addSpacing(12);
  top->addWidget(chkWithoutChoice);
  top->addStretch(1);
  top->addWidget(lblProgress);
  auto *all = new QVBoxLayout(this);
  all->setContentsMargins(20, 14, 20, 12);
  all->setSpacing(8);
  all->addLayout(top);
  all->addWidget(tblOverview, 1);
  all->addWidget(lblSaid);
  all->addWidget(lblKeys);

  connect(chkRemarksOnly, &QCheckBox::toggled, FFilter, &TOverviewFilter::SetRemarksOnly);
  connect(chkWithoutChoice, &QCheckBox::toggled, FFilter, &TOverviewFilter::SetWithoutChoice);
  const auto key = [this](QKeySequence AKeys, std::function<void()> ARun) {
    auto *shortcut = new QShortcut(AKeys, this);
    connect(shortcut, &QShortcut::activated, this, std::move(ARun));
  };
  key(QKeySequence(Qt::ALT | Qt::Key_M), [this] { chkRemarksOnly->click(); });
  key(QKeySequence(Qt::ALT | Qt::Key_Z), [this] { chkWithoutChoice->click(); });
  key(QKeySequence(Qt::ALT | Qt::Key_L), [this] { tblOverview->setFocus(); });
  key(QKeySequence(Qt::Key_Escape), [this] { close(); });
  // A row stays current while the rows are sorted or filtered anew.
  connect(FFilter, &QAbstractItemModel::layoutChanged, this, [this] {
    if (tblOverview->currentIndex().isValid())
      tblOverview->scrollTo(tblOverview->currentIndex());
  });
  setTabOrder(tblOverview, chkRemarksOnly);
  setTabOrder(chkRemarksOnly, chkWithoutChoice);
  tblOverview->setFocus();
}

int TOverviewForm::CurrentRow() const
{
  return FFilter->SourceRow(tblOverview->currentIndex());
}

void TOverviewForm::SelectRow(int ARow)
{
  if (ARow < 0 || ARow >= FModel.Rows())
    return;
  const QModelIndex at = FFilter->mapFromSource(FModel.index(ARow, TOverviewModel::ColId));
  if (!at.isValid())
    return;
  tblOverview->setCurrentIndex(at);
  tblOverview->scrollTo(at);
}

int TOverviewForm::ShownRows() const
{
  return FFilter->rowCount();
}

void TOverviewForm::Say(const QString &AText)
{
  lblSaid->setText(AText);
}

void TOverviewForm::SortByCurrentColumn()
{
  const int column = std::max(0, tblOverview->currentIndex().column());
  const QHeaderView *header = tblOverview->horizontalHeader();
  const Qt::SortOrder order =
      header->sortIndicatorSection() == column && header->sortIndicatorOrder() == Qt::AscendingOrder
          ? Qt::DescendingOrder
          : Qt::AscendingOrder;
  tblOverview->sortByColumn(column, order);
  Say(QStringLiteral("Gesorteerd op %1, %2")
          .arg(FModel.headerData(column, Qt::Horizontal).toString(),
               order == Qt::AscendingOrder ? QStringLiteral("oplopend") : QStringLiteral("aflopend")));
}

bool TOverviewForm::TableKey(int AKey, Qt::KeyboardModifiers AMods)
{
  AMods &= Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;
  if (AMods == Qt::AltModifier && (AKey == Qt::Key_Right || AKey == Qt::Key_Left)) {
    emit MarkerAsked(AKey == Qt::Key_Right);
    return true;
  }
  if (AMods == Qt::AltModifier && AKey == Qt::Key_S) {
    SortByCurrentColumn();
    return true;
  }
  const int row = CurrentRow();
  if (AMods == Qt::NoModifier && AKey == Qt::Key_Space) {
    if (row >= 0)
      emit PlayAsked(row);
  } else if (AMods == Qt::NoModifier && (AKey == Qt::Key_Return || AKey == Qt::Key_Enter)) {
    if (row >= 0)
      emit ShowAsked(row);
  } else if (AMods == Qt::ControlModifier && AKey == Qt::Key_K) {
    if (row >= 0)
      emit NextChoiceAsked(row);
  } else if (AMods == (Qt::ControlModifier | Qt::ShiftModifier) && AKey == Qt::Key_A) {
    if (row >= 0)
      emit RejectAsked(row);
  } else {
    return false;
  }
  return true;
}

bool TOverviewForm::eventFilter(QObject *AWatched, QEvent *AEvent)
{
  if (AWatched == tblOverview && AEvent->type() == QEvent::KeyPress) {
    const auto *key = static_cast<QKeyEvent *>(AEvent);
    // Enter on the keypad comes with its own modifier.
    const Qt::KeyboardModifiers mods =
        key->key() == Qt::Key_Enter ? key->modifiers() & ~Qt::KeypadModifier : key->modifiers();
    if (TableKey(key->key(), mods))
      return true;
  }
  return QWidget::eventFilter(AWatched, AEvent);
}

void TOverviewForm::closeEvent(QCloseEvent *AEvent)
{
  QWidget::closeEvent(AEvent);
  emit Closed();
}

} // namespace praatkist::ui
