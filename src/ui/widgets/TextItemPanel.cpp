#include "ui/widgets/TextItemPanel.h"

#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/widgets/TextFit.h"

#include <QAccessible>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

namespace praatkist::ui {

namespace {

void Colour(QLabel *ALabel, QRgb ARgb)
{
  QPalette p = ALabel->palette();
  p.setColor(QPalette::WindowText, palette::Colour(ARgb));
  ALabel->setPalette(p);
}

// Between the place line and the text.
constexpr int Gap = 2;

} // namespace

TTextItemPanel::TTextItemPanel(QWidget *AParent)
    : QWidget(AParent), FPlace(new QLabel(this)), FScroll(new QScrollArea(this)), FText(new QLabel)
{
  setObjectName(QStringLiteral("pnlTextItem"));
  FPlace->setObjectName(QStringLiteral("lblTextPlace"));
  FText->setObjectName(QStringLiteral("lblTextItem"));
  FScroll->setObjectName(QStringLiteral("scrTextItem"));
  FPlace->setFont(DesignFontPx(SegoeUI, 13));
  Colour(FPlace, palette::WindowText);
  FText->setFont(DesignFontPt(SegoeUI, LargestPt));
  FText->setWordWrap(true);
  FText->setTextFormat(Qt::PlainText);
  FText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Colour(FText, palette::DialogText);
  // Only a text too long for the smallest size scrolls, and only up and down; the
  // wheel does that, Tab passes it by.
  FScroll->setFrameShape(QFrame::NoFrame);
  FScroll->setFocusPolicy(Qt::NoFocus);
  FScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FScroll->setBackgroundRole(QPalette::Window);
  FScroll->viewport()->setBackgroundRole(QPalette::Window);
  FScroll->setWidget(FText);
  setAccessibleDescription(QStringLiteral("Tekst voor de opname"));
  Clear();
}

void TTextItemPanel::ShowItem(int AIndex, int ACount, const QString &AId, const QString &AText)
{
  FPlace->setText(QStringLiteral("%1 \u00B7 %2 / %3").arg(AId).arg(AIndex + 1).arg(ACount));
  FText->setText(AText);
  Place();
  FScroll->verticalScrollBar()->setValue(0);
  setAccessibleName(QStringLiteral("%1: %2").arg(AId, AText));
  QAccessibleEvent changed(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
}

void TTextItemPanel::Clear()
{
  FPlace->clear();
  FText->clear();
  Place();
  setAccessibleName(QStringLiteral("Geen tekstlijst"));
}

QString TTextItemPanel::PlaceText() const
{
  return FPlace->text();
}

QString TTextItemPanel::ItemText() const
{
  return FText->text();
}

void TTextItemPanel::resizeEvent(QResizeEvent *AEvent)
{
  QWidget::resizeEvent(AEvent);
  Place();
}

void TTextItemPanel::Place()
{
  const int placeHeight = FPlace->fontMetrics().height();
  FPlace->setGeometry(0, 0, width(), placeHeight);
  FScroll->setGeometry(0, placeHeight + Gap, width(), std::max(0, height() - placeHeight - Gap));
  const QSize box = FScroll->size();
  QFont font = FText->font();
  font.setPointSize(FittingPointSize(FText->text(), font, box, SmallestPt, LargestPt, this));
  if (font != FText->font())
    FText->setFont(font);
  // The whole box where the text fits in it; else as wide as beside the scroll bar and
  // as tall as the text wrapped there.
  const int whole = WrappedTextSize(FText->text(), font, box.width(), this).height();
  if (whole <= box.height()) {
    FText->resize(box);
    return;
  }
  const int width = std::max(1, box.width() - FScroll->verticalScrollBar()->sizeHint().width());
  FText->resize(width, WrappedTextSize(FText->text(), font, width, this).height());
}

} // namespace praatkist::ui
