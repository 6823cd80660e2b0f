#include "ui/widgets/TextItemPanel.h"

#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"

#include <QAccessible>
#include <QLabel>
#include <QVBoxLayout>

namespace praatkist::ui {

namespace {

void Colour(QLabel *ALabel, QRgb ARgb)
{
  QPalette p = ALabel->palette();
  p.setColor(QPalette::WindowText, palette::Colour(ARgb));
  ALabel->setPalette(p);
}

} // namespace

TTextItemPanel::TTextItemPanel(QWidget *AParent)
    : QWidget(AParent), FPlace(new QLabel(this)), FText(new QLabel(this))
{
  setObjectName(QStringLiteral("pnlTextItem"));
  FPlace->setObjectName(QStringLiteral("lblTextPlace"));
  FText->setObjectName(QStringLiteral("lblTextItem"));
  FPlace->setFont(DesignFontPx(SegoeUI, 13));
  Colour(FPlace, palette::WindowText);
  FText->setFont(DesignFontPt(SegoeUI, 20));
  FText->setWordWrap(true);
  FText->setTextFormat(Qt::PlainText);
  FText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Colour(FText, palette::DialogText);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(FPlace);
  layout->addWidget(FText, 1);
  setAccessibleDescription(QStringLiteral("Tekst voor de opname"));
  Clear();
}

void TTextItemPanel::ShowItem(int AIndex, int ACount, const QString &AId, const QString &AText)
{
  FPlace->setText(QStringLiteral("%1 \u00B7 %2 / %3").arg(AId).arg(AIndex + 1).arg(ACount));
  FText->setText(AText);
  setAccessibleName(QStringLiteral("%1: %2").arg(AId, AText));
  QAccessibleEvent changed(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
}

void TTextItemPanel::Clear()
{
  FPlace->clear();
  FText->clear();
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

} // namespace praatkist::ui
